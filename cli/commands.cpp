// SPDX-License-Identifier: MIT
#include "cli/commands.h"

#include <CLI/CLI.hpp>
#include <ostream>

#include "cli/context.h"
#include "cli/derive_command.h"
#include "cli/device_commands.h"
#include "cli/devices_command.h"
#include "cli/interfaces_command.h"
#include "cli/nvm_command.h"
#include "cli/pib_command.h"
#include "cli/probe_command.h"
#include "cli/scan_command.h"
#include "cli/set_network_command.h"
#include "cli/upgrade_command.h"

namespace corvel {

namespace {
// The innermost subcommand the user named, whose usage fits the error best.
const CLI::App* deepestSubcommand(const CLI::App& app) {
    for (const CLI::App* sub : app.get_subcommands())
        if (sub->parsed()) return deepestSubcommand(*sub);
    return &app;
}

// The usage of a (sub)command under its full name, "corvel pib check", ending with a newline.
std::string usageOf(const CLI::App& app) {
    std::string parents;
    for (const CLI::App* p = app.get_parent(); p != nullptr; p = p->get_parent())
        parents = p->get_name() + (parents.empty() ? "" : " " + parents);
    std::string text = app.help(parents);
    if (text.empty() || text.back() != '\n') text += '\n';
    return text;
}
}  // namespace

int runCli(int argc, char** argv, std::ostream& out, std::ostream& err) {
    CLI::App app{"Manages HomePlug 1.0, Turbo and AV powerline adapters.", "corvel"};
    app.require_subcommand(1);
    app.failure_message(CLI::FailureMessage::help);
    CliContext context{out, err};
    addDeriveCommand(app, context);
    addPibCommand(app, context);
    addNvmCommand(app, context);
    addInterfacesCommand(app, context);
    addProbeCommand(app, context);
    addScanCommand(app, context);
    addDevicesCommand(app, context);
    addReportCommand(app, context);
    addSetNetworkCommand(app, context);
    addPasswordCommand(app, context);
    addAddDeviceCommand(app, context);
    addRenameCommand(app, context);
    addRemoveCommand(app, context);
    addUpgradeCommand(app, context);
    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp&) {
        out << usageOf(*deepestSubcommand(app));
        return kExitOk;
    } catch (const CLI::ParseError& e) {
        err << "corvel: " << e.what() << "\n\n" << usageOf(*deepestSubcommand(app));
        return kExitUsage;
    } catch (const std::exception& e) {
        // Whatever a command meets (a refused capture, a full disk, a broken stream) ends it
        // with its reason and status 1, never with an abort.
        return context.fail(1, e.what());
    }
    return context.status;
}

}  // namespace corvel
