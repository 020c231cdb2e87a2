// SPDX-License-Identifier: MIT
#include "cli/device_commands.h"

#include <fcntl.h>
#include <unistd.h>

#include <memory>
#include <optional>
#include <string>

#include "cli/device_session.h"
#include "cli/password_prompt.h"
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

// In place of the password: read it as one line of standard input.
constexpr char kPasswordFromInput[] = "-";

struct DeviceOptions {
    std::string mac;
    std::string name;
    std::string password;
    bool passwordGiven = false;
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

// The password of `password MAC [PASSWORD|-]` and `add-device NAME [PASSWORD|-]`: as given;
// without it, asked for on the terminal with `prompt` and echo off; with "-", one line of
// standard input (asked for in the same way when standard input is the terminal). None after
// saying why.
std::optional<std::string> passwordOf(const DeviceOptions& options, const std::string& prompt,
                                      CliContext& context) {
    if (options.passwordGiven && options.password != kPasswordFromInput) return options.password;
    std::string error;
    std::optional<std::string> password;
    if (options.passwordGiven && !::isatty(STDIN_FILENO)) {
        password = readSecretLine(STDIN_FILENO, error);
    } else if (options.passwordGiven) {
        password = readSecretFromTerminal(STDIN_FILENO, prompt, error);
    } else {
        const int terminal = ::open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (terminal < 0) {
            context.fail(1, "no password given and no terminal to ask for it on (give - to read "
                            "it from standard input)");
            return std::nullopt;
        }
        password = readSecretFromTerminal(terminal, prompt, error);
        ::close(terminal);
    }
    if (!password) {
        context.fail(1, error);
        return std::nullopt;
    }
    if (password->empty()) {
        context.fail(1, "no password was entered; nothing was checked");
        return std::nullopt;
    }
    return password;
}

void runPassword(const DeviceOptions& options, CliContext& context) {
    DeviceSession session(context, false);
    if (!session.open(options.dataDir)) return;
    const int listed = deviceOf(options.mac, context);
    if (listed == 0) return;
    const std::optional<std::string> password =
        passwordOf(options, "Device password for " + describe(listed) + ": ", context);
    if (!password) return;
    // The checks of the dialog come before anything goes on the wire.
    const std::string box = password->substr(0, kPasswordBoxRead);
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
    const PasswordEntry entry = enterDevicePassword(record, *password);
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
    if (!checkNewDeviceName(name, findDeviceByName(name) != 0)) {
        context.status = 1;
        return;
    }
    const std::optional<std::string> password =
        passwordOf(options, "Device password of the new device " + name + ": ", context);
    if (!password) return;
    const std::string box = password->substr(0, kPasswordBoxRead);
    if (!checkPasswordEntered(box) || !checkDevicePassword(box)) {
        context.status = 1;
        return;
    }
    // The main page has been scanning before Add is pressed: its list shows the stations.
    session.prepareLocalDevice();
    session.showProgress(true);
    const DialogOutcome outcome = addDeviceToNetwork(options.name, *password);
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

// The optional PASSWORD argument that passwordOf reads.
CLI::Option* addPasswordOption(CLI::App& command, DeviceOptions& options) {
    return command.add_option(
        "password", options.password,
        "the device password; - reads it from standard input; without it, it is asked for");
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
        "Without PASSWORD it is asked for on the terminal and not shown as it is typed; with -\n"
        "it is read as one line of standard input. A PASSWORD on the command line can be read\n"
        "by every user of the machine in the process list.\n"
        "Exit status 0 when the device accepted it.");
    command->add_option("mac", options->mac, "the device's MAC address")
        ->required()
        ->check(macValidator());
    CLI::Option* password = addPasswordOption(*command, *options);
    command->callback([options, password, &context] {
        options->passwordGiven = password->count() > 0;
        runPassword(*options, context);
    });
}

void addAddDeviceCommand(CLI::App& app, CliContext& context) {
    auto options = std::make_shared<DeviceOptions>();
    CLI::App* command =
        deviceCommand(app, "add-device", "Add a device to the network by its password.", options);
    command->footer(
        "Add Device to Network: the device that has PASSWORD (used as typed) is found, given\n"
        "the network key, and entered in the device list under NAME with its password once a\n"
        "scan sees it; the scan goes on for at most --cycles cycles (about 2.7 s each).\n"
        "With an AV local device this takes at least 22 seconds. PASSWORD is read as the\n"
        "password command reads it: asked for on the terminal without it, from standard input\n"
        "with -; on the command line every user of the machine can read it in the process list.\n"
        "Exit status 0 when the device was found, took the key and is in the device list.");
    command->add_option("name", options->name, "name for the device, 1 to 31 characters")
        ->required();
    CLI::Option* password = addPasswordOption(*command, *options);
    command->add_option("--cycles", options->cycles, "scan cycles to wait for the device")
        ->check(CLI::Range(1, 1000));
    command->callback([options, password, &context] {
        options->passwordGiven = password->count() > 0;
        runAddDevice(*options, context);
    });
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
