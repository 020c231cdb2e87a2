// SPDX-License-Identifier: MIT
#include "cli/upgrade_progress.h"

#include <cstdio>
#include <string>

namespace corvel {

namespace {

constexpr int kBarWidth = 30;

std::string describe(const UpgradeProgress& p) {
    char text[128];
    std::snprintf(text, sizeof text, "%u/%u frames, %llu/%llu bytes, %.1f s", p.framesDone,
                  p.framesTotal, static_cast<unsigned long long>(p.bytesDone),
                  static_cast<unsigned long long>(p.bytesTotal), double(p.elapsedMs) / 1000.0);
    return text;
}

}  // namespace

void UpgradeProgressView::show(const UpgradeProgress& p) {
    if (p.framesTotal == 0) return;
    if (terminal_) {
        const int filled = int(uint64_t(p.framesDone) * kBarWidth / p.framesTotal);
        out_ << "\r[" << std::string(size_t(filled), '#')
             << std::string(size_t(kBarWidth - filled), '.') << "] " << describe(p) << std::flush;
        drawn_ = true;
        return;
    }
    const uint32_t tenth = uint32_t(uint64_t(p.framesDone) * 10 / p.framesTotal);
    if (tenth == lastTenth_ && p.framesDone != 1) return;
    lastTenth_ = tenth;
    out_ << "upgrade: " << describe(p) << '\n';
}

void UpgradeProgressView::close() {
    if (drawn_) out_ << '\n';
    drawn_ = false;
}

}  // namespace corvel
