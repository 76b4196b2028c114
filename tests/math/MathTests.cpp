#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "MathTestUtil.h"
#include "engine/core/Math.h"
#include "engine/core/Memory.h"
#include "platform/sys/Random.h"

namespace {

const Vector3 kX{1, 0, 0}, kY{0, 1, 0}, kZ{0, 0, 1};

// --- Quaternions ---------------------------------------------------------------------------

TEST(Quaternion, ToMatrixOfQuarterTurnsMatchesHandComputedMatrices) {
    struct Case {
        Vector3 axis;
        float expected[16];
    } cases[] = {
        // x -> y under Z: row 0 is (0, 1, 0).
        {kZ, {0, 1, 0, 0, -1, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1}},
        {kY, {0, 0, -1, 0, 0, 1, 0, 0, 1, 0, 0, 0, 0, 0, 0, 1}},
        {kX, {1, 0, 0, 0, 0, 0, 1, 0, 0, -1, 0, 0, 0, 0, 0, 1}},
    };
    for (const Case& c : cases) {
        Matrix4 m;
        m.m[3][0] = 7;  // ToMatrix starts from identity
        Quaternion(c.axis, HalfPi).ToMatrix(m);
        ExpectMatrixNear(m, c.expected);
    }
    // The same quarter turns as the elementary matrix builders.
    ExpectMatrixNear(Quaternion(kY, 0.3f).ToMatrix(), Matrix4::RotationY(0.3f));
    ExpectMatrixNear(Quaternion(kZ, -1.1f).ToMatrix(), Matrix4::RotationZ(-1.1f));
    ExpectMatrixNear(Quaternion(kX, 2.0f).ToMatrix(), Matrix4::RotationX(2.0f));
}

TEST(Quaternion, ProductAppliesLeftOperandFirst) {
    const Quaternion z90(kZ, HalfPi), x90(kX, HalfPi);
    // Z first (x -> y), then X (y -> z): x ends on z.
    const float expected[16] = {0, 0, 1, 0, -1, 0, 0, 0, 0, -1, 0, 0, 0, 0, 0, 1};
    ExpectMatrixNear((z90 * x90).ToMatrix(), expected);
    // And in general the product's matrix is the product of the matrices in the same order.
    const Quaternion a(Vector3(1, 2, 3).Normalized(), 0.7f), b(Vector3(-2, 0.5f, 1).Normalized(), 2.1f);
    ExpectMatrixNear((a * b).ToMatrix(), a.ToMatrix() * b.ToMatrix());
    ExpectMatrixNear((b * a).ToMatrix(), b.ToMatrix() * a.ToMatrix());
}

TEST(Quaternion, RotateAndPreRotateFamilies) {
    Quaternion q;
    q.RotateX(0.5f);
    EXPECT_LT(q.x, 0.0f);  // the X rotation carries the minus sign
    EXPECT_NEAR(q.x, -std::sin(0.25f), 1e-6f);
    EXPECT_NEAR(q.w, std::cos(0.25f), 1e-6f);

    const Quaternion base(Vector3(0.3f, 0.9f, -0.2f).Normalized(), 1.3f);
    struct Case {
        void (Quaternion::*rotate)(float);
        void (Quaternion::*preRotate)(float);
        Quaternion r;
    } cases[] = {
        {&Quaternion::RotateX, &Quaternion::PreRotateX, Quaternion(-std::sin(0.4f), 0, 0, std::cos(0.4f))},
        {&Quaternion::RotateY, &Quaternion::PreRotateY, Quaternion(0, std::sin(0.4f), 0, std::cos(0.4f))},
        {&Quaternion::RotateZ, &Quaternion::PreRotateZ, Quaternion(0, 0, std::sin(0.4f), std::cos(0.4f))},
    };
    for (const Case& c : cases) {
        Quaternion post = base, pre = base;
        (post.*c.rotate)(0.8f);
        (pre.*c.preRotate)(0.8f);
        ExpectQuatNear(post, base * c.r);
        ExpectQuatNear(pre, c.r * base);
        ExpectMatrixNear(post.ToMatrix(), base.ToMatrix() * c.r.ToMatrix());
    }
}

TEST(Quaternion, AxisAngleKeepsAxisUnnormalised) {
    const Quaternion q(Vector3(0, 2, 0), Pi);
    EXPECT_FLOAT_EQ(q.x, 0.0f);
    EXPECT_FLOAT_EQ(q.y, 2.0f * std::sin(Pi / 2));
    EXPECT_FLOAT_EQ(q.z, 0.0f);
    EXPECT_FLOAT_EQ(q.w, float(std::cos(double(Pi) / 2)));
    EXPECT_EQ(Quaternion(), Quaternion(0, 0, 0, 1));
}

TEST(Quaternion, FromMatrixRoundTripsThroughEveryBranch) {
    const Quaternion cases[] = {
        Quaternion(),                                   // positive trace
        Quaternion(Vector3(1, 2, -1).Normalized(), 0.9f),
        Quaternion(kX, Pi),                             // x dominant, trace -1
        Quaternion(kY, Pi),                             // y dominant
        Quaternion(kZ, Pi),                             // z dominant
        Quaternion(Vector3(1, 1, 0).Normalized(), 3.0f),
        Quaternion(Vector3(0, 1, 1).Normalized(), -3.0f),
    };
    for (const Quaternion& q : cases) {
        const Quaternion back(q.ToMatrix());
        // q and -q are the same rotation.
        const float sign = back.Dot(q) < 0 ? -1.0f : 1.0f;
        ExpectQuatNear(Quaternion(back.x * sign, back.y * sign, back.z * sign, back.w * sign), q, 1e-5f);
    }
}

TEST(Quaternion, SlerpEndpointsMidpointAndNearEqual) {
    const Quaternion a(Vector3(0.2f, 1, 0.1f).Normalized(), 0.4f), b(Vector3(1, 0, 0.5f).Normalized(), 2.0f);
    ExpectQuatNear(a.Slerp(b, 0.0f), a);
    ExpectQuatNear(a.Slerp(b, 1.0f), b);
    // Midpoint between identity and a quarter turn is an eighth turn.
    ExpectQuatNear(Quaternion().Slerp(Quaternion(kZ, HalfPi), 0.5f), Quaternion(kZ, QuarterPi));
    // The shorter arc: a negated target (the same rotation) gives the same path.
    const Quaternion negB(-b.x, -b.y, -b.z, -b.w);
    ExpectQuatNear(a.Slerp(negB, 0.3f), a.Slerp(b, 0.3f));
    // Nearly equal rotations: no division by a vanishing sine.
    Quaternion c = a;
    c.x += 1e-7f;
    for (float t : {0.0f, 0.25f, 0.5f, 1.0f}) {
        const Quaternion s = a.Slerp(c, t);
        ASSERT_TRUE(std::isfinite(s.x) && std::isfinite(s.y) && std::isfinite(s.z) && std::isfinite(s.w));
        ExpectQuatNear(s, a, 1e-6f);
    }
    ExpectQuatNear(a.Slerp(a, 0.7f), a, 1e-7f);
}

TEST(Quaternion, NormalizeAndInvert) {
    Quaternion q(1, 2, 3, 4);
    q.Normalize();
    EXPECT_NEAR(q.Dot(q), 1.0f, 1e-6f);
    Quaternion inv = q;
    inv.Invert();
    ExpectQuatNear(q * inv, Quaternion());
    Quaternion scaled(0, 0, 2, 0);  // inverse of a non-unit quaternion divides by the squared norm
    scaled.Invert();
    ExpectQuatNear(scaled, Quaternion(0, 0, -0.5f, 0));
    Quaternion zero(0, 0, 0, 0);  // stays finite
    zero.Normalize();
    zero.Invert();
    EXPECT_EQ(zero, Quaternion(0, 0, 0, 0));
    // Below a squared length of 1e-10 the inverse is zero, not a huge quaternion.
    Quaternion tiny(0, 0, 0, 9e-6f);
    tiny.Invert();
    EXPECT_EQ(tiny, Quaternion(0, 0, 0, 0));
    Quaternion small(0, 0, 0, 1.1e-5f);
    small.Invert();
    EXPECT_NEAR(small.w, 1.0f / 1.1e-5f, 1.0f);
}

// --- Matrices ------------------------------------------------------------------------------

TEST(Matrix4, PerspectiveAndOrthographicByValue) {
    // fov 90 degrees, aspect 2, near 1, far 101.
    const float persp[16] = {0.5f, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1.01f, 1, 0, 0, -1.01f, 0};
    ExpectMatrixNear(Matrix4::PerspectiveFovLH(HalfPi, 2.0f, 1.0f, 101.0f), persp);
    const float ortho[16] = {0.0025f, 0, 0, 0, 0, 1.0f / 300, 0, 0, 0, 0, 0.001f, 0, 0, 0, 0, 1};
    ExpectMatrixNear(Matrix4::OrthoLH(800, 600, 0, 1000), ortho, 1e-7f);
    const float orthoNear[16] = {1, 0, 0, 0, 0, 0.5f, 0, 0, 0, 0, 0.01f, 0, 0, 0, -0.1f, 1};
    ExpectMatrixNear(Matrix4::OrthoLH(2, 4, 10, 110), orthoNear, 1e-7f);
    // Depth runs 0 at the near plane to 1 at the far plane.
    const Matrix4 p = Matrix4::PerspectiveFovLH(1.0f, 1.5f, 2.0f, 500.0f);
    EXPECT_NEAR(p.TransformCoord({0, 0, 2}).z, 0.0f, 1e-6f);
    EXPECT_NEAR(p.TransformCoord({0, 0, 500}).z, 1.0f, 1e-6f);
}

TEST(Matrix4, ProductsTranslateAndTransforms) {
    Matrix4 a = Matrix4::RotationZ(0.7f) * Matrix4::Translation(1, 2, 3);
    const Matrix4 b = Matrix4::Scaling(2, 3, 4) * Matrix4::RotationX(-0.4f);
    Matrix4 expected = a * b;
    a.Multiply(a, b);  // out aliasing this
    ExpectMatrixNear(a, expected);

    // Translate applies after the matrix.
    Matrix4 t = Matrix4::RotationY(1.0f);
    t.Translate(5, -6, 7);
    ExpectMatrixNear(t, Matrix4::RotationY(1.0f) * Matrix4::Translation(5, -6, 7));
    ExpectVecNear(t.TransformCoord({1, 0, 0}), Vector3(std::cos(1.0f) + 5, -6, -std::sin(1.0f) + 7));
    ExpectVecNear(t.TransformNormal({1, 0, 0}), Vector3(std::cos(1.0f), 0, -std::sin(1.0f)));

    // TransformPoint takes the upper rows as rows: the transposed use of the matrix.
    Matrix4 r;
    const float vals[16] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
    r = Matrix4(vals);
    ExpectVecNear(r.TransformPoint({1, 1, 1}), Vector3(10, 26, 42));
    // TransformCoord divides by w.
    ExpectVecNear(r.TransformCoord({1, 0, 0}), Vector3(14.0f / 20, 16.0f / 20, 18.0f / 20));

    Matrix4 d;
    d.m[0][1] = 9;
    d.SetDiagonal(2, 3, 4);
    const float diag[16] = {2, 9, 0, 0, 0, 3, 0, 0, 0, 0, 4, 0, 0, 0, 0, 1};
    ExpectMatrixNear(d, diag, 0);

    Matrix4 inv;
    ASSERT_TRUE(expected.Invert(inv));
    ExpectMatrixNear(expected * inv, Matrix4(), 1e-5f);
    Matrix4 singular = Matrix4::Scaling(1, 0, 1);
    EXPECT_FALSE(singular.Invert(inv));
}

// --- Colour, scalars, small records --------------------------------------------------------

TEST(Color, ByteOrderAndAlphaTruncation) {
    const Color c(10, 20, 30, 0.5f);
    uint8_t bytes[4];
    std::memcpy(bytes, &c, 4);
    EXPECT_EQ(bytes[0], 127);
    EXPECT_EQ(bytes[1], 10);
    EXPECT_EQ(bytes[2], 20);
    EXPECT_EQ(bytes[3], 30);
    struct { float alpha; uint8_t expected; } alphas[] = {{1.0f, 255}, {0.999f, 254}, {0.0f, 0}, {2.0f, 255}, {-1.0f, 0}};
    for (auto& a : alphas) EXPECT_EQ(Color(0, 0, 0, a.alpha).a, a.expected) << a.alpha;

    const Color white;
    EXPECT_EQ(white.ToARGB(), 0xFFFFFFFFu);
    Color s;
    Color& back = s.Set(1, 2, 3, 4);
    EXPECT_EQ(&back, &s);
    std::memcpy(bytes, &s, 4);
    EXPECT_EQ(bytes[0], 4);
    EXPECT_EQ(bytes[1], 1);
    EXPECT_EQ(s.ToARGB(), 0x04010203u);
    EXPECT_EQ(Color::FromARGB(0x04010203u), s);
}

TEST(Scalars, RandomFloatClampAndAngles) {
    plat::SetEngineRandSeed(7);
    for (int i = 0; i < 1000; ++i) EXPECT_EQ(RandomFloat(2, 2), 2.0f);
    for (int i = 0; i < 1000; ++i) {
        const float v = RandomFloat(-3, 5);
        EXPECT_GE(v, -3.0f);
        EXPECT_LE(v, 5.0f);
    }
    struct { float min, max; } ranges[] = {{0, 1}, {2, 10}, {-5e-6f, 5e-6f}, {-1000, 0.1f}, {7, -7}};
    for (auto& r : ranges) {
        EXPECT_EQ(RandomFloatFromSample(32767, r.min, r.max), r.max);
        EXPECT_EQ(RandomFloatFromSample(0, r.min, r.max), r.min);
        EXPECT_NEAR(RandomFloatFromSample(16384, r.min, r.max), (r.min + r.max) * 0.5f,
                    std::fabs(r.max - r.min) * 1e-4f);
    }

    struct { float v, lo, hi, expected; } clamps[] = {{-1, 0, 1, 0}, {0.5f, 0, 1, 0.5f}, {1, 0, 1, 1}, {3, 0, 1, 1}};
    for (auto& c : clamps) EXPECT_EQ(Clamp(c.v, c.lo, c.hi), c.expected);

    EXPECT_FLOAT_EQ(TwoPi, 6.2831854f);
    EXPECT_FLOAT_EQ(HalfPi, 1.5707964f);
    EXPECT_FLOAT_EQ(QuarterPi, 0.78539819f);
    EXPECT_FLOAT_EQ(Sqrt(2.0f), 1.4142135f);
    EXPECT_NEAR(Sin(Pi), 0.0f, 1e-6f);
    EXPECT_FLOAT_EQ(Cos(Pi), -1.0f);
}

TEST(SmallRecords, DefaultsAndResets) {
    Vector4 v;
    v.SetOnes();
    EXPECT_TRUE(v.x == 1 && v.y == 1 && v.z == 1 && v.w == 1);

    NodeTransform n;
    n.matrix.m[3][1] = 5;
    n.extra[2] = 3;
    n.Reset();
    EXPECT_EQ(n.matrix, Matrix4());
    EXPECT_TRUE(n.extra[0] == 0 && n.extra[1] == 0 && n.extra[2] == 0);

    BoundingBox b{{1, 2, 3}, {4, 5, 6}};
    b.Clear();
    EXPECT_EQ(b.centre, Vector3());
    EXPECT_EQ(b.halfExtents, Vector3());

    const Vector2 f = Point2i{-3, 8}.ToFloatPair();
    EXPECT_TRUE(f.x == -3.0f && f.y == 8.0f);

    Vector3 w{1, -2, 3};
    w.Negate();
    EXPECT_EQ(w, Vector3(-1, 2, -3));
    w.Scale(2);
    EXPECT_EQ(w, Vector3(-2, 4, -6));
    EXPECT_EQ(Vector3::Dot({1, 2, 3}, {4, 5, 6}), 32.0f);
}

// --- ByteArray -----------------------------------------------------------------------------

TEST(ByteArray, FillCopyAssignAndTrackedStorage) {
    const MemoryCounters before = GetMemoryCounters();
    {
        ByteArray empty;
        EXPECT_EQ(empty.Data(), nullptr);
        ByteArray zero(0, 7);
        EXPECT_EQ(zero.Data(), nullptr);
        EXPECT_EQ(zero.Count(), 0);

        ByteArray a(5, 0xAB);
        ASSERT_NE(a.Data(), nullptr);
        for (int i = 0; i < 5; ++i) EXPECT_EQ(a[i], 0xAB);
        a[2] = 1;

        ByteArray copy(a);
        EXPECT_NE(copy.Data(), a.Data());
        EXPECT_EQ(0, std::memcmp(copy.Data(), a.Data(), 5));

        ByteArray assigned(3, 0);
        assigned = a;
        EXPECT_EQ(assigned.Count(), 5);
        EXPECT_EQ(assigned[2], 1);
        const ByteArray& self = assigned;
        assigned = self;  // self-assignment keeps the bytes
        EXPECT_EQ(assigned[2], 1);

        assigned.AssignFill(9, 0x11);
        EXPECT_EQ(assigned.Count(), 9);
        EXPECT_EQ(assigned[8], 0x11);
        assigned.AssignFill(0, 0x22);
        EXPECT_EQ(assigned.Data(), nullptr);

        ByteArray moved(std::move(a));
        EXPECT_EQ(moved.Count(), 5);
        EXPECT_EQ(a.Count(), 0);
        EXPECT_GT(GetMemoryCounters().currentBytes, before.currentBytes);
    }
    // Every block went back to the tracked allocator with its size.
    const MemoryCounters after = GetMemoryCounters();
    EXPECT_EQ(after.currentBytes, before.currentBytes);
    EXPECT_EQ(after.currentBlocks, before.currentBlocks);
}

}  // namespace
