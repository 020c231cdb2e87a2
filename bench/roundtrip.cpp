// SPDX-License-Identifier: MIT
// Round trips over a veth pair inside network namespaces (scripts/bench-roundtrip):
//   roundtrip echo IFACE          reflects every 0x88B5 frame back to its sender (sim side)
//   roundtrip measure IFACE N     times N round trips of each kind (host side):
//     plain  a raw 0x88B5 frame to the echo and back, on its own capture handle;
//     wire   an AV version request through the product's codec and frame I/O, until its
//            confirmation is received and decoded (plcsim answers);
//     await  the same exchange as the product runs it, with its mandated 1 ms sleeps.
//   roundtrip measure IFACE N HELPER  also times the await kind against its floor (its 1 ms
//                                 sleeps slept for real right after it, plus one plain round trip
//                                 per frame sent), directly through
//                                 libpcap and through the capture helper HELPER (corvel-capture),
//                                 interleaved in blocks.
//   roundtrip scan IFACE N        times N full scans and N station-list refreshes (the AV
//                                 network information and a version request to each station)
//                                 against their floor: the sleeps they are bound to take plus
//                                 one plain round trip per frame they send.
#include <pcap/pcap.h>
#include <poll.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "avcodec/codec.h"
#include "bench/raw_echo.h"
#include "av/exchanges.h"
#include "avcodec/frame.h"
#include "av/local_device.h"
#include "scan/full_scan.h"
#include "core/observer.h"
#include "core/tables.h"
#include "platform/clock.h"
#include "transport/frame_io.h"
#include "transport/helper_backend.h"
#include "transport/pcap_backend.h"

namespace {

using Clock = std::chrono::steady_clock;
using corvel::bench::echo;
using corvel::bench::plainRoundTrip;
using corvel::bench::openRaw;

double microseconds(Clock::duration d) {
    return std::chrono::duration<double, std::micro>(d).count();
}

struct Summary {
    double median = 0;
    double p90 = 0;
    int lost = 0;
};

Summary summarise(std::vector<double> samples, int lost) {
    Summary s;
    s.lost = lost;
    if (samples.empty()) return s;
    std::sort(samples.begin(), samples.end());
    s.median = samples[samples.size() / 2];
    s.p90 = samples[samples.size() * 9 / 10];
    return s;
}

Summary plainRoundTrips(const char* name, int count) {
    pcap_t* p = openRaw(name);
    if (p == nullptr) return {};
    std::vector<double> samples;
    int lost = 0;
    for (int i = 0; i < count; ++i) {
        const auto start = Clock::now();
        if (plainRoundTrip(p, corvel::interfaceEntries[0].interfaceMac, 60, uint8_t(i)))
            samples.push_back(microseconds(Clock::now() - start));
        else
            ++lost;
    }
    pcap_close(p);
    return summarise(samples, lost);
}

Summary wireRoundTrips(int count) {
    std::vector<double> samples;
    int lost = 0;
    for (int i = 0; i < count; ++i) {
        const auto start = Clock::now();
        corvel::sendAvRequest(corvel::kLocalManagementMac, corvel::kMmVersionRequest);
        bool answered = false;
        corvel::MmeFrame frame;
        corvel::AvConfirm record;
        while (!answered && Clock::now() - start < std::chrono::milliseconds(100)) {
            if (!corvel::receiveFrame(frame)) continue;
            answered = corvel::plcapi_DecodeFrame(frame.length, frame.bytes.data(), &record) == 0 &&
                       record.mmtype == corvel::kMmVersionConfirm;
        }
        if (answered) samples.push_back(microseconds(Clock::now() - start));
        else ++lost;
    }
    return summarise(samples, lost);
}

Summary awaitRoundTrips(int count) {
    std::vector<double> samples;
    int lost = 0;
    for (int i = 0; i < count; ++i) {
        const auto start = Clock::now();
        if (corvel::probeLocalAv()) samples.push_back(microseconds(Clock::now() - start));
        else ++lost;
    }
    return summarise(samples, lost);
}

void print(const char* what, const Summary& s, const Summary& baseline) {
    std::printf("%-6s median %9.1f us   p90 %9.1f us   lost %d   ratio to plain %.2f\n", what,
                s.median, s.p90, s.lost, baseline.median > 0 ? s.median / baseline.median : 0.0);
}

int measure(const char* name, int count) {
    corvel::reopenInterfaces();
    if (corvel::adapterCount == 0 || corvel::interfaceEntries[0].captureHandle < 0) {
        std::fprintf(stderr, "roundtrip: cannot capture: %s\n", corvel::captureError().c_str());
        return 1;
    }
    corvel::core.currentAdapter = 0;
    const Summary plain = plainRoundTrips(name, count);
    const Summary wire = wireRoundTrips(count);
    const Summary await = awaitRoundTrips(count);
    std::printf("%d round trips each on %s\n", count, name);
    print("plain", plain, plain);
    print("wire", wire, plain);
    print("await", await, plain);
    return plain.lost + wire.lost + await.lost == 0 ? 0 : 1;
}

// The real clock, adding up what the product asks to sleep.
class CountingClock : public corvel::Clock {
public:
    uint64_t tickCount() override { return real_.tickCount(); }
    void sleepMs(uint32_t ms) override {
        slept += ms;
        real_.sleepMs(ms);
    }
    uint64_t slept = 0;

private:
    corvel::RealClock real_;
};

// A capture backend (libpcap, or the capture helper), counting the frames the product sends.
class CountingBackend : public corvel::CaptureBackend {
public:
    explicit CountingBackend(corvel::CaptureBackend& inner) : inner_(inner) {}
    bool listInterfaces(std::vector<corvel::HostInterface>& out, std::string& error) override {
        return inner_.listInterfaces(out, error);
    }
    int openCapture(const std::string& name, std::string& error) override {
        return inner_.openCapture(name, error);
    }
    void closeCapture(int handle) override { inner_.closeCapture(handle); }
    void releaseUnused() override { inner_.releaseUnused(); }
    bool sendRaw(int handle, const uint8_t* data, size_t length) override {
        ++sent;
        return inner_.sendRaw(handle, data, length);
    }
    corvel::PollResult pollRaw(int handle, std::vector<uint8_t>& frame) override {
        return inner_.pollRaw(handle, frame);
    }
    corvel::PollResult takeRaw(int handle, std::vector<uint8_t>& frame) override {
        return inner_.takeRaw(handle, frame);
    }
    bool waitAny(const std::vector<int>& handles) override { return inner_.waitAny(handles); }
    uint64_t sent = 0;

private:
    corvel::CaptureBackend& inner_;
};

template <class Operation>
void timeAgainstFloor(const char* what, int count, double plainUs, CountingClock& clock,
                      CountingBackend& backend, Operation operation) {
    std::vector<double> ratios, elapsed;
    double floorSum = 0;
    for (int i = 0; i < count; ++i) {
        clock.slept = 0;
        backend.sent = 0;
        const auto start = Clock::now();
        operation();
        const double us = microseconds(Clock::now() - start);
        const double floorUs = double(clock.slept) * 1000 + double(backend.sent) * plainUs;
        elapsed.push_back(us);
        ratios.push_back(us / floorUs);
        floorSum += floorUs;
    }
    std::sort(ratios.begin(), ratios.end());
    std::sort(elapsed.begin(), elapsed.end());
    std::printf("%-9s median %8.1f ms   floor %8.1f ms   ratio median %.3f  p90 %.3f\n", what,
                elapsed[elapsed.size() / 2] / 1000, floorSum / count / 1000,
                ratios[ratios.size() / 2], ratios[ratios.size() * 9 / 10]);
}

// The await kind against its floor, libpcap in this process and the capture helper taking
// turns in blocks so that both see the same machine. The floor of each exchange is measured
// right after it: the 1 ms sleeps it took, really slept, and a plain round trip for each frame
// it sent.
int awaitThroughHelper(const char* name, int count, const char* helperPath) {
    corvel::PcapBackend pcap;
    corvel::HelperBackend helper(helperPath);
    CountingBackend direct(pcap), relayed(helper);
    CountingClock clock;
    corvel::RealClock sleeper;
    pcap_t* echo = openRaw(name);
    if (echo == nullptr) return 1;
    struct Samples {
        std::vector<double> elapsed, floor, ratio;
    } samples[2];
    int lost = 0;
    constexpr int kBlocks = 10;
    corvel::installClock(&clock);
    for (int block = 0; block < 2 * kBlocks; ++block) {
        CountingBackend& backend = block % 2 == 0 ? direct : relayed;
        Samples& into = samples[block % 2];
        corvel::installCaptureBackend(&backend);
        corvel::reopenInterfaces();
        if (corvel::adapterCount == 0 || corvel::interfaceEntries[0].captureHandle < 0) {
            std::fprintf(stderr, "roundtrip: cannot capture: %s\n", corvel::captureError().c_str());
            return 1;
        }
        corvel::core.currentAdapter = 0;
        for (int i = 0; i < count / kBlocks; ++i) {
            clock.slept = 0;
            backend.sent = 0;
            auto start = Clock::now();
            lost += !corvel::probeLocalAv();
            const double us = microseconds(Clock::now() - start);
            start = Clock::now();
            for (uint64_t n = 0; n < backend.sent; ++n)
                plainRoundTrip(echo, corvel::interfaceEntries[0].interfaceMac, 60, uint8_t(n));
            for (uint64_t n = 0; n < clock.slept; ++n) sleeper.sleepMs(1);
            const double floorUs = microseconds(Clock::now() - start);
            into.elapsed.push_back(us);
            into.floor.push_back(floorUs);
            into.ratio.push_back(us / floorUs);
        }
    }
    corvel::installCaptureBackend(nullptr);
    corvel::installClock(nullptr);
    pcap_close(echo);
    std::printf("await against its floor (its 1 ms sleeps slept, one plain round trip per frame "
                "sent), %d each, interleaved:\n", count / kBlocks * kBlocks);
    for (int kind = 0; kind < 2; ++kind) {
        Samples& s = samples[kind];
        for (auto* v : {&s.elapsed, &s.floor, &s.ratio}) std::sort(v->begin(), v->end());
        const size_t mid = s.ratio.size() / 2, p90 = s.ratio.size() * 9 / 10;
        std::printf("%-7s median %7.3f ms   floor %7.3f ms   ratio median %.3f  p90 %.3f\n",
                    kind == 0 ? "direct" : "helper", s.elapsed[mid] / 1000, s.floor[mid] / 1000,
                    s.ratio[mid], s.ratio[p90]);
    }
    return lost == 0 ? 0 : 1;
}

int scan(const char* name, int count) {
    corvel::PcapBackend pcap;
    CountingBackend backend(pcap);
    corvel::installCaptureBackend(&backend);
    CountingClock clock;
    corvel::installClock(&clock);
    corvel::reopenInterfaces();
    if (corvel::adapterCount == 0 || corvel::interfaceEntries[0].captureHandle < 0) {
        std::fprintf(stderr, "roundtrip: cannot capture: %s\n", corvel::captureError().c_str());
        return 1;
    }
    const Summary plain = plainRoundTrips(name, 500);
    std::printf("plain round trip median %.1f us\n", plain.median);
    timeAgainstFloor("fullScan", count, plain.median, clock, backend, [] { corvel::fullScan(); });
    corvel::Mac local{};
    corvel::copyLocalMac(local.data());
    timeAgainstFloor("stations", count, plain.median, clock, backend,
                     [&] { corvel::readNetworkStations(local); });
    int present = 0;
    for (const corvel::StationRecord& s : corvel::currentStationTable().stations) present += s.present;
    std::printf("%d stations present\n", present);
    corvel::installClock(nullptr);
    corvel::installCaptureBackend(nullptr);
    return present > 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc >= 3 && std::string(argv[1]) == "echo") return echo(argv[2]);
    if (argc == 5 && std::string(argv[1]) == "measure") {
        const int status = measure(argv[2], std::atoi(argv[3]));
        return awaitThroughHelper(argv[2], std::atoi(argv[3]), argv[4]) | status;
    }
    if (argc >= 4 && std::string(argv[1]) == "measure") return measure(argv[2], std::atoi(argv[3]));
    if (argc >= 4 && std::string(argv[1]) == "scan") return scan(argv[2], std::atoi(argv[3]));
    std::fprintf(stderr,
                 "usage: roundtrip echo IFACE | roundtrip measure IFACE COUNT [HELPER] | "
                 "roundtrip scan IFACE COUNT\n");
    return 2;
}
