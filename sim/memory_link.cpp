// SPDX-License-Identifier: MIT
#include "sim/memory_link.h"

#include <memory>
#include <string>
#include <vector>

namespace corvel::sim {

namespace {

// The ports' noise streams run on the clock: what is due goes out, then the pump waits for the
// next frame's time.
void pumpNoise(Network& network, VirtualClock& clock) {
    const uint64_t next = network.emitDueNoise(clock.tickCount());
    if (next != UINT64_MAX)
        clock.scheduleAt(next, [&network, &clock] { pumpNoise(network, clock); });
}

}  // namespace

Mac memoryHostMac(int port) {
    return Mac{0x02, 0x00, 0x00, 0x00, 0x00, uint8_t(0x10 + port)};
}

void attachToMemoryWire(Network& network, MemoryWire& wire, VirtualClock& clock) {
    std::vector<HostInterface> listed;
    std::string error;
    wire.listInterfaces(listed, error);

    // Wire port -> network port and back.
    auto toNetwork = std::make_shared<std::vector<int>>(listed.size(), -1);
    auto toWire = std::make_shared<std::vector<int>>(network.portCount(), -1);
    for (size_t p = 0; p < network.portCount(); ++p) {
        const std::string& name = network.port(int(p)).interfaceName;
        int wirePort = -1;
        for (size_t w = 0; w < listed.size(); ++w)
            if (listed[w].name == name) wirePort = int(w);
        if (wirePort < 0) {
            wirePort = wire.addInterface(name, memoryHostMac(int(p)));
            toNetwork->resize(size_t(wirePort) + 1, -1);
        }
        (*toNetwork)[size_t(wirePort)] = int(p);
        (*toWire)[p] = wirePort;
    }

    network.setTimeSource([&clock] { return clock.tickCount(); });
    wire.setReceiver([&network, toNetwork](int wirePort, const std::vector<uint8_t>& frame) {
        if (wirePort < 0 || size_t(wirePort) >= toNetwork->size()) return;
        const int port = (*toNetwork)[size_t(wirePort)];
        if (port >= 0) network.onHostFrame(port, frame);
    });
    network.setEmitter(
        [&wire, &clock, toWire](int port, std::vector<uint8_t> frame, uint32_t delayMs) {
            if (port < 0 || size_t(port) >= toWire->size()) return;
            const int wirePort = (*toWire)[size_t(port)];
            clock.scheduleAfter(delayMs, [&wire, wirePort, f = std::move(frame)]() mutable {
                wire.deliver(wirePort, std::move(f));
            });
        });
    pumpNoise(network, clock);
}

}  // namespace corvel::sim
