// SPDX-License-Identifier: MIT
// Round trips over a veth pair inside network namespaces (scripts/bench-roundtrip):
//   roundtrip echo IFACE          reflects every 0x88B5 frame back to its sender (sim side)
//   roundtrip measure IFACE N     times N round trips of each kind (host side):
//     plain  a raw 0x88B5 frame to the echo and back, on its own capture handle;
//     wire   an AV version request through the product's codec and frame I/O, until its
//            confirmation is received and decoded (plcsim answers);
//     await  the same exchange as the product runs it, with its mandated 1 ms sleeps.
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
#include "av/exchanges.h"
#include "avcodec/frame.h"
#include "av/local_device.h"
#include "scan/full_scan.h"
#include "core/observer.h"
#include "core/tables.h"
#include "platform/clock.h"
#include "transport/frame_io.h"
#include "transport/pcap_backend.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr uint16_t kExperimentalEthertype = 0x88B5;

pcap_t* openRaw(const char* name) {
    char errbuf[PCAP_ERRBUF_SIZE] = {};
    pcap_t* p = pcap_create(name, errbuf);
    if (p == nullptr) {
        std::fprintf(stderr, "roundtrip: %s\n", errbuf);
        return nullptr;
    }
    pcap_set_snaplen(p, 2048);
    pcap_set_promisc(p, 1);
    pcap_set_timeout(p, 2);
    pcap_set_immediate_mode(p, 1);
    bpf_program program{};
    if (pcap_activate(p) < 0 || pcap_setdirection(p, PCAP_D_IN) != 0 ||
        pcap_compile(p, &program, "ether proto 0x88b5", 1, PCAP_NETMASK_UNKNOWN) != 0 ||
        pcap_setfilter(p, &program) != 0 || pcap_setnonblock(p, 1, errbuf) != 0) {
        std::fprintf(stderr, "roundtrip: %s: %s\n", name, pcap_geterr(p));
        pcap_close(p);
        return nullptr;
    }
    pcap_freecode(&program);
    return p;
}

// Waits up to `timeoutMs` for one frame; copies it into `frame`.
bool nextFrame(pcap_t* p, std::vector<uint8_t>& frame, int timeoutMs) {
    auto take = [](u_char* user, const pcap_pkthdr* h, const u_char* bytes) {
        reinterpret_cast<std::vector<uint8_t>*>(user)->assign(bytes, bytes + h->caplen);
    };
    if (pcap_dispatch(p, 1, take, reinterpret_cast<u_char*>(&frame)) > 0) return true;
    pollfd readable{pcap_get_selectable_fd(p), POLLIN, 0};
    return ::poll(&readable, 1, timeoutMs) > 0 &&
           pcap_dispatch(p, 1, take, reinterpret_cast<u_char*>(&frame)) > 0;
}

int echo(const char* name) {
    pcap_t* p = openRaw(name);
    if (p == nullptr) return 1;
    std::vector<uint8_t> frame;
    for (;;) {
        if (!nextFrame(p, frame, 1000) || frame.size() < 14) continue;
        uint8_t source[6];
        std::memcpy(source, frame.data() + 6, 6);
        std::memcpy(frame.data() + 6, frame.data(), 6);
        std::memcpy(frame.data(), source, 6);
        pcap_sendpacket(p, frame.data(), int(frame.size()));
    }
}

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
    std::vector<uint8_t> request(60, 0);
    std::memset(request.data(), 0xFF, 6);
    std::memcpy(request.data() + 6, corvel::interfaceEntries[0].interfaceMac, 6);
    request[12] = uint8_t(kExperimentalEthertype >> 8);
    request[13] = uint8_t(kExperimentalEthertype);
    std::vector<double> samples;
    int lost = 0;
    std::vector<uint8_t> reply;
    for (int i = 0; i < count; ++i) {
        request[14] = uint8_t(i);
        const auto start = Clock::now();
        pcap_sendpacket(p, request.data(), int(request.size()));
        bool answered = false;
        while (!answered && Clock::now() - start < std::chrono::milliseconds(100))
            answered = nextFrame(p, reply, 2) && reply.size() > 14 && reply[14] == uint8_t(i);
        if (answered) samples.push_back(microseconds(Clock::now() - start));
        else ++lost;
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

// libpcap, counting the frames the product sends.
class CountingBackend : public corvel::CaptureBackend {
public:
    bool listInterfaces(std::vector<corvel::HostInterface>& out, std::string& error) override {
        return pcap_.listInterfaces(out, error);
    }
    int openCapture(const std::string& name, std::string& error) override {
        return pcap_.openCapture(name, error);
    }
    void closeCapture(int handle) override { pcap_.closeCapture(handle); }
    bool sendRaw(int handle, const uint8_t* data, size_t length) override {
        ++sent;
        return pcap_.sendRaw(handle, data, length);
    }
    corvel::PollResult pollRaw(int handle, std::vector<uint8_t>& frame) override {
        return pcap_.pollRaw(handle, frame);
    }
    uint64_t sent = 0;

private:
    corvel::PcapBackend pcap_;
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

int scan(const char* name, int count) {
    CountingBackend backend;
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
    if (argc >= 4 && std::string(argv[1]) == "measure") return measure(argv[2], std::atoi(argv[3]));
    if (argc >= 4 && std::string(argv[1]) == "scan") return scan(argv[2], std::atoi(argv[3]));
    std::fprintf(stderr,
                 "usage: roundtrip echo IFACE | roundtrip measure IFACE COUNT | "
                 "roundtrip scan IFACE COUNT\n");
    return 2;
}
