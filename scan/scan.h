// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>

// The scan cycle: a periodic timer runs one tick at a time. Every tick drains the HomePlug 1.0
// replies that came in and runs one step of an eight-phase cycle that polls the local device and
// its stations; phase 7 ages the stations and runs the full scan (scan/full_scan.h). The timing
// scalars (scanPhase, phaseTick, ticksPerPhase, scanPaused, scanNowRequested) live in the core
// tables; what is the cycle's own is kept here.
namespace corvel {

inline constexpr int kPhasesPerCycle = 8;
inline constexpr int kFullScanPhase = 7;

// The clock of the cycle, provided by the front end: the GUI installs a timer of its event loop,
// the command line a ClockScanTimer. Whatever it is, it calls onTimerTick once per period on the
// thread that owns the tables, and never while a tick is still running.
class ScanTimer {
public:
    virtual ~ScanTimer() = default;
    virtual void start(uint32_t periodMs) = 0;
    virtual void stop() = 0;
};

// The timer startTimer uses; nullptr (the default) leaves the cycle without a clock.
void installScanTimer(ScanTimer* timer);

// A timer for front ends without an event loop, and for tests: its ticks run inside runFor on the
// installed system clock. A tick that overruns its period is followed at once by one more tick,
// not by the ones that were missed, as a window timer's messages coalesce.
class ClockScanTimer final : public ScanTimer {
public:
    void start(uint32_t periodMs) override;
    void stop() override;
    bool running() const { return running_; }
    uint32_t periodMs() const { return periodMs_; }
    // Runs the ticks that fall due within the next `durationMs`, sleeping in between; returns
    // how many ran. Returns early when the timer is stopped, also from inside a tick.
    int runFor(uint64_t durationMs);

private:
    bool running_ = false;
    uint32_t periodMs_ = 0;
    uint64_t nextDueMs_ = 0;
    uint64_t starts_ = 0;  // tells runFor that a tick restarted the timer
};

// Period of the timer: ticksPerPhase x 10 / 7 ms in integer arithmetic (42 ms for 30, 1 ms for
// 1), never below 1 ms.
uint32_t scanTimerPeriodMs(int32_t ticksPerPhase);

// What the cycle keeps besides the timing scalars of the core tables.
struct ScanState {
    bool timerRunning = false;  // startTimer started the installed timer and nothing stopped it
};

const ScanState& scanState();
// As at process start (tests); the installed timer stays installed.
void resetScanState();

// stopScan, one full scan, then the cycle's settings: ticks per phase (0 counts as 1), the drop
// reset value clamped to 1..10, autoscan on or off. Starts the timer when the full scan found a
// local device; returns whether it did.
bool startScan(uint16_t ticksPerPhase, int dropResetValue, bool autoscanOn);
// clearStations, then startScan with the current ticks per phase, the drop reset value 3 and
// the autoScan preference.
bool rescan();
// stopTimer, then every capture interface closed.
void stopScan();
// The cycle starts again at phase 1, tick 0, on a fresh timer of the current period.
void startTimer();
void stopTimer();
// One tick of the cycle. Nothing while autoscan is off, unless a scan was asked for
// (scanNowRequested), which holds until the next full scan has run.
void onTimerTick();

// Once per cycle before the full scan: every present station of the selected interface is one
// full scan closer to being dropped; one that reaches 0 is dropped with its rate cleared and
// dropResetValue added to its dropCount. stationCount counts those still present.
void ageStations();
// Forgets the stations of the selected interface (their MACs stay), removes device records
// without an address, and saves the device database.
void clearStations();
// The local 1.0 parameter request (entry 0x19 with `value`: 0 asks for the stored copy, 0x10
// for the working copy) from the selected interface to broadcast; sent only for a present,
// non-Turbo local device of a known kind and a known interface address.
void requestParams(uint8_t value);

}  // namespace corvel
