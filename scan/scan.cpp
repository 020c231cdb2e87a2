// SPDX-License-Identifier: MIT
#include "scan/scan.h"

#include <algorithm>

#include "scan/full_scan.h"
#include "scan/logs.h"
#include "core/tables.h"
#include "core/view_hooks.h"
#include "hp10/replies.h"
#include "hp10/requests.h"
#include "platform/clock.h"
#include "platform/process_state.h"
#include "store/database.h"
#include "store/preferences.h"
#include "transport/frame_io.h"

namespace corvel {

namespace {

constexpr int kMinDropReset = 1;
constexpr int kMaxDropReset = 10;

// Parameter request values: 0 asks for the stored copy, 0x10 for the working copy.
constexpr uint8_t kStoredParams = 0x00;
constexpr uint8_t kWorkingParams = 0x10;

ScanTimer* installedTimer = nullptr;
ScanState state;

void endPhaseStep() {
    core.phaseTick = 0;
    core.scanPhase += 1;
}

// One phase of the cycle on the selected interface. Only a present local device is polled;
// without one the phases advance by ticks alone.
void runPhaseStep() {
    const AdapterRecord& local = currentAdapterRecord();
    if (!local.localPresent) return;
    const int index = core.currentAdapter;
    const Mac source = requestSourceMac();
    // Answers to a request from an unknown (all-zero) address could not come back.
    const bool canSend = macIsSet(source.data());

    switch (core.scanPhase) {
        case 1:
            if (!core.localIsTurbo)
                requestParams(local.paramsValid ? kStoredParams : kWorkingParams);
            if (canSend) sendStatsRequest(index, source, kBroadcastMac);
            refreshView(1);
            core.phaseTick = 0;
            core.scanPhase = 2;
            break;
        case 2:
            if (canSend) {
                for (const StationRecord& station : currentStationTable().stations) {
                    if (!station.present) continue;
                    Mac destination{};
                    copyMac(destination.data(), station.mac);
                    sendStatsRequest(index, source, destination);
                }
            }
            endPhaseStep();
            break;
        case 3:
            if (!canSend) break;
            sendLocalQuery(index, source, kBroadcastMac);
            endPhaseStep();
            break;
        case 4:
            sendVersionQuery();
            if (!core.localIsTurbo && local.paramsValid) requestParams(kStoredParams);
            endPhaseStep();
            break;
        case 5:
            if (!core.localIsTurbo) requestParams(kWorkingParams);
            endPhaseStep();
            break;
        default:
            break;
    }
}

}  // namespace

void installScanTimer(ScanTimer* timer) {
    installedTimer = timer;
}

void ClockScanTimer::start(uint32_t periodMs) {
    running_ = true;
    periodMs_ = std::max<uint32_t>(periodMs, 1);
    nextDueMs_ = systemClock().tickCount() + periodMs_;
    ++starts_;
}

void ClockScanTimer::stop() {
    running_ = false;
}

int ClockScanTimer::runFor(uint64_t durationMs) {
    Clock& clock = systemClock();
    const uint64_t end = clock.tickCount() + durationMs;
    int ticks = 0;
    while (running_) {
        const uint64_t now = clock.tickCount();
        if (nextDueMs_ > end) {
            if (now < end) clock.sleepMs(uint32_t(end - now));
            break;
        }
        if (now < nextDueMs_) {
            clock.sleepMs(uint32_t(nextDueMs_ - now));
            continue;
        }
        const uint64_t startsBefore = starts_;
        onTimerTick();
        ++ticks;
        if (starts_ != startsBefore) continue;  // restarted inside the tick: its schedule holds
        nextDueMs_ = std::max(nextDueMs_ + periodMs_, clock.tickCount());
    }
    return ticks;
}

uint32_t scanTimerPeriodMs(int32_t ticksPerPhase) {
    const int64_t period = int64_t(ticksPerPhase) * 10 / 7;
    return uint32_t(std::max<int64_t>(period, 1));
}

const ScanState& scanState() {
    return state;
}

void resetScanState() {
    state = ScanState{};
}

namespace {
const RegisteredReset scanStateReset{resetScanState};
}  // namespace

bool startScan(uint16_t ticksPerPhase, int dropResetValue, bool autoscanOn) {
    stopScan();
    const bool found = fullScan();
    // A phase of 0 ticks would never end.
    core.ticksPerPhase = std::max<int32_t>(ticksPerPhase, 1);
    core.dropResetValue = int8_t(std::clamp(dropResetValue, kMinDropReset, kMaxDropReset));
    setAutoscan(autoscanOn);
    if (found) startTimer();
    return found;
}

bool rescan() {
    clearStations();
    const int32_t ticks = std::clamp<int32_t>(core.ticksPerPhase, 1, UINT16_MAX);
    return startScan(uint16_t(ticks), kDefaultDropReset, preferences().autoScan != 0);
}

void stopScan() {
    stopTimer();
    closeAllInterfaces();
}

void startTimer() {
    core.phaseTick = 0;
    core.scanPhase = 1;
    stopTimer();
    if (installedTimer == nullptr) return;
    installedTimer->start(scanTimerPeriodMs(core.ticksPerPhase));
    state.timerRunning = true;
}

void stopTimer() {
    if (!state.timerRunning) return;
    if (installedTimer != nullptr) installedTimer->stop();
    state.timerRunning = false;
}

void onTimerTick() {
    if (core.scanPaused && !core.scanNowRequested) return;
    processHp10Replies();
    core.phaseTick += 1;
    // At or past the limit: ticksPerPhase may have been lowered while a phase was running.
    if (core.phaseTick >= core.ticksPerPhase) {
        core.phaseTick = 0;
        core.scanPhase += 1;
    }
    if (core.scanPhase >= kFullScanPhase) {
        ageStations();
        fullScan();
        refreshView(kFullScanPhase);
        core.phaseTick = 0;
        core.scanPhase = 0;
        core.scanNowRequested = 0;
    }
    runPhaseStep();
}

void ageStations() {
    scanLogSnapshot();
    StationTable& table = currentStationTable();
    table.stationCount = 0;
    for (StationRecord& station : table.stations) {
        if (!station.present) continue;
        table.stationCount += 1;
        station.missesTillDrop = int8_t(std::max(station.missesTillDrop - 1, 0));
        if (station.missesTillDrop != 0) continue;
        station.present = 0;
        station.rate.currentRate = 0;
        station.dropCount += core.dropResetValue;
        if (table.stationCount > 0) table.stationCount -= 1;
    }
}

void clearStations() {
    StationTable& table = currentStationTable();
    table.stationCount = 0;
    for (StationRecord& station : table.stations) {
        station.present = 0;
        station.rate.currentRate = 0;
        station.missesTillDrop = 0;
    }
    removeUnaddressedDevices();
    saveDatabase();
}

void requestParams(uint8_t value) {
    const AdapterRecord& local = currentAdapterRecord();
    if (core.localIsTurbo || !local.localPresent || local.localKind == kKindAdapter) return;
    const Mac source = requestSourceMac();
    if (!macIsSet(source.data())) return;
    sendParamRequest(core.currentAdapter, source, kBroadcastMac, value);
}

}  // namespace corvel
