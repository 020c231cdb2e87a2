// SPDX-License-Identifier: MIT
// The link-health messages on a real wire: the codec's requests sent to plcsim serving
// sim/scenarios/health.json, its answers read back by the codec's decoders (health_probe), and
// both read again by tshark's HomePlug AV dissector, which must name the same fields and find
// nothing malformed.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "tests/e2e/netns_run.h"

namespace corvel::e2e::health {
namespace {

using Json = nlohmann::json;

const char* const kLocal = "00:B0:52:00:00:10";
const char* const kStation = "00:B0:52:00:00:11";

class HealthEndToEnd : public NamespacedTest {
protected:
    Json probe() {
        const CommandResult run =
            runInNamespaces(sourcePath("sim/scenarios/health.json"), capture,
                            {binaryPath("tests/e2e/health_probe"), "host0", kLocal, kStation});
        EXPECT_EQ(run.status, 0) << run.out << run.err;
        return Json::parse(run.out.empty() ? "{}" : run.out);
    }
    // Each captured frame that matches `filter`, as its fields separated by tabs.
    std::vector<std::string> fields(const std::string& filter, std::vector<std::string> names) {
        return dissect(capture, names, filter);
    }
};

TEST_F(HealthEndToEnd, TheSimulatorsAnswersReadAlikeByTheCodecAndByTshark) {
    const Json out = probe();

    // Link statistics of both directions, as the local device sees its link to the station.
    const Json& stats = out["linkStats"];
    ASSERT_TRUE(stats.is_object()) << out.dump(2);
    EXPECT_EQ(stats["status"], 0);
    EXPECT_EQ(stats["direction"], 2);
    EXPECT_EQ(stats["tei"], 2);
    const uint64_t sent = stats["tx"]["mpdusAcked"];
    EXPECT_GT(sent, 0u);  // 400 frames a second since plcsim started
    EXPECT_EQ(stats["tx"]["mpdusCollided"], sent * 12 / 1000);
    EXPECT_EQ(stats["tx"]["pbsPassed"], 3 * sent);
    EXPECT_EQ(stats["rx"]["mpdusAcked"], sent / 2);
    // Two tone map slots, two intervals; the receive rate byte 140 is 185 Mbit/s.
    const Json& intervals = stats["rx"]["intervals"];
    ASSERT_EQ(intervals.size(), 2u);
    EXPECT_EQ(intervals[0]["phyRateMbps"], 185);
    EXPECT_EQ(intervals[1]["phyRateMbps"], 166);

    // The station's own receive side of the same link, at priority 1 only.
    const Json& station = out["stationReceive"];
    EXPECT_EQ(station["status"], 0);
    EXPECT_EQ(station["tei"], 1);
    EXPECT_FALSE(station.contains("tx"));
    EXPECT_GE(station["rx"]["mpdusAcked"].get<uint64_t>(), sent);

    // Flat 1024-QAM with two amateur bands notched: 13 carriers in 7.0..7.3 MHz, 14 in
    // 14.0..14.35 MHz. The second slot is one code lower.
    const Json& tx = out["txToneMap"];
    EXPECT_EQ(tx["status"], 0);
    EXPECT_EQ(tx["carriers"], 1155);
    EXPECT_EQ(tx["toneMaps"], 2);
    EXPECT_EQ(tx["modulated"], 1155 - 13 - 14);
    EXPECT_EQ(tx["bitsPerSymbol"], (1155 - 27) * 10);
    EXPECT_EQ(tx["runs"], Json::parse(R"([{"carrier": 0, "code": 7}, {"carrier": 213, "code": 0},
        {"carrier": 226, "code": 7}, {"carrier": 500, "code": 0}, {"carrier": 514, "code": 7}])"));
    const Json& rx = out["rxToneMap"];
    EXPECT_EQ(rx["slot"], 1);
    EXPECT_EQ(rx["bitsPerSymbol"], (1155 - 27) * 8);
    EXPECT_EQ(rx["guardInterval"], 1);
    EXPECT_EQ(rx["agc"], 16);
    EXPECT_EQ(out["unknownPeer"]["status"], 1);
    EXPECT_EQ(out["reset"]["status"], 0);
    EXPECT_TRUE(out["duringReset"].is_null()) << "the station answered while restarting";

    // tshark reads the same: nothing malformed, the requests' fields as encoded, the answers'
    // fields as decoded.
    EXPECT_EQ(fields("_ws.malformed || _ws.expert.severity >= warning", {"frame.number"}),
              std::vector<std::string>{});
    EXPECT_EQ(fields("homeplug_av.lnk_stats_req",
                     {"homeplug_av.lnk_stats_req.mcontrol", "homeplug_av.lnk_stats_req.dir",
                      "homeplug_av.lnk_stats_req.lid", "homeplug_av.lnk_stats_req.macaddr"}),
              (std::vector<std::string>{"0x00\t0x02\t0xf8\t00:b0:52:00:00:11",
                                        "0x00\t0x01\t0x01\t00:b0:52:00:00:10",
                                        "0x00\t0x00\t0xf8\t00:b0:52:00:00:10"}));
    EXPECT_EQ(fields("homeplug_av.lnk_stats_cnf.dir == 2",
                     {"homeplug_av.lnk_stats_cnf.tei", "homeplug_av.lnk_stats.tx.mpdu_ack",
                      "homeplug_av.lnk_stats.rx.num_int", "homeplug_av.lnk_stats.rx.inv.phy_rate"}),
              (std::vector<std::string>{"0x02\t" + std::to_string(sent) + "\t2\t185,166"}));
    EXPECT_EQ(fields("homeplug_av.tone_map_tx_req || homeplug_av.tone_map_rx_req",
                     {"homeplug_av.tone_map_tx_req.mac", "homeplug_av.tone_map_rx_req.mac",
                      "homeplug_av.tone_map_tx_req.slot", "homeplug_av.tone_map_rx_req.slot"}),
              (std::vector<std::string>{"00:b0:52:00:00:11\t\t0\t", "\t00:b0:52:00:00:11\t\t1",
                                        "00:b0:52:00:00:99\t\t0\t"}));
    EXPECT_EQ(fields("homeplug_av.tone_map_tx_cnf || homeplug_av.tone_map_rx_cnf",
                     {"homeplug_av.tone_map_tx_cnf.num_act", "homeplug_av.tone_map_rx_cnf.num_act",
                      "homeplug_av.tone_map_rx_cnf.gil", "homeplug_av.tone_map_rx_cnf.agc"}),
              (std::vector<std::string>{"1155\t\t\t", "\t1155\t1\t16", "0\t\t\t"}));
    EXPECT_EQ(fields("homeplug_av.rs_dev_cnf", {"homeplug_av.rs_dev_cnf.status"}),
              std::vector<std::string>{"0x00"});
}

}  // namespace
}  // namespace corvel::e2e::health
