// SPDX-License-Identifier: MIT
#include "cli/restart_command.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <iostream>
#include <memory>
#include <optional>
#include <string>

#include "av/link_health_ops.h"
#include "cli/av_target.h"
#include "cli/validators.h"
#include "platform/clock.h"
#include "transport/frame_io.h"

namespace corvel {

namespace {

// A device confirms its reset and then restarts; one that still answers this long afterwards
// did not restart.
constexpr uint32_t kSilentWithinMs = 5000;
// How long a restarted device may take to answer again.
constexpr uint32_t kBackWithinMs = 60000;

struct RestartOptions {
    std::string mac;
    bool local = false;
    bool yes = false;
};

std::string seconds(uint64_t ms) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f s", double(ms) / 1000.0);
    return text;
}

std::string deviceText(const AvTarget& target) {
    if (target.isLocal)
        return "the local device " + formatMac(target.device) + " on " +
               interfaceLabel(target.interfaceIndex);
    return "the station " + formatMac(target.device) + " of the local device " +
           formatMac(target.local);
}

// --yes answers; otherwise the question is asked on the terminal (y/N). Without a terminal to
// ask on, nothing is restarted.
bool confirmed(const RestartOptions& options, const AvTarget& target, CliContext& context) {
    if (options.yes) return true;
    const bool terminal = &context.err == &std::cerr && ::isatty(STDIN_FILENO) != 0;
    if (!terminal) {
        context.fail(1, "not restarted: there is no terminal to ask on; add --yes to restart " +
                            formatMac(target.device));
        return false;
    }
    context.err << "Restart: Restart " << deviceText(target)
                << "? Its links are down until it is back. [y/N] " << std::flush;
    std::string answer;
    if (std::getline(std::cin, answer) && !answer.empty() && (answer[0] == 'y' || answer[0] == 'Y'))
        return true;
    context.fail(1, "not restarted: the restart was not confirmed");
    return false;
}

void runRestart(const RestartOptions& options, CliContext& context) {
    std::optional<Mac> mac;
    if (!options.local) mac = parseMacArgument(options.mac).value_or(Mac{});
    const std::optional<AvTarget> target = findAvTarget(context, mac);
    if (!target) return;
    if (!confirmed(options, *target, context)) {
        closeAllInterfaces();
        return;
    }
    std::string error;
    if (!requestReset(target->device, error)) {
        closeAllInterfaces();
        context.fail(1, error);
        return;
    }
    Clock& clock = systemClock();
    const uint64_t resetAt = clock.tickCount();
    const std::string device = formatMac(target->device);
    context.out << "Reset confirmed by " << deviceText(*target) << "; waiting for it to answer again"
                << " (at most " << seconds(kBackWithinMs) << ")\n"
                << std::flush;

    if (!waitUntilSilent(target->device, kSilentWithinMs)) {
        closeAllInterfaces();
        context.fail(1, device + " confirmed the reset but went on answering for " +
                            seconds(kSilentWithinMs) + ": it did not restart");
        return;
    }
    const bool terminal = &context.err == &std::cerr && ::isatty(STDERR_FILENO) != 0;
    bool drawn = false;
    const auto progress = [&](uint32_t) {
        if (!terminal) return;
        context.err << "\rwaiting for " << device << ": " << seconds(clock.tickCount() - resetAt)
                    << std::flush;
        drawn = true;
    };
    const uint64_t silentAt = clock.tickCount();
    const uint32_t left = uint32_t(kBackWithinMs - std::min<uint64_t>(silentAt - resetAt, kBackWithinMs));
    const std::optional<uint32_t> back = waitUntilAnswers(target->device, left, progress);
    closeAllInterfaces();
    if (drawn) context.err << '\n';
    if (!back) {
        context.fail(1, device + " did not answer within " + seconds(kBackWithinMs) +
                            " of its reset");
        return;
    }
    context.out << device << " answers again " << seconds(clock.tickCount() - resetAt)
                << " after its reset\n";
    context.status = 0;
}

}  // namespace

void addRestartCommand(CLI::App& app, CliContext& context) {
    auto options = std::make_shared<RestartOptions>();
    CLI::App* command =
        app.add_subcommand("restart", "Restart an AV device and wait until it is back.");
    command->footer(
        "Sends the reset request to MAC (the AV local device or a station of its network), or\n"
        "with --local to the AV local device; asks first (y/N on a terminal; --yes answers, and\n"
        "without a terminal --yes is needed). Once the device has confirmed, it must stop\n"
        "answering within 5 s; then it is asked for its version about every quarter second\n"
        "until it answers again, at most 60 s, with the time elapsed on a terminal, and the\n"
        "time it took is said. Exit status 1 when the device refused the reset, did not\n"
        "restart, or did not come back within 60 s.");
    CLI::Option* mac = command->add_option("mac", options->mac, "the device's MAC address")
                           ->check(macValidator());
    CLI::Option* local =
        command->add_flag("--local", options->local, "restart the AV local device");
    mac->excludes(local);
    command->add_flag("--yes", options->yes, "answer yes to the question");
    command->callback([options, mac, local, &context] {
        if (mac->count() == 0 && local->count() == 0)
            throw CLI::ValidationError("MAC", "give the device's MAC address or --local");
        runRestart(*options, context);
    });
}

}  // namespace corvel
