#include <gtest/gtest.h>

#include "core/vecmath.h"

using namespace uav;

namespace {
void expectVec(const Vec3& v, double x, double y, double z, double tol = 1e-12) {
    EXPECT_NEAR(v.x, x, tol);
    EXPECT_NEAR(v.y, y, tol);
    EXPECT_NEAR(v.z, z, tol);
}
}  // namespace

TEST(VecMath, CrossProductOrderAndBasis) {
    expectVec(VecCross({1, 0, 0}, {0, 1, 0}), 0, 0, 1);
    const Vec3 a{1, 2, 3}, b{-4, 5, 0.5};
    const Vec3 ab = VecCross(a, b), ba = VecCross(b, a);
    expectVec(ab, -ba.x, -ba.y, -ba.z);
    // Hand-worked: (2*0.5-3*5, 3*-4-1*0.5, 1*5-2*-4)
    expectVec(ab, -14, -12.5, 13);
}

TEST(VecMath, SumDotNormScale) {
    const Vec3 list[3] = {{1, 2, 3}, {10, 20, 30}, {100, 200, 300}};
    expectVec(VecSum(list, 2), 11, 22, 33);
    expectVec(VecSum(list, 0), 0, 0, 0);
    EXPECT_DOUBLE_EQ(VecDot({1, 2, 3}, {4, -5, 6}), 12);
    EXPECT_DOUBLE_EQ(VecNorm({3, 4, 12}), 13);
    expectVec(VecScale({1, -2, 3}, -2), -2, 4, -6);
}

TEST(VecMath, SingleAxisBuildersTurnAsDocumented) {
    const double h = PI / 2;
    expectVec(MatVec(MRotX(h), {0, 1, 0}), 0, 0, -1);
    expectVec(MatVec(MRotY(h), {1, 0, 0}), 0, 0, -1);
    expectVec(MatVec(MRotZ(h), {1, 0, 0}), 0, -1, 0);
}

TEST(VecMath, AxisAngleBuilder) {
    const double a = 0.7;
    const Mat3 o = MRotO(a, 0, 0, 1), zt = MatTranspose(MRotZ(a));
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) EXPECT_NEAR(o.m[i][j], zt.m[i][j], 1e-15);
    const Mat3 id = MRotO(0, 0.6, 0, 0.8);
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) EXPECT_DOUBLE_EQ(id.m[i][j], i == j ? 1.0 : 0.0);
    // +90 deg about x takes y to z (right-hand rule).
    expectVec(MatVec(MRotO(PI / 2, 1, 0, 0), {0, 1, 0}), 0, 0, 1);
    // 120 deg about the diagonal cycles the axes x -> y -> z.
    const double s = 1 / std::sqrt(3.0);
    expectVec(MatVec(MRotO(2 * PI / 3, s, s, s), {1, 0, 0}), 0, 1, 0);
}

TEST(VecMath, MatMulIsRowByColumn) {
    const Mat3 a{{{1, 2, 0}, {0, 1, 0}, {0, 0, 3}}};
    const Mat3 b{{{0, 1, 0}, {1, 0, 0}, {0, 0, 1}}};
    const Mat3 ab = MatMul(a, b);
    EXPECT_EQ(ab, (Mat3{{{2, 1, 0}, {1, 0, 0}, {0, 0, 3}}}));
    // Composition applies right to left.
    const Vec3 v{1, 2, 3};
    expectVec(MatVec(ab, v), MatVec(a, MatVec(b, v)).x, MatVec(a, MatVec(b, v)).y, MatVec(a, MatVec(b, v)).z);
}
