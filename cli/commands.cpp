// SPDX-License-Identifier: MIT
#include "cli/commands.h"

#include <CLI/CLI.hpp>
#include <ostream>

namespace corvel {

int runCli(int argc, char** argv, std::ostream& out, std::ostream& err) {
    CLI::App app{"corvel: manage HomePlug 1.0, Turbo and AV powerline adapters", "corvel"};
    app.require_subcommand(1);
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        if (e.get_exit_code() == 0) {
            out << app.help();
            return kExitOk;
        }
        err << "corvel: " << e.what() << "\n" << app.help();
        return kExitUsage;
    }
    return kExitOk;
}

}  // namespace corvel
