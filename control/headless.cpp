#include "control/headless.h"

namespace uav {

ClockMs headlessClockMs(const HeadlessControl& hc) { return static_cast<ClockMs>(hc.ticks) * TICK_MS; }

TickResult headlessTick(HeadlessControl& hc, Autopilot& ap, SimState& s, const Aircraft& ac) {
    const ClockMs t = headlessClockMs(hc);
    if (hc.ticks % 2 == 0) {
        controlTick(ap, s, ac, t);
        if (ap.loopTimerOn) loopTick(ap, s, ac, t);
    }
    hc.hook.nowMs = t + TICK_MS;
    const TickResult r = dynamicsTick(s, ac, &hc.hook);
    ++hc.ticks;
    return r;
}

}  // namespace uav
