// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "transport/capture_backend.h"

// A capture backend with no network behind it: host interfaces whose sent frames go to a
// receiver (the simulator) and whose received frames are whatever the receiver delivers. Polls
// take time on the installed clock like a real capture's 2 ms read time-out, so with a virtual
// clock every wait of the system runs deterministically and fast.
namespace corvel {

class MemoryWire : public CaptureBackend {
public:
    using Receiver = std::function<void(int port, const std::vector<uint8_t>& frame)>;

    struct SentFrame {
        int port;
        std::vector<uint8_t> bytes;
        uint64_t atMs;
    };

    // Adds a host interface; returns its port number (0, 1, ... in listing order).
    int addInterface(const std::string& name, const Mac& mac, const std::string& description = "");
    void setReceiver(Receiver receiver) { receiver_ = std::move(receiver); }
    // A frame arriving at a host interface. Only the two powerline Ethertypes pass, as through the
    // capture filter; frames for a closed interface are lost, as on a real wire.
    void deliver(int port, std::vector<uint8_t> frame);

    const std::vector<SentFrame>& sent() const { return sent_; }
    void clearSent() { sent_.clear(); }

    // Faults on demand.
    bool failListing = false;
    bool refuseOpen = false;
    std::string refusalText = "you don't have permission to capture on that device";
    bool faultOnSend = false;
    bool faultOnPoll = false;
    uint32_t readTimeoutMs = 2;
    // Each frame taken costs this long on the clock, as reading does on a slow host: frames
    // that come faster than that are always waiting.
    uint32_t takeMs = 0;

    bool listInterfaces(std::vector<HostInterface>& out, std::string& error) override;
    int openCapture(const std::string& name, std::string& error) override;
    void closeCapture(int handle) override;
    bool sendRaw(int handle, const uint8_t* data, size_t length) override;
    PollResult pollRaw(int handle, std::vector<uint8_t>& frame) override;
    PollResult takeRaw(int handle, std::vector<uint8_t>& frame) override;
    bool waitAny(const std::vector<int>& handles) override;
    bool permissionDenied() const override { return refuseOpen; }

private:
    struct Port {
        HostInterface host;
        bool open = false;
        std::deque<std::vector<uint8_t>> inbox;
    };
    Port* portOf(int handle);
    bool anyWaiting(const std::vector<int>& handles);

    std::vector<Port> ports_;
    std::vector<SentFrame> sent_;
    Receiver receiver_;
};

}  // namespace corvel
