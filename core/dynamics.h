// One tick of the flight dynamics (the work of the 10 ms simulation timer).
#pragma once

#include "core/aircraft.h"
#include "core/simstate.h"

namespace uav {

// Work that runs at the end of an integrating tick, after the state update
// (the relay auto-tuning uses it). Plain interface so the core knows nothing
// of the autopilot.
class TickHook {
public:
    virtual ~TickHook() = default;
    virtual void afterIntegration(SimState& s) = 0;
};

struct TickResult {
    bool integrated = false;   // the state was advanced by dt
    bool faultRaised = false;  // a fault was latched by this tick (reported once)
};

// Attitude angles (roll, pitch, yaw) from s.orient.
void updateAttitudeAngles(SimState& s);

// earthToBody := orient, bodyToEarth := transpose(orient).
void CalcMO(SimState& s);

// One tick. Always refreshes atmosphere, attitude angles, snapshots, airflow
// and element forces; while s.running also integrates by s.dt and then calls
// the hook. A model with a non-positive mass or moment of inertia, or a tick
// that would put NaN or infinity anywhere into the state (the refreshed part
// included, also while stopped), latches s.fault and leaves the whole state as
// it was; integration stays refused until the fault is cleared (initial
// conditions, model apply).
// True when every number in the state is finite.
bool stateFinite(const SimState& s);

TickResult dynamicsTick(SimState& s, const Aircraft& ac, TickHook* hook = nullptr);

}  // namespace uav
