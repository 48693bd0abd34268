#include "control/autoreturn.h"

#include <cmath>

namespace uav {

double bearingError(const SimState& s) {
    const double a = std::atan2(s.posX, s.posZ) + PI;              // toward home
    const double b = std::atan2(s.velocity.x, s.velocity.z);      // ground track
    double e = a - b;
    while (e > PI) e -= 2.0 * PI;
    while (e < -PI) e += 2.0 * PI;
    return e;
}

double altitudeProfile(const SimState& s, const ReturnSettings& rs, ReturnState& st) {
    // Altitude one second ahead.
    if (s.posH + s.velocity.y < rs.criticalAltitude) return rs.returnAltitude;
    if (st.belowCritical) {
        st.profileStartDistance = s.posD;
        st.profileStartAltitude = rs.criticalAltitude;
        st.belowCritical = false;
    }
    double h = rs.returnAltitude;
    if (st.profileStartDistance != 0.0)
        h = rs.returnAltitude -
            (rs.returnAltitude - st.profileStartAltitude) * s.posD / st.profileStartDistance;
    if (s.posD > st.profileStartDistance) h = st.profileStartAltitude;
    if ((rs.returnAltitude - st.profileStartAltitude) * (rs.returnAltitude - s.posH) <= 0.0 ||
        s.posD < rs.homeRadius)
        st.altitudeCaptured = true;
    return h;
}

void returnSetpoints(const SimState& s, const ReturnSettings& rs, ReturnState& st, PidLoop& altitudeLoop,
                     PidLoop& speedLoop) {
    altitudeLoop.setpoint = st.altitudeCaptured ? rs.returnAltitude : altitudeProfile(s, rs, st);
    speedLoop.setpoint = rs.returnSpeed;
}

void returnStep(const SimState& s, const ReturnSettings& rs, ReturnState& st, PidLoop& altitudeLoop,
                PidLoop& headingLoop, PidLoop& rollLoop, PidLoop& pitchLoop, double& rudderIn) {
    altitudeLoop.measured = s.posH;
    pidStep(altitudeLoop);
    st.altitudeCommand = altitudeLoop.output;
    pitchLoop.setpoint = st.altitudeCommand * rs.returnMaxPitch;

    headingLoop.measured = bearingError(s);
    pidStep(headingLoop);
    st.headingCommand = s.posD > rs.homeRadius ? headingLoop.output : 0.0;

    if (rs.headingByAilerons) {
        rollLoop.setpoint = st.headingCommand * rs.returnMaxRoll;
    } else {
        rollLoop.setpoint = 0.0;
        rudderIn = st.headingCommand;
    }
}

}  // namespace uav
