#include <gtest/gtest.h>

#include "core/vecmath.h"

using namespace uav;

namespace {
void expectVec(const Vec3& v, double x, double y, double z) {
    EXPECT_NEAR(v.x, x, 1e-12);
    EXPECT_NEAR(v.y, y, 1e-12);
    EXPECT_NEAR(v.z, z, 1e-12);
}
}  // namespace

TEST(VecMath, ProductsSumAndNorm) {
    // Hand-worked: (2*0.5-3*5, 3*-4-1*0.5, 1*5-2*-4); swapping the operands flips it.
    expectVec(VecCross({1, 2, 3}, {-4, 5, 0.5}), -14, -12.5, 13);
    expectVec(VecCross({-4, 5, 0.5}, {1, 2, 3}), 14, 12.5, -13);
    const Vec3 list[3] = {{1, 2, 3}, {10, 20, 30}, {100, 200, 300}};
    expectVec(VecSum(list, 2), 11, 22, 33);  // the first two only
    EXPECT_DOUBLE_EQ(VecDot({1, 2, 3}, {4, -5, 6}), 12);
    EXPECT_DOUBLE_EQ(VecNorm({3, 4, 12}), 13);
    // Row by column: a swapped index gives another matrix.
    const Mat3 a{{{1, 2, 0}, {0, 1, 0}, {0, 0, 3}}}, b{{{0, 1, 0}, {1, 0, 0}, {0, 0, 1}}};
    EXPECT_EQ(MatMul(a, b), (Mat3{{{2, 1, 0}, {1, 0, 0}, {0, 0, 3}}}));
}

TEST(VecMath, RotationBuildersTurnAsDocumented) {
    const double h = PI / 2, s = 1 / std::sqrt(3.0);
    expectVec(MatVec(MRotX(h), {0, 1, 0}), 0, 0, -1);  // -90 deg about x
    expectVec(MatVec(MRotY(h), {1, 0, 0}), 0, 0, -1);  // +90 deg about y
    expectVec(MatVec(MRotZ(h), {1, 0, 0}), 0, -1, 0);  // -90 deg about z
    expectVec(MatVec(MRotO(h, 1, 0, 0), {0, 1, 0}), 0, 0, 1);  // right-hand rule
    // 120 deg about the diagonal cycles the axes x -> y -> z.
    expectVec(MatVec(MRotO(2 * PI / 3, s, s, s), {1, 0, 0}), 0, 1, 0);
}
