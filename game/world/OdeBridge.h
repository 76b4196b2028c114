#pragma once
// Conversions between the engine's f32 values and the rigid-body library's doubles. Included
// only by the physics sources.
#include <ode/ode.h>

#include <cfloat>
#include <cmath>

#include "engine/core/Math.h"

namespace physics_detail {

// Starts the library once per process and takes its per-thread data once per thread. Every
// entry point that may run off the main thread (triangle-mesh builds, collision tests, ray
// queries on the loading thread) calls it first.
void EnsureOdeThread();

// double -> float without undefined behaviour: out-of-range finite values become +-infinity
// (and then count as invalid), NaN stays NaN.
inline float ToF32(double v) {
    if (v > double(FLT_MAX)) return HUGE_VALF;
    if (v < -double(FLT_MAX)) return -HUGE_VALF;
    return float(v);
}

inline Vector3 ToVector3(const dReal* v) { return {ToF32(v[0]), ToF32(v[1]), ToF32(v[2])}; }
inline Vector4 ToVector4(const dReal* v) { return {ToF32(v[0]), ToF32(v[1]), ToF32(v[2]), 0.0f}; }

inline bool IsFinite(const Vector3& v) { return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z); }

// A unit quaternion in the library's (w, x, y, z) order. Zero, non-finite or absurdly large
// quaternions become the identity, since the library aborts on them.
inline void ToOdeQuaternion(const Quaternion& q, dQuaternion out) {
    const double x = q.x, y = q.y, z = q.z, w = q.w;
    const double len2 = x * x + y * y + z * z + w * w;
    if (!std::isfinite(len2) || len2 < 1e-20) {
        out[0] = 1.0; out[1] = out[2] = out[3] = 0.0;
        return;
    }
    const double inv = 1.0 / std::sqrt(len2);
    out[0] = w * inv; out[1] = x * inv; out[2] = y * inv; out[3] = z * inv;
}

inline Quaternion FromOdeQuaternion(const dReal* q) {
    return {ToF32(q[1]), ToF32(q[2]), ToF32(q[3]), ToF32(q[0])};
}

// Rows 1-3 of the engine matrix are the columns of the library's rotation (row-major, stride 4).
inline void RotationToMatrix(const dReal* r, const dReal* position, Matrix4& out) {
    for (int row = 0; row < 3; ++row) {
        for (int col = 0; col < 3; ++col) out.m[row][col] = ToF32(r[col * 4 + row]);
        out.m[row][3] = 0.0f;
    }
    out.m[3][0] = ToF32(position[0]);
    out.m[3][1] = ToF32(position[1]);
    out.m[3][2] = ToF32(position[2]);
    out.m[3][3] = 1.0f;
}

// The quaternion of an engine matrix's rotation part, safe for broken matrices.
inline void MatrixToOdeQuaternion(const Matrix4& m, dQuaternion out) {
    dMatrix3 r;
    for (int row = 0; row < 3; ++row) {
        for (int col = 0; col < 3; ++col) r[col * 4 + row] = m.m[row][col];
    }
    r[3] = r[7] = r[11] = 0.0;
    bool finite = true;
    for (double v : r) finite = finite && std::isfinite(v);
    if (!finite) {
        out[0] = 1.0; out[1] = out[2] = out[3] = 0.0;
        return;
    }
    dQuaternion q;
    dRtoQ(r, q);
    ToOdeQuaternion(Quaternion(float(q[1]), float(q[2]), float(q[3]), float(q[0])), out);
}

// Quadtree bounds the library accepts: it aborts on a non-finite centre or extent and on a
// negative extent. Broken components are replaced (centre 0, extent 65536, a negative extent by
// its magnitude); returns false when anything had to be replaced.
inline bool SafeQuadTreeBounds(const Vector3& centre, const Vector3& extents, dVector3 c, dVector3 e) {
    bool ok = true;
    for (int i = 0; i < 3; ++i) {
        double ci = centre[i], ei = extents[i];
        if (!std::isfinite(ci)) { ci = 0.0; ok = false; }
        if (!std::isfinite(ei)) { ei = 65536.0; ok = false; }
        else if (ei < 0.0) { ei = -ei; ok = false; }
        c[i] = ci;
        e[i] = ei;
    }
    c[3] = e[3] = 0.0;
    return ok;
}

} // namespace physics_detail
