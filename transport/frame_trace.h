// SPDX-License-Identifier: MIT
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

// A look at every management frame that crosses the wire, for a user who asks to see them
// (corvel --verbose). Off unless a front end installs it.
namespace corvel {

enum class FrameDirection { Sent, Received };

using FrameTrace = std::function<void(FrameDirection direction, const std::string& interfaceName,
                                      const uint8_t* frame, size_t length)>;

void setFrameTrace(FrameTrace trace);
// Called by the frame I/O for each frame sent or received on interface `index`.
void traceFrame(FrameDirection direction, int index, const uint8_t* frame, size_t length);

// "> host0 60 bytes" (or "<" for received), then the bytes as hex, 16 to a line.
std::string formatFrameTrace(FrameDirection direction, const std::string& interfaceName,
                             const uint8_t* frame, size_t length);

}  // namespace corvel
