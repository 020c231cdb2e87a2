// SPDX-License-Identifier: MIT
#pragma once

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <span>
#include <string>
#include <vector>

#include "core/answers.h"
#include "core/stations.h"
#include "core/tables.h"
#include "platform/clock.h"
#include "platform/mac.h"
#include "platform/notifier.h"
#include "platform/process_state.h"
#include "platform/text.h"
#include "tests/fuzz/fuzz_input.h"
#include "transport/frame_io.h"
#include "transport/memory_wire.h"

// A host with one interface on the in-memory wire whose every request is answered by the next
// frames of the fuzzer's input, on the virtual clock: whatever the system waits for, hostile
// answers are what it gets.
namespace corvel::fuzz {

inline constexpr Mac kHostMac{0x02, 0x00, 0x00, 0x00, 0x00, 0x10};

class QuietNotifier : public Notifier {
public:
    Button notify(const std::string&, const std::string&, Icon, Buttons) override {
        return Button::Ok;
    }
};

class FuzzedWire {
public:
    explicit FuzzedWire(FuzzInput& input) : input_(input) {
        installNotifier(&notifier_);
        resetProcessState();
        installCaptureBackend(&wire_);
        wire_.readTimeoutMs = 2;
        wire_.addInterface("eth0", kHostMac);
        // Each request is answered by as many frames as the input asks for (0..3).
        wire_.setReceiver([this](int port, const std::vector<uint8_t>&) {
            for (int n = input_.byte() % 4; n > 0 && !input_.empty(); --n) deliver(port);
        });
        reopenInterfaces();
    }
    ~FuzzedWire() {
        installCaptureBackend(nullptr);
        installNotifier(nullptr);
    }
    FuzzedWire(const FuzzedWire&) = delete;
    FuzzedWire& operator=(const FuzzedWire&) = delete;

    // Frames that arrive unasked, before anything is sent.
    void deliverUnasked(int count) {
        for (int i = 0; i < count && !input_.empty(); ++i) deliver(0);
    }

    // Every frame that arrived, in order.
    const std::vector<std::vector<uint8_t>>& delivered() const { return delivered_; }

private:
    void deliver(int port) {
        std::vector<uint8_t> frame = input_.frame();
        delivered_.push_back(frame);
        wire_.deliver(port, std::move(frame));
    }

    std::vector<std::vector<uint8_t>> delivered_;
    FuzzInput& input_;
    VirtualClock clock_;
    ScopedClock clockScope_{clock_};
    QuietNotifier notifier_;
    MemoryWire wire_;
};

// What the tables may never hold whatever came over the wire: a station address that no station
// can have, a local device or a device record with an address no device sends from (one of the
// host's own, a group address).
inline void checkStoredStations() {
    for (const StationTable& table : core.stationTables) {
        for (const StationRecord& station : table.stations)
            if (macIsSet(station.mac) && !couldBeStation(station.mac)) std::abort();
        if (macIsSet(table.localMac) && !couldBeDevice(table.localMac)) std::abort();
    }
    for (const AdapterRecord& adapter : core.adapters)
        if (macIsSet(adapter.localMac) && !couldBeDevice(adapter.localMac)) std::abort();
    for (int i = 0; i < core.deviceCount; ++i)
        if (!couldBeDevice(core.devices[i].mac)) std::abort();
}

// Whether one of `frames` came from `source` and holds `bytes` at or after `from`.
inline bool cameFromWith(const std::vector<std::vector<uint8_t>>& frames, const Mac& source,
                         std::span<const uint8_t> bytes = {}, size_t from = 12) {
    for (const std::vector<uint8_t>& f : frames) {
        if (f.size() < from || !std::equal(source.begin(), source.end(), f.begin() + 6)) continue;
        if (std::search(f.begin() + long(from), f.end(), bytes.begin(), bytes.end()) != f.end() ||
            bytes.empty())
            return true;
    }
    return false;
}

}  // namespace corvel::fuzz
