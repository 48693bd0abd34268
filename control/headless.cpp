#include "control/headless.h"

namespace uav {

double headlessTime(const HeadlessControl& hc, const SimState& s) { return static_cast<double>(hc.ticks) * s.dt; }

TickResult headlessTick(HeadlessControl& hc, Autopilot& ap, SimState& s, const Aircraft& ac) {
    const double t = headlessTime(hc, s);
    if (hc.ticks % 2 == 0) {
        controlTick(ap, s, ac, t);
        if (ap.loopTimerOn) loopTick(ap, s, ac, t);
    }
    hc.hook.now = t + s.dt;
    const TickResult r = dynamicsTick(s, ac, &hc.hook);
    ++hc.ticks;
    return r;
}

}  // namespace uav
