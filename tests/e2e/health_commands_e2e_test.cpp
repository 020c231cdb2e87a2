// SPDX-License-Identifier: MIT
// corvel stats, tonemap and restart against plcsim serving sim/scenarios/health.json on the
// namespaced wire, with tshark's HomePlug AV dissector reading every request and answer.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <iostream>
#include <nlohmann/json.hpp>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "tests/e2e/netns_run.h"

namespace corvel::e2e::health_commands {
namespace {

using Json = nlohmann::json;

const char* const kLocal = "00:B0:52:00:00:10";
const char* const kStation = "00:B0:52:00:00:11";

class HealthCommandsEndToEnd : public NamespacedTest {
protected:
    // Runs the shell `script` in the host namespace with $0 corvel and $1 the scratch directory.
    CommandResult run(const std::string& script) {
        return runInNamespaces(sourcePath("sim/scenarios/health.json"), capture,
                               {"sh", "-c", script, binaryPath("app/corvel"), dir.string()});
    }
    std::string read(const std::string& name) {
        std::ifstream in(dir / name);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }
    std::vector<std::string> fields(const std::string& filter, std::vector<std::string> names) {
        return dissect(capture, names, filter);
    }
    void expectNothingMalformed() {
        EXPECT_EQ(fields("_ws.malformed || _ws.expert.severity >= warning", {"frame.number"}),
                  std::vector<std::string>{});
    }
};

TEST_F(HealthCommandsEndToEnd, StatsAndToneMapsReadAsTsharkReadsThem) {
    const CommandResult result =
        run("\"$0\" stats 00:B0:52:00:00:11 --json > \"$1/stats.json\" && "
            "\"$0\" tonemap 00:B0:52:00:00:11 --json > \"$1/tx.json\" && "
            "\"$0\" tonemap 00:b0:52:00:00:11 --rx --slot 1 --csv > \"$1/rx.csv\" && "
            "\"$0\" tonemap 00B052000011 > \"$1/chart.txt\"");
    ASSERT_EQ(result.status, 0) << result.out << result.err;

    const Json stats = Json::parse(read("stats.json"), nullptr, false);
    ASSERT_TRUE(stats.is_object()) << read("stats.json");
    EXPECT_EQ(stats["local"], kLocal);
    EXPECT_EQ(stats["tei"], 2);
    // 400 frames a second since plcsim started, 12 per thousand colliding, three blocks each.
    const uint64_t sent = stats["tx"]["mpduAcked"];
    EXPECT_GT(sent, 0u);
    EXPECT_EQ(stats["tx"]["mpduCollided"], sent * 12 / 1000);
    EXPECT_EQ(stats["tx"]["pbPassed"], 3 * sent);
    EXPECT_EQ(stats["rx"]["mpduAcked"], sent / 2);
    EXPECT_EQ(stats["rx"]["intervals"].size(), 2u);
    const uint64_t pbPassed = stats["tx"]["pbPassed"], pbFailed = stats["tx"]["pbFailed"];
    EXPECT_DOUBLE_EQ(stats["tx"]["pbErrorRatio"].get<double>(),
                     double(pbFailed) / double(pbPassed + pbFailed));

    // Flat 1024-QAM with the 7.0-7.3 and 14.0-14.35 MHz bands notched.
    const Json tx = Json::parse(read("tx.json"), nullptr, false);
    ASSERT_TRUE(tx.is_object()) << read("tx.json");
    EXPECT_EQ(tx["direction"], "tx");
    EXPECT_EQ(tx["activeCarriers"], 1155 - 13 - 14);
    ASSERT_EQ(tx["carriers"].size(), 1155u);
    EXPECT_EQ(tx["carriers"][213]["modulation"], "none");
    EXPECT_EQ(tx["carriers"][226]["bits"], 10);

    // The receive map of the second slot, one code lower.
    const std::string csv = read("rx.csv");
    EXPECT_EQ(csv.rfind("index,frequencyHz,modulation,bits\n0,1806640.625,256-QAM,8\n", 0), 0u)
        << csv.substr(0, 200);
    EXPECT_EQ(std::count(csv.begin(), csv.end(), '\n'), 1156);

    const std::string chart = read("chart.txt");
    EXPECT_EQ(chart.rfind("Transmit tone map to station 00:B0:52:00:00:11, slot 0 of 2", 0), 0u)
        << chart;
    EXPECT_NE(chart.find("active carriers 1128 of 1155, mean 10.00 bits, 11280 raw bits per "
                         "symbol"),
              std::string::npos)
        << chart;

    // On the wire: every request to the local device, naming the station; the answers from it.
    expectNothingMalformed();
    EXPECT_EQ(fields("homeplug_av.lnk_stats_req",
                     {"eth.dst", "homeplug_av.lnk_stats_req.mcontrol",
                      "homeplug_av.lnk_stats_req.dir", "homeplug_av.lnk_stats_req.lid",
                      "homeplug_av.lnk_stats_req.macaddr"}),
              std::vector<std::string>{"00:b0:52:00:00:10\t0x00\t0x02\t0xf8\t00:b0:52:00:00:11"});
    EXPECT_EQ(fields("homeplug_av.lnk_stats_cnf",
                     {"eth.src", "homeplug_av.lnk_stats_cnf.tei",
                      "homeplug_av.lnk_stats.tx.mpdu_ack", "homeplug_av.lnk_stats.rx.num_int"}),
              std::vector<std::string>{"00:b0:52:00:00:10\t0x02\t" + std::to_string(sent) + "\t2"});
    EXPECT_EQ(fields("homeplug_av.tone_map_tx_req || homeplug_av.tone_map_rx_req",
                     {"eth.dst", "homeplug_av.tone_map_tx_req.mac",
                      "homeplug_av.tone_map_rx_req.mac", "homeplug_av.tone_map_tx_req.slot",
                      "homeplug_av.tone_map_rx_req.slot"}),
              (std::vector<std::string>{"00:b0:52:00:00:10\t00:b0:52:00:00:11\t\t0\t",
                                        "00:b0:52:00:00:10\t\t00:b0:52:00:00:11\t\t1",
                                        "00:b0:52:00:00:10\t00:b0:52:00:00:11\t\t0\t"}));
    EXPECT_EQ(fields("homeplug_av.tone_map_tx_cnf || homeplug_av.tone_map_rx_cnf",
                     {"eth.src", "homeplug_av.tone_map_tx_cnf.num_act",
                      "homeplug_av.tone_map_rx_cnf.num_act", "homeplug_av.tone_map_rx_cnf.slot"}),
              (std::vector<std::string>{"00:b0:52:00:00:10\t1155\t\t",
                                        "00:b0:52:00:00:10\t\t1155\t1",
                                        "00:b0:52:00:00:10\t1155\t\t"}));
}

TEST_F(HealthCommandsEndToEnd, AStationAndTheLocalDeviceRestartAndAreBack) {
    const CommandResult result =
        run("\"$0\" restart 00:B0:52:00:00:11 --yes && \"$0\" restart --local --yes");
    ASSERT_EQ(result.status, 0) << result.out << result.err;
    // Silent for the scenario's 4 s (the station) and 3 s (the local device) after confirming,
    // seen back by the next version request, one about every quarter second.
    const std::regex back("(00:B0:52:00:00:1[01]) answers again ([0-9]+\\.[0-9]) s after its reset");
    std::vector<std::pair<std::string, double>> times;
    for (std::sregex_iterator m(result.out.begin(), result.out.end(), back), end; m != end; ++m)
        times.emplace_back((*m)[1], std::stod((*m)[2]));
    ASSERT_EQ(times.size(), 2u) << result.out;
    EXPECT_EQ(times[0].first, kStation);
    EXPECT_GE(times[0].second, 4.0);
    EXPECT_LE(times[0].second, 4.6);
    EXPECT_EQ(times[1].first, kLocal);
    EXPECT_GE(times[1].second, 3.0);
    EXPECT_LE(times[1].second, 3.6);
    std::cout << "restart measured: station " << times[0].second << " s (silence 4 s), local "
              << times[1].second << " s (silence 3 s)\n";

    expectNothingMalformed();
    EXPECT_EQ(fields("homeplug_av.mmhdr.mmtype.qualcomm == 0xa01c", {"eth.dst"}),
              (std::vector<std::string>{"00:b0:52:00:00:11", "00:b0:52:00:00:10"}));
    EXPECT_EQ(fields("homeplug_av.rs_dev_cnf", {"eth.src", "homeplug_av.rs_dev_cnf.status"}),
              (std::vector<std::string>{"00:b0:52:00:00:11\t0x00", "00:b0:52:00:00:10\t0x00"}));
}

// Without --yes on a terminal the question is asked; "y" restarts, and the time elapsed shows
// while the device is away.
TEST_F(HealthCommandsEndToEnd, OnATerminalTheRestartIsAskedFirst) {
    const CommandResult result = runInNamespaces(
        sourcePath("sim/scenarios/health.json"), capture,
        {sourcePath("tests/e2e/on_terminal.py"), "--expect", "[y/N]", "--type", "y\\n", "--",
         binaryPath("app/corvel"), "restart", kStation});
    ASSERT_EQ(result.status, 0) << result.out << result.err;
    for (const std::string shown :
         {"Restart: Restart the station 00:B0:52:00:00:11 of the local device 00:B0:52:00:00:10? "
          "Its links are down until it is back. [y/N]",
          "waiting for 00:B0:52:00:00:11: 2.", "00:B0:52:00:00:11 answers again 4."})
        EXPECT_NE(result.out.find(shown), std::string::npos) << shown << "\n" << result.out;
}

}  // namespace
}  // namespace corvel::e2e::health_commands
