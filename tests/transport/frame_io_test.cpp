// SPDX-License-Identifier: MIT
#include "transport/frame_io.h"

#include <gtest/gtest.h>

#include "platform/clock.h"
#include "platform/notifier.h"
#include "transport/interface_table.h"
#include "transport/memory_wire.h"

namespace corvel {
namespace {

Mac hostMac(uint8_t n) { return Mac{0x02, 0x00, 0x00, 0x00, 0x00, n}; }

std::vector<uint8_t> frameOf(uint16_t ethertype, size_t length, uint8_t fill = 0x11) {
    std::vector<uint8_t> frame(length, fill);
    frame[12] = uint8_t(ethertype >> 8);
    frame[13] = uint8_t(ethertype);
    return frame;
}

class FrameIo : public ::testing::Test {
protected:
    void SetUp() override { installCaptureBackend(&wire); }
    void TearDown() override { installCaptureBackend(nullptr); }
    void addInterfaces(int count) {
        for (int i = 0; i < count; ++i)
            wire.addInterface("veth" + std::to_string(i), hostMac(uint8_t(i + 1)));
    }
    VirtualClock clock;
    ScopedClock clockScope{clock};
    RecordingNotifier recorder;
    ScopedNotifier notifierScope{recorder};
    MemoryWire wire;
};

TEST_F(FrameIo, EnumerationKeepsTheFirstEightWithMacsAndNames) {
    addInterfaces(10);
    ASSERT_TRUE(enumerateInterfaces());
    EXPECT_EQ(adapterCount, 8);
    EXPECT_EQ(formatMac(interfaceEntries[7].interfaceMac), "02:00:00:00:00:08");
    EXPECT_STREQ(interfaceEntries[7].description, "veth7");
    ASSERT_NE(interfaceByIndex(7), nullptr);
    EXPECT_EQ(interfaceByIndex(7)->name, "veth7");
    EXPECT_EQ(interfaceByIndex(8), nullptr);
    EXPECT_EQ(interfaceByIndex(-1), nullptr);
}

TEST_F(FrameIo, ListingFailureLeavesNoInterfacesAndKeepsTheReason) {
    addInterfaces(2);
    wire.failListing = true;
    EXPECT_FALSE(enumerateInterfaces());
    EXPECT_EQ(adapterCount, 0);
    EXPECT_FALSE(captureError().empty());
}

TEST_F(FrameIo, RefusedCaptureIsKeptForTheUserAndNothingIsSent) {
    addInterfaces(1);
    wire.refuseOpen = true;
    reopenInterfaces();
    EXPECT_EQ(adapterCount, 1);
    EXPECT_NE(captureError().find("permission"), std::string::npos) << captureError();
    const auto frame = frameOf(0x887B, 17);
    EXPECT_FALSE(sendFrame(0, frame.data(), uint16_t(frame.size())));
    EXPECT_TRUE(wire.sent().empty());
}

// Only a refusal for want of privileges on every interface counts as "not permitted": one
// interface that opens is enough to go on.
TEST_F(FrameIo, CaptureNotPermittedOnlyWhenEveryInterfaceRefusedForPrivileges) {
    addInterfaces(2);
    reopenInterfaces();
    EXPECT_FALSE(captureNotPermitted());
    wire.refuseOpen = true;
    closeAllInterfaces();
    reopenInterfaces();
    EXPECT_TRUE(captureNotPermitted());
    wire.refuseOpen = false;
    closeAllInterfaces();
    reopenInterfaces();
    EXPECT_FALSE(captureNotPermitted());
}

TEST_F(FrameIo, SendPadsToSixtyAndRefusesOverlongFrames) {
    addInterfaces(1);
    reopenInterfaces();
    struct Case {
        size_t length;
        bool sent;
        size_t onWire;
    };
    for (const Case c : {Case{17, true, 60}, Case{60, true, 60}, Case{1514, true, 1514},
                         Case{1515, false, 0}}) {
        wire.clearSent();
        const auto frame = frameOf(0x887B, c.length, 0x5A);
        EXPECT_EQ(sendFrame(0, frame.data(), uint16_t(frame.size())), c.sent) << c.length;
        if (!c.sent) {
            EXPECT_TRUE(wire.sent().empty());
            continue;
        }
        ASSERT_EQ(wire.sent().size(), 1u);
        const auto& bytes = wire.sent()[0].bytes;
        ASSERT_EQ(bytes.size(), c.onWire);
        for (size_t i = 14; i < bytes.size(); ++i)
            ASSERT_EQ(bytes[i], i < c.length ? 0x5A : 0) << c.length << " byte " << i;
    }
    EXPECT_FALSE(sendFrame(3, frameOf(0x887B, 17).data(), 17));  // no such interface
}

TEST_F(FrameIo, SendFaultTellsTheUser) {
    addInterfaces(1);
    reopenInterfaces();
    wire.faultOnSend = true;
    EXPECT_FALSE(sendFrame(0, frameOf(0x88E1, 64).data(), 64));
    ASSERT_EQ(recorder.messages.size(), 1u);
    EXPECT_EQ(recorder.messages[0].title, "Send Packet Error");
    EXPECT_EQ(recorder.messages[0].text,
              "Unknown error occurred while sending packets. Please try after some time.");
}

TEST_F(FrameIo, PollDeliversPowerlineFramesOnlyAndWaitsTheReadTimeout) {
    addInterfaces(2);
    reopenInterfaces();
    wire.deliver(1, frameOf(0x0800, 60));  // IPv4: the filter drops it
    wire.deliver(1, frameOf(0x88E1, 70, 0x22));
    EXPECT_EQ(pollFrame(0), nullptr);
    EXPECT_EQ(clock.sleptMs(), 2u);  // an idle interface costs its read time-out
    const MmeFrame* frame = pollFrame(1);
    ASSERT_NE(frame, nullptr);
    EXPECT_EQ(frame->length, 70u);
    EXPECT_EQ(frame->bytes[20], 0x22);
    EXPECT_EQ(pollFrame(1), nullptr);

    bool faulted = false;
    wire.faultOnPoll = true;
    EXPECT_EQ(pollFrame(1, &faulted), nullptr);
    EXPECT_TRUE(faulted);
}

TEST_F(FrameIo, FrameArrivingWithinTheReadTimeoutIsReturned) {
    addInterfaces(1);
    reopenInterfaces();
    clock.scheduleAfter(1, [&] { wire.deliver(0, frameOf(0x887B, 60)); });
    EXPECT_NE(pollFrame(0), nullptr);
    EXPECT_EQ(clock.sleptMs(), 1u);
}

TEST_F(FrameIo, CloseAllDropsHandlesAndTheList) {
    addInterfaces(2);
    reopenInterfaces();
    closeAllInterfaces();
    EXPECT_EQ(interfaceByIndex(0), nullptr);
    EXPECT_FALSE(sendFrame(0, frameOf(0x887B, 17).data(), 17));
}

TEST(ExtractDescription, TakesTheQuotedNameUpToAParenthesis) {
    struct Case {
        const char* description;
        const char* expected;
    };
    const Case cases[] = {
        {"Network adapter 'Intel(R) PRO/1000' on local host", "Intel"},
        {"Network adapter 'Realtek PCIe GbE Family Controller' on local host",
         "Realtek PCIe GbE Family Controller"},
        {"Network adapter 'Ethernet (wired)' on local host", "Ethernet "},
        {"no quotes here", ""},
        {"", ""},
        {"'unterminated", "unterminated"},
    };
    for (const Case& c : cases) EXPECT_EQ(extractDescription(c.description), c.expected);
}

}  // namespace
}  // namespace corvel
