// SPDX-License-Identifier: MIT
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "capture/send_rate_limit.h"
#include "capture/sender_addresses.h"
#include "transport/capture_backend.h"

// corvel-capture's side of the capture protocol (transport/capture_protocol.h) over a capture
// backend: libpcap in the helper, the in-memory wire in tests. Every request is checked before
// anything is done: its form, the interface against the helper's own listing, the handle
// against the captures it opened, the frame against the two powerline Ethertypes and its source
// against the names the capture may send in (SenderAddresses); frames go at a bounded rate
// (SendRateLimit). Captured frames are checked again before they are relayed, whatever the
// capture filter let through, and teach the capture its local HomePlug 1.0 device.
namespace corvel::capture {

class CaptureService {
public:
    explicit CaptureService(CaptureBackend& backend) : backend_(backend) {}

    // The reply to one request message.
    std::vector<uint8_t> answer(const uint8_t* data, size_t length);

    std::vector<int> openHandles() const;
    bool isOpen(int handle) const { return open_.count(handle) != 0; }
    // The local HomePlug 1.0 device learned on `handle`, if any.
    std::optional<Mac> localHp10Device(int handle) const;

    // The next frame captured on `handle` that may be relayed, as a frame message; false when
    // none is waiting.
    bool nextFrame(int handle, std::vector<uint8_t>& message);

private:
    std::vector<uint8_t> list(uint32_t id);
    std::vector<uint8_t> open(uint32_t id, const std::string& name);
    std::vector<uint8_t> send(uint32_t id, uint16_t handle, const std::vector<uint8_t>& frame);

    struct OpenCapture {
        std::string name;
        SenderAddresses senders;
    };

    CaptureBackend& backend_;
    std::vector<HostInterface> listed_;  // the last listing
    std::map<int, OpenCapture> open_;
    // The local 1.0 device each interface's captures learned, by interface name: kept for the
    // captures of that interface the caller opens later.
    std::map<std::string, Mac> localHp10_;
    SendRateLimit rate_;
    std::vector<uint8_t> frame_;
};

}  // namespace corvel::capture
