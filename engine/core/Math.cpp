#include "engine/core/Math.h"

#include <cmath>
#include <utility>

#include "engine/core/Memory.h"
#include "platform/sys/Random.h"

// ---------------------------------------------------------------------------------------------
// Scalars

float RandomFloatFromSample(int sample, float min, float max) {
    // The top sample is pinned to max so that float rounding cannot fall a step short of it.
    if (sample >= plat::kEngineRandMax) return max;
    if (sample <= 0) return min;
    const float step = (max - min) * 3.051851e-5f;  // 1 / 32767 as a float
    return min + float(sample) * step;
}

float RandomFloat(float min, float max) { return RandomFloatFromSample(plat::EngineRand(), min, max); }

float Sqrt(float v) { return float(std::sqrt(double(v))); }
float Sin(float v) { return float(std::sin(double(v))); }
float Cos(float v) { return float(std::cos(double(v))); }

// ---------------------------------------------------------------------------------------------
// Vector3

float Vector3::Length() const { return Sqrt(LengthSquared()); }

Vector3& Vector3::Normalize() {
    const float len = Length();
    if (len > 0.0f) {
        const float k = 1.0f / len;
        x *= k;
        y *= k;
        z *= k;
    }
    return *this;
}

// ---------------------------------------------------------------------------------------------
// Matrix4

void Matrix4::SetIdentity() {
    std::memset(m, 0, sizeof(m));
    m[0][0] = m[1][1] = m[2][2] = m[3][3] = 1.0f;
}

Matrix4& Matrix4::Multiply(Matrix4& out, const Matrix4& other) const {
    float r[4][4];
    for (int i = 0; i < 4; ++i) {
        for (int j = 0; j < 4; ++j) {
            r[i][j] = m[i][0] * other.m[0][j] + m[i][1] * other.m[1][j] + m[i][2] * other.m[2][j] +
                      m[i][3] * other.m[3][j];
        }
    }
    std::memcpy(out.m, r, sizeof(r));
    return out;
}

void Matrix4::Translate(float x, float y, float z) {
    // this x Translation: only the fourth column's products reach the fourth row entries.
    for (int i = 0; i < 4; ++i) {
        const float w = m[i][3];
        m[i][0] += w * x;
        m[i][1] += w * y;
        m[i][2] += w * z;
    }
}

Matrix4 Matrix4::Transposed() const {
    Matrix4 r;
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j) r.m[i][j] = m[j][i];
    return r;
}

bool Matrix4::Invert(Matrix4& out) const {
    double a[4][8];
    for (int i = 0; i < 4; ++i) {
        for (int j = 0; j < 4; ++j) {
            a[i][j] = m[i][j];
            a[i][j + 4] = (i == j) ? 1.0 : 0.0;
        }
    }
    for (int col = 0; col < 4; ++col) {
        int pivot = col;
        for (int row = col + 1; row < 4; ++row)
            if (std::fabs(a[row][col]) > std::fabs(a[pivot][col])) pivot = row;
        if (a[pivot][col] == 0.0) return false;
        if (pivot != col)
            for (int j = 0; j < 8; ++j) std::swap(a[pivot][j], a[col][j]);
        const double inv = 1.0 / a[col][col];
        for (int j = 0; j < 8; ++j) a[col][j] *= inv;
        for (int row = 0; row < 4; ++row) {
            if (row == col || a[row][col] == 0.0) continue;
            const double f = a[row][col];
            for (int j = 0; j < 8; ++j) a[row][j] -= f * a[col][j];
        }
    }
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j) out.m[i][j] = float(a[i][j + 4]);
    return true;
}

Vector3 Matrix4::TransformPoint(const Vector3& p) const {
    return {m[0][0] * p.x + m[0][1] * p.y + m[0][2] * p.z + m[0][3],
            m[1][0] * p.x + m[1][1] * p.y + m[1][2] * p.z + m[1][3],
            m[2][0] * p.x + m[2][1] * p.y + m[2][2] * p.z + m[2][3]};
}

Vector3 Matrix4::TransformCoord(const Vector3& p) const {
    Vector3 r{p.x * m[0][0] + p.y * m[1][0] + p.z * m[2][0] + m[3][0],
              p.x * m[0][1] + p.y * m[1][1] + p.z * m[2][1] + m[3][1],
              p.x * m[0][2] + p.y * m[1][2] + p.z * m[2][2] + m[3][2]};
    const float w = p.x * m[0][3] + p.y * m[1][3] + p.z * m[2][3] + m[3][3];
    if (w != 0.0f && w != 1.0f) {
        const float k = 1.0f / w;
        r.x *= k;
        r.y *= k;
        r.z *= k;
    }
    return r;
}

Vector3 Matrix4::TransformNormal(const Vector3& d) const {
    return {d.x * m[0][0] + d.y * m[1][0] + d.z * m[2][0],
            d.x * m[0][1] + d.y * m[1][1] + d.z * m[2][1],
            d.x * m[0][2] + d.y * m[1][2] + d.z * m[2][2]};
}

Matrix4 Matrix4::Scaling(float sx, float sy, float sz) {
    Matrix4 r;
    r.SetDiagonal(sx, sy, sz);
    return r;
}

Matrix4 Matrix4::Translation(float x, float y, float z) {
    Matrix4 r;
    r.m[3][0] = x;
    r.m[3][1] = y;
    r.m[3][2] = z;
    return r;
}

Matrix4 Matrix4::RotationX(float angle) {
    const float c = Cos(angle), s = Sin(angle);
    Matrix4 r;
    r.m[1][1] = c;
    r.m[1][2] = s;
    r.m[2][1] = -s;
    r.m[2][2] = c;
    return r;
}

Matrix4 Matrix4::RotationY(float angle) {
    const float c = Cos(angle), s = Sin(angle);
    Matrix4 r;
    r.m[0][0] = c;
    r.m[0][2] = -s;
    r.m[2][0] = s;
    r.m[2][2] = c;
    return r;
}

Matrix4 Matrix4::RotationZ(float angle) {
    const float c = Cos(angle), s = Sin(angle);
    Matrix4 r;
    r.m[0][0] = c;
    r.m[0][1] = s;
    r.m[1][0] = -s;
    r.m[1][1] = c;
    return r;
}

Matrix4 Matrix4::PerspectiveFovLH(float fovY, float aspect, float zNear, float zFar) {
    Matrix4 r;
    const float yScale = 1.0f / float(std::tan(double(fovY) * 0.5));
    const float xScale = yScale / aspect;
    const float depth = zFar / (zFar - zNear);
    r.m[0][0] = xScale;
    r.m[1][1] = yScale;
    r.m[2][2] = depth;
    r.m[2][3] = 1.0f;
    r.m[3][2] = -zNear * depth;
    r.m[3][3] = 0.0f;
    return r;
}

Matrix4 Matrix4::OrthoLH(float width, float height, float zNear, float zFar) {
    Matrix4 r;
    r.m[0][0] = 2.0f / width;
    r.m[1][1] = 2.0f / height;
    r.m[2][2] = 1.0f / (zFar - zNear);
    r.m[3][2] = zNear / (zNear - zFar);
    return r;
}

// ---------------------------------------------------------------------------------------------
// Quaternion

Quaternion::Quaternion(const Vector3& axis, float angle) {
    const float s = Sin(angle * 0.5f);
    x = axis.x * s;
    y = axis.y * s;
    z = axis.z * s;
    w = Cos(angle * 0.5f);
}

Quaternion::Quaternion(const Matrix4& rot) {
    // The matrix is the transpose of the column-vector rotation: R[i][j] = rot.m[j][i].
    const auto& M = rot.m;
    const float trace = M[0][0] + M[1][1] + M[2][2];
    if (trace > 0.0f) {
        const float s = Sqrt(trace + 1.0f) * 2.0f;
        w = 0.25f * s;
        x = (M[1][2] - M[2][1]) / s;
        y = (M[2][0] - M[0][2]) / s;
        z = (M[0][1] - M[1][0]) / s;
    } else if (M[0][0] >= M[1][1] && M[0][0] >= M[2][2]) {
        const float s = Sqrt(1.0f + M[0][0] - M[1][1] - M[2][2]) * 2.0f;
        w = (M[1][2] - M[2][1]) / s;
        x = 0.25f * s;
        y = (M[0][1] + M[1][0]) / s;
        z = (M[0][2] + M[2][0]) / s;
    } else if (M[1][1] >= M[2][2]) {
        const float s = Sqrt(1.0f + M[1][1] - M[0][0] - M[2][2]) * 2.0f;
        w = (M[2][0] - M[0][2]) / s;
        x = (M[0][1] + M[1][0]) / s;
        y = 0.25f * s;
        z = (M[1][2] + M[2][1]) / s;
    } else {
        const float s = Sqrt(1.0f + M[2][2] - M[0][0] - M[1][1]) * 2.0f;
        w = (M[0][1] - M[1][0]) / s;
        x = (M[0][2] + M[2][0]) / s;
        y = (M[1][2] + M[2][1]) / s;
        z = 0.25f * s;
    }
}

void Quaternion::ToMatrix(Matrix4& out) const {
    out.SetIdentity();
    const float xx = x * x, yy = y * y, zz = z * z;
    const float xy = x * y, xz = x * z, yz = y * z;
    const float wx = w * x, wy = w * y, wz = w * z;
    out.m[0][0] = 1.0f - 2.0f * (yy + zz);
    out.m[0][1] = 2.0f * (xy + wz);
    out.m[0][2] = 2.0f * (xz - wy);
    out.m[1][0] = 2.0f * (xy - wz);
    out.m[1][1] = 1.0f - 2.0f * (xx + zz);
    out.m[1][2] = 2.0f * (yz + wx);
    out.m[2][0] = 2.0f * (xz + wy);
    out.m[2][1] = 2.0f * (yz - wx);
    out.m[2][2] = 1.0f - 2.0f * (xx + yy);
}

Quaternion Quaternion::operator*(const Quaternion& o) const {
    // Hamilton product o . this: this rotation first, then o.
    return {o.w * x + o.x * w + o.y * z - o.z * y,
            o.w * y - o.x * z + o.y * w + o.z * x,
            o.w * z + o.x * y - o.y * x + o.z * w,
            o.w * w - o.x * x - o.y * y - o.z * z};
}

Quaternion Quaternion::Slerp(const Quaternion& target, float t) const {
    float cosom = Dot(target);
    float sign = 1.0f;
    if (cosom < 0.0f) {
        cosom = -cosom;
        sign = -1.0f;
    }
    float s0, s1;
    if (1.0f - cosom > 1e-5f) {
        const double omega = std::acos(double(cosom));
        const double sinom = std::sin(omega);
        s0 = float(std::sin((1.0 - t) * omega) / sinom);
        s1 = float(std::sin(double(t) * omega) / sinom);
    } else {
        // Nearly the same rotation: the arc is too short for the sine ratio, interpolate linearly.
        s0 = 1.0f - t;
        s1 = t;
    }
    s1 *= sign;
    return {s0 * x + s1 * target.x, s0 * y + s1 * target.y, s0 * z + s1 * target.z,
            s0 * w + s1 * target.w};
}

void Quaternion::Normalize() {
    const float len = Sqrt(Dot(*this));
    if (len > 0.0f) {
        const float k = 1.0f / len;
        x *= k;
        y *= k;
        z *= k;
        w *= k;
    }
}

void Quaternion::Invert() {
    const float n = Dot(*this);
    // A (nearly) zero quaternion has no inverse; dividing by its squared length would blow up.
    if (!(n >= 1e-10f)) {
        x = y = z = w = 0.0f;
        return;
    }
    const float k = 1.0f / n;
    x = -x * k;
    y = -y * k;
    z = -z * k;
    w = w * k;
}

Quaternion Quaternion::ElementaryX(float angle) {
    const float h = angle * 0.5f;
    return {-Sin(h), 0.0f, 0.0f, Cos(h)};
}
Quaternion Quaternion::ElementaryY(float angle) {
    const float h = angle * 0.5f;
    return {0.0f, Sin(h), 0.0f, Cos(h)};
}
Quaternion Quaternion::ElementaryZ(float angle) {
    const float h = angle * 0.5f;
    return {0.0f, 0.0f, Sin(h), Cos(h)};
}

void Quaternion::RotateX(float angle) { *this = *this * ElementaryX(angle); }
void Quaternion::RotateY(float angle) { *this = *this * ElementaryY(angle); }
void Quaternion::RotateZ(float angle) { *this = *this * ElementaryZ(angle); }
void Quaternion::PreRotateX(float angle) { *this = ElementaryX(angle) * *this; }
void Quaternion::PreRotateY(float angle) { *this = ElementaryY(angle) * *this; }
void Quaternion::PreRotateZ(float angle) { *this = ElementaryZ(angle) * *this; }

// ---------------------------------------------------------------------------------------------
// Color

Color::Color(uint8_t red, uint8_t green, uint8_t blue, float alpha) : r(red), g(green), b(blue) {
    // Truncation toward zero; out-of-range alphas saturate instead of wrapping.
    const float v = alpha * 255.0f;
    if (!(v > 0.0f))
        a = 0;
    else if (v >= 255.0f)
        a = 255;
    else
        a = uint8_t(int(v));
}

// ---------------------------------------------------------------------------------------------
// ByteArray

void ByteArray::Free() {
    if (data_) TrackedFree(data_, size_t(count_));
    data_ = nullptr;
    count_ = 0;
}

void ByteArray::Allocate(int32_t count) {
    if (count <= 0) return;
    data_ = static_cast<uint8_t*>(TrackedAlloc(size_t(count)));
    count_ = data_ ? count : 0;
}

ByteArray::ByteArray(int32_t count, uint8_t fill) {
    Allocate(count);
    if (count_) std::memset(data_, fill, size_t(count_));
}

ByteArray::ByteArray(const ByteArray& other) {
    Allocate(other.count_);
    if (count_) std::memcpy(data_, other.data_, size_t(count_));
}

ByteArray::~ByteArray() { Free(); }

ByteArray& ByteArray::operator=(const ByteArray& other) {
    if (this == &other) return *this;
    Free();
    Allocate(other.count_);
    if (count_) std::memcpy(data_, other.data_, size_t(count_));
    return *this;
}

ByteArray& ByteArray::operator=(ByteArray&& other) noexcept {
    if (this == &other) return *this;
    Free();
    data_ = other.data_;
    count_ = other.count_;
    other.data_ = nullptr;
    other.count_ = 0;
    return *this;
}

void ByteArray::AssignFill(int32_t count, uint8_t fill) {
    Free();
    Allocate(count);
    if (count_) std::memset(data_, fill, size_t(count_));
}
