// SPDX-License-Identifier: MIT
#pragma once

#include <QObject>
#include <QTimer>

#include "scan/scan.h"

// The scan cycle's clock in the desktop program: a QTimer of the GUI thread's event loop, so that
// ticks run between window events and never beside a page command. A tick that falls due while an
// operation's worker owns the tables is held back (the cycle is paused for it anyway).
namespace corvel::ui {

class QtScanTimer final : public QObject, public ScanTimer {
    Q_OBJECT
public:
    explicit QtScanTimer(QObject* parent = nullptr);
    // Called by the cycle, from the GUI thread or from an operation's worker.
    void start(uint32_t periodMs) override;
    void stop() override;
    bool active() const { return timer_.isActive(); }
    int intervalMs() const { return timer_.interval(); }

private:
    void tick();

    QTimer timer_;
    bool ticking_ = false;
};

}  // namespace corvel::ui
