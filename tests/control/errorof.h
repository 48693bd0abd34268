// The message of the SimError an action throws, so a test can compare it.
#pragma once

#include <functional>
#include <string>

#include "core/errors.h"

namespace uav::test {

inline std::string errorOf(const std::function<void()>& action) {
    try {
        action();
    } catch (const SimError& e) {
        return e.what();
    }
    return "no error";
}

}  // namespace uav::test
