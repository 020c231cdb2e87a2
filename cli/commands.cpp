// SPDX-License-Identifier: MIT
#include "cli/commands.h"

#include <CLI/CLI.hpp>
#include <cstdlib>
#include <ostream>
#include <sstream>
#include <string_view>

#include "cli/add_device_command.h"
#include "cli/context.h"
#include "cli/derive_command.h"
#include "cli/devices_command.h"
#include "cli/interfaces_command.h"
#include "cli/monitor_command.h"
#include "cli/nvm_command.h"
#include "cli/password_command.h"
#include "cli/pib_command.h"
#include "cli/probe_command.h"
#include "cli/remove_command.h"
#include "cli/rename_command.h"
#include "cli/report_command.h"
#include "cli/restart_command.h"
#include "cli/scan_command.h"
#include "cli/set_network_command.h"
#include "cli/stats_command.h"
#include "cli/terminal_notifier.h"
#include "cli/tonemap_command.h"
#include "cli/upgrade_command.h"
#include "cli/usage_errors.h"
#include "platform/notifier.h"
#include "report/report.h"
#include "transport/frame_trace.h"
#include "transport/interface_choice.h"

namespace corvel {

namespace {
// The usage of a (sub)command under its full name, "corvel pib check", ending with a newline.
std::string usageOf(const CLI::App& app) {
    std::string parents;
    for (const CLI::App* p = app.get_parent(); p != nullptr; p = p->get_parent())
        parents = p->get_name() + (parents.empty() ? "" : " " + parents);
    std::string text = app.help(parents);
    if (text.empty() || text.back() != '\n') text += '\n';
    return text;
}

// The usage line alone ("Usage: corvel scan [OPTIONS]") and where the rest is: a mistyped
// option should not bury its error under the whole help.
std::string shortUsageOf(const CLI::App& app) {
    std::istringstream help(usageOf(app));
    std::string line;
    std::string command;
    while (std::getline(help, line))
        if (line.rfind("Usage: ", 0) == 0) {
            command = line.substr(7);
            command = command.substr(0, command.find(" [OPTIONS]"));
            return line + "\nTry '" + command + " --help' for more information.\n";
        }
    return "Try 'corvel --help' for more information.\n";
}

bool wantsJson(int argc, char** argv) {
    for (int i = 1; i < argc; ++i)
        if (std::string(argv[i]) == "--json") return true;
    return false;
}

// Interface names separated by commas, as CORVEL_INTERFACE and -i both take them.
void appendNames(std::string_view list, std::vector<std::string>& names) {
    std::istringstream words{std::string(list)};
    for (std::string name; std::getline(words, name, ',');)
        if (!name.empty()) names.push_back(name);
}

// -i/--interface wins; without it CORVEL_INTERFACE may name interfaces.
std::vector<std::string> chosenInterfaces(const std::vector<std::string>& named) {
    std::vector<std::string> names;
    for (const std::string& list : named) appendNames(list, names);
    if (!named.empty()) return names;
    const char* variable = std::getenv("CORVEL_INTERFACE");
    appendNames(variable != nullptr ? variable : "", names);
    return names;
}

struct GlobalOptions {
    std::vector<std::string> interfaces;
    bool quiet = false;
    bool verbose = false;
};

void addGlobalOptions(CLI::App& app, GlobalOptions& options) {
    // The program's version, and the release the diagnostics report and the About page name,
    // which is the product's, not this program's.
    app.set_version_flag("--version", "corvel " CORVEL_VERSION " (the diagnostics report names "
                                      "the product release, " +
                                          versionText() + ")");
    // Global options may also follow the command: corvel probe -i eth1.
    app.fallthrough();
    app.add_option("-i,--interface", options.interfaces,
                   "use only these host interfaces (names separated by commas, or the option "
                   "repeated; default: $CORVEL_INTERFACE, or every Ethernet interface)")
        ->type_name("NAME");
    app.add_flag("-q,--quiet", options.quiet, "print only results and errors");
    app.add_flag("-v,--verbose", options.verbose,
                 "also print every management frame sent and received, as hex")
        ->excludes("--quiet");
}

// Applies the global options before any command runs, for the whole process.
void applyGlobalOptions(const GlobalOptions& options, CliContext& context, std::ostream& err) {
    setInterfaceChoice(chosenInterfaces(options.interfaces));
    context.quiet = options.quiet;
    if (options.verbose)
        setFrameTrace([&err](FrameDirection direction, const std::string& name,
                             const uint8_t* frame, size_t length) {
            err << formatFrameTrace(direction, name, frame, length);
        });
    else
        setFrameTrace(nullptr);
}
}  // namespace

int runCli(int argc, char** argv, std::ostream& out, std::ostream& err) {
    CLI::App app{"Manages HomePlug 1.0, Turbo and AV powerline adapters.", "corvel"};
    app.require_subcommand(1);
    app.failure_message(CLI::FailureMessage::help);
    CliContext context{out, err};
    // Every message of the run in the words of a terminal, on this run's streams.
    TerminalNotifier terminal(context);
    ScopedNotifier notifierScope(terminal);
    GlobalOptions global;
    addGlobalOptions(app, global);
    context.json = wantsJson(argc, argv);
    app.parse_complete_callback([&] { applyGlobalOptions(global, context, err); });
    addDeriveCommand(app, context);
    addPibCommand(app, context);
    addNvmCommand(app, context);
    addInterfacesCommand(app, context);
    addProbeCommand(app, context);
    addScanCommand(app, context);
    addMonitorCommand(app, context);
    addDevicesCommand(app, context);
    addReportCommand(app, context);
    addSetNetworkCommand(app, context);
    addPasswordCommand(app, context);
    addAddDeviceCommand(app, context);
    addRenameCommand(app, context);
    addRemoveCommand(app, context);
    addUpgradeCommand(app, context);
    addStatsCommand(app, context);
    addToneMapCommand(app, context);
    addRestartCommand(app, context);
    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp&) {
        out << usageOf(*deepestSubcommand(app));
        return kExitOk;
    } catch (const CLI::CallForVersion& e) {
        out << e.what() << '\n';
        return kExitOk;
    } catch (const CLI::ParseError& e) {
        context.fail(kExitUsage, usageErrorText(app, e));
        if (!context.json) err << shortUsageOf(*deepestSubcommand(app));
        return kExitUsage;
    } catch (const std::exception& e) {
        // Whatever a command meets (a refused capture, a full disk, a broken stream) ends it
        // with its reason and status 1, never with an abort.
        return context.fail(1, e.what());
    }
    return context.status;
}

}  // namespace corvel
