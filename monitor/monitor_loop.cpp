// SPDX-License-Identifier: MIT
#include "monitor/monitor_loop.h"

#include <algorithm>
#include <ctime>

#include "core/tables.h"
#include "core/view_hooks.h"
#include "platform/clock.h"
#include "scan/device_list.h"
#include "transport/frame_io.h"

namespace corvel {

namespace {

// How long a wait between cycles sleeps before it looks for a stop request again.
constexpr uint32_t kStopPollMs = 100;

double secondsSince(uint64_t startMs) {
    return double(systemClock().tickCount() - startMs) / 1000.0;
}

}  // namespace

MonitorLoop::MonitorLoop(MonitorOptions options, CycleHandler onCycle)
    : options_(std::move(options)), onCycle_(std::move(onCycle)) {
    options_.linkStatsEvery = std::max(options_.linkStatsEvery, 1);
    installScanTimer(&timer_);
    viewHooks().refreshView = [this](int phase) {
        mergeStationsIntoDevices(std::time(nullptr));
        if (phase == kFullScanPhase) ++fullScans_;
    };
    file_.remember();
}

MonitorLoop::~MonitorLoop() {
    stopTimer();
    installScanTimer(nullptr);
    viewHooks().refreshView = {};
}

bool MonitorLoop::start() {
    const bool found = rescan();
    refreshView(5);
    return found;
}

bool MonitorLoop::runCycle(const StopRequested& stop) {
    const uint64_t startMs = systemClock().tickCount();
    // Another program saved the list since: its edits are the list from now on.
    if (file_.changedOnDisk()) file_.adoptDeviceList();

    const int target = fullScans_ + 1;
    while (fullScans_ < target) {
        if (stop()) return false;
        // The scan runs whether or not the preferences switch autoscan on at start.
        if (core.scanPaused) core.scanNowRequested = 1;
        if (!timer_.running()) startTimer();
        timer_.runFor(timer_.periodMs());
    }

    int failures = 0;
    const LinkStatsByMac stats =
        cycles_ % options_.linkStatsEvery == 0 ? readLinkStats(stop, failures) : LinkStatsByMac{};
    ++cycles_;
    CycleSnapshot snapshot = takeSnapshot(stats);
    snapshot.linkStatsFailures = failures;
    describeFailure(snapshot);
    std::string reason;
    if (!file_.saveIfDue(systemClock().tickCount(), options_.saveEveryMs, std::time(nullptr),
                         reason)) {
        snapshot.saveFailed = true;
        snapshot.saveError = reason;
    }
    snapshot.durationSeconds = secondsSince(startMs);
    if (onCycle_) onCycle_(snapshot);
    return true;
}

void MonitorLoop::run(const StopRequested& stop) {
    Clock& clock = systemClock();
    while (!stop()) {
        const uint64_t startMs = clock.tickCount();
        if (!runCycle(stop)) return;
        const uint64_t dueMs = startMs + options_.intervalMs;
        if (clock.tickCount() >= dueMs) continue;
        // Nothing goes on the wire until the next cycle starts the scan again at its first phase.
        stopTimer();
        for (uint64_t now = clock.tickCount(); now < dueMs && !stop(); now = clock.tickCount())
            clock.sleepMs(uint32_t(std::min<uint64_t>(dueMs - now, kStopPollMs)));
    }
}

bool MonitorLoop::finish(std::string& reason) {
    stopScan();
    return file_.saveNow(systemClock().tickCount(), std::time(nullptr), reason);
}

LinkStatsByMac MonitorLoop::readLinkStats(const StopRequested& stop, int& failures) {
    LinkStatsByMac stats;
    if (!options_.readLinkStats || !core.localIsAv || !currentAdapterRecord().localPresent)
        return stats;
    for (const StationRecord& station : currentStationTable().stations) {
        if (!station.present || !isAvStation(station.stationKind)) continue;
        if (stop()) break;
        Mac mac{};
        copyMac(mac.data(), station.mac);
        std::string error;
        const std::optional<LinkStatsConfirm> confirm = options_.readLinkStats(mac, error);
        // A refusal (an unknown peer, a link that is not up) carries no counters.
        if (!confirm || confirm->status != 0) {
            ++failures;
            continue;
        }
        stats.emplace(formatMac(mac), *confirm);
    }
    return stats;
}

void MonitorLoop::describeFailure(CycleSnapshot& snapshot) const {
    const bool found = std::any_of(snapshot.interfaces.begin(), snapshot.interfaces.end(),
                                   [](const InterfaceSnapshot& i) { return i.localPresent; });
    if (found) return;
    snapshot.scanFailed = true;
    if (captureNotPermitted())
        snapshot.failure = "capture was not permitted (" + captureError() + ")";
    else if (!captureError().empty())
        snapshot.failure = captureError();
    else
        snapshot.failure = "The HomePlug Adapter was not detected.";
}

}  // namespace corvel
