// SPDX-License-Identifier: MIT
#include "cli/device_commands.h"

#include <memory>
#include <string>

#include "cli/device_session.h"
#include "cli/validators.h"
#include "scan/device_list.h"
#include "core/tables.h"
#include "keys/rules.h"
#include "network/device_dialogs.h"
#include "network/device_list_edits.h"
#include "platform/mac.h"
#include "platform/text.h"

namespace corvel {

namespace {

// The boxes of the dialogs read at most this much.
constexpr size_t kPasswordBoxRead = 25;
constexpr size_t kNameBoxRead = 79;

struct DeviceOptions {
    std::string mac;
    std::string name;
    std::string password;
    bool yes = false;
    int cycles = 20;
    std::string dataDir;
};

// The device of `macText` in the device list (1-based), or 0 after saying so.
int deviceOf(const std::string& macText, CliContext& context) {
    const Mac mac = parseMacArgument(macText).value_or(Mac{});
    if (const int k = findDeviceByMac(mac.data()); k != 0) return k;
    context.fail(1, formatMac(mac) + " is not in the device list (corvel devices lists it)");
    return 0;
}

std::string describe(int record) {
    const DeviceRecord& device = core.devices[record - 1];
    return displayText(textOf(device.name)) + " (" + formatMac(device.mac) + ")";
}

void runPassword(const DeviceOptions& options, CliContext& context) {
    DeviceSession session(context, false);
    if (!session.open(options.dataDir)) return;
    if (deviceOf(options.mac, context) == 0) return;
    // The checks of the dialog come before anything goes on the wire.
    const std::string box = options.password.substr(0, kPasswordBoxRead);
    if (!checkPasswordEntered(box) || !checkDevicePassword(upperCaseDevicePassword(box))) {
        context.status = 1;
        return;
    }
    // Without a local device the main page lists no device to enter a password for; a check
    // run anyway would store the password as refused by a device nobody asked.
    if (!session.prepareLocalDevice()) {
        session.finish();
        context.fail(1, "The HomePlug Adapter was not detected: the password was not checked");
        return;
    }
    session.showProgress(false);
    const int record = deviceOf(options.mac, context);
    if (record == 0) {
        session.finish();
        context.status = 1;
        return;
    }
    const PasswordEntry entry = enterDevicePassword(record, options.password);
    const bool saved = session.finish();
    if (entry.outcome != DialogOutcome::checked || !saved) {
        context.status = 1;
        return;
    }
    const char* outcome = entry.verification == 1   ? "verified by the device"
                          : entry.verification == 0 ? "refused by the device"
                                                    : "not checked (no host address)";
    context.out << "Password of " << describe(record) << " " << outcome << ", stored as "
                << entry.stored << '\n';
    context.status = entry.verification == 1 ? 0 : 1;
}

void runAddDevice(const DeviceOptions& options, CliContext& context) {
    DeviceSession session(context, false);
    if (!session.open(options.dataDir)) return;
    const std::string name = options.name.substr(0, kNameBoxRead);
    const std::string box = options.password.substr(0, kPasswordBoxRead);
    if (!checkNewDeviceName(name, findDeviceByName(name) != 0) || !checkPasswordEntered(box) ||
        !checkDevicePassword(box)) {
        context.status = 1;
        return;
    }
    // The main page has been scanning before Add is pressed: its list shows the stations.
    session.prepareLocalDevice();
    session.showProgress(true);
    const DialogOutcome outcome = addDeviceToNetwork(options.name, options.password);
    if (outcome == DialogOutcome::waiting)
        session.runCycles(options.cycles, [&session] { return session.addAdopted(); });
    const Mac expected = pendingAdd().expectedMac;
    const bool saved = session.finish();
    if (outcome != DialogOutcome::waiting || !saved) {
        context.status = 1;
        return;
    }
    if (!session.addAdopted()) {
        context.fail(1, "the device took the network key but was not seen in " +
                            std::to_string(options.cycles) +
                            " scan cycles; it is not in the device list" +
                            (macIsSet(expected.data()) ? " (" + formatMac(expected) + ")" : ""));
        return;
    }
    const int record = findDeviceByName(name);
    context.out << "Added " << (record != 0 ? describe(record) : name) << " to the network\n";
    context.status = 0;
}

void runRename(const DeviceOptions& options, CliContext& context) {
    DeviceSession session(context, false);
    if (!session.open(options.dataDir)) return;
    const int record = deviceOf(options.mac, context);
    if (record == 0) return;
    const std::string before = describe(record);
    if (!renameDevice(record, options.name)) {
        context.status = 1;
        return;
    }
    if (!session.finish()) return;
    context.out << "Renamed " << before << " to "
                << displayText(textOf(core.devices[record - 1].name)) << '\n';
    context.status = 0;
}

void runRemove(const DeviceOptions& options, CliContext& context) {
    DeviceSession session(context, options.yes);
    if (!session.open(options.dataDir)) return;
    const int record = deviceOf(options.mac, context);
    if (record == 0) return;
    const std::string removed = describe(record);
    if (!deleteDevice(record)) {
        context.err << "corvel: " << removed << " kept (--yes confirms the deletion)\n";
        context.status = 1;
        return;
    }
    // Removing the last device must reach the file too.
    if (!session.finish(WhenEmpty::WriteEmpty)) return;
    context.out << "Removed " << removed << " from the device list\n";
    context.status = 0;
}

CLI::App* deviceCommand(CLI::App& app, const char* name, const char* description,
                        std::shared_ptr<DeviceOptions> options) {
    CLI::App* command = app.add_subcommand(name, description);
    command->add_option("--data-dir", options->dataDir, "directory of the device database");
    return command;
}

}  // namespace

void addPasswordCommand(CLI::App& app, CliContext& context) {
    auto options = std::make_shared<DeviceOptions>();
    CLI::App* command =
        deviceCommand(app, "password", "Enter and check a device's password.", options);
    command->footer(
        "Set Device Password: the password printed on the device (XXXX-XXXX-XXXX-XXXX, taken\n"
        "in upper case) is stored for the device of MAC and proved on the device; with an AV\n"
        "local device a right password also puts the device on the local network. The device\n"
        "list keeps it as it is, or behind \"Not \" when refused, \"CHECK \" when not checked.\n"
        "Exit status 0 when the device accepted it.");
    command->add_option("mac", options->mac, "the device's MAC address")
        ->required()
        ->check(macValidator());
    command->add_option("password", options->password, "the device password")->required();
    command->callback([options, &context] { runPassword(*options, context); });
}

void addAddDeviceCommand(CLI::App& app, CliContext& context) {
    auto options = std::make_shared<DeviceOptions>();
    CLI::App* command =
        deviceCommand(app, "add-device", "Add a device to the network by its password.", options);
    command->footer(
        "Add Device to Network: the device that has PASSWORD (used as typed) is found, given\n"
        "the network key, and entered in the device list under NAME with its password once a\n"
        "scan sees it; the scan goes on for at most --cycles cycles (about 2.7 s each).\n"
        "With an AV local device this takes at least 22 seconds. Exit status 0 when the\n"
        "device was found, took the key and is in the device list.");
    command->add_option("name", options->name, "name for the device, 1 to 31 characters")
        ->required();
    command->add_option("password", options->password, "the device password")->required();
    command->add_option("--cycles", options->cycles, "scan cycles to wait for the device")
        ->check(CLI::Range(1, 1000));
    command->callback([options, &context] { runAddDevice(*options, context); });
}

void addRenameCommand(CLI::App& app, CliContext& context) {
    auto options = std::make_shared<DeviceOptions>();
    CLI::App* command =
        deviceCommand(app, "rename", "Rename a device of the device list.", options);
    command->footer("A name of 32 or more characters is cut to 31; names are unique.");
    command->add_option("mac", options->mac, "the device's MAC address")
        ->required()
        ->check(macValidator());
    command->add_option("name", options->name, "the new name")->required();
    command->callback([options, &context] { runRename(*options, context); });
}

void addRemoveCommand(CLI::App& app, CliContext& context) {
    auto options = std::make_shared<DeviceOptions>();
    CLI::App* command =
        deviceCommand(app, "remove", "Delete a device from the device list.", options);
    command->footer("A device whose password has been entered is removed only with --yes.");
    command->add_option("mac", options->mac, "the device's MAC address")
        ->required()
        ->check(macValidator());
    command->add_flag("--yes", options->yes, "confirm the deletion");
    command->callback([options, &context] { runRemove(*options, context); });
}

}  // namespace corvel
