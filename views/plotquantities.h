// What the plots call each quantity: a Russian name, its unit and its kind,
// for the quantity menus, the legends and the axis titles. The code name
// (the CSV column, "posH_m") stays the key and the exported header.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace uav {

struct PlotQuantityLabel {
    std::string code;   // the CSV column: "posH_m"
    std::string group;  // its kind: "Положение", "Скорость", ...
    std::string name;   // "высота H"
    std::string unit;   // "м"; "" for the dimensionless servo positions
};

// The kinds in menu order: position, velocity, attitude, airflow, rates,
// thrust, servos, forces, autopilot.
const std::vector<std::string>& plotQuantityGroups();

// The label of a code name, or nullptr for a name it does not know.
const PlotQuantityLabel* plotQuantityLabel(std::string_view code);

// "высота H, м" (the name alone when it has no unit).
std::string nameWithUnit(const PlotQuantityLabel& q);

}  // namespace uav
