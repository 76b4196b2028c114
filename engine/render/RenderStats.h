#pragma once
// Frame statistics of the renderer: draw code adds to the counters, the facility updates the
// object once per frame and the engine shows the five texts (fps, polygons, texture switches,
// vertices, vertex-buffer switches) when their console switches are on.
#include <cstdint>

#include "engine/core/SharedString.h"

class RenderStatsTexts {
public:
    virtual ~RenderStatsTexts() {}
    enum { kFps, kPolygons, kTextureSwitches, kVertices, kBufferSwitches, kCount };
    virtual const SharedString& GetText(int index) const {
        return texts[(index >= 0 && index < kCount) ? index : 0];
    }
    SharedString texts[kCount];
};

class RenderStats {
public:
    RenderStats() = default;
    RenderStats(const RenderStats&) = default;
    RenderStats& operator=(const RenderStats&) = default;
    virtual ~RenderStats() {}

    // Once per frame with the frame's time step: samples the frame rate each second (the
    // remainder carries over) and zeroes the four counters.
    virtual void Update(float frameTime) {
        accumulatedTime += double(frameTime);
        ++frameCount;
        if (accumulatedTime >= 1.0) {
            framesPerSecond = float(double(frameCount) / accumulatedTime);
            frameCount = 0;
            accumulatedTime -= 1.0;
        }
        polygons = vertices = textureSwitches = bufferSwitches = 0;
    }

    virtual const RenderStatsTexts& BuildTexts() {
        texts.texts[RenderStatsTexts::kFps] = SharedString::Format("%.4f", double(framesPerSecond));
        texts.texts[RenderStatsTexts::kPolygons] = SharedString::Format("%d", polygons);
        texts.texts[RenderStatsTexts::kTextureSwitches] = SharedString::Format("%d", textureSwitches);
        texts.texts[RenderStatsTexts::kVertices] = SharedString::Format("%d", vertices);
        texts.texts[RenderStatsTexts::kBufferSwitches] = SharedString::Format("%d", bufferSwitches);
        return texts;
    }
    const SharedString& GetText(int index) const { return texts.GetText(index); }

    RenderStatsTexts texts;
    // Kept in double: sixty float steps of 1/60 s must reach a full second.
    double accumulatedTime = 0.0;
    int32_t frameCount = 0;
    float framesPerSecond = 0.0f;
    int32_t polygons = 0;
    int32_t vertices = 0;
    int32_t textureSwitches = 0;
    int32_t bufferSwitches = 0;
};
