// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "tests/e2e/netns_run.h"
#include "tests/platform/terminal_text.h"

namespace corvel::e2e {
namespace {

namespace fs = std::filesystem;
using Json = nlohmann::json;

uint32_t word(const std::vector<uint8_t>& bytes, size_t at) {
    return uint32_t(bytes[at]) | uint32_t(bytes[at + 1]) << 8 | uint32_t(bytes[at + 2]) << 16 |
           uint32_t(bytes[at + 3]) << 24;
}

class ScanEndToEnd : public NamespacedTest {
protected:
    CommandResult scan(const std::string& scenario) {
        return runInNamespaces(sourcePath("sim/scenarios/" + scenario), "",
                               {binaryPath("app/corvel"), "scan", "--cycles", "1", "--json",
                                "--data-dir", dataDir.string()});
    }
    std::vector<uint8_t> database() {
        std::ifstream in(dataDir / "Corvel Utility.data", std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }
};

TEST_F(ScanEndToEnd, AvScanRatesEveryStationAndLeavesTheDatabaseInItsLayout) {
    const CommandResult run = scan("av.json");
    ASSERT_EQ(run.status, 0) << run.err << run.out;
    const Json result = Json::parse(run.out);
    const Json& host = result["interfaces"][0];
    ASSERT_FALSE(host["local"].is_null());
    EXPECT_EQ(host["local"]["kindName"], "HomePlug AV Device");
    EXPECT_EQ(host["local"]["mac"], "00:B0:52:00:00:10");
    EXPECT_EQ(host["local"]["networkName"], "HomePlugAV");
    EXPECT_EQ(host["local"]["networkType"], "Public");

    const Json& stations = host["stations"];
    ASSERT_EQ(stations.size(), 2u);
    // Raw rates 151 and 76 of the scenario: (w0 x 200) / 151.
    EXPECT_EQ(stations[0]["mac"], "00:B0:52:00:00:11");
    EXPECT_EQ(stations[0]["rate"], 200.0);
    EXPECT_EQ(stations[0]["present"], true);
    EXPECT_EQ(stations[1]["mac"], "00:B0:52:00:00:12");
    EXPECT_EQ(stations[1]["rate"], 100.0);
    // Both directions as the devices report them: the scenario's avTx and avRx bytes.
    EXPECT_EQ(stations[0]["phyRateTx"], 151);
    EXPECT_EQ(stations[0]["phyRateRx"], 140);
    EXPECT_EQ(stations[1]["phyRateTx"], 76);
    EXPECT_EQ(stations[1]["phyRateRx"], 70);
    // Named from the device list the scan merged them into.
    EXPECT_EQ(stations[0]["name"], "Device 2");
    EXPECT_EQ(stations[1]["name"], "Device 3");

    // Version 306, the selected interface, 8 station tables, then the local device and the two
    // stations as device records, then the list layout: 131468 + 198 x 3 bytes.
    const std::vector<uint8_t> file = database();
    ASSERT_EQ(file.size(), 131468u + 198u * 3);
    EXPECT_EQ(word(file, 0), 306u);
    EXPECT_EQ(word(file, 4), 0u);
    EXPECT_EQ(word(file, 131416), 3u);
    const std::string firstName(reinterpret_cast<const char*>(&file[131420]));
    EXPECT_EQ(firstName, "Device 1");
    EXPECT_EQ(file[131420 + 35], 0x00);
    EXPECT_EQ(file[131420 + 35 + 5], 0x10);  // the local device's MAC ends in 10
    EXPECT_EQ(file[131420 + 198 + 35 + 5], 0x11);
    // The first station table's network name, at 8 + 16386.
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&file[8 + 16386])), "HomePlugAV");

    const CommandResult devices = runInNamespaces(
        sourcePath("sim/scenarios/av.json"), "",
        {binaryPath("app/corvel"), "devices", "--json", "--data-dir", dataDir.string()});
    ASSERT_EQ(devices.status, 0) << devices.err;
    const Json list = Json::parse(devices.out)["devices"];
    ASSERT_EQ(list.size(), 3u);
    EXPECT_EQ(list[1]["networkName"], "HomePlugAV");
    EXPECT_FALSE(list[1]["lastSeen"].is_null());
    // The local device's record carries the key read from it: the public AV key.
    EXPECT_EQ(list[0]["networkKey"], "50D3E4933F855B7040784DF815AA8DB7");
}

TEST_F(ScanEndToEnd, NoAdapterIsReportedWithStatusOne) {
    const fs::path scenario = dataDir / "empty.json";
    std::ofstream(scenario) << R"({"ports": [{"interface": "plc0", "local": null}]})";
    const CommandResult run = runInNamespaces(scenario.string(), "",
                                              {binaryPath("app/corvel"), "scan", "--data-dir",
                                               dataDir.string()});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, "");
    // The cause on standard error, naming the interface asked.
    EXPECT_EQ(run.err.rfind("corvel: no powerline adapter answered on the interface host0; check "
                            "that one is cabled to this computer and powered",
                            0),
              0u)
        << run.err;
}

// A station whose firmware text carries an escape sequence, BEL and a C1 control: the installed
// program's text output and report (both on standard output, as on a terminal) show them as
// escapes, and its JSON line carries them only as JSON escapes.
TEST_F(ScanEndToEnd, ControlCharactersInAFirmwareTextNeverReachTheTerminal) {
    const fs::path scenario = dataDir / "controls.json";
    std::ofstream(scenario) << R"({"ports": [{"interface": "plc0",
      "local": {"mac": "00:B0:52:00:00:10"},
      "stations": [{"mac": "00:B0:52:00:00:11",
                    "firmware": "FW\u001b[2J\u0007\r\u009b[31m\u007f"}]}]})";
    const auto corvel = [&](std::vector<std::string> args) {
        args.insert(args.begin(), binaryPath("app/corvel"));
        args.insert(args.end(), {"--data-dir", dataDir.string()});
        const CommandResult run = runInNamespaces(scenario.string(), "", args);
        EXPECT_EQ(run.status, 0) << run.err << run.out;
        return run.out;
    };
    const std::string shown = "FW\\x1b[2J\\x07\\x0d\\x9b[31m\\x7f";

    const std::string text = corvel({"scan", "--cycles", "1"});
    EXPECT_NE(text.find(shown), std::string::npos) << text;
    EXPECT_EQ(test::terminalControlAt(text, "\n"), std::string::npos) << text;

    const std::string json = corvel({"scan", "--cycles", "1", "--json"});
    EXPECT_EQ(test::terminalControlAt(json, "\n"), std::string::npos) << json;
    EXPECT_NE(json.find(R"(FW\u001b[2J\u0007\r\u009b[31m\u007f)"), std::string::npos) << json;
    const Json result = Json::parse(json, nullptr, false);
    ASSERT_FALSE(result.is_discarded()) << json;
    EXPECT_EQ(result["interfaces"][0]["stations"][0]["firmware"],
              "FW\x1b[2J\x07\r\xC2\x9B[31m\x7F");

    const std::string report = corvel({"report"});
    EXPECT_NE(report.find("\t" + shown), std::string::npos) << report;
    EXPECT_EQ(test::terminalControlAt(report, "\n\t"), std::string::npos) << report;
}

}  // namespace
}  // namespace corvel::e2e
