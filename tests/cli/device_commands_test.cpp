// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "tests/cli/cli_run.h"
#include "core/tables.h"
#include "platform/text.h"
#include "store/data_directory.h"
#include "store/database.h"
#include "store/preferences.h"

// The device commands' argument handling and the refusals that come before any frame is sent;
// what they do on the wire is covered by the end-to-end tests.
namespace corvel {
namespace {

namespace fs = std::filesystem;

constexpr uint8_t kLocal[6] = {0x00, 0xB0, 0x52, 0x00, 0x00, 0x10};
constexpr uint8_t kStation[6] = {0x00, 0xB0, 0x52, 0x00, 0x00, 0x11};
constexpr uint8_t kOther[6] = {0x00, 0xB0, 0x52, 0x00, 0x00, 0x12};
const std::string kStationMac = "00:B0:52:00:00:11";
const std::string kOtherMac = "00:B0:52:00:00:12";

using test::CliRun;
using test::corvel;

// A data directory whose database lists the local device, a station with its password and
// one without.
class DeviceCommands : public ::testing::Test {
protected:
    void SetUp() override {
        dir = fs::temp_directory_path() / ("corvel-cli-devices-" + std::to_string(::getpid()));
        fs::remove_all(dir);
        fs::create_directories(dir);
        resetCoreState();
        loadPreferences();
        setDataDirectory(dir.string());
        appendDevice(kLocal, "Device 1");
        appendDevice(kStation, "Kitchen");
        copyText(core.devices[1].password, "QWER-TYUI-ASDF-GHJK");
        appendDevice(kOther, "Garage");
        ASSERT_TRUE(saveDatabase());
        resetCoreState();
        setDataDirectory("");
    }
    void TearDown() override { fs::remove_all(dir); }

    CliRun run(std::vector<std::string> args) {
        args.push_back("--data-dir");
        args.push_back(dir.string());
        return corvel(args);
    }
    // The names in the saved database, as `corvel devices` lists them.
    std::string devices() { return run({"devices"}).out; }

    fs::path dir;
};

TEST_F(DeviceCommands, UsageErrorsExitTwo) {
    const std::vector<std::vector<std::string>> cases = {
        {"set-network"},
        {"set-network", "GardenShed", "--public"},
        {"set-network", "GardenShed", "--local"},
        {"password", kStationMac},
        {"password", "00:B0:52:00:11", "QWER-TYUI-ASDF-GHJK"},
        {"password", "not-a-mac", "QWER-TYUI-ASDF-GHJK"},
        {"add-device", "Garage"},
        {"add-device", "Attic", "QWER-TYUI-ASDF-GHJK", "--cycles", "0"},
        {"add-device", "Attic", "QWER-TYUI-ASDF-GHJK", "extra"},
        {"rename", kStationMac},
        {"rename", "00:B0:52:00:00:1G", "Attic"},
        {"remove"},
        {"remove", kStationMac, "--force"},
    };
    for (const auto& args : cases) {
        const CliRun r = corvel(args);
        EXPECT_EQ(r.status, 2) << ::testing::PrintToString(args) << r.err;
        EXPECT_NE(r.err.find("Usage: corvel"), std::string::npos) << r.err;
        EXPECT_EQ(r.out, "");
    }
}

TEST_F(DeviceCommands, InputRefusedBeforeAnythingIsSentExitsOneWithItsMessage) {
    const std::string networkName =
        "Invalid Entry: The Network Name Entered is Invalid.\nPlease Enter a Network Name between "
        "4 and 24 characters\n";
    const std::string passwordFormat =
        "Invalid Entry: The Device Password Format Entered is Invalid.\nPlease Enter a Password "
        "as a number and letter code,\nin groups of four, separated by dashes.\n";
    const struct {
        std::vector<std::string> args;
        std::string err;
    } cases[] = {
        {{"set-network", "abc"}, networkName},
        {{"set-network", std::string(25, 'n'), "--local-only"}, networkName},
        {{"set-network", "Garden\tShed", "--yes"}, networkName},
        {{"set-network", ""}, networkName},
        {{"password", "00:B0:52:00:00:99", "QWER-TYUI-ASDF-GHJK"},
         "corvel: 00:B0:52:00:00:99 is not in the device list (corvel devices lists it)\n"},
        {{"password", kOtherMac, "PASS-WORD-GOES-HERE"}, "Attention!: Please enter a Password.\n"},
        {{"password", kOtherMac, "QWERTYUIASDFGHJK"}, passwordFormat},
        {{"password", kOtherMac, "qwer-tyui-asdf-ghj"}, passwordFormat},
        {{"add-device", "", "QWER-TYUI-ASDF-GHJK"}, "Attention!: Please enter another name.\n"},
        {{"add-device", "Kitchen", "QWER-TYUI-ASDF-GHJK"},
         "Attention!: Please enter another name.\n"},
        {{"add-device", std::string(32, 'a'), "QWER-TYUI-ASDF-GHJK"},
         "Attention!: Device Name should be less than 31 characters\n"},
        {{"add-device", "Attic", "PASS-WORD-GOES-HERE"}, "Attention!: Please enter a Password.\n"},
        {{"add-device", "Attic", "QWER-TYUI-ASDF_GHJK"}, passwordFormat},
    };
    const std::string before = devices();
    for (const auto& c : cases) {
        const CliRun r = run(c.args);
        EXPECT_EQ(r.status, 1) << ::testing::PrintToString(c.args);
        EXPECT_EQ(r.err, c.err) << ::testing::PrintToString(c.args);
        EXPECT_EQ(r.out, "");
    }
    EXPECT_EQ(devices(), before);
}

TEST_F(DeviceCommands, RenameKeepsNamesUniqueAndCutsLongOnes) {
    CliRun r = run({"rename", kOtherMac, "Kitchen"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "Attention!: Please enter another name.\n");

    r = run({"rename", kOtherMac, std::string(40, 'w')});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "Attention!: Device Name should be less than 31 characters\n");
    EXPECT_EQ(r.out, "Renamed Garage (00:B0:52:00:00:12) to " + std::string(31, 'w') + "\n");
    EXPECT_NE(devices().find(std::string(31, 'w') + " "), std::string::npos);

    r = run({"rename", "00-b0-52-00-00-11", "Attic"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "Renamed Kitchen (00:B0:52:00:00:11) to Attic\n");

    r = run({"rename", "00:B0:52:00:00:99", "Cellar"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err,
              "corvel: 00:B0:52:00:00:99 is not in the device list (corvel devices lists it)\n");
}

TEST_F(DeviceCommands, RemoveOfADeviceWithAPasswordNeedsYes) {
    const std::string question =
        "Attention!: A Password for this device has been entered. \nAre you sure you want to "
        "delete it?\n";
    CliRun r = run({"remove", kStationMac});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(
        r.err,
        question + "corvel: Kitchen (00:B0:52:00:00:11) kept (--yes confirms the deletion)\n");
    EXPECT_NE(devices().find("Kitchen"), std::string::npos);

    r = run({"remove", kStationMac, "--yes"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, question);
    EXPECT_EQ(r.out, "Removed Kitchen (00:B0:52:00:00:11) from the device list\n");

    // Without a password nothing is asked.
    r = run({"remove", kOtherMac});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    const std::string left = devices();
    EXPECT_EQ(left.find("Kitchen"), std::string::npos);
    EXPECT_EQ(left.find("Garage"), std::string::npos);
    EXPECT_NE(left.find("Device 1"), std::string::npos);
}

}  // namespace
}  // namespace corvel
