// SPDX-License-Identifier: MIT
#include "cli/set_network_command.h"

#include <memory>
#include <string>

#include "cli/device_session.h"
#include "cli/stoppable_operation.h"
#include "core/tables.h"
#include "keys/rules.h"
#include "network/network_name_ops.h"
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

// The name checks of the Privacy page, before anything goes on the wire.
bool nameAccepted(const std::string& name) {
    if (!checkNetworkNameLength(name)) return false;
    if (checkNetworkName(name.c_str())) return true;
    showNetworkNameInvalid();
    return false;
}

void runSetNetwork(const SetNetworkOptions& options, CliContext& context) {
    if (options.nameGiven == options.publicName)
        throw CLI::ValidationError("name", "give a network name or --public, not both");
    DeviceSession session(context, options.yes);
    if (!session.open(options.dataDir)) return;
    if (!options.publicName && !nameAccepted(options.name)) {
        context.status = 1;
        return;
    }
    StoppableOperation stoppable(context);
    session.prepareLocalDevice();
    if (stoppable.stopRequested()) {
        session.finish();
        stoppable.stoppedBeforeStart();
        return;
    }
    // "Use Default (Public Network)": the public name of the local device's family.
    const std::string name = options.publicName ? std::string(defaultNetworkName()) : options.name;
    const NetworkNameScope scope =
        options.localOnly ? NetworkNameScope::localDeviceOnly : NetworkNameScope::allDevices;
    stoppable.networks(stringOf(currentStationTable().networkName), name);
    const NetworkNameRun run = applyNetworkName(name, scope);

    bool done = false;
    switch (run.outcome) {
        case NetworkNameRun::Outcome::stopped:
            session.finish();
            stoppable.stopped((scope == NetworkNameScope::localDeviceOnly
                                   ? "the local device is on '"
                                   : "the local device and the devices that took the key are "
                                     "on '") +
                              name + "'; the waits and the scan that follow were left out");
            return;
        case NetworkNameRun::Outcome::refused:
            break;
        case NetworkNameRun::Outcome::cancelled:
            context.err << "corvel: Set All Devices was not confirmed (--yes confirms it); no "
                           "device was changed\n";
            break;
        case NetworkNameRun::Outcome::applied:
            if (scope == NetworkNameScope::localDeviceOnly) {
                done = run.localResult != 0;
                context.out << (done ? "Local device set to '" : "Local device NOT set to '")
                            << name << "'\n";
            } else {
                const SetAllOutcome& all = run.all;
                done = !all.nameRefused && all.localResult != 0 && all.added == all.devices;
                context.out << "Set All Devices to '" << name << "': " << all.added << " of "
                            << all.devices << " devices on the network, local device "
                            << (all.localResult != 0 ? "set" : "NOT set") << '\n';
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
        "By default Set All Devices: every device whose password has been entered, then the\n"
        "local device; it asks first, and --yes answers OK. With --local-only, Set Local Device\n"
        "Only: the local device alone, which isolates this computer. --public takes the public\n"
        "default name of the local device's family (HomePlugAV or HomePlug).\n"
        "Ctrl-C (or SIGTERM) stops it between two devices: the devices that took the new key\n"
        "and the local device are put back on the key they had, and what could not be is said\n"
        "with the command that mends it.\n"
        "Exit status 0 when every device took the key, 1 on a refusal or a failure, 130 when\n"
        "stopped by Ctrl-C (143 by SIGTERM).");
    CLI::Option* name =
        command->add_option("name", options->name, "network name, 4 to 24 characters");
    command->add_flag("--public", options->publicName, "use the public default network name");
    command->add_flag("--local-only", options->localOnly, "set the local device only");
    command->add_flag("--yes", options->yes, "answer OK to the confirmation");
    command->add_option("--data-dir", options->dataDir, "directory of the device database");
    command->callback([options, name, &context] {
        options->nameGiven = name->count() > 0;
        runSetNetwork(*options, context);
    });
}

}  // namespace corvel
