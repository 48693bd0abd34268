// The texts of the two autopilot settings windows ("Стабилизация" and
// "Автовозврат") and their apply operations. The texts are in window units
// (degrees, km/h); the settings hold radians and m/s.
#pragma once

#include <array>
#include <string>
#include <string_view>

#include "control/autoreturn.h"
#include "control/pid.h"
#include "core/simstate.h"

namespace uav {

struct AutopilotLoops;

// Limits of modes Stabilise and RateHold.
struct StabiliserSettings {
    double rollMaxAngle = 0.0;   // rad, bank at a full aileron slider
    double pitchMaxAngle = 0.0;  // rad, pitch at a full elevator slider
    double speedMin = 0.0;       // m/s, throttle slider at the bottom
    double speedMax = 0.0;       // m/s, throttle slider at the top
    double rollRateMax = 0.0;    // rad/s
    double pitchRateMax = 0.0;   // rad/s
    double yawRateMax = 0.0;     // rad/s
};

// One text field of a settings window.
struct SettingField {
    const char* edit;         // the window's field, "Edit13"
    const char* setting;      // what it sets, "speedMax" or "speedLoop.kp"
    const char* defaultText;  // as the window starts, with a decimal comma
};

// Stabilisation window fields, in the order they are converted.
enum StabiliserField {
    ST_ROLL_MAX, ST_ROLL_KP, ST_ROLL_KI, ST_ROLL_KD,
    ST_PITCH_MAX, ST_PITCH_KP, ST_PITCH_KI, ST_PITCH_KD,
    ST_SPEED_MIN, ST_SPEED_MAX, ST_SPEED_KP, ST_SPEED_KI,
    ST_ROLL_RATE_MAX, ST_ROLL_RATE_KP, ST_ROLL_RATE_KI, ST_ROLL_RATE_KD,
    ST_PITCH_RATE_MAX, ST_PITCH_RATE_KP, ST_PITCH_RATE_KI, ST_PITCH_RATE_KD,
    ST_YAW_RATE_MAX, ST_YAW_RATE_KP, ST_YAW_RATE_KI, ST_YAW_RATE_KD,
    STABILISER_FIELD_COUNT
};
extern const std::array<SettingField, STABILISER_FIELD_COUNT> STABILISER_FIELDS;

// Auto-return window text fields, in the order they are converted (the two
// heading groups last: only the selected one is read).
enum ReturnField {
    RT_MAX_PITCH, RT_MAX_ROLL, RT_ALTITUDE, RT_CRITICAL, RT_SPEED, RT_HOME_RADIUS,
    RT_ALT_KP, RT_ALT_KI, RT_ALT_KD,
    RT_AIL_KP, RT_AIL_KI, RT_AIL_KD,  // "Курс элеронами"
    RT_RUD_KP, RT_RUD_KI, RT_RUD_KD,  // "Курс рудером"
    RETURN_FIELD_COUNT
};
extern const std::array<SettingField, RETURN_FIELD_COUNT> RETURN_FIELDS;

struct StabiliserTexts {
    std::array<std::string, STABILISER_FIELD_COUNT> text;
};

struct ReturnTexts {
    std::array<std::string, RETURN_FIELD_COUNT> text;
    bool captureAltitudeAtOnce = false;  // CheckBox1 "сразу занимать высоту"
    int headingGroupIndex = 0;           // RadioGroup1: 0 "Элеронами", 1 "Рулем направления"
};

// The windows' texts at creation, written with the given decimal separator.
StabiliserTexts defaultStabiliserTexts(char decimalSep);
ReturnTexts defaultReturnTexts(char decimalSep);

// Apply of the stabilisation window: converts the fields in their order and
// stores each value before the next is read (speedLoop kd is set to 0 after
// Edit11). On a bad text throws SimError "'<text>' is not a valid floating
// point value"; the values before it stay, the later ones keep their old
// values. Loop integrals and other loop state are not touched.
void applyStabiliserTexts(const StabiliserTexts& t, char decimalSep, StabiliserSettings& st,
                          AutopilotLoops& loops);

// Apply of the auto-return window, same rules: Edit3, Edit2, Edit1, Edit15,
// Edit4, Edit14, then altitudeCaptured := the check box, Edit10..Edit12, then
// belowCritical := posH < criticalAltitude, then the heading group chosen by
// the radio index (0: ailerons, Edit6..Edit8; else rudder, Edit5, Edit9, Edit13).
void applyReturnTexts(const ReturnTexts& t, char decimalSep, const SimState& s, ReturnSettings& rs,
                      ReturnState& st, AutopilotLoops& loops);

// Sets one text by its setting name ("returnAltitude", "rollLoop.kp", ...) or
// its window field ("stab.Edit2", "return.Edit1"); the check box is
// "captureAltitude" and the radio group "headingByAilerons", each taking "1"
// or "0". Throws SimError naming an unknown setting or a flag that is not 0/1.
// The value is a text as typed into the window (degrees, km/h).
void setSettingText(StabiliserTexts& stab, ReturnTexts& ret, std::string_view name, std::string_view value);

}  // namespace uav
