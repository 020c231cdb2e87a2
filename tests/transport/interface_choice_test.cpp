// SPDX-License-Identifier: MIT
#include "transport/interface_choice.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "platform/clock.h"
#include "platform/notifier.h"
#include "transport/frame_io.h"
#include "transport/frame_trace.h"
#include "transport/interface_table.h"
#include "transport/memory_wire.h"

namespace corvel {
namespace {

class InterfaceChoice : public ::testing::Test {
protected:
    void SetUp() override {
        installCaptureBackend(&wire);
        for (uint8_t i = 0; i < 4; ++i)
            wire.addInterface("eth" + std::to_string(i), Mac{0x02, 0, 0, 0, 0, uint8_t(i + 1)});
    }
    void TearDown() override {
        setInterfaceChoice({});
        setFrameTrace(nullptr);
        installCaptureBackend(nullptr);
    }
    VirtualClock clock;
    ScopedClock clockScope{clock};
    RecordingNotifier recorder;
    ScopedNotifier notifierScope{recorder};
    MemoryWire wire;
};

TEST_F(InterfaceChoice, KeepsTheChosenInterfacesInTheLibrarysOrder) {
    const struct {
        std::vector<std::string> chosen;
        std::vector<std::string> kept;
    } cases[] = {
        {{}, {"eth0", "eth1", "eth2", "eth3"}},
        {{"eth2"}, {"eth2"}},
        // The order the user typed does not reorder the interfaces (nor the tables).
        {{"eth3", "eth1"}, {"eth1", "eth3"}},
    };
    for (const auto& c : cases) {
        setInterfaceChoice(c.chosen);
        ASSERT_TRUE(enumerateInterfaces());
        std::vector<std::string> kept;
        for (int i = 0; i < adapterCount; ++i) kept.push_back(interfaceByIndex(i)->name);
        EXPECT_EQ(kept, c.kept);
    }
}

TEST_F(InterfaceChoice, AnInterfaceTheHostLacksIsAnErrorNotAnEmptyScan) {
    setInterfaceChoice({"eth1", "wlan9"});
    EXPECT_FALSE(enumerateInterfaces());
    EXPECT_EQ(adapterCount, 0);
    EXPECT_EQ(captureError(), "no Ethernet interface named wlan9");
}

TEST_F(InterfaceChoice, TraceSeesEveryFrameSentAndReceivedWithItsInterface) {
    setInterfaceChoice({"eth1"});
    ASSERT_TRUE(enumerateInterfaces());
    ASSERT_TRUE(openInterface(0));
    std::vector<std::string> seen;
    setFrameTrace([&](FrameDirection direction, const std::string& name, const uint8_t* frame,
                      size_t length) { seen.push_back(formatFrameTrace(direction, name, frame, length)); });

    std::vector<uint8_t> frame(20, 0xAB);
    frame[12] = 0x88;
    frame[13] = 0xE1;
    ASSERT_TRUE(sendFrame(0, frame.data(), uint16_t(frame.size())));
    wire.deliver(1, frame);
    ASSERT_NE(pollFrame(0), nullptr);

    ASSERT_EQ(seen.size(), 2u);
    // Sent frames are shown as they went out: padded to the 60-byte minimum.
    EXPECT_EQ(seen[0].substr(0, seen[0].find('\n')), "> eth1 60 bytes");
    EXPECT_NE(seen[0].find("  0000  ab ab ab ab ab ab ab ab ab ab ab ab 88 e1 ab ab\n"),
              std::string::npos);
    EXPECT_NE(seen[0].find("  0030  00 00 00 00 00 00 00 00 00 00 00 00\n"), std::string::npos);
    EXPECT_EQ(seen[1].substr(0, seen[1].find('\n')), "< eth1 20 bytes");
    EXPECT_EQ(std::count(seen[1].begin(), seen[1].end(), '\n'), 3);
}

}  // namespace
}  // namespace corvel
