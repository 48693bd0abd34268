// Aerodynamic force of one flat element over the full circle of angle of attack.
#pragma once

#include "core/aircraft.h"
#include "core/simstate.h"

namespace uav {

// Coefficient curves of the angle of attack a (radians, (-pi, pi]).
double liftCoef(double a);    // odd, max 1.5 at 30 deg, -1.5 at 150 deg
double dragCoef(double a);    // 0.05 + sin^2 a
double cpFraction(double a);  // centre of pressure from the leading edge, fraction of chord

// Force of element i (body frame, N). Stores the local airflow in
// s.elemAirflow[i] and the centre of pressure in s.elemCP[i]. Reads
// omegaBody, airflowBody, thrustBody.x, airDensity and servoPos[i].
Vec3 elementForce(SimState& s, const AeroElement& e, int i);

}  // namespace uav
