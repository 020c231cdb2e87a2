// SPDX-License-Identifier: MIT
#include "avcodec/network_info.h"

#include <algorithm>

#include "avcodec/frame.h"

namespace corvel {

namespace {

// The decoder keeps the frame from byte 20 on, the status first, at p[0].
constexpr size_t kPayloadOffset = kAvHeaderLength;

}  // namespace

std::vector<NetworkInfoStation> networkInfoStations(const AvConfirm& record, size_t frameLength) {
    std::vector<NetworkInfoStation> stations;
    if (record.mmtype != kMmNetworkInfoConfirm || frameLength <= kNetworkInfoStationCountOffset)
        return stations;
    const size_t promised = record.payload[kNetworkInfoStationCountOffset - kPayloadOffset];
    const size_t lastByte = std::min(frameLength, kPayloadOffset + kAvPayloadSize);
    const size_t whole =
        lastByte > kNetworkInfoFirstStationOffset
            ? (lastByte - kNetworkInfoFirstStationOffset) / kNetworkInfoStationEntrySize
            : 0;
    const size_t count = std::min(promised, whole);
    stations.reserve(count);
    for (size_t i = 0; i < count; ++i) {
        const uint8_t* entry = record.payload.data() + kNetworkInfoFirstStationOffset -
                               kPayloadOffset + i * kNetworkInfoStationEntrySize;
        NetworkInfoStation station;
        std::copy_n(entry, station.mac.size(), station.mac.begin());
        station.rateTo = entry[kStationEntryRateTo];
        station.rateFrom = entry[kStationEntryRateFrom];
        stations.push_back(station);
    }
    return stations;
}

}  // namespace corvel
