// SPDX-License-Identifier: MIT
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

#include "core/tables.h"

// Station bookkeeping: every station answer adds or refreshes a station of the selected
// interface, and raw rate samples become the rate figures shown to the user.
namespace corvel {

// How a raw rate word becomes Mbit/s.
enum class RateMode {
    HomePlug10 = 0,  // 1.0 stations and the link average
    Turbo = 1,       // Turbo statistics replies
    Av = 2,          // AV stations
};

// A station answered: it is present again with the local device's network key and name. A new
// station takes the first free slot; with all 32 taken the user is warned and it replaces the
// last one. The local device itself is never a station, nor is any address that
// couldBeStation refuses.
void addOrRefreshStation(const uint8_t* mac);

// Whether a station could have this address: not a group address (broadcast included), not all
// zero, not the local-management address the AV devices answer to, and not one of the host's own
// interfaces. A hostile or garbled answer naming such an address must not become a device.
bool couldBeStation(const uint8_t* mac);

// An AV station's network-information entry: its average PHY rates to it (tx) and from it (rx),
// in Mbit/s as the device reports them, kept beside the station's slot of the selected
// interface. An address with no station slot is ignored.
void recordPhyRates(const uint8_t* mac, uint8_t tx, uint8_t rx);

// A station's rates in both directions, whole Mbit/s; empty where none was measured. An AV
// station gives what its last network-information entry reported; a HomePlug 1.0 or Turbo
// station gives the rate its statistics give as tx and never an rx, which they do not report.
struct PhyRates {
    std::optional<int> tx;
    std::optional<int> rx;
};
PhyRates phyRatesOf(int interfaceIndex, const StationRecord& station);

void updateRate(RateRecord& rate, uint16_t w0, uint16_t w1, uint16_t w2, RateMode mode);

// A HomePlug 1.0 statistics reply (entry 0x1A): each present station takes its sample from the
// reply's station slots, then the link average is written into the reply's bytes 18..19 and
// taken into the link rate. The reply is changed in place (slot MACs lose bit 0 of their first
// byte). Only the slots the frame holds whole are read.
void applyHp10Statistics(uint8_t* frame, size_t length);

}  // namespace corvel
