// SPDX-License-Identifier: MIT
#include "cli/probe_command.h"

#include <cstdio>
#include <memory>
#include <nlohmann/json.hpp>

#include "av/av_state.h"
#include "av/local_device.h"
#include "cli/device_session.h"
#include "cli/interfaces_command.h"
#include "cli/json_output.h"
#include "cli/session.h"
#include "core/observer.h"
#include "core/stations.h"
#include "core/tables.h"
#include "hp10codec/frames.h"
#include "hp10/queries.h"
#include "hp10/replies.h"
#include "hp10/requests.h"
#include "platform/mac.h"
#include "platform/text.h"
#include "transport/frame_io.h"
#include "transport/interface_table.h"
#include "upgrade/loader_link.h"

namespace corvel {

namespace {

using Json = nlohmann::ordered_json;

struct ProbeOptions {
    bool json = false;
};

Mac localMacOf(int index) {
    Mac mac{};
    copyMac(mac.data(), core.adapters[index].localMac);
    return mac;
}

Json avLocal(int index) {
    const AvExchangeState& state = avExchangeState();
    return {{"kind", kKindAv},
            {"kindName", localKindName(index)},
            {"mac", formatMac(localMacOf(index))},
            {"chip", stringOf(state.localChipName)},
            {"firmware", stringOf(state.localFirmwareText)}};
}

Json avStations(int index) {
    Json stations = Json::array();
    for (const StationRecord& station : core.stationTables[index].stations) {
        if (!station.present) continue;
        // A rate the network information did not give is unknown, not 0 Mbit/s.
        const double rate = station.rate.currentRate;
        const PhyRates phy = phyRatesOf(index, station);
        stations.push_back({{"mac", formatMac(station.mac)},
                            {"firmware", stringOf(station.firmwareText)},
                            {"rate", rate == 0 ? Json(nullptr) : Json(rate)},
                            {"phyRateTx", mbpsOrNull(phy.tx)},
                            {"phyRateRx", mbpsOrNull(phy.rx)}});
    }
    return stations;
}

// The AV device answers the local-management address; its stations come from the network
// information and a version request to each.
bool probeAv(int index, Json& local, Json& stations) {
    resetAvExchangeState();
    if (!probeLocalAv() || !readLocalVersion()) return false;
    AdapterRecord& adapter = core.adapters[index];
    adapter.localPresent = 1;
    adapter.localKind = kKindAv;
    core.localIsAv = 1;
    local = avLocal(index);
    readNetworkStations(localMacOf(index));
    stations = avStations(index);
    return true;
}

// A Turbo device answers the broadcast version query in its own name, then tells its firmware.
bool probeTurboDevice(int index, Json& local) {
    if (!queryTurboVersion()) return false;
    sendReadRequest(kHp10ReadFirmwareText);
    pumpHp10Replies();
    core.adapters[index].localKind = kKindTurbo;
    core.adapters[index].localPresent = 1;
    local = {{"kind", kKindTurbo},
             {"kindName", localKindName(index)},
             {"mac", formatMac(localMacOf(index))},
             {"macVersion", stringOf(core.turboMacVersion)},
             {"vendor", stringOf(core.turboVendorText)},
             {"product", stringOf(core.turboProductText)},
             {"firmware", stringOf(core.turboFirmwareText)}};
    return true;
}

// A plain 1.0 device answers the local query with its kind (1..3); the first try goes out in
// the interface's name, later ones in the device's own once its address is known.
bool probeHp10Device(int index, Json& local) {
    for (uint32_t t = 0; t < 3; ++t) {
        const Mac source = macIsSet(core.adapters[index].localMac)
                               ? localMacOf(index)
                               : requestSourceMac();
        sendLocalQueryFrame(index, source, kBroadcastMac);
        if (waitLocalReply(index, 50 + 100 * t)) break;
    }
    const AdapterRecord& adapter = core.adapters[index];
    if (!adapter.localPresent) return false;
    local = {{"kind", adapter.localKind},
             {"kindName", localKindName(index)},
             {"mac", formatMac(localMacOf(index))}};
    return true;
}

// A Turbo device that an upgrade left in its secondary loader answers none of the probes above,
// only the loader's own frames at the loader's address.
Json probeWaitingLoader() {
    if (!probeLoader()) return nullptr;
    return {
        {"mac", formatMac(kSecondaryLoaderMac)}, {"text", kWaitingLoaderText}, {"resume", kResumeCommand}};
}

Json probeInterface(int index) {
    core.currentAdapter = index;
    core.localIsAv = 0;
    core.localIsTurbo = 0;
    Json local = nullptr;
    Json stations = Json::array();
    Json loader = nullptr;
    if (!probeAv(index, local, stations) && !probeTurboDevice(index, local) &&
        !probeHp10Device(index, local))
        loader = probeWaitingLoader();
    return {{"index", index},
            {"name", interfaceByIndex(index)->name},
            {"mac", formatMac(interfaceEntries[index].interfaceMac)},
            {"local", local},
            {"stations", stations},
            {"loader", loader}};
}

void printProbeText(const Json& result, CliContext& context) {
    for (const Json& entry : result["interfaces"]) {
        context.out << "interface " << entry["index"].get<int>() << " "
                    << entry["name"].get<std::string>() << " " << entry["mac"].get<std::string>()
                    << ": ";
        const Json& local = entry["local"];
        if (const Json& loader = entry["loader"]; local.is_null() && !loader.is_null()) {
            context.out << loader["text"].get<std::string>() << " at "
                        << loader["mac"].get<std::string>() << ": "
                        << loader["resume"].get<std::string>() << '\n';
            continue;
        }
        if (local.is_null()) {
            context.out << "no powerline device answered\n";
            continue;
        }
        context.out << local["kindName"].get<std::string>() << " " << local["mac"].get<std::string>();
        for (const char* field : {"chip", "firmware", "macVersion", "vendor", "product"})
            if (local.contains(field))
                context.out << ", " << field << " \"" << displayOf(local[field]) << "\"";
        context.out << '\n';
        for (const Json& station : entry["stations"]) {
            char rate[32] = "? Mbit/s";
            if (!station["rate"].is_null())
                std::snprintf(rate, sizeof rate, "%.2f Mbit/s", station["rate"].get<double>());
            context.out << "  station " << station["mac"].get<std::string>() << "  rate " << rate
                        << "  TX " << mbpsText(station["phyRateTx"]) << "  RX "
                        << mbpsText(station["phyRateRx"]) << "  firmware \""
                        << displayOf(station["firmware"]) << "\"\n";
        }
    }
}

int runProbe(const ProbeOptions& options, CliContext& context) {
    resetCoreState();
    if (!openHostInterfaces(context)) return context.status;
    requireCapture();
    Json interfaces = Json::array();
    for (int i = 0; i < adapterCount; ++i) interfaces.push_back(probeInterface(i));
    closeAllInterfaces();
    const Json result = printable({{"interfaces", interfaces}});
    if (options.json) context.out << jsonLine(result) << '\n';
    else printProbeText(result, context);
    // As scan: exit status 1 when no device answered on any interface (one waiting in its
    // loader is a device).
    bool found = false;
    for (const Json& entry : result["interfaces"])
        found = found || !entry["local"].is_null() || !entry["loader"].is_null();
    if (!found && !options.json) context.err << "corvel: " << noAdapterCause() << '\n';
    context.status = found ? 0 : 1;
    return context.status;
}

}  // namespace

void addProbeCommand(CLI::App& app, CliContext& context) {
    auto options = std::make_shared<ProbeOptions>();
    CLI::App* command =
        app.add_subcommand("probe", "Ask every interface which powerline device is cabled to it.");
    command->footer(
        "For each interface: the AV device (address, chip, firmware) and the stations of its\n"
        "network with their firmware and rate; otherwise a Turbo or plain HomePlug 1.0 device\n"
        "(address, kind, version texts). Where none answers, a Turbo device that an upgrade left\n"
        "in its secondary loader is looked for at the loader's address and named, with the\n"
        "command that finishes the upgrade (\"loader\" in the JSON). The device list is not\n"
        "touched.");
    command->add_flag("--json", options->json, "print one JSON object");
    command->callback([options, &context] { runProbe(*options, context); });
}

}  // namespace corvel
