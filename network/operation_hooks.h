// SPDX-License-Identifier: MIT
#pragma once

#include <functional>
#include <string_view>

// What the membership operations show besides their messages: the wait cursor while they block,
// the progress texts of the Set Device Password and Add Device dialogs, and the local list after
// an immediate scan. The front end installs what it has; without it nothing is shown.
namespace corvel {

struct OperationHooks {
    // true: the wait cursor; false: the arrow again.
    std::function<void(bool wait)> cursor;
    // The progress text of the dialog registered as target; empty while none is.
    std::function<void(std::string_view text)> passwordProgressTarget;
    std::function<void(std::string_view text)> addProgressTarget;
    // scanNow rebuilt the local list: `found` tells whether a local device answered.
    std::function<void(bool found)> localListRebuilt;
};

OperationHooks& operationHooks();
// No hooks, both progress texts at their first step (tests).
void resetOperationHooks();

// The wait cursor for the lifetime of a scope, the arrow afterwards, on every exit.
class WaitCursor {
public:
    WaitCursor();
    ~WaitCursor();
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;
};

// The progress texts. Step 0 starts again at the first text, any other step moves one text on;
// past the last text the last one stays. Each shows its text through its target, if any.
//   password: "Please be patient, this may take some time.", "Working...", "Proceeding..",
//             "Completing..."
//   add:      "Please wait, this operation will take approximately 30 seconds to complete..",
//             "Devices will reboot while this operation...", "Trying to add device to the
//             Network...", "Proceeding...", "Completing..."
void passwordProgress(int step);
void addProgress(int step);
// The text each shows now.
std::string_view passwordProgressText();
std::string_view addProgressText();

}  // namespace corvel
