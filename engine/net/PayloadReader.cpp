#include "engine/net/PayloadReader.h"

#include <cmath>

float PayloadReader::f32Finite() {
    float f = f32();
    if (!std::isfinite(f)) {
        ok_ = false;
        return 0.0f;
    }
    return f;
}
