// SPDX-License-Identifier: MIT
#pragma once

#include <optional>

#include "platform/mac.h"

namespace corvel {

// Makes current the host interface whose own address (the source address of its requests) is
// `hostAddress`, among those with a local device present, and takes the local device's family
// from that interface's station table: localIsTurbo for kind 2, localIsAv for kind 4. False, with
// the current interface kept, when none matches or the address is all zero.
bool selectInterfaceByHostMac(const Mac& hostAddress);

// The address of the host interface whose station table lists `device`, as a station or as its
// local device, as the tables were last saved or scanned: a present entry wins over one that was
// dropped, a lower table over a higher one. Tables are matched by their host address, not their
// index, which names another interface when a run used only some of them. None when no table
// lists the device.
std::optional<Mac> hostSeeing(const Mac& device);

// Whether the selected interface's local device is present and is `device`, or its station table
// holds `device` as a present station.
bool seenOnCurrentInterface(const Mac& device);

}  // namespace corvel
