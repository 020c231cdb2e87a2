// SPDX-License-Identifier: MIT
#include "hp10/queries.h"

#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <string>

#include "hp10_test_support.h"
#include "platform/text.h"

namespace corvel::test {
namespace {

using Hp10Queries = Hp10Wire;

const Bytes kVersionQueryOnWire = [] {
    Bytes frame = concat(ethernetHeader(kBroadcastMac, kHost),
                         {0x01, 0x02, 0x05, 0x00, 0x04, 0x87, 16, 0x00});
    frame.resize(60, 0);
    return frame;
}();

TEST_F(Hp10Queries, PumpTakesRepliesForOneHundredMilliseconds) {
    clock.scheduleAfter(60, [&] { wire.deliver(0, stationAnswer(kStationA)); });
    clock.scheduleAfter(130, [&] { wire.deliver(0, stationAnswer(kStationB)); });
    const uint64_t start = clock.tickCount();
    pumpHp10Replies();
    const uint64_t elapsed = clock.tickCount() - start;
    EXPECT_GE(elapsed, 100u);
    EXPECT_LT(elapsed, 105u);  // the last round may be one poll time-out over
    EXPECT_NE(findStationByMac(kStationA.data()), nullptr);
    EXPECT_EQ(findStationByMac(kStationB.data()), nullptr);
}

TEST_F(Hp10Queries, PumpReturnsTheLastDrainsResult) {
    // A station that answers every millisecond until the window closes: the last drain takes
    // its answers up to the end.
    const uint64_t start = clock.tickCount();
    std::function<void()> again = [&] {
        if (clock.tickCount() >= start + 100) return;
        wire.deliver(0, stationAnswer(kStationA));
        clock.scheduleAfter(1, again);
    };
    clock.scheduleAfter(1, again);
    EXPECT_TRUE(pumpHp10Replies());

    resetCoreState();
    clock.advanceTo(clock.tickCount() + 1000);
    wire.deliver(0, stationAnswer(kStationA));
    EXPECT_FALSE(pumpHp10Replies());  // taken by the first drain; the later ones find nothing
    EXPECT_NE(findStationByMac(kStationA.data()), nullptr);
}

TEST_F(Hp10Queries, TurboVersionQueryAsksTheLocalDevice) {
    struct Case {
        std::string name;
        std::optional<Bytes> answer;
        uint64_t delayMs;
        bool answered;
    };
    const Case cases[] = {
        {"the local device answers", versionReply(kLocal, false, 2, 1, 6, "Acme", "Turbo"), 5,
         true},
        {"it answers late in the window", versionReply(kLocal, false, 2, 1, 6, "Acme", "Turbo"), 95,
         true},
        {"it answers after the window", versionReply(kLocal, false, 2, 1, 6, "Acme", "Turbo"), 150,
         false},
        {"only a station answers", versionReply(kStationA, true, 2, 1, 6, "Acme", "Turbo"), 5,
         false},
        {"nothing answers", std::nullopt, 0, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        resetCoreState();
        station(kStationA);
        core.turboLocalAnswered = 1;  // left from an earlier probe
        wire.clearSent();
        wire.setReceiver([&](int port, const Bytes&) {
            if (c.answer)
                clock.scheduleAfter(c.delayMs, [&, port] { wire.deliver(port, *c.answer); });
        });
        EXPECT_EQ(queryTurboVersion(), c.answered);
        EXPECT_EQ(core.turboLocalAnswered, c.answered ? 1 : 0);
        EXPECT_EQ(macIsSet(core.adapters[0].localMac), c.answered);
        ASSERT_EQ(wire.sent().size(), 1u);
        EXPECT_EQ(wire.sent()[0].bytes, kVersionQueryOnWire);
        clock.advanceTo(clock.tickCount() + 200);  // let a late answer fall out of the next case
        processHp10Replies();
    }
    wire.setReceiver(nullptr);
}

TEST_F(Hp10Queries, TurboStatisticsRequestDrainsIntoTheStatisticsText) {
    knowLocal();
    StationRecord& a = station(kStationA);
    wire.setReceiver([&](int port, const Bytes& frame) {
        if (frame[15] != 0x02 || frame[20] != 24) return;
        clock.scheduleAfter(1, [&, port] {
            wire.deliver(port, vendorReply(kLocal, 0x80 | 24, turboRecord(kStationA, 336), 17));
            wire.deliver(port, vendorReply(kLocal, 0x80 | 35, {}));
        });
    });
    EXPECT_TRUE(sendTurboStatsRequest(kLocal));
    EXPECT_EQ(+a.rate.currentRate, 8);
    EXPECT_EQ(textOf(statsText), "Extended Stats response recieved (0).");
    wire.setReceiver(nullptr);
}

}  // namespace
}  // namespace corvel::test
