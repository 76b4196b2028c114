#pragma once
// A render facility made and ready over a device that records every call instead of drawing:
// the adapter offers one width x height x 32 mode at 60 Hz, and both the adapter and the device
// report `caps` (hardware vertex processing, primitive counts, texture sizes).
#include <cstdint>
#include <memory>
#include <vector>

#include "engine/render/D3D8RenderFacility.h"
#include "platform/gfx/RecordingDevice.h"

namespace testing_support {

struct RecordingFacility {
    explicit RecordingFacility(int32_t width = 64, int32_t height = 48, const gfx::Caps& caps = gfx::Caps()) {
        DeviceSource source;
        source.enumerate = [width, height, caps] {
            gfx::AdapterDesc a;
            a.modes = {{width, height, 32, 60}};
            a.caps = caps;
            return std::vector<gfx::AdapterDesc>{a};
        };
        source.create = [this, caps](void*, int32_t w, int32_t h) -> std::unique_ptr<gfx::Device> {
            auto d = std::make_unique<gfx::RecordingDevice>(w, h);
            d->caps = caps;
            device = d.get();
            return d;
        };
        facility = std::make_unique<D3D8RenderFacility>(std::move(source));
        facility->ChooseDevice(-1);
        facility->RequestMode({width, height, 32, 60});
        facility->CreateDevice(false);
    }
    gfx::RecordingDevice* device = nullptr;  // owned by the facility
    std::unique_ptr<D3D8RenderFacility> facility;
};

} // namespace testing_support
