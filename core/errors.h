// The error a user action raises: it carries the system's own message, which
// the application shows in a message box, and stops the action where it is.
#pragma once

#include <stdexcept>
#include <string>

namespace uav {

class SimError : public std::runtime_error {
public:
    explicit SimError(const std::string& message) : std::runtime_error(message) {}
};

inline SimError notAFloat(const std::string& text) {
    return SimError("'" + text + "' is not a valid floating point value");
}
inline SimError divisionByZero() { return SimError("Floating point division by zero"); }
inline SimError overflow() { return SimError("Floating point overflow"); }

}  // namespace uav
