#include "core/dynamics.h"

#include <cmath>
#include <type_traits>

#include "core/elementforce.h"

namespace uav {

namespace {

bool finite(const Vec3& v) { return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z); }
bool finite(const Mat3& m) { return finite(m.row(0)) && finite(m.row(1)) && finite(m.row(2)); }
bool positiveFinite(double v) { return std::isfinite(v) && v > 0.0; }

SimFault modelFault(const ModelParams& p) {
    if (!positiveFinite(p.mass)) return SimFault::BadMass;
    if (!positiveFinite(p.inertia.x) || !positiveFinite(p.inertia.y) || !positiveFinite(p.inertia.z))
        return SimFault::BadInertia;
    return SimFault::None;
}

}  // namespace

void updateAttitudeAngles(SimState& s) {
    const Vec3 r0 = s.orient.row(0), r2 = s.orient.row(2);
    const Vec3 h = VecCross(SimState::axisDown, r0);  // horizontal, right of the nose
    const double hn = VecNorm(h);
    s.rollAngle = 0.0;
    if (hn > 0.0) {
        const double c = VecDot(h, r2) / hn;
        if (c >= -1.0 && c <= 1.0) {
            s.rollAngle = std::acos(c);
            if (s.orient.m[2][1] > 0.0) s.rollAngle = -s.rollAngle;
        }
    }
    s.pitchAngle = std::atan(s.orient.m[0][1]);
    s.yawAngle = std::atan2(-s.orient.m[0][2], s.orient.m[0][0]);
}

void CalcMO(SimState& s) {
    s.earthToBody = s.orient;
    s.bodyToEarth = MatTranspose(s.orient);
}

// Every number of the state is finite. Walks the state's field list, so a
// field added to the state is checked too (a field of a kind this does not
// know fails to build).
bool stateFinite(const SimState& s) {
    bool ok = true;
    forEachSimStateField(s, [&](const char*, const auto& v) {
        using T = std::decay_t<decltype(v)>;
        if constexpr (std::is_same_v<T, double>) {
            ok = ok && std::isfinite(v);
        } else if constexpr (std::is_same_v<T, Vec3> || std::is_same_v<T, Mat3>) {
            ok = ok && finite(v);
        } else if constexpr (std::is_same_v<T, std::array<Vec3, ELEMENT_COUNT>>) {
            for (const Vec3& e : v) ok = ok && finite(e);
        } else if constexpr (std::is_same_v<T, std::array<double, ELEMENT_COUNT>>) {
            for (double e : v) ok = ok && std::isfinite(e);
        } else {
            static_assert(std::is_same_v<T, bool> || std::is_same_v<T, SimFault>,
                          "a state field of a new kind: say here how it can be invalid");
        }
    });
    return ok;
}

TickResult dynamicsTick(SimState& s, const Aircraft& ac, TickHook* hook) {
    TickResult res;
    const ModelParams& mp = ac.params;
    // The tick is computed on a copy and stored only when every number of it
    // is finite, so a bad step never reaches the state or the telemetry.
    SimState n = s;
    auto refuse = [&] {
        if (s.fault == SimFault::None) {
            s.fault = SimFault::NonFinite;
            res.faultRaised = true;
        }
        return res;
    };

    updateAtmosphere(n);
    updateAttitudeAngles(n);
    CalcMO(n);

    const Vec3 thrustEarth = MatVec(n.bodyToEarth, n.thrustBody);
    const Vec3 motorEarth = MatVec(n.bodyToEarth, mp.motorPos);
    const Vec3 thrustMoment = VecCross(motorEarth, thrustEarth);

    n.airflowBody = MatVec(n.earthToBody, VecAdd(n.wind, VecScale(n.velocity, -1.0)));

    Vec3 elemMoment[ELEMENT_COUNT];
    for (int i = 0; i < ELEMENT_COUNT; ++i) {
        const AeroElement& e = ac.elements[i];
        if (e.active) {
            const Vec3 f = elementForce(n, e, i);
            n.elemForceBody[i] = f;
            elemMoment[i] = VecCross(n.elemCP[i], f);
            n.elemForceEarth[i] = MatVec(n.bodyToEarth, f);
        } else {
            n.elemForceBody[i] = SimState::zeroVec;
            n.elemForceEarth[i] = SimState::zeroVec;
            elemMoment[i] = SimState::zeroVec;
        }
    }

    if (!n.running || s.fault != SimFault::None) {
        if (!stateFinite(n)) return refuse();
        s = n;
        if (!s.running) return res;
    }

    if (s.fault == SimFault::None) {
        const SimFault f = modelFault(mp);
        if (f != SimFault::None) {
            if (!stateFinite(n)) return refuse();
            s = n;
            s.fault = f;
            res.faultRaised = true;
        }
    }
    if (s.fault != SimFault::None) return res;

    // Forces and moment, earth frame.
    const Vec3 aero = VecSum(n.elemForceEarth, ELEMENT_COUNT);
    const Vec3 force = VecSum({aero, mp.weight, thrustEarth});
    const Vec3 moment = VecAdd(MatVec(n.bodyToEarth, VecSum(std::span<const Vec3>(elemMoment), ELEMENT_COUNT)),
                               thrustMoment);

    // Rotation: angular acceleration along the moment, with the moment of
    // inertia about that axis for a diagonal tensor.
    const double mn = VecNorm(moment);
    if (mn > 0.0) {
        const Vec3 e = VecScale(moment, 1.0 / mn);
        const double gx = VecDot(e, n.orient.row(0));
        const double gy = VecDot(e, n.orient.row(1));
        const double gz = VecDot(e, n.orient.row(2));
        const double inertia = gx * gx * mp.inertia.x + gy * gy * mp.inertia.y + gz * gz * mp.inertia.z;
        // Tiny moments of inertia can underflow to zero here: an infinite
        // angular acceleration, refused like any other.
        if (!(inertia > 0.0)) return refuse();
        n.omegaEarth = VecAdd(n.omegaEarth, VecScale(moment, n.dt / inertia));
    }

    // Attitude: turn each body axis about the angular-velocity direction.
    const double wn = VecNorm(n.omegaEarth);
    if (wn > 0.0) {
        const Mat3 r = MRotO(n.dt * wn, VecScale(n.omegaEarth, 1.0 / wn));
        for (int i = 0; i < 3; ++i) n.orient.setRow(i, MatVec(r, s.orient.row(i)));
    }

    // Translation, semi-implicit: position with the new velocity.
    n.velocity = VecAdd(n.velocity, VecScale(force, n.dt / mp.mass));
    n.posH = n.posH + n.velocity.y * n.dt;
    n.posX = n.posX + n.velocity.x * n.dt;
    n.posZ = n.posZ + n.velocity.z * n.dt;
    n.posD = std::sqrt(n.posX * n.posX + n.posZ * n.posZ);
    n.omegaBody = MatVec(n.earthToBody, n.omegaEarth);

    // The moment and force themselves may overflow while every stored number
    // stays finite (an infinite moment turns nothing once normalised).
    if (!std::isfinite(mn) || !finite(force) || !stateFinite(n)) return refuse();

    s = n;
    res.integrated = true;

    if (hook) hook->afterIntegration(s);
    return res;
}

}  // namespace uav
