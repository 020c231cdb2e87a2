// SPDX-License-Identifier: MIT
#include "av/link_health_ops.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "tests/av/av_wire_fixture.h"
#include "transport/interface_table.h"

// The link-health exchanges against a scripted local device on the in-memory wire: where each
// request goes and what it carries, which answer is believed, and the sentence each failure
// leaves for the command line.
namespace corvel {
namespace {

using namespace corvel::test;

const Mac kStation = stationMac(1);
const Mac kForger{0x02, 0x00, 0x00, 0x00, 0x66, 0x66};

void put64(Bytes& f, size_t at, uint64_t v) {
    put32le(&f[at], uint32_t(v));
    put32le(&f[at + 4], uint32_t(v >> 32));
}

// 0xA031: 20 status, 21 direction, 22 link id, 23 TEI, then the transmit block (five 64-bit
// counters) and the receive block (six counters, the interval count, one interval) as the
// direction asks.
Bytes linkStatsConfirm(const Mac& from, uint8_t status, uint8_t direction = 2) {
    const bool tx = status == 0 && direction != 1;
    const bool rx = status == 0 && direction != 0;
    Bytes f = avFrame(kMmLinkStatsConfirm, 24 + (tx ? 40 : 0) + (rx ? 49 + 33 : 0), kHost0, from);
    f[20] = status;
    f[21] = direction;
    f[22] = kLinkIdAllForPeer;
    f[23] = 2;
    size_t at = 24;
    if (tx) {
        for (uint64_t v : {1000u, 10u, 2u, 3000u, 30u}) put64(f, at, v), at += 8;
    }
    if (rx) {
        for (uint64_t v : {500u, 6u, 1500u, 15u, 3000u, 960u}) put64(f, at, v), at += 8;
        f[at] = 1;
        f[at + 1] = 185;
    }
    return f;
}

// 0xA071 / 0xA091: 20 status, 21 slot, 22 tone maps, 23..24 carriers, from 25 two codes a
// byte; a receive map's carrier area has room for every carrier, and its guard interval and gain
// setting follow at 603 and 604.
Bytes toneMapConfirm(uint16_t mmtype, const Mac& from, uint8_t status, uint8_t slot,
                     uint16_t carriers = 4) {
    const bool rx = mmtype == kMmRxToneMapConfirm;
    Bytes f = avFrame(mmtype, rx ? 606 : 64, kHost0, from);
    f[20] = status;
    f[21] = slot;
    f[22] = 2;
    if (status == 0) {
        put16le(&f[23], carriers);
        f[25] = 0x07;  // carrier 0 1024-QAM, carrier 1 none
        f[26] = 0x82;  // carrier 2 QPSK, carrier 3 4096-QAM
        if (rx) f[603] = 0x01, f[604] = 0x10;
    }
    return f;
}

class LinkHealthOps : public AvWireTest {
protected:
    void SetUp() override {
        AvWireTest::SetUp();
        addHosts({kHost0});
        setLocalMac(kLocalDevice.data());
    }
    // The device side answers each request of `mmtype` with `replies`.
    void answer(uint16_t mmtype, std::vector<Bytes> replies, uint64_t delayMs = 1) {
        respond(
            [mmtype, replies](int, const Bytes& request) {
                return mmtypeOf(request) == mmtype ? replies : std::vector<Bytes>{};
            },
            delayMs);
    }
};

TEST_F(LinkHealthOps, LinkStatsAskTheLocalDeviceForBothDirectionsOfTheStationsLink) {
    // A forged answer from another host comes first; only the local device's counts.
    answer(kMmLinkStatsRequest,
           {linkStatsConfirm(kForger, 0x20), linkStatsConfirm(kLocalDevice, 0)});
    std::string error;
    const std::optional<LinkStatsConfirm> stats = requestLinkStats(kStation, error);
    ASSERT_TRUE(stats) << error;
    EXPECT_EQ(error, "");
    EXPECT_EQ(stats->device, kLocalDevice);
    ASSERT_TRUE(stats->tx && stats->rx);
    EXPECT_EQ(stats->tx->mpdusAcked, 1000u);
    EXPECT_EQ(stats->rx->turboBitErrorsFailed, 960u);
    ASSERT_EQ(stats->rx->intervals.size(), 1u);

    const std::vector<Bytes> sent = sentOf(kMmLinkStatsRequest);
    ASSERT_EQ(sent.size(), 1u);
    const Bytes& request = sent[0];
    ASSERT_EQ(request.size(), 64u);
    EXPECT_EQ(destinationOf(request), kLocalDevice) << "through the local device";
    EXPECT_EQ(sourceOf(request), kHost0);
    // Read only, both directions, every priority of the link to the peer, the station as peer.
    EXPECT_EQ(Bytes(request.begin() + 20, request.begin() + 29),
              (Bytes{0x00, 0x02, 0xF8, 0x00, 0xB0, 0x52, 0x00, 0x01, 0x01}));
    EXPECT_LT(clock.sleptMs(), 50u) << "the answer ends the wait";
}

TEST_F(LinkHealthOps, LinkStatsFailuresSayWhy) {
    const std::string what = "link statistics request for 00:B0:52:00:01:01";
    Bytes truncated = linkStatsConfirm(kLocalDevice, 0);
    truncated.resize(80);
    const struct {
        const char* name;
        std::vector<Bytes> replies;
        std::string error;
    } cases[] = {
        {"no answer", {}, "no answer from 00:B0:52:00:00:42 to the " + what + " within 100 ms"},
        {"only the station answers",
         {linkStatsConfirm(kStation, 0)},
         "no answer from 00:B0:52:00:00:42 to the " + what + " within 100 ms"},
        {"refused",
         {linkStatsConfirm(kLocalDevice, kLinkStatsInvalidPeer)},
         "00:B0:52:00:00:42 refused the " + what + ": Invalid MAC Address (status 0x20)"},
        {"unknown status",
         {linkStatsConfirm(kLocalDevice, 0x77)},
         "00:B0:52:00:00:42 refused the " + what + ": Unknown status (status 0x77)"},
        {"cut short",
         {truncated},
         "00:B0:52:00:00:42 answered the " + what +
             " with a broken frame: link statistics confirmation: 80 bytes, the receive counters "
             "needs 113"},
        {"one direction",
         {linkStatsConfirm(kLocalDevice, 0, 0)},
         "00:B0:52:00:00:42 answered the " + what + " with the transmit counters only"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        answer(kMmLinkStatsRequest, c.replies);
        std::string error;
        EXPECT_FALSE(requestLinkStats(kStation, error));
        EXPECT_EQ(error, c.error);
    }
}

TEST_F(LinkHealthOps, NothingIsSentWithoutALocalDeviceOrAnAddressToSendFrom) {
    std::string error;
    setLocalMac(Mac{}.data());
    EXPECT_FALSE(requestLinkStats(kStation, error));
    EXPECT_EQ(error, "no local device is known on the selected interface");
    EXPECT_FALSE(requestToneMap(kStation, ToneMapDirection::Tx, 0, error));
    EXPECT_EQ(error, "no local device is known on the selected interface");

    setLocalMac(kLocalDevice.data());
    std::fill_n(interfaceEntries[0].interfaceMac, 6, 0);
    EXPECT_FALSE(requestReset(kStation, error));
    EXPECT_EQ(error, "the selected interface has no address to send the reset request from");
    EXPECT_TRUE(wire.sent().empty());
}

TEST_F(LinkHealthOps, ToneMapsOfEachDirectionAndTheirRefusals) {
    const struct {
        const char* name;
        ToneMapDirection direction;
        uint16_t request;
        uint16_t confirm;
        uint8_t status;
        uint8_t answeredSlot;
        std::string error;  // empty: the map is taken
    } cases[] = {
        {"transmit", ToneMapDirection::Tx, kMmTxToneMapRequest, kMmTxToneMapConfirm, 0, 1, ""},
        {"receive", ToneMapDirection::Rx, kMmRxToneMapRequest, kMmRxToneMapConfirm, 0, 1, ""},
        {"unknown slot", ToneMapDirection::Tx, kMmTxToneMapRequest, kMmTxToneMapConfirm,
         kToneMapUnknownSlot, 1,
         "00:B0:52:00:00:42 refused the transmit tone map request for 00:B0:52:00:01:01 in slot "
         "1: Unknown Tone Map slot (status 0x02)"},
        {"unknown peer", ToneMapDirection::Rx, kMmRxToneMapRequest, kMmRxToneMapConfirm,
         kToneMapUnknownPeer, 1,
         "00:B0:52:00:00:42 refused the receive tone map request for 00:B0:52:00:01:01 in slot "
         "1: Unknown MAC address (status 0x01)"},
        {"another slot's map", ToneMapDirection::Tx, kMmTxToneMapRequest, kMmTxToneMapConfirm,
         0, 0,
         "00:B0:52:00:00:42 answered the transmit tone map request for 00:B0:52:00:01:01 in "
         "slot 1 with the map of slot 0"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        wire.clearSent();
        const uint64_t start = clock.tickCount();
        answer(c.request, {toneMapConfirm(c.confirm, kLocalDevice, c.status, c.answeredSlot)});
        std::string error;
        const std::optional<ToneMapConfirm> map = requestToneMap(kStation, c.direction, 1, error);
        EXPECT_EQ(error, c.error);
        // A refusal is read as soon as it comes, not taken for silence at the window's end.
        EXPECT_LT(clock.tickCount() - start, 50u);
        const std::vector<Bytes> sent = sentOf(c.request);
        ASSERT_EQ(sent.size(), 1u);
        EXPECT_EQ(destinationOf(sent[0]), kLocalDevice);
        EXPECT_EQ(Bytes(sent[0].begin() + 20, sent[0].begin() + 27),
                  (Bytes{0x00, 0xB0, 0x52, 0x00, 0x01, 0x01, 0x01}));
        if (!c.error.empty()) {
            EXPECT_FALSE(map);
            continue;
        }
        ASSERT_TRUE(map);
        EXPECT_EQ(map->direction, c.direction);
        EXPECT_EQ(map->modulation, (std::vector<uint8_t>{7, 0, 2, 8}));
    }
}

TEST_F(LinkHealthOps, TheResetGoesToTheDeviceItselfAndOnlyItsConfirmationCounts) {
    const struct {
        const char* name;
        std::vector<Bytes> replies;
        std::string error;
    } cases[] = {
        {"confirmed", {statusConfirm(kMmResetConfirm, kHost0, kStation, 0)}, ""},
        {"refused",
         {statusConfirm(kMmResetConfirm, kHost0, kStation, kResetNoNvm)},
         "00:B0:52:00:01:01 refused the reset request: NVM Not Present (status 0x01)"},
        {"confirmed by the local device instead",
         {statusConfirm(kMmResetConfirm, kHost0, kLocalDevice, 0)},
         "no answer from 00:B0:52:00:01:01 to the reset request within 100 ms"},
        {"no answer", {}, "no answer from 00:B0:52:00:01:01 to the reset request within 100 ms"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        wire.clearSent();
        answer(kMmResetDeviceRequest, c.replies);
        std::string error;
        EXPECT_EQ(requestReset(kStation, error), c.error.empty());
        EXPECT_EQ(error, c.error);
        const std::vector<Bytes> sent = sentOf(kMmResetDeviceRequest);
        ASSERT_EQ(sent.size(), 1u);
        EXPECT_EQ(destinationOf(sent[0]), kStation);
    }
}

// A device that answers version requests from `backAt` on (virtual time), and is silent before.
class RestartingDevice : public LinkHealthOps {
protected:
    void answerFrom(uint64_t backAt, uint64_t silentAt = UINT64_MAX) {
        respond([this, backAt, silentAt](int, const Bytes& request) {
            const uint64_t now = clock.tickCount();
            if (mmtypeOf(request) != kMmVersionRequest || now < backAt || now >= silentAt)
                return std::vector<Bytes>{};
            return std::vector<Bytes>{versionConfirm(kHost0, kStation, 2, "QRB3000-AV")};
        });
    }
};

TEST_F(RestartingDevice, WaitUntilAnswersCountsFromTheCallToTheFirstAnswer) {
    const uint64_t start = clock.tickCount();
    answerFrom(start + 4000);
    std::vector<uint32_t> ticks;
    const std::optional<uint32_t> back =
        waitUntilAnswers(kStation, 60000, [&](uint32_t elapsed) { ticks.push_back(elapsed); });
    ASSERT_TRUE(back);
    // One request about every quarter of a second: the answer is seen within one of them.
    EXPECT_GE(*back, 4000u);
    EXPECT_LE(*back, 4300u);
    EXPECT_EQ(*back, clock.tickCount() - start);
    ASSERT_FALSE(ticks.empty());
    EXPECT_LT(ticks.back(), 4000u);
    EXPECT_GE(ticks.size(), 14u);
    EXPECT_LE(ticks.size(), 17u);
    for (const Bytes& request : sentOf(kMmVersionRequest))
        EXPECT_EQ(destinationOf(request), kStation);
}

TEST_F(RestartingDevice, WaitUntilAnswersGivesUpAtItsLimit) {
    const uint64_t start = clock.tickCount();
    answerFrom(UINT64_MAX);
    uint32_t last = 0;
    EXPECT_FALSE(waitUntilAnswers(kStation, 3000, [&](uint32_t elapsed) { last = elapsed; }));
    EXPECT_GE(last, 3000u);
    EXPECT_LT(clock.tickCount() - start, 3200u) << "the limit ends the wait";
}

TEST_F(RestartingDevice, WaitUntilSilentEndsAtTheFirstUnansweredRequest) {
    const uint64_t start = clock.tickCount();
    answerFrom(0, start + 900);
    const std::optional<uint32_t> silent = waitUntilSilent(kStation, 5000);
    ASSERT_TRUE(silent);
    EXPECT_GE(*silent, 900u);
    EXPECT_LE(*silent, 1250u);

    answerFrom(0);  // never silent
    EXPECT_FALSE(waitUntilSilent(kStation, 2000));
}

}  // namespace
}  // namespace corvel
