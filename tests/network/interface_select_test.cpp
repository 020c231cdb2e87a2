// SPDX-License-Identifier: MIT
#include "network/interface_select.h"

#include <gtest/gtest.h>

#include <optional>

#include "network/key_target.h"
#include "network/local_key.h"
#include "tests/network/key_sim_fixture.h"

namespace corvel::test {
namespace {

// An AV local device on plc0 and a Turbo one on plc1.
class InterfaceSelect : public KeySim {
protected:
    void SetUp() override {
        KeySim::SetUp();
        addFamilyPort(Family::Av);
        addFamilyPort(Family::Turbo);
        start(0);
    }
};

TEST_F(InterfaceSelect, HostAddressPicksTheInterfaceAndItsFamily) {
    const Mac unknownHost{0x02, 0x00, 0x00, 0x00, 0x00, 0x7F};
    const struct {
        const char* name;
        int startAt;
        Mac address;
        bool presentOn1;
        bool selected;
        int current;
        int32_t isAv, isTurbo;
    } cases[] = {
        {"the Turbo interface", 0, sim::memoryHostMac(1), true, true, 1, 0, 1},
        {"back to the AV interface", 1, sim::memoryHostMac(0), true, true, 0, 1, 0},
        {"no interface has it", 1, unknownHost, true, false, 1, 0, 1},
        {"its local device is not present", 0, sim::memoryHostMac(1), false, false, 0, 1, 0},
        {"all-zero address", 0, Mac{}, true, false, 0, 1, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        select(c.startAt);
        core.adapters[1].localPresent = c.presentOn1;

        EXPECT_EQ(selectInterfaceByHostMac(c.address), c.selected);

        EXPECT_EQ(+core.currentAdapter, c.current);
        EXPECT_EQ(+core.localIsAv, c.isAv);
        EXPECT_EQ(+core.localIsTurbo, c.isTurbo);
    }
}

TEST_F(InterfaceSelect, SetLocalNekWithAHostAddressKeysThatInterfacesDevice) {
    const Key8 nek = deriveHP10Key(kNetworkName);

    EXPECT_EQ(setLocalNEK(sim::memoryHostMac(1), wide(nek)), kKeyHp10Confirmed);

    EXPECT_EQ(+core.currentAdapter, 1);
    EXPECT_EQ(device(kTurboLocal).nek(), nek);
    EXPECT_EQ(device(kAvLocal).nmk(), publicAvKey());
    ASSERT_EQ(wire.sent().size(), 1u);
    EXPECT_EQ(wire.sent()[0].port, 1);
    EXPECT_EQ(macAt(wire.sent()[0].bytes, 0), kTurboLocal);
}

TEST_F(InterfaceSelect, SetLocalNekWithAnUnknownHostAddressKeepsTheCurrentInterface) {
    const NetworkKey nmk = deriveNMK(kNetworkName);

    EXPECT_EQ(setLocalNEK(Mac{0x02, 0, 0, 0, 0, 0x7F}, nmk), kKeyAvConfirmed);

    EXPECT_EQ(+core.currentAdapter, 0);
    EXPECT_EQ(device(kAvLocal).nmk(), nmk);
    EXPECT_EQ(device(kTurboLocal).nek(), publicHp10Key());
}

}  // namespace
}  // namespace corvel::test
