// SPDX-License-Identifier: MIT
#include "cli/report_command.h"

#include <unistd.h>

#include <cstdio>
#include <memory>
#include <string>

#include "cli/device_session.h"
#include "report/report.h"

namespace corvel {

namespace {

struct ReportOptions {
    std::string file;
    bool noPasswords = false;
    std::string dataDir;
};

int runReport(const ReportOptions& options, CliContext& context) {
    DeviceSession session(context, false);
    if (!session.open(options.dataDir)) return context.status;
    // What the Diagnostics page shows while the main page scans: a full scan and a cycle, so
    // that the rates of the stations are measured, merged into the device list. Without capture
    // the report would say that no device is connected: that is refused (requireCapture).
    session.prepareLocalDevice();
    const ReportScope scope{true, !options.noPasswords};
    bool written = false;
    std::string error = "standard output";
    if (options.file.empty()) {
        context.out.flush();
        std::FILE* out = fdopen(::dup(STDOUT_FILENO), "w");
        written = out != nullptr && writeReport(out, scope);
    } else {
        written = saveReport(options.file, &error, scope);
    }
    const bool saved = session.finish();
    if (!written) return context.fail(1, "the report could not be written: " + error);
    if (!options.file.empty())
        context.out << "Diagnostics report written to " << options.file << " (mode 0600"
                    << (options.noPasswords ? ", without the device passwords" : "") << ")\n";
    context.status = saved ? 0 : 1;
    return context.status;
}

}  // namespace

void addReportCommand(CLI::App& app, CliContext& context) {
    auto options = std::make_shared<ReportOptions>();
    CLI::App* command = app.add_subcommand("report", "Write the diagnostics report.");
    command->footer(
        "One full scan and one scan cycle first (the rates measured), then the report of the\n"
        "host, its interfaces and local devices, and the known stations of every family on\n"
        "the selected interface, to FILE or to standard output. The report lists the device\n"
        "passwords unless --no-passwords; FILE is made anew with mode 0600.");
    command->add_option("file", options->file, "file to write (default: standard output)");
    command->add_flag("--no-passwords", options->noPasswords,
                      "leave the device passwords out of the report");
    command->add_option("--data-dir", options->dataDir, "directory of the device database");
    command->callback([options, &context] { runReport(*options, context); });
}

}  // namespace corvel
