// SPDX-License-Identifier: MIT
#include "cli/set_network_command.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "cli/confirm.h"
#include "cli/device_session.h"
#include "cli/stoppable_operation.h"
#include "cli/terminal_notifier.h"
#include "core/tables.h"
#include "keys/rules.h"
#include "network/network_name_ops.h"
#include "platform/mac.h"
#include "platform/text.h"

namespace corvel {

namespace {

struct SetNetworkOptions {
    std::string name;
    bool nameGiven = false;
    bool publicName = false;
    bool localOnly = false;
    bool yes = false;
    std::string dataDir;
};

// The name checks of the Privacy page, before anything is scanned or sent; each refusal is the
// network-name message.
bool nameAccepted(const std::string& name) {
    if (!checkNetworkNameLength(name)) return false;
    if (networkNameCharactersAllowed(name)) return true;
    showNetworkNameInvalid(name);
    return false;
}

bool isLocal(const DeviceRecord& device) {
    const StationTable& table = currentStationTable();
    return macIsSet(table.localMac) && macEqual(device.mac, table.localMac);
}

// The devices Set All Devices will key: those with a password, the local device aside.
std::vector<std::string> devicesWithPassword() {
    std::vector<std::string> names;
    for (int i = 0; i < core.deviceCount && i < kMaxDevices; ++i) {
        const DeviceRecord& device = core.devices[i];
        if (!isLocal(device) && !textOf(device.password).empty())
            names.push_back(describeDevice(i + 1));
    }
    return names;
}

std::string listed(const std::vector<std::string>& names) {
    std::string text;
    for (size_t i = 0; i < names.size(); ++i)
        text += (i == 0 ? "" : i + 1 == names.size() ? " and " : ", ") + names[i];
    return text;
}

std::string allDevicesQuestion(const std::string& name) {
    const std::vector<std::string> keyed = devicesWithPassword();
    Mac local{};
    copyMac(local.data(), currentStationTable().localMac);
    const std::string localText = "the local device " + formatMac(local);
    if (keyed.empty())
        return "set the network name " + quotedText(name) + " on " + localText +
               "? No other device has its password entered, so this computer leaves their "
               "network";
    return "set the network name " + quotedText(name) + " on " + listed(keyed) + ", then on " +
           localText + "?";
}

// Each device of the list that is not on the new network, and why, on standard error.
void sayMissed(const std::vector<Mac>& missed, CliContext& context) {
    for (const Mac& mac : missed) {
        const int k = findDeviceByMac(mac.data());
        const std::string device = k != 0 ? describeDevice(k) : formatMac(mac);
        const bool noPassword = k != 0 && textOf(core.devices[k - 1].password).empty();
        context.err << "corvel: not set on " << device << ": "
                    << (noPassword ? "no password entered (corvel password " + formatMac(mac) +
                                         " enters it)"
                                   : std::string("it did not take the key"))
                    << '\n';
    }
}

void runSetNetwork(const SetNetworkOptions& options, CliContext& context) {
    if (options.nameGiven == options.publicName)
        throw CLI::ValidationError("name", "give a network name or --public, not both");
    const bool allDevices = !options.localOnly;
    const std::string action = "set-network";
    if (!options.publicName && !nameAccepted(options.name)) {
        context.status = 1;
        return;
    }
    // A question that cannot be asked is refused before anything is scanned.
    if (allDevices && !options.yes && !canAsk()) {
        refuseWithoutTerminal(context, action);
        return;
    }
    DeviceSession session(context, false);
    if (!session.open(options.dataDir)) return;
    std::optional<StoppableOperation> stoppable;
    stoppable.emplace(context);
    if (!session.requireLocalDevice("nothing was changed")) return;
    if (stoppable->stopRequested()) {
        session.finish();
        stoppable->stoppedBeforeStart();
        return;
    }
    // "Use Default (Public Network)": the public name of the local device's family.
    const std::string name = options.publicName ? std::string(defaultNetworkName()) : options.name;
    if (allDevices) {
        context.yes = options.yes;
        // Ctrl-C at the question ends the command as it ends any other: nothing was changed.
        if (!options.yes) stoppable.reset();
        if (!confirmed(context, allDevicesQuestion(name), action)) {
            session.finish();
            return;
        }
        if (!stoppable) stoppable.emplace(context);
        // Asked here in the command's words: the operation's own question is answered.
        context.yes = true;
    }
    const NetworkNameScope scope =
        allDevices ? NetworkNameScope::allDevices : NetworkNameScope::localDeviceOnly;
    stoppable->networks(stringOf(currentStationTable().networkName), name);
    const NetworkNameRun run = applyNetworkName(name, scope);

    bool done = false;
    switch (run.outcome) {
        case NetworkNameRun::Outcome::stopped:
            session.finish();
            stoppable->stopped((allDevices ? "the local device and the devices that took the key "
                                             "are on '"
                                           : "the local device is on '") +
                               name + "'; the waits and the scan that follow were left out");
            return;
        case NetworkNameRun::Outcome::refused:
            break;
        case NetworkNameRun::Outcome::cancelled:
            context.err << "corvel: set-network was not confirmed; nothing was changed\n";
            break;
        case NetworkNameRun::Outcome::applied:
            if (!allDevices) {
                done = run.localResult != 0;
                context.out << (done ? "Local device set to '" : "Local device NOT set to '")
                            << name << "'\n";
            } else {
                const SetAllOutcome& all = run.all;
                const bool localSet = all.localResult != 0;
                done = !all.nameRefused && localSet && all.added == all.devices;
                context.out << "Network name '" << name << "' set on " << all.added << " of "
                            << all.devices << " devices of the device list; the local device "
                            << (localSet ? "took it" : "did NOT take it") << '\n';
                sayMissed(all.missed, context);
            }
            break;
    }
    // Without a local device the station table only holds the name typed.
    if (run.outcome != NetworkNameRun::Outcome::refused && currentStationTable().localPresent) {
        context.out << "Network Name: " << displayText(textOf(currentStationTable().networkName))
                    << "   Network Type: " << networkTypeText() << '\n';
    }
    const bool saved = session.finish();
    context.status = done && saved ? 0 : 1;
}

}  // namespace

void addSetNetworkCommand(CLI::App& app, CliContext& context) {
    auto options = std::make_shared<SetNetworkOptions>();
    CLI::App* command = app.add_subcommand(
        "set-network", "Set the network name (the private network's password) on the devices.");
    command->footer(
        "By default every device whose password has been entered, then the local device: it\n"
        "asks first on the terminal (y/N); --yes answers yes, and without a terminal --yes is\n"
        "needed. With --local-only the local device alone, which isolates this computer.\n"
        "--public takes the public default name of the local device's family (HomePlugAV or\n"
        "HomePlug). The devices not set are named, with the reason.\n"
        "Ctrl-C (or SIGTERM) stops it between two devices: the devices that took the new key\n"
        "and the local device are put back on the key they had, and what could not be is said\n"
        "with the command that mends it.\n"
        "Exit status 0 when every device took the key, 1 on a refusal or a failure, 130 when\n"
        "stopped by Ctrl-C (143 by SIGTERM).");
    CLI::Option* name =
        command->add_option("name", options->name, "network name, 4 to 24 characters");
    command->add_flag("--public", options->publicName, "use the public default network name");
    command->add_flag("--local-only", options->localOnly, "set the local device only");
    command->add_flag("--yes", options->yes, "answer yes to the confirmation");
    command->add_option("--data-dir", options->dataDir, "directory of the device database");
    command->callback([options, name, &context] {
        options->nameGiven = name->count() > 0;
        runSetNetwork(*options, context);
    });
}

}  // namespace corvel
