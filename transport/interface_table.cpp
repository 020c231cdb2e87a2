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
const RegisteredReset interfaceTableReset{resetInterfaceTable};
}  // namespace

}  // namespace corvel
