#pragma once
// The world-transform stack every draw routine pushes, multiplies and pops. It never talks to
// the device: it marks itself dirty, and draw code sends `current` as the world transform when
// the flag is set.
#include <cstdint>

#include "engine/core/Math.h"

class MatrixStack {
public:
    static constexpr int kDepth = 64;

    MatrixStack();
    virtual ~MatrixStack() {}

    // Push and Pop refuse to go past the 64 levels or below the bottom (logged; nothing changes).
    virtual bool Push();
    virtual bool Pop();
    // Each change returns the new change id.
    virtual uint16_t Multiply(const Matrix4& m);     // current = current x m
    virtual uint16_t PreMultiply(const Matrix4& m);  // current = m x current
    virtual void Load(const Matrix4& m);
    virtual uint16_t LoadIdentity();

    uint16_t savedIds[kDepth] = {};
    int32_t idDepth = 0;
    uint16_t changeCounter = 0;
    uint16_t currentId = 0;
    uint32_t dirty = 1;
    Matrix4 current;
    Matrix4 saved[kDepth];
    int32_t depth = 0;

private:
    uint16_t Changed();
};
