// The system's HID devices: hidapi (hidraw backend) for enumeration, opening
// and reading; the report descriptor from sysfs for the identifier byte and
// the report length; a libudev monitor for arrival and removal.
#pragma once

#include <memory>

#include "transmitter/hidplatform.h"

namespace uav {

// Never fails: without udev the platform still enumerates, but reports no
// changes (changeFd() is -1).
std::unique_ptr<HidPlatform> makeSystemHidPlatform();

}  // namespace uav
