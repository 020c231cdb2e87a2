// SPDX-License-Identifier: MIT
#include "hp10/queries.h"

#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <string>

#include "hp10_test_support.h"
#include "transport/frame_io.h"

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

// The local device's version reply behind a burst of other traffic: AV frames, each of which
// ends a drain, or 1.0 frames nobody asked for, more than one drain takes. The pump goes on
// with the frames still waiting and reaches the reply within its 100 ms.
TEST_F(Hp10Queries, TurboVersionReplyBehindABurstIsFound) {
    const Bytes av = [] {
        Bytes frame = concat(ethernetHeader(kHost, kStranger, 0x88, 0xE1), {0x00, 0x35, 0xA0});
        frame.resize(60, 0);
        return frame;
    }();
    const struct {
        const char* name;
        Bytes frame;
    } kinds[] = {{"AV frames", av}, {"1.0 frames", stationAnswer(kStranger)}};
    for (const auto& kind : kinds) {
        for (const size_t burst : {12u, 64u, 150u}) {
            SCOPED_TRACE(std::string(kind.name) + " x" + std::to_string(burst));
            resetCoreState();
            wire.setReceiver([&](int port, const Bytes&) {
                clock.scheduleAfter(5, [&, port] {
                    for (size_t i = 0; i < burst; ++i) wire.deliver(port, kind.frame);
                    wire.deliver(port, versionReply(kLocal, false, 2, 1, 6, "Acme", "Turbo"));
                });
            });
            EXPECT_TRUE(queryTurboVersion());
            EXPECT_EQ(core.turboLocalAnswered, 1);
        }
    }
    wire.setReceiver(nullptr);
}

TEST_F(Hp10Queries, TurboStatisticsRequestDrainsTheReplies) {
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
    // The drain took the reply that followed the rates too: nothing is left to come.
    EXPECT_EQ(pollFrame(0), nullptr);
    wire.setReceiver(nullptr);
}

}  // namespace
}  // namespace corvel::test
