// SPDX-License-Identifier: MIT
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <ctime>
#include <functional>
#include <ostream>
#include <span>
#include <string>
#include <vector>

#include "tests/sim/simulated_network.h"
#include "av/av_state.h"
#include "avcodec/transfer.h"
#include "scan/device_list.h"
#include "scan/scan.h"
#include "core/tables.h"
#include "core/view_hooks.h"
#include "hp10codec/device_log_hook.h"
#include "keys/derive.h"
#include "network/key_state.h"
#include "network/operation_hooks.h"
#include "network/scan_now.h"
#include "platform/bytes.h"
#include "platform/clock.h"
#include "platform/notifier.h"
#include "platform/process_state.h"
#include "platform/text.h"
#include "sim/device.h"
#include "tests/sim/sim_devices.h"
#include "sim/memory_link.h"
#include "sim/network.h"
#include "store/data_directory.h"
#include "store/preferences.h"
#include "tests/store/store_test_support.h"
#include "transport/frame_io.h"
#include "transport/interface_table.h"
#include "transport/memory_wire.h"

// The membership operations as the user runs them: the simulated powerline network on the
// in-memory wire and the virtual clock, the scan cycle on a timer of that clock, the device
// list merged by the refresh (with the add in progress) and saved into a scratch data
// directory. The tables come from real full scans, not from a fixture's guess. Fields of the
// packed records are compared as values (+field).
namespace corvel::sim {
inline void PrintTo(Family family, std::ostream* out) {
    *out << (family == Family::Av ? "Av" : family == Family::Turbo ? "Turbo" : "Hp10");
}
}  // namespace corvel::sim

namespace corvel::test {

// A password as a user might type it, in lower case.
inline std::string lowerCase(std::string text) {
    for (char& c : text) c = char(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

using Bytes = std::vector<uint8_t>;

// A device on the private network of `networkName` instead of the public one.
inline DeviceConfig onNetwork(DeviceConfig config, const std::string& networkName) {
    if (config.family == Family::Av)
        config.nmk = deriveNMK(networkName);
    else
        config.nek = deriveHP10Key(networkName);
    return config;
}

// Records every message with the time it was shown, answers from a script, and can look at
// the tables at the moment a question is asked.
class TimedRecorder : public RecordingNotifier {
public:
    explicit TimedRecorder(Clock& clock) : clock_(clock) {}
    Button notify(const std::string& title, const std::string& text, Icon icon,
                  Buttons buttons) override {
        shownAt.push_back(clock_.tickCount());
        if (buttons != Buttons::Ok && onQuestion) onQuestion();
        return RecordingNotifier::notify(title, text, icon, buttons);
    }
    std::vector<std::string> texts() const {
        std::vector<std::string> out;
        for (const Message& m : messages) out.push_back(m.title + ": " + m.text);
        return out;
    }
    // The time the first message with `text` was shown; 0 when none was.
    uint64_t timeOf(const std::string& text) const {
        for (size_t i = 0; i < messages.size(); ++i)
            if (messages[i].text == text) return shownAt[i];
        return 0;
    }

    std::vector<uint64_t> shownAt;
    std::function<void()> onQuestion;

private:
    Clock& clock_;
};

class MembershipSim : public ::testing::Test {
protected:
    void SetUp() override {
        resetProcessState();
        viewHooks().refreshView = [this](int phase) {
            const MergeOutcome merged = mergeStationsIntoDevices(std::time(nullptr), &pendingAdd());
            if (merged.pendingTaken) ++adoptions;
            if (phase == kFullScanPhase) ++fullScans;
        };
        deviceLogWriter() = [](DeviceLogKind, std::span<const uint8_t>) {};
        preferences().diagnosticsLevel = 0;
        setDataDirectory(scratch.path.string());
        installCaptureBackend(&wire);
        installScanTimer(&timer);
        core.ticksPerPhase = 30;
    }
    void TearDown() override {
        installScanTimer(nullptr);
        installCaptureBackend(nullptr);
        setDataDirectory("");
        resetProcessState();
    }

    // A port "plc<n>" with its local device and stations; call start() once all are built.
    int addPort(const DeviceConfig& local, const std::vector<DeviceConfig>& stations = {}) {
        return addSimPort(net, local, stations);
    }

    // As the main page starts: one full scan at once, the refresh, then `cycles` scan cycles so
    // that the stations are seen and entered in the device list.
    void start(int cycles = 1) {
        sim::attachToMemoryWire(net, wire, clock);
        ASSERT_TRUE(rescan());
        refreshView(5);
        runCycles(cycles);
    }

    // Runs the periodic scan until `cycles` more full scans have run (or the timer stopped).
    void runCycles(int cycles) {
        const int target = fullScans + cycles;
        for (int guard = 0; fullScans < target && timer.running() && guard < 10000; ++guard)
            timer.runFor(timer.periodMs());
    }
    // Scan cycles until the add in progress was adopted, at most `cycles`.
    bool runUntilAdopted(int cycles) {
        for (int i = 0; i < cycles && adoptions == 0; ++i) runCycles(1);
        return adoptions != 0;
    }

    sim::Device& device(const Mac& mac) { return *net.device(mac); }

    // The 1-based record of `mac`, with `password` entered.
    int enterPassword(const Mac& mac, const std::string& password) {
        int k = findDeviceByMac(mac.data());
        if (k == 0) k = appendDevice(mac.data(), makeDefaultName());
        copyText(core.devices[k - 1].password, password);
        return k;
    }

    std::string networkName() const {
        return stringOf(core.stationTables[core.currentAdapter].networkName);
    }
    // "Public" when the selected network carries its family's default name, else "Private",
    // as the main page's network-type label reads.
    std::string networkType() const {
        return networkName() == (core.localIsAv ? "HomePlugAV" : "HomePlug") ? "Public" : "Private";
    }
    std::vector<std::string> messagesWithout(const std::string& title) const {
        std::vector<std::string> out;
        for (const auto& m : recorder.messages)
            if (m.title != title) out.push_back(m.title + ": " + m.text);
        return out;
    }

    static bool isAv(const Bytes& f) { return f.size() > 18 && get16be(&f[12]) == 0x88E1; }
    static bool isHp10(const Bytes& f) { return f.size() > 16 && get16be(&f[12]) == 0x887B; }
    static uint16_t mmtypeOf(const Bytes& f) { return isAv(f) ? get16le(&f[15]) : 0; }

    // An AV set-key request as sent: its NMK, PEKS, RDA and DAK.
    struct AvSetKey {
        uint64_t atMs;
        Key16 nmk;
        uint8_t peks;
        Mac rda;
        Key16 dak;
    };
    std::vector<AvSetKey> avSetKeys(size_t from = 0) const {
        std::vector<AvSetKey> out;
        const auto& sent = wire.sent();
        for (size_t i = from; i < sent.size(); ++i) {
            const Bytes& f = sent[i].bytes;
            if (mmtypeOf(f) != 0xA050 || f.size() < 60) continue;
            AvSetKey k{sent[i].atMs, {}, f[37], macOf(&f[38]), {}};
            std::copy_n(f.begin() + 21, 16, k.nmk.begin());
            std::copy_n(f.begin() + 44, 16, k.dak.begin());
            out.push_back(k);
        }
        return out;
    }

    ScratchDirectory scratch;
    VirtualClock clock;
    ScopedClock clockScope{clock};
    TimedRecorder recorder{clock};
    ScopedNotifier notifierScope{recorder};
    MemoryWire wire;
    sim::Network net;
    ClockScanTimer timer;
    int fullScans = 0;
    int adoptions = 0;
};

}  // namespace corvel::test
