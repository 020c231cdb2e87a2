// SPDX-License-Identifier: MIT
// The AV upgrade over a veth pair inside network namespaces (scripts/bench-upgrade), plcsim as the
// local device:
//   upgrade echo IFACE       reflects every plain 0x88B5 frame back to its sender (sim side)
//   upgrade measure IFACE    upgrades the local device with a 1 MiB firmware image and a
//                            7992-byte PIB through the product's stack, then measures the floor
//                            in the same run: for every frame the upgrade sent, one real 1 ms
//                            sleep and one plain round trip of a frame of the same size. Prints
//                            both and their ratio (goal: at most 1.2).
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "av/local_device.h"
#include "bench/raw_echo.h"
#include "core/tables.h"
#include "keys/derive.h"
#include "platform/clock.h"
#include "sim/firmware_files.h"
#include "sim/pib.h"
#include "transport/frame_io.h"
#include "transport/interface_table.h"
#include "upgrade/av_upgrade.h"

namespace {

namespace fs = std::filesystem;
using Steady = std::chrono::steady_clock;

constexpr size_t kFirmwareSize = 1 << 20;
// A module-write frame: the 20-byte management header, 12 bytes of chunk header, the chunk.
constexpr size_t kChunkFrameOverhead = 32;
constexpr size_t kShortestAvFrame = 64;

double millis(Steady::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

std::string write(const fs::path& path, const std::vector<uint8_t>& bytes) {
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    return path.string();
}

int measure(const char* name) {
    const fs::path dir =
        fs::temp_directory_path() / ("bench-upgrade-" + std::to_string(::getpid()));
    fs::create_directories(dir);
    const corvel::AvUpgradeFiles files{
        write(dir / "fw.nvm", corvel::sim::buildNvmOfSize(kFirmwareSize)),
        write(dir / "fw.pib", corvel::sim::buildPib(corvel::Mac{0x00, 0xB0, 0x52, 9, 9, 9},
                                                    corvel::publicAvKey(), 3, 3))};

    corvel::reopenInterfaces();
    corvel::core.currentAdapter = 0;
    if (!corvel::discoverLocalAv() || !corvel::readFirmwareType()) {
        std::fprintf(stderr, "bench-upgrade: no AV local device on %s\n", name);
        return 1;
    }

    // The size of every frame the transfer sends, from the bytes each confirmed frame carried.
    std::vector<size_t> frames;
    uint64_t carried = 0;
    corvel::UpgradeControl control;
    control.progress = [&](const corvel::UpgradeProgress& p) {
        frames.push_back(
            std::max(kShortestAvFrame, kChunkFrameOverhead + size_t(p.bytesDone - carried)));
        carried = p.bytesDone;
    };
    const auto start = Steady::now();
    const bool upgraded = corvel::runAvUpgrade(files, control) == corvel::UpgradeOutcome::Upgraded;
    const double wallMs = millis(Steady::now() - start);
    fs::remove_all(dir);
    if (!upgraded) {
        std::fprintf(stderr, "bench-upgrade: the upgrade failed\n");
        return 1;
    }

    pcap_t* p = corvel::bench::openRaw(name);
    if (p == nullptr) return 1;
    corvel::RealClock sleeper;
    int lost = 0;
    const auto floorStart = Steady::now();
    for (size_t i = 0; i < frames.size(); ++i) {
        if (!corvel::bench::plainRoundTrip(p, corvel::interfaceEntries[0].interfaceMac, frames[i],
                                           uint8_t(i)))
            ++lost;
        sleeper.sleepMs(1);
    }
    const double floorMs = millis(Steady::now() - floorStart);
    pcap_close(p);

    std::printf("%zu frames (1 MiB firmware, 7992-byte PIB)\n", frames.size());
    std::printf("upgrade %9.1f ms   floor %9.1f ms (lost %d)   ratio %.3f   goal <= 1.2: %s\n",
                wallMs, floorMs, lost, wallMs / floorMs,
                wallMs / floorMs <= 1.2 ? "met" : "NOT met");
    return lost == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc >= 3 && std::string(argv[1]) == "echo") return corvel::bench::echo(argv[2]);
    if (argc >= 3 && std::string(argv[1]) == "measure") return measure(argv[2]);
    std::fprintf(stderr, "usage: upgrade echo IFACE | upgrade measure IFACE\n");
    return 2;
}
