#include "control/channels.h"

#include <cmath>

#include "model/numtext.h"

namespace uav {

void slidersToChannels(const SliderPositions& p, Channels& ch) {
    ch.throttle = (100 - p.throttle) / 200.0;
    ch.rudderIn = p.rudder / 100.0;
    ch.aileronIn = p.ailerons / 100.0;
    ch.elevatorIn = -p.elevator / 100.0;
}

void updateServos(SimState& s, const Aircraft& ac, const Channels& ch, ServoState& servo, ClockMs nowMs) {
    const bool limited = servo.servoTimeMs.has_value();
    double dt = limited ? secondsBetween(*servo.servoTimeMs, nowMs) : 0.0;  // s
    if (dt < 0.0) dt = 0.0;

    for (int i = 0; i < ELEMENT_COUNT; ++i) {
        const AeroElement& e = ac.elements[i];
        if (!e.active || !(e.k > 0.0)) continue;

        double target = ac.mix.c[MIX_TRO][i] * ch.throttle + ac.mix.c[MIX_RUD][i] * ch.rudderIn +
                        ac.mix.c[MIX_ALE][i] * ch.aileronIn + ac.mix.c[MIX_ELE][i] * ch.elevatorIn;
        if (limited) {
            const double step = e.servoSpeed * dt;
            const double cmd = servo.servoCmd[i];
            if (target > cmd && cmd + step < target)
                target = cmd + step;
            else if (target < cmd && cmd - step > target)
                target = cmd - step;
        }
        servo.servoCmd[i] = target;

        // A step count so fine that the product overflows leaves nothing to
        // quantise: the position is the command itself.
        const double steps = e.servoSteps;
        const double quantised = steps > 0.0 ? roundHalfEven(target * steps) / steps : target;
        s.servoPos[i] = std::isfinite(quantised) ? quantised : target;
    }
    servo.servoTimeMs = nowMs;
}

void applyCommands(SimState& s, const Aircraft& ac, const Channels& ch, ServoState& servo, ClockMs nowMs) {
    s.thrustBody = VecScale(ac.params.thrustVec, ch.throttle);
    updateServos(s, ac, ch, servo, nowMs);
}

std::string outputDisplayText(const Channels& ch, const SimState& s, char decimalSep) {
    auto num = [decimalSep](double v) { return formatFixed(100.0 * v, 2, 4, decimalSep); };
    return "TRO=" + num(ch.throttle) + "\rRUD=" + num(s.servoPos[3]) + "\rALE=" + num(s.servoPos[0]) +
           "\rELE=" + num(s.servoPos[2]);
}

std::string sliderLabelText(SliderLabel which, int position) {
    const int shown = which == SliderLabel::Rudder ? -position : position;
    return std::to_string(shown) + " %";
}

}  // namespace uav
