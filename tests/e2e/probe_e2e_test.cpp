// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <set>
#include <sstream>

#include "tests/e2e/netns_run.h"

namespace corvel::e2e {
namespace {

using Json = nlohmann::json;

class EndToEnd : public NamespacedTest {
protected:
    Json probe(const std::string& scenario) {
        const CommandResult run = runInNamespaces(sourcePath("sim/scenarios/" + scenario), capture,
                                                  {binaryPath("app/corvel"), "probe", "--json"});
        EXPECT_EQ(run.status, 0) << run.err;
        return Json::parse(run.out);
    }

    // The values of one tshark field in the frames the utility sent from `hostMac`.
    std::set<std::string> sentValues(const std::string& hostMac, const std::string& field) {
        std::string lower = hostMac;
        std::transform(lower.begin(), lower.end(), lower.begin(), ::tolower);
        std::set<std::string> values;
        for (const std::string& line : dissect(capture, {field}, "eth.src == " + lower))
            values.insert(line);
        return values;
    }

};

TEST_F(EndToEnd, ProbeFindsTheAvDeviceAndTheStationsOnItsKey) {
    const Json result = probe("av.json");
    ASSERT_EQ(result["interfaces"].size(), 1u);
    const Json& host = result["interfaces"][0];
    EXPECT_EQ(host["name"], "host0");
    const Json& local = host["local"];
    ASSERT_FALSE(local.is_null());
    EXPECT_EQ(local["kind"], 4);
    EXPECT_EQ(local["kindName"], "HomePlug AV Device");
    EXPECT_EQ(local["mac"], "00:B0:52:00:00:10");
    EXPECT_EQ(local["chip"], "QRB4000");
    // A generation-3 chip shows its own name where the firmware text says QRB1000.
    EXPECT_EQ(local["firmware"], "QRB4000-AV-3.3.1.2090-01-20240117-FINAL");

    // The third station is on another key: the local device does not list it.
    const Json& stations = host["stations"];
    ASSERT_EQ(stations.size(), 2u);
    EXPECT_EQ(stations[0]["mac"], "00:B0:52:00:00:11");
    EXPECT_EQ(stations[0]["rate"], 200.0);  // raw 151 x 200 / 151
    EXPECT_EQ(stations[0]["firmware"], "QRB3000-AV-3.3.1.2090-01-20240117-FINAL");
    EXPECT_EQ(stations[1]["mac"], "00:B0:52:00:00:12");
    EXPECT_EQ(stations[1]["rate"], 100.0);  // raw 76 x 200 / 151 = 100.66
    EXPECT_EQ(stations[1]["firmware"], "AV-3.2.0.1044-00-20210305-FINAL");

    // An independent dissector names what the utility sent: version and network information.
    const auto types = sentValues(host["mac"], "homeplug_av.mmhdr.mmtype.qualcomm");
    EXPECT_EQ(types, (std::set<std::string>{"0xa000", "0xa038"}));
    EXPECT_EQ(sentValues(host["mac"], "frame.len"), (std::set<std::string>{"64"}));
}

TEST_F(EndToEnd, ProbeFindsTheTurboDeviceWithItsVersionTexts) {
    const Json result = probe("turbo.json");
    const Json& host = result["interfaces"][0];
    const Json& local = host["local"];
    ASSERT_FALSE(local.is_null());
    EXPECT_EQ(local["kind"], 2);
    EXPECT_EQ(local["kindName"], "HomePlug Turbo Device");
    EXPECT_EQ(local["mac"], "00:0B:3B:00:01:10");
    EXPECT_EQ(local["macVersion"], "Version 1.6");
    EXPECT_EQ(local["vendor"], "Veltrix");
    EXPECT_EQ(local["product"], "Powerline Turbo Adapter");
    EXPECT_EQ(local["firmware"], "TURBO-MAC-4-0-1-7-0012");
    // The AV probe first, then the 1.0 vendor version query and the firmware-text read.
    EXPECT_EQ(sentValues(host["mac"], "homeplug_av.mmhdr.mmtype.qualcomm"),
              (std::set<std::string>{"0xa000"}));
    const auto entries = sentValues(host["mac"], "homeplug.mehdr.metype");
    EXPECT_TRUE(entries.count("0x02")) << ::testing::PrintToString(entries);
    EXPECT_TRUE(entries.count("0x12")) << ::testing::PrintToString(entries);
}

TEST_F(EndToEnd, ProbeFindsThePlainHomePlugDeviceByTheLocalQuery) {
    const Json result = probe("hp10.json");
    const Json& host = result["interfaces"][0];
    const Json& local = host["local"];
    ASSERT_FALSE(local.is_null());
    EXPECT_EQ(local["kind"], 3);
    EXPECT_EQ(local["kindName"], "HomePlug 1.0 Device");
    EXPECT_EQ(local["mac"], "00:0B:3B:00:02:10");
    EXPECT_TRUE(host["stations"].empty());
    // The local query (entry 0x1A) and the parameter request it starts (0x19).
    const auto entries = sentValues(host["mac"], "homeplug.mehdr.metype");
    EXPECT_TRUE(entries.count("0x1a")) << ::testing::PrintToString(entries);
    EXPECT_TRUE(entries.count("0x19")) << ::testing::PrintToString(entries);
}

TEST_F(EndToEnd, ProbeTellsTwoInterfacesApart) {
    const Json result = probe("two-interfaces.json");
    ASSERT_EQ(result["interfaces"].size(), 2u);
    const Json& first = result["interfaces"][0];
    const Json& second = result["interfaces"][1];
    EXPECT_EQ(first["name"], "host0");
    EXPECT_EQ(first["local"]["kind"], 3);
    EXPECT_TRUE(first["stations"].empty());
    EXPECT_EQ(second["name"], "host1");
    EXPECT_EQ(second["local"]["kind"], 4);
    EXPECT_EQ(second["local"]["mac"], "00:B0:52:00:03:20");
    EXPECT_EQ(second["stations"].size(), 2u);
}

TEST_F(EndToEnd, InterfacesListsTheNamespacesInterfacesOpenForCapture) {
    const CommandResult run =
        runInNamespaces(sourcePath("sim/scenarios/two-interfaces.json"), "",
                        {binaryPath("app/corvel"), "interfaces", "--json"});
    ASSERT_EQ(run.status, 0) << run.err;
    const Json result = Json::parse(run.out);
    ASSERT_EQ(result["interfaces"].size(), 2u);  // lo is not an Ethernet interface
    for (int i = 0; i < 2; ++i) {
        const Json& entry = result["interfaces"][size_t(i)];
        EXPECT_EQ(entry["index"], i);
        EXPECT_EQ(entry["name"], "host" + std::to_string(i));
        EXPECT_EQ(entry["description"], "host" + std::to_string(i));
        EXPECT_EQ(entry["open"], true);
        EXPECT_EQ(entry["mac"].get<std::string>().size(), 17u);
    }
}

TEST_F(EndToEnd, IndependentClientDecodesTheSimulatorsVersionConfirmation) {
    // faifa asks the local device for its version (menu choice a000) and decodes the answer.
    const CommandResult run = runInNamespaces(
        sourcePath("sim/scenarios/av.json"), "",
        {"sh", "-c",
         "(printf 'a000\\n'; sleep 2) | timeout 4 stdbuf -o0 faifa -i host0 -m -a "
         "00:B0:52:00:00:10; true"});
    EXPECT_NE(run.out.find("Get Device/SW Version Confirm"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("Status: Success"), std::string::npos);
    EXPECT_NE(run.out.find("Version: QRB1000-AV-3.3.1.2090-01-20240117-FINAL"), std::string::npos);
}

}  // namespace
}  // namespace corvel::e2e
