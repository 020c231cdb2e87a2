// SPDX-License-Identifier: MIT
#include "sim/health_responder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <optional>
#include <set>

#include "avcodec/link_health.h"
#include "platform/bytes.h"
#include "sim/scenario.h"
#include "tests/sim/sim_test_support.h"

// The simulator's side of the link-health exchanges. Each answer is checked at its bytes and
// read back through the utility's own decoders: the two sides are written from the layout
// independently, so a disagreement between them fails here.
namespace corvel::sim::test::health {
namespace {

const Mac kNear{0x00, 0xB0, 0x52, 0x00, 0x00, 0x11};
const Mac kFar{0x00, 0xB0, 0x52, 0x00, 0x00, 0x12};
const Mac kNeighbour{0x00, 0xB0, 0x52, 0x00, 0x00, 0x13};
const Mac kNobody{0x00, 0xB0, 0x52, 0x00, 0x00, 0x99};

uint64_t le64At(const Frame& f, size_t offset) {
    return uint64_t(get32le(&f[offset])) | uint64_t(get32le(&f[offset + 4])) << 32;
}

Frame linkStatsPayload(uint8_t control, uint8_t direction, uint8_t linkId, const Mac& peer) {
    return cat({{control, direction, linkId}, mac(peer)});
}

Frame toneMapPayload(const Mac& peer, uint8_t slot) {
    return cat({mac(peer), {slot}});
}

// The local device, two stations of its network (the near one with 100 frames a second and 10
// per thousand errors, the defaults) and a neighbour on another key.
class HealthResponder : public ::testing::Test {
protected:
    void SetUp() override {
        h.reset();
        h.net.addPort("plc0");
        h.net.setLocal(0, device(Family::Av, kLocal, "LQXD-7RKM-2FTA-9WPE"));
        DeviceConfig nearStation = device(Family::Av, kNear, "HZ4N-QK8V-MB2R-XT6C");
        nearStation.profile.rates.avTx = 151;
        nearStation.profile.rates.avRx = 140;
        h.net.addStation(0, nearStation);
        DeviceConfig farStation = device(Family::Av, kFar, "PW3J-UE9D-KC5L-RS7Y");
        farStation.profile.link.mpdusPerSecond = 40;
        farStation.profile.link.errorPermille = 0;
        h.net.addStation(0, farStation);
        DeviceConfig neighbour = device(Family::Av, kNeighbour, "NV6G-TB2W-ZF8H-QM4K");
        neighbour.nmk = deriveNMK("NeighboursNet");
        h.net.addStation(0, neighbour);
    }

    Device& at(const Mac& m) { return *h.net.device(m); }
    std::vector<Emitted> ask(const Mac& to, uint16_t mmtype, const Frame& payload = {}) {
        return h.exchange(0, avRequest(to, kHost, mmtype, payload));
    }
    // The one answer to a request, or an empty frame.
    Frame answer(const Mac& to, uint16_t mmtype, const Frame& payload = {}) {
        const auto out = ask(to, mmtype, payload);
        return out.size() == 1 ? out[0].frame : Frame{};
    }
    LinkStatsConfirm linkStats(const Mac& to, const Frame& payload) {
        const Frame f = answer(to, 0xA030, payload);
        LinkStatsConfirm c;
        const DecodeOutcome outcome = decodeLinkStatsConfirm(f, c);
        EXPECT_TRUE(outcome) << outcome.reason;
        return c;
    }
    std::vector<Mac> listed() {
        const Frame f = answer(kLocal, 0xA038);
        std::vector<Mac> macs;
        for (size_t i = 0; !f.empty() && i < f[38]; ++i) macs.push_back(macAt(&f[39 + 15 * i]));
        return macs;
    }
    // Rate bytes 13 and 14 of the local device's network-information entry for `station`.
    std::pair<int, int> ratesOf(const Mac& station) {
        const Frame f = answer(kLocal, 0xA038);
        for (size_t i = 0; !f.empty() && i < f[38]; ++i) {
            const uint8_t* entry = &f[39 + 15 * i];
            if (macAt(entry) == station) return {entry[13], entry[14]};
        }
        return {-1, -1};
    }

    Harness h;
};

TEST_F(HealthResponder, LinkStatisticsOfBothDirectionsAtTheirOffsets) {
    h.nowMs += 10000;  // ten seconds of traffic
    const Frame f = answer(kLocal, 0xA030, linkStatsPayload(0, 2, 0xF8, kNear));
    ASSERT_EQ(f.size(), 24u + 40 + 247);
    EXPECT_EQ(destinationOf(f), kHost);
    EXPECT_EQ(sourceOf(f), kLocal);
    EXPECT_EQ(Frame(f.begin() + 12, f.begin() + 24),
              (Frame{0x88, 0xE1, 0x00, 0x31, 0xA0, 0x00, 0xB0, 0x52, 0x00, 0x02, 0xF8, 0x02}));
    // To the station: 1000 frames, 10 per thousand collided, a quarter of those failed, three
    // blocks a frame, 10 per thousand of the blocks failed.
    const uint64_t tx[] = {1000, 10, 2, 3000, 30};
    for (size_t i = 0; i < 5; ++i) EXPECT_EQ(le64At(f, 24 + 8 * i), tx[i]) << i;
    // From it, half as many; broken frames are the collided and the failed ones.
    const uint64_t rx[] = {500, 5 + 1, 1500, 15, 3000, 15 * 64};
    for (size_t i = 0; i < 6; ++i) EXPECT_EQ(le64At(f, 64 + 8 * i), rx[i]) << i;
    EXPECT_EQ(f[112], 1);  // one tone map slot, one interval
    EXPECT_EQ(f[113], 140 * 200 / 151);
    EXPECT_EQ(le64At(f, 114), 1500u);

    LinkStatsConfirm c;
    const DecodeOutcome outcome = decodeLinkStatsConfirm(f, c);
    ASSERT_TRUE(outcome) << outcome.reason;
    ASSERT_TRUE(c.tx && c.rx);
    EXPECT_EQ(c.tei, 2);
    EXPECT_EQ(c.tx->mpdusAcked, 1000u);
    EXPECT_EQ(c.rx->pbsFailed, 15u);
    ASSERT_EQ(c.rx->intervals.size(), 1u);
    EXPECT_EQ(c.rx->intervals[0].phyRateMbps, 185);
}

TEST_F(HealthResponder, CountersGrowWithTimeAndAClearingReadRestartsThem) {
    h.nowMs += 4000;
    EXPECT_EQ(linkStats(kLocal, linkStatsPayload(0, 0, 0xF8, kNear)).tx->mpdusAcked, 400u);
    h.nowMs += 6000;
    // Read and clear: the answer still carries the counts, the next read starts from zero.
    EXPECT_EQ(linkStats(kLocal, linkStatsPayload(1, 0, 0xF8, kNear)).tx->mpdusAcked, 1000u);
    EXPECT_EQ(linkStats(kLocal, linkStatsPayload(0, 0, 0xF8, kNear)).tx->mpdusAcked, 0u);
    // Only the transmit side was cleared.
    EXPECT_EQ(linkStats(kLocal, linkStatsPayload(0, 1, 0xF8, kNear)).rx->mpdusAcked, 500u);
    h.nowMs += 2000;
    EXPECT_EQ(linkStats(kLocal, linkStatsPayload(0, 0, 0xF8, kNear)).tx->mpdusAcked, 200u);
}

TEST_F(HealthResponder, EachEndOfALinkSeesItsOwnDirections) {
    h.nowMs += 10000;
    // The station's transmit side is the local device's receive side.
    const LinkStatsConfirm station = linkStats(kNear, linkStatsPayload(0, 2, 0xF8, kLocal));
    ASSERT_TRUE(station.tx && station.rx);
    EXPECT_EQ(station.tei, 1);
    EXPECT_EQ(station.tx->mpdusAcked, 500u);
    EXPECT_EQ(station.rx->mpdusAcked, 1000u);
    // All links of the local device: both stations of its network, the neighbour not.
    const LinkStatsConfirm all = linkStats(kLocal, linkStatsPayload(0, 0, 0xFC, kBroadcastMac));
    ASSERT_TRUE(all.tx);
    EXPECT_EQ(all.tx->mpdusAcked, 1000u + 400u);
    EXPECT_EQ(all.tx->mpdusCollided, 10u);
}

TEST_F(HealthResponder, RequestsTheDeviceCannotAnswerGetTheirStatus) {
    struct Case {
        const char* name;
        Mac to;
        Frame payload;
        uint8_t status;
    };
    const Case cases[] = {
        {"control 2", kLocal, linkStatsPayload(2, 0, 0xF8, kNear), 0x01},
        {"direction 3", kLocal, linkStatsPayload(0, 3, 0xF8, kNear), 0x02},
        {"link id 5", kLocal, linkStatsPayload(0, 0, 5, kNear), 0x10},
        {"reserved link id 0xFB", kLocal, linkStatsPayload(0, 0, 0xFB, kNear), 0x10},
        {"nobody's address", kLocal, linkStatsPayload(0, 0, 0xF8, kNobody), 0x20},
        {"a station on another key", kLocal, linkStatsPayload(0, 0, 0xF8, kNeighbour), 0x20},
        // A station has a link to its local device only.
        {"station to station", kNear, linkStatsPayload(0, 0, 0xF8, kFar), 0x20},
    };
    h.nowMs += 1000;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Frame f = answer(c.to, 0xA030, c.payload);
        ASSERT_EQ(f.size(), 60u);
        EXPECT_EQ(f[20], c.status);
        LinkStatsConfirm decoded;
        ASSERT_TRUE(decodeLinkStatsConfirm(f, decoded));
        EXPECT_FALSE(decoded.tx || decoded.rx);
    }
    // A priority other than the data's carries nothing, successfully.
    const LinkStatsConfirm idle = linkStats(kLocal, linkStatsPayload(0, 2, 3, kNear));
    EXPECT_EQ(idle.status, 0);
    ASSERT_TRUE(idle.tx && idle.rx);
    EXPECT_EQ(idle.tx->mpdusAcked, 0u);
    EXPECT_TRUE(idle.rx->intervals.empty());
    // One byte short of the peer's address: no answer.
    Frame cut = avRequest(kLocal, kHost, 0xA030, linkStatsPayload(0, 2, 0xF8, kNear));
    cut.resize(28);
    EXPECT_TRUE(h.exchange(0, cut).empty());
}

TEST_F(HealthResponder, ToneMapsAreFlatSlopedAndNotched) {
    struct Case {
        const char* name;
        ToneMapShape shape;
        uint8_t slot;
        // The code carrier i at `mhz` must have; none where any code will do.
        std::function<std::optional<uint8_t>(double mhz, size_t i)> expected;
    };
    const Case cases[] = {
        {"flat 1024-QAM", {7, 7, {}, 1}, 0, [](double, size_t) { return uint8_t(7); }},
        {"sloped from 4096-QAM to QPSK",
         {8, 2, {}, 1},
         0,
         [](double, size_t i) -> std::optional<uint8_t> {
             if (i == 0) return 8;
             if (i == 577) return 5;
             if (i == 1154) return 2;
             return std::nullopt;
         }},
        {"flat 256-QAM with the 40 m amateur band notched",
         {6, 6, {{7000, 7300}}, 1},
         0,
         [](double mhz, size_t) { return uint8_t(mhz >= 7.0 && mhz <= 7.3 ? 0 : 6); }},
        {"second slot, one code lower",
         {6, 6, {}, 2},
         1,
         [](double, size_t) { return uint8_t(5); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        at(kNear).profile.link.toneMap = c.shape;
        const Frame f = answer(kLocal, 0xA070, toneMapPayload(kNear, c.slot));
        ASSERT_EQ(f.size(), 603u);
        EXPECT_EQ(Frame(f.begin() + 20, f.begin() + 25),
                  (Frame{0x00, c.slot, c.shape.slots, 0x83, 0x04}));  // 1155 carriers
        ToneMapConfirm map;
        const DecodeOutcome outcome = decodeToneMapConfirm(f, ToneMapDirection::Tx, map);
        ASSERT_TRUE(outcome) << outcome.reason;
        ASSERT_EQ(map.modulation.size(), 1155u);
        for (size_t i = 0; i < map.modulation.size(); ++i)
            if (const auto want = c.expected(carrierFrequencyMHz(i), i)) {
                ASSERT_EQ(map.modulation[i], *want) << "carrier " << i;
            }
        // A slope falls carrier by carrier, never rising on the way.
        EXPECT_TRUE(std::is_sorted(map.modulation.rbegin(), map.modulation.rend()) ||
                    c.shape.lowCode == c.shape.highCode);
    }
}

TEST_F(HealthResponder, ReceiveToneMapCarriesItsGainFieldsAndRefusalsTheirStatus) {
    const Frame f = answer(kNear, 0xA090, toneMapPayload(kLocal, 0));
    ASSERT_EQ(f.size(), 606u);
    EXPECT_EQ(f[603], 0x01);
    EXPECT_EQ(f[604], 0x10);
    ToneMapConfirm map;
    ASSERT_TRUE(decodeToneMapConfirm(f, ToneMapDirection::Rx, map));
    EXPECT_EQ(map.guardInterval, 0x01);
    EXPECT_EQ(map.agc, 0x10);
    EXPECT_EQ(modulatedCarriers(map), 1155u);

    struct Case {
        const char* name;
        Frame payload;
        uint8_t status;
    };
    const Case refusals[] = {
        {"nobody's address", toneMapPayload(kNobody, 0), 0x01},
        {"a station on another key", toneMapPayload(kNeighbour, 0), 0x01},
        {"slot 1 of a one-slot link", toneMapPayload(kNear, 1), 0x02},
    };
    for (const Case& c : refusals) {
        SCOPED_TRACE(c.name);
        const Frame refused = answer(kLocal, 0xA090, c.payload);
        ASSERT_EQ(refused.size(), 606u);
        EXPECT_EQ(refused[20], c.status);
        ToneMapConfirm decoded;
        ASSERT_TRUE(decodeToneMapConfirm(refused, ToneMapDirection::Rx, decoded));
        EXPECT_TRUE(decoded.modulation.empty());
    }
}

TEST_F(HealthResponder, AResetDeviceConfirmsGoesSilentAndComesBackWithFreshCounters) {
    at(kNear).profile.link.resetSilenceMs = 8000;
    h.nowMs += 10000;
    const Frame f = answer(kNear, 0xA01C);
    ASSERT_EQ(f.size(), 60u);
    ResetDeviceConfirm c;
    ASSERT_TRUE(decodeResetDeviceConfirm(f, c));
    EXPECT_EQ(c.status, 0);
    EXPECT_EQ(c.device, kNear);

    h.nowMs += 7999;
    EXPECT_TRUE(ask(kNear, 0xA000).empty());
    EXPECT_EQ(listed(), (std::vector<Mac>{kFar}));
    h.nowMs += 1;
    EXPECT_EQ(ask(kNear, 0xA000).size(), 1u);
    EXPECT_EQ(listed(), (std::vector<Mac>{kNear, kFar}));
    // Counted from its return, on both ends of the link.
    h.nowMs += 3000;
    EXPECT_EQ(linkStats(kLocal, linkStatsPayload(0, 0, 0xF8, kNear)).tx->mpdusAcked, 300u);
    EXPECT_EQ(linkStats(kNear, linkStatsPayload(0, 0, 0xF8, kLocal)).tx->mpdusAcked, 150u);
}

TEST_F(HealthResponder, AResetLocalDeviceTakesTheWholeNetworkAway) {
    at(kLocal).profile.link.resetSilenceMs = 5000;
    ASSERT_EQ(answer(kLocal, 0xA01C).at(20), 0);
    h.nowMs += 4999;
    EXPECT_TRUE(ask(kLocal, 0xA038).empty());
    EXPECT_TRUE(ask(kFar, 0xA000).empty());
    h.nowMs += 1;
    EXPECT_EQ(listed(), (std::vector<Mac>{kNear, kFar}));
    // A device forced to fail confirms with its status and stays.
    at(kFar).profile.faults.avStatus = 0x01;
    EXPECT_EQ(answer(kFar, 0xA01C).at(20), 0x01);
    EXPECT_EQ(listed(), (std::vector<Mac>{kNear, kFar}));
}

TEST_F(HealthResponder, NetworkInformationRatesFollowTheirSchedules) {
    // Absent schedules keep the fixed rates.
    EXPECT_EQ(ratesOf(kNear), std::make_pair(151, 140));
    LinkProfile& link = at(kNear).profile.link;
    link.tx = RateSchedule::list({150, 120, 90});
    link.everyMs = 2000;
    const std::pair<int, int> expected[] = {{150, 140}, {150, 140}, {120, 140}, {120, 140},
                                            {90, 140},  {90, 140},  {150, 140}};
    for (const auto& rates : expected) {
        EXPECT_EQ(ratesOf(kNear), rates) << h.nowMs;
        h.nowMs += 1000;
    }
}

TEST(RateSchedule, AWalkStaysInItsBoundsMovesByItsStepAndRepeatsForItsSeed) {
    const RateSchedule walk = RateSchedule::walk(100, 80, 120, 5, 42);
    std::vector<int> played;
    for (uint64_t move = 0; move < 2000; ++move) played.push_back(walk.at(move));
    EXPECT_EQ(played[0], 100);
    std::set<int> seen(played.begin(), played.end());
    EXPECT_EQ(*seen.begin(), 80);  // a long walk reaches both bounds
    EXPECT_EQ(*seen.rbegin(), 120);
    for (size_t i = 1; i < played.size(); ++i) ASSERT_LE(std::abs(played[i] - played[i - 1]), 5);
    // Asked out of order or by another copy, the same seed gives the same walk.
    const RateSchedule again = RateSchedule::walk(100, 80, 120, 5, 42);
    for (uint64_t move : {1500u, 3u, 1999u, 0u, 700u}) EXPECT_EQ(again.at(move), played[move]);
    const RateSchedule other = RateSchedule::walk(100, 80, 120, 5, 43);
    int differences = 0;
    for (uint64_t move = 0; move < 100; ++move) differences += other.at(move) != played[move];
    EXPECT_GT(differences, 50);
}

TEST_F(HealthResponder, AStationLeavesAtItsTime) {
    at(kFar).profile.link.leaveAfterMs = 30000;
    h.nowMs += 29999;
    EXPECT_EQ(listed(), (std::vector<Mac>{kNear, kFar}));
    h.nowMs += 1;
    EXPECT_EQ(listed(), (std::vector<Mac>{kNear}));
    EXPECT_TRUE(ask(kFar, 0xA000).empty());
    h.nowMs += 3600000;
    EXPECT_EQ(listed(), (std::vector<Mac>{kNear}));
}

TEST_F(HealthResponder, AStationThatComesBackHasRestarted) {
    // kFar: 40 frames a second to it.
    at(kFar).profile.link.leaveAfterMs = 30000;
    at(kFar).profile.link.returnAfterMs = 50000;
    h.nowMs += 49999;
    EXPECT_EQ(listed(), (std::vector<Mac>{kNear}));
    EXPECT_TRUE(ask(kFar, 0xA000).empty());
    h.nowMs += 1;
    EXPECT_EQ(listed(), (std::vector<Mac>{kNear, kFar}));
    EXPECT_EQ(ask(kFar, 0xA000).size(), 1u);
    // Its counters start again at its return: ten seconds later, ten seconds of traffic.
    h.nowMs += 10000;
    EXPECT_EQ(linkStats(kLocal, linkStatsPayload(0, 0, 0xF8, kFar)).tx->mpdusAcked, 400u);
    h.nowMs += 3600000;
    EXPECT_EQ(listed(), (std::vector<Mac>{kNear, kFar}));
}

// ---- Scenario fields ----

TEST(HealthScenario, LinkFieldsReachTheStationsProfile) {
    Network net = parseScenario(R"({"ports": [{"stations": [{"rates": {"avTx": 90},
        "link": {"tx": {"min": 60, "max": 160, "step": 3, "seed": 9}, "rx": [10, 20],
                 "everyMs": 500, "mpdusPerSecond": 2000, "errorPermille": 3,
                 "toneMap": {"from": 8, "to": 3, "slots": 2,
                             "notches": [{"fromKHz": 14000, "toKHz": 14350}]},
                 "resetSilenceMs": 12000, "leaveAfterMs": 60000, "returnAfterMs": 90000}}]}]})");
    const LinkProfile& link = net.port(0).stations.at(0)->profile.link;
    ASSERT_TRUE(link.tx && link.rx);
    EXPECT_EQ(link.tx->at(0), 90);  // the walk starts at the fixed rate
    EXPECT_EQ(link.tx->at(300), RateSchedule::walk(90, 60, 160, 3, 9).at(300));
    EXPECT_EQ(link.rx->at(1), 20);
    EXPECT_EQ(link.everyMs, 500u);
    EXPECT_EQ(link.mpdusPerSecond, 2000u);
    EXPECT_EQ(link.errorPermille, 3);
    EXPECT_EQ(link.toneMap.lowCode, 8);
    EXPECT_EQ(link.toneMap.highCode, 3);
    EXPECT_EQ(link.toneMap.slots, 2);
    ASSERT_EQ(link.toneMap.notches.size(), 1u);
    EXPECT_EQ(link.toneMap.notches[0].toKHz, 14350u);
    EXPECT_EQ(link.resetSilenceMs, 12000u);
    EXPECT_EQ(link.leaveAfterMs, 60000u);
    EXPECT_EQ(link.returnAfterMs, 90000u);

    // Without the block: fixed rates, a flat 1024-QAM map, five seconds of reset silence.
    Network plain = parseScenario(R"({"ports": [{"stations": [{}]}]})");
    const LinkProfile& defaults = plain.port(0).stations.at(0)->profile.link;
    EXPECT_FALSE(defaults.tx || defaults.rx);
    EXPECT_EQ(defaults.toneMap.lowCode, 7);
    EXPECT_EQ(defaults.toneMap.highCode, 7);
    EXPECT_EQ(defaults.resetSilenceMs, 5000u);
    EXPECT_EQ(defaults.leaveAfterMs, 0u);
    EXPECT_EQ(defaults.returnAfterMs, 0u);
}

TEST(HealthScenario, TheShippedHealthScenarioMovesItsLinks) {
    Network net = loadScenario(std::string(CORVEL_SIM_SCENARIOS) + "/health.json");
    const Port& port = net.port(0);
    ASSERT_EQ(port.stations.size(), 2u);
    const LinkProfile& near = port.stations[0]->profile.link;
    ASSERT_TRUE(near.tx && near.rx);
    EXPECT_EQ(near.tx->at(0), 151);
    EXPECT_EQ(near.rx->at(2), 120);
    EXPECT_EQ(near.toneMap.notches.size(), 2u);
    EXPECT_EQ(port.stations[1]->profile.link.leaveAfterMs, 600000u);
    EXPECT_EQ(port.local->profile.link.resetSilenceMs, 3000u);
}

TEST(HealthScenario, BadLinkFieldsAreNamed) {
    struct Case {
        const char* link;
        const char* error;
    };
    const Case cases[] = {
        {R"({"txRate": [1]})", "ports[0].stations[0].link.txRate: unknown field"},
        {R"({"tx": []})", "link.tx: expected 1 to 1000 rate values, got 0"},
        {R"({"tx": [1, 256]})", "link.tx[1]: expected a rate byte 0..255, got 256"},
        {R"({"tx": "up"})", "link.tx: expected a list of rate bytes or a walk"},
        {R"({"rx": {"min": 90, "max": 80}})", "link.rx.min: min is above max"},
        {R"({"rx": {"start": 10, "min": 20}})", "link.rx.start: expected a whole number from 20"},
        {R"({"rx": {"seed": 1, "speed": 2}})", "link.rx.speed: unknown field"},
        {R"({"everyMs": 5})", "link.everyMs: expected a whole number from 10 to 3600000"},
        {R"({"toneMap": {"from": 9}})", "link.toneMap.from: expected a whole number from 0 to 8"},
        {R"({"toneMap": {"slots": 7}})", "link.toneMap.slots: expected a whole number from 1 to 6"},
        {R"({"toneMap": {"notches": [{"fromKHz": 7000}]}})",
         "link.toneMap.notches[0]: a notch needs fromKHz and toKHz"},
        {R"({"toneMap": {"notches": [{"fromKHz": 7300, "toKHz": 7000}]}})",
         "link.toneMap.notches[0].toKHz: expected a whole number from 7300 to 30000"},
        {R"({"leaveAfterMs": -1})", "link.leaveAfterMs: expected a whole number"},
        {R"({"returnAfterMs": 5000})", "link.returnAfterMs: needs leaveAfterMs"},
        {R"({"leaveAfterMs": 5000, "returnAfterMs": 5000})",
         "link.returnAfterMs: expected a whole number from 5001 to 3600000"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.link);
        std::string error = "(no error)";
        try {
            parseScenario(std::string(R"({"ports": [{"stations": [{"link": )") + c.link + "}]}]}");
        } catch (const ScenarioError& e) {
            error = e.what();
        }
        EXPECT_NE(error.find(c.error), std::string::npos) << error;
    }
}

}  // namespace
}  // namespace corvel::sim::test::health
