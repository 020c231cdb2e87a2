// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>

// How fast corvel-capture sends for its caller. The programs send a request and await its
// answer (an upgrade chunk, a statistics request, a key), a few hundred frames a second at most,
// with bursts of a few dozen when a scan asks every station at once; a caller talking to the
// helper directly could otherwise flood the powerline at the interface's full rate. Frames past
// the bound wait their turn rather than being refused, so a burst of the programs' own is never
// lost.
namespace corvel::capture {

inline constexpr uint32_t kSendFramesPerSecond = 2000;
inline constexpr uint32_t kSendBurstFrames = 256;

// A token bucket of `burst` frames, filled at `perSecond`, on the installed clock.
class SendRateLimit {
public:
    explicit SendRateLimit(uint32_t perSecond = kSendFramesPerSecond,
                           uint32_t burst = kSendBurstFrames)
        : perSecond_(perSecond), burst_(burst) {}

    // Returns when one more frame may go, after sleeping (through the clock) as long as the
    // bucket needs to hold one.
    void awaitTurn();

private:
    static constexpr uint64_t kMilli = 1000;  // the bucket counts thousandths of a frame
    uint32_t perSecond_;
    uint32_t burst_;
    bool started_ = false;
    uint64_t credit_ = 0;
    uint64_t lastMs_ = 0;
};

}  // namespace corvel::capture
