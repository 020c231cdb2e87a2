// SPDX-License-Identifier: MIT
#include "transport/interface_table.h"

#include <cstring>

namespace corvel {

InterfaceEntry interfaceEntries[kMaxInterfaces];
int32_t adapterCount = 0;

void resetInterfaceTable() {
    std::memset(interfaceEntries, 0, sizeof interfaceEntries);
    adapterCount = 0;
}

}  // namespace corvel
