// SPDX-License-Identifier: MIT
#pragma once

#include <cstdlib>
#include <cstring>
#include <deque>
#include <string>
#include <vector>

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
            for (int n = input_.byte() % 4; n > 0 && !input_.empty(); --n)
                wire_.deliver(port, input_.frame());
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
        for (int i = 0; i < count && !input_.empty(); ++i) wire_.deliver(0, input_.frame());
    }

private:
    FuzzInput& input_;
    VirtualClock clock_;
    ScopedClock clockScope_{clock_};
    QuietNotifier notifier_;
    MemoryWire wire_;
};

// What the tables may never hold whatever came over the wire: a station address that no station
// can have, or a device with a group address.
inline void checkStoredStations() {
    for (const StationTable& table : core.stationTables)
        for (const StationRecord& station : table.stations)
            if (macIsSet(station.mac) && !couldBeStation(station.mac)) std::abort();
    for (int i = 0; i < core.deviceCount; ++i)
        if ((core.devices[i].mac[0] & 0x01) != 0) std::abort();
}

}  // namespace corvel::fuzz
