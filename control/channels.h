// The four pilot channels and the servo model.
//
// Slider positions (integers, -100..100 percent) become the channel commands;
// the channel commands become the thrust and, through the mixer, one servo
// position per aerodynamic element.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>

#include "core/aircraft.h"
#include "core/simstate.h"

namespace uav {

// Positions of the four main-window sliders, -100..100.
struct SliderPositions {
    int ailerons = 0;    // P1, TrackBar1, -100 left
    int rudder = 0;      // P2, TrackBar2, -100 left
    int elevator = 0;    // P3, TrackBar3, -100 at the top
    int throttle = -100; // P4, TrackBar4, -100 at the top = full throttle
};

// The channel commands read by applyCommands.
struct Channels {
    double throttle = 0.0;    // 0..1, 1 = full thrust
    double rudderIn = 0.0;    // -1..1
    double aileronIn = 0.0;   // -1..1
    double elevatorIn = 0.0;  // -1..1
};

// The controls' clock: whole milliseconds, as a millisecond wall clock counts
// them (the headless runs count 10 per dynamics tick). Only differences are
// turned into seconds, so equal intervals give equal seconds however long the
// run has been going.
using ClockMs = std::int64_t;

// Seconds from `fromMs` to `toMs`.
inline double secondsBetween(ClockMs fromMs, ClockMs toMs) { return static_cast<double>(toMs - fromMs) / 1000.0; }

struct ServoState {
    std::array<double, ELEMENT_COUNT> servoCmd{};  // rate-limited command, mix units
    std::optional<ClockMs> servoTimeMs;             // clock time of the last update
};

// Direct mapping of mode Off: throttle (100 - P4) / 200, rudder P2 / 100,
// ailerons P1 / 100, elevator -P3 / 100 (the top end of the elevator slider,
// stick forward, gives +1).
void slidersToChannels(const SliderPositions& p, Channels& ch);

// The servo model, one update at clock time `nowMs`. For each active
// element with k > 0, in this order:
//   1. mix:       target = sum over the four channel rows of coefficient x command;
//   2. rate limit: move servoCmd toward the target by at most servoSpeed x dt,
//                  dt = secondsBetween(servoTimeMs, nowMs) (no limit while
//                  servoTimeMs is unset);
//   3. quantise:  servoPos = R(servoCmd x servoSteps) / servoSteps, R rounding
//                  halves to even; a non-positive servoSteps leaves the position
//                  unquantised.
// Other elements keep servoCmd and servoPos. servoTimeMs := nowMs in every
// case.
// A clock that went backwards (dt < 0) moves no servo in this update.
void updateServos(SimState& s, const Aircraft& ac, const Channels& ch, ServoState& servo, ClockMs nowMs);

// thrustBody := thrustVec x throttle, then updateServos.
void applyCommands(SimState& s, const Aircraft& ac, const Channels& ch, ServoState& servo, ClockMs nowMs);

// The output display Label11: "TRO=..\rRUD=..\rALE=..\rELE=.." with 100 x
// throttle and 100 x the servo positions of elements 3, 0 and 2, each fixed
// with two decimals and at most four significant digits.
std::string outputDisplayText(const Channels& ch, const SimState& s, char decimalSep);

// The percentage labels next to the sliders.
enum class SliderLabel { Ailerons, Rudder, Elevator };
// "35 %" for Label2 (ailerons) and Label6 (elevator), the position itself;
// Label1 (rudder) shows the position negated: 40 -> "-40 %".
std::string sliderLabelText(SliderLabel which, int position);

}  // namespace uav
