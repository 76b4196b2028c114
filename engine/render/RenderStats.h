#pragma once
// Frame statistics of the renderer: draw code adds to the counters, the facility updates the
// object once per frame and the engine shows the five texts (fps, polygons, texture switches,
// vertices, vertex-buffer switches) when their console switches are on.
#include <algorithm>
#include <cstdint>
#include <cstdio>

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

    // Formats into the texts' own storage, which stays from frame to frame: no allocation
    // while the counters are shown.
    virtual const RenderStatsTexts& BuildTexts() {
        SetText(RenderStatsTexts::kFps, "%.4f", double(framesPerSecond));
        SetText(RenderStatsTexts::kPolygons, "%d", polygons);
        SetText(RenderStatsTexts::kTextureSwitches, "%d", textureSwitches);
        SetText(RenderStatsTexts::kVertices, "%d", vertices);
        SetText(RenderStatsTexts::kBufferSwitches, "%d", bufferSwitches);
        return texts;
    }
    const SharedString& GetText(int index) const { return texts.GetText(index); }

    RenderStatsTexts texts;

private:
    template <class T>
    void SetText(int index, const char* format, T value) {
        char buffer[64];
        const int n = std::snprintf(buffer, sizeof buffer, format, value);
        texts.texts[index].Assign(buffer, n < 0 ? 0 : std::min(n, int(sizeof buffer) - 1));
    }

public:
    // Kept in double: sixty float steps of 1/60 s must reach a full second.
    double accumulatedTime = 0.0;
    int32_t frameCount = 0;
    float framesPerSecond = 0.0f;
    int32_t polygons = 0;
    int32_t vertices = 0;
    int32_t textureSwitches = 0;
    int32_t bufferSwitches = 0;
};
