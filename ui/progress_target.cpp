// SPDX-License-Identifier: MIT
#include "ui/progress_target.h"

#include <QLabel>
#include <QString>

#include "ui/device_dialog_parts.h"
#include "ui/operation_runner.h"

namespace corvel::ui {

// The label belongs to the dialog, which outlives this registration.
ProgressTarget::ProgressTarget(QLabel* label, Hook hook) : hook_(hook) {
    operationHooks().*hook_ = [label](std::string_view text) {
        const QString shown = QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
        // The operation may run on a worker: the label is written on the GUI thread.
        runOnGuiThread([label, &shown] { setLiveText(label, shown); });
    };
}

ProgressTarget::~ProgressTarget() { operationHooks().*hook_ = nullptr; }

}  // namespace corvel::ui
