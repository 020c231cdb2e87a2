// SPDX-License-Identifier: MIT
#include "scan/scan.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "platform/process_state.h"
#include "scan/full_scan.h"
#include "core/stations.h"
#include "store/database.h"
#include "store/product_files.h"
#include "tests/scan/scan_sim_fixture.h"

namespace corvel::test {
namespace {

using Frames = std::vector<std::string>;

// ---------------------------------------------------------------------------------------------
// The timer

TEST(ScanTimerPeriod, IsTicksTimesTenOverSevenInWholeMilliseconds) {
    const struct {
        int32_t ticks;
        uint32_t periodMs;
    } cases[] = {{30, 42}, {1, 1}, {2, 2}, {7, 10}, {100, 142}, {0, 1}};
    for (const auto& c : cases) EXPECT_EQ(scanTimerPeriodMs(c.ticks), c.periodMs) << c.ticks;
}

class ClockTimer : public ::testing::Test {
protected:
    void SetUp() override {
        resetProcessState();
        installCaptureBackend(&wire);
        installScanTimer(&timer);
        wire.readTimeoutMs = 0;
        wire.addInterface("eth0", Mac{0x02, 0, 0, 0, 0, 0x10});
        reopenInterfaces();
        core.ticksPerPhase = 30;
    }
    void TearDown() override {
        installScanTimer(nullptr);
        installCaptureBackend(nullptr);
    }

    VirtualClock clock;
    ScopedClock clockScope{clock};
    MemoryWire wire;
    ClockScanTimer timer;
};

TEST_F(ClockTimer, TicksOncePerPeriodUntilStopped) {
    startTimer();
    EXPECT_TRUE(scanState().timerRunning);
    EXPECT_EQ(timer.periodMs(), 42u);
    EXPECT_EQ(timer.runFor(420), 10);
    EXPECT_EQ(core.phaseTick, 10);

    stopTimer();
    EXPECT_FALSE(scanState().timerRunning);
    EXPECT_FALSE(timer.running());
    const uint64_t before = clock.tickCount();
    EXPECT_EQ(timer.runFor(420), 0);
    EXPECT_EQ(clock.tickCount(), before);
}

TEST_F(ClockTimer, AnOverrunTickIsFollowedByOneTickNotByTheMissedOnes) {
    // The tick due at 42 ms takes until 241 ms (its reply drain waits on a slow capture).
    const uint64_t t0 = clock.tickCount();
    clock.scheduleAt(t0 + 40, [this] { wire.readTimeoutMs = 1000; });
    clock.scheduleAt(t0 + 241, [this] { wire.readTimeoutMs = 0; });
    startTimer();
    // 42, then 241 at once, then every 42 ms: 283, 325, 367, 409, 451, 493.
    EXPECT_EQ(timer.runFor(500), 8);
    EXPECT_EQ(clock.tickCount(), t0 + 500);
}

// ---------------------------------------------------------------------------------------------
// Starting and stopping

class StartScan : public ScanSim {
protected:
    void SetUp() override {
        ScanSim::SetUp();
        addPort(deviceConfig(Family::Av, kAvLocal), {deviceConfig(Family::Av, kAvStation1)});
        attach();
    }
};

TEST_F(StartScan, TakesItsSettingsAndStartsTheTimerWhenADeviceAnswers) {
    const struct {
        uint16_t ticks;
        int drop;
        int32_t ticksTaken;
        int8_t dropTaken;
    } cases[] = {{30, 3, 30, 3}, {0, 0, 1, 1},   {2, 1, 2, 1}, {5, 2, 5, 2},
                 {9, 10, 9, 10}, {9, 11, 9, 10}, {9, -4, 9, 1}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.ticks) + "/" + std::to_string(c.drop));
        for (const bool autoscan : {true, false}) {
            EXPECT_TRUE(startScan(c.ticks, c.drop, autoscan));
            EXPECT_EQ(core.ticksPerPhase, c.ticksTaken);
            EXPECT_EQ(+core.dropResetValue, +c.dropTaken);
            EXPECT_EQ(core.scanPaused, autoscan ? 0 : 1);
            EXPECT_TRUE(timer.running());
            EXPECT_EQ(timer.periodMs(), scanTimerPeriodMs(c.ticksTaken));
            EXPECT_EQ(core.scanPhase, 1);
            EXPECT_EQ(core.phaseTick, 0);
        }
    }
}

TEST_F(StartScan, WithoutADeviceNoTimerRunsAndStopScanClosesTheInterfaces) {
    EXPECT_TRUE(startScan(30, 3, true));
    device(kAvLocal).profile.faults.offline = true;
    EXPECT_FALSE(startScan(30, 3, true));
    EXPECT_FALSE(timer.running());
    EXPECT_FALSE(scanState().timerRunning);

    device(kAvLocal).profile.faults.offline = false;
    EXPECT_TRUE(startScan(30, 3, true));
    stopScan();
    EXPECT_FALSE(timer.running());
    EXPECT_EQ(interfaceEntries[0].captureHandle, -1);
}

TEST_F(StartScan, RescanClearsTheStationsAndRestartsWithThePreferences) {
    core.ticksPerPhase = 2;
    preferences().autoScan = 0;
    StationRecord& stale = core.stationTables[0].stations[0];
    copyMac(stale.mac, kAvStation2.data());
    stale.present = 1;
    stale.missesTillDrop = 3;
    core.dropResetValue = 7;

    EXPECT_TRUE(rescan());
    EXPECT_EQ(+stale.present, 0);
    EXPECT_EQ(+stale.missesTillDrop, 0);
    EXPECT_EQ(+core.dropResetValue, 3);
    EXPECT_EQ(core.ticksPerPhase, 2);
    EXPECT_EQ(core.scanPaused, 1);
    EXPECT_EQ(timer.periodMs(), 2u);
}

TEST_F(StartScan, PausedTicksDoNothingUnlessAScanWasAskedForUntilItsFullScan) {
    ASSERT_TRUE(startScan(1, 3, false));
    const size_t sent = wire.sent().size();
    ticks(6);
    EXPECT_EQ(wire.sent().size(), sent);
    EXPECT_EQ(core.scanPhase, 1);
    EXPECT_TRUE(fullScanTicks.empty());

    core.scanNowRequested = 1;
    ticks(4);  // with one tick per phase the full scan comes on the fourth tick
    ASSERT_EQ(fullScanTicks.size(), 1u);
    EXPECT_EQ(core.scanNowRequested, 0);
    EXPECT_EQ(core.scanPhase, 0);

    const size_t afterScan = wire.sent().size();
    ticks(8);
    EXPECT_EQ(wire.sent().size(), afterScan);
    EXPECT_EQ(fullScanTicks.size(), 1u);
}

// ---------------------------------------------------------------------------------------------
// The phase table: what each phase sends, family by family

struct PhaseCase {
    const char* family;
    std::vector<Frames> perTick;  // ticks of the second cycle with two ticks per phase
};

class PhaseTable : public ScanSim, public ::testing::WithParamInterface<PhaseCase> {};

TEST_P(PhaseTable, EachPhaseSendsItsRequests) {
    const std::string family = GetParam().family;
    if (family == "AV") {
        addPort(deviceConfig(Family::Av, kAvLocal),
                {deviceConfig(Family::Av, kAvStation1), deviceConfig(Family::Av, kAvStation2)});
    } else if (family == "Turbo") {
        addPort(deviceConfig(Family::Turbo, kTurboLocal),
                {deviceConfig(Family::Turbo, kTurboStation),
                 deviceConfig(Family::HomePlug10, kPlainInTurbo)});
    } else {
        addPort(deviceConfig(Family::HomePlug10, kHp10Local),
                {deviceConfig(Family::HomePlug10, kHp10Station1),
                 deviceConfig(Family::HomePlug10, kHp10Station2)});
    }
    attach();
    ASSERT_TRUE(startScan(2, 3, true));
    ticks(8);
    ASSERT_EQ(fullScanTicks.size(), 1u);
    // AV stations are listed by phase 3 of the first cycle. The simulated 1.0 and Turbo local
    // devices answer the statistics broadcast with a statistics reply of their own, and the
    // parameter poll the observer starts on it takes the stations' answers that come with it;
    // the stations are entered here as their answers would enter them.
    for (const auto& station : net.port(0).stations) addOrRefreshStation(station->mac().data());

    const int expectedPhase[] = {2, 3, 4, 5, 6, 6, 0, 0};
    const std::vector<Frames>& expected = GetParam().perTick;
    for (size_t t = 0; t < expected.size(); ++t) {
        SCOPED_TRACE("tick " + std::to_string(t + 1) + " of the cycle");
        const Frames frames = stepFrames();
        EXPECT_EQ(core.scanPhase, expectedPhase[t]);
        if (t == 6) {
            // Phase 7: the full scan starts with the AV probe of the local device.
            EXPECT_EQ(fullScanTicks.size(), 2u);
            ASSERT_FALSE(frames.empty());
            EXPECT_EQ(frames.front(), "A000 host>mgmt");
        } else {
            EXPECT_EQ(frames, expected[t]);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Families, PhaseTable,
    ::testing::Values(PhaseCase{"AV",
                                {{"params/00 host>bcast", "stats host>bcast"},
                                 {"stats host>st1", "stats host>st2"},
                                 {"A038 host>local", "A000 host>st1", "A000 host>st2"},
                                 {"vendor/16 host>bcast", "params/00 host>bcast"},
                                 {"params/10 host>bcast"},
                                 {},
                                 {},
                                 {}}},
                      PhaseCase{"Turbo",
                                {{"stats host>bcast"},
                                 {"stats host>st1", "stats host>st2"},
                                 {"vendor/24 host>local"},
                                 {"vendor/16 host>bcast"},
                                 {},
                                 {},
                                 {},
                                 {}}},
                      PhaseCase{"HomePlug10",
                                {{"params/00 host>bcast", "stats host>bcast"},
                                 {"stats host>st1", "stats host>st2"},
                                 {"local query host>bcast"},
                                 {"vendor/16 host>bcast", "params/00 host>bcast"},
                                 {"params/10 host>bcast"},
                                 {},
                                 {},
                                 {}}}),
    [](const auto& info) { return std::string(info.param.family); });

// ---------------------------------------------------------------------------------------------
// Cycle lengths

struct CycleCase {
    const char* name;
    uint16_t ticksPerPhase;
    bool deviceStays;
    int cycleTicks;
};

class CycleLength : public ScanSim, public ::testing::WithParamInterface<CycleCase> {};

TEST_P(CycleLength, FullScansComeOncePerCycle) {
    const CycleCase& c = GetParam();
    addPort(deviceConfig(Family::Av, kAvLocal), {deviceConfig(Family::Av, kAvStation1)});
    attach();
    ASSERT_TRUE(startScan(c.ticksPerPhase, 3, true));
    // A device lost while the timer runs: the first full scan without it clears its stations,
    // and from then on the phases advance by ticks alone.
    if (!c.deviceStays) device(kAvLocal).profile.faults.offline = true;

    while (fullScanTicks.size() < 3 && tickCount < 1000) tick();
    ASSERT_EQ(fullScanTicks.size(), 3u);
    EXPECT_EQ(fullScanTicks[1] - fullScanTicks[0], c.cycleTicks);
    EXPECT_EQ(fullScanTicks[2] - fullScanTicks[1], c.cycleTicks);
    EXPECT_EQ(core.adapters[0].localPresent, c.deviceStays ? 1 : 0);
}

INSTANTIATE_TEST_SUITE_P(Cycles, CycleLength,
                         ::testing::Values(CycleCase{"Default30", 30, true, 64},
                                           CycleCase{"Two", 2, true, 8},
                                           CycleCase{"One", 1, true, 4},
                                           CycleCase{"TwoWithoutDevice", 2, false, 14},
                                           CycleCase{"ThirtyWithoutDevice", 30, false, 210}),
                         [](const auto& info) { return std::string(info.param.name); });

// The cap the preferences put on scanTicks holds for the timer the scan really runs: the most
// ticks allowed wait under 10 s, one more would not.
TEST(ScanTimerPeriod, TheLargestTicksPerPhaseWaitsUnderTenSeconds) {
    EXPECT_LT(kMaxTicksPerPhase * int64_t(scanTimerPeriodMs(kMaxTicksPerPhase)), kMaxScanPhaseMs);
    EXPECT_GE((kMaxTicksPerPhase + 1) * int64_t(scanTimerPeriodMs(kMaxTicksPerPhase + 1)),
              kMaxScanPhaseMs);
}

// A preferences file with the largest scanTicks its low 16 bits can hold would keep each waiting
// phase going for 17 days; the scan it sets up ends every phase within 10 s and its cycle within
// two such phases and the full scan.
TEST_F(StartScan, TheLargestScanTicksInThePreferencesStillEndsEachCycleWithinTheBound) {
    setProductDataFolders({});
    WorkingDirectory inScratch(scratch.path);
    Preferences hostile = defaultPreferences();
    hostile.scanTicks = 32767;
    const auto bytes = encodePreferences(hostile);
    writeBytes(scratch.path / kPreferencesFileName, Bytes(bytes.begin(), bytes.end()));
    loadPreferences();
    restoreProductDataFolders();

    ASSERT_TRUE(rescan());
    std::vector<uint64_t> fullScansAt;
    viewHooks().refreshView = [&](int phase) {
        if (phase == kFullScanPhase) fullScansAt.push_back(clock.tickCount());
    };
    const uint64_t start = clock.tickCount();
    uint64_t phaseStart = start;
    uint64_t longestPhase = 0;
    int phase = core.scanPhase;
    while (fullScansAt.size() < 2 && clock.tickCount() - start < 3'600'000) {
        clock.sleepMs(timer.periodMs());
        const uint64_t tickStart = clock.tickCount();
        onTimerTick();
        if (core.scanPhase == phase) continue;
        // The phase ended when the tick that left it began; the next one begins after the tick.
        longestPhase = std::max(longestPhase, tickStart - phaseStart);
        phaseStart = clock.tickCount();
        phase = core.scanPhase;
    }
    ASSERT_EQ(fullScansAt.size(), 2u);
    EXPECT_LT(longestPhase, uint64_t(kMaxScanPhaseMs));
    EXPECT_LT(fullScansAt[1] - fullScansAt[0], uint64_t(2 * kMaxScanPhaseMs + 1000))
        << "two waiting phases, the phase steps and one full scan";
}

TEST_F(StartScan, WithOneTickPerPhasePhasesTwoAndFourNeverRun) {
    ASSERT_TRUE(startScan(1, 3, true));
    ticks(4);
    ASSERT_EQ(fullScanTicks.size(), 1u);
    Frames cycle;
    for (int t = 0; t < 3; ++t)
        for (const std::string& f : stepFrames()) cycle.push_back(f);
    // Phases 1, 3 and 5 ran; no stations' statistics (2) and no version query (4).
    EXPECT_EQ(cycle, (Frames{"params/00 host>bcast", "stats host>bcast", "A038 host>local",
                             "A000 host>st1", "params/10 host>bcast"}));
}

// ---------------------------------------------------------------------------------------------
// Aging

TEST_F(StartScan, AStationThatFallsSilentIsDroppedAtTheThirdFullScan) {
    ASSERT_TRUE(startScan(2, 3, true));
    ticks(3);  // phase 3 lists the station and rates it
    StationRecord* station = findStationByMac(kAvStation1.data());
    ASSERT_NE(station, nullptr);
    ASSERT_EQ(+station->missesTillDrop, 3);
    ASSERT_GT(+station->rate.currentRate, 0.0);
    const int32_t seen = station->seenCount;
    device(kAvStation1).profile.faults.offline = true;

    struct Seen {
        int32_t present;
        int8_t missesTillDrop;
        int32_t dropCount;
        double rate;
        int32_t stationCount;
    };
    std::vector<Seen> atFullScan;
    afterFullScan = [&] {
        atFullScan.push_back({station->present, station->missesTillDrop, station->dropCount,
                              station->rate.currentRate, core.stationTables[0].stationCount});
    };
    while (atFullScan.size() < 4 && tickCount < 100) tick();
    ASSERT_EQ(atFullScan.size(), 4u);
    for (int i = 0; i < 2; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(atFullScan[i].present, 1);
        EXPECT_EQ(+atFullScan[i].missesTillDrop, 2 - i);
        EXPECT_EQ(atFullScan[i].dropCount, 0);
        EXPECT_GT(atFullScan[i].rate, 0.0);
        EXPECT_EQ(atFullScan[i].stationCount, 1);
    }
    for (int i = 2; i < 4; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(atFullScan[i].present, 0);
        EXPECT_EQ(+atFullScan[i].missesTillDrop, 0);
        EXPECT_EQ(atFullScan[i].dropCount, 3);  // dropped once, not again
        EXPECT_EQ(atFullScan[i].rate, 0.0);
        EXPECT_EQ(atFullScan[i].stationCount, 0);
    }
    EXPECT_EQ(+station->seenCount, seen);
}

TEST(AgeStations, CountsDownPresentStationsOfTheSelectedInterfaceOnly) {
    resetProcessState();
    preferences().diagnosticsLevel = 0;
    core.currentAdapter = 1;
    core.dropResetValue = 5;
    StationTable& table = core.stationTables[1];
    const struct {
        int32_t present;
        int8_t misses;
        int32_t presentAfter;
        int8_t missesAfter;
        int32_t dropCountAfter;
    } cases[] = {
        {1, 3, 1, 2, 0},  {1, 1, 0, 0, 5},
        {1, 0, 0, 0, 5},   // present with no count left (a loaded table): dropped now
        {1, -2, 0, 0, 5},  // never below 0
        {0, 2, 0, 2, 0},   // dropped earlier: left alone
    };
    for (size_t i = 0; i < std::size(cases); ++i) {
        StationRecord& s = table.stations[i];
        s.mac[5] = uint8_t(i + 1);
        s.present = cases[i].present;
        s.missesTillDrop = cases[i].misses;
        s.rate.currentRate = 20;
    }
    core.stationTables[0].stations[0].present = 1;
    core.stationTables[0].stations[0].missesTillDrop = 1;

    ageStations();
    for (size_t i = 0; i < std::size(cases); ++i) {
        SCOPED_TRACE(i);
        const StationRecord& s = table.stations[i];
        EXPECT_EQ(+s.present, cases[i].presentAfter);
        EXPECT_EQ(+s.missesTillDrop, +cases[i].missesAfter);
        EXPECT_EQ(+s.dropCount, cases[i].dropCountAfter);
        EXPECT_EQ(+s.rate.currentRate, cases[i].presentAfter || !cases[i].present ? 20.0 : 0.0);
    }
    EXPECT_EQ(+table.stationCount, 1);
    EXPECT_EQ(+core.stationTables[0].stations[0].present, 1);
    EXPECT_EQ(+core.stationTables[0].stations[0].missesTillDrop, 1);
    resetProcessState();
}

// ---------------------------------------------------------------------------------------------
// clearStations

class ClearStations : public ScanSim {};

TEST_F(ClearStations, ForgetsTheStationsDropsUnaddressedDevicesAndSaves) {
    core.currentAdapter = 0;
    StationTable& table = core.stationTables[0];
    table.stationCount = 3;
    for (int i = 0; i < 3; ++i) {
        StationRecord& s = table.stations[i];
        s.mac[5] = uint8_t(0x21 + i);
        s.present = 1;
        s.missesTillDrop = 3;
        s.rate.currentRate = 40;
        s.rate.maxRate = 60;
    }
    StationRecord& other = core.stationTables[1].stations[0];
    other.mac[5] = 0x31;
    other.present = 1;

    // Two unaddressed records in a row: the second moves into the place of the first.
    const Mac a{0x00, 0xB0, 0x52, 0, 0, 0xA1};
    const Mac b{0x00, 0xB0, 0x52, 0, 0, 0xB1};
    appendDevice(a.data(), "Lounge");
    appendDevice(Mac{}.data(), "Ghost 1");
    appendDevice(Mac{}.data(), "Ghost 2");
    appendDevice(b.data(), "Study");

    clearStations();
    EXPECT_EQ(+table.stationCount, 0);
    for (int i = 0; i < 3; ++i) {
        const StationRecord& s = table.stations[i];
        EXPECT_EQ(+s.mac[5], 0x21 + i);
        EXPECT_EQ(+s.present, 0);
        EXPECT_EQ(+s.missesTillDrop, 0);
        EXPECT_EQ(+s.rate.currentRate, 0.0);
        EXPECT_EQ(+s.rate.maxRate, 60.0);
    }
    EXPECT_EQ(+other.present, 1);

    ASSERT_EQ(core.deviceCount, 2);
    EXPECT_STREQ(core.devices[0].name, "Lounge");
    EXPECT_STREQ(core.devices[1].name, "Study");

    const Bytes file = readBytes(databasePath());
    ASSERT_EQ(file.size(), databaseFileSize(2));
    EXPECT_EQ(get32le(&file[kDeviceCountOffset]), 2u);
    EXPECT_EQ(std::memcmp(&file[kDeviceRecordsOffset], "Lounge", 7), 0);
}

}  // namespace
}  // namespace corvel::test
