// SPDX-License-Identifier: MIT
#include "platform/clock.h"
#include "platform/notifier.h"
#include "upgrade/av_upgrade.h"

namespace corvel {

namespace {

void call(const std::function<void()>& hook) {
    if (hook) hook();
}

}  // namespace

UpgradeOutcome upgradeWorker(const AvUpgradeFiles& files, UpgradeControl& control,
                             const UpgradeWorkerHooks& hooks) {
    call(hooks.hideFileDialog);
    if (!runAvUpgrade(files, control)) {
        call(hooks.closeProgress);
        return control.cancelRequested() ? UpgradeOutcome::Cancelled : UpgradeOutcome::Failed;
    }
    // The device restarts with the new firmware meanwhile.
    systemClock().sleepMs(kUpgradeRestartWaitMs);
    call(hooks.closeProgress);
    notifier().show({MessageId::UpgradeDone, "Success",
                     " Device Upgraded\n Device will now reboot, do not remove power. ",
                     Icon::Information, Buttons::Ok});
    return UpgradeOutcome::Upgraded;
}

bool confirmAvUpgradeStart(const AvUpgradeFiles& files) {
    if (files.pibPath.empty() || files.firmwarePath.empty()) {
        notifier().notify("Stop", "Please select a PIB and Firmware files\n", Icon::Error,
                          Buttons::Ok);
        return false;
    }
    return notifier().show({MessageId::ConfirmUpgrade, "Local Device Type",
                            "Local Device is HomePlug AV Device\nMake sure you have selected "
                            "correct files to upgrade firmware",
                            Icon::Information, Buttons::OkCancel, {"HomePlug AV Device"}}) ==
           Button::Ok;
}

}  // namespace corvel
