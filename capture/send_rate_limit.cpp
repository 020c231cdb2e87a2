// SPDX-License-Identifier: MIT
#include "capture/send_rate_limit.h"

#include <algorithm>

#include "platform/clock.h"

namespace corvel::capture {

void SendRateLimit::awaitTurn() {
    Clock& clock = systemClock();
    const uint64_t full = uint64_t(burst_) * kMilli;
    for (;;) {
        const uint64_t now = clock.tickCount();
        if (!started_) {
            started_ = true;
            credit_ = full;
            lastMs_ = now;
        }
        // A clock that went back (it never should) adds nothing rather than a lot.
        const uint64_t elapsed = now > lastMs_ ? now - lastMs_ : 0;
        credit_ = std::min(full, credit_ + elapsed * perSecond_);
        lastMs_ = now;
        if (credit_ >= kMilli) {
            credit_ -= kMilli;
            return;
        }
        clock.sleepMs(uint32_t((kMilli - credit_ + perSecond_ - 1) / perSecond_));
    }
}

}  // namespace corvel::capture
