// SPDX-License-Identifier: MIT
#include "cli/remove_command.h"

#include <memory>
#include <string>

#include "cli/confirm.h"
#include "cli/device_session.h"
#include "cli/validators.h"
#include "core/tables.h"
#include "network/device_list_edits.h"
#include "platform/text.h"

namespace corvel {

namespace {

struct RemoveOptions {
    std::string mac;
    bool yes = false;
    std::string dataDir;
};

void runRemove(const RemoveOptions& options, CliContext& context) {
    DeviceSession session(context, false);
    if (!session.open(options.dataDir)) return;
    const int record = listedDevice(options.mac, context);
    if (record == 0) return;
    const std::string removed = describeDevice(record);
    // A device whose password has been entered is removed only when the user says so.
    if (!textOf(core.devices[record - 1].password).empty()) {
        context.yes = options.yes;
        if (!confirmed(context,
                       "remove " + removed +
                           ", whose password has been entered, from the device list?",
                       "removing " + removed))
            return;
        context.yes = true;
    }
    const DeleteResult result = deleteDevice(record);
    if (result != DeleteResult::deleted) {
        if (result == DeleteResult::declined)
            context.err << "corvel: " << removed << " kept; nothing was changed\n";
        context.status = 1;
        return;
    }
    // Removing the last device must reach the file too.
    if (!session.finish(WhenEmpty::WriteEmpty)) return;
    context.out << "Removed " << removed << " from the device list\n";
    context.status = 0;
}

}  // namespace

void addRemoveCommand(CLI::App& app, CliContext& context) {
    auto options = std::make_shared<RemoveOptions>();
    CLI::App* command = app.add_subcommand("remove", "Delete a device from the device list.");
    command->add_option("--data-dir", options->dataDir, "directory of the device database");
    command->footer(
        "A device whose password has been entered is removed only when confirmed: asked y/N on\n"
        "the terminal, or --yes (needed without a terminal).");
    command->add_option("mac", options->mac, "the device's MAC address")
        ->required()
        ->check(macValidator());
    command->add_flag("--yes", options->yes, "answer yes to the confirmation");
    command->callback([options, &context] { runRemove(*options, context); });
}

}  // namespace corvel
