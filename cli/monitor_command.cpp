// SPDX-License-Identifier: MIT
#include "cli/monitor_command.h"

#include <memory>
#include <optional>
#include <prometheus/registry.h>

#include "av/link_health_ops.h"
#include "cli/session.h"
#include "monitor/events.h"
#include "monitor/exposition.h"
#include "monitor/metrics.h"
#include "monitor/monitor_loop.h"
#include "monitor/stop_signal.h"

namespace corvel {

namespace {

struct MonitorCommandOptions {
    unsigned intervalSeconds = 0;
    std::string listen;
    bool jsonLines = false;
    std::string dataDir;
};

int runMonitor(const MonitorCommandOptions& options, CliContext& context) {
    std::optional<ListenAddress> address;
    std::string error;
    if (!options.listen.empty()) address = parseListenAddress(options.listen, error);
    if (!openSession(options.dataDir, context)) return context.status;

    auto registry = std::make_shared<prometheus::Registry>();
    MonitorMetrics metrics(*registry);
    // Listening comes before the first scan: a port that is taken ends the run at once.
    std::unique_ptr<MetricsExposition> exposition;
    if (address) {
        exposition = std::make_unique<MetricsExposition>(*address, registry);
        context.err << "corvel: metrics at http://" << address->text() << "/metrics\n"
                    << std::flush;
    }

    EventTracker tracker;
    EventWriter writer(context.out, options.jsonLines);
    MonitorOptions monitorOptions;
    monitorOptions.intervalMs = options.intervalSeconds * 1000;
    monitorOptions.readLinkStats = requestLinkStats;
    MonitorLoop loop(monitorOptions, [&](const CycleSnapshot& snapshot) {
        metrics.record(snapshot);
        for (const MonitorEvent& event : tracker.compare(snapshot)) writer.write(event);
    });

    StopSignals signals;
    requireCapture();
    loop.start();
    loop.run([] { return StopSignals::requested(); });

    std::string reason;
    if (!loop.finish(reason)) return context.fail(1, "the device list was not saved: " + reason);
    context.status = 0;
    return 0;
}

}  // namespace

void addMonitorCommand(CLI::App& app, CliContext& context) {
    auto options = std::make_shared<MonitorCommandOptions>();
    CLI::App* command =
        app.add_subcommand("monitor", "Scan without end; serve metrics and report events.");
    command->footer(
        "Runs the scan cycle until SIGTERM or SIGINT, merging the stations seen into the device\n"
        "list and saving it as the scan does. After each cycle's full scan it reads the link\n"
        "statistics of every present HomePlug AV station.\n"
        "With --listen it serves Prometheus metrics at http://ADDRESS:PORT/metrics (names start\n"
        "with corvel_); events (a station appeared or left, its rate moved by more than 10 %,\n"
        "a local device was lost or found, a scan or a save failed) are printed one a line, as\n"
        "text or with --json-lines as JSON objects with an RFC 3339 UTC \"time\".\n"
        "A stop request ends the current cycle; the list is saved and the exit status is 0\n"
        "(1 when that save failed).");
    command->add_option("--interval", options->intervalSeconds,
                        "seconds from the start of one cycle to the next (default: cycles back "
                        "to back, one scan cycle of about 2.7 s with the default preferences)")
        ->type_name("SECONDS")
        ->check(CLI::Range(1u, 86400u).description(""));
    command->add_option("--listen", options->listen,
                        "serve the metrics on this address, e.g. 127.0.0.1:9647 or [::1]:9647")
        ->type_name("ADDRESS:PORT")
        ->check(CLI::Validator(
            [](std::string& text) {
                std::string error;
                return parseListenAddress(text, error) ? std::string() : error;
            },
            ""));
    command->add_flag("--json-lines", options->jsonLines, "print each event as one JSON object");
    command->add_option("--data-dir", options->dataDir, "directory of the device database");
    command->callback([options, &context] { runMonitor(*options, context); });
}

}  // namespace corvel
