// SPDX-License-Identifier: MIT
#include "core/observer.h"

#include <gtest/gtest.h>

#include <functional>

#include <cstring>
#include <vector>

#include "core/tables.h"
#include "platform/clock.h"
#include "platform/notifier.h"
#include "platform/process_state.h"
#include "transport/frame_io.h"
#include "transport/memory_wire.h"

namespace corvel {
namespace {

const Mac kHost0{0x02, 0, 0, 0, 0, 0x10};
const Mac kHost1{0x02, 0, 0, 0, 0, 0x11};
const Mac kLocal{0x00, 0xB0, 0x52, 0x00, 0x00, 0x42};
const Mac kStation{0x00, 0xB0, 0x52, 0x00, 0x00, 0x77};

std::vector<uint8_t> hp10Frame(const Mac& destination, const Mac& source,
                               std::vector<uint8_t> entry) {
    std::vector<uint8_t> frame(60, 0);
    std::memcpy(&frame[0], destination.data(), 6);
    std::memcpy(&frame[6], source.data(), 6);
    frame[12] = 0x88;
    frame[13] = 0x7B;
    frame[14] = 1;
    if (entry.size() + 15 > frame.size()) frame.resize(entry.size() + 15);
    std::memcpy(&frame[15], entry.data(), entry.size());
    return frame;
}

std::vector<uint8_t> paramReply(uint8_t copy, uint8_t fill) {
    std::vector<uint8_t> entry = {0x19, 0x33, copy};
    entry.resize(3 + 50, fill);
    return hp10Frame(kHost0, kLocal, entry);
}

class Observer : public ::testing::Test {
protected:
    void SetUp() override {
        resetProcessState();
        installCaptureBackend(&wire);
        wire.addInterface("eth0", kHost0);
        wire.addInterface("eth1", kHost1);
        reopenInterfaces();
    }
    void TearDown() override { installCaptureBackend(nullptr); }

    std::vector<MemoryWire::SentFrame> paramRequests() const {
        std::vector<MemoryWire::SentFrame> found;
        for (const auto& f : wire.sent())
            if (f.bytes.size() >= 16 && f.bytes[15] == 0x19) found.push_back(f);
        return found;
    }

    VirtualClock clock;
    ScopedClock clockScope{clock};
    RecordingNotifier recorder;
    ScopedNotifier notifierScope{recorder};
    MemoryWire wire;
};

TEST_F(Observer, SelfAddressedFrameProvesTheLocalDevice) {
    wire.deliver(0, hp10Frame(kLocal, kLocal, {0x08, 0x00}));
    ASSERT_NE(observeFrame(0), nullptr);
    EXPECT_EQ(core.localReplySeen, 1);
    EXPECT_TRUE(macEqual(core.adapters[0].localMac, kLocal.data()));
    EXPECT_EQ(core.adapters[0].localPresent, 1);
}

TEST_F(Observer, BroadcastOrStationFramesProveNothing) {
    wire.deliver(0, hp10Frame(kBroadcastMac, kBroadcastMac, {0x08, 0x00}));
    wire.deliver(0, hp10Frame(kHost0, kStation, {0x08, 0x00}));
    observeFrame(0);
    observeFrame(0);
    EXPECT_EQ(core.localReplySeen, 0);
    EXPECT_EQ(core.adapters[0].localPresent, 0);
}

// No device sends from one of the host's own addresses (of any interface) or a group address:
// such a frame, self-addressed or a local answer, proves nothing and is never the local device.
TEST_F(Observer, FramesInTheHostsOwnNameProveNothing) {
    const Mac group{0x01, 0x80, 0xC2, 0x00, 0x00, 0x0E};
    for (const Mac& from : {kHost0, kHost1, group}) {
        SCOPED_TRACE(formatMac(from));
        core.adapters[0] = AdapterRecord{};
        core.localReplySeen = 0;
        wire.deliver(0, hp10Frame(from, from, {0x08, 0x00}));
        wire.deliver(0, hp10Frame(kHost0, from, {0x1A, 0xBB, 0x03}));
        wire.deliver(0, hp10Frame(kHost0, from, {0x1E, 0x01, 0x01}));
        for (int i = 0; i < 3; ++i) ASSERT_NE(observeFrame(0), nullptr);
        EXPECT_EQ(core.localReplySeen, 0);
        EXPECT_FALSE(macIsSet(core.adapters[0].localMac));
        EXPECT_EQ(core.adapters[0].localPresent, 0);
        EXPECT_TRUE(paramRequests().empty());
    }
}

// Once the local device is known, requests go out in its name alone: another address talking
// to itself answers nothing and does not take the local device's place.
TEST_F(Observer, SelfAddressedFrameOfAnotherDeviceProvesNothingOnceTheLocalOneIsKnown) {
    copyMac(core.adapters[0].localMac, kLocal.data());
    wire.deliver(0, hp10Frame(kStation, kStation, {0x08, 0x00}));
    observeFrame(0);
    EXPECT_EQ(core.localReplySeen, 0);
    EXPECT_EQ(formatMac(core.adapters[0].localMac), formatMac(kLocal));
    wire.deliver(0, hp10Frame(kLocal, kLocal, {0x08, 0x00}));
    observeFrame(0);
    EXPECT_EQ(core.localReplySeen, 1);
    EXPECT_EQ(core.adapters[0].localPresent, 1);
}

TEST_F(Observer, ParameterBlockOfAnotherDeviceIsNotTaken) {
    copyMac(core.adapters[0].localMac, kLocal.data());
    std::vector<uint8_t> forged = paramReply(1, 0x5C);
    std::copy(kStation.begin(), kStation.end(), forged.begin() + 6);
    wire.deliver(0, forged);
    observeFrame(0);
    EXPECT_EQ(core.adapters[0].paramsValid, 0);
    EXPECT_EQ(core.adapters[0].paramBlock[0], 0);
    // Without a known local device no block is taken at all.
    core.adapters[0] = AdapterRecord{};
    wire.deliver(0, paramReply(1, 0x5C));
    observeFrame(0);
    EXPECT_EQ(core.adapters[0].paramsValid, 0);
}

TEST_F(Observer, LocalAnswerOfAOneZeroKindPollsItsParametersThreeTimes) {
    wire.deliver(0, hp10Frame(kHost0, kLocal, {0x1A, 0xBB, 0x03}));
    observeFrame(0);
    EXPECT_EQ(core.adapters[0].localKind, 3);
    EXPECT_EQ(core.adapters[0].localPresent, 1);
    EXPECT_EQ(core.adapters[0].localMissCount, 1);
    const auto requests = paramRequests();
    ASSERT_EQ(requests.size(), 3u);
    // Reply windows of 50, 54 and 58 ms, each over by the last poll's 2 ms read time-out.
    EXPECT_NEAR(double(requests[1].atMs - requests[0].atMs), 50, 3);
    EXPECT_NEAR(double(requests[2].atMs - requests[1].atMs), 54, 3);
    const auto& bytes = requests[0].bytes;
    ASSERT_EQ(bytes.size(), 60u);
    EXPECT_TRUE(std::equal(kBroadcastMac.begin(), kBroadcastMac.end(), bytes.begin()));
    EXPECT_TRUE(std::equal(kHost0.begin(), kHost0.end(), bytes.begin() + 6));
    EXPECT_EQ(std::vector<uint8_t>(bytes.begin() + 12, bytes.begin() + 18),
              (std::vector<uint8_t>{0x88, 0x7B, 0x01, 0x19, 0x0F, 0x00}));
}

TEST_F(Observer, AnsweringDeviceEndsTheParameterPollEarly) {
    // The local device answers the first parameter request in its own name.
    wire.setReceiver([&](int port, const std::vector<uint8_t>& frame) {
        if (frame[15] == 0x19)
            clock.scheduleAfter(5, [this, port] { wire.deliver(port, hp10Frame(kLocal, kLocal, {0x08, 0})); });
    });
    wire.deliver(0, hp10Frame(kHost0, kLocal, {0x1A, 0xBB, 0x02}));
    observeFrame(0);
    EXPECT_EQ(paramRequests().size(), 1u);
}

TEST_F(Observer, StatisticsAnswerIsHandedBackAfterTheParameterPollItStarted) {
    // The device answers the parameter requests; the caller still gets the statistics answer,
    // whose station slots carry the rates, not the newest parameter reply.
    wire.setReceiver([&](int port, const std::vector<uint8_t>& frame) {
        if (frame[15] == 0x19)
            clock.scheduleAfter(5, [this, port] { wire.deliver(port, paramReply(1, 0x30)); });
    });
    const std::vector<uint8_t> statistics = hp10Frame(kHost0, kLocal, {0x1A, 0xBB, 0x03, 0x44});
    wire.deliver(0, statistics);
    MmeFrame frame;
    ASSERT_TRUE(receiveFrame(frame));
    EXPECT_FALSE(paramRequests().empty());
    EXPECT_EQ(std::vector<uint8_t>(frame.bytes.begin(), frame.bytes.begin() + frame.length),
              statistics);
}

TEST_F(Observer, StreamOfLocalStatisticsAnswersDoesNotNestParameterPolls) {
    // The device sends a statistics answer every 10 ms for two seconds.
    std::function<void()> next = [&] {
        wire.deliver(0, hp10Frame(kHost0, kLocal, {0x1A, 0xBB, 0x03}));
        if (clock.tickCount() < 3000) clock.scheduleAfter(10, next);
    };
    clock.scheduleAfter(0, next);
    const uint64_t before = clock.tickCount();
    EXPECT_FALSE(waitLocalReply(0, 50));
    // One parameter poll, started by the first answer: three requests, windows of 50, 54 and
    // 58 ms, each over by at most a 2 ms read time-out.
    EXPECT_EQ(paramRequests().size(), 3u);
    EXPECT_LE(clock.tickCount() - before, 50u + 50u + 54u + 58u + 10u);
    EXPECT_EQ(core.adapters[0].localMissCount, 1);
}

TEST_F(Observer, SelfAddressedLocalAnswerEndsTheWaitDespiteTheParameterPollInside) {
    // The local device answers a query sent in its own name: the answer proves it, even though
    // its kind starts a parameter poll whose own waits see no such frame.
    wire.deliver(0, hp10Frame(kLocal, kLocal, {0x1A, 0xBB, 0x03}));
    EXPECT_TRUE(waitLocalReply(0, 50));
    EXPECT_EQ(paramRequests().size(), 3u);
}

TEST_F(Observer, LocalAnswerOfAnotherKindIsNotALocalDevice) {
    for (uint8_t kind : {0x00, 0x04, 0x7F}) {
        core.adapters[0] = AdapterRecord{};
        wire.deliver(0, hp10Frame(kHost0, kLocal, {0x1A, 0xBB, kind}));
        observeFrame(0);
        EXPECT_EQ(core.adapters[0].localPresent, 0) << int(kind);
        EXPECT_EQ(core.adapters[0].localKind, kind);
    }
    // A request (bit 7 set) is not an answer.
    core.adapters[0] = AdapterRecord{};
    wire.deliver(0, hp10Frame(kHost0, kLocal, {0x1E, 0x01, 0x80}));
    observeFrame(0);
    EXPECT_EQ(core.adapters[0].localPresent, 0);
    EXPECT_TRUE(paramRequests().empty());
}

TEST_F(Observer, ParameterBlockIsTakenFromTheFirstCopyOnly) {
    // The block is asked for once the local device is known, and taken from it alone.
    copyMac(core.adapters[0].localMac, kLocal.data());
    wire.deliver(0, paramReply(2, 0xEE));
    observeFrame(0);
    EXPECT_EQ(core.adapters[0].paramsValid, 0);
    wire.deliver(0, paramReply(1, 0x5C));
    observeFrame(0);
    EXPECT_EQ(core.adapters[0].paramsValid, 1);
    for (uint8_t b : core.adapters[0].paramBlock) ASSERT_EQ(b, 0x5C);
}

TEST_F(Observer, ReadFaultIsReportedAndCountsAsNoFrame) {
    wire.faultOnPoll = true;
    EXPECT_EQ(observeFrame(0), nullptr);
    ASSERT_EQ(recorder.messages.size(), 1u);
    EXPECT_EQ(recorder.messages[0].title, "Reading Error");
    EXPECT_EQ(recorder.messages[0].text,
              "Error occured while reading the frame. Please try after sometime.");
}

TEST_F(Observer, ReceiveTakesTheLowestInterfaceFirst) {
    wire.deliver(1, hp10Frame(kHost1, kStation, {0x08, 0x00}));
    wire.deliver(0, hp10Frame(kHost0, kStation, {0x08, 0x01}));
    MmeFrame frame;
    ASSERT_TRUE(receiveFrame(frame));
    EXPECT_EQ(core.lastRxAdapter, 0);
    EXPECT_EQ(frame.bytes[0], kHost0[0]);
    EXPECT_EQ(frame.bytes[5], kHost0[5]);
    ASSERT_TRUE(receiveFrame(frame));
    EXPECT_EQ(core.lastRxAdapter, 1);
    EXPECT_EQ(frame.bytes[5], kHost1[5]);
    EXPECT_FALSE(receiveFrame(frame));
}

// Idle interfaces are waited on together: one read time-out in all, not one per interface, and
// a frame arriving on the higher interface during the wait is taken at once.
TEST_F(Observer, ReceiveWaitsOnAllInterfacesAtOnce) {
    MmeFrame frame;
    uint64_t before = clock.tickCount();
    EXPECT_FALSE(receiveFrame(frame));
    EXPECT_EQ(clock.tickCount() - before, 2u) << "two idle interfaces cost one 2 ms wait";

    clock.scheduleAfter(1, [&] { wire.deliver(1, hp10Frame(kHost1, kStation, {0x08, 0x00})); });
    before = clock.tickCount();
    ASSERT_TRUE(receiveFrame(frame));
    EXPECT_EQ(core.lastRxAdapter, 1);
    EXPECT_EQ(clock.tickCount() - before, 1u);
}

TEST_F(Observer, ReceiveWithNoInterfacesReturnsAtOnce) {
    closeAllInterfaces();
    enumerateInterfaces();
    adapterCount = 0;
    MmeFrame frame;
    const uint64_t before = clock.tickCount();
    EXPECT_FALSE(receiveFrame(frame));
    EXPECT_EQ(clock.tickCount(), before);
}

// The local device's answer queued behind more frames than the window has milliseconds: they
// are looked at one after another, and the answer is seen at once.
TEST_F(Observer, WaitLocalReplySeesTheAnswerBehindABurst) {
    for (const size_t burst : {10u, 64u, 150u}) {
        SCOPED_TRACE(burst);
        for (size_t i = 0; i < burst; ++i)
            wire.deliver(0, hp10Frame(kHost0, kStation, {0x08, 0x00}));
        wire.deliver(0, hp10Frame(kLocal, kLocal, {0x08, 0x00}));
        const uint64_t before = clock.tickCount();
        EXPECT_TRUE(waitLocalReply(0, 50));
        EXPECT_EQ(clock.tickCount() - before, 0u);
    }
}

TEST_F(Observer, WaitLocalReplyGivesUpAfterItsWindow) {
    const uint64_t before = clock.tickCount();
    EXPECT_FALSE(waitLocalReply(0, 50));
    EXPECT_GE(clock.tickCount() - before, 50u);
    EXPECT_LE(clock.tickCount() - before, 53u);
}

}  // namespace
}  // namespace corvel
