// SPDX-License-Identifier: MIT
#include "cli/upgrade_command.h"

#include <unistd.h>

#include <cstring>
#include <iostream>
#include <memory>
#include <string>

#include "av/local_device.h"
#include "cli/device_session.h"
#include "cli/interrupt.h"
#include "cli/probe_command.h"
#include "cli/session.h"
#include "cli/upgrade_progress.h"
#include "core/tables.h"
#include "platform/mac.h"
#include "platform/notifier.h"
#include "transport/frame_io.h"
#include "transport/interface_table.h"
#include "upgrade/av_files.h"
#include "upgrade/av_upgrade.h"
#include "upgrade/hp10_upgrade.h"
#include "upgrade/loader_link.h"

namespace corvel {

namespace {

struct UpgradeOptions {
    std::string nvm;
    std::string pib;
    std::string img;
    std::string cfg;
    bool yes = false;
    bool resume = false;
    std::string dataDir;
};

// Questions are asked on the terminal (y/N) when the command runs on one and --yes was not
// given; otherwise --yes answers them. Everything else is printed as "title: text".
class AskingNotifier : public Notifier {
public:
    AskingNotifier(CliContext& context, bool yes)
        : context_(context),
          plain_(context.err, yes),
          interactive_(!yes && &context.err == &std::cerr && ::isatty(STDIN_FILENO) != 0) {}

    Button notify(const std::string& title, const std::string& text, Icon icon,
                  Buttons buttons) override {
        if (buttons == Buttons::Ok || !interactive_)
            return plain_.notify(title, text, icon, buttons);
        context_.err << title << ": " << text << " [y/N] " << std::flush;
        std::string answer;
        const bool yes = std::getline(std::cin, answer) && !answer.empty() &&
                         (answer[0] == 'y' || answer[0] == 'Y');
        const bool okSet = buttons == Buttons::OkCancel;
        if (yes) return okSet ? Button::Ok : Button::Yes;
        return okSet ? Button::Cancel : Button::No;
    }

private:
    CliContext& context_;
    StreamNotifier plain_;
    bool interactive_;
};

// Ctrl-C during the transfer: the first one prints the warning and, with --yes, stops the
// upgrade at its next frame boundary; without --yes a second one does (SIGTERM at once).
const std::string kInterruptWarning =
    std::string("\n") + kCancelWarningTitle + ": " + kCancelWarningText + "\n";
const std::string kInterruptAgain = "corvel: press Ctrl-C again to stop the upgrade\n";

bool confirmTurboUpgradeStart() {
    return notifier().notify("Local Device Type",
                             "Local Device is HomePlug 1.0 Turbo Device\nMake sure you have "
                             "selected correct files to upgrade firmware",
                             Icon::Information, Buttons::OkCancel) == Button::Ok;
}

void checkFileChoice(const UpgradeOptions& o) {
    const bool av = !o.nvm.empty() || !o.pib.empty();
    const bool turbo = !o.img.empty() || !o.cfg.empty();
    if (av == turbo)
        throw CLI::ValidationError(
            "files", "give --nvm and --pib (AV), or --img with an optional --cfg (Turbo)");
    if (av && (o.nvm.empty() || o.pib.empty()))
        throw CLI::ValidationError("files", "an AV upgrade needs both --nvm and --pib");
    if (turbo && o.img.empty()) throw CLI::ValidationError("files", "a Turbo upgrade needs --img");
    if (o.resume && av)
        throw CLI::ValidationError(
            "--resume", "resumes a Turbo upgrade through the secondary loader: give --img");
}

// The lowest interface on which a device waits in its secondary loader, or -1; the selected
// interface stays as it was.
int findWaitingLoader() {
    const int32_t selected = core.currentAdapter;
    int found = -1;
    for (int i = 0; i < adapterCount && i < kMaxInterfaces && found < 0; ++i) {
        core.currentAdapter = i;
        if (probeLoader()) found = i;
    }
    core.currentAdapter = selected;
    return found;
}

std::string interfaceText(int index) {
    const HostInterface* host = interfaceByIndex(index);
    return "interface " + std::to_string(index) + (host ? " " + host->name : std::string());
}

enum class Result { Upgraded, Failed, Refused };

const char* const kNotConfirmed =
    "the upgrade was not confirmed (--yes confirms it); nothing was sent";

// Said on standard error before anything was sent.
Result refuse(CliContext& context, const std::string& why) {
    context.fail(1, why);
    return Result::Refused;
}

Result upgradeAv(const UpgradeOptions& o, CliContext& context, UpgradeControl& control,
                 UpgradeProgressView& view) {
    if (!core.localIsAv)
        return refuse(context,
                      "the local device is not a HomePlug AV device (--nvm and --pib are for AV)");
    if (!readFirmwareType())
        return refuse(context,
                      "the local device did not report its configuration block; nothing was sent");
    const AvUpgradeFiles files{o.nvm, o.pib};
    if (!confirmAvUpgradeStart(files)) return refuse(context, kNotConfirmed);
    InterruptGuard guard(control, o.yes, kInterruptWarning, kInterruptAgain);
    const UpgradeOutcome outcome = upgradeWorker(files, control, {{}, [&view] { view.close(); }});
    if (outcome == UpgradeOutcome::Cancelled)
        context.fail(1, "upgrade cancelled; the device keeps what it had received");
    return outcome == UpgradeOutcome::Upgraded ? Result::Upgraded : Result::Failed;
}

Result upgradeTurbo(const UpgradeOptions& o, CliContext& context, UpgradeControl& control,
                    UpgradeProgressView& view) {
    if (!o.resume && !core.localIsTurbo)
        return refuse(
            context,
            "the local device is not a HomePlug 1.0 Turbo device (--img and --cfg are for Turbo)");
    if (!confirmTurboUpgradeStart()) return refuse(context, kNotConfirmed);
    InterruptGuard guard(control, o.yes, kInterruptWarning, kInterruptAgain);
    const int done = hp10UpgradeFirmware({o.img, o.cfg}, control,
                                         o.resume ? LoaderEntry::Resume : LoaderEntry::Reset);
    view.close();
    if (done == 0 && control.cancelRequested())
        context.fail(1,
                     std::string("upgrade cancelled; the device stays in its secondary loader: ") +
                         kResumeCommand + " finishes the upgrade");
    else if (done == 0 && probeLoader())
        context.err << "corvel: the device waits in its secondary loader and answers nothing "
                    << "else: " << kResumeCommand << " finishes the upgrade\n";
    return done != 0 ? Result::Upgraded : Result::Failed;
}

// Finds the local device to upgrade, as the main page has scanned before Upgrade Firmware can be
// pressed; for --resume, the device waiting in its loader. False, said, when there is none.
bool selectDevice(const UpgradeOptions& o, CliContext& context, DeviceSession& session) {
    if (o.resume) {
        session.startPage();
        const int loader = findWaitingLoader();
        if (loader < 0) {
            context.fail(1, "no device answered at the secondary loader's address " +
                                formatMac(kSecondaryLoaderMac) +
                                " on any interface (--resume is for a device left in its "
                                "loader); nothing was written");
            return false;
        }
        core.currentAdapter = loader;
        context.out << "Device in its secondary loader at " << formatMac(kSecondaryLoaderMac)
                    << " on " << interfaceText(loader) << '\n';
        return true;
    }
    if (!session.prepareLocalDevice()) {
        // A Turbo device that an upgrade left in its loader answers nothing else: say how to
        // finish that upgrade rather than only that nothing answered.
        const int loader = findWaitingLoader();
        if (loader >= 0)
            context.fail(1,
                         std::string("no local device answered; ") + kWaitingLoaderText +
                             " answers on " + interfaceText(loader) + ": " + kResumeCommand + "; nothing was sent");
        else
            context.fail(1, "no local device answered on any interface; nothing was sent");
        return false;
    }
    Mac local{};
    copyLocalMac(local.data());
    context.out << "Local device " << formatMac(local) << " on interface " << core.currentAdapter
                << '\n';
    return true;
}

void runUpgrade(const UpgradeOptions& o, CliContext& context) {
    checkFileChoice(o);
    DeviceSession session(context, o.yes);
    if (!session.open(o.dataDir)) return;
    AskingNotifier asking(context, o.yes);
    installNotifier(&asking);
    const bool av = !o.nvm.empty();
    // Files the upgrade would refuse are refused before the first frame goes out, though after
    // a capture that is not permitted, which is said first whatever the command.
    requireCapture();
    if (av && !checkAvUpgradeFiles({o.nvm, o.pib})) {
        context.fail(1, "the files were refused; nothing was sent");
        session.finish();
        return;
    }
    if (!selectDevice(o, context, session)) {
        session.finish();
        return;
    }

    UpgradeProgressView view(context.err,
                             &context.err == &std::cerr && ::isatty(STDERR_FILENO) != 0);
    UpgradeControl control;
    control.progress = [&view](const UpgradeProgress& p) { view.show(p); };
    const Result result =
        av ? upgradeAv(o, context, control, view) : upgradeTurbo(o, context, control, view);
    const bool saved = session.finish();
    if (result == Result::Refused) return;
    context.status = result == Result::Upgraded && saved ? 0 : 1;
}

}  // namespace

void addUpgradeCommand(CLI::App& app, CliContext& context) {
    auto options = std::make_shared<UpgradeOptions>();
    CLI::App* command =
        app.add_subcommand("upgrade", "Upgrade the local device's firmware (AV or Turbo).");
    command->footer(
        "AV local device: --nvm and --pib. The configuration block is read first to choose how\n"
        "the transfer ends (module commit or start); the PIB is sent with the local device's MAC\n"
        "and a new checksum (the file itself is not changed).\n"
        "Turbo local device: --img, and --cfg when the configuration is to be written too; the\n"
        "device is switched to its secondary loader, written, committed, verified and reset.\n"
        "A Turbo device that an upgrade left in its loader (cancelled, failed, a power cut)\n"
        "answers only at the loader's address 00:04:87:FE:11:00; --resume runs the upgrade\n"
        "there, without the switch (corvel probe names such a device).\n"
        "Asks first (y/N on a terminal); --yes answers it. Ctrl-C warns first and stops the\n"
        "upgrade between two frames on a second Ctrl-C (at once with --yes).\n"
        "Exit status 0 only when the device confirmed the last step.");
    command
        ->add_option("--nvm", options->nvm,
                     "AV firmware image (*.NVM): the chain of images the device runs")
        ->type_name("FILE");
    command
        ->add_option("--pib", options->pib,
                     "AV parameter image (*.PIB): the device's configuration")
        ->type_name("FILE");
    command->add_option("--img", options->img, "Turbo MAC firmware image (*.IMG)")
        ->type_name("FILE");
    command
        ->add_option("--cfg", options->cfg,
                     "Turbo configuration file (*.CFG): identity, parameter and option sections")
        ->type_name("FILE");
    command->add_flag("--resume", options->resume,
                      "Turbo: finish an upgrade that did not, with a device waiting in its "
                      "secondary loader");
    command->add_flag("--yes", options->yes, "answer OK to the confirmation");
    command->add_option("--data-dir", options->dataDir, "directory of the device database");
    command->callback([options, &context] { runUpgrade(*options, context); });
}

}  // namespace corvel
