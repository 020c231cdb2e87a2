// SPDX-License-Identifier: MIT
#include "upgrade/upgrade_control.h"

#include "platform/notifier.h"
#include "upgrade/upgrade_messages.h"

namespace corvel {

bool confirmUpgradeCancel() {
    return notifier().notify(kCancelWarningTitle, kCancelWarningText, Icon::Information,
                             Buttons::OkCancel) == Button::Ok;
}

void showUpgradeError(const std::string& text) {
    notifier().notify("Error", text, Icon::Error, Buttons::Ok);
}

}  // namespace corvel
