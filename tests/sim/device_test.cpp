// SPDX-License-Identifier: MIT
#include "sim/device.h"

#include <gtest/gtest.h>

#include <cctype>

#include "sim/pib.h"

namespace corvel::sim {
namespace {

const Mac kMac{0x00, 0x0B, 0x3B, 0x00, 0x00, 0x10};

DeviceConfig config(Family family, const std::string& password = "ABCD-EFGH-IJKL-MNOP") {
    DeviceConfig c;
    c.family = family;
    c.mac = kMac;
    c.password = password;
    return c;
}

std::vector<uint8_t> slice(const ParamBlock& b, size_t from, size_t to) {
    return std::vector<uint8_t>(b.begin() + long(from), b.begin() + long(to));
}

TEST(Device, AccessKeysDeriveFromThePasswordAsGiven) {
    const Device av(config(Family::Av));
    EXPECT_EQ(av.dak(), deriveDAK("ABCD-EFGH-IJKL-MNOP"));
    const Device hp10(config(Family::HomePlug10));
    EXPECT_EQ(hp10.dek(), deriveHP10Key("ABCD-EFGH-IJKL-MNOP"));
    EXPECT_EQ(hp10.selectZeroKey(), hp10.dek());
    // No normalisation: another case is another password.
    EXPECT_NE(Device(config(Family::Av, "abcd-efgh-ijkl-mnop")).dak(), av.dak());
}

TEST(Device, NmkChangeReachesThePib) {
    Device av(config(Family::Av));
    EXPECT_EQ(av.nmk(), publicAvKey());
    const Key16 nmk = deriveNMK("Office");
    av.setNmk(nmk);
    EXPECT_EQ(av.nmk(), nmk);
    EXPECT_TRUE(std::equal(nmk.begin(), nmk.end(), av.pib().begin() + kPibNmkOffset));
    EXPECT_TRUE(std::equal(kMac.begin(), kMac.end(), av.pib().begin() + kPibMacOffset));
}

TEST(Device, DefaultParameterBlocksCarryMacAndKeys) {
    const Device d(config(Family::HomePlug10));
    for (int copy : {1, 2}) {
        const ParamBlock& b = d.paramBlock(copy);
        EXPECT_EQ(slice(b, 0, 6), std::vector<uint8_t>(kMac.begin(), kMac.end()));
        EXPECT_EQ(slice(b, 6, 14), std::vector<uint8_t>(d.dek().begin(), d.dek().end()));
        EXPECT_EQ(b[14], 1);
        EXPECT_EQ(slice(b, 15, 23),
                  std::vector<uint8_t>(publicHp10Key().begin(), publicHp10Key().end()));
        EXPECT_EQ(slice(b, 23, 50), std::vector<uint8_t>(27, 0));
    }
}

TEST(Device, KeyChangesReachBothParameterCopies) {
    DeviceConfig c = config(Family::HomePlug10);
    ParamBlock stored{};
    stored.fill(0x11);
    ParamBlock working{};
    working.fill(0x22);
    c.storedParams = stored;
    c.workingParams = working;
    Device d(c);

    const Key8 nek = deriveHP10Key("Office");
    d.setNek(3, nek);
    Key8 zero{};
    zero.fill(0x5A);
    d.setSelectZeroKey(zero);
    d.setLocalParameters(0x41, 0x01, 0x07);
    EXPECT_EQ(d.keySelect(), 3);
    EXPECT_TRUE(d.forwardsUnderSelectZero());
    for (auto [copy, fill] : {std::pair{1, 0x11}, std::pair{2, 0x22}}) {
        const ParamBlock& b = d.paramBlock(copy);
        EXPECT_EQ(slice(b, 0, 6), std::vector<uint8_t>(6, uint8_t(fill))) << copy;
        EXPECT_EQ(slice(b, 6, 14), std::vector<uint8_t>(zero.begin(), zero.end())) << copy;
        EXPECT_EQ(b[14], 3) << copy;
        EXPECT_EQ(slice(b, 15, 23), std::vector<uint8_t>(nek.begin(), nek.end())) << copy;
        EXPECT_EQ(slice(b, 23, 26), (std::vector<uint8_t>{0x41, 0x01, 0x07})) << copy;
        EXPECT_EQ(slice(b, 26, 50), std::vector<uint8_t>(24, uint8_t(fill))) << copy;
    }
}

TEST(Device, GivenParameterBlocksGetTheDeviceKeys) {
    DeviceConfig c = config(Family::Turbo);
    ParamBlock stored{};
    stored.fill(0x33);
    c.storedParams = stored;
    const Device d(c);
    // The working copy follows the stored one; the key fields are the device's in both.
    for (int copy : {1, 2}) {
        EXPECT_EQ(d.paramBlock(copy)[5], 0x33);
        EXPECT_EQ(d.paramBlock(copy)[14], 1);
        EXPECT_EQ(slice(d.paramBlock(copy), 6, 14),
                  std::vector<uint8_t>(d.dek().begin(), d.dek().end()));
        EXPECT_EQ(d.paramBlock(copy)[24], 0x33);
    }
    EXPECT_TRUE(d.forwardsUnderSelectZero());  // 0x33 has bit 0 set
}

TEST(Device, NetworksFormByFamilyAndEqualKey) {
    auto make = [](Family f, const char* name, uint8_t last) {
        DeviceConfig c = config(f);
        c.mac[5] = last;
        c.nmk = deriveNMK(name);
        c.nek = deriveHP10Key(name);
        return Device(c);
    };
    struct Case {
        Family a;
        const char* keyA;
        Family b;
        const char* keyB;
        bool shared;
    };
    const Case cases[] = {
        {Family::Av, "Office", Family::Av, "Office", true},
        {Family::Av, "Office", Family::Av, "Home", false},
        {Family::Av, "Office", Family::HomePlug10, "Office", false},
        {Family::HomePlug10, "Office", Family::Turbo, "Office", true},
        {Family::Turbo, "Office", Family::Turbo, "Home", false},
    };
    for (const Case& c : cases) {
        const Device a = make(c.a, c.keyA, 1);
        const Device b = make(c.b, c.keyB, 2);
        EXPECT_EQ(a.sharesNetworkWith(b), c.shared) << familyName(c.a) << "/" << familyName(c.b);
        EXPECT_EQ(b.sharesNetworkWith(a), c.shared);
    }
}

TEST(Device, KindDefaultsToTheFamily) {
    EXPECT_EQ(Device(config(Family::HomePlug10)).kind(), 3);
    EXPECT_EQ(Device(config(Family::Turbo)).kind(), 2);
    DeviceConfig c = config(Family::HomePlug10);
    c.profile.kind = 1;
    EXPECT_EQ(Device(c).kind(), 1);
}

TEST(Device, AwayWhileRebootingOrOffline) {
    Device d(config(Family::Av));
    EXPECT_TRUE(d.isAvailable(0));
    d.rebootUntil(2000);
    EXPECT_FALSE(d.isAvailable(1999));
    EXPECT_TRUE(d.isAvailable(2000));
    d.profile.faults.offline = true;
    EXPECT_FALSE(d.isAvailable(5000));
}

TEST(Device, ReceivedLogKeepsTheLastRequests) {
    Device d(config(Family::Av));
    for (uint8_t i = 0; i < 70; ++i) {
        const uint8_t frame[2] = {i, 0};
        d.logReceived(0, frame, sizeof frame, i);
    }
    ASSERT_EQ(d.received().size(), 64u);
    EXPECT_EQ(d.received().front().frame[0], 6);
    EXPECT_EQ(d.received().back().atMs, 69u);
}

// XXXX-XXXX-XXXX-XXXX with upper-case letters, as printed on devices.
bool hasPrintedForm(const std::string& text) {
    if (text.size() != 19) return false;
    for (size_t i = 0; i < text.size(); ++i) {
        const bool dash = i % 5 == 4;
        if (dash ? text[i] != '-' : !std::isupper(static_cast<unsigned char>(text[i])))
            return false;
    }
    return true;
}

TEST(Device, DefaultPasswordsHaveThePrintedForm) {
    const Mac other{0x00, 0x0B, 0x3B, 0x00, 0x00, 0x11};
    EXPECT_TRUE(hasPrintedForm(defaultPassword(kMac))) << defaultPassword(kMac);
    EXPECT_FALSE(hasPrintedForm("ABCD-EFGH-IJKL-MNO1"));
    EXPECT_NE(defaultPassword(kMac), defaultPassword(other));
}

}  // namespace
}  // namespace corvel::sim
