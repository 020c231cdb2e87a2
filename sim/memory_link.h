// SPDX-License-Identifier: MIT
#pragma once

#include "platform/clock.h"
#include "platform/mac.h"
#include "sim/network.h"
#include "transport/memory_wire.h"

namespace corvel::sim {

// The host MAC given to an interface the memory link adds for port `port`.
Mac memoryHostMac(int port);

// Joins the network to the in-memory wire: every frame the host sends on an interface reaches
// the port of the same name, and every answer is delivered to that interface once its delay has
// passed on `clock`, which also paces the network's reboots and the ports' noise streams (those
// configured when attaching). A port whose interface the wire
// does not list yet is added to it with memoryHostMac(port). The network, the wire and the
// clock must outlive the link's use.
void attachToMemoryWire(Network& network, MemoryWire& wire, VirtualClock& clock);

}  // namespace corvel::sim
