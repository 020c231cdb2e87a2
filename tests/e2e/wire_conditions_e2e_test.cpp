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

}  // namespace
}  // namespace corvel::e2e
