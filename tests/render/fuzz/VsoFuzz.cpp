// One fuzz input: the bytes of a .vso file. The render facility loads it over a recording
// device, which validates and translates the program as the GL device does; the tokens also
// go through the translator and the disassembler directly.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "engine/render/D3D8RenderFacility.h"
#include "platform/gfx/RecordingDevice.h"
#include "platform/gfx/VsTranslator.h"
#include "tests/fuzz/FuzzSupport.h"

namespace {

struct Rig {
    gfx::RecordingDevice* device = nullptr;
    std::unique_ptr<D3D8RenderFacility> facility;
    Rig() {
        DeviceSource source;
        source.enumerate = [] { return std::vector<gfx::AdapterDesc>(1); };
        source.create = [this](void*, int32_t w, int32_t h) -> std::unique_ptr<gfx::Device> {
            auto d = std::make_unique<gfx::RecordingDevice>(w, h);
            device = d.get();
            return d;
        };
        facility = std::make_unique<D3D8RenderFacility>(std::move(source));
        facility->ChooseDevice(-1);
        facility->CreateDevice(false);
        fuzz_support::Check(facility->DeviceReady());
    }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz_support::DiscardLog();
    static Rig rig;
    static const fuzz_support::ScratchFile file("input.vso");
    const std::string& path = file.Write(data, size);
    rig.device->ClearCalls();
    VertexShader* shader = rig.facility->LoadVertexShader(1 | 4 | 32, path.c_str());

    std::vector<uint32_t> tokens(size / 4);
    if (!tokens.empty()) std::memcpy(tokens.data(), data, tokens.size() * 4);
    const gfx::VsTranslation t = gfx::TranslateVs11(tokens.data(), tokens.size());
    fuzz_support::Check((shader != nullptr) == t.ok);
    fuzz_support::Check(t.ok == !t.glsl.empty());
    // The listing of a program the translator takes is never empty.
    const std::string listing = gfx::DisassembleVs11(tokens.data(), tokens.size());
    if (t.ok) fuzz_support::Check(!listing.empty());
    return 0;
}
