// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "tests/e2e/netns_run.h"

// The membership commands against plcsim serving sim/scenarios/av.json: the set-key requests on
// the wire as tshark reads them, and the network and device list the commands leave.
namespace corvel::e2e {
namespace {

namespace fs = std::filesystem;
using Json = nlohmann::json;

const std::string kLocal = "00:b0:52:00:00:10";
const std::string kBroadcast = "ff:ff:ff:ff:ff:ff";
const std::string kNoKey = "00000000000000000000000000000000";
// deriveNMK("HomePlugAV"), deriveNMK("GardenShed") and below the DAKs of the stations'
// passwords, in lower case as tshark shows bytes.
const std::string kPublicNmk = "50d3e4933f855b7040784df815aa8db7";
const std::string kGardenNmk = "ab403b482499b7c40b681cb223d17486";

struct Station {
    std::string mac;
    std::string password;
    std::string dak;
};
const Station kFirst{"00:B0:52:00:00:11", "HZ4N-QK8V-MB2R-XT6C",
                     "34fcfcae48b939bf6e0289ca0aca197c"};
const Station kSecond{"00:B0:52:00:00:12", "PW3J-UE9D-KC5L-RS7Y",
                      "6b56fe24a0634a9a507b830918b11055"};
// On another network key: the local device does not reach it until it is added.
const Station kNeighbour{"00:B0:52:00:00:13", "NV6G-TB2W-ZF8H-QM4K",
                         "f2850a5d8df8def34c2ffee1c3c671ad"};

// A command's output, line by line; lines past its end are empty.
struct OutputLines {
    explicit OutputLines(const std::string& out) {
        std::istringstream in(out);
        for (std::string line; std::getline(in, line);) lines.push_back(line);
    }
    std::string operator[](size_t i) const { return i < lines.size() ? lines[i] : ""; }
    std::vector<std::string> lines;
};

std::string lower(std::string text) {
    for (char& c : text) c = char(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

// One set-key request as tshark dissects it.
struct SetKey {
    double at;
    std::string destination;
    std::string keyType;
    std::string peks;
    std::string rda;
    std::string nmk;
    std::string dak;
};

class MembershipEndToEnd : public NamespacedTest {
protected:
    // Commands run one after the other against one simulated network (one plcsim run); each
    // is `corvel` with its arguments and the data directory. Stops at the first that fails.
    CommandResult run(const std::vector<std::vector<std::string>>& commands,
                      const std::string& captureFile = "") {
        std::vector<std::string> line{"sh", "-c"};
        std::string script;
        std::vector<std::string> words;
        for (const auto& command : commands) {
            if (!script.empty()) script += " && ";
            script += "\"$0\"";
            for (const std::string& word : command) {
                words.push_back(word);
                script += " \"${" + std::to_string(words.size()) + "}\"";
            }
            words.push_back("--data-dir");
            script += " \"${" + std::to_string(words.size()) + "}\"";
            words.push_back(dataDir.string());
            script += " \"${" + std::to_string(words.size()) + "}\"";
        }
        line.push_back(script);
        line.push_back(binaryPath("app/corvel"));
        line.insert(line.end(), words.begin(), words.end());
        return runInNamespaces(scenario, captureFile, line);
    }

    // The network the commands run against: sim/scenarios/av.json, or that network with
    // `faults` on its port.
    std::string scenario = sourcePath("sim/scenarios/av.json");
    void withPortFaults(const Json& faults) {
        Json network = Json::parse(std::ifstream(scenario));
        network["ports"][0]["faults"] = faults;
        scenario = (dir / "scenario.json").string();
        std::ofstream(scenario) << network.dump();
    }

    // The set-key requests the utility sent, in order.
    std::vector<SetKey> setKeys() {
        std::vector<SetKey> keys;
        for (const std::string& line :
             dissect(capture,
                     {"frame.time_relative", "eth.dst", "homeplug_av.set_key_req.eks",
                      "homeplug_av.nw_info.peks", "homeplug_av.set_key_req.rda",
                      "homeplug_av.set_key_req.nmk", "homeplug_av.set_key_req.dak"},
                     "homeplug_av.set_key_req")) {
            std::istringstream fields(line);
            SetKey k;
            std::string at;
            std::getline(fields, at, '\t');
            k.at = std::stod(at);
            for (std::string* field : {&k.destination, &k.keyType, &k.peks, &k.rda, &k.nmk, &k.dak})
                std::getline(fields, *field, '\t');
            keys.push_back(k);
        }
        return keys;
    }

};

TEST_F(MembershipEndToEnd, SetNetworkKeysEveryDeviceByItsPasswordAndTheLocalDeviceLast) {
    // The device list and the passwords, each proved on a simulated network of its own.
    ASSERT_EQ(run({{"scan"}}).status, 0);
    for (const Station& s : {kFirst, kSecond}) {
        const CommandResult entered = run({{"password", s.mac, lower(s.password)}});
        ASSERT_EQ(entered.status, 0) << entered.err;
        EXPECT_EQ(entered.out, "Password of Device " +
                                   std::string(s.mac == kFirst.mac ? "2" : "3") + " (" + s.mac +
                                   ") verified by the device, stored as " + s.password + "\n");
    }

    const CommandResult set =
        run({{"set-network", "GardenShed", "--yes"}, {"scan", "--json"}}, capture);

    ASSERT_EQ(set.status, 0) << set.err << set.out;
    const OutputLines lines(set.out);
    const std::string summary = lines[0], network = lines[1], json = lines[2];
    EXPECT_EQ(summary,
              "Network name 'GardenShed' set on 3 of 3 devices of the device list; the local "
              "device took it");
    EXPECT_EQ(network, "Network Name: GardenShed   Network Type: Private");
    EXPECT_EQ(set.err, "") << set.err;

    // Each station through the local device under its DAK (PEKS 0x00, RDA the station), then
    // the local device itself (PEKS 0x0F, RDA itself, no DAK), all with the NMK of the name.
    const std::vector<SetKey> keys = setKeys();
    ASSERT_EQ(keys.size(), 3u);
    const Station* order[] = {&kFirst, &kSecond};
    for (size_t i = 0; i < 2; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(keys[i].destination, kLocal);
        EXPECT_EQ(keys[i].keyType, "0x01");
        EXPECT_EQ(keys[i].peks, "0x00");
        EXPECT_EQ(keys[i].rda, lower(order[i]->mac));
        EXPECT_EQ(keys[i].nmk, kGardenNmk);
        EXPECT_EQ(keys[i].dak, order[i]->dak);
    }
    EXPECT_EQ(keys[2].destination, kLocal);
    EXPECT_EQ(keys[2].peks, "0x0f");
    EXPECT_EQ(keys[2].rda, kLocal);
    EXPECT_EQ(keys[2].nmk, kGardenNmk);
    EXPECT_EQ(keys[2].dak, kNoKey);

    // The scan after it finds the stations on the new network, named by the new name.
    const Json scan = Json::parse(json);
    const Json& host = scan["interfaces"][0];
    EXPECT_EQ(host["local"]["networkName"], "GardenShed");
    EXPECT_EQ(host["local"]["networkType"], "Private");
    ASSERT_EQ(host["stations"].size(), 2u);
    EXPECT_EQ(host["stations"][0]["present"], true);
    EXPECT_EQ(host["stations"][1]["present"], true);
}

TEST_F(MembershipEndToEnd, AddDeviceFindsTheDeviceOnARandomKeyAndAdoptsItUnderItsName) {
    const CommandResult added =
        run({{"add-device", "Garage", kNeighbour.password}, {"devices", "--json"}}, capture);

    ASSERT_EQ(added.status, 0) << added.err << added.out;
    const OutputLines lines(added.out);
    const std::string result = lines[0], json = lines[1];
    EXPECT_EQ(result, "Added Garage (" + kNeighbour.mac + ") to the network");
    EXPECT_NE(added.err.find("Please wait, this operation will take approximately 30 seconds to "
                             "complete..\n"),
              std::string::npos);

    // The local device alone on a random key, the key offered by broadcast under the device's
    // DAK; then the local device back on the public NMK, and the device given it the same way.
    const std::vector<SetKey> keys = setKeys();
    ASSERT_EQ(keys.size(), 4u);
    const std::string& dak = kNeighbour.dak;
    const std::string random = keys[0].nmk;
    EXPECT_EQ(keys[0].peks, "0x0f");
    EXPECT_EQ(keys[0].rda, kLocal);
    EXPECT_NE(random, kPublicNmk);
    EXPECT_EQ(keys[1].peks, "0x00");
    EXPECT_EQ(keys[1].rda, kBroadcast);
    EXPECT_EQ(keys[1].nmk, random);
    EXPECT_EQ(keys[1].dak, dak);
    EXPECT_GE(keys[1].at - keys[0].at, 2.0);
    EXPECT_EQ(keys[2].peks, "0x0f");
    EXPECT_EQ(keys[2].nmk, kPublicNmk);
    EXPECT_GE(keys[2].at - keys[1].at, 10.0);
    EXPECT_EQ(keys[3].peks, "0x00");
    EXPECT_EQ(keys[3].rda, kBroadcast);
    EXPECT_EQ(keys[3].nmk, kPublicNmk);
    EXPECT_EQ(keys[3].dak, dak);
    EXPECT_GE(keys[3].at - keys[2].at, 10.0);
    for (const SetKey& k : keys) {
        EXPECT_EQ(k.destination, kLocal);
        EXPECT_EQ(k.keyType, "0x01");
    }

    const Json devices = Json::parse(json)["devices"];
    bool listed = false;
    for (const Json& d : devices) {
        if (d["name"] != "Garage") continue;
        listed = true;
        EXPECT_EQ(d["mac"], kNeighbour.mac);
        EXPECT_EQ(d["password"], kNeighbour.password);
        EXPECT_EQ(d["networkName"], "HomePlugAV");
    }
    EXPECT_TRUE(listed) << json;
}

// A busy segment: 64 unrelated AV frames queued ahead of every answer of every device. Each
// command finds the answers behind them and ends as on a quiet wire.
TEST_F(MembershipEndToEnd, EveryCommandWorksWithABurstAheadOfEveryAnswer) {
    withPortFaults({{"burst", {{"count", 64}}}});

    const CommandResult probed =
        runInNamespaces(scenario, "", {binaryPath("app/corvel"), "probe", "--json"});
    ASSERT_EQ(probed.status, 0) << probed.err;
    const Json probe = Json::parse(probed.out)["interfaces"][0];
    EXPECT_EQ(probe["local"]["mac"], "00:B0:52:00:00:10") << probed.out;
    EXPECT_EQ(probe["stations"].size(), 2u) << probed.out;

    const CommandResult scanned = run({{"scan", "--json"}});
    ASSERT_EQ(scanned.status, 0) << scanned.err << scanned.out;
    const Json scan = Json::parse(scanned.out)["interfaces"][0];
    EXPECT_EQ(scan["local"]["networkName"], "HomePlugAV");
    ASSERT_EQ(scan["stations"].size(), 2u) << scanned.out;
    for (const Json& station : scan["stations"]) EXPECT_EQ(station["present"], true);

    for (const Station& s : {kFirst, kSecond}) {
        const CommandResult entered = run({{"password", s.mac, s.password}});
        ASSERT_EQ(entered.status, 0) << entered.err;
        EXPECT_NE(entered.out.find("verified by the device"), std::string::npos) << entered.out;
    }
    // Each run is a simulated network of its own: the scan that follows set-network shares it.
    const CommandResult set = run({{"set-network", "GardenShed", "--yes"}, {"scan", "--json"}});
    ASSERT_EQ(set.status, 0) << set.err << set.out;
    const OutputLines setLines(set.out);
    EXPECT_EQ(setLines[0],
              "Network name 'GardenShed' set on 3 of 3 devices of the device list; the local "
              "device took it");
    const Json after = Json::parse(setLines[2])["interfaces"][0];
    EXPECT_EQ(after["local"]["networkName"], "GardenShed");
    EXPECT_EQ(after["stations"].size(), 2u) << set.out;

    const CommandResult added =
        run({{"add-device", "Garage", kNeighbour.password}, {"scan", "--json"}}, capture);
    ASSERT_EQ(added.status, 0) << added.err << added.out;
    const OutputLines addLines(added.out);
    EXPECT_EQ(addLines[0], "Added Garage (" + kNeighbour.mac + ") to the network");
    // The device added to the public network of this run is one of its stations now.
    EXPECT_EQ(Json::parse(addLines[1])["interfaces"][0]["stations"].size(), 3u) << added.out;
    // The burst went ahead of the answers on the wire.
    EXPECT_GE(dissect(capture, {"frame.number"}, "homeplug_av.mmhdr.mmtype.qualcomm == 0xa035")
                  .size(),
              64u);
}

}  // namespace
}  // namespace corvel::e2e
