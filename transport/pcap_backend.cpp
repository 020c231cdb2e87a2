// SPDX-License-Identifier: MIT
#include "transport/pcap_backend.h"

#include <linux/if_packet.h>
#include <net/if.h>
#include <net/if_arp.h>
#include <pcap/pcap.h>
#include <poll.h>
#include <sys/socket.h>

#include <cstring>

#include "transport/powerline_filter.h"

namespace corvel {

namespace {

constexpr int kReadTimeoutMs = 2;
// A management frame is at most 1514 bytes: capturing more only makes each ring slot bigger.
constexpr int kSnapshotLength = 1514;
// Each ring slot holds one frame of the snapshot length plus the kernel's packet header and
// address, rounded up: 2 KiB. Stations answer a broadcast request together, and a burst of 64
// frames must be held until the next poll; 256 slots leave room for four such bursts.
constexpr int kRingSlotBytes = 2048;
constexpr int kRingFrames = 256;

// The interface's own address from the AF_PACKET entry libpcap lists for it; interfaces without
// a 6-byte Ethernet hardware address (any, nflog, bluetooth, ...) have none.
bool ethernetAddress(const pcap_if_t& device, Mac& mac) {
    for (const pcap_addr_t* a = device.addresses; a != nullptr; a = a->next) {
        if (a->addr == nullptr || a->addr->sa_family != AF_PACKET) continue;
        const auto* link = reinterpret_cast<const sockaddr_ll*>(a->addr);
        if (link->sll_hatype != ARPHRD_ETHER || link->sll_halen != 6) continue;
        std::memcpy(mac.data(), link->sll_addr, 6);
        return true;
    }
    return false;
}

void dispatchOne(u_char* user, const pcap_pkthdr* header, const u_char* bytes) {
    auto* frame = reinterpret_cast<std::vector<uint8_t>*>(user);
    frame->assign(bytes, bytes + header->caplen);
}

}  // namespace

PcapBackend::~PcapBackend() {
    for (Slot& slot : slots_)
        if (slot.capture != nullptr) pcap_close(slot.capture);
}

bool PcapBackend::listInterfaces(std::vector<HostInterface>& out, std::string& error) {
    char errbuf[PCAP_ERRBUF_SIZE] = {};
    pcap_if_t* devices = nullptr;
    if (pcap_findalldevs(&devices, errbuf) == -1) {
        error = errbuf;
        return false;
    }
    out.clear();
    for (const pcap_if_t* d = devices; d != nullptr; d = d->next) {
        HostInterface host;
        if ((d->flags & PCAP_IF_LOOPBACK) != 0 || !ethernetAddress(*d, host.mac)) continue;
        host.name = d->name;
        host.description = d->description != nullptr ? d->description : "";
        out.push_back(std::move(host));
    }
    pcap_freealldevs(devices);
    return true;
}

int PcapBackend::openCapture(const std::string& name, std::string& error) {
    if (const int reused = takeBack(name); reused >= 0) return reused;
    char errbuf[PCAP_ERRBUF_SIZE] = {};
    pcap* p = pcap_create(name.c_str(), errbuf);
    if (p == nullptr) {
        error = errbuf;
        return -1;
    }
    pcap_set_snaplen(p, kSnapshotLength);
    // The library divides the ring into slots of the snapshot length (on interfaces with
    // offloads, as veth and most NICs have): with a 64 KiB snapshot a 256 KiB ring held four
    // frames. Sized in frames, it holds what a whole network answers at once.
    pcap_set_buffer_size(p, kRingSlotBytes * kRingFrames);
    pcap_set_promisc(p, mode_ == Mode::Promiscuous ? 1 : 0);
    pcap_set_timeout(p, kReadTimeoutMs);
    // Without immediate mode Linux hands frames over only when its ~2 ms block timer fires.
    pcap_set_immediate_mode(p, 1);
    const int activated = pcap_activate(p);
    permissionDenied_ = activated == PCAP_ERROR_PERM_DENIED;
    if (activated < 0) {
        error = name + ": " + pcap_statustostr(activated);
        const char* detail = pcap_geterr(p);
        if (detail != nullptr && *detail != '\0') error += " (" + std::string(detail) + ")";
        pcap_close(p);
        return -1;
    }
    // Our own requests are not answers: see only what arrives.
    pcap_setdirection(p, PCAP_D_IN);
    bpf_program program = powerlineFilterProgram();
    // Non-blocking, with the read time-out kept by pollRaw: a blocking dispatch in immediate
    // mode does not come back on an idle interface.
    if (pcap_setfilter(p, &program) != 0 || pcap_setnonblock(p, 1, errbuf) != 0 ||
        pcap_get_selectable_fd(p) < 0) {
        error = name + ": " + pcap_geterr(p);
        pcap_close(p);
        return -1;
    }
    return store(p, name);
}

int PcapBackend::store(pcap* capture, const std::string& name) {
    Slot slot{capture, name, if_nametoindex(name.c_str()), false};
    for (size_t i = 0; i < slots_.size(); ++i) {
        if (slots_[i].capture == nullptr) {
            slots_[i] = slot;
            return int(i);
        }
    }
    slots_.push_back(slot);
    return int(slots_.size() - 1);
}

int PcapBackend::takeBack(const std::string& name) {
    const unsigned index = if_nametoindex(name.c_str());
    for (size_t i = 0; i < slots_.size(); ++i) {
        Slot& slot = slots_[i];
        if (!slot.keptAside || slot.name != name) continue;
        if (index == 0 || slot.interfaceIndex != index) return -1;  // gone, or a new interface
        // A fresh handle would not have seen what arrived while this one was put aside.
        std::vector<uint8_t> stale;
        while (pcap_dispatch(slot.capture, -1, dispatchOne, reinterpret_cast<u_char*>(&stale)) >
               0) {
        }
        slot.keptAside = false;
        return int(i);
    }
    return -1;
}

pcap* PcapBackend::handleAt(int handle) const {
    if (handle < 0 || size_t(handle) >= slots_.size()) return nullptr;
    const Slot& slot = slots_[size_t(handle)];
    return slot.keptAside ? nullptr : slot.capture;
}

namespace {

// One packet membership of type `action` (add or drop) for `address` on the capture's socket.
bool setUnicastMembership(pcap* capture, unsigned interfaceIndex, int action, const Mac& address) {
    packet_mreq membership{};
    membership.mr_ifindex = int(interfaceIndex);
    membership.mr_type = PACKET_MR_UNICAST;
    membership.mr_alen = uint16_t(address.size());
    std::memcpy(membership.mr_address, address.data(), address.size());
    return ::setsockopt(pcap_fileno(capture), SOL_PACKET, action, &membership, sizeof membership) ==
           0;
}

}  // namespace

void PcapBackend::receiveAlsoAddressedTo(int handle, const std::optional<Mac>& address) {
    pcap* capture = handleAt(handle);
    if (capture == nullptr || mode_ == Mode::Promiscuous) return;
    Slot& slot = slots_[size_t(handle)];
    if (slot.alsoAddressedTo == address) return;
    if (slot.alsoAddressedTo)
        setUnicastMembership(capture, slot.interfaceIndex, PACKET_DROP_MEMBERSHIP,
                             *slot.alsoAddressedTo);
    slot.alsoAddressedTo.reset();
    if (address &&
        setUnicastMembership(capture, slot.interfaceIndex, PACKET_ADD_MEMBERSHIP, *address))
        slot.alsoAddressedTo = address;
}

void PcapBackend::closeCapture(int handle) {
    if (handleAt(handle) != nullptr) slots_[size_t(handle)].keptAside = true;
}

void PcapBackend::releaseUnused() {
    for (Slot& slot : slots_) {
        if (slot.capture == nullptr || !slot.keptAside) continue;
        pcap_close(slot.capture);
        slot = Slot{};
    }
}

bool PcapBackend::sendRaw(int handle, const uint8_t* data, size_t length) {
    pcap* p = handleAt(handle);
    return p != nullptr && pcap_sendpacket(p, data, int(length)) != -1;
}

PollResult PcapBackend::takeRaw(int handle, std::vector<uint8_t>& frame) {
    pcap* p = handleAt(handle);
    // An error here (the interface went away) is no frame; the next full scan rebuilds the list.
    if (p != nullptr && pcap_dispatch(p, 1, dispatchOne, reinterpret_cast<u_char*>(&frame)) > 0)
        return PollResult::Frame;
    return PollResult::None;
}

int PcapBackend::selectableDescriptor(int handle) const {
    pcap* p = handleAt(handle);
    return p != nullptr ? pcap_get_selectable_fd(p) : -1;
}

bool PcapBackend::waitAny(const std::vector<int>& handles) {
    std::vector<pollfd> readable;
    for (int handle : handles)
        if (pcap* p = handleAt(handle)) readable.push_back({pcap_get_selectable_fd(p), POLLIN, 0});
    if (readable.empty()) return false;
    return ::poll(readable.data(), readable.size(), kReadTimeoutMs) > 0;
}

PollResult PcapBackend::pollRaw(int handle, std::vector<uint8_t>& frame) {
    if (takeRaw(handle, frame) == PollResult::Frame) return PollResult::Frame;
    if (!waitAny({handle})) return PollResult::None;
    return takeRaw(handle, frame);
}

}  // namespace corvel
