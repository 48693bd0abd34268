// Frames and signs pinned from quantities worked out by hand: quarter turns,
// attitudes other than the identity, and an element away from the centre of
// gravity.
#include <cmath>
#include <random>

#include "core/dynamics.h"
#include "tests/testutil.h"

using namespace uav;
using uav::test::expectVec;

namespace {

void expectMat(const Mat3& m, const Mat3& want, double tol = 1e-15) {
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) EXPECT_NEAR(m.m[i][j], want.m[i][j], tol) << "[" << i << "][" << j << "]";
}

// Body components to earth by the definition of the rows: v = sum of vBody_i x row i.
Vec3 toEarth(const Mat3& orient, const Vec3& vBody) {
    return VecSum({VecScale(orient.row(0), vBody.x), VecScale(orient.row(1), vBody.y),
                   VecScale(orient.row(2), vBody.z)});
}

// Earth components to body: the projections on the three body axes.
Vec3 toBody(const Mat3& orient, const Vec3& vEarth) {
    return {VecDot(orient.row(0), vEarth), VecDot(orient.row(1), vEarth), VecDot(orient.row(2), vEarth)};
}

Aircraft inertBody() {
    Aircraft ac;
    ac.params.mass = 2.0;
    ac.params.inertia = {2, 4, 8};  // a swapped axis shows
    ac.params.weight = {0, -2 * GRAVITY_G, 0};
    return ac;
}

struct RandomAttitudes {
    std::mt19937_64 gen{20240607};
    std::uniform_real_distribution<double> u{-1.0, 1.0};
    Vec3 vec(double scale) { return {scale * u(gen), scale * u(gen), scale * u(gen)}; }
    // Rows of the identity turned about a random axis by a random angle.
    Mat3 attitude() {
        const Vec3 a = vec(1.0);
        const Vec3 axis = VecScale(a, 1.0 / VecNorm(a));
        const Mat3 r = MRotO(PI * u(gen), axis);
        Mat3 o;
        for (int i = 0; i < 3; ++i) o.setRow(i, MatVec(r, MatIdentity().row(i)));
        return o;
    }
};

}  // namespace

TEST(Rotations, QuarterTurnsAndTheirCompositions) {
    const double h = PI / 2;
    // As written in the math header, one row at a time.
    const Mat3 rx{{{1, 0, 0}, {0, 0, 1}, {0, -1, 0}}};
    const Mat3 ry{{{0, 0, 1}, {0, 1, 0}, {-1, 0, 0}}};
    const Mat3 rz{{{0, 1, 0}, {-1, 0, 0}, {0, 0, 1}}};
    expectMat(MRotX(h), rx);
    expectMat(MRotY(h), ry);
    expectMat(MRotZ(h), rz);
    // Right-hand quarter turns: x -> y -> z -> x.
    expectMat(MRotO(h, 1, 0, 0), MatTranspose(rx));
    expectMat(MRotO(h, 0, 1, 0), Mat3{{{0, 0, 1}, {0, 1, 0}, {-1, 0, 0}}});
    expectMat(MRotO(h, 0, 0, 1), MatTranspose(rz));
    // About (1, 2, 2) / 3 every sine term has its own coefficient:
    // [[x^2, xy - z, xz + y], [xy + z, y^2, yz - x], [xz - y, yz + x, z^2]].
    expectMat(MRotO(h, 1.0 / 3, 2.0 / 3, 2.0 / 3),
              Mat3{{{1.0 / 9, -4.0 / 9, 8.0 / 9}, {8.0 / 9, 4.0 / 9, 1.0 / 9}, {-4.0 / 9, 7.0 / 9, 4.0 / 9}}});
    // Compositions: x first, then z (the element geometry's order), and the reverse.
    expectMat(MatMul(MRotZ(h), MRotX(h)), Mat3{{{0, 0, 1}, {-1, 0, 0}, {0, -1, 0}}});
    expectMat(MatMul(MRotX(h), MRotZ(h)), Mat3{{{0, 1, 0}, {0, 0, 1}, {1, 0, 0}}});
    // The fin normal (-z) turned +90 about y: z -> x, so -z -> -x.
    expectVec(MatVec(MatMul(MRotY(h), MRotX(h)), {0, 1, 0}), {-1, 0, 0});
}

// 50 random attitudes: the tick's frame changes agree with the definition of
// the rows (body axes in earth coordinates).
TEST(Frames, RoundTripsAtRandomAttitudes) {
    RandomAttitudes r;
    for (int n = 0; n < 50; ++n) {
        SCOPED_TRACE(n);
        const Mat3 o = r.attitude();
        for (int i = 0; i < 3; ++i)
            for (int j = 0; j < 3; ++j) EXPECT_NEAR(VecDot(o.row(i), o.row(j)), i == j ? 1.0 : 0.0, 1e-12);
        expectVec(VecCross(o.row(0), o.row(1)), o.row(2), 1e-12);  // right-handed

        // Stopped: airflow in body axes, an element's force back in earth axes.
        SimState s;
        s.orient = o;
        s.velocity = r.vec(20);
        s.wind = r.vec(5);
        Aircraft ac = inertBody();
        ac.elements[0] = {.active = true, .pos = {0.1, 0, 0.3}, .len = 1, .chord = 0.2, .area = 0.2,
                          .normal = {0, 1, 0}, .chordVec = {-0.2, 0, 0}, .chordDir = {-1, 0, 0},
                          .spanDir = {0, 0, 1}};
        dynamicsTick(s, ac);
        expectVec(toEarth(o, s.airflowBody), VecSub(s.wind, s.velocity), 1e-12);
        expectVec(s.elemForceEarth[0], toEarth(o, s.elemForceBody[0]), 1e-12);

        // Running, no element: thrust turned to earth axes, the motor's moment,
        // omegaBody from the attitude before the turn, each axis turned by w x r.
        Aircraft body = inertBody();
        body.params.motorPos = r.vec(0.5);
        SimState t;
        t.running = true;
        t.orient = o;
        t.velocity = {};
        t.thrustBody = r.vec(10);
        t.omegaEarth = r.vec(0.5);
        const Vec3 w0 = t.omegaEarth;
        dynamicsTick(t, body);
        const Vec3 force = VecAdd(toEarth(o, t.thrustBody), body.params.weight);
        expectVec(t.velocity, VecScale(force, 0.01 / 2.0), 1e-12);
        const Vec3 m = VecCross(toEarth(o, body.params.motorPos), toEarth(o, t.thrustBody));
        const Vec3 mb = toBody(o, m);
        const double inertia = (mb.x * mb.x * 2 + mb.y * mb.y * 4 + mb.z * mb.z * 8) / VecDot(m, m);
        expectVec(t.omegaEarth, VecAdd(w0, VecScale(m, 0.01 / inertia)), 1e-12);
        expectVec(t.omegaBody, toBody(o, t.omegaEarth), 1e-12);
        for (int i = 0; i < 3; ++i)  // to first order in |w| dt (<= 0.01)
            expectVec(t.orient.row(i), VecAdd(o.row(i), VecScale(VecCross(t.omegaEarth, o.row(i)), 0.01)), 1e-4);
    }
}

// A level element 1 m out on the right wing of an aircraft heading east, the
// air meeting it at 30 degrees from below; in the last of the eight slots, so
// a sum that stops one short shows. By hand, with c = cos 30, s = sin 30:
//   e = (-c, s, 0); w = e x (n x e) = c (s, c, 0); CL 1.5, CD 0.3, cp 0.3 chord;
//   F = q (0.3 e + 1.5 w) = q (0.45 c, 1.275, 0), body;
//   cp = (0, 0, 1) + 0.3 (-0.2, 0, 0) = (-0.06, 0, 1);
//   M = cp x F = (-Fy, Fx, -0.06 Fy): the right wing rises (negative about x).
// Heading east the body axes in earth coordinates are x = (0,0,1), y = (0,1,0),
// z = (-1,0,0), so F_earth = (0, Fy, Fx) and M_earth = (0.06 Fy, Fx, -Fy).
TEST(Frames, OffsetElementForceAndMomentByHand) {
    const double c = std::cos(PI / 6), sn = std::sin(PI / 6), v = 10.0;
    Aircraft ac = inertBody();
    ac.elements[7] = {.active = true, .pos = {0, 0, 1}, .len = 1, .chord = 0.2, .area = 0.2, .normal = {0, 1, 0},
                      .chordVec = {-0.2, 0, 0}, .chordDir = {-1, 0, 0}, .spanDir = {0, 0, 1}};
    SimState s;
    s.running = true;
    s.orient = Mat3{{{0, 0, 1}, {0, 1, 0}, {-1, 0, 0}}};
    s.velocity = {0, -v * sn, v * c};  // east and sinking: air from ahead and below
    dynamicsTick(s, ac);

    expectVec(s.airflowBody, {-v * c, v * sn, 0}, 1e-12);
    const double q = v * v * s.airDensity * 0.2 / 2;
    const Vec3 f{0.45 * c * q, 1.275 * q, 0};
    expectVec(s.elemForceBody[7], f, 1e-12);
    expectVec(s.elemCP[7], {-0.06, 0, 1}, 1e-15);
    expectVec(s.elemForceEarth[7], {0, f.y, f.x}, 1e-12);

    const Vec3 m{0.06 * f.y, f.x, -f.y};  // earth
    const double inertia = (f.y * f.y * 2 + f.x * f.x * 4 + 0.0036 * f.y * f.y * 8) / VecDot(m, m);
    expectVec(s.omegaEarth, VecScale(m, 0.01 / inertia), 1e-12);
    EXPECT_LT(s.omegaBody.x, 0.0) << "lift on the right wing rolls to the left";
    expectVec(s.velocity, VecAdd(Vec3{0, -v * sn, v * c}, VecScale({0, f.y - 2 * GRAVITY_G, f.x}, 0.01 / 2)),
              1e-12);
}
