// SPDX-License-Identifier: MIT
#include "sim/pcap_server.h"

#include <pcap/pcap.h>
#include <poll.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "platform/clock.h"
#include "transport/powerline_filter.h"

namespace corvel::sim {

namespace {

// Long enough to stay idle, short enough to notice a stop request that raced with poll().
constexpr uint64_t kIdleWaitMs = 200;

struct Delivery {
    Network* network;
    int port;
};

void deliver(u_char* user, const pcap_pkthdr* header, const u_char* bytes) {
    const auto* to = reinterpret_cast<const Delivery*>(user);
    to->network->onHostFrame(to->port, std::vector<uint8_t>(bytes, bytes + header->caplen));
}

}  // namespace

PcapServer::PcapServer(Network& network) : network_(network) {
    network_.setEmitter([this](int port, std::vector<uint8_t> frame, uint32_t delayMs) {
        pending_.emplace(systemClock().tickCount() + delayMs, Pending{port, std::move(frame)});
    });
}

PcapServer::~PcapServer() {
    network_.setEmitter(nullptr);
    for (pcap* p : handles_)
        if (p != nullptr) pcap_close(p);
}

bool PcapServer::open(std::string& error) {
    for (size_t i = 0; i < network_.portCount(); ++i) {
        const std::string& name = network_.port(int(i)).interfaceName;
        char errbuf[PCAP_ERRBUF_SIZE] = {};
        pcap* p = pcap_create(name.c_str(), errbuf);
        if (p == nullptr) {
            error = name + ": " + errbuf;
            return false;
        }
        handles_.push_back(p);
        pcap_set_snaplen(p, 65536);
        pcap_set_promisc(p, 1);
        pcap_set_timeout(p, 2);
        pcap_set_immediate_mode(p, 1);
        const int activated = pcap_activate(p);
        if (activated < 0) {
            const std::string status = pcap_statustostr(activated);
            const std::string detail = pcap_geterr(p);
            error = name + ": " + status;
            if (!detail.empty() && detail != status) error += " (" + detail + ")";
            return false;
        }
        bpf_program program = powerlineFilterProgram();
        // Incoming only: the answers the server sends are not requests.
        if (pcap_setdirection(p, PCAP_D_IN) != 0 || pcap_setfilter(p, &program) != 0 ||
            pcap_setnonblock(p, 1, errbuf) != 0 || pcap_get_selectable_fd(p) < 0) {
            error = name + ": " + pcap_geterr(p);
            return false;
        }
    }
    return true;
}

void PcapServer::sendDue(uint64_t nowMs) {
    while (!pending_.empty() && pending_.begin()->first <= nowMs) {
        auto node = pending_.extract(pending_.begin());
        const Pending& out = node.mapped();
        pcap* p = handles_.at(size_t(out.port));
        if (pcap_sendpacket(p, out.frame.data(), int(out.frame.size())) != 0)
            std::fprintf(stderr, "plcsim: %s: a %zu-byte answer was not sent: %s\n",
                         network_.port(out.port).interfaceName.c_str(), out.frame.size(),
                         pcap_geterr(p));
    }
}

bool PcapServer::run(const volatile std::sig_atomic_t& stop, std::string& error) {
    std::vector<pollfd> fds;
    for (pcap* p : handles_) fds.push_back({pcap_get_selectable_fd(p), POLLIN, 0});
    while (stop == 0) {
        const uint64_t now = systemClock().tickCount();
        const uint64_t nextNoise = network_.emitDueNoise(now);
        sendDue(now);
        // What is still pending after sendDue falls due later than now.
        uint64_t wait = std::min(kIdleWaitMs, nextNoise - now);
        if (!pending_.empty()) wait = std::min(wait, pending_.begin()->first - now);
        const int ready = ::poll(fds.data(), fds.size(), int(wait));
        if (ready < 0) {
            if (errno == EINTR) continue;
            error = std::string("poll: ") + std::strerror(errno);
            return false;
        }
        for (size_t i = 0; i < fds.size(); ++i) {
            if (fds[i].revents == 0) continue;
            Delivery to{&network_, int(i)};
            if (pcap_dispatch(handles_[i], -1, deliver, reinterpret_cast<u_char*>(&to)) < 0) {
                error = network_.port(int(i)).interfaceName + ": " + pcap_geterr(handles_[i]);
                return false;
            }
        }
    }
    return true;
}

std::string PcapServer::describe(const Network& network) {
    std::string text;
    for (size_t i = 0; i < network.portCount(); ++i) {
        const Port& port = network.port(int(i));
        if (!text.empty()) text += ", ";
        const size_t n = port.stations.size();
        text += port.interfaceName + " (" +
                (port.local ? std::string(familyName(port.local->family())) : "nothing cabled") +
                ", " + std::to_string(n) + (n == 1 ? " station)" : " stations)");
    }
    return text;
}

}  // namespace corvel::sim
