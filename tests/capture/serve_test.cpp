// SPDX-License-Identifier: MIT
// The product's helper backend and the helper's serving loop over a real socket pair, with the
// in-memory wire where the helper's libpcap would be, served from a thread.
#include "capture/serve.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <mutex>
#include <thread>

#include "capture/capture_service.h"
#include "transport/helper_backend.h"
#include "tests/capture/test_frames.h"
#include "transport/memory_wire.h"

namespace corvel::capture {
namespace {

class Relay : public ::testing::Test {
protected:
    void SetUp() override {
        wire.addInterface("host0", kHost0, "first");
        wire.addInterface("host1", kHost1);
        // The devices answer every frame sent with `answers` frames, at once.
        wire.setReceiver([this](int port, const Bytes& frame) {
            std::lock_guard lock(seenMutex);
            seen.push_back(frame);
            for (int i = 0; i < answers; ++i) wire.deliver(port, frameOf(0x88E1, 60, uint8_t(i)));
        });
    }
    void start() {
        int pair[2];
        ASSERT_EQ(::socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, pair), 0);
        helperEnd = pair[1];
        server = std::thread([this] { status = serveCaller(helperEnd, service, wire); });
        backend = std::make_unique<HelperBackend>(HelperProcess{-1, pair[0]});
    }
    void TearDown() override {
        backend.reset();  // closes the caller's end: the loop ends
        if (server.joinable()) server.join();
        if (helperEnd >= 0) ::close(helperEnd);
    }
    int openHost(const std::string& name) {
        std::vector<HostInterface> listed;
        std::string error;
        EXPECT_TRUE(backend->listInterfaces(listed, error)) << error;
        const int handle = backend->openCapture(name, error);
        EXPECT_GE(handle, 0) << error;
        return handle;
    }
    std::vector<Bytes> sentToWire() {
        std::lock_guard lock(seenMutex);
        return seen;
    }

    MemoryWire wire;
    CaptureService service{wire};
    int answers = 0;
    std::mutex seenMutex;
    std::vector<Bytes> seen;
    int helperEnd = -1;
    int status = -1;
    std::thread server;
    std::unique_ptr<HelperBackend> backend;
};

TEST_F(Relay, ListsTheHelpersInterfaces) {
    start();
    std::vector<HostInterface> listed;
    std::string error;
    ASSERT_TRUE(backend->listInterfaces(listed, error)) << error;
    ASSERT_EQ(listed.size(), 2u);
    EXPECT_EQ(listed[0].name, "host0");
    EXPECT_EQ(listed[0].description, "first");
    EXPECT_EQ(listed[1].mac, (Mac{2, 0, 0, 0, 0, 2}));
}

TEST_F(Relay, ABurstOfAnswersArrivesInOrderOnItsHandle) {
    answers = 64;
    start();
    openHost("host0");
    const int handle = openHost("host1");
    const Bytes request = frameFrom(kHost1, 0x887B, 60, 0xEE);
    ASSERT_TRUE(backend->sendRaw(handle, request.data(), request.size()));
    EXPECT_EQ(sentToWire(), std::vector<Bytes>{request});
    std::vector<Bytes> received;
    Bytes frame;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (received.size() < 64 && std::chrono::steady_clock::now() < deadline)
        if (backend->pollRaw(handle, frame) == PollResult::Frame) received.push_back(frame);
    ASSERT_EQ(received.size(), 64u);
    for (int i = 0; i < 64; ++i) EXPECT_EQ(received[size_t(i)], frameOf(0x88E1, 60, uint8_t(i)));
    EXPECT_EQ(backend->takeRaw(handle, frame), PollResult::None);
    EXPECT_FALSE(backend->waitAny({handle}));
}

TEST_F(Relay, AFrameOfAnotherEthertypeIsRefusedAndNeverSent) {
    start();
    const int handle = openHost("host0");
    for (const uint16_t ethertype : {0x0800, 0x86DD, 0x8100}) {
        const Bytes frame = frameOf(ethertype, 60, 0x33);
        EXPECT_FALSE(backend->sendRaw(handle, frame.data(), frame.size())) << ethertype;
    }
    EXPECT_TRUE(sentToWire().empty());
}

TEST_F(Relay, FramesOfAClosedCaptureDoNotReachOneReopenedOnItsHandle) {
    answers = 3;
    start();
    const int handle = openHost("host0");
    const Bytes request = frameFrom(kHost0, 0x88E1, 60, 0xEE);
    ASSERT_TRUE(backend->sendRaw(handle, request.data(), request.size()));
    ASSERT_TRUE(backend->waitAny({handle}));
    backend->closeCapture(handle);
    std::string error;
    const int again = backend->openCapture("host0", error);
    ASSERT_GE(again, 0) << error;
    Bytes frame;
    EXPECT_EQ(backend->pollRaw(again, frame), PollResult::None);
}

TEST_F(Relay, ARefusalForPrivilegesIsRelayedAsSuch) {
    wire.refuseOpen = true;
    start();
    std::vector<HostInterface> listed;
    std::string error;
    ASSERT_TRUE(backend->listInterfaces(listed, error));
    EXPECT_EQ(backend->openCapture("host0", error), -1);
    EXPECT_TRUE(backend->permissionDenied());
    EXPECT_EQ(error, "host0: you don't have permission to capture on that device");
    // An open of a name the helper never listed is refused, not for privileges.
    EXPECT_EQ(backend->openCapture("eth7", error), -1);
    EXPECT_FALSE(backend->permissionDenied());
}

TEST_F(Relay, AHelperThatStoppedIsACaptureFaultNotASilentSuccess) {
    start();
    const int handle = openHost("host0");
    ::shutdown(helperEnd, SHUT_RDWR);
    server.join();
    EXPECT_EQ(status, 0);
    const Bytes frame = frameOf(0x88E1, 60, 0x44);
    EXPECT_THROW(backend->sendRaw(handle, frame.data(), frame.size()), CaptureFault);
    EXPECT_FALSE(backend->running());
    std::vector<HostInterface> listed;
    std::string error;
    EXPECT_EQ(backend->openCapture("host0", error), -1);
}

TEST_F(Relay, TheLoopEndsWhenTheCallerCloses) {
    start();
    openHost("host0");
    backend.reset();
    server.join();
    EXPECT_EQ(status, 0);
}

}  // namespace
}  // namespace corvel::capture
