// SPDX-License-Identifier: MIT
#include "ui/qt_scan_timer.h"

#include "ui/operation_runner.h"

namespace corvel::ui {

QtScanTimer::QtScanTimer(QObject* parent) : QObject(parent) {
    // A window timer's messages coalesce: a tick that overran is followed by one tick, not by
    // every one that was missed; QTimer behaves so when its slot blocks the loop.
    timer_.setTimerType(Qt::PreciseTimer);
    connect(&timer_, &QTimer::timeout, this, &QtScanTimer::tick);
}

void QtScanTimer::start(uint32_t periodMs) {
    runOnGuiThread([&] { timer_.start(int(periodMs)); });
}

void QtScanTimer::stop() {
    runOnGuiThread([&] { timer_.stop(); });
}

void QtScanTimer::tick() {
    // A message box inside a tick runs a nested event loop in which the timer keeps firing; the
    // cycle is not re-entered from there.
    if (ticking_ || operationRunning()) return;
    ticking_ = true;
    onTimerTick();
    ticking_ = false;
}

}  // namespace corvel::ui
