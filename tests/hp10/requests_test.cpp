// SPDX-License-Identifier: MIT
#include "hp10/requests.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "hp10/queries.h"
#include "hp10_test_support.h"

namespace corvel::test {
namespace {

// Port 0 and 1 have addresses; port 2's could not be read. The selected interface is 1, whose
// local device is kLocal, so the sends that take no interface show whether they use it.
class Hp10Requests : public Hp10Wire {
protected:
    std::vector<Mac> hostMacs() const override { return {kHost, kHost1, Mac{}}; }
    void SetUp() override {
        Hp10Wire::SetUp();
        core.currentAdapter = 1;
        copyMac(core.adapters[1].localMac, kLocal.data());
    }
};

struct SendCase {
    std::string name;
    std::function<bool()> send;
    int port;
    Bytes expected;  // the whole frame as it goes on the wire, padding included
};

Bytes onWire(const Mac& destination, const Mac& source, const Bytes& fromMctrl, size_t length) {
    Bytes frame = concat(ethernetHeader(destination, source), fromMctrl);
    frame.resize(length, 0);
    return frame;
}

TEST_F(Hp10Requests, PutExactlyTheRequestBytesOnTheRightInterface) {
    const Bytes threeBytes{0xAA, 0xBB, 0xCC};
    const SendCase cases[] = {
        {"statistics request to broadcast",
         [] { return sendStatsRequest(0, kHost, kBroadcastMac); }, 0,
         onWire(kBroadcastMac, kHost, {0x01, 0x07, 0x00}, 60)},
        {"statistics request to a station", [] { return sendStatsRequest(0, kHost, kStationA); }, 0,
         onWire(kStationA, kHost, {0x01, 0x07, 0x00}, 60)},
        {"parameter request on port 1",
         [] { return sendParamRequest(1, kHost1, kBroadcastMac, 0x10); }, 1,
         onWire(kBroadcastMac, kHost1, {0x01, 0x19, 0x0F, 0x10}, 60)},
        // The stated MELEN 0xBB is far more than the frame holds; the device expects it so.
        {"local query in the local device's name",
         [] { return sendLocalQueryFrame(0, kLocal, kBroadcastMac); }, 0,
         onWire(kBroadcastMac, kLocal, {0x01, 0x1A, 0xBB, 0x80}, 60)},
        {"vendor request without data", [] { return sendVendorRequest(kLocal, 24); }, 1,
         onWire(kLocal, kHost1, {0x01, 0x02, 0x05, 0x00, 0x04, 0x87, 24, 0x00}, 60)},
        {"vendor request with three data bytes",
         [&] { return sendVendorRequest(kBroadcastMac, 0x30, threeBytes); }, 1,
         onWire(kBroadcastMac, kHost1, {0x01, 0x02, 0x07, 0x00, 0x04, 0x87, 0x30, 0xAA, 0xBB, 0xCC},
                60)},
        {"version query", [] { return sendVersionQuery(); }, 1,
         onWire(kBroadcastMac, kHost1, {0x01, 0x02, 0x05, 0x00, 0x04, 0x87, 16, 0x00}, 60)},
        {"Turbo statistics request", [] { return sendTurboStatsRequest(kLocal); }, 1,
         onWire(kLocal, kHost1, {0x01, 0x02, 0x05, 0x00, 0x04, 0x87, 24, 0x00}, 60)},
        {"firmware text read", [] { return sendReadRequest(0x20); }, 1,
         onWire(kLocal, kHost1, {0x01, 0x12, 0x01, 0x20}, 272)},
        {"network key read", [] { return sendReadRequest(0x21); }, 1,
         onWire(kLocal, kHost1, {0x01, 0x12, 0x01, 0x21}, 272)},
    };
    for (const SendCase& c : cases) {
        SCOPED_TRACE(c.name);
        wire.clearSent();
        EXPECT_TRUE(c.send());
        ASSERT_EQ(wire.sent().size(), 1u);
        EXPECT_EQ(wire.sent()[0].port, c.port);
        EXPECT_EQ(wire.sent()[0].bytes, c.expected);
    }
}

TEST_F(Hp10Requests, SendNothingWhileTheInterfaceAddressIsUnknown) {
    core.currentAdapter = 2;
    copyMac(core.adapters[2].localMac, kLocal.data());
    const std::pair<std::string, std::function<bool()>> cases[] = {
        {"vendor request", [] { return sendVendorRequest(kLocal, 24); }},
        {"version query", [] { return sendVersionQuery(); }},
        {"read request", [] { return sendReadRequest(0x21); }},
        {"Turbo statistics request", [] { return sendTurboStatsRequest(kLocal); }},
        {"Turbo version query", [] { return queryTurboVersion(); }},
    };
    for (const auto& [name, send] : cases) {
        SCOPED_TRACE(name);
        EXPECT_FALSE(send());
    }
    EXPECT_TRUE(wire.sent().empty());
}

TEST_F(Hp10Requests, VendorDataBeyondWhatMelenCanStateIsRefused) {
    const Bytes fits(251, 0x5A);
    const Bytes tooMuch(252, 0x5A);
    EXPECT_FALSE(sendVendorRequest(kLocal, 0x30, tooMuch));
    EXPECT_TRUE(wire.sent().empty());

    ASSERT_TRUE(sendVendorRequest(kLocal, 0x30, fits));
    ASSERT_EQ(wire.sent().size(), 1u);
    const Bytes& sent = wire.sent()[0].bytes;
    ASSERT_EQ(sent.size(), 272u);
    EXPECT_EQ(sent[16], 255);
    EXPECT_EQ(sent[271], 0x5A);
}

TEST_F(Hp10Requests, ReportAFrameThatCouldNotGoOut) {
    EXPECT_FALSE(sendStatsRequest(3, kHost, kBroadcastMac));  // no such interface
    EXPECT_FALSE(sendLocalQueryFrame(-1, kHost, kBroadcastMac));
    closeInterface(1);
    EXPECT_FALSE(sendVersionQuery());
    EXPECT_FALSE(sendParamRequest(1, kHost1, kBroadcastMac, 0));
    EXPECT_TRUE(wire.sent().empty());
}

}  // namespace
}  // namespace corvel::test
