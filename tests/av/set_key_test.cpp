// SPDX-License-Identifier: MIT
#include "av/set_key.h"

#include <gtest/gtest.h>

#include <optional>

#include "tests/av/av_wire_fixture.h"

namespace corvel {
namespace {

using namespace corvel::test;

const NetworkKey kNmk{0x50, 0xD3, 0xE4, 0x93, 0x3F, 0x85, 0x5B, 0x70,
                      0x40, 0x78, 0x4D, 0xF8, 0x15, 0xAA, 0x8D, 0xB7};
const NetworkKey kDak{0x68, 0x9F, 0x07, 0x4B, 0x8B, 0x02, 0x75, 0xA2,
                      0x71, 0x0B, 0x0B, 0x57, 0x79, 0xAD, 0x16, 0x30};
// The adapter record may know another address than the station table; the set-key requests go
// to the station table's local device.
const Mac kAdapterLocal{0x00, 0xB0, 0x52, 0x00, 0x00, 0x99};

class SetKey : public AvWireTest {
protected:
    void SetUp() override {
        AvWireTest::SetUp();
        addHosts({kHost0});
        copyMac(core.stationTables[0].localMac, kLocalDevice.data());
        copyMac(core.adapters[0].localMac, kAdapterLocal.data());
    }
};

TEST_F(SetKey, LocalRequestCarriesTheKeyForTheDeviceItself) {
    sendLocalSetKey(kNmk);
    ASSERT_EQ(wire.sent().size(), 1u);
    // clang-format off
    const Bytes expected = {
        0x00, 0xB0, 0x52, 0x00, 0x00, 0x42,  // the station table's local device
        0x02, 0x00, 0x00, 0x00, 0x00, 0x10,  // the host interface
        0x88, 0xE1, 0x00, 0x50, 0xA0, 0x00, 0xB0, 0x52,
        0x01,                                // key type: NMK
        0x50, 0xD3, 0xE4, 0x93, 0x3F, 0x85, 0x5B, 0x70,
        0x40, 0x78, 0x4D, 0xF8, 0x15, 0xAA, 0x8D, 0xB7,
        0x0F,                                // PEKS: the receiving device itself
        0x00, 0xB0, 0x52, 0x00, 0x00, 0x42,  // RDA
        0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,  // no DAK
        0, 0, 0, 0,
    };
    // clang-format on
    EXPECT_EQ(wire.sent()[0].bytes, expected);
    EXPECT_EQ(wire.sent()[0].port, 0);
}

TEST_F(SetKey, LocalResultIsFourOnlyForAnAcceptedConfirmation) {
    const struct {
        const char* name;
        std::optional<Bytes> answer;
        int expected;
    } cases[] = {
        {"status 0", statusConfirm(0xA051, kHost0, kLocalDevice, 0), kSetKeyAvConfirmed},
        {"refused", statusConfirm(0xA051, kHost0, kLocalDevice, 1), kSetKeyFailed},
        {"silence", std::nullopt, kSetKeyFailed},
        // A stray module-commit confirmation says nothing about the key.
        {"commit confirmation", statusConfirm(0xA029, kHost0, kLocalDevice, 0), kSetKeyFailed},
    };
    for (const auto& c : cases) {
        respond([&c](int, const Bytes&) -> std::vector<Bytes> {
            if (!c.answer) return {};
            return {*c.answer};
        });
        const uint64_t before = clock.tickCount();
        EXPECT_EQ(sendLocalSetKey(kNmk), c.expected) << c.name;
        const uint64_t elapsed = clock.tickCount() - before;
        // A confirmation ends the wait at once; without one the whole window is spent.
        if (c.expected == kSetKeyAvConfirmed) {
            EXPECT_LT(elapsed, 10u) << c.name;
        } else {
            EXPECT_GE(elapsed, 100u) << c.name;
        }
    }
}

TEST_F(SetKey, RemoteRequestIsBuiltForTheLocalDeviceToForwardAndNotSent) {
    const Mac rda = stationMac(5);
    const Mac source{0x02, 0x00, 0x00, 0x00, 0x00, 0x77};
    AvRequestBuffer frame{};
    frame.fill(0xCC);
    ASSERT_EQ(buildRemoteSetKey(frame, source, rda, kNmk, kDak), 64);
    // clang-format off
    const Bytes expected = {
        0x00, 0xB0, 0x52, 0x00, 0x00, 0x42,  // through the station table's local device
        0x02, 0x00, 0x00, 0x00, 0x00, 0x77,  // the given source
        0x88, 0xE1, 0x00, 0x50, 0xA0, 0x00, 0xB0, 0x52,
        0x01,
        0x50, 0xD3, 0xE4, 0x93, 0x3F, 0x85, 0x5B, 0x70,
        0x40, 0x78, 0x4D, 0xF8, 0x15, 0xAA, 0x8D, 0xB7,
        0x00,                                // PEKS: for the device named by RDA
        0x00, 0xB0, 0x52, 0x00, 0x01, 0x05,  // RDA
        0x68, 0x9F, 0x07, 0x4B, 0x8B, 0x02, 0x75, 0xA2,
        0x71, 0x0B, 0x0B, 0x57, 0x79, 0xAD, 0x16, 0x30,
        0, 0, 0, 0,
    };
    // clang-format on
    EXPECT_EQ(Bytes(frame.begin(), frame.begin() + 64), expected);
    EXPECT_EQ(frame[64], 0xCC) << "nothing is written past the frame";
    EXPECT_TRUE(wire.sent().empty());
}

}  // namespace
}  // namespace corvel
