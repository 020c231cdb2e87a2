// SPDX-License-Identifier: MIT
#pragma once

#include "platform/mac.h"

namespace corvel {

// Makes current the host interface whose own address (the source address of its requests) is
// `hostAddress`, among those with a local device present, and takes the local device's family
// from that interface's station table: localIsTurbo for kind 2, localIsAv for kind 4. False, with
// the current interface kept, when none matches or the address is all zero.
bool selectInterfaceByHostMac(const Mac& hostAddress);

}  // namespace corvel
