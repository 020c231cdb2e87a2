// SPDX-License-Identifier: MIT
#include "hp10codec/device_log_hook.h"

#include "platform/process_state.h"

namespace corvel {

DeviceLogWriter& deviceLogWriter() {
    static DeviceLogWriter writer;
    return writer;
}

namespace {
const RegisteredReset deviceLogWriterReset{[] { deviceLogWriter() = {}; }};
}  // namespace

void writeDeviceLogEntry(DeviceLogKind kind, std::span<const uint8_t> bytes) {
    if (deviceLogWriter()) deviceLogWriter()(kind, bytes);
}

}  // namespace corvel
