#pragma once
#include <gtest/gtest.h>

#include "engine/core/Math.h"

inline void ExpectMatrixNear(const Matrix4& actual, const float (&expected)[16], float tol = 1e-5f) {
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j)
            EXPECT_NEAR(actual.m[i][j], expected[i * 4 + j], tol) << "entry [" << i << "][" << j << "]";
}

inline void ExpectMatrixNear(const Matrix4& actual, const Matrix4& expected, float tol = 1e-5f) {
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j)
            EXPECT_NEAR(actual.m[i][j], expected.m[i][j], tol) << "entry [" << i << "][" << j << "]";
}

inline void ExpectVecNear(const Vector3& a, const Vector3& b, float tol = 1e-5f) {
    EXPECT_NEAR(a.x, b.x, tol);
    EXPECT_NEAR(a.y, b.y, tol);
    EXPECT_NEAR(a.z, b.z, tol);
}

inline void ExpectQuatNear(const Quaternion& a, const Quaternion& b, float tol = 1e-5f) {
    EXPECT_NEAR(a.x, b.x, tol);
    EXPECT_NEAR(a.y, b.y, tol);
    EXPECT_NEAR(a.z, b.z, tol);
    EXPECT_NEAR(a.w, b.w, tol);
}
