// SPDX-License-Identifier: MIT
#include "capture/capture_service.h"

#include <gtest/gtest.h>

#include <deque>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/clock.h"
#include "tests/capture/test_frames.h"
#include "transport/capture_protocol.h"
#include "transport/memory_wire.h"

namespace corvel::capture {
namespace {

// The in-memory wire, with frames that no capture filter would have let through put straight
// into what a capture hands out.
class UnfilteredWire : public MemoryWire {
public:
    std::deque<Bytes> raw;
    std::vector<std::pair<int, std::optional<Mac>>> alsoAddressedTo;
    void receiveAlsoAddressedTo(int handle, const std::optional<Mac>& address) override {
        alsoAddressedTo.emplace_back(handle, address);
    }
    PollResult takeRaw(int handle, std::vector<uint8_t>& frame) override {
        if (raw.empty()) return MemoryWire::takeRaw(handle, frame);
        frame = raw.front();
        raw.pop_front();
        return PollResult::Frame;
    }
};

class Service : public ::testing::Test {
protected:
    void SetUp() override {
        wire.addInterface("host0", kHost0);
        wire.addInterface("host1", kHost1, "second");
    }
    HelperMessage ask(Request request) {
        request.id = ++id;
        const Bytes bytes = encodeRequest(request);
        const Bytes reply = service.answer(bytes.data(), bytes.size());
        HelperMessage message;
        EXPECT_TRUE(parseHelperMessage(reply.data(), reply.size(), message));
        EXPECT_EQ(message.kind, HelperMessage::Kind::Reply);
        EXPECT_EQ(message.id, id);
        return message;
    }
    HelperMessage list() { return ask(Request{RequestType::List}); }
    HelperMessage open(const std::string& name) {
        Request request{RequestType::Open};
        request.name = name;
        return ask(request);
    }
    int openHandle(const std::string& name) {
        const HelperMessage reply = open(name);
        EXPECT_EQ(reply.status, ReplyStatus::Ok) << text(reply);
        return reply.body.size() == 2 ? reply.body[0] | (reply.body[1] << 8) : -1;
    }
    HelperMessage send(int handle, const Bytes& frame) {
        Request request{RequestType::Send};
        request.handle = uint16_t(handle);
        request.frame = frame;
        return ask(request);
    }
    HelperMessage close(int handle) {
        Request request{RequestType::Close};
        request.handle = uint16_t(handle);
        return ask(request);
    }
    static std::string text(const HelperMessage& reply) {
        return std::string(reply.body.begin(), reply.body.end());
    }

    UnfilteredWire wire;
    CaptureService service{wire};
    uint32_t id = 0;
};

TEST_F(Service, ListsOpensSendsAndCloses) {
    const HelperMessage listing = list();
    ASSERT_EQ(listing.status, ReplyStatus::Ok);
    std::vector<HostInterface> interfaces;
    ASSERT_TRUE(parseListing(listing.body.data(), listing.body.size(), interfaces));
    ASSERT_EQ(interfaces.size(), 2u);
    EXPECT_EQ(interfaces[1].name, "host1");
    EXPECT_EQ(interfaces[1].description, "second");

    const int handle = openHandle("host1");
    EXPECT_EQ(service.openHandles(), std::vector<int>{handle});
    const Bytes frame = frameFrom(kHost1, 0x88E1, 60);
    EXPECT_EQ(send(handle, frame).status, ReplyStatus::Ok);
    ASSERT_EQ(wire.sent().size(), 1u);
    EXPECT_EQ(wire.sent()[0].bytes, frame);
    EXPECT_EQ(wire.sent()[0].port, 1);

    EXPECT_EQ(close(handle).status, ReplyStatus::Ok);
    EXPECT_TRUE(service.openHandles().empty());
    EXPECT_EQ(send(handle, frame).status, ReplyStatus::Refused);
    EXPECT_EQ(wire.sent().size(), 1u);
}

TEST_F(Service, RefusesWhatTheCallerMayNotAskAndSendsNothing) {
    // Before any listing nothing may be opened.
    EXPECT_EQ(open("host0").status, ReplyStatus::Refused);
    list();
    EXPECT_EQ(open("lo").status, ReplyStatus::Refused);
    EXPECT_EQ(open("host").status, ReplyStatus::Refused);
    const int handle = openHandle("host0");
    const HelperMessage twice = open("host0");
    EXPECT_EQ(twice.status, ReplyStatus::Refused);
    EXPECT_NE(text(twice).find("already open"), std::string::npos);

    const struct {
        const char* what;
        int handle;
        Bytes frame;
    } refusedSends[] = {
        {"IPv4", handle, frameOf(0x0800, 60)},
        {"ARP", handle, frameOf(0x0806, 60)},
        {"VLAN tag before an AV Ethertype", handle, frameOf(0x8100, 60)},
        {"longer than 1514 bytes", handle, frameOf(0x88E1, 1515)},
        {"shorter than a header", handle, Bytes(13, 0x88)},
        {"a handle never opened", handle + 1, frameOf(0x88E1, 60)},
        {"a handle far out of range", 0xFFFF, frameOf(0x887B, 60)},
    };
    for (const auto& c : refusedSends) {
        SCOPED_TRACE(c.what);
        const HelperMessage reply = send(c.handle, c.frame);
        EXPECT_EQ(reply.status, ReplyStatus::Refused);
        EXPECT_FALSE(text(reply).empty());
    }
    EXPECT_EQ(close(handle + 1).status, ReplyStatus::Refused);
    EXPECT_TRUE(wire.sent().empty());
    EXPECT_EQ(service.openHandles(), std::vector<int>{handle});
}

TEST_F(Service, MalformedRequestsAreAnsweredWithARefusal) {
    const Bytes requests[] = {
        {}, {1, 2}, {9, 1, 0, 0, 0}, {3, 1, 0, 0, 0, 7}, Bytes(kMaxRequestLength + 1, 4),
    };
    for (const Bytes& request : requests) {
        const Bytes reply = service.answer(request.data(), request.size());
        HelperMessage message;
        ASSERT_TRUE(parseHelperMessage(reply.data(), reply.size(), message));
        EXPECT_EQ(message.kind, HelperMessage::Kind::Reply);
        EXPECT_EQ(message.status, ReplyStatus::Refused);
    }
    EXPECT_TRUE(wire.sent().empty());
}

TEST_F(Service, AnOpenRefusedForPrivilegesSaysSo) {
    list();
    wire.refuseOpen = true;
    const HelperMessage reply = open("host0");
    EXPECT_EQ(reply.status, ReplyStatus::NotPermitted);
    EXPECT_EQ(text(reply), "host0: you don't have permission to capture on that device");
    EXPECT_TRUE(service.openHandles().empty());
}

TEST_F(Service, AtMostSixteenCapturesAreOpenAtOnce) {
    for (int i = 2; i < 20; ++i)
        wire.addInterface("extra" + std::to_string(i), Mac{2, 0, 0, 0, 1, uint8_t(i)});
    list();
    int opened = 0;
    for (int i = 2; i < 20; ++i)
        opened += open("extra" + std::to_string(i)).status == ReplyStatus::Ok;
    EXPECT_EQ(opened, 16);
}

TEST_F(Service, OnlyPowerlineFramesAreRelayedWhateverTheCaptureHandsOut) {
    list();
    const int handle = openHandle("host0");
    wire.raw = {frameOf(0x0800, 60), Bytes(10, 0x88),       frameOf(0x88E1, 60, 0x21),
                frameOf(0x8100, 64), frameOf(0x887B, 1515), frameOf(0x887B, 60, 0x22)};
    std::vector<Bytes> relayed;
    Bytes message;
    while (service.nextFrame(handle, message)) {
        HelperMessage parsed;
        ASSERT_TRUE(parseHelperMessage(message.data(), message.size(), parsed));
        EXPECT_EQ(parsed.handle, handle);
        relayed.push_back(parsed.body);
    }
    EXPECT_EQ(relayed, (std::vector<Bytes>{frameOf(0x88E1, 60, 0x21), frameOf(0x887B, 60, 0x22)}));
    // A handle that is not open hands out nothing.
    wire.raw = {frameOf(0x88E1, 60)};
    EXPECT_FALSE(service.nextFrame(handle + 1, message));
}

// A HomePlug 1.0 frame from `source` whose first entry is of `type` with first data byte `data`.
Bytes hp10Entry(const Mac& source, uint8_t type, uint8_t data) {
    Bytes frame = frameFrom(source, 0x887B, 60, 0x00);
    std::copy(kBroadcastMac.begin(), kBroadcastMac.end(), frame.begin());
    frame[14] = 1;
    frame[15] = type;
    frame[16] = 0x29;
    frame[17] = data;
    return frame;
}

// Frames go in this host's name only, on the interface the capture is of, or, HomePlug 1.0
// frames, in the name of the local device once it answered there as the local device. Never a
// group address, another station's, another interface's; refused with the names allowed.
TEST_F(Service, SendsOnlyInTheHostsNameOrItsLocalHomePlug10Devices) {
    list();
    const int handle = openHandle("host1");
    const Mac local{0x00, 0x0B, 0x3B, 0x20, 0x00, 0x01};
    const Mac station{0x00, 0x0B, 0x3B, 0x20, 0x00, 0x02};
    const Mac multicast{0x01, 0x00, 0x5E, 0x00, 0x00, 0x01};
    auto sent = [&](const Bytes& frame) { return send(handle, frame).status == ReplyStatus::Ok; };

    EXPECT_TRUE(sent(frameFrom(kHost1, 0x88E1, 60)));
    EXPECT_TRUE(sent(frameFrom(kHost1, 0x887B, 60)));
    const HelperMessage refused = send(handle, frameFrom(local, 0x887B, 60));
    EXPECT_EQ(refused.status, ReplyStatus::Refused);
    EXPECT_EQ(text(refused),
              "host1: frames are sent only in this host's name "
              "(02:00:00:00:00:02), not in 00:0B:3B:20:00:01");
    EXPECT_FALSE(sent(frameFrom(kHost0, 0x88E1, 60)));  // the other interface's address

    // A station's answer and a local answer on the other interface teach nothing.
    wire.raw = {hp10Entry(station, 0x1A, 0x81), hp10Entry(station, 0x08, 0x00)};
    Bytes message;
    while (service.nextFrame(handle, message)) {
    }
    EXPECT_EQ(service.localHp10Device(handle), std::nullopt);
    const int other = openHandle("host0");
    wire.raw = {hp10Entry(local, 0x1A, 0x02)};
    ASSERT_TRUE(service.nextFrame(other, message));
    EXPECT_FALSE(sent(frameFrom(local, 0x887B, 60)));

    // The local device's answer to the local query, captured on host1.
    wire.raw = {hp10Entry(local, 0x1A, 0x02)};
    ASSERT_TRUE(service.nextFrame(handle, message));
    EXPECT_EQ(service.localHp10Device(handle), local);
    EXPECT_EQ(wire.alsoAddressedTo.back(), (std::pair<int, std::optional<Mac>>{handle, local}));
    EXPECT_TRUE(sent(hp10Entry(local, 0x1A, 0x80)));
    const struct {
        const char* what;
        Bytes frame;
    } stillRefused[] = {
        {"an AV frame in the local device's name", frameFrom(local, 0x88E1, 60)},
        {"another station's", frameFrom(station, 0x887B, 60)},
        {"a group address", frameFrom(multicast, 0x887B, 60)},
        {"the broadcast address", frameFrom(kBroadcastMac, 0x88E1, 60)},
        {"no address", frameFrom(Mac{}, 0x887B, 60)},
    };
    for (const auto& c : stillRefused) {
        SCOPED_TRACE(c.what);
        const HelperMessage reply = send(handle, c.frame);
        EXPECT_EQ(reply.status, ReplyStatus::Refused);
        EXPECT_NE(text(reply).find("or, HomePlug 1.0 frames, in its local device's "
                                   "(00:0B:3B:20:00:01)"),
                  std::string::npos)
            << text(reply);
    }
    // A group address is never learned as the local device either.
    wire.raw = {hp10Entry(multicast, 0x1A, 0x02)};
    ASSERT_TRUE(service.nextFrame(handle, message));
    EXPECT_EQ(service.localHp10Device(handle), local);

    // Every full scan closes and reopens the captures; the query in the device's name follows
    // at once, before the device answered again.
    EXPECT_EQ(close(handle).status, ReplyStatus::Ok);
    const int reopened = openHandle("host1");
    EXPECT_EQ(wire.alsoAddressedTo.back(), (std::pair<int, std::optional<Mac>>{reopened, local}));
    EXPECT_EQ(send(reopened, hp10Entry(local, 0x1A, 0x80)).status, ReplyStatus::Ok);

    ASSERT_EQ(wire.sent().size(), 4u);
    for (const auto& frame : wire.sent()) EXPECT_EQ(frame.port, 1);
}

// However fast the caller asks, frames leave at most a burst at once and then at the bound's
// rate: a burst the programs send passes untouched, a flood is paced (never refused).
TEST_F(Service, SendsAtABoundedRate) {
    VirtualClock clock;
    ScopedClock clockScope(clock);
    list();
    const int handle = openHandle("host0");
    const Bytes frame = frameFrom(kHost0, 0x88E1, 60);
    for (uint32_t i = 0; i < kSendBurstFrames; ++i)
        ASSERT_EQ(send(handle, frame).status, ReplyStatus::Ok);
    EXPECT_EQ(clock.sleptMs(), 0u) << "a burst waits for nothing";
    // One more second's worth of frames takes that second.
    for (uint32_t i = 0; i < kSendFramesPerSecond; ++i)
        ASSERT_EQ(send(handle, frame).status, ReplyStatus::Ok);
    EXPECT_GE(clock.sleptMs(), 1000u);
    EXPECT_LE(clock.sleptMs(), 1001u);
    EXPECT_EQ(wire.sent().size(), size_t(kSendBurstFrames + kSendFramesPerSecond));
    // After a quiet second a whole burst goes at once again.
    clock.sleepMs(1000);
    const uint64_t before = clock.sleptMs();
    for (uint32_t i = 0; i < kSendBurstFrames; ++i)
        ASSERT_EQ(send(handle, frame).status, ReplyStatus::Ok);
    EXPECT_EQ(clock.sleptMs(), before);
}

}  // namespace
}  // namespace corvel::capture
