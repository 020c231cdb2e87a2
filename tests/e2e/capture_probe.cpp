// SPDX-License-Identifier: MIT
// Both ends of the check that corvel-capture carries powerline frames only (privilege_e2e_test):
//   capture_probe noise IFACE               sim side: sends, every 2 ms, frames of other
//                                           Ethertypes (IPv4, a VLAN tag before 0x88E1, 0x88B5,
//                                           an 802.3 length) and two powerline markers
//   capture_probe listen HELPER IFACE MS    host side, as the caller: starts HELPER as the
//                                           product does, asks it to send frames of other
//                                           Ethertypes, of wrong lengths and in other names
//                                           than the interface's (each must be refused), then
//                                           counts by Ethertype what it relays for MS
//                                           milliseconds, reading the messages raw, and looks
//                                           whether the interface is in promiscuous mode
// listen prints what it found and exits 0 only when every bad request was refused, powerline
// frames arrived, nothing else did, and the interface was not made promiscuous.
#include <pcap/pcap.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "transport/capture_protocol.h"
#include "transport/helper_backend.h"

namespace {

using Bytes = std::vector<uint8_t>;
namespace capture = corvel::capture;

constexpr uint8_t kNoiseSource[6] = {0x02, 0x00, 0x00, 0x00, 0x99, 0x01};

Bytes frame(uint16_t ethertype, size_t length, const Bytes& after = {}) {
    Bytes out(length, 0);
    std::memset(out.data(), 0xFF, 6);
    std::memcpy(out.data() + 6, kNoiseSource, 6);
    out[12] = uint8_t(ethertype >> 8);
    out[13] = uint8_t(ethertype);
    std::copy(after.begin(), after.end(), out.begin() + 14);
    return out;
}

int noise(const char* name) {
    char errbuf[PCAP_ERRBUF_SIZE] = {};
    pcap_t* p = pcap_open_live(name, 1514, 0, 1, errbuf);
    if (p == nullptr) {
        std::fprintf(stderr, "capture_probe: %s\n", errbuf);
        return 1;
    }
    const std::vector<Bytes> frames = {
        frame(0x0800, 60, {0x45, 0x00}),
        frame(0x8100, 64, {0x00, 0x01, 0x88, 0xE1}),  // a VLAN tag, then the AV Ethertype
        frame(0x88B5, 60),
        frame(0x002E, 60),  // an 802.3 length, not an Ethertype
        // Markers: an AV message of a type no device answers, and a HomePlug 1.0 frame.
        frame(0x88E1, 60, {0x00, 0xFD, 0xA0, 0x00, 0xB0, 0x52}),
        frame(0x887B, 60, {0x01}),
    };
    for (;;) {
        for (const Bytes& f : frames) pcap_sendpacket(p, f.data(), int(f.size()));
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
}

// A capability set of /proc/PID/status ("CapEff", "CapBnd").
std::string capabilitySet(pid_t pid, const std::string& set) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/status");
    const std::string field = set + ":";
    for (std::string line; std::getline(in, line);)
        if (line.rfind(field, 0) == 0)
            return line.substr(line.find_first_not_of(" \t", field.size()));
    return "?";
}

bool promiscuous(const std::string& name) {
    std::ifstream in("/sys/class/net/" + name + "/flags");
    unsigned long flags = 0;
    in >> std::hex >> flags;
    return (flags & 0x100) != 0;  // IFF_PROMISC
}

struct Counts {
    int powerline = 0;
    int other = 0;
};

// One raw message from the helper; frame messages are counted by the Ethertype they carry,
// whatever it is. True for a reply, copied to `reply`.
bool take(const Bytes& message, Counts& counts, capture::HelperMessage& reply) {
    if (message.size() >= 3 && message[0] == capture::kFrameMessage) {
        const bool powerline = message.size() >= 3 + 14 &&
                               ((message[15] == 0x88 && message[16] == 0x7B) ||
                                (message[15] == 0x88 && message[16] == 0xE1));
        if (powerline) {
            ++counts.powerline;
        } else {
            ++counts.other;
            std::printf("relayed a frame of another Ethertype: %zu bytes\n", message.size() - 3);
        }
        return false;
    }
    return capture::parseHelperMessage(message.data(), message.size(), reply);
}

bool receive(int socket, int timeoutMs, Bytes& message) {
    pollfd readable{socket, POLLIN, 0};
    if (::poll(&readable, 1, timeoutMs) <= 0) return false;
    message.resize(capture::kMaxHelperMessage);
    const ssize_t n = ::recv(socket, message.data(), message.size(), 0);
    if (n <= 0) return false;
    message.resize(size_t(n));
    return true;
}

capture::HelperMessage exchange(int socket, const capture::Request& request, Counts& counts) {
    const Bytes bytes = capture::encodeRequest(request);
    ::send(socket, bytes.data(), bytes.size(), MSG_NOSIGNAL);
    capture::HelperMessage reply;
    Bytes message;
    while (receive(socket, 5000, message))
        if (take(message, counts, reply) && reply.id == request.id) return reply;
    std::printf("no reply to request %u\n", request.id);
    std::exit(1);
}

int listen(const char* helperPath, const std::string& name, int milliseconds) {
    corvel::HelperProcess helper;
    std::string error;
    if (!corvel::startCaptureHelper(helperPath, helper, error)) {
        std::printf("%s\n", error.c_str());
        return 3;
    }
    Counts counts;
    uint32_t id = 0;
    const capture::HelperMessage listing =
        exchange(helper.socket, capture::Request(capture::RequestType::List, ++id), counts);
    std::vector<corvel::HostInterface> interfaces;
    if (listing.status != capture::ReplyStatus::Ok ||
        !capture::parseListing(listing.body.data(), listing.body.size(), interfaces))
        return 1;
    corvel::Mac own{};
    for (const corvel::HostInterface& host : interfaces)
        if (host.name == name) own = host.mac;
    capture::Request open(capture::RequestType::Open, ++id);
    open.name = name;
    const capture::HelperMessage opened = exchange(helper.socket, open, counts);
    if (opened.status != capture::ReplyStatus::Ok || opened.body.size() != 2) {
        std::printf("open refused: %s\n", std::string(opened.body.begin(), opened.body.end()).c_str());
        return 1;
    }
    const uint16_t handle = uint16_t(opened.body[0] | (opened.body[1] << 8));

    // Requests are built by hand: the product's encoder would carry them, the helper must not.
    auto sendRequest = [&](const Bytes& f) {
        Bytes bytes = {uint8_t(capture::RequestType::Send), uint8_t(++id), 0, 0, 0,
                       uint8_t(handle), uint8_t(handle >> 8)};
        bytes.insert(bytes.end(), f.begin(), f.end());
        ::send(helper.socket, bytes.data(), bytes.size(), MSG_NOSIGNAL);
        capture::HelperMessage reply;
        Bytes message;
        while (receive(helper.socket, 5000, message))
            if (take(message, counts, reply) && reply.id == id) return reply.status;
        return capture::ReplyStatus::Failed;
    };
    Bytes cut = frame(0x88E1, 60);
    cut.resize(13);  // not even a whole Ethernet header
    // Powerline frames in names other than the interface's own: another host's (the noise
    // source's), a group address, a powerline device's.
    auto from = [](Bytes f, std::initializer_list<uint8_t> source) {
        std::copy(source.begin(), source.end(), f.begin() + 6);
        return f;
    };
    const std::vector<Bytes> bad = {
        frame(0x0800, 60), frame(0x8100, 64, {0x00, 0x01, 0x88, 0xE1}), cut, frame(0x88E1, 1515),
        frame(0x88E1, 60), from(frame(0x887B, 60), {0x01, 0x00, 0x5E, 0x00, 0x00, 0x01}),
        from(frame(0x88E1, 60), {0x00, 0xB0, 0x52, 0x00, 0x00, 0x10})};
    int refused = 0;
    for (const Bytes& f : bad) refused += sendRequest(f) == capture::ReplyStatus::Refused;
    Bytes good = frame(0x887B, 60, {0x01});
    std::copy(own.begin(), own.end(), good.begin() + 6);
    const bool goodSent = sendRequest(good) == capture::ReplyStatus::Ok;
    std::printf("refused %d of %zu frames of other Ethertypes, lengths or sources; powerline "
                "frame %s\n",
                refused, bad.size(), goodSent ? "sent" : "NOT sent");
    std::printf("helper CapEff: %s\nhelper CapBnd: %s\ncaller CapEff: %s\n",
                capabilitySet(helper.pid, "CapEff").c_str(),
                capabilitySet(helper.pid, "CapBnd").c_str(),
                capabilitySet(::getpid(), "CapEff").c_str());
    const bool madePromiscuous = promiscuous(name);
    std::printf("%s promiscuous: %s\n", name.c_str(), madePromiscuous ? "yes" : "no");

    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
    Bytes message;
    capture::HelperMessage ignored;
    while (std::chrono::steady_clock::now() < end)
        if (receive(helper.socket, 10, message)) take(message, counts, ignored);
    std::printf("relayed %d powerline frames and %d others\n", counts.powerline, counts.other);
    corvel::stopCaptureHelper(helper);
    const bool sound = refused == int(bad.size()) && goodSent && counts.powerline > 0 &&
                       counts.other == 0 && !madePromiscuous;
    return sound ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::string(argv[1]) == "noise") return noise(argv[2]);
    if (argc == 5 && std::string(argv[1]) == "listen")
        return listen(argv[2], argv[3], std::atoi(argv[4]));
    std::fprintf(stderr, "usage: capture_probe noise IFACE | capture_probe listen HELPER IFACE MS\n");
    return 2;
}
