// SPDX-License-Identifier: MIT
#pragma once

#include <string>
#include <vector>

#include "platform/clock.h"
#include "platform/notifier.h"
#include "sim/device.h"
#include "sim/network.h"
#include "transport/memory_wire.h"

namespace corvel::test {

// Adds the next port ("plc<n>") with its local device and stations; returns its index.
inline int addSimPort(sim::Network& net, const sim::DeviceConfig& local,
                      const std::vector<sim::DeviceConfig>& stations = {}) {
    const int port = net.addPort("plc" + std::to_string(net.portCount()));
    net.setLocal(port, local);
    for (const sim::DeviceConfig& station : stations) net.addStation(port, station);
    return port;
}

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
