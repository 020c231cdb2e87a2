// SPDX-License-Identifier: MIT
#include "cli/add_device_command.h"

#include <memory>
#include <optional>
#include <string>

#include "cli/device_session.h"
#include "cli/password_prompt.h"
#include "cli/stoppable_operation.h"
#include "cli/validators.h"
#include "core/tables.h"
#include "keys/rules.h"
#include "network/device_dialogs.h"
#include "platform/mac.h"
#include "platform/text.h"
#include "scan/device_list.h"

namespace corvel {

namespace {

// The name box of the dialog reads at most this much.
constexpr size_t kNameBoxRead = 79;

struct AddDeviceOptions {
    std::string name;
    std::string password;
    bool passwordGiven = false;
    int cycles = 20;
    std::string dataDir;
};

void runAddDevice(const AddDeviceOptions& options, CliContext& context) {
    DeviceSession session(context, false);
    if (!session.open(options.dataDir)) return;
    const std::string name = options.name.substr(0, kNameBoxRead);
    if (!deviceNameAccepted(name, context)) return;
    const std::optional<std::string> password =
        passwordOf(options.passwordGiven, options.password,
                   "Device password of the new device " + name + ": ", context);
    if (!password) return;
    const std::string box = password->substr(0, kPasswordBoxRead);
    if (!checkPasswordEntered(box) || !checkDevicePassword(box)) {
        context.status = 1;
        return;
    }
    StoppableOperation stoppable(context);
    // The main page has been scanning before Add is pressed: its list shows the stations.
    if (!session.requireLocalDevice("nothing was changed")) return;
    if (stoppable.stopRequested()) {
        session.finish();
        stoppable.stoppedBeforeStart();
        return;
    }
    stoppable.networks(stringOf(currentStationTable().networkName));
    session.showProgress(true);
    const DialogOutcome outcome = addDeviceToNetwork(options.name, *password);
    if (outcome == DialogOutcome::waiting)
        session.runCycles(options.cycles, [&] {
            return session.addAdopted() || stoppable.stopRequested();
        });
    const Mac expected = pendingAdd().expectedMac;
    const bool saved = session.finish();
    if (outcome == DialogOutcome::stopped) {
        stoppable.stopped("");
        return;
    }
    if (outcome == DialogOutcome::waiting && !session.addAdopted() &&
        stoppable.stopRequested()) {
        // The device has the network key: only the wait for a scan to see it was cut short.
        lastStop().stopped = true;
        lastStop().finished = true;
        stoppable.stopped("the device took the network key" +
                          (macIsSet(expected.data()) ? " (" + formatMac(expected) + ")"
                                                     : std::string()) +
                          " but no scan saw it before the stop, so the device list does not "
                          "have its name and password: once corvel scan lists it, corvel rename "
                          "and corvel password enter them");
        return;
    }
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
    context.out << "Added " << (record != 0 ? describeDevice(record) : name)
                << " to the network\n";
    context.status = 0;
}

}  // namespace

void addAddDeviceCommand(CLI::App& app, CliContext& context) {
    auto options = std::make_shared<AddDeviceOptions>();
    CLI::App* command =
        app.add_subcommand("add-device", "Add a device to the network by its password.");
    command->add_option("--data-dir", options->dataDir, "directory of the device database");
    command->footer(
        "Add Device to Network: the device that has PASSWORD (used as typed) is found, given\n"
        "the network key, and entered in the device list under NAME with its password once a\n"
        "scan sees it; the scan goes on for at most --cycles cycles (about 2.7 s each).\n"
        "With an AV local device this takes at least 22 seconds. PASSWORD is read as the\n"
        "password command reads it: asked for on the terminal without it, from standard input\n"
        "with -; on the command line every user of the machine can read it in the process list.\n"
        "Ctrl-C (or SIGTERM) stops it at the next safe point: the local device goes back on its\n"
        "own network key at once, and what could not be put back is said with the command that\n"
        "mends it.\n"
        "Exit status 0 when the device was found, took the key and is in the device list, 130\n"
        "when stopped by Ctrl-C (143 by SIGTERM).");
    command->add_option("name", options->name, "name for the device, 1 to 31 characters")
        ->required();
    CLI::Option* password = addPasswordArgument(*command, options->password);
    command->add_option("--cycles", options->cycles, "scan cycles to wait for the device")
        ->check(countIn(1, 1000));
    command->callback([options, password, &context] {
        options->passwordGiven = password->count() > 0;
        runAddDevice(*options, context);
    });
}

}  // namespace corvel
