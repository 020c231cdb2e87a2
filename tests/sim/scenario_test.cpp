// SPDX-License-Identifier: MIT
#include "sim/scenario.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdio>
#include <fstream>
#include <functional>
#include <map>

#include "tests/sim/sim_test_support.h"

namespace corvel::sim::test {
namespace {

const std::string kScenarios = CORVEL_SIM_SCENARIOS;

std::string errorOf(const std::string& json) {
    try {
        parseScenario(json);
    } catch (const ScenarioError& e) {
        return e.what();
    }
    return "(no error)";
}

// Who answers a broadcast query of the port's family: the local device and its network.
std::vector<Mac> broadcastAnswerers(Network& net, int port) {
    std::vector<Mac> macs;
    net.setEmitter([&macs](int, Frame f, uint32_t) { macs.push_back(sourceOf(f)); });
    const bool av = net.port(port).local->family() == Family::Av;
    net.onHostFrame(port, av ? avRequest(kBroadcastMac, kHost, 0xA000)
                             : hp10Request(kBroadcastMac, kHost, {0x01, 0x07, 0x00}));
    net.setEmitter(nullptr);
    return macs;
}

Mac m(const char* text) {
    return *parseMac(text);
}

TEST(Scenario, ExampleFilesDescribeTheirNetworks) {
    struct Case {
        const char* file;
        std::function<void(Network&)> check;
    };
    const Case cases[] = {
        {"av.json",
         [](Network& net) {
             ASSERT_EQ(net.portCount(), 1u);
             EXPECT_EQ(net.port(0).interfaceName, "plc0");
             const Device& local = *net.port(0).local;
             EXPECT_EQ(local.mac(), m("00:B0:52:00:00:10"));
             EXPECT_EQ(local.profile.chipGeneration, 3);
             EXPECT_EQ(local.dak(), deriveDAK("LQXD-7RKM-2FTA-9WPE"));
             EXPECT_EQ(local.nmk(), publicAvKey());
             ASSERT_EQ(net.port(0).stations.size(), 3u);
             EXPECT_EQ(net.port(0).stations[0]->profile.rates.avTx, 151);
             EXPECT_EQ(net.device(m("00:B0:52:00:00:13"))->nmk(), deriveNMK("NeighboursNet"));
             EXPECT_EQ(broadcastAnswerers(net, 0),
                       (std::vector<Mac>{m("00:B0:52:00:00:10"), m("00:B0:52:00:00:11"),
                                         m("00:B0:52:00:00:12")}));
         }},
        {"turbo.json",
         [](Network& net) {
             ASSERT_EQ(net.portCount(), 1u);
             EXPECT_EQ(net.port(0).local->family(), Family::Turbo);
             EXPECT_EQ(net.port(0).local->profile.versionMinor, 6);
             ASSERT_EQ(net.port(0).stations.size(), 3u);
             EXPECT_EQ(net.port(0).stations[0]->family(), Family::Turbo);
             EXPECT_EQ(net.port(0).stations[2]->family(), Family::HomePlug10);
             EXPECT_EQ(broadcastAnswerers(net, 0).size(), 4u);
         }},
        {"hp10.json",
         [](Network& net) {
             ASSERT_EQ(net.portCount(), 1u);
             EXPECT_EQ(net.port(0).local->family(), Family::HomePlug10);
             EXPECT_EQ(net.port(0).local->nek(), publicHp10Key());
             EXPECT_EQ(net.port(0).stations[2]->nek(), deriveHP10Key("BackOffice"));
             EXPECT_EQ(broadcastAnswerers(net, 0).size(), 3u);
         }},
        {"two-interfaces.json",
         [](Network& net) {
             ASSERT_EQ(net.portCount(), 2u);
             EXPECT_EQ(net.port(0).interfaceName, "plc0");
             EXPECT_EQ(net.port(0).local->family(), Family::HomePlug10);
             EXPECT_EQ(net.port(1).interfaceName, "plc1");
             EXPECT_EQ(net.port(1).local->family(), Family::Av);
             EXPECT_EQ(broadcastAnswerers(net, 0).size(), 2u);
             EXPECT_EQ(broadcastAnswerers(net, 1).size(), 3u);
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        Network net = loadScenario(kScenarios + "/" + c.file);
        c.check(net);
    }
}

TEST(Scenario, SmallestFileIsOnePublicAvDevice) {
    Network net = parseScenario(R"({"ports": [{}]})");
    ASSERT_EQ(net.portCount(), 1u);
    const Port& port = net.port(0);
    EXPECT_EQ(port.interfaceName, "plc0");
    ASSERT_TRUE(port.local);
    EXPECT_EQ(port.local->family(), Family::Av);
    EXPECT_EQ(port.local->mac(), m("00:B0:52:5E:00:00"));
    EXPECT_EQ(port.local->password(), defaultPassword(port.local->mac()));
    EXPECT_EQ(port.local->nmk(), publicAvKey());
    EXPECT_EQ(port.local->pib()[0], 3);
    EXPECT_EQ(port.local->pib()[1], 3);
    EXPECT_TRUE(port.stations.empty());
}

TEST(Scenario, StationsTakeTheLocalFamilyAndNumberedMacs) {
    Network net = parseScenario(
        R"({"ports": [{}, {"local": {"family": "turbo"}, "stations": [{}, {"family": "hp10"}]},
                                              {"local": null, "stations": [{}]}]})");
    EXPECT_EQ(net.port(1).interfaceName, "plc1");
    EXPECT_EQ(net.port(1).stations[0]->family(), Family::Turbo);
    EXPECT_EQ(net.port(1).stations[0]->mac(), m("00:B0:52:5E:01:01"));
    EXPECT_EQ(net.port(1).stations[1]->family(), Family::HomePlug10);
    EXPECT_EQ(net.port(1).stations[1]->mac(), m("00:B0:52:5E:01:02"));
    EXPECT_FALSE(net.port(2).local);
    EXPECT_EQ(net.port(2).stations[0]->family(), Family::Av);
}

TEST(Scenario, EveryFieldLands) {
    Network net = parseScenario(R"({
      "comment": "all fields",
      "ports": [{
        "interface": "veth-sim", "comment": "one port",
        "faults": {"latencyMs": 5, "unrelated": ["ipv4", "av:0xA039", "hp10:0x21", "av", "hp10"],
                   "latencyByType": {"0xA025": 5, "19": 300},
                   "burst": {"count": 64, "frame": "hp10:0x21"}},
        "noise": {"everyMs": 10, "frame": "av:0xA039"},
        "local": {
          "family": "turbo", "mac": "00-0b-3b-00-01-10", "password": "TX7K-MB4Q-ZR2W-LN9C",
          "key": "0123456789abcdef", "keySelect": 2, "kind": 3, "chipGeneration": 1,
          "firmware": "fw", "vendor": "V", "product": "P", "version": {"form": 1, "major": 0, "minor": 21},
          "turboFirmware": "TF", "pibVersion": "2.0", "configStatus": 2, "configBlock": "A1B2",
          "storedParams": "1111111111111111111111111111111111111111111111111111111111111111111111111111111111111111111111111111",
          "workingParams": "2222222222222222222222222222222222222222222222222222222222222222222222222222222222222222222222222222",
          "rates": {"avTx": 1, "avRx": 2, "hp10": 3, "hp10Aux1": 4, "hp10Aux2": 5, "turbo": 6},
          "rebootMs": 700,
          "faults": {"offline": false, "silent": true, "latencyMs": 7, "avStatus": 48,
                     "indications": 2, "truncate": 33, "spoofNetworkInfo": true,
                     "forgeVersion": true, "spoofFrom": "02:00:00:00:77:77",
                     "hostSourceBurst": 12, "burst": {"count": 1000}}
        }
      }]})");
    const Port& port = net.port(0);
    EXPECT_EQ(port.interfaceName, "veth-sim");
    EXPECT_EQ(port.faults.latencyMs, 5u);
    EXPECT_EQ(port.faults.latencyByType, (std::map<uint16_t, uint32_t>{{0xA025, 5}, {0x13, 300}}));
    EXPECT_EQ(port.noise.everyMs, 10u);
    EXPECT_EQ(port.noise.frame.kind, UnrelatedFrame::Kind::Av);
    EXPECT_EQ(port.noise.frame.type, 0xA039);
    ASSERT_EQ(port.faults.unrelated.size(), 5u);
    EXPECT_EQ(port.faults.unrelated[0].kind, UnrelatedFrame::Kind::Ipv4);
    EXPECT_EQ(port.faults.unrelated[1].kind, UnrelatedFrame::Kind::Av);
    EXPECT_EQ(port.faults.unrelated[1].type, 0xA039);
    EXPECT_EQ(port.faults.unrelated[2].kind, UnrelatedFrame::Kind::Hp10);
    EXPECT_EQ(port.faults.unrelated[2].type, 0x21);
    EXPECT_EQ(port.faults.unrelated[3].type, kDefaultUnrelatedMmtype);
    EXPECT_EQ(port.faults.unrelated[4].type, kDefaultUnrelatedEntryType);
    EXPECT_EQ(port.faults.burst.count, 64u);
    EXPECT_EQ(port.faults.burst.frame.kind, UnrelatedFrame::Kind::Hp10);
    EXPECT_EQ(port.faults.burst.frame.type, 0x21);

    const Device& d = *port.local;
    EXPECT_EQ(d.family(), Family::Turbo);
    EXPECT_EQ(d.mac(), m("00:0B:3B:00:01:10"));
    EXPECT_EQ(d.dek(), deriveHP10Key("TX7K-MB4Q-ZR2W-LN9C"));
    EXPECT_EQ(d.nek(), (Key8{0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF}));
    EXPECT_EQ(d.keySelect(), 2);
    EXPECT_EQ(d.kind(), 3);
    const DeviceProfile& p = d.profile;
    EXPECT_EQ(p.chipGeneration, 1);
    EXPECT_EQ(p.firmware, "fw");
    EXPECT_EQ(p.vendor, "V");
    EXPECT_EQ(p.product, "P");
    EXPECT_EQ(p.versionForm, 1);
    EXPECT_EQ(p.versionMajor, 0);
    EXPECT_EQ(p.versionMinor, 21);
    EXPECT_EQ(p.turboFirmware, "TF");
    EXPECT_EQ(p.configStatus, 2);
    EXPECT_EQ(p.configBlock, (std::vector<uint8_t>{0xA1, 0xB2}));
    EXPECT_EQ(d.paramBlock(1)[0], 0x11);
    EXPECT_EQ(d.paramBlock(2)[0], 0x22);
    EXPECT_EQ(d.paramBlock(2)[14], 2);
    EXPECT_EQ(p.rates.avTx, 1);
    EXPECT_EQ(p.rates.avRx, 2);
    EXPECT_EQ(p.rates.hp10Raw, 3);
    EXPECT_EQ(p.rates.hp10Aux1, 4);
    EXPECT_EQ(p.rates.hp10Aux2, 5);
    EXPECT_EQ(p.rates.turboRaw, 6);
    EXPECT_EQ(p.rebootMs, 700u);
    EXPECT_FALSE(p.faults.offline);
    EXPECT_TRUE(p.faults.silent);
    EXPECT_EQ(p.faults.latencyMs, 7u);
    EXPECT_EQ(p.faults.avStatus, 48);
    EXPECT_EQ(p.faults.indications, 2u);
    EXPECT_EQ(p.faults.truncateTo, 33u);
    EXPECT_TRUE(p.faults.spoofNetworkInfo);
    EXPECT_TRUE(p.faults.forgeVersion);
    EXPECT_EQ(p.faults.spoofFrom, m("02:00:00:00:77:77"));
    EXPECT_EQ(p.faults.hostSourceBurst, 12u);
    // A burst without a frame: AV frames of the default type.
    EXPECT_EQ(p.faults.burst.count, 1000u);
    EXPECT_EQ(p.faults.burst.frame.kind, UnrelatedFrame::Kind::Av);
    EXPECT_EQ(p.faults.burst.frame.type, kDefaultUnrelatedMmtype);
    EXPECT_FALSE(port.faults.forgeVersion);
    EXPECT_EQ(port.faults.spoofFrom, kDefaultSpoofMac);

    Network av = parseScenario(
        R"({"ports": [{"local": {"key": "00112233445566778899AABBCCDDEEFF", "pibVersion": "1.3"}},
                                             {"local": {"networkName": "Office"}}]})");
    EXPECT_EQ(av.port(0).local->nmk()[15], 0xFF);
    EXPECT_EQ(av.port(0).local->pib()[0], 1);
    EXPECT_EQ(av.port(0).local->pib()[1], 3);
    EXPECT_EQ(av.port(1).local->nmk(), deriveNMK("Office"));
}

TEST(Scenario, BrokenFilesNameTheField) {
    const std::string fifty(100, '1');
    struct Case {
        std::string json;
        std::string error;
    };
    const Case cases[] = {
        {R"([])", "scenario: expected an object, got []"},
        {R"({})", "ports: expected at least one port"},
        {R"({"ports": []})", "ports: expected at least one port"},
        {R"({"ports": {}})", "ports: expected an array, got {}"},
        {R"({"ports": [{}], "port": 1})", "port: unknown field"},
        {R"({"ports": [{}, {}, {}, {}, {}, {}, {}, {}, {}]})", "ports: at most 8 entries, got 9"},
        {R"({"ports": [7]})", "ports[0]: expected an object, got 7"},
        {R"({"ports": [{"local": {"famly": "av"}}]})", "ports[0].local.famly: unknown field"},
        {R"({"ports": [{"local": {"family": "hp11"}}]})",
         R"(ports[0].local.family: expected "av", "hp10" or "turbo", got "hp11")"},
        {R"({"ports": [{"stations": [{"mac": "zz"}]}]})",
         R"(ports[0].stations[0].mac: expected a MAC address like 00:B0:52:00:00:10, got "zz")"},
        {R"({"ports": [{"local": {"mac": "01:00:5E:00:00:01"}}]})",
         "ports[0].local.mac: 01:00:5E:00:00:01 is a group address, not a device's"},
        {R"({"ports": [{"local": {"mac": "00:B0:52:00:00:01"}}]})",
         "ports[0].local.mac: 00:B0:52:00:00:01 is the local-management address, not a device's"},
        {R"({"ports": [{"stations": [{"mac": "00:B0:52:00:00:11"}]}, {"stations": [{"mac": "00:b0:52:00:00:11"}]}]})",
         "ports[1].stations[0].mac: 00:B0:52:00:00:11 is already the MAC of ports[0].stations[0]"},
        {R"({"ports": [{"local": {"key": "0011223344556677"}}]})",
         R"(ports[0].local.key: expected 16 bytes in hex (32 hex digits), got "0011223344556677")"},
        {R"({"ports": [{"local": {"family": "hp10", "key": "00112233445566zz"}}]})",
         R"(ports[0].local.key: expected 8 bytes in hex (16 hex digits), got "00112233445566zz")"},
        {R"({"ports": [{"local": {"networkName": "Office", "key": "00112233445566778899AABBCCDDEEFF"}}]})",
         "ports[0].local.key: give networkName or key, not both"},
        {R"({"ports": [{"local": {"networkName": ""}}]})",
         R"(ports[0].local.networkName: expected a text of 1 to 64 characters, got "")"},
        {R"({"ports": [{"local": {"chipGeneration": 256}}]})",
         "ports[0].local.chipGeneration: expected a whole number from 0 to 255, got 256"},
        {R"({"ports": [{"local": {"keySelect": 0}}]})",
         "ports[0].local.keySelect: expected a whole number from 1 to 255, got 0"},
        {R"({"ports": [{"local": {"rates": {"hp10": 1.5}}}]})",
         "ports[0].local.rates.hp10: expected a whole number from 0 to 65535, got 1.5"},
        {R"({"ports": [{"faults": {"latencyMs": -1}}]})",
         "ports[0].faults.latencyMs: expected a whole number from 0 to 3600000, got -1"},
        {R"({"ports": [{"local": {"faults": {"silent": "yes"}}}]})",
         R"(ports[0].local.faults.silent: expected true or false, got "yes")"},
        {R"({"ports": [{"local": {"faults": {"unrelated": ["smtp"]}}}]})",
         R"(ports[0].local.faults.unrelated[0]: expected "ipv4", "av", "av:0xMMMM", "hp10" or "hp10:0xTT", got "smtp")"},
        {R"({"ports": [{"local": {"faults": {"unrelated": ["hp10:0x100"]}}}]})",
         R"(ports[0].local.faults.unrelated[0]: expected "ipv4", "av", "av:0xMMMM", "hp10" or "hp10:0xTT", got "hp10:0x100")"},
        {R"({"ports": [{"faults": {"latencyByType": {"0xA0251": 5}}}]})",
         R"(ports[0].faults.latencyByType.0xA0251: expected a message type like "0xA025" or "0x13")"},
        {R"({"ports": [{"faults": {"latencyByType": {"0xA025": "5"}}}]})",
         R"(ports[0].faults.latencyByType.0xA025: expected a whole number from 0 to 3600000, got "5")"},
        {R"({"ports": [{"faults": {"latencyByType": [5]}}]})",
         "ports[0].faults.latencyByType: expected an object, got [5]"},
        {R"({"ports": [{"faults": {"spoofFrom": "01:00:5E:00:00:01"}}]})",
         R"(ports[0].faults.spoofFrom: expected an individual MAC address like 02:00:00:00:66:66, got "01:00:5E:00:00:01")"},
        {R"({"ports": [{"faults": {"spoofFrom": "00:00:00:00:00:00"}}]})",
         R"(ports[0].faults.spoofFrom: expected an individual MAC address like 02:00:00:00:66:66, got "00:00:00:00:00:00")"},
        {R"({"ports": [{"faults": {"spoofFrom": 7}}]})",
         R"(ports[0].faults.spoofFrom: expected an individual MAC address like 02:00:00:00:66:66, got 7)"},
        {R"({"ports": [{"faults": {"hostSourceBurst": 1001}}]})",
         "ports[0].faults.hostSourceBurst: expected a whole number from 0 to 1000, got 1001"},
        {R"({"ports": [{"faults": {"burst": {"count": 1001}}}]})",
         "ports[0].faults.burst.count: expected a whole number from 0 to 1000, got 1001"},
        {R"({"ports": [{"local": {"faults": {"burst": {"count": 8, "frame": "smtp"}}}}]})",
         R"(ports[0].local.faults.burst.frame: expected "ipv4", "av", "av:0xMMMM", "hp10" or "hp10:0xTT", got "smtp")"},
        {R"({"ports": [{"faults": {"burst": {"count": 8, "every": 2}}}]})",
         "ports[0].faults.burst.every: unknown field"},
        {R"({"ports": [{"faults": {"burst": 64}}]})",
         "ports[0].faults.burst: expected an object, got 64"},
        {R"({"ports": [{"faults": {"forgeVersion": 1}}]})",
         "ports[0].faults.forgeVersion: expected true or false, got 1"},
        {R"({"ports": [{"noise": {"everyMs": 0}}]})",
         "ports[0].noise.everyMs: expected a whole number from 1 to 3600000, got 0"},
        {R"({"ports": [{"noise": {"everyMs": 10, "frame": "smtp"}}]})",
         R"(ports[0].noise.frame: expected "ipv4", "av", "av:0xMMMM", "hp10" or "hp10:0xTT", got "smtp")"},
        {R"({"ports": [{"noise": {"everyMs": 10, "rate": 2}}]})", "ports[0].noise.rate: unknown field"},
        {R"({"ports": [{"local": {"pibVersion": "3"}}]})",
         R"(ports[0].local.pibVersion: expected a text of 3 to 7 characters, got "3")"},
        {R"({"ports": [{"local": {"pibVersion": "3.x"}}]})",
         R"(ports[0].local.pibVersion: expected "major.minor" like "3.3", got "3.x")"},
        {R"({"ports": [{"local": {"storedParams": "1111"}}]})",
         R"(ports[0].local.storedParams: expected 50 bytes in hex (100 hex digits), got "1111")"},
        {R"({"ports": [{"local": {"version": {"form": 1, "mayor": 2}}}]})",
         "ports[0].local.version.mayor: unknown field"},
        {R"({"ports": [{"local": {"firmware": ")" + std::string(65, 'x') + R"("}}]})",
         "ports[0].local.firmware: expected a text of 0 to 64 characters, got "
         "\"xxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxx..."},
        {R"({"ports": [{}, {"interface": "plc0"}]})",
         "ports[1].interface: plc0 is already the interface of ports[0]"},
        {R"({"ports": [{"interface": "a=b"}]})",
         "ports[0].interface: an interface name has no blanks and no '='"},
        {R"({"ports": [{"stations": {}}]})", "ports[0].stations: expected an array, got {}"},
        {R"({"ports": [{"local": {"workingParams": ")" + fifty + R"(0"}}]})",
         "ports[0].local.workingParams: expected 50 bytes in hex (100 hex digits), got "
         "\"111111111111111111111111111111111111..."},
    };
    for (const Case& c : cases) EXPECT_EQ(errorOf(c.json), c.error) << c.json;
}

TEST(Scenario, SyntaxErrorsGiveLineAndColumn) {
    EXPECT_EQ(errorOf("{\n  \"ports\": [{},]\n}").rfind("parse error at line 2, column 16:", 0), 0u)
        << errorOf("{\n  \"ports\": [{},]\n}");
    EXPECT_EQ(errorOf("").rfind("parse error at line 1, column 1:", 0), 0u) << errorOf("");
}

TEST(Scenario, FileErrorsStartWithThePath) {
    const std::string missing = testing::TempDir() + "/no-such-scenario.json";
    try {
        loadScenario(missing);
        ADD_FAILURE() << "no error";
    } catch (const ScenarioError& e) {
        EXPECT_EQ(std::string(e.what()), missing + ": cannot be read (No such file or directory)");
    }
    const std::string broken = testing::TempDir() + "/broken-scenario.json";
    std::ofstream(broken) << R"({"ports": [{"local": {"mac": 5}}]})";
    try {
        loadScenario(broken);
        ADD_FAILURE() << "no error";
    } catch (const ScenarioError& e) {
        EXPECT_EQ(
            std::string(e.what()),
            broken + ": ports[0].local.mac: expected a MAC address like 00:B0:52:00:00:10, got 5");
    }
    std::remove(broken.c_str());
}

// Files made to hurt the reader: refused with a message, never a crash, a hang or a huge
// allocation.
TEST(Scenario, HostileFilesAreRefusedWithAMessage) {
    const struct {
        std::string json;
        std::string error;
    } cases[] = {
        {std::string(100000, '[') + std::string(100000, ']'), "nested more than 32 levels deep"},
        {R"({"ports": [{"comment": ")" + std::string(100000, '{') + R"("}]})",
         "ports[0].comment: "},  // brackets inside a text are not nesting
        {R"({"ports": [{"local": {"mac": ")" + std::string("\xff") + R"("}}]})", "parse error"},
        {R"({"ports": [{"comment": "\ud800"}]})", "parse error"},
        {"{\"ports\": [{}]}" + std::string(5 * 1024 * 1024, ' '), "larger than 4194304 bytes"},
    };
    for (const auto& c : cases)
        EXPECT_NE(errorOf(c.json).find(c.error), std::string::npos)
            << c.json.substr(0, 60) << ": " << errorOf(c.json);

    const std::string fifo = testing::TempDir() + "/fifo-scenario.json";
    std::remove(fifo.c_str());
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    try {
        loadScenario(fifo);
        ADD_FAILURE() << "no error";
    } catch (const ScenarioError& e) {
        EXPECT_EQ(std::string(e.what()), fifo + ": cannot be read (not a regular file)");
    }
    std::remove(fifo.c_str());
}

TEST(Scenario, HelpDocumentsEveryField) {
    const std::string help = scenarioFormatHelp();
    for (const char* field :
         {"ports",          "comment",          "interface",     "local",
          "stations",       "faults",           "family",        "mac",
          "password",       "networkName",      "key",           "keySelect",
          "kind",           "chipGeneration",   "firmware",      "vendor",
          "product",        "version",          "turboFirmware", "pibVersion",
          "configStatus",   "configBlock",      "storedParams",  "workingParams",
          "rates",          "rebootMs",         "avTx",          "avRx",
          "hp10",           "hp10Aux1",         "hp10Aux2",      "turbo",
          "offline",        "silent",           "latencyMs",     "avStatus",
          "unrelated",      "indications",      "truncate",      "latencyByType",
          "noise",          "spoofNetworkInfo", "forgeVersion",  "spoofFrom",
          "hostSourceBurst"})
        EXPECT_NE(help.find("\n  " + std::string(field) + " "), std::string::npos) << field;
}

}  // namespace
}  // namespace corvel::sim::test
