// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>

// One entry per host interface, indexed like the adapter records and station tables: entry i,
// adapter record i and station table i always describe the same interface.
namespace corvel {

inline constexpr int kMaxInterfaces = 8;

struct InterfaceEntry {
    int captureHandle = -1;  // the backend's handle while open for capture, -1 while closed
    // The interface's current Ethernet address, all zero when it could not be read.
    uint8_t interfaceMac[6] = {};
    // Readable interface name (the interface name when the capture library gives no text).
    char description[256] = {};
};

extern InterfaceEntry interfaceEntries[kMaxInterfaces];
extern int32_t adapterCount;

// Clears every entry (without closing handles: the frame I/O does that) and the count.
void resetInterfaceTable();

}  // namespace corvel
