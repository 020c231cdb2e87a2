// SPDX-License-Identifier: MIT
// The capture itself on a real packet socket: bursts of frames held by the ring, and what an
// ordinary user without the capture privileges is told.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <nlohmann/json.hpp>
#include <string>

#include "tests/e2e/netns_run.h"

namespace corvel::e2e {
namespace {

namespace fs = std::filesystem;
using Json = nlohmann::json;

class Capture : public NamespacedTest {
protected:
    std::string scenario(const std::string& text) {
        const fs::path path = dir / "scenario.json";
        std::ofstream(path) << text;
        return path.string();
    }
};

// Thirty-one stations answer the broadcast query at once, each answer behind a frame nobody
// asked for: bursts of more than 64 frames reach the capture within a millisecond. The ring
// must hold them all, or stations go missing from the scan.
TEST_F(Capture, BurstsOfMoreThanSixtyFourFramesAreAllReceived) {
    Json stations = Json::array();
    for (int i = 0; i < 31; ++i) stations.push_back(Json::object());
    const Json plan = {{"ports",
                        {{{"interface", "plc0"},
                          {"faults", {{"unrelated", {"hp10"}}}},
                          {"local", {{"family", "hp10"}, {"mac", "00:B0:52:00:00:10"}}},
                          {"stations", stations}}}}};
    const CommandResult run =
        runInNamespaces(scenario(plan.dump()), capture,
                        {binaryPath("app/corvel"), "scan", "--json", "--cycles", "1",
                         "--data-dir", dataDir.string()});
    ASSERT_EQ(run.status, 0) << run.err;
    const Json result = Json::parse(run.out);
    EXPECT_EQ(result["interfaces"][0]["stations"].size(), 31u) << run.out;
}

// Every file under a directory with its contents, to show that a command changed nothing.
std::map<std::string, std::string> filesUnder(const fs::path& root) {
    std::map<std::string, std::string> files;
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
        std::ifstream in(entry.path(), std::ios::binary);
        files[entry.path().string()] = std::string(std::istreambuf_iterator<char>(in), {});
    }
    return files;
}

// Without root or the capture capabilities, every command that needs capture says so first,
// exits 1 and claims nothing about the devices: no "not detected", no report, and a device list
// a privileged scan stored earlier is left exactly as it was.
TEST_F(Capture, WithoutPrivilegesCommandsSayCaptureWasNotPermitted) {
    const std::string av = sourcePath("sim/scenarios/av.json");
    const std::string data = dataDir.string();
    const CommandResult scan = runInNamespaces(
        av, capture, {binaryPath("app/corvel"), "scan", "--cycles", "1", "--data-dir", data});
    ASSERT_EQ(scan.status, 0) << scan.err;
    for (const auto& entry : fs::recursive_directory_iterator(dir))
        ASSERT_EQ(::chown(entry.path().c_str(), 65534, 65534), 0);
    ASSERT_EQ(::chown(dir.c_str(), 65534, 65534), 0);
    const auto stored = filesUnder(data);
    ASSERT_FALSE(stored.empty());

    const std::string report = (dir / "report.txt").string();
    const std::vector<std::vector<std::string>> commands = {
        {"report", "--data-dir", data},
        {"report", report, "--data-dir", data},
        {"scan", "--data-dir", data},
        {"probe"},
        {"interfaces"},
        {"set-network", "KitchenNet", "--yes", "--data-dir", data},
        {"password", "00:B0:52:00:00:11", "HZ4N-QK8V-MB2R-XT6C", "--data-dir", data},
        {"add-device", "Study", "NV6G-TB2W-ZF8H-QM4K", "--data-dir", data},
        {"upgrade", "--nvm", (dir / "x.nvm").string(), "--pib", (dir / "x.pib").string(),
         "--yes", "--data-dir", data},
    };
    for (const auto& command : commands) {
        SCOPED_TRACE(command[0] + (command.size() > 1 ? " " + command[1] : ""));
        std::vector<std::string> line = {"setpriv", "--reuid=65534", "--regid=65534",
                                         "--clear-groups", "--inh-caps=-all",
                                         binaryPath("app/corvel")};
        line.insert(line.end(), command.begin(), command.end());
        const CommandResult run = runInNamespaces(av, capture, line);
        EXPECT_EQ(run.status, 1);
        EXPECT_EQ(run.out, "");
        EXPECT_EQ(run.err.rfind("corvel: capture was not permitted", 0), 0u) << run.err;
        EXPECT_NE(run.err.find("group corvel"), std::string::npos) << run.err;
        EXPECT_EQ(run.err.find("NOT DETECTED"), std::string::npos) << run.err;
        EXPECT_EQ(run.err.find("not detected"), std::string::npos) << run.err;
        EXPECT_FALSE(fs::exists(report));
        EXPECT_EQ(filesUnder(data), stored);
    }
}

}  // namespace
}  // namespace corvel::e2e
