// SPDX-License-Identifier: MIT
#include "avcodec/network_info.h"

#include <gtest/gtest.h>

#include <vector>

#include "avcodec/codec.h"
#include "avcodec/transfer.h"
#include "tests/avcodec/av_test_support.h"

namespace corvel {
namespace {

using Bytes = std::vector<uint8_t>;

const Mac kKitchen{0x00, 0xB0, 0x52, 0x00, 0x00, 0x11};
const Mac kGarage{0x00, 0xB0, 0x52, 0x00, 0x00, 0x12};
const Mac kAttic{0x00, 0xB0, 0x52, 0x00, 0x00, 0x13};

// A network-information confirmation with one network of three stations, byte by byte.
// clang-format off
Bytes threeStations() {
    Bytes frame = test::avFrame(kMmNetworkInfoConfirm, 20);
    const Bytes payload = {
        0x01,                                            // 20 one network
        0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x07,        // 21..27 network id
        0x0E,                                            // 28 short network id
        0x01,                                            // 29 the local device's TEI
        0x02,                                            // 30 its role
        0x00, 0xB0, 0x52, 0x00, 0x00, 0x10,              // 31..36 coordinator
        0x01,                                            // 37 coordinator's TEI
        0x03,                                            // 38 three stations
        // 39..53 kitchen: MAC, TEI, bridged address, rate to it, rate from it
        0x00, 0xB0, 0x52, 0x00, 0x00, 0x11, 0x02,
        0x00, 0x0C, 0xB9, 0x08, 0x47, 0x10, 0x64, 0x5A,
        // 54..68 garage
        0x00, 0xB0, 0x52, 0x00, 0x00, 0x12, 0x03,
        0x00, 0x0C, 0xB9, 0x08, 0x47, 0x11, 0x2D, 0x31,
        // 69..83 attic
        0x00, 0xB0, 0x52, 0x00, 0x00, 0x13, 0x04,
        0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x09, 0xC8,
    };
    frame.insert(frame.end(), payload.begin(), payload.end());
    return frame;
}
// clang-format on

std::vector<NetworkInfoStation> stationsOf(const Bytes& frame) {
    resetAvOperation();
    AvConfirm record{};
    EXPECT_EQ(plcapi_DecodeFrame(frame.size(), frame.data(), &record), 0);
    return networkInfoStations(record, frame.size());
}

TEST(NetworkInfo, StationsAreReadWithBothRates) {
    const std::vector<NetworkInfoStation> expected = {
        {kKitchen, 100, 90}, {kGarage, 45, 49}, {kAttic, 9, 200}};
    EXPECT_EQ(stationsOf(threeStations()), expected);
}

// The count byte is believed only as far as the frame holds whole entries.
TEST(NetworkInfo, OnlyWholeEntriesThatTheCountPromisesAreTaken) {
    struct Case {
        const char* name;
        size_t length;    // the frame cut to this many bytes (0: as built)
        uint8_t count;    // byte 38
        size_t stations;  // entries read
    };
    const Case cases[] = {
        {"as many as listed", 0, 3, 3},
        {"fewer promised than listed", 0, 2, 2},
        {"none promised", 0, 0, 0},
        {"more promised than arrived", 0, 200, 3},
        {"the last entry one byte short", 83, 3, 2},
        {"exactly two entries", 69, 3, 2},
        {"no entry whole", 53, 3, 0},
        {"cut before the stations", 39, 3, 0},
        {"cut at the count byte", 38, 3, 0},
    };
    for (const Case& c : cases) {
        Bytes frame = threeStations();
        frame[38] = c.count;
        if (c.length != 0) frame.resize(c.length);
        const std::vector<NetworkInfoStation> stations = stationsOf(frame);
        ASSERT_EQ(stations.size(), c.stations) << c.name;
        if (!stations.empty()) {
            EXPECT_EQ(stations.back().mac,
                      (Mac{0x00, 0xB0, 0x52, 0x00, 0x00, uint8_t(0x10 + c.stations)}))
                << c.name;
        }
    }
}

// A record of another message (a commit confirmation is accepted as an answer by the exchanges)
// lists no station, whatever its payload holds.
TEST(NetworkInfo, OtherMessagesListNoStation) {
    AvConfirm record{};
    record.mmtype = kMmVersionConfirm;
    record.payload[kNetworkInfoStationCountOffset - 20] = 3;
    EXPECT_TRUE(networkInfoStations(record, 200).empty());
    record.mmtype = kMmNetworkInfoConfirm;
    EXPECT_EQ(networkInfoStations(record, 200).size(), 3u);
}

}  // namespace
}  // namespace corvel
