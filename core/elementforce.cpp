#include "core/elementforce.h"

#include <algorithm>
#include <cmath>

namespace uav {

namespace {
constexpr double A0 = PI / 6.0;              // break angle, 30 deg
constexpr double K1 = (PI / 2.0) / A0;       // 3
constexpr double K2 = PI / (PI - 2.0 * A0);  // 1.5
constexpr double CP_MAX = 0.35;
constexpr double CP_MIN = 0.3;
}  // namespace

double liftCoef(double a) {
    const double x = std::fabs(a);
    double f;
    if (x < A0)
        f = std::sin(K1 * x);
    else if (x <= PI - A0)
        f = std::cos(K2 * (x - A0));
    else
        f = std::sin(K1 * (x - PI));
    const double c = 1.5 * f;
    return a < 0 ? -c : c;
}

double dragCoef(double a) { return (1.1 - std::cos(2.0 * a)) / 2.0; }

double cpFraction(double a) {
    const double x = std::fabs(a);
    if (x < A0) return CP_MAX - (CP_MAX - CP_MIN) * std::sin(K1 * x);
    if (x <= PI - A0) return 0.5 + (0.5 - CP_MIN) * std::sin(K2 * (x - PI / 2.0));
    return (1.0 - CP_MAX) - (CP_MAX - CP_MIN) * std::sin(K1 * (x - PI));
}

Vec3 elementForce(SimState& s, const AeroElement& e, int i) {
    // 1. Local airflow: rotation of the airframe, the free stream, the slipstream.
    const Vec3 u = VecSum({VecCross(e.pos, s.omegaBody), s.airflowBody,
                           Vec3{-e.efTr * s.thrustBody.x, 0.0, 0.0}});
    s.elemAirflow[i] = u;

    const double sc = VecDot(e.chordDir, u);
    const double n = VecDot(e.normal, u);
    const double v = VecNorm(u);
    if (!(v > 0.0)) {
        s.elemCP[i] = VecAdd(e.pos, VecScale(e.chordVec, 0.5));
        return {};
    }
    const double q = v * v * (s.airDensity * e.area) / 2.0;
    const Vec3 flow = VecScale(u, 1.0 / v);

    // Rounding can push |n / V| just past 1 when the flow is along the normal.
    const double nv = std::clamp(n / v, -1.0, 1.0);
    double a = sc > 0.0 ? PI / 2.0 - std::acos(nv) : std::acos(nv) + PI / 2.0;
    if (a > PI) a -= 2.0 * PI;

    Vec3 w = VecCross(flow, VecCross(e.normal, flow));
    if (sc < 0.0) w = VecScale(w, -1.0);

    const double drag = dragCoef(a) * q;
    const double lift = (liftCoef(a) + e.k * s.servoPos[i]) * q;
    s.elemCP[i] = VecAdd(e.pos, VecScale(e.chordVec, cpFraction(a)));
    return VecAdd(VecScale(flow, drag), VecScale(w, lift));
}

}  // namespace uav
