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
    const UpgradeOutcome outcome = runAvUpgrade(files, control);
    if (outcome != UpgradeOutcome::Upgraded) {
        call(hooks.closeProgress);
        return outcome;
    }
    // The device restarts with the new firmware meanwhile.
    systemClock().sleepMs(kUpgradeRestartWaitMs);
    call(hooks.closeProgress);
    notifier().show({MessageId::UpgradeDone, "Success",
                     " Device Upgraded\n Device will now reboot, do not remove power. ",
                     Icon::Information, Buttons::Ok});
    return UpgradeOutcome::Upgraded;
}

UpgradeStart confirmAvUpgradeStart(const AvUpgradeFiles& files) {
    if (files.pibPath.empty() || files.firmwarePath.empty()) {
        notifier().notify("Stop", "Please select a PIB and Firmware files\n", Icon::Error,
                          Buttons::Ok);
        return UpgradeStart::filesMissing;
    }
    const Button answer = notifier().show(
        {MessageId::ConfirmUpgrade, "Local Device Type",
         "Local Device is HomePlug AV Device\nMake sure you have selected correct files to "
         "upgrade firmware",
         Icon::Information, Buttons::OkCancel, {"HomePlug AV Device"}});
    return answer == Button::Ok ? UpgradeStart::confirmed : UpgradeStart::declined;
}

}  // namespace corvel
