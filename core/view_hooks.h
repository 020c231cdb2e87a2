// SPDX-License-Identifier: MIT
#pragma once

#include <functional>

// What the scan tells the front end: the main page installs these; without a front end they do
// nothing.
namespace corvel {

struct ViewHooks {
    std::function<void(int phase)> refreshView;
    std::function<void(bool on)> setUpgradeEnabled;
};

ViewHooks& viewHooks();
void refreshView(int phase);
void setUpgradeEnabled(bool on);

}  // namespace corvel
