// SPDX-License-Identifier: MIT
#include "cli/scan_command.h"

#include <cstdio>
#include <memory>
#include <nlohmann/json.hpp>

#include "cli/device_session.h"
#include "cli/json_output.h"
#include "scan/quality_text.h"
#include "scan/scan.h"
#include "core/stations.h"
#include "core/tables.h"
#include "core/view_hooks.h"
#include "platform/mac.h"
#include "platform/text.h"
#include "store/vendor_list.h"
#include "transport/frame_io.h"
#include "transport/interface_table.h"

namespace corvel {

namespace {

using Json = nlohmann::ordered_json;

struct ScanOptions {
    int cycles = 1;
    bool json = false;
    std::string dataDir;
};

std::string rateText(double rate) {
    if (rate == 0) return "?";
    char text[32];
    std::snprintf(text, sizeof text, "%.2f", rate);
    return text;
}

// Public when the network carries its family's default name.
std::string networkType(const StationTable& table) {
    const std::string_view name = textOf(table.networkName);
    const bool av = table.localKind == kKindAv;
    return name == (av ? "HomePlugAV" : "HomePlug") ? "Public" : "Private";
}

// The name the main page lists a station by: its device record's, or the vendor's with a number.
std::string stationName(const StationRecord& station, int row) {
    if (const int k = findDeviceByMac(station.mac)) return stringOf(core.devices[k - 1].name);
    char text[64];
    std::snprintf(text, sizeof text, "%s %s %hd", vendorName(station.mac).c_str(), "Device",
                  int16_t(row + 1));
    return text;
}

// The family a station's kind names: 1 plain HomePlug 1.0, 2 Turbo-capable, 4 and up AV.
std::string familyOf(int32_t stationKind) {
    if (stationKind >= kKindAv) return "HomePlug AV";
    if (stationKind == kKindTurbo) return "HomePlug 1.0 Turbo";
    return "HomePlug 1.0";
}

// The quality as a level and its word; the drawn scales of the display styles are for the GUI.
Json qualityOf(double rate, int32_t kind) {
    const QualityLevel quality = qualityLevel(rate, kind);
    return {{"level", quality.level}, {"text", quality.text}};
}

// Every station the table holds, of every family: the main page lists only the AV ones, but a
// command-line user with a 1.0 or Turbo network needs to see theirs.
Json stationsOf(int index) {
    const StationTable& table = core.stationTables[index];
    Json stations = Json::array();
    for (const StationRecord& s : table.stations) {
        if (!macIsSet(s.mac) || macEqual(s.mac, table.localMac)) continue;
        // Packed fields are copied out: the JSON builder takes its values by reference.
        const double rate = s.rate.currentRate;
        const int32_t kind = s.stationKind;
        const PhyRates phy = phyRatesOf(index, s);
        stations.push_back({{"name", stationName(s, int(stations.size()))},
                            {"mac", formatMac(s.mac)},
                            {"kind", kind},
                            {"family", familyOf(s.stationKind)},
                            {"rate", rate},
                            {"rateText", rateText(rate)},
                            {"phyRateTx", mbpsOrNull(phy.tx)},
                            {"phyRateRx", mbpsOrNull(phy.rx)},
                            {"quality", qualityOf(rate, s.stationKind)},
                            {"firmware", stringOf(s.firmwareText)},
                            {"present", s.present != 0}});
    }
    return stations;
}

Json interfaceOf(int index) {
    const StationTable& table = core.stationTables[index];
    Json local = nullptr;
    if (table.localPresent && macIsSet(table.localMac)) {
        const int32_t kind = table.localKind;
        local = {{"kind", kind},
                 {"kindName", localKindName(index)},
                 {"mac", formatMac(table.localMac)},
                 {"networkName", stringOf(table.networkName)},
                 {"networkType", networkType(table)}};
    }
    const HostInterface* host = interfaceByIndex(index);
    return {{"index", index},
            {"name", host != nullptr ? host->name : ""},
            {"mac", formatMac(interfaceEntries[index].interfaceMac)},
            {"local", local},
            {"stations", local.is_null() ? Json::array() : stationsOf(index)}};
}

void printStationRow(CliContext& context, const std::string& name, const std::string& mac,
                     const std::string& family, const std::string& rate,
                     const std::string& tx, const std::string& rx, const std::string& quality,
                     const std::string& state, const std::string& firmware) {
    char line[512];
    std::snprintf(line, sizeof line, "  %-24s %-17s  %-18s %13s %4s %4s  %-9s  %-7s  %s\n",
                  name.c_str(), mac.c_str(), family.c_str(), rate.c_str(), tx.c_str(), rx.c_str(),
                  quality.c_str(), state.c_str(), firmware.c_str());
    context.out << line;
}

void printScanText(const Json& result, CliContext& context) {
    for (const Json& entry : result["interfaces"]) {
        context.out << "Interface " << entry["index"].get<int>() << " "
                    << entry["name"].get<std::string>() << " (" << entry["mac"].get<std::string>()
                    << "): ";
        const Json& local = entry["local"];
        if (local.is_null()) {
            context.out << "HomePlug Adapter NOT DETECTED\n";
            continue;
        }
        context.out << "Connected to " << local["kindName"].get<std::string>() << " "
                    << local["mac"].get<std::string>() << "\n  Network Name: "
                    << displayOf(local["networkName"])
                    << "   Network Type: " << local["networkType"].get<std::string>() << '\n';
        if (!entry["stations"].empty())
            printStationRow(context, "NAME", "MAC", "FAMILY", "RATE (Mbit/s)", "TX", "RX",
                            "QUALITY", "STATE", "FIRMWARE");
        // A 1.0 or Turbo station reports no rate from it: its RX column shows "-".
        for (const Json& s : entry["stations"])
            printStationRow(context, displayOf(s["name"]), s["mac"].get<std::string>(),
                            s["family"].get<std::string>(), s["rateText"].get<std::string>(),
                            mbpsText(s["phyRateTx"]),
                            s["kind"].get<int>() >= kKindAv ? mbpsText(s["phyRateRx"]) : "-",
                            s["quality"]["text"].get<std::string>(),
                            s["present"].get<bool>() ? "present" : "dropped",
                            displayOf(s["firmware"]));
    }
}

int runScan(const ScanOptions& options, CliContext& context) {
    DeviceSession session(context, false);
    if (!session.open(options.dataDir)) return context.status;
    const bool found = session.startPage();
    if (found) session.runCycles(options.cycles);
    Json interfaces = Json::array();
    for (int i = 0; i < adapterCount; ++i) interfaces.push_back(interfaceOf(i));
    const std::string captureProblem = captureError();
    const bool saved = session.finish();
    if (!found && options.json) {
        const std::string message = "The HomePlug Adapter was not detected.";
        return context.fail(1, captureProblem.empty() ? message : message + " " + captureProblem);
    }
    if (!found) {
        context.out << "The HomePlug Adapter was not detected.\n";
        if (!captureProblem.empty()) context.err << "corvel: " << captureProblem << '\n';
        context.status = 1;
        return 1;
    }
    const Json result = printable({{"interfaces", interfaces}});
    if (options.json) context.out << jsonLine(result) << '\n';
    else printScanText(result, context);
    context.status = saved ? 0 : 1;
    return context.status;
}

}  // namespace

void addScanCommand(CLI::App& app, CliContext& context) {
    auto options = std::make_shared<ScanOptions>();
    CLI::App* command = app.add_subcommand("scan", "Scan for powerline devices and list them.");
    command->footer(
        "One full scan, then N scan cycles (about 2.7 s each with the default preferences).\n"
        "The stations seen are merged into the device list, which is saved as the GUI saves it.\n"
        "Prints each interface's local device and network, and every station seen through it\n"
        "(HomePlug AV, 1.0 Turbo or 1.0) with its device name, family, rate, quality and\n"
        "firmware. Exit status 1 when no adapter is found.");
    command->add_option("--cycles", options->cycles, "scan cycles after the first full scan")
        ->check(CLI::Range(1, 1000));
    command->add_flag("--json", options->json, "print one JSON object");
    command->add_option("--data-dir", options->dataDir, "directory of the device database");
    command->callback([options, &context] { runScan(*options, context); });
}

}  // namespace corvel
