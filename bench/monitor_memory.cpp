// SPDX-License-Identifier: MIT
// corvel monitor's memory over a long run, on the virtual clock: the simulated AV network of a
// local device and 31 stations on the in-memory wire, the monitor's cycles as the command runs
// them (scan, link statistics, save, metrics, events) with a scrape of the registry after each,
// and the wire kept busy with what a long run meets: stations that leave and come back, a
// station renamed now and then. Prints the resident size and the heap in use after 100 cycles
// and after 10 000 (about seven and a half hours of scanning), and the growth between them
// (goal: under 10 %).
// Usage: bench_monitor_memory [CYCLES]   (default 10000)
#include <malloc.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <prometheus/text_serializer.h>
#include <sstream>

#include "av/link_health_ops.h"
#include "core/tables.h"
#include "monitor/events.h"
#include "monitor/metrics.h"
#include "monitor/monitor_loop.h"
#include "platform/clock.h"
#include "platform/text.h"
#include "sim/memory_link.h"
#include "sim/network.h"
#include "store/data_directory.h"
#include "store/database.h"
#include "store/preferences.h"
#include "transport/frame_io.h"
#include "transport/memory_wire.h"

namespace {

namespace fs = std::filesystem;

constexpr int kStations = 31;
constexpr int kFirstReport = 100;

corvel::Mac stationMac(int n) {
    return corvel::Mac{0x00, 0xB0, 0x52, 0x30, 0x00, uint8_t(n)};
}

long residentKb() {
    long pages = 0, resident = 0;
    std::ifstream statm("/proc/self/statm");
    statm >> pages >> resident;
    return resident * (::sysconf(_SC_PAGESIZE) / 1024);
}

long heapKb() {
    return long(mallinfo2().uordblks / 1024);
}

}  // namespace

int main(int argc, char** argv) {
    const int cycles = argc > 1 ? std::atoi(argv[1]) : 10000;
    if (cycles <= kFirstReport) {
        std::fprintf(stderr, "usage: bench_monitor_memory [CYCLES above %d]\n", kFirstReport);
        return 2;
    }
    const fs::path dir = fs::temp_directory_path() / ("bench-monitor-" + std::to_string(::getpid()));
    fs::create_directories(dir);

    corvel::VirtualClock clock;
    corvel::ScopedClock clockScope(clock);
    corvel::MemoryWire wire;
    corvel::sim::Network net;
    const int port = net.addPort("plc0");
    corvel::sim::DeviceConfig local;
    local.mac = corvel::Mac{0x00, 0xB0, 0x52, 0x30, 0x00, 0x00};
    net.setLocal(port, local);
    for (int n = 1; n <= kStations; ++n) {
        corvel::sim::DeviceConfig station;
        station.mac = stationMac(n);
        station.profile.rates.avTx = uint8_t(40 + 4 * n);
        station.profile.rates.avRx = uint8_t(38 + 4 * n);
        net.addStation(port, station);
    }
    corvel::sim::attachToMemoryWire(net, wire, clock);
    corvel::installCaptureBackend(&wire);
    corvel::preferences() = corvel::defaultPreferences();
    corvel::core.ticksPerPhase = corvel::preferences().ticksPerPhase();
    corvel::setDataDirectory(dir.string());
    corvel::loadDatabase();

    prometheus::Registry registry;
    corvel::MonitorMetrics metrics(registry);
    corvel::EventTracker tracker;
    std::ostringstream eventText;
    corvel::EventWriter writer(eventText, true);
    size_t scrapeBytes = 0;
    corvel::MonitorOptions options;
    options.readLinkStats = corvel::requestLinkStats;
    corvel::MonitorLoop loop(options, [&](const corvel::CycleSnapshot& snapshot) {
        metrics.record(snapshot);
        for (const corvel::MonitorEvent& event : tracker.compare(snapshot)) writer.write(event);
        scrapeBytes = prometheus::TextSerializer().Serialize(registry.Collect()).size();
    });
    if (!loop.start()) {
        std::fprintf(stderr, "bench_monitor_memory: no local device\n");
        return 1;
    }

    long firstRss = 0, firstHeap = 0;
    const auto started = std::chrono::steady_clock::now();
    for (int cycle = 1; cycle <= cycles; ++cycle) {
        // Every 50 cycles one of the stations leaves for ten cycles; every 500 one is renamed.
        const int which = 1 + (cycle / 50) % kStations;
        net.device(stationMac(which))->profile.faults.offline = cycle % 50 < 10;
        if (cycle % 500 == 0) {
            const int index = corvel::findDeviceByMac(stationMac(which).data());
            if (index != 0)
                corvel::copyText(corvel::core.devices[index - 1].name,
                                 "Renamed " + std::to_string(cycle));
        }
        if (!loop.runCycle([] { return false; })) return 1;
        // What the test harness keeps, not the monitor: the wire's record of sent frames and
        // the events written to memory.
        wire.clearSent();
        eventText.str({});
        if (cycle == kFirstReport) {
            firstRss = residentKb();
            firstHeap = heapKb();
        }
    }
    const long lastRss = residentKb();
    const long lastHeap = heapKb();
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    std::printf("cycles %d (%.1f h of scanning on the virtual clock, run in %.1f s)\n",
                cycles, double(clock.sleptMs()) / 3.6e6, seconds);
    std::printf("after %d cycles: resident %ld KB, heap in use %ld KB\n", kFirstReport, firstRss,
                firstHeap);
    std::printf("after %d cycles: resident %ld KB, heap in use %ld KB\n", cycles, lastRss,
                lastHeap);
    std::printf("growth: resident %.1f %%, heap %.1f %% (goal: under 10 %%); last scrape %zu bytes\n",
                100.0 * double(lastRss - firstRss) / double(firstRss),
                100.0 * double(lastHeap - firstHeap) / double(firstHeap), scrapeBytes);
    std::string reason;
    loop.finish(reason);
    corvel::installCaptureBackend(nullptr);
    fs::remove_all(dir);
    return lastRss - firstRss < firstRss / 10 ? 0 : 1;
}
