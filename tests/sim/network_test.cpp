// SPDX-License-Identifier: MIT
#include "sim/network.h"

#include <gtest/gtest.h>

#include <functional>
#include <random>
#include <stdexcept>

#include "platform/bytes.h"
#include "sim/frame_bytes.h"
#include "tests/sim/sim_test_support.h"

namespace corvel::sim::test {
namespace {

const Mac kStation{0x00, 0xB0, 0x52, 0x00, 0x00, 0x11};
const Mac kOtherLocal{0x00, 0xB0, 0x52, 0x00, 0x01, 0x10};

// Port 0: an AV local device and one station. Port 1: another AV local device alone.
class NetworkTest : public ::testing::Test {
protected:
    void SetUp() override {
        h.net.addPort("plc0");
        h.net.setLocal(0, device(Family::Av, kLocal, "LQXD-7RKM-2FTA-9WPE"));
        h.net.addStation(0, device(Family::Av, kStation, "HZ4N-QK8V-MB2R-XT6C"));
        h.net.addPort("plc1");
        h.net.setLocal(1, device(Family::Av, kOtherLocal, "MA9F-TQ4W-ZK7B-PD3R"));
    }
    Device& at(const Mac& m) { return *h.net.device(m); }
    std::vector<Emitted> version(int port = 0, const Mac& to = kLocalManagement) {
        return h.exchange(port, avRequest(to, kHost, 0xA000));
    }

    Harness h;
};

TEST_F(NetworkTest, PortsAreSeparateWirings) {
    const auto out = h.exchange(1, avRequest(kBroadcastMac, kHost, 0xA000));
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0].port, 1);
    EXPECT_EQ(sourceOf(out[0].frame), kOtherLocal);
    EXPECT_TRUE(version(1, kStation).empty());
    EXPECT_TRUE(version(5).empty());
    EXPECT_TRUE(version(-1).empty());
}

TEST_F(NetworkTest, DevicesAreFoundByMacAndMacsAreUnique) {
    EXPECT_EQ(h.net.device(kStation)->family(), Family::Av);
    EXPECT_EQ(h.net.device(kOtherLocal), h.net.port(1).local.get());
    EXPECT_EQ(h.net.device(Mac{0x00, 0xB0, 0x52, 0x00, 0x00, 0x77}), nullptr);
    EXPECT_THROW(h.net.addStation(1, device(Family::Av, kStation, "X")), std::invalid_argument);
    EXPECT_EQ(h.net.port(1).stations.size(), 0u);
    EXPECT_EQ(h.net.portByInterface("plc1"), 1);
    EXPECT_EQ(h.net.portByInterface("eth0"), -1);
}

TEST_F(NetworkTest, InterfaceWithNothingCabledAnswersNothing) {
    const int port = h.net.addPort("plc2");
    EXPECT_TRUE(h.exchange(port, avRequest(kBroadcastMac, kHost, 0xA000)).empty());
    EXPECT_TRUE(
        h.exchange(port, hp10Request(kBroadcastMac, kHost, {0x01, 0x1A, 0xBB, 0x80})).empty());
}

TEST_F(NetworkTest, DevicesLogWhatTheyHeard) {
    h.nowMs = 4321;
    const Frame request = avRequest(kBroadcastMac, kHost, 0xA000);
    h.exchange(0, request);
    for (const Mac& m : {kLocal, kStation}) {
        ASSERT_EQ(at(m).received().size(), 1u);
        EXPECT_EQ(at(m).received()[0].frame, request);
        EXPECT_EQ(at(m).received()[0].port, 0);
        EXPECT_EQ(at(m).received()[0].atMs, 4321u);
    }
    EXPECT_TRUE(at(kOtherLocal).received().empty());
}

TEST_F(NetworkTest, RequestFromAGroupAddressOrOfAnotherKindIsIgnored) {
    EXPECT_TRUE(
        h.exchange(0, avRequest(kLocal, Mac{0x01, 0x00, 0x5E, 0x00, 0x00, 0x01}, 0xA000)).empty());
    EXPECT_TRUE(h.exchange(0, avRequest(kLocal, kHost, 0xA001)).empty());  // a confirmation
    EXPECT_TRUE(h.exchange(0, avRequest(kLocal, kHost, 0xA063)).empty());  // a response
    EXPECT_TRUE(h.exchange(0, avRequest(kLocal, kHost, 0xA034)).empty());  // not served
    Frame otherOui = avRequest(kLocal, kHost, 0xA000);
    otherOui[19] = 0x53;
    EXPECT_TRUE(h.exchange(0, otherOui).empty());
    Frame otherVersion = avRequest(kLocal, kHost, 0xA000);
    otherVersion[14] = 0x01;
    EXPECT_TRUE(h.exchange(0, otherVersion).empty());
    // An AV local device does not speak HomePlug 1.0.
    EXPECT_TRUE(h.exchange(0, hp10Request(kBroadcastMac, kHost, {0x01, 0x07, 0x00})).empty());
}

// One fault, set on the local device or on its port, seen on a version request.
TEST_F(NetworkTest, FaultsShapeTheAnswers) {
    const Frame plain = version().at(0).frame;
    struct Case {
        const char* name;
        Faults faults;
        // The frames expected, in order; the answer is the last one.
        std::function<void(const std::vector<Emitted>&)> check;
    };
    auto only = [](uint32_t delay, const Frame& answer) {
        return [delay, answer](const std::vector<Emitted>& out) {
            ASSERT_EQ(out.size(), 1u);
            EXPECT_EQ(out[0].delayMs, delay);
            EXPECT_EQ(out[0].frame, answer);
        };
    };
    Frame failed = plain;
    failed[20] = 0x30;
    std::vector<Case> cases;
    cases.push_back({"none", Faults{}, only(0, plain)});
    Faults f;
    f.silent = true;
    cases.push_back({"silent", f, [](const auto& out) { EXPECT_TRUE(out.empty()); }});
    f = Faults{};
    f.offline = true;
    cases.push_back({"offline", f, [](const auto& out) { EXPECT_TRUE(out.empty()); }});
    f = Faults{};
    f.latencyMs = 40;
    cases.push_back({"latency", f, only(40, plain)});
    f = Faults{};
    f.latencyByType = {{0xA001, 5}, {0xA025, 900}};
    cases.push_back({"latency of the version confirmation's type", f, only(5, plain)});
    f.latencyMs = 40;
    cases.push_back({"both latencies", f, only(45, plain)});
    f = Faults{};
    f.latencyByType = {{0xA025, 900}, {0x01, 900}};
    cases.push_back({"latency of other types", f, only(0, plain)});
    f = Faults{};
    f.avStatus = 0x30;
    cases.push_back({"failure status", f, only(0, failed)});
    f = Faults{};
    f.truncateTo = 30;
    cases.push_back({"truncated", f, only(0, Frame(plain.begin(), plain.begin() + 30))});
    f = Faults{};
    f.indications = 2;
    const Frame indication = padded(
        cat({mac(kHost), mac(kLocal), {0x88, 0xE1, 0x00, 0x62, 0xA0, 0x00, 0xB0, 0x52}}), 60);
    cases.push_back({"indications", f, [&plain, indication](const auto& out) {
                         ASSERT_EQ(out.size(), 3u);
                         EXPECT_EQ(out[0].frame, indication);
                         EXPECT_EQ(out[1].frame, indication);
                         EXPECT_EQ(out[2].frame, plain);
                     }});
    f = Faults{};
    f.unrelated = {{UnrelatedFrame::Kind::Ipv4, 0},
                   {UnrelatedFrame::Kind::Av, 0xA039},
                   {UnrelatedFrame::Kind::Hp10, 0x21}};
    cases.push_back({"unrelated frames", f, [&plain](const auto& out) {
                         ASSERT_EQ(out.size(), 4u);
                         for (const Emitted& e : out) {
                             EXPECT_EQ(destinationOf(e.frame), kHost);
                             EXPECT_EQ(sourceOf(e.frame), kLocal);
                             EXPECT_GE(e.frame.size(), 60u);
                         }
                         const Frame& ip = out[0].frame;
                         EXPECT_EQ(get16be(&ip[12]), 0x0800);
                         EXPECT_EQ(ip[14], 0x45);
                         uint32_t sum = 0;
                         for (size_t i = 14; i < 34; i += 2) sum += get16be(&ip[i]);
                         while (sum > 0xFFFF) sum = (sum & 0xFFFF) + (sum >> 16);
                         EXPECT_EQ(sum, 0xFFFFu);  // a valid header checksum
                         EXPECT_EQ(Frame(out[1].frame.begin() + 12, out[1].frame.begin() + 20),
                                   (Frame{0x88, 0xE1, 0x00, 0x39, 0xA0, 0x00, 0xB0, 0x52}));
                         EXPECT_EQ(Frame(out[2].frame.begin() + 12, out[2].frame.begin() + 17),
                                   (Frame{0x88, 0x7B, 0x01, 0x21, 0x00}));
                         EXPECT_EQ(out[3].frame, plain);
                     }});
    f = Faults{};
    f.unrelated = {{UnrelatedFrame::Kind::Ipv4, 0}};
    f.burst = {64, {UnrelatedFrame::Kind::Hp10, 0x21}};
    f.latencyMs = 7;
    cases.push_back({"burst after the unrelated frames", f, [&plain](const auto& out) {
                         ASSERT_EQ(out.size(), 66u);
                         EXPECT_EQ(get16be(&out[0].frame[12]), 0x0800);
                         for (size_t i = 1; i <= 64; ++i) {
                             SCOPED_TRACE(i);
                             EXPECT_EQ(destinationOf(out[i].frame), kHost);
                             EXPECT_EQ(sourceOf(out[i].frame), kLocal);
                             EXPECT_EQ(Frame(out[i].frame.begin() + 12, out[i].frame.begin() + 17),
                                       (Frame{0x88, 0x7B, 0x01, 0x21, 0x00}));
                         }
                         EXPECT_EQ(out[65].frame, plain);
                         // All at once, with the answer they are queued ahead of.
                         for (const Emitted& e : out) EXPECT_EQ(e.delayMs, 7u);
                     }});

    for (bool onPort : {false, true}) {
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(c.name) + (onPort ? " on the port" : " on the device"));
            Faults& target = onPort ? h.net.port(0).faults : at(kLocal).profile.faults;
            target = c.faults;
            c.check(version());
            target = Faults{};
        }
    }
}

// What another host on the segment sends in names not its own, around the real answers.
TEST_F(NetworkTest, SpoofingFaultsSurroundTheAnswers) {
    const Mac spoofer{0x02, 0x00, 0x00, 0x00, 0x77, 0x77};
    const Frame plain = version().at(0).frame;
    auto mmtypeOf = [](const Frame& f) { return get16le(&f[15]); };
    auto isForgedVersion = [&](const Emitted& e, const Mac& from) {
        return sourceOf(e.frame) == from && destinationOf(e.frame) == kHost &&
               mmtypeOf(e.frame) == 0xA001 && e.frame[21] == 1 &&
               std::string(reinterpret_cast<const char*>(&e.frame[23])) == kForgedVersionText;
    };
    for (bool onPort : {false, true}) {
        SCOPED_TRACE(onPort ? "on the port" : "on the device");
        Faults& target = onPort ? h.net.port(0).faults : at(kLocal).profile.faults;

        target = Faults{};
        target.forgeVersion = true;
        // The local-management address may be answered by anyone: the forgery comes after.
        auto out = version();
        ASSERT_EQ(out.size(), 2u);
        EXPECT_EQ(out[0].frame, plain);
        EXPECT_TRUE(isForgedVersion(out[1], kDefaultSpoofMac));
        // A request to the device's own address: the forgery comes first.
        target.spoofFrom = spoofer;
        out = version(0, kLocal);
        ASSERT_EQ(out.size(), 2u);
        EXPECT_TRUE(isForgedVersion(out[0], spoofer));
        EXPECT_EQ(sourceOf(out[1].frame), kLocal);
        // Other confirmations are left alone.
        EXPECT_EQ(h.exchange(0, avRequest(kLocal, kHost, 0xA038)).size(), 1u);

        target = Faults{};
        target.spoofNetworkInfo = true;
        out = h.exchange(0, avRequest(kLocal, kHost, 0xA038));
        ASSERT_EQ(out.size(), 2u);
        const Frame& spoofed = out[0].frame;
        EXPECT_EQ(sourceOf(spoofed), kDefaultSpoofMac);
        EXPECT_EQ(mmtypeOf(spoofed), 0xA039);
        EXPECT_EQ(spoofed[38], 1);  // one station: the spoofer itself
        EXPECT_EQ(macAt(&spoofed[39]), kDefaultSpoofMac);
        EXPECT_EQ(sourceOf(out[1].frame), kLocal);
        EXPECT_EQ(out[1].frame[38], 1);  // the real list: the station
        EXPECT_EQ(macAt(&out[1].frame[39]), kStation);
        EXPECT_EQ(version().size(), 1u);
        target = Faults{};
    }
}

// The copies carry the host addresses the network has seen requests from, every port's in turn
// with the answering port's first; a copy of an answer a device sent to itself goes from the
// host address to itself.
TEST_F(NetworkTest, HostSourceBurstCopiesTheAnswerInTheHostsNames) {
    const Mac host1{0x02, 0x00, 0x00, 0x00, 0x00, 0x02};
    h.net.port(0).faults.hostSourceBurst = 3;
    // No host address learnt yet on any port but this request's own.
    auto out = version();
    ASSERT_EQ(out.size(), 4u);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(sourceOf(out[size_t(i)].frame), kHost);
        EXPECT_EQ(Frame(out[size_t(i)].frame.begin() + 12, out[size_t(i)].frame.end()),
                  Frame(out[3].frame.begin() + 12, out[3].frame.end()));
    }
    h.exchange(1, avRequest(kBroadcastMac, host1, 0xA000));
    out = version();
    ASSERT_EQ(out.size(), 4u);
    EXPECT_EQ(sourceOf(out[0].frame), kHost);
    EXPECT_EQ(sourceOf(out[1].frame), host1);
    EXPECT_EQ(sourceOf(out[2].frame), kHost);
    EXPECT_EQ(sourceOf(out[3].frame), kLocal);
    // A request in the local device's own name: it answers itself, the copies go host to host.
    out = h.exchange(0, avRequest(kBroadcastMac, kLocal, 0xA000));
    ASSERT_GE(out.size(), 4u);
    EXPECT_EQ(destinationOf(out[0].frame), kHost);
    EXPECT_EQ(sourceOf(out[0].frame), kHost);
    EXPECT_EQ(destinationOf(out[3].frame), kLocal);
    EXPECT_EQ(sourceOf(out[3].frame), kLocal);
}

TEST_F(NetworkTest, NoiseStreamKeepsItsPaceFromTheLocalDeviceToBroadcast) {
    EXPECT_EQ(h.net.emitDueNoise(1000), UINT64_MAX);  // no port has a stream
    h.net.port(1).noise = {10, {UnrelatedFrame::Kind::Av, 0xA035}};
    const struct {
        uint64_t now;
        size_t frames;
        uint64_t next;
    } calls[] = {
        {1000, 1, 1010},  // the first frame at once
        {1005, 0, 1010},  // not due yet
        {1010, 1, 1020},
        {1047, 1, 1057},  // late: one frame, not the three missed, and the pace from now
    };
    for (const auto& c : calls) {
        SCOPED_TRACE(c.now);
        h.out.clear();
        EXPECT_EQ(h.net.emitDueNoise(c.now), c.next);
        ASSERT_EQ(h.out.size(), c.frames);
        for (const Emitted& e : h.out) {
            EXPECT_EQ(e.port, 1);
            EXPECT_EQ(e.delayMs, 0u);
            EXPECT_EQ(sourceOf(e.frame), kOtherLocal);
            EXPECT_EQ(destinationOf(e.frame), kBroadcastMac);
            EXPECT_EQ(get16le(&e.frame[15]), 0xA035);
        }
    }
}

TEST_F(NetworkTest, DeviceAndPortFaultsCombine) {
    at(kLocal).profile.faults.latencyMs = 40;
    h.net.port(0).faults.latencyMs = 25;
    at(kLocal).profile.faults.truncateTo = 50;
    h.net.port(0).faults.truncateTo = 70;
    const auto out = version();
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0].delayMs, 65u);
    EXPECT_EQ(out[0].frame.size(), 50u);
}

TEST_F(NetworkTest, ADevicesFaultsAreItsOwn) {
    at(kStation).profile.faults.silent = true;
    const auto out = h.exchange(0, avRequest(kBroadcastMac, kHost, 0xA000));
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(sourceOf(out[0].frame), kLocal);
}

TEST_F(NetworkTest, SilentLocalDeviceStillBridges) {
    at(kLocal).profile.faults.silent = true;
    EXPECT_TRUE(version().empty());
    EXPECT_EQ(version(0, kStation).size(), 1u);
    at(kLocal).profile.faults = Faults{};
    at(kLocal).profile.faults.offline = true;
    EXPECT_TRUE(version(0, kStation).empty());
}

TEST_F(NetworkTest, ForcedFailureStatusCarriesNothingOut) {
    at(kLocal).profile.faults.avStatus = 0x30;
    const Frame setKey =
        avRequest(kLocal, kHost, 0xA050,
                  cat({{0x01}, key(deriveNMK("Office")), {0x0F}, mac(kLocal), zeros(16)}));
    EXPECT_EQ(h.exchange(0, setKey).at(0).frame[20], 0x30);
    EXPECT_EQ(at(kLocal).nmk(), publicAvKey());
    const Frame read = avRequest(kLocal, kHost, 0xA024, {0x02, 0x00, 0x00, 0x04, 0, 0, 0, 0});
    const Frame answer = h.exchange(0, read).at(0).frame;
    EXPECT_EQ(answer[20], 0x30);
    EXPECT_EQ(get16le(&answer[26]), 0);
    EXPECT_EQ(answer.size(), 60u);
}

// Every request the host sends, in full; the length below which a device must ignore it.
struct Request {
    const char* name;
    int port;
    Frame frame;
    size_t needed;
};

std::vector<Request> everyRequest() {
    const Mac plainLocal{0x00, 0x0B, 0x3B, 0x00, 0x02, 0x10};
    const Mac turboLocal{0x00, 0x0B, 0x3B, 0x00, 0x01, 0x10};
    // Keys a device already has, so that no request changes anything.
    const Key8 nek = publicHp10Key();
    const Key8 stationDek = deriveHP10Key("CQ3V-HN8T-WK5D-PJ2M");
    return {
        {"AV version", 0, avRequest(kLocalManagement, kHost, 0xA000), 20},
        {"AV network information", 0, avRequest(kLocal, kHost, 0xA038), 20},
        {"AV configuration block", 0, avRequest(kLocal, kHost, 0xA058), 20},
        {"AV module read", 0,
         avRequest(kLocal, kHost, 0xA024, {0x02, 0x00, 0x00, 0x04, 0, 0, 0, 0}), 28},
        {"AV set key", 0,
         avRequest(kLocal, kHost, 0xA050,
                   cat({{0x01}, key(publicAvKey()), {0x0F}, mac(kLocal), zeros(16)})),
         60},
        {"local query", 2, hp10Request(kBroadcastMac, kHost, {0x01, 0x1A, 0xBB, 0x80}, 38), 18},
        {"parameter request", 2, hp10Request(kBroadcastMac, kHost, {0x01, 0x19, 0x0F, 0x10}, 32),
         18},
        {"statistics request", 2, hp10Request(kBroadcastMac, kHost, {0x01, 0x07, 0x00}, 17), 17},
        {"version query", 3,
         hp10Request(kBroadcastMac, kHost, {0x01, 0x02, 0x05, 0x00, 0x04, 0x87, 16, 0}, 35), 21},
        {"Turbo statistics", 3,
         hp10Request(turboLocal, kHost, {0x01, 0x02, 0x05, 0x00, 0x04, 0x87, 24, 0}, 35), 21},
        {"read firmware text", 3, hp10Request(turboLocal, kHost, {0x01, 0x12, 0x01, 0x20}, 272),
         18},
        {"read network key", 3, hp10Request(turboLocal, kHost, {0x01, 0x12, 0x01, 0x21}, 272), 18},
        {"set key", 3,
         hp10Request(turboLocal, kHost, cat({{0x01, 0x04, 0x09, 0x01}, key(nek)}), 35), 26},
        {"set key with parameters", 2,
         hp10Request(kBroadcastMac, kHost,
                     cat({{0x02, 0x04, 0x09, 0x01}, key(nek), {0x1F, 0x03, 0x40, 0x00, 0x01}}), 31),
         26},
        {"parameter request in the local device's name", 2,
         hp10Request(kBroadcastMac, plainLocal, {0x01, 0x19, 0x0F, 0x00}, 32), 18},
        {"encrypted set key", 3,
         hp10Request(kBroadcastMac, kHost,
                     cat({{0x01, 0x14, 0x0A, 0x01, 0x00},
                          key(stationDek),
                          {0x88, 0x7B, 0x01, 0x04, 0x09, 0x01},
                          key(nek)}),
                     41),
         41},
    };
}

class HostileInput : public NetworkTest {
protected:
    void SetUp() override {
        NetworkTest::SetUp();
        h.net.addPort("plc2");
        h.net.setLocal(2, device(Family::HomePlug10, Mac{0x00, 0x0B, 0x3B, 0x00, 0x02, 0x10},
                                 "DM4R-KX7P-QB2T-WN8F"));
        h.net.addStation(2, device(Family::HomePlug10, Mac{0x00, 0x0B, 0x3B, 0x00, 0x02, 0x11},
                                   "VH3L-ZC9K-PT5Q-MR2W"));
        h.net.addPort("plc3");
        h.net.setLocal(3, device(Family::Turbo, Mac{0x00, 0x0B, 0x3B, 0x00, 0x01, 0x10},
                                 "TX7K-MB4Q-ZR2W-LN9C"));
        h.net.addStation(3, device(Family::Turbo, Mac{0x00, 0x0B, 0x3B, 0x00, 0x01, 0x11},
                                   "CQ3V-HN8T-WK5D-PJ2M"));
    }
};

// Each request cut at every length, in a buffer of exactly that size (so that a read past its
// end is a heap overflow the sanitizer build reports): short ones get no answer, long enough ones
// are answered, and every answer goes back to the request's source.
TEST_F(HostileInput, TruncatedRequestsAreIgnoredUntilTheirFieldsAreThere) {
    for (const Request& r : everyRequest()) {
        ASSERT_FALSE(h.exchange(r.port, r.frame).empty()) << r.name;
        for (size_t length = 0; length <= r.frame.size(); ++length) {
            const Frame cut(r.frame.begin(), r.frame.begin() + long(length));
            const auto out = h.exchange(r.port, cut);
            EXPECT_EQ(!out.empty(), length >= r.needed) << r.name << " cut to " << length;
            for (const Emitted& e : out)
                EXPECT_EQ(destinationOf(e.frame), sourceOf(r.frame)) << r.name;
        }
    }
}

TEST_F(HostileInput, RandomFramesFromAFixedSeed) {
    std::mt19937 random(20240117);
    auto byte = [&random] { return uint8_t(random() & 0xFF); };
    const std::vector<Request> requests = everyRequest();
    const Mac targets[] = {kBroadcastMac,
                           kLocal,
                           kStation,
                           kLocalManagement,
                           Mac{0x00, 0x0B, 0x3B, 0x00, 0x02, 0x10},
                           Mac{0x00, 0x0B, 0x3B, 0x00, 0x01, 0x11}};
    size_t answered = 0;
    for (int i = 0; i < 20000; ++i) {
        // Start from a real request half the time, so that mutations reach deep into parsing.
        Frame f;
        int port = int(random() % 4);
        if (random() % 2 == 0) {
            const Request& r = requests[random() % requests.size()];
            f = r.frame;
            port = r.port;
            for (int flips = 1 + int(random() % 4); flips > 0; --flips)
                f[14 + random() % (f.size() - 14)] = byte();
        } else {
            f.resize(random() % 120);
            for (uint8_t& b : f) b = byte();
            if (f.size() >= 14) {
                const Mac& to = targets[random() % std::size(targets)];
                std::copy(to.begin(), to.end(), f.begin());
                f[6] = 0x02;
                put16be(&f[12], random() % 2 == 0 ? 0x88E1 : 0x887B);
            }
        }
        f.resize(random() % 3 == 0 ? random() % (f.size() + 1) : f.size());
        f.shrink_to_fit();
        const auto out = h.exchange(port, f);
        answered += out.empty() ? 0 : 1;
        for (const Emitted& e : out) {
            ASSERT_GE(e.frame.size(), 60u);
            EXPECT_EQ(destinationOf(e.frame), sourceOf(f));
        }
    }
    EXPECT_GT(answered, 1000u) << answered;  // the mutations did reach the devices
}

}  // namespace
}  // namespace corvel::sim::test
