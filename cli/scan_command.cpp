// SPDX-License-Identifier: MIT
#include "cli/scan_command.h"

#include <cstdio>
#include <memory>
#include <nlohmann/json.hpp>

#include "cli/device_session.h"
#include "cli/json_output.h"
#include "cli/validators.h"
#include "scan/quality_text.h"
#include "scan/select_adapter.h"
#include "scan/scan.h"
#include "scan/station_texts.h"
#include "core/stations.h"
#include "core/tables.h"
#include "core/view_hooks.h"
#include "platform/mac.h"
#include "platform/text.h"
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

// Public when the network carries its family's default name.
std::string networkType(const StationTable& table) {
    return std::string(networkTypeText(textOf(table.networkName), table.localKind == kKindAv));
}

// The name the main page lists a station by: its device record's, or the vendor's with a number.
std::string stationName(const StationRecord& station, int row) {
    if (const int k = findDeviceByMac(station.mac)) return stringOf(core.devices[k - 1].name);
    return vendorDeviceName(station.mac, row + 1);
}

// The quality as a level and its word; the drawn scales of the display styles are for the GUI.
Json qualityOf(double rate, StationKind kind) {
    const QualityLevel quality = qualityLevel(rate, kind);
    return {{"level", quality.level}, {"text", quality.text}};
}

// Every station the table holds, of every family: the main page lists only the AV ones, but a
// command-line user with a 1.0 or Turbo network needs to see theirs. A rate not measured yet is
// null, not a rate of 0.
Json stationsOf(int index) {
    const StationTable& table = core.stationTables[index];
    Json stations = Json::array();
    for (const StationRecord& s : table.stations) {
        if (!macIsSet(s.mac) || macEqual(s.mac, table.localMac)) continue;
        // Packed fields are copied out: the JSON builder takes its values by reference.
        const double rate = s.rate.currentRate;
        const StationKind kind = s.stationKind;
        const PhyRates phy = phyRatesOf(index, s);
        stations.push_back({{"name", stationName(s, int(stations.size()))},
                            {"mac", formatMac(s.mac)},
                            {"kind", static_cast<int32_t>(kind)},
                            {"family", stationFamilyText(kind)},
                            {"rate", rate == 0 ? Json(nullptr) : Json(rate)},
                            {"rateText", rateText(rate)},
                            {"phyRateTx", mbpsOrNull(phy.tx)},
                            {"phyRateRx", mbpsOrNull(phy.rx)},
                            {"quality", qualityOf(rate, kind)},
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

Json interfacesNow() {
    Json interfaces = Json::array();
    for (int i = 0; i < adapterCount && i < kMaxInterfaces; ++i) interfaces.push_back(interfaceOf(i));
    return printable({{"interfaces", interfaces}});
}

// NAME holds a device name of up to 31 characters whole.
void printStationRow(CliContext& context, const std::string& name, const std::string& mac,
                     const std::string& family, const std::string& rate,
                     const std::string& tx, const std::string& rx, const std::string& quality,
                     const std::string& state, const std::string& firmware) {
    char line[512];
    std::snprintf(line, sizeof line, "  %-31s  %-17s  %-18s %13s %4s %4s  %-9s  %-7s  %s\n",
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
            context.out << "no powerline adapter answered\n";
            continue;
        }
        context.out << "Connected to " << local["kindName"].get<std::string>() << " "
                    << local["mac"].get<std::string>() << "\n  Network Name: "
                    << displayOf(local["networkName"])
                    << "   Network Type: " << local["networkType"].get<std::string>() << '\n';
        if (entry["stations"].empty()) context.out << "  no stations seen\n";
        else
            printStationRow(context, "NAME", "MAC", "FAMILY", "RATE (Mbit/s)", "TX", "RX",
                            "QUALITY", "STATE", "FIRMWARE");
        // A 1.0 or Turbo station reports no rate from it: its RX column shows "-".
        for (const Json& s : entry["stations"])
            printStationRow(context, displayOf(s["name"]), s["mac"].get<std::string>(),
                            s["family"].get<std::string>(), s["rateText"].get<std::string>(),
                            mbpsText(s["phyRateTx"]),
                            isAvStation(StationKind{s["kind"].get<int32_t>()})
                                ? mbpsText(s["phyRateRx"])
                                : "-",
                            s["quality"]["text"].get<std::string>(),
                            s["present"].get<bool>() ? "present" : "dropped",
                            displayOf(s["firmware"]));
    }
    context.out.flush();
}

// The interfaces whose local device answered, as rows of the main page's local list.
int presentInterfaces() {
    int rows = 0;
    for (int i = 0; i < kMaxInterfaces; ++i)
        if (core.adapters[i].localPresent) ++rows;
    return rows;
}

int runScan(const ScanOptions& options, CliContext& context) {
    DeviceSession session(context, false);
    if (!session.open(options.dataDir)) return context.status;
    if (!session.startPage()) {
        // Said before the scan stops: stopping it closes the interfaces and forgets their names.
        const std::string cause = noAdapterCause();
        session.finish();
        return context.fail(1, cause);
    }
    // Each cycle scans the selected interface, as the main page does: every interface with a
    // device gets its turn, so that each station shows under the interface it was seen on.
    for (int cycle = 1; cycle <= options.cycles; ++cycle) {
        const int rows = presentInterfaces();
        for (int row = 0; row < rows; ++row) {
            selectAdapter(row);
            session.runCycles(1);
        }
        selectAdapter(0);
        if (options.json) continue;
        if (options.cycles > 1)
            context.out << (cycle == 1 ? "" : "\n") << "Scan cycle " << cycle << " of "
                        << options.cycles << ":\n";
        printScanText(interfacesNow(), context);
    }
    const Json result = interfacesNow();
    const bool saved = session.finish();
    if (options.json) context.out << jsonLine(result) << '\n';
    context.status = saved ? 0 : 1;
    return context.status;
}

}  // namespace

void addScanCommand(CLI::App& app, CliContext& context) {
    auto options = std::make_shared<ScanOptions>();
    CLI::App* command = app.add_subcommand("scan", "Scan for powerline devices and list them.");
    command->footer(
        "One full scan, then N scan cycles on each interface with a local device (about 2.7 s\n"
        "each with the default preferences). The stations seen are merged into the device list,\n"
        "which is saved as the GUI saves it. Prints each interface's local device and network,\n"
        "and every station seen through it (HomePlug AV, 1.0 Turbo or 1.0) with its device\n"
        "name, family, rate (? or null until measured), quality and firmware; with N above 1\n"
        "after each cycle as it ends. Exit status 1 when no adapter answers.");
    command->add_option("--cycles", options->cycles, "scan cycles after the first full scan")
        ->check(countIn(1, 1000));
    command->add_flag("--json", options->json, "print one JSON object");
    command->add_option("--data-dir", options->dataDir, "directory of the device database");
    command->callback([options, &context] { runScan(*options, context); });
}

}  // namespace corvel
