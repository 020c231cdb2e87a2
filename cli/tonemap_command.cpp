// SPDX-License-Identifier: MIT
#include "cli/tonemap_command.h"

#include <cstdio>
#include <functional>
#include <map>
#include <memory>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>

#include "av/link_health_ops.h"
#include "cli/av_target.h"
#include "cli/tonemap_chart.h"
#include "cli/validators.h"
#include "transport/frame_io.h"

namespace corvel {

namespace {

using Json = nlohmann::ordered_json;

struct ToneMapOptions {
    std::string mac;
    bool rx = false;
    unsigned slot = 0;
    bool json = false;
    bool csv = false;
};

// A carrier's centre frequency in Hz: a multiple of 24414.0625 Hz, which a double holds exactly
// and prints in full.
double frequencyHz(size_t index) {
    return carrierFrequencyMHz(index) * 1e6;
}

Json carriersJson(const ToneMapConfirm& map) {
    Json carriers = Json::array();
    for (size_t i = 0; i < map.modulation.size(); ++i) {
        const uint8_t code = map.modulation[i];
        carriers.push_back({{"index", i},
                            {"frequencyHz", frequencyHz(i)},
                            {"modulation", modulationName(code)},
                            {"bits", modulationBits(code)}});
    }
    return carriers;
}

void printCsv(const ToneMapConfirm& map, std::ostream& out) {
    out << "index,frequencyHz,modulation,bits\n";
    for (size_t i = 0; i < map.modulation.size(); ++i) {
        const uint8_t code = map.modulation[i];
        out << i << ',' << Json(frequencyHz(i)).dump() << ',' << modulationName(code) << ','
            << modulationBits(code) << '\n';
    }
}

void printText(const ToneMapConfirm& map, const Mac& station, std::ostream& out) {
    const bool rx = map.direction == ToneMapDirection::Rx;
    out << (rx ? "Receive tone map from station " : "Transmit tone map to station ")
        << formatMac(station) << ", slot " << unsigned(map.slot) << " of "
        << unsigned(map.toneMapCount) << ", bits per carrier\n";
    for (const std::string& line : toneMapChart(map.modulation)) out << line << '\n';

    const size_t active = modulatedCarriers(map);
    const unsigned bits = bitsPerSymbol(map);
    char totals[128];
    std::snprintf(totals, sizeof totals,
                  "active carriers %zu of %zu, mean %.2f bits, %u raw bits per symbol\n", active,
                  map.modulation.size(), active == 0 ? 0.0 : double(bits) / double(active), bits);
    out << totals;
    // How many carriers use each modulation, the richest first, wrapped at 80 columns.
    std::map<uint8_t, size_t, std::greater<>> counts;
    for (const uint8_t code : map.modulation) ++counts[code];
    std::string line = "modulations:";
    for (const auto& [code, count] : counts) {
        const std::string item = std::string(modulationName(code)) + " " + std::to_string(count);
        if (line.size() + 2 + item.size() > 80) {
            out << line << ",\n";
            line = " ";
        } else if (line != "modulations:") {
            line += ",";
        }
        line += " " + item;
    }
    if (!counts.empty()) out << line << '\n';
}

void runToneMap(const ToneMapOptions& options, CliContext& context) {
    const std::optional<AvTarget> target =
        findAvStation(context, parseMacArgument(options.mac).value_or(Mac{}));
    if (!target) return;
    const ToneMapDirection direction = options.rx ? ToneMapDirection::Rx : ToneMapDirection::Tx;
    std::string error;
    const std::optional<ToneMapConfirm> map =
        requestToneMap(target->device, direction, uint8_t(options.slot), error);
    closeAllInterfaces();
    if (!map) {
        context.fail(1, error);
        return;
    }
    if (options.json)
        context.out << Json{{"mac", formatMac(target->device)},
                            {"direction", options.rx ? "rx" : "tx"},
                            {"slot", map->slot},
                            {"activeCarriers", modulatedCarriers(*map)},
                            {"carriers", carriersJson(*map)}}
                           .dump()
                    << '\n';
    else if (options.csv)
        printCsv(*map, context.out);
    else
        printText(*map, target->device, context.out);
    context.status = 0;
}

}  // namespace

void addToneMapCommand(CLI::App& app, CliContext& context) {
    auto options = std::make_shared<ToneMapOptions>();
    CLI::App* command = app.add_subcommand(
        "tonemap", "Show how each carrier of the link to a station is modulated.");
    command->footer(
        "Asks the AV local device for the tone map of its link to the station MAC: by default\n"
        "how it modulates what it sends to the station, with --rx how the station's frames\n"
        "reach it. Each of the 1155 carriers of the 1.8 to 30 MHz band carries 0 (none) to 12\n"
        "bits a symbol: none, BPSK 1, QPSK 2, 8-QAM 3, 16-QAM 4, 64-QAM 6, 256-QAM 8, 1024-QAM 10,\n"
        "4096-QAM 12. Carrier 0 lies at 1.8066 MHz and each next one 24.414 kHz higher (carrier\n"
        "i at (74 + i) x 75 MHz / 3072). Text: a chart of the mean bits of each band of 16\n"
        "carriers against frequency, then the active carriers (those modulated), their mean\n"
        "bits and the raw bits of one symbol. --csv: one line per carrier under a header;\n"
        "--json: {mac, direction, slot, activeCarriers, carriers: [{index, frequencyHz,\n"
        "modulation, bits}]}.\n"
        "A link may use a different tone map in each slot of the AC line cycle; --slot asks for\n"
        "one (0 the first). Exit status 1 when the station or the slot is unknown to the local\n"
        "device or no answer came.");
    command->add_option("mac", options->mac, "the station's MAC address")
        ->required()
        ->check(macValidator());
    command->add_flag("--rx", options->rx,
                      "the receive tone map (the station's frames to the local device)");
    command->add_option("--slot", options->slot, "the tone map slot of the line cycle (default 0)")
        ->check(CLI::Range(0, 255))
        ->type_name("N");
    CLI::Option* json = command->add_flag("--json", options->json, "print one JSON object");
    command->add_flag("--csv", options->csv, "print one CSV line per carrier, under a header")
        ->excludes(json);
    command->callback([options, &context] { runToneMap(*options, context); });
}

}  // namespace corvel
