// SPDX-License-Identifier: MIT
#pragma once

#include <QTemporaryDir>

#include <vector>

#include "tests/sim/simulated_network.h"
#include "av/av_state.h"
#include "avcodec/transfer.h"
#include "network/scan_now.h"
#include "platform/clock.h"
#include "platform/notifier.h"
#include "platform/process_state.h"
#include "scan/scan.h"
#include "sim/memory_link.h"
#include "sim/network.h"
#include "sim/scenario.h"
#include "tests/sim/sim_devices.h"
#include "tests/ui/ui_test_support.h"
#include "transport/frame_io.h"
#include "transport/memory_wire.h"
#include "ui/main_page.h"

// The simulated powerline network on the in-memory wire and the virtual clock, for the pages:
// an AV local device with two AV stations on "plc0". Messages are
// recorded and answered by script; the cycle's timer runs only when the test lets it.
namespace corvel::test {

struct UiSim : SimulatedNetwork {
    explicit UiSim(const QString& dataDir) {
        prepare(dataDir);
        const int av = net.addPort("plc0");
        net.setLocal(av, deviceConfig(sim::Family::Av, kAvLocal));
        net.addStation(av, deviceConfig(sim::Family::Av, kAvStation));
        net.addStation(av, deviceConfig(sim::Family::Av, kAvStation2));
        sim::attachToMemoryWire(net, wire, clock);
    }
    // The network of a scenario file instead (the demo's: data/demo-scenario.json).
    UiSim(const QString& dataDir, const std::string& scenarioFile) {
        prepare(dataDir);
        net = sim::loadScenario(scenarioFile);
        sim::attachToMemoryWire(net, wire, clock);
    }
    ~UiSim() {
        installScanTimer(nullptr);
        installCaptureBackend(nullptr);
        setDataDirectory("");
        resetProcessState();
    }
    UiSim(const UiSim&) = delete;
    UiSim& operator=(const UiSim&) = delete;

    ClockScanTimer timer;

private:
    void prepare(const QString& dataDir) {
        resetProcessState();
        setDataDirectory(dataDir.toStdString());
        preferences().autoScan = 1;
        installCaptureBackend(&wire);
        installScanTimer(&timer);
    }
};

// Starts `page` as the program does (its start, then shown) and runs one scan cycle of `sim`'s
// network: the start's refresh sees the adapters for the first time and clears the stations,
// the cycle's full scan finds them again with their rates.
inline void startWithOneCycle(ui::MainPage& page, UiSim& sim) {
    page.start();
    page.activate();
    sim.timer.runFor(3000);
}

}  // namespace corvel::test
