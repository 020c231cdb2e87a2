// SPDX-License-Identifier: MIT
// The floor under the desktop program's start-up: the scan's own waits from the first full scan
// to the first view refresh that finds a HomePlug AV station in the selected interface's table
// (the page can show a station no earlier), run as the Main page runs them (the full scan, the
// stations cleared by the first refresh, then the cycle's ticks on the real clock) but without
// any window. Prints the milliseconds it took.
#include <chrono>
#include <cstdio>
#include <cstdlib>

#include "core/tables.h"
#include "core/view_hooks.h"
#include "scan/scan.h"
#include "store/data_directory.h"
#include "store/preferences.h"

namespace {

bool avStationListed() {
    const corvel::StationTable& table = corvel::currentStationTable();
    for (const corvel::StationRecord& s : table.stations)
        if (s.present && corvel::isAvStation(s.stationKind) &&
            !corvel::macEqual(s.mac, table.localMac))
            return true;
    return false;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: bench_first_list_floor DATA_DIR\n");
        return 2;
    }
    const auto start = std::chrono::steady_clock::now();
    corvel::loadPreferences();
    corvel::setDataDirectory(argv[1]);
    corvel::ClockScanTimer timer;
    corvel::installScanTimer(&timer);
    if (!corvel::rescan()) {
        std::fprintf(stderr, "bench_first_list_floor: no local device\n");
        return 1;
    }
    corvel::clearStations();
    bool shown = false;
    corvel::viewHooks().refreshView = [&](int) { shown = shown || avStationListed(); };
    while (!shown && timer.running()) timer.runFor(timer.periodMs());
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now() - start);
    std::printf("%lld\n", static_cast<long long>(ms.count()));
    return shown ? 0 : 1;
}
