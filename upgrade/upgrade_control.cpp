// SPDX-License-Identifier: MIT
#include "upgrade/upgrade_control.h"

#include "platform/notifier.h"
#include "upgrade/upgrade_messages.h"

namespace corvel {

bool confirmUpgradeCancel() {
    return notifier().show({MessageId::ConfirmUpgradeCancel, kCancelWarningTitle,
                            kCancelWarningText, Icon::Information, Buttons::OkCancel}) ==
           Button::Ok;
}

void showUpgradeError(const std::string& text) {
    notifier().show({MessageId::UpgradeFailed, "Error", text, Icon::Error, Buttons::Ok, {text}});
}

void showUpgradeFileError(MessageId id, const std::string& text, const std::string& role,
                          const std::string& path, const std::string& reason) {
    notifier().show({id, "Error", text, Icon::Error, Buttons::Ok, {role, path, reason}});
}

}  // namespace corvel
