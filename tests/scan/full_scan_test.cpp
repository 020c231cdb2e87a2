// SPDX-License-Identifier: MIT
#include "scan/full_scan.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "scan/network_name.h"
#include "platform/text.h"
#include "store/database.h"
#include "tests/scan/scan_sim_fixture.h"

namespace corvel::test {
namespace {

using Frames = std::vector<std::string>;

// ---------------------------------------------------------------------------------------------
// Discovery of the local device, family by family

struct DiscoveryCase {
    const char* name;
    Family family;
    Mac local;
    int32_t kind;
    bool upgrade;
    // The frames of the whole full scan, or its first ones when `prefixOnly`.
    Frames frames;
    bool prefixOnly;
};

class Discovery : public ScanSim, public ::testing::WithParamInterface<DiscoveryCase> {};

TEST_P(Discovery, FindsTheLocalDeviceAndEntersItInTheDeviceList) {
    const DiscoveryCase& c = GetParam();
    DeviceConfig station = deviceConfig(c.family, Mac{c.local[0], c.local[1], c.local[2], 0, 7, 1});
    addPort(deviceConfig(c.family, c.local), {station});
    attach();

    ASSERT_TRUE(fullScan());
    const AdapterRecord& adapter = core.adapters[0];
    EXPECT_EQ(adapter.localPresent, 1);
    EXPECT_EQ(adapter.localKind, c.kind);
    EXPECT_EQ(macOf(adapter.localMac), c.local);
    EXPECT_EQ(core.localIsAv, c.family == Family::Av ? 1 : 0);
    EXPECT_EQ(core.localIsTurbo, c.family == Family::Turbo ? 1 : 0);
    EXPECT_EQ(upgradeCalls, c.upgrade ? std::vector<bool>{true} : std::vector<bool>{});

    ASSERT_EQ(core.deviceCount, 1);
    EXPECT_STREQ(core.devices[0].name, "Device 1");
    EXPECT_EQ(macOf(core.devices[0].mac), c.local);

    Frames frames = describeSentFrom(0);
    if (c.prefixOnly && frames.size() > c.frames.size()) frames.resize(c.frames.size());
    EXPECT_EQ(frames, c.frames);
}

INSTANTIATE_TEST_SUITE_P(
    Families, Discovery,
    ::testing::Values(
        // The AV probe and the version read, then the PIB read for the key: no 1.0 frame.
        DiscoveryCase{"Av",
                      Family::Av,
                      kAvLocal,
                      kKindAv,
                      true,
                      {"A000 host>mgmt", "A000 host>mgmt", "A024 host>local"},
                      true},
        // AV probe unanswered; the version query finds the Turbo device, which gives its
        // firmware text and its key.
        DiscoveryCase{
            "Turbo",
            Family::Turbo,
            kTurboLocal,
            kKindTurbo,
            true,
            {"A000 host>mgmt", "vendor/16 host>bcast", "read/20 host>local", "read/21 host>local"},
            false},
        // Neither AV nor Turbo: the local query, first in the interface's name; its answer
        // names the device, which is asked for its parameters and then polled in its own name.
        DiscoveryCase{"HomePlug10",
                      Family::HomePlug10,
                      kHp10Local,
                      kKindHomePlug10,
                      false,
                      {"A000 host>mgmt", "vendor/16 host>bcast", "local query host>bcast",
                       "params/00 host>bcast", "params/00 host>bcast", "params/00 host>bcast",
                       "local query local>bcast"},
                      true}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(ScanSim, TheTurboDeviceGivesItsTextsAndItsKey) {
    addPort(deviceConfig(Family::Turbo, kTurboLocal));
    device(kTurboLocal).profile.turboFirmware = "TURBO-MAC-4-0-1-5-0012";
    attach();
    ASSERT_TRUE(fullScan());
    EXPECT_STREQ(core.turboFirmwareText, "TURBO-MAC-4-0-1-5-0012");
    EXPECT_EQ(+core.turboFirmwareTooOld, 1);
    EXPECT_STREQ(core.turboMacVersion, "Version 1.4");
    EXPECT_STREQ(core.turboVendorText, "Veltrix");
    EXPECT_EQ(std::memcmp(core.hp10NetworkKey, publicHp10Key().data(), 8), 0);
}

TEST_F(ScanSim, ADeviceOnlyOnAnotherInterfaceLeavesTheSelectedOneWithoutARecord) {
    addPort(deviceConfig(Family::HomePlug10, kHp10Local),
            {deviceConfig(Family::HomePlug10, kHp10Station1)});
    addPort(deviceConfig(Family::Av, kAvLocal), {deviceConfig(Family::Av, kAvStation1)});
    attach();

    for (const int selected : {0, 1}) {
        SCOPED_TRACE(selected);
        resetCoreState();
        core.currentAdapter = selected;
        ASSERT_TRUE(fullScan());
        EXPECT_EQ(core.currentAdapter, selected);
        EXPECT_EQ(core.localIsAv, selected);
        // AV is found first, so the 1.0 device on plc0 is not looked for.
        EXPECT_EQ(core.adapters[0].localPresent, 0);
        EXPECT_EQ(core.adapters[1].localPresent, 1);
        EXPECT_EQ(+core.stationTables[0].localPresent, 0);
        EXPECT_EQ(+core.stationTables[1].localPresent, 1);
        EXPECT_EQ(+core.stationTables[1].localKind, kKindAv);
        EXPECT_EQ(macOf(core.stationTables[1].localMac), kAvLocal);
        EXPECT_EQ(macOf(core.stationTables[1].hostMac), sim::memoryHostMac(1));
        EXPECT_EQ(macOf(core.stationTables[0].hostMac), sim::memoryHostMac(0));
        if (selected == 0) {
            // No record with an all-zero address for a device that is not there.
            EXPECT_EQ(core.deviceCount, 0);
        } else {
            ASSERT_EQ(core.deviceCount, 1);
            EXPECT_EQ(macOf(core.devices[0].mac), kAvLocal);
            EXPECT_STREQ(core.devices[0].networkName, "HomePlugAV");
            EXPECT_STREQ(core.stationTables[1].networkName, "HomePlugAV");
        }
    }
}

TEST_F(ScanSim, NothingAnsweringClearsTheStationsAndSaves) {
    net.addPort("plc0");  // nothing cabled
    attach();
    const Mac known{0x00, 0xB0, 0x52, 0, 0, 0x77};
    appendDevice(known.data(), "Attic");
    StationRecord& station = core.stationTables[0].stations[0];
    copyMac(station.mac, known.data());
    station.present = 1;
    station.rate.currentRate = 80;
    core.stationTables[0].localPresent = 1;

    EXPECT_FALSE(fullScan());
    EXPECT_TRUE(upgradeCalls.empty());
    EXPECT_EQ(+station.present, 0);
    EXPECT_EQ(+station.rate.currentRate, 0.0);
    EXPECT_EQ(+core.stationTables[0].localPresent, 0);
    EXPECT_EQ(macOf(core.stationTables[0].hostMac), sim::memoryHostMac(0));
    EXPECT_EQ(readBytes(databasePath()).size(), databaseFileSize(1));
    // AV probe, Turbo probe, then three local queries in the interface's name, four rounds
    // short of giving the device up.
    EXPECT_EQ(describeSentFrom(0),
              (Frames{"A000 host>mgmt", "vendor/16 host>bcast", "local query host>bcast",
                      "local query host>bcast", "local query host>bcast"}));
    EXPECT_EQ(+core.adapters[0].localMissCount, 1);
}

TEST_F(ScanSim, APlainDeviceWithoutItsParameterBlockEndsTheFullScanEarly) {
    addPort(deviceConfig(Family::HomePlug10, kHp10Local),
            {deviceConfig(Family::HomePlug10, kHp10Station1)});
    attach();
    StationTable& table = core.stationTables[0];
    copyText(table.networkName, "Stale");

    ASSERT_TRUE(startScan(2, 3, true));
    EXPECT_EQ(core.adapters[0].localPresent, 1);
    EXPECT_EQ(core.adapters[0].paramsValid, 1);
    EXPECT_EQ(+core.localKeyKnown, 0);
    ASSERT_EQ(core.deviceCount, 1);  // the device list was updated before the key
    EXPECT_EQ(macOf(core.devices[0].mac), kHp10Local);
    // ...but the station table copies were not.
    EXPECT_EQ(+table.localPresent, 0);
    EXPECT_FALSE(macIsSet(table.hostMac));
    EXPECT_STREQ(table.networkName, "Stale");
    EXPECT_STREQ(core.hp10NetworkName, "");

    // Phase 1 asks for the stored block; the next full scan has the key and names the network.
    ticks(7);
    ASSERT_EQ(fullScanTicks.size(), 1u);
    EXPECT_EQ(+core.localKeyKnown, 1);
    EXPECT_EQ(+table.localPresent, 1);
    EXPECT_EQ(macOf(table.localMac), kHp10Local);
    EXPECT_EQ(+table.localKind, kKindHomePlug10);
    EXPECT_STREQ(table.networkName, "HomePlug");
    EXPECT_EQ(std::memcmp(table.networkKey, publicHp10KeyForms()[1].data(), 8), 0);
    EXPECT_STREQ(core.devices[0].networkName, "HomePlug");
}

TEST_F(ScanSim, ADeviceAnsweredForRoundsIsGivenUpAfterAFourthSilentRound) {
    addPort(deviceConfig(Family::HomePlug10, kHp10Local));
    attach();
    ASSERT_TRUE(fullScan());
    device(kHp10Local).profile.faults.silent = true;
    // Each round starts with the device marked present by the last answer it gave.
    const struct {
        uint8_t missesBefore;
        int32_t presentAfter;
        uint8_t missesAfter;
    } rounds[] = {{0, 1, 1}, {1, 1, 2}, {2, 1, 3}, {3, 0, 0}};
    for (const auto& round : rounds) {
        SCOPED_TRACE(+round.missesBefore);
        core.adapters[0].localPresent = 1;
        core.adapters[0].localMissCount = round.missesBefore;
        EXPECT_EQ(pollLocalHp10(), round.presentAfter == 1);
        EXPECT_EQ(core.adapters[0].localPresent, round.presentAfter);
        EXPECT_EQ(+core.adapters[0].localMissCount, +round.missesAfter);
    }
}

TEST_F(ScanSim, SendLocalQueryFallsBackFromTheGivenSourceToTheDeviceToTheInterface) {
    addPort(deviceConfig(Family::HomePlug10, kHp10Local));
    attach();
    reopenInterfaces();
    const Mac given{0x02, 0x00, 0x00, 0x00, 0x00, 0x99};
    const struct {
        Mac source;
        Mac localMac;
        const char* frame;
    } cases[] = {{given, kHp10Local, "local query 02:00:00:00:00:99>bcast"},
                 {Mac{}, kHp10Local, "local query local>bcast"},
                 {Mac{}, Mac{}, "local query host>bcast"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.frame);
        copyMac(core.adapters[0].localMac, c.localMac.data());
        const size_t mark = wire.sent().size();
        EXPECT_TRUE(sendLocalQuery(0, c.source, kBroadcastMac));
        EXPECT_EQ(describeSentFrom(mark), Frames{c.frame});
    }
    std::memset(interfaceEntries[0].interfaceMac, 0, 6);
    const size_t mark = wire.sent().size();
    EXPECT_FALSE(sendLocalQuery(0, Mac{}, kBroadcastMac));
    EXPECT_FALSE(sendLocalQuery(5, kHp10Local, kBroadcastMac));
    EXPECT_EQ(wire.sent().size(), mark);
}

}  // namespace
}  // namespace corvel::test
