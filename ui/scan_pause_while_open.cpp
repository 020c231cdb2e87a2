// SPDX-License-Identifier: MIT
#include "ui/scan_pause_while_open.h"

#include "core/tables.h"

namespace corvel::ui {

void ScanPauseWhileOpen::pause() {
    const bool wasOn = setAutoscan(false);
    if (paused_) return;
    wasOn_ = wasOn;
    paused_ = true;
}

void ScanPauseWhileOpen::restore() {
    if (!paused_) return;
    paused_ = false;
    setAutoscan(wasOn_);
}

}  // namespace corvel::ui
