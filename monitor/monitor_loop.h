// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "avcodec/link_health.h"
#include "monitor/device_list_file.h"
#include "monitor/snapshot.h"
#include "platform/mac.h"
#include "scan/scan.h"

// The unattended monitor: the scan cycle run without end on the installed clock, the link
// statistics of every present HomePlug AV station after each full scan, the device list merged
// and saved as the scan does, and a snapshot of every cycle handed on (to the metrics and the
// events). It owns the scan timer and the view hook while it lives.
namespace corvel {

// Asks a station's link statistics through the local device; nullopt, with the reason in
// `error`, when no usable answer came.
using LinkStatsReader =
    std::function<std::optional<LinkStatsConfirm>(const Mac& station, std::string& error)>;

struct MonitorOptions {
    // How often a cycle starts. 0: back to back, so one scan cycle's length (about 2.7 s with
    // the default preferences). Between cycles that end early nothing is sent.
    uint32_t intervalMs = 0;
    // Empty: no link statistics are read.
    LinkStatsReader readLinkStats;
    // Read the link statistics every this many cycles (1: every cycle).
    int linkStatsEvery = 1;
    // The device list is saved when it changes, and at least this often while stations are
    // seen (their last-seen times).
    uint32_t saveEveryMs = 60000;
};

class MonitorLoop {
public:
    using CycleHandler = std::function<void(const CycleSnapshot&)>;
    using StopRequested = std::function<bool()>;

    MonitorLoop(MonitorOptions options, CycleHandler onCycle);
    ~MonitorLoop();
    MonitorLoop(const MonitorLoop&) = delete;
    MonitorLoop& operator=(const MonitorLoop&) = delete;

    // What the main page does when it starts: one full scan and the refresh. Whether a local
    // device answered (the loop runs on without one: it may be plugged in later).
    bool start();
    // One cycle: ticks until the next full scan has run, then the link statistics, the save and
    // the snapshot. False when `stop` came first: the cycle ends there and hands on nothing.
    bool runCycle(const StopRequested& stop);
    // Cycles at the interval until `stop`; between cycles it notices `stop` within 100 ms.
    void run(const StopRequested& stop);
    // The scan stopped and the device list saved; false, with the reason, when saving failed.
    bool finish(std::string& reason);

    int cycles() const { return cycles_; }

private:
    LinkStatsByMac readLinkStats(const StopRequested& stop, int& failures);
    void describeFailure(CycleSnapshot& snapshot) const;

    MonitorOptions options_;
    CycleHandler onCycle_;
    ClockScanTimer timer_;
    DeviceListFile file_;
    int fullScans_ = 0;
    int cycles_ = 0;
};

}  // namespace corvel
