// SPDX-License-Identifier: MIT
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "tests/sim/simulated_network.h"
#include "av/av_state.h"
#include "av/exchanges.h"
#include "avcodec/transfer.h"
#include "scan/scan.h"
#include "core/tables.h"
#include "core/view_hooks.h"
#include "hp10/replies.h"
#include "platform/bytes.h"
#include "platform/clock.h"
#include "platform/notifier.h"
#include "platform/process_state.h"
#include "sim/device.h"
#include "sim/memory_link.h"
#include "sim/network.h"
#include "tests/sim/sim_devices.h"
#include "store/data_directory.h"
#include "store/preferences.h"
#include "tests/store/store_test_support.h"
#include "transport/frame_io.h"
#include "transport/memory_wire.h"

// The scan against the simulated powerline network on the in-memory wire and the virtual clock:
// the devices answer as real ones would, and every frame the host sends is on record. Fields of
// the packed records are compared as values (+field), never bound by reference.
namespace corvel::test {

// The scan tests' names for devices of the shared set.
inline constexpr Mac kAvStation1 = kAvStation;
inline constexpr Mac kPlainInTurbo = kTurboStation2;  // a plain 1.0 station on the Turbo wire
inline constexpr Mac kHp10Station1 = kHp10Station;

class ScanSim : public ::testing::Test, public SimulatedNetwork {
protected:
    void SetUp() override {
        resetProcessState();
        viewHooks().refreshView = [this](int phase) {
            if (phase != kFullScanPhase) return;
            fullScanTicks.push_back(tickCount);
            if (afterFullScan) afterFullScan();
        };
        viewHooks().setUpgradeEnabled = [this](bool on) { upgradeCalls.push_back(on); };
        preferences().diagnosticsLevel = 0;
        setDataDirectory(scratch.path.string());
        installCaptureBackend(&wire);
        installScanTimer(&timer);
    }
    void TearDown() override {
        installScanTimer(nullptr);
        installCaptureBackend(nullptr);
        setDataDirectory("");
        resetProcessState();
    }

    // One port ("plc<n>") with its local device and stations; call attach() once all are built.
    int addPort(const DeviceConfig& local, const std::vector<DeviceConfig>& stations = {}) {
        return addSimPort(net, local, stations);
    }
    void attach() { sim::attachToMemoryWire(net, wire, clock); }
    sim::Device& device(const Mac& mac) { return *net.device(mac); }

    // A tick as the timer gives it: one period passes, then the tick runs.
    void tick() {
        clock.sleepMs(scanTimerPeriodMs(core.ticksPerPhase));
        ++tickCount;
        onTimerTick();
    }
    void ticks(int n) {
        for (int i = 0; i < n; ++i) tick();
    }
    // A tick whose frames are those of its phase step alone: the answers to earlier requests,
    // and whatever the local-device observer sends on seeing them, are taken before it.
    std::vector<std::string> stepFrames() {
        clock.sleepMs(scanTimerPeriodMs(core.ticksPerPhase));
        for (int i = 0; i < 3; ++i) processHp10Replies();
        const size_t mark = wire.sent().size();
        ++tickCount;
        onTimerTick();
        return describeSentFrom(mark);
    }

    // "what source>destination" for every frame sent from `mark` on.
    std::vector<std::string> describeSentFrom(size_t mark) const {
        std::vector<std::string> out;
        for (size_t i = mark; i < wire.sent().size(); ++i)
            out.push_back(describe(wire.sent()[i].bytes));
        return out;
    }

    std::string label(const Mac& mac) const {
        if (mac == kBroadcastMac) return "bcast";
        if (mac == kLocalManagementMac) return "mgmt";
        for (int i = 0; i < adapterCount; ++i)
            if (macOf(interfaceEntries[i].interfaceMac) == mac) return "host";
        for (size_t p = 0; p < net.portCount(); ++p) {
            const sim::Port& port = net.port(int(p));
            if (port.local && port.local->mac() == mac) return "local";
            for (size_t s = 0; s < port.stations.size(); ++s)
                if (port.stations[s]->mac() == mac) return "st" + std::to_string(s + 1);
        }
        return formatMac(mac);
    }

    // 1.0 frames by entry type ("params/00", "stats", "local query", "vendor/16", "read/21"),
    // AV frames by MMTYPE ("A038").
    std::string describe(const std::vector<uint8_t>& f) const {
        if (f.size() < 21) return "short";
        char what[32];
        const uint16_t ethertype = get16be(&f[12]);
        if (ethertype == 0x88E1) {
            std::snprintf(what, sizeof what, "%04X", unsigned(get16le(&f[15])));
        } else if (ethertype != 0x887B) {
            std::snprintf(what, sizeof what, "type %04X", unsigned(ethertype));
        } else {
            switch (f[15]) {
                case 0x19:
                    std::snprintf(what, sizeof what, "params/%02X", unsigned(f[17]));
                    break;
                case 0x07:
                    std::snprintf(what, sizeof what, "stats");
                    break;
                case 0x1A:
                    std::snprintf(what, sizeof what, "local query");
                    break;
                case 0x02:
                    std::snprintf(what, sizeof what, "vendor/%u", unsigned(f[20]));
                    break;
                case 0x12:
                    std::snprintf(what, sizeof what, "read/%02X", unsigned(f[17]));
                    break;
                default:
                    std::snprintf(what, sizeof what, "entry %02X", unsigned(f[15]));
                    break;
            }
        }
        return std::string(what) + " " + label(macOf(&f[6])) + ">" + label(macOf(&f[0]));
    }

    ScratchDirectory scratch;
    ClockScanTimer timer;

    int tickCount = 0;
    std::vector<int> fullScanTicks;  // the tick of each full scan
    std::function<void()> afterFullScan;
    std::vector<bool> upgradeCalls;
};

}  // namespace corvel::test
