// SPDX-License-Identifier: MIT
#include "cli/password_command.h"

#include <memory>
#include <optional>
#include <string>

#include "cli/device_session.h"
#include "cli/password_prompt.h"
#include "cli/validators.h"
#include "keys/rules.h"
#include "network/device_dialogs.h"

namespace corvel {

namespace {

struct PasswordOptions {
    std::string mac;
    std::string password;
    bool passwordGiven = false;
    std::string dataDir;
};

void runPassword(const PasswordOptions& options, CliContext& context) {
    DeviceSession session(context, false);
    if (!session.open(options.dataDir)) return;
    const int listed = listedDevice(options.mac, context);
    if (listed == 0) return;
    const std::optional<std::string> password =
        passwordOf(options.passwordGiven, options.password,
                   "Device password for " + describeDevice(listed) + ": ", context);
    if (!password) return;
    // The checks of the dialog come before anything goes on the wire.
    const std::string box = password->substr(0, kPasswordBoxRead);
    if (!checkPasswordEntered(box) || !checkDevicePassword(upperCaseDevicePassword(box))) {
        context.status = 1;
        return;
    }
    // Without a local device the main page lists no device to enter a password for; a check
    // run anyway would store the password as refused by a device nobody asked.
    if (!session.requireLocalDevice("the password was not checked")) return;
    session.showProgress(false);
    const int record = listedDevice(options.mac, context);
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
    context.out << "Password of " << describeDevice(record) << " " << outcome << ", stored as "
                << entry.stored << '\n';
    context.status = entry.verification == 1 ? 0 : 1;
}

}  // namespace

void addPasswordCommand(CLI::App& app, CliContext& context) {
    auto options = std::make_shared<PasswordOptions>();
    CLI::App* command = app.add_subcommand("password", "Enter and check a device's password.");
    command->add_option("--data-dir", options->dataDir, "directory of the device database");
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
    CLI::Option* password = addPasswordArgument(*command, options->password);
    command->callback([options, password, &context] {
        options->passwordGiven = password->count() > 0;
        runPassword(*options, context);
    });
}

}  // namespace corvel
