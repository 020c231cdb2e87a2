// SPDX-License-Identifier: MIT
// corvel stats, tonemap and restart run in-process against the simulated network on the
// in-memory wire and the virtual clock.
#include <gtest/gtest.h>

#include <algorithm>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "avcodec/link_health.h"
#include "cli/tonemap_chart.h"
#include "core/tables.h"
#include "keys/derive.h"
#include "platform/bytes.h"
#include "platform/clock.h"
#include "platform/mac.h"
#include "platform/process_state.h"
#include "sim/memory_link.h"
#include "sim/network.h"
#include "tests/cli/cli_run.h"
#include "tests/sim/sim_devices.h"
#include "tests/sim/simulated_network.h"
#include "transport/memory_wire.h"

namespace corvel::test {
namespace {

using Json = nlohmann::json;

const std::string kLocalText = formatMac(kAvLocal);
const std::string kStationText = formatMac(kAvStation);
const Mac kStranger{0x00, 0xB0, 0x52, 0x00, 0x00, 0x77};

// Characters as a terminal shows them: UTF-8 lead bytes only.
size_t columns(const std::string& line) {
    return size_t(std::count_if(line.begin(), line.end(),
                                [](char c) { return (uint8_t(c) & 0xC0) != 0x80; }));
}

std::vector<std::string> linesOf(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

// An AV local device and one station whose link carries the simulator's default traffic: 100
// frames a second to the station, 10 per thousand errors, a flat 1024-QAM tone map with one
// notch and two slots, back 4 s after a reset.
class HealthCommands : public SimulatedNetwork, public ::testing::Test {
protected:
    void SetUp() override {
        resetProcessState();
        installCaptureBackend(&wire);
        station.profile.link.toneMap.slots = 2;
        station.profile.link.toneMap.notches = {{7000, 7300}};
        station.profile.link.resetSilenceMs = 4000;
    }
    void TearDown() override {
        installCaptureBackend(nullptr);
        resetProcessState();
    }

    void start() {
        addSimPort(net, local, {station});
        sim::attachToMemoryWire(net, wire, clock);
    }
    CliRun run(std::vector<std::string> args) {
        resetProcessState();  // each run is a process of its own
        return corvel(std::move(args));
    }
    Json runJson(std::vector<std::string> args, int status = 0) {
        args.push_back("--json");
        const CliRun r = run(args);
        EXPECT_EQ(r.status, status) << r.err << r.out;
        EXPECT_EQ(r.err, "");
        const Json result = Json::parse(r.out, nullptr, false);
        EXPECT_FALSE(result.is_discarded()) << r.out;
        return result;
    }
    // The requests of `mmtype` the host sent, by their destination.
    std::vector<std::string> sentTo(uint16_t mmtype) const {
        std::vector<std::string> to;
        for (const auto& f : wire.sent())
            if (f.bytes.size() >= 20 && get16le(&f.bytes[15]) == mmtype)
                to.push_back(formatMac(macOf(f.bytes.data())));
        return to;
    }

    DeviceConfig local = deviceConfig(Family::Av, kAvLocal);
    DeviceConfig station = deviceConfig(Family::Av, kAvStation);
};

TEST_F(HealthCommands, StatsGivesBothDirectionsAndTheirErrorRatios) {
    // 20 frames a second, one each 50 ms: the few milliseconds the command takes to find the
    // station count no frame.
    station.profile.link.mpdusPerSecond = 20;
    station.profile.link.errorPermille = 50;
    start();
    clock.advanceTo(clock.tickCount() + 10000);  // ten seconds of traffic
    const Json r = runJson({"stats", kStationText});
    EXPECT_EQ(r["local"], kLocalText);
    EXPECT_EQ(r["station"], kStationText);
    EXPECT_EQ(r["tei"], 2);
    // To the station 200 frames, 10 collided, 2 failed, three blocks each, 30 blocks broken;
    // from it half as many frames, 5 collided and 1 failed received broken.
    EXPECT_EQ(r["tx"], Json::parse(R"({"mpduAcked": 200, "mpduCollided": 10, "mpduFailed": 2,
        "pbPassed": 600, "pbFailed": 30, "pbErrorRatio": 0.047619047619047616})"));
    const Json& rx = r["rx"];
    EXPECT_EQ(rx["mpduAcked"], 100);
    EXPECT_EQ(rx["mpduFailed"], 6);
    EXPECT_EQ(rx["pbPassed"], 300);
    EXPECT_EQ(rx["pbFailed"], 15);
    EXPECT_EQ(rx["tbPassed"], 600);
    EXPECT_EQ(rx["tbFailed"], 960);
    EXPECT_DOUBLE_EQ(rx["pbErrorRatio"].get<double>(), 15.0 / 315.0);
    EXPECT_EQ(rx["intervals"].size(), 2u) << "one interval per tone map slot";
    // Through the local device, which names the station in the request.
    EXPECT_EQ(sentTo(kMmLinkStatsRequest), std::vector<std::string>{kLocalText});

    const CliRun text = run({"stats", kStationText});
    ASSERT_EQ(text.status, 0) << text.err;
    for (const std::string& line : linesOf(text.out)) EXPECT_LE(columns(line), 80u) << line;
    EXPECT_EQ(text.out.rfind("Local device " + kLocalText + " to station " + kStationText +
                                 " (TEI 2)\n  since the device started",
                             0),
              0u)
        << text.out;
    for (const char* row :
         {"  MPDUs acknowledged                              200              100\n",
          "  MPDUs collided                                   10                -\n",
          "  PBs failed                                       30               15\n",
          "  TBs failed (turbo bit errors)                     -              960\n",
          "  PB error ratio                               4.76 %           4.76 %\n",
          "  receive interval   Mbit/s  PBs passed  PBs failed  TBs passed  TBs failed\n",
          "  2                     134         150           7         300         480\n"})
        EXPECT_NE(text.out.find(row), std::string::npos) << row << "\n" << text.out;
}

TEST_F(HealthCommands, StatsOfALinkWithoutBlocksHasNoErrorRatio) {
    station.profile.link.mpdusPerSecond = 0;
    start();
    const Json r = runJson({"stats", kStationText});
    EXPECT_TRUE(r["tx"]["pbErrorRatio"].is_null()) << r;
    EXPECT_TRUE(r["rx"]["pbErrorRatio"].is_null()) << r;
    const CliRun text = run({"stats", kStationText});
    EXPECT_NE(text.out.find("  PB error ratio                                  n/a              n/a\n"),
              std::string::npos)
        << text.out;
}

TEST_F(HealthCommands, StatsFailuresExitOneWithTheirReason) {
    const struct {
        const char* name;
        void (*configure)(DeviceConfig& local, DeviceConfig& station);
        Mac asked;
        std::string error;
    } cases[] = {
        {"the answer comes too late",
         [](DeviceConfig& l, DeviceConfig&) { l.profile.faults.latencyByType[0xA031] = 300; },
         kAvStation,
         "no answer from " + kLocalText + " to the link statistics request for " +
             kStationText + " within 100 ms"},
        {"the local device refuses",
         [](DeviceConfig& l, DeviceConfig&) { l.profile.faults.avStatus = 0x20; }, kAvStation,
         kLocalText + " refused the link statistics request for " + kStationText +
             ": Invalid MAC Address (status 0x20)"},
        {"no such station", [](DeviceConfig&, DeviceConfig&) {}, kStranger,
         "00:B0:52:00:00:77 is neither an AV local device nor a station of its network (local "
         "devices: " + kLocalText + " on interface 0 plc0)"},
        {"the local device", [](DeviceConfig&, DeviceConfig&) {}, kAvLocal,
         kLocalText + " is the local device: name a station of its network, the other end of "
                      "the link"},
        {"the station is on another network",
         [](DeviceConfig&, DeviceConfig& s) { s.nmk = deriveNMK("NeighboursNet"); }, kAvStation,
         kStationText + " is neither an AV local device nor a station of its network (local "
                        "devices: " + kLocalText + " on interface 0 plc0)"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        net = sim::Network();
        local = deviceConfig(Family::Av, kAvLocal);
        station = deviceConfig(Family::Av, kAvStation);
        c.configure(local, station);
        start();
        const Json r = runJson({"stats", formatMac(c.asked)}, 1);
        EXPECT_EQ(r, (Json{{"error", c.error}, {"status", 1}}));
        const CliRun text = run({"stats", formatMac(c.asked)});
        EXPECT_EQ(text.status, 1);
        EXPECT_EQ(text.out, "");
        EXPECT_EQ(text.err, "corvel: " + c.error + "\n");
    }
}

TEST_F(HealthCommands, NoAvLocalDeviceIsAnError) {
    addSimPort(net, deviceConfig(Family::Turbo, kTurboLocal));
    sim::attachToMemoryWire(net, wire, clock);
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"stats", kStationText}, {"tonemap", kStationText},
          {"restart", "--local", "--yes"}}) {
        const CliRun r = run(args);
        EXPECT_EQ(r.status, 1) << args[0];
        EXPECT_EQ(r.err, "corvel: no HomePlug AV local device answered on any interface\n");
    }
    EXPECT_TRUE(sentTo(kMmResetDeviceRequest).empty());
}

TEST_F(HealthCommands, ToneMapJsonNamesEveryCarrier) {
    start();
    std::vector<std::string> keys;
    const CliRun ordered = run({"tonemap", kStationText, "--json"});
    const nlohmann::ordered_json document = nlohmann::ordered_json::parse(ordered.out);
    for (const auto& [key, value] : document.items()) keys.push_back(key);
    wire.clearSent();
    const Json r = runJson({"tonemap", kStationText});
    EXPECT_EQ(keys, (std::vector<std::string>{"mac", "direction", "slot", "activeCarriers",
                                              "carriers"}));
    EXPECT_EQ(r["mac"], kStationText);
    EXPECT_EQ(r["direction"], "tx");
    EXPECT_EQ(r["slot"], 0);
    // 7.0 to 7.3 MHz notched: the 13 carriers from 7.006 MHz up.
    EXPECT_EQ(r["activeCarriers"], 1155 - 13);
    const Json& carriers = r["carriers"];
    ASSERT_EQ(carriers.size(), 1155u);
    EXPECT_EQ(carriers[0], Json::parse(R"({"index": 0, "frequencyHz": 1806640.625,
        "modulation": "1024-QAM", "bits": 10})"));
    EXPECT_EQ(carriers[1154]["frequencyHz"], 29980468.75);
    EXPECT_EQ(carriers[213], Json::parse(R"({"index": 213, "frequencyHz": 7006835.9375,
        "modulation": "none", "bits": 0})"));
    EXPECT_EQ(carriers[212]["modulation"], "1024-QAM");
    EXPECT_EQ(sentTo(kMmTxToneMapRequest), std::vector<std::string>{kLocalText});

    // The receive map of the second slot: one code lower, 256-QAM.
    const Json rx = runJson({"tonemap", kStationText, "--rx", "--slot", "1"});
    EXPECT_EQ(rx["direction"], "rx");
    EXPECT_EQ(rx["slot"], 1);
    EXPECT_EQ(rx["carriers"][0]["modulation"], "256-QAM");
    EXPECT_EQ(rx["carriers"][0]["bits"], 8);
    EXPECT_EQ(sentTo(kMmRxToneMapRequest), std::vector<std::string>{kLocalText});
}

TEST_F(HealthCommands, ToneMapCsvHasAHeaderAndOneLinePerCarrier) {
    start();
    const CliRun r = run({"tonemap", kStationText, "--csv"});
    ASSERT_EQ(r.status, 0) << r.err;
    const std::vector<std::string> lines = linesOf(r.out);
    ASSERT_EQ(lines.size(), 1156u);
    EXPECT_EQ(lines[0], "index,frequencyHz,modulation,bits");
    EXPECT_EQ(lines[1], "0,1806640.625,1024-QAM,10");
    EXPECT_EQ(lines[214], "213,7006835.9375,none,0");
    EXPECT_EQ(lines[1155], "1154,29980468.75,1024-QAM,10");

    const CliRun both = run({"tonemap", kStationText, "--csv", "--json"});
    EXPECT_EQ(both.status, 2) << "one output format at a time";
}

TEST_F(HealthCommands, ToneMapTextFitsEightyColumns) {
    start();
    const CliRun r = run({"tonemap", kStationText});
    ASSERT_EQ(r.status, 0) << r.err;
    const std::vector<std::string> lines = linesOf(r.out);
    ASSERT_EQ(lines.size(), 1u + kChartRows + 2 + 2) << r.out;
    for (const std::string& line : lines) EXPECT_LE(columns(line), 80u) << line;
    EXPECT_EQ(lines[0], "Transmit tone map to station " + kStationText +
                            ", slot 0 of 2, bits per carrier");
    // 1024-QAM fills five rows of two bits; the sixth (12 bits) stays empty.
    EXPECT_EQ(lines[1], "12 ┤" + std::string(73, ' '));
    // The notch of carriers 213 to 225: 11 of column 13's 16 carriers (208 to 223) are left
    // with a mean of 3.125 bits, 12.5 eighths of a row; column 14 (224 to 239) with 8.75 bits.
    const auto row = [](const char* label, const char* column13, const char* column14) {
        std::string line = std::string(label) + " ┤";
        for (int c = 0; c < 73; ++c) line += c == 13 ? column13 : c == 14 ? column14 : "█";
        return line;
    };
    EXPECT_EQ(lines[2], row("10", " ", "▃"));
    EXPECT_EQ(lines[3], row(" 8", " ", "█"));
    EXPECT_EQ(lines[5], row(" 4", "▅", "█"));
    EXPECT_EQ(lines[6], row(" 2", "█", "█"));
    EXPECT_EQ(lines[kChartRows + 2],
              "MHz 2       5            10          15           20           25           30");
    EXPECT_EQ(lines[kChartRows + 3],
              "active carriers 1142 of 1155, mean 10.00 bits, 11420 raw bits per symbol");
    EXPECT_EQ(lines[kChartRows + 4], "modulations: 1024-QAM 1142, none 13");
}

TEST_F(HealthCommands, ToneMapOfAnUnknownSlotIsAnError) {
    start();
    const Json r = runJson({"tonemap", kStationText, "--slot", "5"}, 1);
    EXPECT_EQ(r["error"], kLocalText + " refused the transmit tone map request for " +
                              kStationText + " in slot 5: Unknown Tone Map slot (status 0x02)");
    EXPECT_EQ(run({"tonemap", kStationText, "--slot", "256"}).status, 2);
}

TEST_F(HealthCommands, RestartWaitsUntilTheStationAnswersAgain) {
    start();
    const uint64_t before = clock.tickCount();
    const CliRun r = run({"restart", kStationText, "--yes"});
    ASSERT_EQ(r.status, 0) << r.err;
    const std::vector<std::string> lines = linesOf(r.out);
    ASSERT_EQ(lines.size(), 2u) << r.out;
    EXPECT_EQ(lines[0], "Reset confirmed by the station " + kStationText +
                            " of the local device " + kLocalText +
                            "; waiting for it to answer again (at most 60.0 s)");
    // Silent for its 4 s, seen back at the next version request (about every quarter second).
    const std::string prefix = kStationText + " answers again 4.";
    EXPECT_EQ(lines[1].substr(0, prefix.size()), prefix) << lines[1];
    EXPECT_EQ(lines[1].substr(prefix.size() + 1), " s after its reset");
    EXPECT_LT(clock.tickCount() - before, 6000u);
    EXPECT_EQ(sentTo(kMmResetDeviceRequest), std::vector<std::string>{kStationText});
}

TEST_F(HealthCommands, RestartOfTheLocalDevice) {
    local.profile.link.resetSilenceMs = 2500;
    start();
    const CliRun r = run({"restart", "--local", "--yes"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("Reset confirmed by the local device " + kLocalText + " on interface 0 plc0"),
              std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find(kLocalText + " answers again 2."), std::string::npos) << r.out;
    EXPECT_EQ(sentTo(kMmResetDeviceRequest), std::vector<std::string>{kLocalText});
}

TEST_F(HealthCommands, RestartFailuresExitOne) {
    const struct {
        const char* name;
        std::vector<std::string> args;
        void (*configure)(DeviceConfig& station);
        std::string error;
        bool resetSent;
    } cases[] = {
        {"not confirmed without a terminal", {"restart", kStationText},
         [](DeviceConfig&) {},
         "not restarted: there is no terminal to ask on; add --yes to restart " + kStationText,
         false},
        {"never back", {"restart", kStationText, "--yes"},
         [](DeviceConfig& s) { s.profile.link.resetSilenceMs = 120000; },
         kStationText + " did not answer within 60.0 s of its reset", true},
        {"refused", {"restart", kStationText, "--yes"},
         [](DeviceConfig& s) { s.profile.faults.avStatus = kResetNoNvm; },
         kStationText + " refused the reset request: NVM Not Present (status 0x01)", true},
        {"no confirmation", {"restart", kStationText, "--yes"},
         [](DeviceConfig& s) { s.profile.faults.latencyByType[0xA01D] = 500; },
         "no answer from " + kStationText + " to the reset request within 100 ms", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        net = sim::Network();
        wire.clearSent();
        station = deviceConfig(Family::Av, kAvStation);
        c.configure(station);
        start();
        const uint64_t before = clock.tickCount();
        const CliRun r = run(c.args);
        EXPECT_EQ(r.status, 1) << r.out;
        EXPECT_EQ(r.err, "corvel: " + c.error + "\n");
        EXPECT_EQ(sentTo(kMmResetDeviceRequest).size(), c.resetSent ? 1u : 0u);
        EXPECT_LT(clock.tickCount() - before, 62000u) << "the wait has its bound";
    }
}

TEST_F(HealthCommands, RestartNeedsOneDevice) {
    start();
    EXPECT_EQ(run({"restart", "--yes"}).status, 2);
    EXPECT_EQ(run({"restart", kStationText, "--local", "--yes"}).status, 2);
    EXPECT_EQ(run({"restart", "not-a-mac", "--yes"}).status, 2);
    EXPECT_TRUE(sentTo(kMmResetDeviceRequest).empty());
}

// The chart on its own: band heights in eighths of a two-bit row, the axis under the bands.
TEST(ToneMapChart, DrawsTheMeanBitsOfEachBand) {
    EXPECT_TRUE(toneMapChart({}).empty());
    // 32 carriers: a band of 4096-QAM (12 bits, every row full) and a band of which half is
    // QPSK (mean 1 bit: half of the lowest row).
    std::vector<uint8_t> codes(16, 8);
    for (int i = 0; i < 16; ++i) codes.push_back(i % 2 == 0 ? 2 : 0);
    const std::vector<std::string> lines = toneMapChart(codes);
    ASSERT_EQ(lines.size(), size_t(kChartRows) + 2);
    EXPECT_EQ(lines[0], "12 ┤█ ");
    EXPECT_EQ(lines[4], " 4 ┤█ ");
    EXPECT_EQ(lines[5], " 2 ┤█▄");
    EXPECT_EQ(lines[6], "   └┬─");
    EXPECT_EQ(lines[7], "MHz 2");

    // Every code's height, one band each: bits x 4 eighths.
    std::vector<uint8_t> ladder;
    for (uint8_t code = 0; code <= kMaxModulationCode; ++code) ladder.insert(ladder.end(), 16, code);
    const std::vector<std::string> rows = toneMapChart(ladder);
    EXPECT_EQ(rows[5], " 2 ┤ ▄███████");  // 0, 1, 2, 3, 4, 6, 8, 10, 12 bits
    EXPECT_EQ(rows[4], " 4 ┤   ▄█████");
    EXPECT_EQ(rows[3], " 6 ┤     ████");
    EXPECT_EQ(rows[0], "12 ┤        █");
}

}  // namespace
}  // namespace corvel::test
