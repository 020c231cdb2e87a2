// SPDX-License-Identifier: MIT
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "platform/mac.h"

// The names corvel-capture sends frames in for its caller on one interface. A member of group
// corvel may talk to the powerline devices as this host, not as another host or device: the
// source of every frame is the interface's own address, or, for a HomePlug 1.0 frame, the
// address of the local device cabled to that interface (the 1.0 local query goes out in the
// device's own name, so that it answers itself). Never a group address, never another
// station's.
namespace corvel::capture {

class SenderAddresses {
public:
    // `localHp10` is the local 1.0 device learned on an earlier capture of the interface: every
    // full scan closes and reopens the captures, and the query in the device's name follows.
    explicit SenderAddresses(const Mac& interfaceMac, std::optional<Mac> localHp10 = std::nullopt)
        : interface_(interfaceMac), local_(localHp10) {}

    // Learns the local HomePlug 1.0 device from a frame captured on the interface: the source of
    // a local answer (an entry of type 0x1A or 0x1E whose first data byte has bit 7 clear, which
    // only the device cabled to the interface sends). True when that changed the address kept.
    bool learnFrom(const uint8_t* frame, size_t length);

    // Why `frame` may not be sent in the source address it carries; empty when it may.
    std::string refusal(const uint8_t* frame, size_t length) const;

    const std::optional<Mac>& localHp10Device() const { return local_; }

private:
    Mac interface_;
    std::optional<Mac> local_;
};

}  // namespace corvel::capture
