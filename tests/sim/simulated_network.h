// SPDX-License-Identifier: MIT
#pragma once

#include "platform/clock.h"
#include "platform/notifier.h"
#include "sim/network.h"
#include "transport/memory_wire.h"

namespace corvel::test {

// What every system test on the simulated network starts from: the virtual clock and a message
// recorder installed for the test's lifetime, the in-memory wire and the network that answers on
// it. Fixtures derive from it, so that these come first and go last.
struct SimulatedNetwork {
    VirtualClock clock;
    ScopedClock clockScope{clock};
    RecordingNotifier recorder;
    ScopedNotifier notifierScope{recorder};
    MemoryWire wire;
    sim::Network net;
};

}  // namespace corvel::test
