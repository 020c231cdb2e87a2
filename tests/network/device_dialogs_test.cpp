// SPDX-License-Identifier: MIT
#include "network/device_dialogs.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "network/key_state.h"
#include "network/network_name_ops.h"
#include "store/database.h"
#include "tests/network/membership_sim_fixture.h"

namespace corvel::test {
namespace {

const std::string kInvalidText =
    "Attention!: The Device Password Entered is Invalid.\nPlease check it and try again.";

// ---------------------------------------------------------------------------------------------
// Set Device Password: the check and the form the record keeps

enum class Situation { rightPassword, wrongPassword, noHostAddress };

struct EntryCase {
    const char* name;
    Family family;
    Situation situation;
    int verification;
    std::string prefix;  // in front of the stored (upper-case) password
    std::vector<std::string> messages;
};

void PrintTo(const EntryCase& c, std::ostream* out) {
    *out << c.name;
}

class SetDevicePassword : public MembershipSim, public ::testing::WithParamInterface<EntryCase> {
protected:
    std::string databaseText() {
        std::ifstream in(databasePath(), std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }
};

TEST_P(SetDevicePassword, StoresThePasswordInTheFormOfTheOutcome) {
    const EntryCase& c = GetParam();
    const Mac station = stationMacOf(c.family);
    // The device is on another network: only a check that passes brings it onto this one.
    addPort(deviceConfig(c.family, localMacOf(c.family)),
            {onNetwork(deviceConfig(c.family, station, kStationPassword), "Elsewhere")});
    start();
    const int record = enterPassword(station, "");
    if (c.situation == Situation::noHostAddress) {
        std::fill(std::begin(interfaceEntries[0].interfaceMac),
                  std::end(interfaceEntries[0].interfaceMac), 0);
    }
    const std::string password =
        c.situation == Situation::wrongPassword ? kWrongPassword : kStationPassword;
    const size_t mark = wire.sent().size();

    // Typed in lower case: stored and used upper-cased.
    const PasswordEntry entry = enterDevicePassword(record, lowerCase(password));

    EXPECT_EQ(entry.outcome, DialogOutcome::checked);
    EXPECT_EQ(entry.verification, c.verification);
    EXPECT_EQ(entry.stored, c.prefix + password);
    EXPECT_EQ(stringOf(core.devices[record - 1].password), c.prefix + password);
    EXPECT_NE(databaseText().find(c.prefix + password), std::string::npos);
    EXPECT_EQ(recorder.texts(), c.messages);
    const sim::Device& d = device(station);
    const bool onLocalNetwork = c.family == Family::Av ? d.nmk() == net.port(0).local->nmk()
                                                       : d.nek() == net.port(0).local->nek();
    EXPECT_EQ(onLocalNetwork, c.verification == 1);
    if (c.situation == Situation::noHostAddress) {
        EXPECT_EQ(wire.sent().size(), mark);
    }
    EXPECT_FALSE(membershipKeyState().passwordCheckPending);
    EXPECT_EQ(+core.scanPaused, 0);
}

INSTANTIATE_TEST_SUITE_P(
    Outcomes, SetDevicePassword,
    ::testing::Values(
        EntryCase{"AvVerified", Family::Av, Situation::rightPassword, 1, "", {}},
        EntryCase{"AvRefused", Family::Av, Situation::wrongPassword, 0, "Not ", {kInvalidText}},
        EntryCase{"AvUnchecked", Family::Av, Situation::noHostAddress, -1, "CHECK ", {}},
        EntryCase{"TurboVerified",
                  Family::Turbo,
                  Situation::rightPassword,
                  1,
                  "",
                  {"Information: Password Verified as correct."}},
        EntryCase{
            "TurboRefused", Family::Turbo, Situation::wrongPassword, 0, "Not ", {kInvalidText}},
        EntryCase{"TurboUnchecked", Family::Turbo, Situation::noHostAddress, -1, "CHECK ", {}},
        EntryCase{"Hp10Verified",
                  Family::HomePlug10,
                  Situation::rightPassword,
                  1,
                  "",
                  {"Information: Password Verified as correct."}},
        EntryCase{
            "Hp10Refused", Family::HomePlug10, Situation::wrongPassword, 0, "Not ", {kInvalidText}},
        EntryCase{"Hp10Unchecked", Family::HomePlug10, Situation::noHostAddress, -1, "CHECK ", {}}),
    [](const ::testing::TestParamInfo<EntryCase>& info) { return std::string(info.param.name); });

class RefusedCheck : public MembershipSim, public ::testing::WithParamInterface<Family> {};

// The mark that makes a 1.0 / Turbo keying return to the saved key belongs to one check: left
// set by a refused check, it would send the next network name's devices the old key.
TEST_P(RefusedCheck, LeavesNoMarkForTheNextNetworkName) {
    const Family family = GetParam();
    const Mac station = stationMacOf(family);
    addPort(deviceConfig(family, localMacOf(family)),
            {deviceConfig(family, station, kStationPassword)});
    start();
    const int record = enterPassword(station, "");
    ASSERT_EQ(enterDevicePassword(record, kWrongPassword).verification, 0);
    copyText(core.devices[record - 1].password, kStationPassword);

    applyNetworkName("Attic", NetworkNameScope::allDevices);

    EXPECT_EQ(device(station).nek(), deriveHP10Key("Attic"));
    EXPECT_EQ(net.port(0).local->nek(), deriveHP10Key("Attic"));
}

INSTANTIATE_TEST_SUITE_P(Families, RefusedCheck,
                         ::testing::Values(Family::Turbo, Family::HomePlug10),
                         [](const ::testing::TestParamInfo<Family>& info) {
                             return std::string(familyLabel(info.param));
                         });

// ---------------------------------------------------------------------------------------------
// The entries refused before anything is sent

TEST_F(MembershipSim, PasswordEntriesRefusedBeforeTheCheck) {
    const std::string format =
        "Invalid Entry: The Device Password Format Entered is Invalid.\nPlease Enter a Password "
        "as a number and letter code,\nin groups of four, separated by dashes.";
    const struct {
        const char* typed;
        std::string message;
    } cases[] = {
        {"PASS-WORD-GOES-HERE", "Attention!: Please enter a Password."},
        {"QWERTYUIASDFGHJK", format},
        {"QWER_TYUI-ASDF-GHJK", format},
        {"QWER-TYUI-ASDF-GHJ", format},
        {"QWER-TYUI-ASDF-GHJKL", format},
    };
    addPort(deviceConfig(Family::Av, kAvLocal), {deviceConfig(Family::Av, kAvStation)});
    start();
    const int record = enterPassword(kAvStation, "Not " + kStationPassword);
    const size_t mark = wire.sent().size();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.typed);
        recorder.messages.clear();
        EXPECT_EQ(enterDevicePassword(record, c.typed).outcome, DialogOutcome::staysOpen);
        EXPECT_EQ(addDeviceToNetwork("Garage", c.typed), DialogOutcome::staysOpen);
        EXPECT_EQ(recorder.texts(), std::vector<std::string>(2, c.message));
    }
    EXPECT_EQ(wire.sent().size(), mark);
    EXPECT_EQ(stringOf(core.devices[record - 1].password), "Not " + kStationPassword);
    EXPECT_FALSE(pendingAdd().active);
}

TEST_F(MembershipSim, DeviceNamesRefusedBeforeTheAdd) {
    addPort(deviceConfig(Family::Av, kAvLocal));
    start();
    const std::string taken = stringOf(core.devices[0].name);
    const struct {
        std::string name;
        std::string message;
    } cases[] = {
        {"", "Attention!: Please enter another name."},
        {std::string(32, 'n'), "Attention!: Device Name should be less than 31 characters"},
        {taken, "Attention!: Please enter another name."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        recorder.messages.clear();
        EXPECT_EQ(addDeviceToNetwork(c.name, kStationPassword), DialogOutcome::staysOpen);
        EXPECT_EQ(recorder.texts(), std::vector<std::string>{c.message});
    }
}

TEST_F(MembershipSim, OldTurboFirmwareRefusesBothDialogsBeforeAnyCheck) {
    addPort(deviceConfig(Family::Turbo, kTurboLocal), {deviceConfig(Family::Turbo, kTurboStation)});
    start();
    const int record = enterPassword(kTurboStation, "");
    const std::string tail = ".\nThe present device has older FirmWare version.";

    core.turboFirmwareTooOld = 1;
    EXPECT_EQ(enterDevicePassword(record, kStationPassword).outcome, DialogOutcome::closed);
    EXPECT_EQ(+core.turboFirmwareTooOld, 0);
    core.turboFirmwareTooOld = 1;
    EXPECT_EQ(addDeviceToNetwork("Garage", kStationPassword), DialogOutcome::closed);
    EXPECT_EQ(+core.turboFirmwareTooOld, 0);

    EXPECT_EQ(recorder.texts(),
              (std::vector<std::string>{
                  "Attention!: Please upgrade the Device's FirmWare to 1.8 and then try to Enter "
                  "Password" +
                      tail,
                  "Attention!: Please upgrade the Device's FirmWare to 1.8 and then try to add the "
                  "device" +
                      tail}));
    EXPECT_EQ(stringOf(core.devices[record - 1].password), "");
    EXPECT_FALSE(pendingAdd().active);
}

TEST_F(MembershipSim, PasswordBoxOpensWithThePasswordBehindItsMarks) {
    const struct {
        std::string stored;
        std::string shown;
        std::string storedAfter;
    } cases[] = {
        {"CHECK Not " + kStationPassword, kStationPassword, kStationPassword},
        {"Not " + kStationPassword, kStationPassword, kStationPassword},
        {"CHECK " + kStationPassword, kStationPassword, kStationPassword},
        {kStationPassword, kStationPassword, kStationPassword},
        {"", "PASS-WORD-GOES-HERE", ""},
        // Only a leading mark is one.
        {"ABCD-Not -EFGH", "ABCD-Not -EFGH", "ABCD-Not -EFGH"},
    };
    const int record = appendDevice(kAvStation.data(), "Garage");
    for (const auto& c : cases) {
        SCOPED_TRACE(c.stored);
        copyText(core.devices[record - 1].password, c.stored);
        EXPECT_EQ(openPasswordEntry(record), c.shown);
        EXPECT_EQ(stringOf(core.devices[record - 1].password), c.storedAfter);
    }
    EXPECT_EQ(openPasswordEntry(record + 1), "");
}

}  // namespace
}  // namespace corvel::test
