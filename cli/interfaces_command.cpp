// SPDX-License-Identifier: MIT
#include "cli/interfaces_command.h"

#include <algorithm>
#include <cstdio>
#include <memory>
#include <nlohmann/json.hpp>

#include "cli/json_output.h"
#include "cli/session.h"
#include "platform/mac.h"
#include "platform/text.h"
#include "transport/frame_io.h"
#include "transport/interface_table.h"

namespace corvel {

namespace {

struct InterfacesOptions {
    bool json = false;
};

int runInterfaces(const InterfacesOptions& options, CliContext& context) {
    if (!openHostInterfaces(context)) return context.status;
    nlohmann::ordered_json list = nlohmann::ordered_json::array();
    // The NAME column as wide as the longest name of this host.
    int nameWidth = 4;
    for (int i = 0; i < adapterCount; ++i)
        nameWidth = std::max(nameWidth, int(interfaceByIndex(i)->name.size()));
    const auto row = [&](const std::string& index, const std::string& name,
                         const std::string& mac, const std::string& rest) {
        char line[512];
        std::snprintf(line, sizeof line, "%-5s  %-*s  %-17s  %s\n", index.c_str(), nameWidth,
                      name.c_str(), mac.c_str(), rest.c_str());
        context.out << line;
    };
    if (!options.json) row("INDEX", "NAME", "MAC", "DESCRIPTION");
    for (int i = 0; i < adapterCount; ++i) {
        const InterfaceEntry& entry = interfaceEntries[i];
        const std::string name = interfaceByIndex(i)->name;
        const std::string mac = formatMac(entry.interfaceMac);
        if (options.json) {
            list.push_back({{"index", i},
                            {"name", name},
                            {"mac", mac},
                            {"description", entry.description},
                            {"open", entry.captureHandle >= 0}});
        } else {
            row(std::to_string(i), name, mac,
                stringOf(entry.description) +
                    (entry.captureHandle >= 0 ? "" : "  (not open)"));
        }
    }
    if (options.json) context.out << jsonLine({{"interfaces", list}}) << '\n';
    context.status = 0;
    return 0;
}

}  // namespace

bool openHostInterfaces(CliContext& context) {
    reopenInterfaces();
    if (adapterCount == 0) {
        context.fail(1, captureError().empty() ? "no Ethernet interface found"
                                               : "cannot list interfaces: " + captureError());
        return false;
    }
    for (int i = 0; i < adapterCount; ++i)
        if (interfaceEntries[i].captureHandle >= 0) return true;
    refuseUnpermittedCapture();
    context.fail(1, "cannot capture on any interface: " + captureError());
    return false;
}

void addInterfacesCommand(CLI::App& app, CliContext& context) {
    auto options = std::make_shared<InterfacesOptions>();
    CLI::App* command =
        app.add_subcommand("interfaces", "List the host's Ethernet interfaces as the scan sees them.");
    command->footer(
        "Prints index, name, MAC and description of at most 8 Ethernet interfaces, or the\n"
        "capture library's error when none can be opened (capture needs root or CAP_NET_RAW).");
    command->add_flag("--json", options->json, "print one JSON object");
    command->callback([options, &context] { runInterfaces(*options, context); });
}

}  // namespace corvel
