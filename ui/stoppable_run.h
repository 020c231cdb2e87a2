// SPDX-License-Identifier: MIT
#pragma once

#include <QString>

#include <functional>

class QWidget;

// Add Device, Set All Devices and Set Local Device Only run through runOperation with a stop
// request installed (network/operation_stop.h): the Add Device dialog's Cancel, or closing the
// window, asks them to stop at their next safe point instead of being refused while they run.
// The operation puts back what it had changed; one message then says how that went and what is
// left to do.
namespace corvel::ui {

// GUI thread. Runs `operation` as runOperation does (`disable` disabled meanwhile). When it was
// stopped, says so in one message ("Attention!"), naming `networkBefore` (the network the local
// device was on when it started) and `networkSet` (the name being set, if any).
void runStoppable(QWidget* disable, const std::function<void()>& operation,
                  const QString& networkBefore, const QString& networkSet = {});

// GUI thread: asks the operation runStoppable runs to stop; `closeAfter`, when given, is closed
// (its reject slot) once the operation has ended. False when no such operation runs.
bool requestStop(QWidget* closeAfter = nullptr);

// Whether runStoppable runs an operation now.
bool stoppableRunning();

}  // namespace corvel::ui
