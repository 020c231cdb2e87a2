// SPDX-License-Identifier: MIT
#include "transport/interface_table.h"

#include "platform/process_state.h"

namespace corvel {

InterfaceEntry interfaceEntries[kMaxInterfaces];
int32_t adapterCount = 0;

void resetInterfaceTable() {
    for (InterfaceEntry& entry : interfaceEntries) entry = InterfaceEntry{};
    adapterCount = 0;
}

namespace {
// An open capture is the frame I/O's to end (its own reset closes it on the backend that opened
// it), so its handle is kept here whichever of the two resets runs first.
const RegisteredReset interfaceTableReset{[] {
    for (InterfaceEntry& entry : interfaceEntries)
        entry = InterfaceEntry{.captureHandle = entry.captureHandle};
    adapterCount = 0;
}};
}  // namespace

}  // namespace corvel
