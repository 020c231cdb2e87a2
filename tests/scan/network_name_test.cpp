// SPDX-License-Identifier: MIT
#include "scan/network_name.h"

#include <gtest/gtest.h>

#include <cstring>
#include <optional>
#include <string>

#include "scan/full_scan.h"
#include "platform/text.h"
#include "tests/scan/scan_sim_fixture.h"

namespace corvel::test {
namespace {

// ---------------------------------------------------------------------------------------------
// The public keys

TEST(PublicKeys, TheThreeHomePlug10FormsAreTheDefaultKeyAsDevicesReportIt) {
    const auto& forms = publicHp10KeyForms();
    const Key8& nek = publicHp10Key();
    EXPECT_EQ(forms[0], nek);
    EXPECT_EQ(forms[1], (Key8{0x01, nek[0], nek[1], nek[2], nek[3], nek[4], nek[5], nek[6]}));
    // The constant: key select 1 and the second form's key bytes without their parity bits.
    EXPECT_EQ(forms[2][0], 0x01);
    for (size_t i = 1; i < 8; ++i) EXPECT_EQ(forms[2][i], forms[1][i] & 0xFE) << i;
    EXPECT_NE(forms[2], forms[1]);
}

TEST(PublicKeys, AreRecognisedByFamilyAndOnlyWhole) {
    std::array<uint8_t, 16> avHalf{};
    std::copy_n(publicAvKey().begin(), 8, avHalf.begin());
    avHalf[15] = 0x55;
    Key8 flipped = publicHp10KeyForms()[2];
    flipped[7] ^= 0x02;
    std::array<uint8_t, 16> hp10AsAv{};
    std::copy_n(publicHp10Key().begin(), 8, hp10AsAv.begin());
    const auto privateNmk = deriveNMK("Office");
    const auto privateNek = deriveHP10Key("Office");

    const struct {
        const char* what;
        NetworkFamily family;
        const uint8_t* key;
        bool isPublic;
    } cases[] = {
        {"AV public NMK", NetworkFamily::Av, publicAvKey().data(), true},
        {"AV key equal in its first 8 bytes only", NetworkFamily::Av, avHalf.data(), false},
        {"1.0 key as an AV key", NetworkFamily::Av, hp10AsAv.data(), false},
        {"AV private NMK", NetworkFamily::Av, privateNmk.data(), false},
        {"1.0 form 1", NetworkFamily::HomePlug10, publicHp10KeyForms()[0].data(), true},
        {"1.0 form 2", NetworkFamily::HomePlug10, publicHp10KeyForms()[1].data(), true},
        {"1.0 form 3", NetworkFamily::HomePlug10, publicHp10KeyForms()[2].data(), true},
        {"Turbo form 1", NetworkFamily::Turbo, publicHp10KeyForms()[0].data(), true},
        {"Turbo form 3", NetworkFamily::Turbo, publicHp10KeyForms()[2].data(), true},
        {"form 3 with one key bit changed", NetworkFamily::HomePlug10, flipped.data(), false},
        {"1.0 private NEK", NetworkFamily::HomePlug10, privateNek.data(), false},
    };
    for (const auto& c : cases) EXPECT_EQ(isPublicKey(c.family, c.key), c.isPublic) << c.what;
}

// ---------------------------------------------------------------------------------------------
// Naming rules, with an AV local device on the simulated network. Keys are given by the
// network name they derive from ("HomePlugAV" is the public key).

const Mac kRemote{0x00, 0xB0, 0x52, 0x00, 0x00, 0x44};

struct NamingCase {
    const char* name;
    const char* deviceKey;
    const char* localName;  // the local device's record before the scan; nullptr: none
    const char* localKey;
    const char* otherName;  // another record of the list; nullptr: none
    const char* otherKey;
    bool pending;  // networkNamePending, with "Garden" in the station table
    bool keepNameOnce;
    const char* networkName;  // avNetworkName afterwards ("Before" = untouched)
    const char* recordName;
    const char* recordKey;
    bool keepNameOnceAfter;
};

class NetworkNaming : public ScanSim, public ::testing::WithParamInterface<NamingCase> {};

void giveRecord(int record, const char* name, const char* keyName) {
    copyText(core.devices[record - 1].networkName, name);
    const Key16 key = deriveNMK(keyName);
    std::memcpy(core.devices[record - 1].networkKey, key.data(), 16);
}

TEST_P(NetworkNaming, FollowsTheRecordsTheKeyAndTheFlags) {
    const NamingCase& c = GetParam();
    DeviceConfig local = deviceConfig(Family::Av, kAvLocal);
    local.nmk = deriveNMK(c.deviceKey);
    addPort(local);
    attach();

    int localRecord = 0;
    if (c.otherName != nullptr)
        giveRecord(appendDevice(kRemote.data(), "Remote"), c.otherName, c.otherKey);
    if (c.localName != nullptr) {
        localRecord = appendDevice(kAvLocal.data(), "Here");
        giveRecord(localRecord, c.localName, c.localKey);
    }
    const int countBefore = core.deviceCount;
    copyText(core.avNetworkName, "Before");
    copyText(core.stationTables[0].networkName, "Garden");
    core.networkNamePending = c.pending;
    core.keepNameOnce = c.keepNameOnce;

    ASSERT_TRUE(fullScan());
    if (localRecord == 0) {
        ASSERT_EQ(core.deviceCount, countBefore + 1);
        localRecord = core.deviceCount;
    } else {
        EXPECT_EQ(core.deviceCount, countBefore);
    }
    const DeviceRecord& record = core.devices[localRecord - 1];
    EXPECT_STREQ(core.avNetworkName, c.networkName);
    EXPECT_STREQ(core.stationTables[0].networkName, c.networkName);
    EXPECT_STREQ(record.networkName, c.recordName);
    EXPECT_EQ(std::memcmp(record.networkKey, deriveNMK(c.recordKey).data(), 16), 0);
    EXPECT_EQ(std::memcmp(core.avNetworkKey, local.nmk.data(), 16), 0);
    EXPECT_EQ(+core.networkNamePending, 0);
    EXPECT_EQ(+core.keepNameOnce, c.keepNameOnceAfter ? 1 : 0);
    if (c.otherName != nullptr) {
        EXPECT_STREQ(core.devices[0].networkName, c.otherName);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Rules, NetworkNaming,
    ::testing::Values(
        // a. A record new in this scan.
        NamingCase{"NewOnThePublicKey", "HomePlugAV", nullptr, nullptr, nullptr, nullptr, false,
                   false, "HomePlugAV", "HomePlugAV", "HomePlugAV", false},
        NamingCase{"NewOnAKeyNobodyKnows", "Office", nullptr, nullptr, nullptr, nullptr, false,
                   false, "Unknown Networkname", "Unknown Networkname", "Office", false},
        NamingCase{"NewOnAKeyAnotherRecordKnows", "Office", nullptr, nullptr, "Office", "Office",
                   false, false, "Office", "Office", "Office", false},
        // b. A known record on a private key.
        NamingCase{"KnownOnItsOwnKey", "Office", "Office", "Office", nullptr, nullptr, false, true,
                   "Office", "Office", "Office", true},
        NamingCase{"KnownOnAKeyAnotherRecordKnows", "Office", "Lab", "Lab", "Office", "Office",
                   false, false, "Office", "Office", "Office", false},
        NamingCase{"KnownOnAKeyNobodyKnowsJustAfterANameWasSet", "Office", "Lab", "Lab", nullptr,
                   nullptr, false, true, "Before", "Lab", "Lab", false},
        NamingCase{"KnownOnAKeyNobodyKnows", "Office", "Lab", "Lab", nullptr, nullptr, false, false,
                   "Unknown Networkname", "Unknown Networkname", "Lab", false},
        // c. A known record on the public key: name and key follow.
        NamingCase{"KnownOnThePublicKey", "HomePlugAV", "Office", "Office", nullptr, nullptr, false,
                   false, "HomePlugAV", "HomePlugAV", "HomePlugAV", false},
        // A name the user just set arrives with the key it derives.
        NamingCase{"PendingNameOnAKnownRecord", "Garden", "Lab", "Lab", nullptr, nullptr, true,
                   false, "Garden", "Garden", "Garden", false},
        NamingCase{"PendingNameOnANewRecord", "Garden", nullptr, nullptr, nullptr, nullptr, true,
                   false, "Garden", "Garden", "Garden", false},
        NamingCase{"PendingNameOnThePublicKey", "HomePlugAV", "Lab", "Lab", nullptr, nullptr, true,
                   false, "HomePlugAV", "HomePlugAV", "HomePlugAV", false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(ScanSim, AnUnreadableKeyLeavesTheNameTheRecordAndAPendingNameAsTheyWere) {
    DeviceConfig local = deviceConfig(Family::Av, kAvLocal);
    local.nmk = deriveNMK("Lab");
    // Every module-read confirmation carries a failure status: the PIB never arrives.
    local.profile.faults.avStatus = 1;
    addPort(local);
    attach();
    const int record = appendDevice(kAvLocal.data(), "Here");
    giveRecord(record, "Office", "Office");
    copyText(core.avNetworkName, "Office");
    const Key16 office = deriveNMK("Office");
    std::memcpy(core.avNetworkKey, office.data(), 16);
    copyText(core.stationTables[0].networkName, "Garden");
    core.networkNamePending = 1;

    ASSERT_TRUE(fullScan());
    EXPECT_EQ(core.adapters[0].localPresent, 1);
    EXPECT_STREQ(core.avNetworkName, "Office");
    EXPECT_EQ(std::memcmp(core.avNetworkKey, office.data(), 16), 0);
    EXPECT_STREQ(core.devices[0].networkName, "Office");
    EXPECT_EQ(std::memcmp(core.devices[0].networkKey, office.data(), 16), 0);
    EXPECT_EQ(+core.networkNamePending, 1);
    EXPECT_STREQ(core.stationTables[0].networkName, "Office");
}

// ---------------------------------------------------------------------------------------------
// Public and private networks of each family, through the scan cycle

struct RecognitionCase {
    const char* name;
    Family family;
    Mac local;
    std::optional<Key16> nmk;
    std::optional<Key8> nek;
    const char* networkName;
};

Key8 parityClearPublicNek() {
    const Key8& form = publicHp10KeyForms()[2];
    // The device's NEK whose key select and first seven bytes the parameter block reports.
    return Key8{form[1], form[2], form[3], form[4], form[5], form[6], form[7], 0x4C};
}

class PublicNetwork : public ScanSim, public ::testing::WithParamInterface<RecognitionCase> {};

TEST_P(PublicNetwork, IsToldFromAPrivateOne) {
    const RecognitionCase& c = GetParam();
    DeviceConfig local = deviceConfig(c.family, c.local);
    if (c.nmk) local.nmk = *c.nmk;
    if (c.nek) local.nek = *c.nek;
    addPort(local);
    attach();
    ASSERT_TRUE(startScan(1, 3, true));
    ticks(4);  // a 1.0 device's key is known from the second full scan on
    ASSERT_EQ(fullScanTicks.size(), 1u);
    EXPECT_STREQ(core.stationTables[0].networkName, c.networkName);
    EXPECT_STREQ(c.family == Family::Av ? core.avNetworkName : core.hp10NetworkName, c.networkName);
    ASSERT_EQ(core.deviceCount, 1);
    EXPECT_STREQ(core.devices[0].networkName, c.networkName);
}

INSTANTIATE_TEST_SUITE_P(
    Families, PublicNetwork,
    ::testing::Values(RecognitionCase{"AvPublic", Family::Av, kAvLocal, std::nullopt, std::nullopt,
                                      "HomePlugAV"},
                      RecognitionCase{"AvPrivate", Family::Av, kAvLocal, deriveNMK("Office"),
                                      std::nullopt, "Unknown Networkname"},
                      RecognitionCase{"TurboPublic", Family::Turbo, kTurboLocal, std::nullopt,
                                      std::nullopt, "HomePlug"},
                      RecognitionCase{"TurboPrivate", Family::Turbo, kTurboLocal, std::nullopt,
                                      deriveHP10Key("Office"), "Unknown Networkname"},
                      RecognitionCase{"PlainPublicParameterForm", Family::HomePlug10, kHp10Local,
                                      std::nullopt, std::nullopt, "HomePlug"},
                      RecognitionCase{"PlainPublicParityClearForm", Family::HomePlug10, kHp10Local,
                                      std::nullopt, parityClearPublicNek(), "HomePlug"},
                      RecognitionCase{"PlainPrivate", Family::HomePlug10, kHp10Local, std::nullopt,
                                      deriveHP10Key("Office"), "Unknown Networkname"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(ScanSim, KeepNameOnceIsForAvNetworksOnly) {
    DeviceConfig local = deviceConfig(Family::Turbo, kTurboLocal);
    local.nek = deriveHP10Key("Office");
    addPort(local);
    attach();
    const int record = appendDevice(kTurboLocal.data(), "Here");
    copyText(core.devices[record - 1].networkName, "Lab");
    const Key8 lab = deriveHP10Key("Lab");
    std::memcpy(core.devices[record - 1].networkKey, lab.data(), 8);
    core.keepNameOnce = 1;

    ASSERT_TRUE(fullScan());
    EXPECT_STREQ(core.hp10NetworkName, "Unknown Networkname");
    EXPECT_STREQ(core.devices[0].networkName, "Unknown Networkname");
    EXPECT_EQ(std::memcmp(core.devices[0].networkKey, lab.data(), 8), 0);
    EXPECT_EQ(+core.keepNameOnce, 1);
}

}  // namespace
}  // namespace corvel::test
