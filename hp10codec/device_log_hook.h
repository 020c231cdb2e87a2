// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <functional>
#include <span>

// The device log keeps raw parameter blocks of the local HomePlug 1.0 device that look blank or
// did not match after a key change, for the maker's support staff. The logs install the writer;
// until they do, an entry goes nowhere.
namespace corvel {

// The label an entry carries in the device log.
enum class DeviceLogKind : int {
    storedCopy = 0,   // the parameters as the device keeps them across power cycles
    workingCopy = 1,  // the parameters the device runs with now
    keyMismatch = 2,  // a block read back after a key change that did not match
};

using DeviceLogWriter = std::function<void(DeviceLogKind kind, std::span<const uint8_t> bytes)>;

// The installed writer; assign an empty function to go back to writing nothing.
DeviceLogWriter& deviceLogWriter();
void writeDeviceLogEntry(DeviceLogKind kind, std::span<const uint8_t> bytes);

}  // namespace corvel
