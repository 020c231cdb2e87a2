// SPDX-License-Identifier: MIT
#include "av/device_restart.h"

#include <algorithm>
#include <cstdio>
#include <optional>

#include "av/link_health_ops.h"
#include "platform/clock.h"

namespace corvel {

std::string restartSeconds(uint64_t ms) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f s", double(ms) / 1000.0);
    return text;
}

RestartOutcome restartDevice(const Mac& device, const RestartWatch& watch) {
    RestartOutcome outcome;
    if (!requestReset(device, outcome.error)) return outcome;
    Clock& clock = systemClock();
    const uint64_t resetAt = clock.tickCount();
    if (watch.confirmed) watch.confirmed();
    const std::string name = formatMac(device);
    if (!waitUntilSilent(device, kRestartSilentWithinMs)) {
        outcome.error = name + " confirmed the reset but went on answering for " +
                        restartSeconds(kRestartSilentWithinMs) + ": it did not restart";
        return outcome;
    }
    const auto since = [&] { return clock.tickCount() - resetAt; };
    if (watch.waiting) watch.waiting(since());
    const uint64_t left = kRestartBackWithinMs - std::min<uint64_t>(since(), kRestartBackWithinMs);
    const std::optional<uint32_t> back = waitUntilAnswers(device, uint32_t(left), [&](uint32_t) {
        if (watch.waiting) watch.waiting(since());
    });
    if (!back) {
        outcome.error = name + " did not answer within " + restartSeconds(kRestartBackWithinMs) +
                        " of its reset";
        return outcome;
    }
    outcome.back = true;
    outcome.backAfterMs = since();
    return outcome;
}

}  // namespace corvel
