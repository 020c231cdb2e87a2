// SPDX-License-Identifier: MIT
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "avcodec/codec.h"
#include "platform/mac.h"

// The network-information confirmation 0xA039: the local device's view of its network and the
// stations in it. Frame offsets: 20 the number of networks, 21..37 the first network's own
// fields (network id, short id, the device's TEI and role, the coordinator's address and TEI),
// 38 its station count, from 39 its stations, one entry each.
namespace corvel {

inline constexpr size_t kNetworkInfoStationCountOffset = 38;
inline constexpr size_t kNetworkInfoFirstStationOffset = 39;

// One station entry: 0..5 its MAC, 6 its TEI, 7..12 the bridged address behind it, 13 the
// average PHY rate from the local device to the station, 14 the average PHY rate from the
// station, both in Mbit/s.
inline constexpr size_t kNetworkInfoStationEntrySize = 15;
inline constexpr size_t kStationEntryRateTo = 13;
inline constexpr size_t kStationEntryRateFrom = 14;

struct NetworkInfoStation {
    Mac mac{};
    uint8_t rateTo = 0;    // Mbit/s, the local device to the station
    uint8_t rateFrom = 0;  // Mbit/s, the station to the local device

    bool operator==(const NetworkInfoStation&) const = default;
};

// The first network's stations in a decoded network-information confirmation that came in a
// frame of `frameLength` bytes, in the order listed: as many as the count byte promises and the
// frame holds whole (a frame cut short may promise more than arrived). Empty for a record of
// any other message type. Entries are taken as they are: padding or the local device itself is
// for the caller to pass over.
std::vector<NetworkInfoStation> networkInfoStations(const AvConfirm& record, size_t frameLength);

}  // namespace corvel
