// SPDX-License-Identifier: MIT
#pragma once

#include <csignal>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "sim/network.h"

struct pcap;

namespace corvel::sim {

// Serves a network on real interfaces through libpcap, one per port: frames of the two powerline
// Ethertypes that arrive on a port's interface go to the network, and its answers are sent there
// once their delay has passed on the real clock. Only ever run on interfaces made for it (the
// veth ends of a test's network namespaces).
class PcapServer {
public:
    explicit PcapServer(Network& network);
    ~PcapServer();
    PcapServer(const PcapServer&) = delete;
    PcapServer& operator=(const PcapServer&) = delete;

    // Opens every port's interface: promiscuous, immediate delivery, incoming frames only, the
    // powerline filter, non-blocking. False with `error` naming the interface that failed.
    bool open(std::string& error);
    // Serves until `stop` becomes non-zero (a signal handler sets it). False with `error` when
    // capture on an interface fails (the interface went away).
    bool run(const volatile std::sig_atomic_t& stop, std::string& error);

    // "plc0 (AV, 3 stations), plc1 (HomePlug 1.0, 1 station)": what a network serves.
    static std::string describe(const Network& network);

private:
    struct Pending {
        int port;
        std::vector<uint8_t> frame;
    };
    void sendDue(uint64_t nowMs);

    Network& network_;
    std::vector<pcap*> handles_;
    // Answers waiting for their time, in time order and, at equal times, in emission order.
    std::multimap<uint64_t, Pending> pending_;
};

}  // namespace corvel::sim
