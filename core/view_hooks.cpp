// SPDX-License-Identifier: MIT
#include "core/view_hooks.h"

#include "platform/process_state.h"

namespace corvel {

ViewHooks& viewHooks() {
    static ViewHooks hooks;
    return hooks;
}

namespace {
const RegisteredReset viewHooksReset{[] { viewHooks() = {}; }};
}  // namespace

void refreshView(int phase) {
    if (viewHooks().refreshView) viewHooks().refreshView(phase);
}

void setUpgradeEnabled(bool on) {
    if (viewHooks().setUpgradeEnabled) viewHooks().setUpgradeEnabled(on);
}

}  // namespace corvel
