// SPDX-License-Identifier: MIT
#include "core/answers.h"

#include "core/tables.h"
#include "transport/interface_table.h"

namespace corvel {

namespace {

// Bit 0 of the first byte marks a group (multicast) address; no device sends from one.
bool isGroupAddress(const uint8_t* mac) {
    return (mac[0] & 0x01) != 0;
}

}  // namespace

bool isHostAddress(const uint8_t* mac) {
    if (!macIsSet(mac)) return false;
    for (int i = 0; i < adapterCount && i < kMaxInterfaces; ++i)
        if (macEqual(mac, interfaceEntries[i].interfaceMac)) return true;
    return false;
}

bool couldBeDevice(const uint8_t* mac) {
    return macIsSet(mac) && !isGroupAddress(mac) && !macEqual(mac, kLocalManagementMac.data()) &&
           !isHostAddress(mac);
}

bool answersRequestTo(const uint8_t* source, const uint8_t* destination) {
    if (!couldBeDevice(source)) return false;
    if (isGroupAddress(destination) || macEqual(destination, kLocalManagementMac.data()))
        return true;
    return macEqual(source, destination);
}

}  // namespace corvel
