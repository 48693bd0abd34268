#include "views/plotquantities.h"

#include <array>

#include "core/simstate.h"

namespace uav {

namespace {

// Body frame: x forward, y up, z along the right wing; earth frame: X north,
// H up, Z east. Yaw grows to the west.
std::vector<PlotQuantityLabel> makeLabels() {
    std::vector<PlotQuantityLabel> q = {
        {"posX_m", "Положение", "север X", "м"},
        {"posH_m", "Положение", "высота H", "м"},
        {"posZ_m", "Положение", "восток Z", "м"},
        {"posD_m", "Положение", "удаление от дома", "м"},
        {"velN_ms", "Скорость", "скорость на север", "м/с"},
        {"velUp_ms", "Скорость", "вертикальная скорость", "м/с"},
        {"velE_ms", "Скорость", "скорость на восток", "м/с"},
        {"roll_deg", "Углы", "крен", "°"},
        {"pitch_deg", "Углы", "тангаж", "°"},
        {"yaw_deg", "Углы", "рыскание (к западу +)", "°"},
        {"airspeed_ms", "Воздушный поток", "воздушная скорость", "м/с"},
        {"airflowBodyX_ms", "Воздушный поток", "поток по x (вперёд)", "м/с"},
        {"airflowBodyY_ms", "Воздушный поток", "поток по y (вверх)", "м/с"},
        {"airflowBodyZ_ms", "Воздушный поток", "поток по z (правое крыло)", "м/с"},
        {"omegaBodyX_rads", "Угловые скорости", "угловая скорость x (крен)", "рад/с"},
        {"omegaBodyY_rads", "Угловые скорости", "угловая скорость y (рыскание)", "рад/с"},
        {"omegaBodyZ_rads", "Угловые скорости", "угловая скорость z (тангаж)", "рад/с"},
        {"thrustX_N", "Тяга", "тяга по x (вперёд)", "Н"},
        {"thrustY_N", "Тяга", "тяга по y (вверх)", "Н"},
        {"thrustZ_N", "Тяга", "тяга по z (правое крыло)", "Н"},
    };
    for (int i = 0; i < ELEMENT_COUNT; ++i)
        q.push_back({"servo" + std::to_string(i), "Рули", "руль элемента №" + std::to_string(i), ""});
    for (int i = 0; i < ELEMENT_COUNT; ++i)
        for (const char* axis : {"x", "y", "z"})
            q.push_back({"F" + std::to_string(i) + axis + "_N", "Силы",
                         "сила элемента №" + std::to_string(i) + " по " + axis, "Н"});
    struct Loop {
        const char* code;
        const char* name;
        const char* unit;
        const char* codeUnit;
    };
    const Loop loops[] = {{"rollLoop", "крен", "°", "_deg"},
                          {"pitchLoop", "тангаж", "°", "_deg"},
                          {"speedLoop", "скорость", "м/с", "_ms"},
                          {"altitudeLoop", "высота", "м", "_m"},
                          {"headingLoop", "курс", "°", "_deg"},
                          {"rollRateLoop", "скорость крена", "рад/с", "_rads"},
                          {"yawRateLoop", "скорость рыскания", "рад/с", "_rads"},
                          {"pitchRateLoop", "скорость тангажа", "рад/с", "_rads"}};
    for (const Loop& l : loops) {
        q.push_back({std::string(l.code) + ".setpoint" + l.codeUnit, "Автопилот",
                     std::string("АП: ") + l.name + ", задание", l.unit});
        q.push_back({std::string(l.code) + ".error" + l.codeUnit, "Автопилот",
                     std::string("АП: ") + l.name + ", ошибка", l.unit});
    }
    return q;
}

}  // namespace

const std::vector<std::string>& plotQuantityGroups() {
    static const std::vector<std::string> groups = {"Положение",        "Скорость", "Углы",
                                                    "Воздушный поток",  "Угловые скорости", "Тяга",
                                                    "Рули",             "Силы",     "Автопилот"};
    return groups;
}

const PlotQuantityLabel* plotQuantityLabel(std::string_view code) {
    static const std::vector<PlotQuantityLabel> labels = makeLabels();
    for (const PlotQuantityLabel& l : labels)
        if (l.code == code) return &l;
    return nullptr;
}

std::string nameWithUnit(const PlotQuantityLabel& q) { return q.unit.empty() ? q.name : q.name + ", " + q.unit; }

}  // namespace uav
