// SPDX-License-Identifier: MIT
#include "cli/stats_command.h"

#include <array>
#include <cstdio>
#include <memory>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>

#include "av/link_health_ops.h"
#include "cli/av_target.h"
#include "cli/validators.h"
#include "transport/frame_io.h"

namespace corvel {

namespace {

using Json = nlohmann::ordered_json;

struct StatsOptions {
    std::string mac;
    bool json = false;
};

// Failed blocks over all blocks of one direction; null when no block went that way.
Json errorRatio(uint64_t passed, uint64_t failed) {
    const uint64_t all = passed + failed;
    if (all == 0) return nullptr;
    return double(failed) / double(all);
}

Json txJson(const TxLinkStats& tx) {
    return {{"mpduAcked", tx.mpdusAcked}, {"mpduCollided", tx.mpdusCollided},
            {"mpduFailed", tx.mpdusFailed}, {"pbPassed", tx.pbsPassed},
            {"pbFailed", tx.pbsFailed},     {"pbErrorRatio", errorRatio(tx.pbsPassed, tx.pbsFailed)}};
}

Json rxJson(const RxLinkStats& rx) {
    Json intervals = Json::array();
    for (const RxIntervalStats& i : rx.intervals)
        intervals.push_back({{"phyRateMbps", i.phyRateMbps},
                             {"pbPassed", i.pbsPassed},
                             {"pbFailed", i.pbsFailed},
                             {"tbPassed", i.turboBitErrorsPassed},
                             {"tbFailed", i.turboBitErrorsFailed}});
    return {{"mpduAcked", rx.mpdusAcked},
            {"mpduFailed", rx.mpdusFailed},
            {"pbPassed", rx.pbsPassed},
            {"pbFailed", rx.pbsFailed},
            {"tbPassed", rx.turboBitErrorsPassed},
            {"tbFailed", rx.turboBitErrorsFailed},
            {"pbErrorRatio", errorRatio(rx.pbsPassed, rx.pbsFailed)},
            {"intervals", intervals}};
}

// One row of the table: a counter of each direction, "-" where the direction has none.
void row(std::ostream& out, const char* label, const Json& tx, const Json& rx) {
    const auto cell = [](const Json& value) -> std::string {
        if (value.is_null()) return "-";
        if (value.is_string()) return value.get<std::string>();
        if (value.is_number_float()) {
            char text[32];
            std::snprintf(text, sizeof text, "%.2f %%", value.get<double>() * 100.0);
            return text;
        }
        return value.dump();
    };
    char line[128];
    std::snprintf(line, sizeof line, "  %-34s %16s %16s\n", label, cell(tx).c_str(),
                  cell(rx).c_str());
    out << line;
}

void printText(const Json& r, std::ostream& out) {
    const Json& tx = r["tx"];
    const Json& rx = r["rx"];
    out << "Local device " << r["local"].get<std::string>() << " to station "
        << r["station"].get<std::string>() << " (TEI " << r["tei"] << ")\n";
    row(out, "since the device started", "transmit", "receive");
    row(out, "MPDUs acknowledged", tx["mpduAcked"], rx["mpduAcked"]);
    row(out, "MPDUs collided", tx["mpduCollided"], nullptr);
    row(out, "MPDUs failed", tx["mpduFailed"], rx["mpduFailed"]);
    row(out, "PBs passed", tx["pbPassed"], rx["pbPassed"]);
    row(out, "PBs failed", tx["pbFailed"], rx["pbFailed"]);
    row(out, "TBs passed (turbo bit errors)", nullptr, rx["tbPassed"]);
    row(out, "TBs failed (turbo bit errors)", nullptr, rx["tbFailed"]);
    const auto ratio = [](const Json& value) -> Json { return value.is_null() ? "n/a" : value; };
    row(out, "PB error ratio", ratio(tx["pbErrorRatio"]), ratio(rx["pbErrorRatio"]));
    if (rx["intervals"].empty()) return;
    const auto line = [&out](const std::string& first, const std::array<std::string, 5>& rest) {
        char text[160];
        std::snprintf(text, sizeof text, "  %-18s %6s %11s %11s %11s %11s\n", first.c_str(),
                      rest[0].c_str(), rest[1].c_str(), rest[2].c_str(), rest[3].c_str(),
                      rest[4].c_str());
        out << text;
    };
    line("receive interval", {"Mbit/s", "PBs passed", "PBs failed", "TBs passed", "TBs failed"});
    size_t n = 0;
    for (const Json& i : rx["intervals"])
        line(std::to_string(++n), {i["phyRateMbps"].dump(), i["pbPassed"].dump(),
                                   i["pbFailed"].dump(), i["tbPassed"].dump(),
                                   i["tbFailed"].dump()});
}

void runStats(const StatsOptions& options, CliContext& context) {
    const std::optional<AvTarget> target =
        findAvStation(context, parseMacArgument(options.mac).value_or(Mac{}));
    if (!target) return;
    std::string error;
    const std::optional<LinkStatsConfirm> stats = requestLinkStats(target->device, error);
    closeAllInterfaces();
    if (!stats) {
        context.fail(1, error);
        return;
    }
    const Json result{{"local", formatMac(target->local)},
                      {"station", formatMac(target->device)},
                      {"tei", stats->tei},
                      {"tx", txJson(*stats->tx)},
                      {"rx", rxJson(*stats->rx)}};
    if (options.json)
        context.out << result.dump() << '\n';
    else
        printText(result, context.out);
    context.status = 0;
}

}  // namespace

void addStatsCommand(CLI::App& app, CliContext& context) {
    auto options = std::make_shared<StatsOptions>();
    CLI::App* command = app.add_subcommand(
        "stats", "Show the frame and block counters of the local device's link to a station.");
    command->footer(
        "Asks the AV local device for the counters of its link to the station MAC, both\n"
        "directions, as counted since the device started: MPDUs (frames on the powerline)\n"
        "acknowledged, collided and failed; PBs (520-byte physical blocks) passed and failed;\n"
        "on the receive side the turbo bit errors (TBs) of the blocks passed and failed, and each\n"
        "tone map interval with its PHY rate. The PB error ratio is the failed blocks over all\n"
        "blocks of a direction (n/a, null in JSON, without blocks).\n"
        "Exit status 1 when the station is not in the local device's network or no answer came.");
    command->add_option("mac", options->mac, "the station's MAC address")
        ->required()
        ->check(macValidator());
    command->add_flag("--json", options->json, "print one JSON object");
    command->callback([options, &context] { runStats(*options, context); });
}

}  // namespace corvel
