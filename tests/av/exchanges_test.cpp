// SPDX-License-Identifier: MIT
#include "av/exchanges.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "av/local_device.h"
#include "av/set_key.h"
#include "hp10codec/loader_frames.h"
#include "tests/av/av_wire_fixture.h"

namespace corvel {
namespace {

using namespace corvel::test;

const std::string kDiagnostic = "something wrong in PLAPI_GETVERSION \n";

TEST(AvAddress, KnowsBroadcastAndLocalManagementAndLeavesOtherKindsAlone) {
    const Mac untouched{0x12, 0x34, 0x56, 0x78, 0x9A, 0xBC};
    const struct {
        int kind;
        Mac expected;
    } cases[] = {
        {0, kBroadcastMac},
        {1, Mac{0x00, 0xB0, 0x52, 0x00, 0x00, 0x01}},
        {2, untouched},
        {-1, untouched},
    };
    for (const auto& c : cases) {
        Mac out = untouched;
        EXPECT_EQ(&avAddress(c.kind, out), &out);
        EXPECT_EQ(out, c.expected) << "kind " << c.kind;
    }
}

class AvExchanges : public AvWireTest {
protected:
    void SetUp() override {
        AvWireTest::SetUp();
        addHosts({kHost0});
    }
};

TEST_F(AvExchanges, SendAvRequestEncodesTwoTypesAndReportsUnknownOnes) {
    const struct {
        uint16_t mmtype;
        bool sent;
        std::string printed;
    } cases[] = {
        {0xA000, true, ""},           {0xA038, true, ""},
        {0xA050, false, ""},  // the set-key requests have their own operations
        {0xA058, false, kDiagnostic}, {0x1234, false, kDiagnostic},
    };
    const Mac destination = stationMac(7);
    for (const auto& c : cases) {
        wire.clearSent();
        testing::internal::CaptureStdout();
        sendAvRequest(destination, c.mmtype);
        EXPECT_EQ(testing::internal::GetCapturedStdout(), c.printed) << std::hex << c.mmtype;
        ASSERT_EQ(wire.sent().size(), c.sent ? 1u : 0u) << std::hex << c.mmtype;
        if (!c.sent) continue;
        const Bytes& frame = wire.sent()[0].bytes;
        ASSERT_EQ(frame.size(), 64u);
        EXPECT_EQ(destinationOf(frame), destination);
        EXPECT_EQ(sourceOf(frame), kHost0);
        EXPECT_EQ(mmtypeOf(frame), c.mmtype);
        EXPECT_TRUE(std::all_of(frame.begin() + 20, frame.end(), [](uint8_t b) { return b == 0; }));
    }
    EXPECT_EQ(clock.sleptMs(), 0u) << "sending never waits";
}

// Each frame waiting on the interface is judged once; an accepted one costs the 1 ms sleep, a
// rejected one 20 ms and the idle poll (2 ms) that finds nothing more.
TEST_F(AvExchanges, PollAcceptsOnlyTheAnsweringConfirmation) {
    const struct {
        const char* name;
        uint16_t awaited;
        Bytes frame;
        bool accepted;
    } cases[] = {
        {"version", 0xA000, versionConfirm(kHost0, kLocalDevice, 2, "v"), true},
        {"version with a failure status still carries data", 0xA000,
         [] {
             Bytes f = versionConfirm(kHost0, kLocalDevice, 2, "v");
             f[20] = 5;
             return f;
         }(),
         true},
        {"set-key status 0", 0xA050, statusConfirm(0xA051, kHost0, kLocalDevice, 0), true},
        {"set-key failure status", 0xA050, statusConfirm(0xA051, kHost0, kLocalDevice, 1), false},
        {"commit answers any request", 0xA000, statusConfirm(0xA029, kHost0, kLocalDevice, 0),
         true},
        {"commit with a failure status", 0xA000, statusConfirm(0xA029, kHost0, kLocalDevice, 3),
         false},
        {"configuration block whatever its status", 0xA058,
         configBlockConfirm(kHost0, kLocalDevice, 1), true},
        {"another type's confirmation", 0xA000,
         networkInfoConfirm(kHost0, kLocalDevice, {{stationMac(1), 10}}), false},
        {"HomePlug 1.0 frame", 0xA000, hp10Frame(kHost0, stationMac(1)), false},
        {"version cut short", 0xA000,
         [] {
             Bytes f = versionConfirm(kHost0, kLocalDevice, 2, "v");
             f.resize(60);
             return f;
         }(),
         false},
    };
    for (const auto& c : cases) {
        resetAvExchangeState();
        wire.deliver(0, c.frame);
        const uint64_t before = clock.tickCount();
        AvConfirm record;
        size_t length = 0;
        EXPECT_EQ(pollAvConfirm(c.awaited, kLocalDevice, record, &length), c.accepted) << c.name;
        EXPECT_EQ(avExchangeState().avConfirmSeen, c.accepted) << c.name;
        EXPECT_EQ(clock.tickCount() - before, c.accepted ? 1u : 22u) << c.name;
        if (c.accepted) {
            EXPECT_EQ(length, c.frame.size()) << c.name;
        }
    }
}

// A confirmation counts only from the address the request went to; any device may answer the
// local-management or the broadcast address, but no frame in the host's own name or from a
// group address is an answer. A refused frame costs what an unrelated one does.
TEST_F(AvExchanges, PollTakesTheConfirmationFromTheAskedDeviceOnly) {
    const Mac stranger = stationMac(9);
    const Mac group{0x01, 0xB0, 0x52, 0x00, 0x00, 0x42};
    const struct {
        Mac awaitedFrom;
        Mac sentFrom;
        bool accepted;
    } cases[] = {
        {kLocalDevice, kLocalDevice, true},
        {kLocalDevice, stranger, false},
        {kLocalDevice, kHost0, false},
        {stranger, kLocalDevice, false},
        {kLocalManagementMac, kLocalDevice, true},
        {kLocalManagementMac, stranger, true},
        {kLocalManagementMac, kHost0, false},
        {kLocalManagementMac, group, false},
        {kLocalManagementMac, Mac{}, false},
        {kBroadcastMac, stranger, true},
        {kBroadcastMac, kHost0, false},
        // A device that answered from the 1.0 loader's address is that device, not any.
        {kSecondaryLoaderMac, kSecondaryLoaderMac, true},
        {kSecondaryLoaderMac, kLocalDevice, false},
        // No device answers from the address it is asked at.
        {kLocalManagementMac, kLocalManagementMac, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(formatMac(c.awaitedFrom) + " <- " + formatMac(c.sentFrom));
        resetAvExchangeState();
        wire.deliver(0, versionConfirm(kHost0, c.sentFrom, 2, "v"));
        const uint64_t before = clock.tickCount();
        AvConfirm record;
        EXPECT_EQ(pollAvConfirm(0xA000, c.awaitedFrom, record), c.accepted);
        EXPECT_EQ(avExchangeState().avConfirmSeen, c.accepted);
        EXPECT_EQ(clock.tickCount() - before, c.accepted ? 1u : 22u);
        if (c.accepted) {
            EXPECT_EQ(record.srcMac, c.sentFrom);
        }
    }
}

TEST_F(AvExchanges, ForgedConfirmationsAheadOfTheAnswerAreSkipped) {
    const Mac stranger = stationMac(9);
    wire.deliver(0, versionConfirm(kHost0, stranger, 1, "forged"));
    wire.deliver(0, versionConfirm(kHost0, kHost0, 1, "own address"));
    wire.deliver(0, versionConfirm(kHost0, kLocalDevice, 2, "real"));
    AvConfirm record;
    size_t length = 0;
    ASSERT_TRUE(awaitAvConfirm(0xA000, kLocalDevice, record, &length));
    EXPECT_EQ(record.srcMac, kLocalDevice);
    EXPECT_EQ(record.payload[0], 2);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&record.payload[2]), 4), "real");
}

// A frame that is not the answer is passed over at once when the answer already waits behind
// it; one that came alone costs the 20 ms pause for the next to come.
TEST_F(AvExchanges, AwaitPausesOnlyAfterAFrameThatCameAlone) {
    const struct {
        const char* name;
        bool hp10First;
        uint64_t answerAfterMs;  // 0: waiting when the wait begins
        uint64_t elapsed;
    } cases[] = {
        // 1 ms before the poll and 1 ms after acceptance.
        {"the answer alone", false, 0, 2},
        {"a 1.0 frame queued ahead of the answer", true, 0, 2},
        {"a 1.0 frame, the answer 5 ms later", true, 5, 1 + 20 + 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        if (c.hp10First) wire.deliver(0, hp10Frame(kHost0, stationMac(3)));
        const Bytes answer = versionConfirm(kHost0, kLocalDevice, 1, "text");
        if (c.answerAfterMs == 0)
            wire.deliver(0, answer);
        else
            clock.scheduleAfter(c.answerAfterMs, [this, answer] { wire.deliver(0, answer); });
        const uint64_t before = clock.tickCount();
        AvConfirm record;
        ASSERT_TRUE(awaitAvConfirm(0xA000, kLocalDevice, record));
        EXPECT_EQ(record.mmtype, 0xA001);
        EXPECT_EQ(clock.tickCount() - before, c.elapsed);
    }
}

// On a busy segment the answer can come queued behind a burst of other traffic: AV messages of
// the device that are not the answer, forged answers from another address, HomePlug 1.0 frames.
// However long the burst, the answer that has come is found, without a pause per frame.
TEST_F(AvExchanges, AnswerBehindABurstOfOtherFramesIsAccepted) {
    const Mac stranger = stationMac(9);
    const Bytes kinds[] = {
        networkInfoConfirm(kHost0, kLocalDevice, {{stationMac(1), 10}}),
        versionConfirm(kHost0, stranger, 1, "forged"),
        hp10Frame(kHost0, stationMac(3)),
        statusConfirm(0xA051, kHost0, kLocalDevice, 0),
    };
    for (const size_t burst : {1u, 9u, 10u, 12u, 64u, 200u}) {
        for (const uint64_t comesAfterMs : {uint64_t{0}, uint64_t{30}}) {
            SCOPED_TRACE(std::to_string(burst) + " frames, " + std::to_string(comesAfterMs) +
                         " ms after the wait began");
            std::vector<Bytes> frames;
            for (size_t i = 0; i < burst; ++i) frames.push_back(kinds[i % std::size(kinds)]);
            frames.push_back(versionConfirm(kHost0, kLocalDevice, 2, "real"));
            clock.scheduleAfter(comesAfterMs, [this, frames] {
                for (const Bytes& f : frames) wire.deliver(0, f);
            });
            const uint64_t before = clock.tickCount();
            AvConfirm record;
            ASSERT_TRUE(awaitAvConfirm(0xA000, kLocalDevice, record));
            EXPECT_EQ(record.srcMac, kLocalDevice);
            EXPECT_EQ(std::string(reinterpret_cast<const char*>(&record.payload[2]), 4), "real");
            // The poll that finds the burst (1 ms sleeps and 2 ms idle polls until then), and
            // the 1 ms after acceptance.
            EXPECT_LE(clock.tickCount() - before, comesAfterMs + 4);
        }
    }
}

TEST_F(AvExchanges, AwaitGivesUpAfterItsWindowAndFramesComingAloneStretchItToTheCap) {
    const struct {
        const char* name;
        int queued;        // unrelated frames waiting when the wait begins
        uint64_t everyMs;  // then one every so often (0: none)
        uint64_t elapsed;
    } cases[] = {
        // Silence: rounds of 1 ms sleep and a 2 ms idle poll until 100 ms have passed.
        {"silence", 0, 0, 102},
        // Queued frames are passed over together: one 20 ms pause after the last, then silence.
        {"six queued", 6, 0, 101},
        {"twenty queued", 20, 0, 101},
        // One frame every 15 ms, each seen alone: every pause ends with another waiting, and
        // the wait ends at twice its window.
        {"a stream", 0, 15, 1 + 10 * 20},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        for (int i = 0; i < c.queued; ++i) wire.deliver(0, hp10Frame(kHost0, stationMac(3)));
        for (uint64_t t = 0; c.everyMs != 0 && t < 1000; t += c.everyMs)
            clock.scheduleAfter(t, [this] { wire.deliver(0, hp10Frame(kHost0, stationMac(3))); });
        const uint64_t before = clock.tickCount();
        AvConfirm record;
        EXPECT_FALSE(awaitAvConfirm(0xA000, kLocalDevice, record));
        EXPECT_EQ(clock.tickCount() - before, c.elapsed);
        EXPECT_FALSE(avExchangeState().avConfirmSeen);
        clock.sleepMs(1000);  // the rest of the stream, before the next case
        while (pollFrame(0, nullptr, PollWait::None) != nullptr) {
        }
    }
}

// Frames that come faster than the host reads them are always waiting, so no pause ever comes:
// the cap alone ends the wait, and the single poll too.
TEST_F(AvExchanges, FloodFasterThanTheHostReadsEndsAtTheCap) {
    wire.takeMs = 2;
    for (uint64_t t = 0; t < 10'000; ++t)
        clock.scheduleAfter(t, [this] { wire.deliver(0, hp10Frame(kHost0, stationMac(3))); });
    const struct {
        const char* name;
        std::function<bool(AvConfirm&)> wait;
    } waits[] = {
        {"await", [](AvConfirm& r) { return awaitAvConfirm(0xA000, kLocalDevice, r); }},
        {"wait of 3700 ms",
         [](AvConfirm& r) { return waitAvConfirm(0xA050, kLocalDevice, r, 3700); }},
        {"poll", [](AvConfirm& r) { return pollAvConfirm(0xA000, kLocalDevice, r); }},
    };
    for (const auto& w : waits) {
        SCOPED_TRACE(w.name);
        const uint64_t before = clock.tickCount();
        AvConfirm record;
        EXPECT_FALSE(w.wait(record));
        const uint64_t window = std::string(w.name) == "wait of 3700 ms" ? 3700 : kAvAwaitWindowMs;
        EXPECT_GE(clock.tickCount() - before, kAvWaitCapFactor * window);
        EXPECT_LE(clock.tickCount() - before, kAvWaitCapFactor * window + wire.takeMs);
    }
}

TEST_F(AvExchanges, CommitConfirmationAnswersAnAwaitedVersionRequest) {
    respond([](int, const Bytes& request) -> std::vector<Bytes> {
        if (mmtypeOf(request) != 0xA000) return {};
        return {statusConfirm(0xA029, kHost0, kLocalDevice, 0)};
    });
    sendAvRequest(kLocalManagementMac, 0xA000);
    AvConfirm record;
    EXPECT_TRUE(awaitAvConfirm(0xA000, kLocalManagementMac, record));
    EXPECT_EQ(record.mmtype, 0xA029);
    EXPECT_TRUE(avExchangeState().avConfirmSeen);
}

// Tests that set up their own host interfaces.
class AvExchangesOwnHosts : public AvWireTest {};

TEST_F(AvExchangesOwnHosts, ConfirmationOnAnotherInterfaceIsFoundToo) {
    addHosts({kHost0, kHost1});
    wire.deliver(1, versionConfirm(kHost1, kLocalDevice, 1, "x"));
    AvConfirm record;
    EXPECT_TRUE(awaitAvConfirm(0xA000, kLocalManagementMac, record));
    EXPECT_EQ(core.lastRxAdapter, 1);
}

// The device cabled to the selected interface answers there: what waits on another interface is
// some other device's (or a forger's) and not its answer.
TEST_F(AvExchangesOwnHosts, CabledConfirmationComesOnTheSelectedInterfaceOnly) {
    addHosts({kHost0, kHost1});
    core.currentAdapter = 1;
    wire.deliver(0, versionConfirm(kHost0, stationMac(9), 1, "other wire"));
    wire.deliver(1, versionConfirm(kHost1, kLocalDevice, 2, "cabled"));
    const uint64_t before = clock.tickCount();
    AvConfirm record;
    ASSERT_TRUE(awaitCabledConfirm(0xA000, kLocalManagementMac, record));
    EXPECT_EQ(record.srcMac, kLocalDevice);
    EXPECT_EQ(core.lastRxAdapter, 1);
    // The other wire's frame is passed over at once: the answer already waits behind it.
    EXPECT_EQ(clock.tickCount() - before, 1u + 1u);
    // Alone on the other interface, it never answers.
    wire.deliver(0, versionConfirm(kHost0, kLocalDevice, 2, "other wire"));
    EXPECT_FALSE(awaitCabledConfirm(0xA000, kLocalManagementMac, record));
}

// With no address of its own the host cannot be answered: every operation returns at once,
// sends nothing and prints nothing, even with devices ready to answer.
TEST_F(AvExchangesOwnHosts, AllZeroSourceAddressSendsNothingAnywhere) {
    addHosts({Mac{}});
    copyMac(core.adapters[0].localMac, kLocalDevice.data());
    copyMac(core.stationTables[0].localMac, kLocalDevice.data());
    respond([](int, const Bytes& request) -> std::vector<Bytes> {
        return {versionConfirm(sourceOf(request), kLocalDevice, 1, "x"),
                configBlockConfirm(sourceOf(request), kLocalDevice, 0),
                statusConfirm(0xA051, sourceOf(request), kLocalDevice, 0)};
    });
    NetworkKey key{};
    key.fill(0xEE);
    const struct {
        const char* name;
        std::function<int()> run;
        int expected;
    } cases[] = {
        {"sendAvRequest",
         [] {
             sendAvRequest(stationMac(1), 0xA000);
             return 0;
         },
         0},
        {"sendAvRequest unknown type",
         [] {
             sendAvRequest(stationMac(1), 0x1234);
             return 0;
         },
         0},
        {"probeLocalAv", [] { return int(probeLocalAv()); }, 0},
        {"discoverLocalAv", [] { return int(discoverLocalAv()); }, 0},
        {"readNetworkStations", [] { return int(readNetworkStations(kLocalDevice)); }, 1},
        {"readFirmwareType", [] { return int(readFirmwareType()); }, 0},
        {"readLocalNmk", [&key] { return readLocalNmk(kLocalDevice, key); }, -1},
        {"sendLocalSetKey", [&key] { return sendLocalSetKey(key); }, 0},
    };
    for (const auto& c : cases) {
        testing::internal::CaptureStdout();
        EXPECT_EQ(c.run(), c.expected) << c.name;
        EXPECT_EQ(testing::internal::GetCapturedStdout(), "") << c.name;
    }
    EXPECT_TRUE(wire.sent().empty());
    EXPECT_EQ(clock.sleptMs(), 0u);
    NetworkKey untouched{};
    untouched.fill(0xEE);
    EXPECT_EQ(key, untouched);
    EXPECT_EQ(core.adapters[0].localPresent, 0);
}

}  // namespace
}  // namespace corvel
