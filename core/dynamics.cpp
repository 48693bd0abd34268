#include "core/dynamics.h"

#include <cmath>

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

TickResult dynamicsTick(SimState& s, const Aircraft& ac, TickHook* hook) {
    TickResult res;
    const ModelParams& mp = ac.params;

    updateAtmosphere(s);
    updateAttitudeAngles(s);
    CalcMO(s);

    const Vec3 thrustEarth = MatVec(s.bodyToEarth, s.thrustBody);
    const Vec3 motorEarth = MatVec(s.bodyToEarth, mp.motorPos);
    const Vec3 thrustMoment = VecCross(motorEarth, thrustEarth);

    s.airflowBody = MatVec(s.earthToBody, VecAdd(s.wind, VecScale(s.velocity, -1.0)));

    Vec3 elemMoment[ELEMENT_COUNT];
    for (int i = 0; i < ELEMENT_COUNT; ++i) {
        const AeroElement& e = ac.elements[i];
        if (e.active) {
            const Vec3 f = elementForce(s, e, i);
            s.elemForceBody[i] = f;
            elemMoment[i] = VecCross(s.elemCP[i], f);
            s.elemForceEarth[i] = MatVec(s.bodyToEarth, f);
        } else {
            s.elemForceBody[i] = SimState::zeroVec;
            s.elemForceEarth[i] = SimState::zeroVec;
            elemMoment[i] = SimState::zeroVec;
        }
    }

    if (!s.running) return res;

    if (s.fault == SimFault::None) {
        const SimFault f = modelFault(mp);
        if (f != SimFault::None) {
            s.fault = f;
            res.faultRaised = true;
        }
    }
    if (s.fault != SimFault::None) return res;

    // Forces and moment, earth frame.
    const Vec3 aero = VecSum(s.elemForceEarth, ELEMENT_COUNT);
    const Vec3 force = VecSum({aero, mp.weight, thrustEarth});
    const Vec3 moment = VecAdd(MatVec(s.bodyToEarth, VecSum(std::span<const Vec3>(elemMoment), ELEMENT_COUNT)),
                               thrustMoment);

    // Rotation: angular acceleration along the moment, with the moment of
    // inertia about that axis for a diagonal tensor.
    Vec3 omegaEarth = s.omegaEarth;
    const double mn = VecNorm(moment);
    if (mn > 0.0) {
        const Vec3 e = VecScale(moment, 1.0 / mn);
        const double gx = VecDot(e, s.orient.row(0));
        const double gy = VecDot(e, s.orient.row(1));
        const double gz = VecDot(e, s.orient.row(2));
        const double inertia = gx * gx * mp.inertia.x + gy * gy * mp.inertia.y + gz * gz * mp.inertia.z;
        omegaEarth = VecAdd(omegaEarth, VecScale(moment, s.dt / inertia));
    }

    // Attitude: turn each body axis about the angular-velocity direction.
    Mat3 orient = s.orient;
    const double wn = VecNorm(omegaEarth);
    if (wn > 0.0) {
        const Mat3 r = MRotO(s.dt * wn, VecScale(omegaEarth, 1.0 / wn));
        for (int i = 0; i < 3; ++i) orient.setRow(i, MatVec(r, s.orient.row(i)));
    }

    // Translation, semi-implicit: position with the new velocity.
    const Vec3 velocity = VecAdd(s.velocity, VecScale(force, s.dt / mp.mass));
    const double posH = s.posH + velocity.y * s.dt;
    const double posX = s.posX + velocity.x * s.dt;
    const double posZ = s.posZ + velocity.z * s.dt;
    const Vec3 omegaBody = MatVec(s.earthToBody, omegaEarth);

    if (!finite(omegaEarth) || !finite(orient) || !finite(velocity) || !finite(omegaBody) ||
        !std::isfinite(posH) || !std::isfinite(posX) || !std::isfinite(posZ)) {
        s.fault = SimFault::NonFinite;
        res.faultRaised = true;
        return res;
    }

    s.omegaEarth = omegaEarth;
    s.orient = orient;
    s.velocity = velocity;
    s.posH = posH;
    s.posX = posX;
    s.posZ = posZ;
    s.posD = std::sqrt(posX * posX + posZ * posZ);
    s.omegaBody = omegaBody;
    res.integrated = true;

    if (hook) hook->afterIntegration(s);
    return res;
}

}  // namespace uav
