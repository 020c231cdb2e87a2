// SPDX-License-Identifier: MIT
#include "cli/password_command.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "cli/device_session.h"
#include "cli/password_prompt.h"
#include "cli/stoppable_operation.h"
#include "cli/validators.h"
#include "core/tables.h"
#include "keys/rules.h"
#include "network/device_dialogs.h"
#include "network/interface_select.h"
#include "platform/mac.h"
#include "platform/text.h"
#include "transport/frame_io.h"
#include "transport/interface_choice.h"
#include "transport/interface_table.h"

namespace corvel {

namespace {

struct PasswordOptions {
    std::string mac;
    std::string password;
    bool passwordGiven = false;
    std::string dataDir;
};

enum class Reach { reached, notReachable, noLocalDevice, stopped };

// The interfaces the run may use, by name, the one whose station table last saw `device` first.
std::vector<std::string> interfacesToAsk(const Mac& device) {
    std::vector<std::string> names;
    if (!enumerateInterfaces()) return names;
    const std::optional<Mac> seenBy = hostSeeing(device);
    for (int i = 0; i < adapterCount; ++i) {
        const HostInterface* host = interfaceByIndex(i);
        if (host == nullptr) continue;
        if (seenBy && host->mac == *seenBy)
            names.insert(names.begin(), host->name);
        else
            names.push_back(host->name);
    }
    return names;
}

// Finds the device the password is for, and selects the interface it answers on. The check asks
// through the local device of the selected interface: on another interface's network the device
// never answers, and a right password would be stored as refused. A scan finds the local devices
// of one family only (AV first), so a 1.0 network behind a second interface shows only to a scan
// of that interface alone: the interfaces are scanned one at a time, the one the device was last
// seen on first, until one sees the device. `asked` names the interfaces scanned.
Reach reachDevice(DeviceSession& session, const Mac& device, const StoppableOperation& stoppable,
                  std::vector<std::string>& asked) {
    std::vector<std::string> names = interfacesToAsk(device);
    // Without a list the scan says itself why (an interface the host does not have, ...).
    if (names.empty()) names.push_back({});
    bool anyLocal = false;
    for (const std::string& name : names) {
        if (!name.empty()) {
            setInterfaceChoice({name});
            asked.push_back(name);
        }
        const bool local = session.prepareLocalDevice();
        if (stoppable.stopRequested()) return Reach::stopped;
        anyLocal = anyLocal || local;
        if (local && seenOnCurrentInterface(device)) return Reach::reached;
    }
    return anyLocal ? Reach::notReachable : Reach::noLocalDevice;
}

std::string joined(const std::vector<std::string>& names) {
    std::string text;
    for (const std::string& name : names) text += (text.empty() ? "" : ", ") + name;
    return text;
}

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
    Mac device{};
    copyMac(device.data(), core.devices[listed - 1].mac);
    StoppableOperation stoppable(context);
    std::vector<std::string> asked;
    const Reach reach = reachDevice(session, device, stoppable, asked);
    if (reach != Reach::reached) {
        // Said before the scan stops: stopping it closes the interfaces and forgets their names.
        const std::string cause = noAdapterCause();
        session.finish();
        if (reach == Reach::stopped) {
            stoppable.stoppedBeforeStart();
        } else if (reach == Reach::noLocalDevice) {
            // Without a local device the main page lists no device to enter a password for; a
            // check run anyway would store the password as refused by a device nobody asked.
            context.fail(1, cause + "; the password was not checked");
        } else {
            context.fail(1, formatMac(device) + " is not reachable on any interface (asked on " +
                                joined(asked) + "); its stored password was left as it was");
        }
        return;
    }
    session.showProgress(false);
    const int record = listedDevice(options.mac, context);
    if (record == 0) {
        session.finish();
        context.status = 1;
        return;
    }
    stoppable.networks(stringOf(currentStationTable().networkName));
    const PasswordEntry entry = enterDevicePassword(record, *password);
    const bool saved = session.finish();
    if (entry.outcome == DialogOutcome::stopped) {
        stoppable.stopped("");
        context.err << "corvel: the password was not checked; the device list keeps what it had "
                       "for "
                    << describeDevice(record) << '\n';
        return;
    }
    if (entry.outcome != DialogOutcome::checked || !saved) {
        context.status = 1;
        return;
    }
    const char* outcome = entry.verification == 1   ? "verified by the device"
                          : entry.verification == 0 ? "refused by the device"
                                                    : "not checked (no host address)";
    context.out << "Password of " << describeDevice(record) << " " << outcome;
    // A password the user kept off the screen stays off it: the line says that it was stored.
    if (passwordKeptOutOfSight(options.passwordGiven, options.password))
        context.out << ", stored in the device list\n";
    else
        context.out << ", stored as " << entry.stored << '\n';
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
        "The password is checked through the local device of the interface the device was last\n"
        "seen on (the others are scanned one at a time when it is not seen there); a device no\n"
        "interface reaches is an error, and its stored password is left as it was. Ctrl-C stops\n"
        "the check and puts the local device's key back, as set-network does.\n"
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
