#include "control/apsettings.h"

#include "control/autopilot.h"
#include "core/errors.h"
#include "model/numtext.h"

namespace uav {

const std::array<SettingField, STABILISER_FIELD_COUNT> STABILISER_FIELDS = {{
    {"Edit1", "rollMaxAngle", "50"},
    {"Edit2", "rollLoop.kp", "21,8"},
    {"Edit3", "rollLoop.ki", "5,2"},
    {"Edit4", "rollLoop.kd", "5,7"},
    {"Edit5", "pitchMaxAngle", "30"},
    {"Edit6", "pitchLoop.kp", "20,4"},
    {"Edit7", "pitchLoop.ki", "4,9"},
    {"Edit8", "pitchLoop.kd", "1,4"},
    {"Edit9", "speedMin", "45"},
    {"Edit13", "speedMax", "70"},
    {"Edit10", "speedLoop.kp", "5"},
    {"Edit11", "speedLoop.ki", "1"},
    {"Edit16", "rollRateMax", "1"},
    {"Edit17", "rollRateLoop.kp", "1"},
    {"Edit18", "rollRateLoop.ki", "1"},
    {"Edit19", "rollRateLoop.kd", "0,001"},
    {"Edit20", "pitchRateMax", "1"},
    {"Edit21", "pitchRateLoop.kp", "1"},
    {"Edit22", "pitchRateLoop.ki", "1"},
    {"Edit23", "pitchRateLoop.kd", "0,001"},
    {"Edit24", "yawRateMax", "0,3"},
    {"Edit27", "yawRateLoop.kp", "4"},
    {"Edit25", "yawRateLoop.ki", "3"},
    {"Edit26", "yawRateLoop.kd", "0,001"},
}};

const std::array<SettingField, RETURN_FIELD_COUNT> RETURN_FIELDS = {{
    {"Edit3", "returnMaxPitch", "20"},
    {"Edit2", "returnMaxRoll", "40"},
    {"Edit1", "returnAltitude", "150"},
    {"Edit15", "criticalAltitude", "150"},
    {"Edit4", "returnSpeed", "60"},
    {"Edit14", "homeRadius", "100"},
    {"Edit10", "altitudeLoop.kp", "1"},
    {"Edit11", "altitudeLoop.ki", "0,01"},
    {"Edit12", "altitudeLoop.kd", "0,01"},
    {"Edit6", "headingAilerons.kp", "1"},
    {"Edit7", "headingAilerons.ki", "0,01"},
    {"Edit8", "headingAilerons.kd", "0,01"},
    {"Edit5", "headingRudder.kp", "2"},
    {"Edit9", "headingRudder.ki", "0,1"},
    {"Edit13", "headingRudder.kd", "0,1"},
}};

StabiliserTexts defaultStabiliserTexts(char decimalSep) {
    StabiliserTexts t;
    for (int i = 0; i < STABILISER_FIELD_COUNT; ++i)
        t.text[i] = localizedDefault(STABILISER_FIELDS[i].defaultText, decimalSep);
    return t;
}

ReturnTexts defaultReturnTexts(char decimalSep) {
    ReturnTexts t;
    for (int i = 0; i < RETURN_FIELD_COUNT; ++i)
        t.text[i] = localizedDefault(RETURN_FIELDS[i].defaultText, decimalSep);
    return t;
}

void applyStabiliserTexts(const StabiliserTexts& t, char decimalSep, StabiliserSettings& st,
                          AutopilotLoops& loops) {
    auto num = [&](int f) { return parseNumber(t.text[f], decimalSep); };
    st.rollMaxAngle = num(ST_ROLL_MAX) * PI / 180.0;
    loops.rollLoop.kp = num(ST_ROLL_KP);
    loops.rollLoop.ki = num(ST_ROLL_KI);
    loops.rollLoop.kd = num(ST_ROLL_KD);
    st.pitchMaxAngle = num(ST_PITCH_MAX) * PI / 180.0;
    loops.pitchLoop.kp = num(ST_PITCH_KP);
    loops.pitchLoop.ki = num(ST_PITCH_KI);
    loops.pitchLoop.kd = num(ST_PITCH_KD);
    st.speedMin = num(ST_SPEED_MIN) / KMH_PER_MS;
    st.speedMax = num(ST_SPEED_MAX) / KMH_PER_MS;
    loops.speedLoop.kp = num(ST_SPEED_KP);
    loops.speedLoop.ki = num(ST_SPEED_KI);
    loops.speedLoop.kd = 0.0;
    st.rollRateMax = num(ST_ROLL_RATE_MAX);
    loops.rollRateLoop.kp = num(ST_ROLL_RATE_KP);
    loops.rollRateLoop.ki = num(ST_ROLL_RATE_KI);
    loops.rollRateLoop.kd = num(ST_ROLL_RATE_KD);
    st.pitchRateMax = num(ST_PITCH_RATE_MAX);
    loops.pitchRateLoop.kp = num(ST_PITCH_RATE_KP);
    loops.pitchRateLoop.ki = num(ST_PITCH_RATE_KI);
    loops.pitchRateLoop.kd = num(ST_PITCH_RATE_KD);
    st.yawRateMax = num(ST_YAW_RATE_MAX);
    loops.yawRateLoop.kp = num(ST_YAW_RATE_KP);
    loops.yawRateLoop.ki = num(ST_YAW_RATE_KI);
    loops.yawRateLoop.kd = num(ST_YAW_RATE_KD);
}

void applyReturnTexts(const ReturnTexts& t, char decimalSep, const SimState& s, ReturnSettings& rs,
                      ReturnState& st, AutopilotLoops& loops) {
    auto num = [&](int f) { return parseNumber(t.text[f], decimalSep); };
    rs.returnMaxPitch = num(RT_MAX_PITCH) * PI / 180.0;
    rs.returnMaxRoll = num(RT_MAX_ROLL) * PI / 180.0;
    rs.returnAltitude = num(RT_ALTITUDE);
    rs.criticalAltitude = num(RT_CRITICAL);
    rs.returnSpeed = num(RT_SPEED) / KMH_PER_MS;
    rs.homeRadius = num(RT_HOME_RADIUS);
    st.altitudeCaptured = t.captureAltitudeAtOnce;
    loops.altitudeLoop.kp = num(RT_ALT_KP);
    loops.altitudeLoop.ki = num(RT_ALT_KI);
    loops.altitudeLoop.kd = num(RT_ALT_KD);
    st.belowCritical = s.posH < rs.criticalAltitude;
    const int first = t.headingGroupIndex == 0 ? RT_AIL_KP : RT_RUD_KP;
    rs.headingByAilerons = t.headingGroupIndex == 0;
    loops.headingLoop.kp = num(first);
    loops.headingLoop.ki = num(first + 1);
    loops.headingLoop.kd = num(first + 2);
}

namespace {

bool flagValue(std::string_view name, std::string_view value) {
    if (value == "1") return true;
    if (value == "0") return false;
    throw SimError("autopilot setting '" + std::string(name) + "' takes 1 or 0, not '" + std::string(value) +
                   "'");
}

template <std::size_t N>
bool setByName(const std::array<SettingField, N>& fields, std::array<std::string, N>& texts,
               std::string_view prefix, std::string_view name, std::string_view value) {
    for (std::size_t i = 0; i < N; ++i) {
        const bool byEdit = name.size() == prefix.size() + std::string_view(fields[i].edit).size() &&
                            name.starts_with(prefix) && name.substr(prefix.size()) == fields[i].edit;
        if (name == fields[i].setting || byEdit) {
            texts[i] = std::string(value);
            return true;
        }
    }
    return false;
}

}  // namespace

void setSettingText(StabiliserTexts& stab, ReturnTexts& ret, std::string_view name, std::string_view value) {
    if (name == "captureAltitude") {
        ret.captureAltitudeAtOnce = flagValue(name, value);
        return;
    }
    if (name == "headingByAilerons") {
        ret.headingGroupIndex = flagValue(name, value) ? 0 : 1;
        return;
    }
    if (setByName(STABILISER_FIELDS, stab.text, "stab.", name, value)) return;
    if (setByName(RETURN_FIELDS, ret.text, "return.", name, value)) return;
    throw SimError("unknown autopilot setting '" + std::string(name) + "'");
}

}  // namespace uav
