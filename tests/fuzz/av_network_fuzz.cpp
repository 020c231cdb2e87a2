// SPDX-License-Identifier: MIT
// The AV local-device queries against hostile answers: the version texts and the walk of the
// network-information confirmation that fills the station table. Whatever the frames' sources,
// the local device stays the one that answered the probe, and a station is listed only by the
// device asked and takes its text only from its own answer.
#include <cstdint>
#include <cstdlib>

#include "av/av_state.h"
#include "av/local_device.h"
#include "tests/fuzz/fuzz_wire.h"

using namespace corvel;

namespace {

constexpr Mac kAskedDevice{0x00, 0xB0, 0x52, 0x00, 0x00, 0x20};
// Network-information confirmation: station entries from byte 39.
constexpr size_t kFirstStationOffset = 39;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::FuzzInput input(data, size);
    fuzz::FuzzedWire wire(input);
    core.localIsAv = 1;
    if (probeLocalAv()) {
        const Mac answerer = avExchangeState().localAnswerer;
        if (readLocalVersion() && macIsSet(answerer.data()) &&
            !macEqual(core.adapters[0].localMac, answerer.data()))
            std::abort();
    }
    readNetworkStations(kAskedDevice);
    fuzz::checkStoredStations();
    for (const StationRecord& station : core.stationTables[0].stations) {
        if (!macIsSet(station.mac)) continue;
        Mac mac{};
        copyMac(mac.data(), station.mac);
        if (!fuzz::cameFromWith(wire.delivered(), kAskedDevice, mac, kFirstStationOffset))
            std::abort();
        if (station.firmwareText[0] != 0 && !fuzz::cameFromWith(wire.delivered(), mac))
            std::abort();
    }
    return 0;
}
