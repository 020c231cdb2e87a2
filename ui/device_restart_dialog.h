// SPDX-License-Identifier: MIT
#pragma once

#include <QString>

#include "platform/mac.h"

class QWidget;

// "Restart Device…": asks first, then restarts an AV device and shows the wait until it answers
// again, as `corvel restart` does (the same operation, av/device_restart.h). The exchange runs
// through the operation runner with `sheet` disabled, so the window keeps painting and answering
// the accessibility bus; the wait shows the seconds since the device confirmed. How it ended is
// said in a message box.
namespace corvel::ui {

// `what` names the device in the question: "the station 00:B0:52:00:00:11". True when the device
// restarted and answers again; false when the user declined (nothing is sent) or it failed.
bool restartWithQuestion(QWidget* sheet, const Mac& device, const QString& what);

}  // namespace corvel::ui
