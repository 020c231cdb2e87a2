// SPDX-License-Identifier: MIT
#pragma once

#include "platform/mac.h"

// The full scan, once per scan cycle: the host interfaces are enumerated and opened afresh, the
// local device is looked for on each of them (HomePlug AV first, then Turbo, then plain 1.0),
// the selected interface's local device is entered in the device list, its network key is read
// and the network named (scan/network_name.h), and each interface's station table takes a copy
// of what was found.
namespace corvel {

// True when a local device answered on any interface, or a plain 1.0 local device found before
// is still held by its miss counter. With none, the stations of the selected interface are
// cleared (clearStations).
bool fullScan();

// The Turbo probe on every interface in turn: a local device that answers the broadcast version
// query is Turbo; its firmware text is read. Enables the upgrade command when one answered.
bool probeTurbo();

// The plain 1.0 poll on every interface: up to three local queries, with reply windows of 50,
// 150 and 250 ms. A device already known is asked in its own name, so that its answer comes back
// addressed to itself. A device that answered stands at 1 on its miss counter; it is given up
// when the counter stands at 3 and another round goes unanswered. True when any interface's
// local device is present.
bool pollLocalHp10();

// The family's query of the local device on interface `index`: Turbo rate statistics, the AV
// station list with each station's version and rate, or else the 1.0 local query from `source`
// (all zero: the local device's address, else the interface's own) to `destination`. False
// when nothing could be sent.
bool sendLocalQuery(int index, const Mac& source, const Mac& destination);

}  // namespace corvel
