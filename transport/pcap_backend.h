// SPDX-License-Identifier: MIT
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "transport/capture_backend.h"

struct pcap;

namespace corvel {

// libpcap: a snapshot of one full management frame, a ring sized to hold bursts of frames,
// promiscuous unless told otherwise, 2 ms read time-out, immediate delivery, incoming frames
// only, and the powerline filter installed as a ready program.
//
// Every full scan closes and reopens all interfaces. Tearing down a packet socket with its ring
// costs the kernel about 20 ms and setting one up about 8, so a closed handle is kept aside and
// taken back by the next open of the same interface (same name, same interface index), emptied
// of whatever arrived meanwhile, exactly as a fresh handle would be. What no open takes back is
// closed by releaseUnused.
class PcapBackend : public CaptureBackend {
public:
    // Without promiscuous mode a capture receives what is addressed to the host (and to the
    // addresses of receiveAlsoAddressedTo): corvel-capture captures so for its caller, who must
    // not see frames between other hosts and the powerline devices.
    enum class Mode { Promiscuous, AddressedToHost };
    explicit PcapBackend(Mode mode = Mode::Promiscuous) : mode_(mode) {}
    ~PcapBackend() override;
    bool listInterfaces(std::vector<HostInterface>& out, std::string& error) override;
    int openCapture(const std::string& name, std::string& error) override;
    void closeCapture(int handle) override;
    void releaseUnused() override;
    bool sendRaw(int handle, const uint8_t* data, size_t length) override;
    PollResult pollRaw(int handle, std::vector<uint8_t>& frame) override;
    PollResult takeRaw(int handle, std::vector<uint8_t>& frame) override;
    bool waitAny(const std::vector<int>& handles) override;
    bool permissionDenied() const override { return permissionDenied_; }
    int selectableDescriptor(int handle) const override;
    // Adds the address to the interface's receive filter for this capture's socket (a packet
    // membership, taken back with the socket): the kernel then receives it as its own, or puts
    // an interface that cannot filter a second address into promiscuous mode itself.
    void receiveAlsoAddressedTo(int handle, const std::optional<Mac>& address) override;

private:
    struct Slot {
        pcap* capture = nullptr;
        std::string name;
        unsigned interfaceIndex = 0;
        bool keptAside = false;
        std::optional<Mac> alsoAddressedTo = std::nullopt;
    };
    pcap* handleAt(int handle) const;
    int takeBack(const std::string& name);
    int store(pcap* capture, const std::string& name);
    Mode mode_;
    std::vector<Slot> slots_;
    bool permissionDenied_ = false;
};

}  // namespace corvel
