// SPDX-License-Identifier: MIT
// corvel against plcsim over veth when the local device answers late or the wire carries a
// steady stream of frames nobody asked for.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <string>

#include "tests/e2e/netns_run.h"

namespace corvel::e2e {
namespace {

namespace fs = std::filesystem;
using Json = nlohmann::json;

// An AV local device with one station; `localFaults` and `portExtra` are spliced into the
// scenario as they are.
std::string scenario(const std::string& localFaults, const std::string& portExtra) {
    return R"({"ports": [{"interface": "plc0",)" + portExtra + R"(
      "local": {"mac": "00:B0:52:00:00:10", "faults": )" +
           localFaults + R"(},
      "stations": [{"mac": "00:B0:52:00:00:11", "rates": {"avTx": 151, "avRx": 140}}]}]})";
}

class WireConditions : public NamespacedTest {
protected:
    // `corvel scan --cycles 1 --json` under a minute's guard; how long it took, in seconds.
    CommandResult scan(const std::string& text, double& seconds) {
        const fs::path file = dir / "scenario.json";
        std::ofstream(file) << text;
        const auto start = std::chrono::steady_clock::now();
        CommandResult run =
            runInNamespaces(file.string(), "",
                            {"timeout", "60", binaryPath("app/corvel"), "scan", "--cycles", "1",
                             "--json", "--data-dir", dataDir.string()});
        seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        return run;
    }
};

TEST_F(WireConditions, ParameterImageFiveMillisecondsLateKeepsThePublicName) {
    double seconds = 0;
    const CommandResult run = scan(scenario(R"({"latencyByType": {"0xA025": 5}})", ""), seconds);
    ASSERT_EQ(run.status, 0) << run.err << run.out;
    const Json local = Json::parse(run.out)["interfaces"][0]["local"];
    ASSERT_FALSE(local.is_null());
    EXPECT_EQ(local["networkName"], "HomePlugAV");
    EXPECT_EQ(local["networkType"], "Public");
}

TEST_F(WireConditions, StreamOfUnrelatedFramesEveryTenMillisecondsDoesNotHoldTheScan) {
    const struct {
        const char* name;
        const char* frame;
    } streams[] = {{"HomePlug 1.0 entries", "hp10"}, {"AV messages", "av"}};
    for (const auto& s : streams) {
        SCOPED_TRACE(s.name);
        double seconds = 0;
        const std::string noise =
            std::string(R"( "noise": {"everyMs": 10, "frame": ")") + s.frame + R"("},)";
        const CommandResult run = scan(scenario("{}", noise), seconds);
        // timeout(1) would end a scan that never ends with status 124.
        ASSERT_EQ(run.status, 0) << run.err << run.out;
        const Json local = Json::parse(run.out)["interfaces"][0]["local"];
        ASSERT_FALSE(local.is_null());
        EXPECT_EQ(local["mac"], "00:B0:52:00:00:10");
        // The full scan at start and one cycle of about 2.7 s, each wait stretched to at most
        // twice its window.
        EXPECT_LT(seconds, 40.0);
    }
}

// Another host on the segment answers in names not its own: a network-information answer from
// an unrelated address ahead of each real one, forged version answers, and copies of every answer
// carrying the host interface's own address. The scan still shows what the devices say.
TEST_F(WireConditions, FramesFromOtherAddressesChangeNeitherTheLocalDeviceNorTheStations) {
    double seconds = 0;
    const CommandResult run = scan(scenario("{}", R"( "faults": {"spoofNetworkInfo": true,
        "forgeVersion": true, "spoofFrom": "02:00:00:00:66:66", "hostSourceBurst": 3},)"),
                                   seconds);
    ASSERT_EQ(run.status, 0) << run.err << run.out;
    const Json host = Json::parse(run.out)["interfaces"][0];
    ASSERT_FALSE(host["local"].is_null()) << run.out;
    EXPECT_EQ(host["local"]["mac"], "00:B0:52:00:00:10");
    const Json& stations = host["stations"];
    ASSERT_EQ(stations.size(), 1u) << run.out;
    EXPECT_EQ(stations[0]["mac"], "00:B0:52:00:00:11");
    EXPECT_EQ(stations[0]["present"], true);
    EXPECT_EQ(stations[0]["rate"], 200.0);  // raw 151: (151 x 200) / 151
    EXPECT_EQ(stations[0]["firmware"].get<std::string>().find("FORGED"), std::string::npos);

    const CommandResult devices = runInNamespaces(
        (dir / "scenario.json").string(), "",
        {binaryPath("app/corvel"), "devices", "--json", "--data-dir", dataDir.string()});
    ASSERT_EQ(devices.status, 0) << devices.err;
    const Json list = Json::parse(devices.out)["devices"];
    ASSERT_EQ(list.size(), 2u) << devices.out;
    EXPECT_EQ(list[0]["mac"], "00:B0:52:00:00:10");
    EXPECT_EQ(list[1]["mac"], "00:B0:52:00:00:11");
}

}  // namespace
}  // namespace corvel::e2e
