// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "transport/capture_backend.h"
#include "transport/mme_frame.h"

// The only road between the system and the wire: the host interfaces, their own addresses,
// capture handles with the powerline filter, raw frames out and in.
namespace corvel {

// Rebuilds the interface list: at most 8 Ethernet interfaces in the library's order, each with
// its own MAC and description. False when the library cannot list interfaces.
bool enumerateInterfaces();
// Opens interface `index` for capture unless it is open.
bool openInterface(int index);
bool closeInterface(int index);
// Forgets the last frame, closes every handle and drops the interface list.
bool closeAllInterfaces();
// enumerateInterfaces, then openInterface for each; the opens are not reported.
bool reopenInterfaces();
// The enumerated interface at `index`, or nullptr.
const HostInterface* interfaceByIndex(int index);

// Sends one frame, zero-padded to 60 bytes; refuses more than 1514 bytes or a closed interface.
bool sendFrame(int index, const uint8_t* frame, uint16_t length);
enum class PollWait {
    ReadTimeout,  // wait up to the 2 ms read time-out for a frame
    None,         // only a frame that has already arrived
};

// One frame from one interface, or nullptr. The frame stays valid until the next poll on any
// interface. `faulted`, when given, tells whether the library failed while reading.
const MmeFrame* pollFrame(int index, bool* faulted = nullptr,
                          PollWait wait = PollWait::ReadTimeout);

// Waits up to the read time-out on every open interface at once; true when one of them has a
// frame waiting. With no open interface it returns false at once.
bool waitForFrames();

// Why no interface could be listed or opened at the last enumeration or open (for instance
// "you don't have permission to capture on that device"); empty when all went well.
const std::string& captureError();

// Whether, at the last enumeration, interfaces were listed but every open was refused for want of
// privileges (neither root nor the capture capabilities).
bool captureNotPermitted();

// The readable part of a capture library's description: after the first "'" up to the first
// "(" that follows, or else up to the next "'"; empty without a "'".
std::string extractDescription(std::string_view description);

}  // namespace corvel
