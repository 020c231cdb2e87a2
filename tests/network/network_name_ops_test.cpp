// SPDX-License-Identifier: MIT
#include "network/network_name_ops.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <ostream>
#include <string>
#include <vector>

#include "scan/full_scan.h"
#include "network/hp10_key_frame.h"
#include "tests/network/membership_sim_fixture.h"

namespace corvel::test {
namespace {

const std::string kNetworkName = "GardenShed";
const std::string kAllAdded = "Information: All Devices are successfully added to the network.";
const std::string kSomeNotAdded = "Attention!: Some Devices could not be added to your network.";
const std::string kConfirmTitle = "Network Name Setting ";

bool holdsNetworkKey(const sim::Device& d, const std::string& name) {
    return d.family() == Family::Av ? d.nmk() == deriveNMK(name) : d.nek() == deriveHP10Key(name);
}

// ---------------------------------------------------------------------------------------------
// Set All Devices: which devices are tried, what they record, and the one summary

enum class Entry { none, right, wrong, rightBehindCheck, rightBehindNot };

struct SummaryCase {
    const char* name;
    bool localRecord;             // the local device's own record stays in the list
    std::vector<Entry> stations;  // one station per entry, with that password stored
    std::vector<std::string> summary;
};

struct FamilySummaryCase {
    Family family;
    SummaryCase c;
};

void PrintTo(const FamilySummaryCase& p, std::ostream* out) {
    *out << familyLabel(p.family) << "_" << p.c.name;
}

class SetAllSummary : public MembershipSim,
                      public ::testing::WithParamInterface<FamilySummaryCase> {};

TEST_P(SetAllSummary, CountsTheLocalDeviceAndEveryDeviceThatTookTheKey) {
    const Family family = GetParam().family;
    const SummaryCase& c = GetParam().c;
    std::vector<DeviceConfig> stations;
    for (size_t i = 0; i < c.stations.size(); ++i)
        stations.push_back(deviceConfig(family, stationMacOf(family, int(i) + 1),
                                        i == 0 ? kStationPassword : kOtherPassword));
    addPort(deviceConfig(family, localMacOf(family)), stations);
    start();
    if (!c.localRecord) removeDevice(findDeviceByMac(localMacOf(family).data()));
    for (size_t i = 0; i < c.stations.size(); ++i) {
        const Mac mac = stationMacOf(family, int(i) + 1);
        const std::string right = i == 0 ? kStationPassword : kOtherPassword;
        switch (c.stations[i]) {
            case Entry::none:
                enterPassword(mac, "");
                break;
            case Entry::right:
                enterPassword(mac, right);
                break;
            case Entry::wrong:
                enterPassword(mac, kWrongPassword);
                break;
            case Entry::rightBehindCheck:
                enterPassword(mac, "CHECK " + right);
                break;
            case Entry::rightBehindNot:
                enterPassword(mac, "Not " + right);
                break;
        }
    }
    const int before = core.deviceCount;
    std::vector<std::string> namesBefore;
    for (size_t i = 0; i < c.stations.size(); ++i) {
        const int k = findDeviceByMac(stationMacOf(family, int(i) + 1).data());
        namesBefore.push_back(k != 0 ? stringOf(core.devices[k - 1].networkName) : "");
    }

    const NetworkNameRun run = applyNetworkName(kNetworkName, NetworkNameScope::allDevices);

    ASSERT_EQ(run.outcome, NetworkNameRun::Outcome::applied);
    EXPECT_EQ(run.all.devices, before);
    EXPECT_EQ(messagesWithout(kConfirmTitle), c.summary);
    EXPECT_TRUE(holdsNetworkKey(*net.port(0).local, kNetworkName));
    for (size_t i = 0; i < c.stations.size(); ++i) {
        const Mac mac = stationMacOf(family, int(i) + 1);
        const bool takes = c.stations[i] == Entry::right ||
                           c.stations[i] == Entry::rightBehindCheck ||
                           c.stations[i] == Entry::rightBehindNot;
        SCOPED_TRACE(i);
        EXPECT_EQ(holdsNetworkKey(device(mac), kNetworkName), takes);
        const int k = findDeviceByMac(mac.data());
        ASSERT_NE(k, 0);
        const DeviceRecord& record = core.devices[k - 1];
        // A device that did not take the key keeps the network it was on.
        EXPECT_EQ(stringOf(record.networkName), takes ? kNetworkName : namesBefore[i]);
    }
}

const SummaryCase kSummaryCases[] = {
    {"NoKnownDevices", false, {}, {kAllAdded}},
    {"EveryDeviceTakesTheKey", true, {Entry::right, Entry::right}, {kAllAdded}},
    {"OneRefuses", true, {Entry::right, Entry::wrong}, {kSomeNotAdded}},
    // The local device counts as added; a device without a password is never tried.
    {"OnlyTheLocalDeviceAndNoPasswords", true, {Entry::none}, {kSomeNotAdded}},
    {"EveryRemoteFailsWithoutTheLocalRecord", false, {Entry::wrong}, {}},
    // The mark of an earlier check is not part of the password.
    {"PasswordsBehindCheckMarks",
     true,
     {Entry::rightBehindCheck, Entry::rightBehindNot},
     {kAllAdded}},
};

std::vector<FamilySummaryCase> summaryCases() {
    std::vector<FamilySummaryCase> out;
    for (Family family : {Family::Av, Family::Turbo, Family::HomePlug10})
        for (const SummaryCase& c : kSummaryCases) out.push_back({family, c});
    return out;
}

INSTANTIATE_TEST_SUITE_P(Families, SetAllSummary, ::testing::ValuesIn(summaryCases()),
                         [](const ::testing::TestParamInfo<FamilySummaryCase>& info) {
                             return std::string(familyLabel(info.param.family)) + "_" +
                                    info.param.c.name;
                         });

// ---------------------------------------------------------------------------------------------
// What the scans make of the network afterwards

class EveryFamily : public MembershipSim, public ::testing::WithParamInterface<Family> {};

std::string familyName(const ::testing::TestParamInfo<Family>& info) {
    return familyLabel(info.param);
}

TEST_P(EveryFamily, SetAllDevicesMakesANamedPrivateNetworkAndTheDefaultNameMakesItPublicAgain) {
    const Family family = GetParam();
    addPort(deviceConfig(family, localMacOf(family)),
            {deviceConfig(family, stationMacOf(family), kStationPassword)});
    start();
    ASSERT_EQ(networkType(), "Public");
    enterPassword(stationMacOf(family), kStationPassword);

    applyNetworkName(kNetworkName, NetworkNameScope::allDevices);

    EXPECT_EQ(messagesWithout(kConfirmTitle), std::vector<std::string>{kAllAdded});
    EXPECT_TRUE(holdsNetworkKey(*net.port(0).local, kNetworkName));
    EXPECT_TRUE(holdsNetworkKey(device(stationMacOf(family)), kNetworkName));
    runCycles(2);
    EXPECT_EQ(networkName(), kNetworkName);
    EXPECT_EQ(networkType(), "Private");
    // The local device's record learnt the name with the key the scan read from the device.
    const int local = findDeviceByMac(localMacOf(family).data());
    ASSERT_NE(local, 0);
    EXPECT_EQ(stringOf(core.devices[local - 1].networkName), kNetworkName);

    // A local device the list does not know yet is named by the key the station's record kept.
    removeDevice(local);
    runCycles(1);
    EXPECT_EQ(networkName(), kNetworkName);

    recorder.messages.clear();
    const std::string publicName(defaultNetworkName());
    EXPECT_EQ(publicName, family == Family::Av ? "HomePlugAV" : "HomePlug");
    const NetworkNameRun run = applyNetworkName(publicName, NetworkNameScope::localDeviceOnly);

    EXPECT_NE(run.localResult, 0);
    EXPECT_EQ(recorder.texts(),
              std::vector<std::string>{"Information: Local network set to '" + publicName + "'"});
    EXPECT_TRUE(family == Family::Av ? net.port(0).local->nmk() == publicAvKey()
                                     : net.port(0).local->nek() == publicHp10Key());
    runCycles(1);
    EXPECT_EQ(networkName(), publicName);
    EXPECT_EQ(networkType(), "Public");
}

TEST_P(EveryFamily, LocalSetThatIsNotConfirmedIsReportedAsAProblem) {
    const Family family = GetParam();
    addPort(deviceConfig(family, localMacOf(family)));
    start();
    net.port(0).local->profile.faults.silent = true;

    const NetworkNameRun run = applyNetworkName(kNetworkName, NetworkNameScope::localDeviceOnly);

    EXPECT_EQ(run.localResult, 0);
    const std::vector<std::string> texts = recorder.texts();
    ASSERT_FALSE(texts.empty());
    EXPECT_EQ(texts[0], "Problem Occurred: Unable to complete the command.");
}

TEST_P(EveryFamily, SetAllDevicesIsNoSuccessWhenTheLocalDeviceDidNotTakeTheKey) {
    const Family family = GetParam();
    addPort(deviceConfig(family, localMacOf(family)));
    start();
    net.port(0).local->profile.faults.silent = true;

    const NetworkNameRun run = applyNetworkName(kNetworkName, NetworkNameScope::allDevices);

    EXPECT_EQ(run.all.added, run.all.devices);
    EXPECT_EQ(run.all.localResult, 0);
    const std::vector<std::string> texts = messagesWithout(kConfirmTitle);
    ASSERT_FALSE(texts.empty());
    EXPECT_EQ(texts[0], "Problem Occurred: Unable to complete the command.");
    EXPECT_EQ(std::count(texts.begin(), texts.end(), kAllAdded), 0);
}

INSTANTIATE_TEST_SUITE_P(Families, EveryFamily,
                         ::testing::Values(Family::Av, Family::Turbo, Family::HomePlug10),
                         familyName);

TEST_F(MembershipSim, AvLocalDeviceOnlyWaitsFourSecondsBeforeItTellsSuccess) {
    addPort(deviceConfig(Family::Av, kAvLocal));
    start();
    const size_t mark = wire.sent().size();

    applyNetworkName(kNetworkName, NetworkNameScope::localDeviceOnly);

    const auto keys = avSetKeys(mark);
    ASSERT_EQ(keys.size(), 1u);
    EXPECT_EQ(keys[0].peks, 0x0F);
    EXPECT_EQ(keys[0].rda, kAvLocal);
    EXPECT_EQ(keys[0].nmk, deriveNMK(kNetworkName));
    EXPECT_EQ(keys[0].dak, Key16{});
    const uint64_t toldAt = recorder.timeOf("Local network set to '" + kNetworkName + "'");
    ASSERT_NE(toldAt, 0u);
    EXPECT_GE(toldAt - keys[0].atMs, 4000u);
    EXPECT_EQ(networkType(), "Private");
}

TEST_F(MembershipSim, CancelledConfirmationSendsNothingAndLeavesTheNetworkItsName) {
    addPort(deviceConfig(Family::Av, kAvLocal),
            {deviceConfig(Family::Av, kAvStation, kStationPassword)});
    start();
    enterPassword(kAvStation, kStationPassword);
    applyNetworkName("OldNetwork", NetworkNameScope::allDevices);
    runCycles(1);
    ASSERT_EQ(networkName(), "OldNetwork");
    recorder.messages.clear();
    recorder.answers = {Button::Cancel};
    std::string storedWhenAsked;
    Key16 keyWhenAsked{};
    recorder.onQuestion = [&] {
        storedWhenAsked = networkName();
        std::memcpy(keyWhenAsked.data(), currentStationTable().networkKey, 16);
    };
    const size_t mark = wire.sent().size();

    const NetworkNameRun run = applyNetworkName(kNetworkName, NetworkNameScope::allDevices);

    EXPECT_EQ(run.outcome, NetworkNameRun::Outcome::cancelled);
    EXPECT_EQ(recorder.texts(),
              std::vector<std::string>{
                  kConfirmTitle +
                  ": Setting the network name on the devices whose password has been entered\n"
                  "This may take few seconds....Click on 'Ok' button."});
    // The name and its key were stored before the question; nothing was sent after it.
    EXPECT_EQ(storedWhenAsked, kNetworkName);
    EXPECT_EQ(keyWhenAsked, deriveNMK(kNetworkName));
    EXPECT_TRUE(avSetKeys(mark).empty());
    EXPECT_EQ(net.port(0).local->nmk(), deriveNMK("OldNetwork"));
    // The scan names the network by the key the device holds: the old name, not the new one.
    runCycles(1);
    EXPECT_EQ(networkName(), "OldNetwork");
    const int local = findDeviceByMac(kAvLocal.data());
    EXPECT_EQ(stringOf(core.devices[local - 1].networkName), "OldNetwork");
    EXPECT_EQ(+core.networkNamePending, 0);
}

TEST_F(MembershipSim, RefusedNamesChangeNothing) {
    const struct {
        const char* name;
        std::string text;
    } cases[] = {
        {"three characters", "abc"},
        {"twenty-five characters", std::string(25, 'n')},
        {"a tab", "Garden\tShed"},
        {"a byte above 0x7F", "Garden\xE9Shed"},
    };
    addPort(deviceConfig(Family::Av, kAvLocal));
    start();
    const std::string before = networkName();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        recorder.messages.clear();
        const size_t mark = wire.sent().size();
        for (NetworkNameScope scope :
             {NetworkNameScope::localDeviceOnly, NetworkNameScope::allDevices}) {
            EXPECT_EQ(applyNetworkName(c.text, scope).outcome, NetworkNameRun::Outcome::refused);
        }
        EXPECT_EQ(recorder.texts(),
                  std::vector<std::string>(2,
                                           "Invalid Entry: The Network Name Entered is "
                                           "Invalid.\nPlease Enter a Network Name between 4 "
                                           "and 24 characters"));
        EXPECT_EQ(wire.sent().size(), mark);
        EXPECT_EQ(networkName(), before);
        EXPECT_EQ(+core.networkNamePending, 0);
        EXPECT_EQ(+core.scanPaused, 0);
    }
}

}  // namespace
}  // namespace corvel::test
