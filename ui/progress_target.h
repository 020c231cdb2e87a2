// SPDX-License-Identifier: MIT
#pragma once

#include <functional>
#include <string_view>

#include "network/operation_hooks.h"

class QLabel;

// Registers a dialog's progress line as the target of one of the membership operations'
// progress texts for the lifetime of this object. The operation may run on a worker: the text
// is handed to the GUI thread (runOnGuiThread).
namespace corvel::ui {

class ProgressTarget {
public:
    using Hook = std::function<void(std::string_view)> OperationHooks::*;

    ProgressTarget(QLabel* label, Hook hook);
    ~ProgressTarget();
    ProgressTarget(const ProgressTarget&) = delete;
    ProgressTarget& operator=(const ProgressTarget&) = delete;

private:
    Hook hook_;
};

}  // namespace corvel::ui
