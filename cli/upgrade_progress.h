// SPDX-License-Identifier: MIT
#pragma once

#include <ostream>

#include "upgrade/upgrade_control.h"

// How the command line shows a running upgrade: on a terminal one bar redrawn in place (frames
// of total, bytes, elapsed seconds); otherwise a plain line at every tenth of the way.
namespace corvel {

class UpgradeProgressView {
public:
    UpgradeProgressView(std::ostream& out, bool terminal) : out_(out), terminal_(terminal) {}
    void show(const UpgradeProgress& progress);
    // Ends the bar's line, once anything was drawn.
    void close();

private:
    std::ostream& out_;
    bool terminal_;
    bool drawn_ = false;
    uint32_t lastTenth_ = 0;
};

}  // namespace corvel
