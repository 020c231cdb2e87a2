// SPDX-License-Identifier: MIT
#include "transport/frame_trace.h"

#include <cstdio>

#include "platform/process_state.h"
#include "transport/frame_io.h"

namespace corvel {

namespace {
FrameTrace installed;

const RegisteredReset frameTraceReset{[] { installed = nullptr; }};
}  // namespace

void setFrameTrace(FrameTrace trace) { installed = std::move(trace); }

void traceFrame(FrameDirection direction, int index, const uint8_t* frame, size_t length) {
    if (!installed) return;
    const HostInterface* host = interfaceByIndex(index);
    installed(direction, host != nullptr ? host->name : "?", frame, length);
}

std::string formatFrameTrace(FrameDirection direction, const std::string& interfaceName,
                             const uint8_t* frame, size_t length) {
    std::string text = direction == FrameDirection::Sent ? "> " : "< ";
    text += interfaceName + " " + std::to_string(length) + " bytes\n";
    for (size_t line = 0; line < length; line += 16) {
        char offset[24];
        std::snprintf(offset, sizeof offset, "  %04zx ", line);
        text += offset;
        for (size_t i = line; i < length && i < line + 16; ++i) {
            char byte[4];
            std::snprintf(byte, sizeof byte, " %02x", frame[i]);
            text += byte;
        }
        text += '\n';
    }
    return text;
}

}  // namespace corvel
