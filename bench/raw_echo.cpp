// SPDX-License-Identifier: MIT
#include "bench/raw_echo.h"

#include <poll.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>

namespace corvel::bench {

pcap_t* openRaw(const char* name) {
    char errbuf[PCAP_ERRBUF_SIZE] = {};
    pcap_t* p = pcap_create(name, errbuf);
    if (p == nullptr) {
        std::fprintf(stderr, "bench: %s\n", errbuf);
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
        std::fprintf(stderr, "bench: %s: %s\n", name, pcap_geterr(p));
        pcap_close(p);
        return nullptr;
    }
    pcap_freecode(&program);
    return p;
}

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

bool plainRoundTrip(pcap_t* p, const uint8_t* source, size_t length, uint8_t tag) {
    std::vector<uint8_t> request(std::max<size_t>(length, 60), 0);
    std::memset(request.data(), 0xFF, 6);
    std::memcpy(request.data() + 6, source, 6);
    request[12] = uint8_t(kExperimentalEthertype >> 8);
    request[13] = uint8_t(kExperimentalEthertype);
    request[14] = tag;
    const auto start = std::chrono::steady_clock::now();
    pcap_sendpacket(p, request.data(), int(request.size()));
    std::vector<uint8_t> reply;
    while (std::chrono::steady_clock::now() - start < std::chrono::milliseconds(100))
        if (nextFrame(p, reply, 2) && reply.size() > 14 && reply[14] == tag) return true;
    return false;
}

}  // namespace corvel::bench
