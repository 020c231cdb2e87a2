// SPDX-License-Identifier: MIT
#include "sim/memory_link.h"

#include <gtest/gtest.h>

#include "tests/sim/sim_test_support.h"
#include "transport/frame_io.h"

namespace corvel::sim::test {
namespace {


class MemoryLink : public ::testing::Test {
protected:
    void SetUp() override {
        net.addPort("plc0");
        net.setLocal(0, device(Family::Av, kLocal, "LQXD-7RKM-2FTA-9WPE"));
    }
    std::string openError;
    VirtualClock clock;
    ScopedClock clockScope{clock};
    MemoryWire wire;
    Network net;
};

TEST_F(MemoryLink, AnswerArrivesOnceItsDelayHasPassed) {
    wire.addInterface("eth0", Mac{0x02, 0, 0, 0, 0, 0x09});
    wire.addInterface("plc0", kHost);
    net.device(kLocal)->profile.faults.latencyMs = 40;
    attachToMemoryWire(net, wire, clock);
    wire.readTimeoutMs = 0;
    const int handle = wire.openCapture("plc0", openError);
    ASSERT_EQ(handle, 1);

    const Frame request = avRequest(kLocalManagement, kHost, 0xA000);
    const uint64_t sentAt = clock.tickCount();
    ASSERT_TRUE(wire.sendRaw(handle, request.data(), request.size()));
    Frame answer;
    clock.advanceTo(sentAt + 39);
    EXPECT_EQ(wire.pollRaw(handle, answer), PollResult::None);
    clock.advanceTo(sentAt + 40);
    ASSERT_EQ(wire.pollRaw(handle, answer), PollResult::Frame);
    EXPECT_EQ(destinationOf(answer), kHost);
    EXPECT_EQ(sourceOf(answer), kLocal);
    EXPECT_EQ(answer.size(), 88u);
}

TEST_F(MemoryLink, MissingInterfacesAreAddedAndEachPortAnswersOnItsOwn) {
    const Mac second{0x00, 0xB0, 0x52, 0x00, 0x01, 0x10};
    net.addPort("plc1");
    net.setLocal(1, device(Family::Av, second, "MA9F-TQ4W-ZK7B-PD3R"));
    attachToMemoryWire(net, wire, clock);

    std::vector<HostInterface> listed;
    std::string error;
    ASSERT_TRUE(wire.listInterfaces(listed, error));
    ASSERT_EQ(listed.size(), 2u);
    EXPECT_EQ(listed[1].name, "plc1");
    EXPECT_EQ(listed[1].mac, memoryHostMac(1));

    // Through the utility's own transport, as the system tests drive it.
    installCaptureBackend(&wire);
    ASSERT_TRUE(reopenInterfaces());
    const Frame request = avRequest(kLocalManagement, memoryHostMac(1), 0xA000);
    ASSERT_TRUE(sendFrame(1, request.data(), uint16_t(request.size())));
    const bool quietOnTheOther = pollFrame(0) == nullptr;
    const MmeFrame* got = pollFrame(1);
    const Frame answer = got != nullptr
                             ? Frame(got->bytes.begin(), got->bytes.begin() + long(got->length))
                             : Frame{};
    installCaptureBackend(nullptr);  // forgets the last frame, hence the copy
    EXPECT_TRUE(quietOnTheOther);
    ASSERT_GE(answer.size(), 60u);
    EXPECT_EQ(sourceOf(answer), second);
    EXPECT_EQ(destinationOf(answer), memoryHostMac(1));
}

TEST_F(MemoryLink, RebootsRunOnTheVirtualClock) {
    net.device(kLocal)->profile.rebootMs = 300;
    attachToMemoryWire(net, wire, clock);
    wire.readTimeoutMs = 0;
    const int handle = wire.openCapture("plc0", openError);
    const Frame setKey =
        avRequest(kLocal, kHost, 0xA050,
                  cat({{0x01}, key(deriveNMK("Office")), {0x0F}, mac(kLocal), zeros(16)}));
    const Frame version = avRequest(kLocalManagement, kHost, 0xA000);
    Frame answer;

    wire.sendRaw(handle, setKey.data(), setKey.size());
    clock.sleepMs(1);
    ASSERT_EQ(wire.pollRaw(handle, answer), PollResult::Frame);
    EXPECT_EQ(answer[20], 0x00);

    wire.sendRaw(handle, version.data(), version.size());
    clock.sleepMs(1);
    EXPECT_EQ(wire.pollRaw(handle, answer), PollResult::None);
    clock.sleepMs(300);
    wire.sendRaw(handle, version.data(), version.size());
    clock.sleepMs(1);
    EXPECT_EQ(wire.pollRaw(handle, answer), PollResult::Frame);
}

}  // namespace
}  // namespace corvel::sim::test
