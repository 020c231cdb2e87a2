// SPDX-License-Identifier: MIT
#include "cli/rename_command.h"

#include <memory>
#include <string>

#include "cli/device_session.h"
#include "cli/validators.h"
#include "core/tables.h"
#include "network/device_list_edits.h"
#include "platform/text.h"

namespace corvel {

namespace {

struct RenameOptions {
    std::string mac;
    std::string name;
    std::string dataDir;
};

void runRename(const RenameOptions& options, CliContext& context) {
    DeviceSession session(context, false);
    if (!session.open(options.dataDir)) return;
    const int record = listedDevice(options.mac, context);
    if (record == 0) return;
    const std::string before = describeDevice(record);
    // As add-device takes a name: a name too long is refused with the limit rather than cut.
    if (!deviceNameAccepted(options.name, context)) return;
    if (renameDevice(record, options.name) != RenameResult::renamed) {
        context.status = 1;
        return;
    }
    if (!session.finish()) return;
    context.out << "Renamed " << before << " to "
                << displayText(textOf(core.devices[record - 1].name)) << '\n';
    context.status = 0;
}

}  // namespace

void addRenameCommand(CLI::App& app, CliContext& context) {
    auto options = std::make_shared<RenameOptions>();
    CLI::App* command = app.add_subcommand("rename", "Rename a device of the device list.");
    command->add_option("--data-dir", options->dataDir, "directory of the device database");
    command->footer(
        "A name has 1 to 31 characters, not only spaces, and no other device may have it.");
    command->add_option("mac", options->mac, "the device's MAC address")
        ->required()
        ->check(macValidator());
    command->add_option("name", options->name, "the new name, 1 to 31 characters")->required();
    command->callback([options, &context] { runRename(*options, context); });
}

}  // namespace corvel
