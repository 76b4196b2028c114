#pragma once
// The engine's small value types and numeric helpers. Conventions: row vectors (a point p is
// transformed as p x M), left-handed coordinates, matrices stored row by row with the
// translation in the fourth row, products read left to right (A x B applies A first).
#include <cstdint>
#include <cstring>

// ---------------------------------------------------------------------------------------------
// Constants and scalar helpers

constexpr float Pi = 3.1415927f;
constexpr float TwoPi = 2.0f * 3.1415927f;
constexpr float HalfPi = 3.1415927f * 0.5f;
constexpr float QuarterPi = 3.1415927f * 0.25f;

// min + EngineRand() x ((max - min) / 32767): both min and max can come out.
float RandomFloat(float min, float max);
// The same mapping for a given 15-bit sample (0..32767); sample 32767 gives max exactly.
float RandomFloatFromSample(int sample, float min, float max);

// Computed in double precision, returned as float.
float Sqrt(float v);
float Sin(float v);
float Cos(float v);

// low when value < low, value when value <= high, else high.
inline float Clamp(float value, float low, float high) {
    if (value < low) return low;
    if (value <= high) return value;
    return high;
}

// ---------------------------------------------------------------------------------------------
// Vectors

struct Vector2 {
    float x = 0.0f;
    float y = 0.0f;
};

struct Vector3 {
    float x = 0.0f;
    float y = 0.0f;
    float z = 0.0f;

    constexpr Vector3() = default;
    constexpr Vector3(float x_, float y_, float z_) : x(x_), y(y_), z(z_) {}

    static float Dot(const Vector3& a, const Vector3& b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
    static Vector3 Cross(const Vector3& a, const Vector3& b) {
        return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
    }
    float Dot(const Vector3& o) const { return Dot(*this, o); }
    Vector3 Cross(const Vector3& o) const { return Cross(*this, o); }
    float LengthSquared() const { return x * x + y * y + z * z; }
    float Length() const;
    // Divides by the length; a zero vector stays zero. Returns *this.
    Vector3& Normalize();
    Vector3 Normalized() const { Vector3 v = *this; return v.Normalize(); }
    void Negate() { x = -x; y = -y; z = -z; }
    void Scale(float s) { x *= s; y *= s; z *= s; }

    Vector3 operator+(const Vector3& o) const { return {x + o.x, y + o.y, z + o.z}; }
    Vector3 operator-(const Vector3& o) const { return {x - o.x, y - o.y, z - o.z}; }
    Vector3 operator-() const { return {-x, -y, -z}; }
    Vector3 operator*(float s) const { return {x * s, y * s, z * s}; }
    Vector3 operator/(float s) const { return {x / s, y / s, z / s}; }
    Vector3& operator+=(const Vector3& o) { x += o.x; y += o.y; z += o.z; return *this; }
    Vector3& operator-=(const Vector3& o) { x -= o.x; y -= o.y; z -= o.z; return *this; }
    Vector3& operator*=(float s) { x *= s; y *= s; z *= s; return *this; }
    bool operator==(const Vector3& o) const { return x == o.x && y == o.y && z == o.z; }
    bool operator!=(const Vector3& o) const { return !(*this == o); }
    float& operator[](int i) { return (&x)[i]; }
    float operator[](int i) const { return (&x)[i]; }
};
inline Vector3 operator*(float s, const Vector3& v) { return v * s; }
static_assert(sizeof(Vector3) == 12);

struct Vector4 {
    float x = 0.0f;
    float y = 0.0f;
    float z = 0.0f;
    float w = 0.0f;

    void SetOnes() { x = y = z = w = 1.0f; }
};
static_assert(sizeof(Vector4) == 16);

// ---------------------------------------------------------------------------------------------
// Matrix4: m[row][column]; a point is a row vector (x, y, z, 1) multiplied from the left.

struct Matrix4 {
    float m[4][4];

    // Identity.
    Matrix4() { SetIdentity(); }
    explicit Matrix4(const float (&values)[16]) { std::memcpy(m, values, sizeof(m)); }

    void SetIdentity();
    // Sets m00, m11 and m22, leaves every other entry as it is.
    void SetDiagonal(float sx, float sy, float sz) { m[0][0] = sx; m[1][1] = sy; m[2][2] = sz; }
    // out = this x other (this applied first). out may alias either operand. Returns out.
    Matrix4& Multiply(Matrix4& out, const Matrix4& other) const;
    Matrix4 operator*(const Matrix4& other) const { Matrix4 r; Multiply(r, other); return r; }
    // this = this x Translation(x, y, z): the translation applied after the matrix.
    void Translate(float x, float y, float z);
    Matrix4 Transposed() const;
    // Full inverse; returns false (and leaves out unchanged) for a singular matrix.
    bool Invert(Matrix4& out) const;

    // out_i = m[i][0] x + m[i][1] y + m[i][2] z + m[i][3], i = 0..2 (the upper rows taken by rows).
    Vector3 TransformPoint(const Vector3& p) const;
    // (p, 1) x M divided by the resulting w (no division when w is 0).
    Vector3 TransformCoord(const Vector3& p) const;
    // d x the upper 3x3 part.
    Vector3 TransformNormal(const Vector3& d) const;

    // Builders.
    static Matrix4 Identity() { return Matrix4(); }
    static Matrix4 Scaling(float sx, float sy, float sz);
    static Matrix4 Translation(float x, float y, float z);
    static Matrix4 RotationX(float angle);
    static Matrix4 RotationY(float angle);
    static Matrix4 RotationZ(float angle);
    // Left-handed perspective, z in [0, 1]: fovY vertical field of view in radians.
    static Matrix4 PerspectiveFovLH(float fovY, float aspect, float zNear, float zFar);
    // Left-handed orthographic, z in [0, 1].
    static Matrix4 OrthoLH(float width, float height, float zNear, float zFar);

    bool operator==(const Matrix4& o) const { return std::memcmp(m, o.m, sizeof(m)) == 0; }
};
static_assert(sizeof(Matrix4) == 64);

// A mesh node's matrix block: a matrix followed by three floats.
struct NodeTransform {
    Matrix4 matrix;
    float extra[3] = {0.0f, 0.0f, 0.0f};

    // Identity matrix, zero floats.
    void Reset() { matrix.SetIdentity(); extra[0] = extra[1] = extra[2] = 0.0f; }
};

// ---------------------------------------------------------------------------------------------
// Quaternion {x, y, z, w}; (0, 0, 0, 1) is the identity.

struct Quaternion {
    float x = 0.0f;
    float y = 0.0f;
    float z = 0.0f;
    float w = 1.0f;

    constexpr Quaternion() = default;
    constexpr Quaternion(float x_, float y_, float z_, float w_) : x(x_), y(y_), z(z_), w(w_) {}
    // xyz = axis x sin(angle / 2), w = cos(angle / 2); the axis is taken as given (not normalised).
    Quaternion(const Vector3& axis, float angle);
    // The rotation held in the upper 3x3 part of a rotation matrix.
    explicit Quaternion(const Matrix4& rotation);

    // Rotation matrix of this quaternion (the rest of out is identity).
    void ToMatrix(Matrix4& out) const;
    Matrix4 ToMatrix() const { Matrix4 r; ToMatrix(r); return r; }
    // The rotation this, followed by the other.
    Quaternion operator*(const Quaternion& other) const;
    // Spherical interpolation along the shorter arc; t = 0 gives this, t = 1 the target.
    Quaternion Slerp(const Quaternion& target, float t) const;
    // In place; a zero quaternion stays as it is.
    void Normalize();
    // In place: conjugate over the squared norm; zero when the squared norm is below 1e-10.
    void Invert();
    float Dot(const Quaternion& o) const { return x * o.x + y * o.y + z * o.z + w * o.w; }

    // this = this x r: r applied after this rotation.
    void RotateX(float angle);
    void RotateY(float angle);
    void RotateZ(float angle);
    // this = r x this: r applied before this rotation.
    void PreRotateX(float angle);
    void PreRotateY(float angle);
    void PreRotateZ(float angle);

    // Elementary rotations as used by the Rotate/PreRotate families. Note the X rotation's
    // sign: a positive angle about X turns the other way from one about Y or Z.
    static Quaternion ElementaryX(float angle);
    static Quaternion ElementaryY(float angle);
    static Quaternion ElementaryZ(float angle);

    bool operator==(const Quaternion& o) const { return x == o.x && y == o.y && z == o.z && w == o.w; }
};
static_assert(sizeof(Quaternion) == 16);

// ---------------------------------------------------------------------------------------------
// Color: four bytes in memory order alpha, red, green, blue.

struct Color {
    uint8_t a = 0xFF;
    uint8_t r = 0xFF;
    uint8_t g = 0xFF;
    uint8_t b = 0xFF;

    // Opaque white.
    constexpr Color() = default;
    // alpha is truncated toward zero after x 255: 1.0 gives 255, 0.999 gives 254.
    Color(uint8_t red, uint8_t green, uint8_t blue, float alpha);
    // Stores the bytes and returns *this.
    Color& Set(uint8_t red, uint8_t green, uint8_t blue, uint8_t alpha) {
        a = alpha; r = red; g = green; b = blue;
        return *this;
    }
    static constexpr Color FromBytes(uint8_t red, uint8_t green, uint8_t blue, uint8_t alpha) {
        Color c;
        c.a = alpha; c.r = red; c.g = green; c.b = blue;
        return c;
    }
    // 0xAARRGGBB.
    constexpr uint32_t ToARGB() const {
        return (uint32_t(a) << 24) | (uint32_t(r) << 16) | (uint32_t(g) << 8) | uint32_t(b);
    }
    static constexpr Color FromARGB(uint32_t v) {
        return FromBytes(uint8_t(v >> 16), uint8_t(v >> 8), uint8_t(v), uint8_t(v >> 24));
    }
    bool operator==(const Color& o) const { return a == o.a && r == o.r && g == o.g && b == o.b; }
    bool operator!=(const Color& o) const { return !(*this == o); }
};
static_assert(sizeof(Color) == 4);

// ---------------------------------------------------------------------------------------------
// Integer points and rectangles

struct Point2i {
    int32_t x = 0;
    int32_t y = 0;

    Vector2 ToFloatPair() const { return {float(x), float(y)}; }
    bool operator==(const Point2i& o) const { return x == o.x && y == o.y; }
};
static_assert(sizeof(Point2i) == 8);

struct Rect {
    int32_t left = 0;
    int32_t top = 0;
    int32_t right = 0;
    int32_t bottom = 0;

    int32_t Width() const { return right - left; }
    int32_t Height() const { return bottom - top; }
    bool operator==(const Rect& o) const {
        return left == o.left && top == o.top && right == o.right && bottom == o.bottom;
    }
};
static_assert(sizeof(Rect) == 16);

// ---------------------------------------------------------------------------------------------
// BoundingBox: axis-aligned box as centre and half extents (six floats).

struct BoundingBox {
    Vector3 centre;
    Vector3 halfExtents;

    // All six floats 0.
    void Clear() { centre = Vector3(); halfExtents = Vector3(); }
    Vector3 Min() const { return centre - halfExtents; }
    Vector3 Max() const { return centre + halfExtents; }
    // Box of points[first .. first + count); count 0 gives a cleared box.
    static BoundingBox FromPoints(const Vector3* points, int32_t first, int32_t count);
};
static_assert(sizeof(BoundingBox) == 24);

// ---------------------------------------------------------------------------------------------
// ByteArray: owned bytes from the tracked allocator.

class ByteArray {
public:
    ByteArray() = default;
    ByteArray(int32_t count, uint8_t fill);
    ByteArray(const ByteArray& other);
    ByteArray(ByteArray&& other) noexcept : data_(other.data_), count_(other.count_) {
        other.data_ = nullptr;
        other.count_ = 0;
    }
    ~ByteArray();
    ByteArray& operator=(const ByteArray& other);
    ByteArray& operator=(ByteArray&& other) noexcept;

    // Frees the old storage, then count bytes all set to fill (none for count <= 0).
    void AssignFill(int32_t count, uint8_t fill);
    // Null when empty.
    uint8_t* Data() { return count_ ? data_ : nullptr; }
    const uint8_t* Data() const { return count_ ? data_ : nullptr; }
    int32_t Count() const { return count_; }
    uint8_t& operator[](int32_t i) { return data_[i]; }
    uint8_t operator[](int32_t i) const { return data_[i]; }

private:
    void Free();
    void Allocate(int32_t count);

    uint8_t* data_ = nullptr;
    int32_t count_ = 0;
};
