#include "core/vecmath.h"
#include "tests/testutil.h"

using namespace uav;
using uav::test::expectVec;

TEST(VecMath, ProductsSumNormAndRotations) {
    // Hand-worked: (2*0.5-3*5, 3*-4-1*0.5, 1*5-2*-4); swapping the operands flips it.
    expectVec(VecCross({1, 2, 3}, {-4, 5, 0.5}), {-14, -12.5, 13});
    expectVec(VecCross({-4, 5, 0.5}, {1, 2, 3}), {14, 12.5, -13});
    const Vec3 list[3] = {{1, 2, 3}, {10, 20, 30}, {100, 200, 300}};
    expectVec(VecSum(list, 2), {11, 22, 33});  // the first two only
    EXPECT_DOUBLE_EQ(VecDot({1, 2, 3}, {4, -5, 6}), 12);
    EXPECT_DOUBLE_EQ(VecNorm({3, 4, 12}), 13);
    // Row by column: a swapped index gives another matrix.
    const Mat3 a{{{1, 2, 0}, {0, 1, 0}, {0, 0, 3}}}, b{{{0, 1, 0}, {1, 0, 0}, {0, 0, 1}}};
    EXPECT_EQ(MatMul(a, b), (Mat3{{{2, 1, 0}, {1, 0, 0}, {0, 0, 3}}}));
    // The rotation builders turn as documented.
    const double h = PI / 2, s = 1 / std::sqrt(3.0);
    expectVec(MatVec(MRotX(h), {0, 1, 0}), {0, 0, -1});  // -90 deg about x
    expectVec(MatVec(MRotY(h), {1, 0, 0}), {0, 0, -1});  // +90 deg about y
    expectVec(MatVec(MRotZ(h), {1, 0, 0}), {0, -1, 0});  // -90 deg about z
    expectVec(MatVec(MRotO(h, 1, 0, 0), {0, 1, 0}), {0, 0, 1});  // right-hand rule
    // 120 deg about the diagonal cycles the axes x -> y -> z.
    expectVec(MatVec(MRotO(2 * PI / 3, s, s, s), {1, 0, 0}), {0, 1, 0});
}
