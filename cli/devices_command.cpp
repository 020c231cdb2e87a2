// SPDX-License-Identifier: MIT
#include "cli/devices_command.h"

#include <unistd.h>

#include <cstdio>
#include <ctime>
#include <memory>
#include <nlohmann/json.hpp>

#include "cli/json_output.h"
#include "cli/session.h"
#include "scan/scan.h"
#include "scan/station_texts.h"
#include "core/tables.h"
#include "core/view_hooks.h"
#include "keys/derive.h"
#include "platform/mac.h"
#include "platform/text.h"
#include "report/report.h"

namespace corvel {

namespace {

using Json = nlohmann::ordered_json;

struct DevicesOptions {
    bool json = false;
    std::string dataDir;
    std::string file;
};

// ISO-8601 in UTC, or null for a device never listed as present.
Json lastSeenOf(int64_t seconds) {
    if (seconds <= 0) return nullptr;
    const std::time_t time = std::time_t(seconds);
    std::tm utc{};
    if (gmtime_r(&time, &utc) == nullptr) return nullptr;
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &utc);
    return text;
}

Json deviceOf(const DeviceRecord& record) {
    return {{"name", stringOf(record.name)},
            {"mac", formatMac(record.mac)},
            {"password", stringOf(record.password)},
            {"networkName", stringOf(record.networkName)},
            {"networkKey", keyHex(record.networkKey, sizeof record.networkKey)},
            {"lastSeen", lastSeenOf(record.lastSeen)}};
}

void printDeviceRow(CliContext& context, const std::string& name, const std::string& mac,
                    const std::string& password, const std::string& networkName,
                    const std::string& lastSeen) {
    char line[512];
    std::snprintf(line, sizeof line, "%-32s %-17s  %-24s %-20s %s\n", name.c_str(), mac.c_str(),
                  password.c_str(), networkName.c_str(), lastSeen.c_str());
    context.out << line;
}

int runDevices(const DevicesOptions& options, CliContext& context) {
    // Showing the list never renames or changes a file, even a damaged one.
    if (!openSession(options.dataDir, context, LoadMode::ReadOnly)) return context.status;
    Json list = Json::array();
    for (int i = 0; i < core.deviceCount; ++i) list.push_back(deviceOf(core.devices[i]));
    const Json devices = printable(list);
    if (options.json) {
        context.out << jsonLine({{"devices", devices}}) << '\n';
    } else {
        if (!devices.empty())
            printDeviceRow(context, "NAME", "MAC", "PASSWORD", "NETWORK NAME", "LAST SEEN (UTC)");
        for (const Json& d : devices) {
            printDeviceRow(context, displayOf(d["name"]), d["mac"].get<std::string>(),
                           passwordText(displayOf(d["password"])), displayOf(d["networkName"]),
                           d["lastSeen"].is_null() ? "never" : d["lastSeen"].get<std::string>());
        }
    }
    context.status = 0;
    return 0;
}

int runReport(const DevicesOptions& options, CliContext& context) {
    if (!openSession(options.dataDir, context)) return context.status;
    // Without capture the report would say that no device is connected: refuse instead.
    requireCapture();
    // The tables the Diagnostics page would have: one full scan, merged into the device list.
    rescan();
    refreshView(5);
    stopScan();
    bool written = false;
    std::string error = "standard output";
    if (options.file.empty()) {
        context.out.flush();
        std::FILE* out = fdopen(::dup(STDOUT_FILENO), "w");
        written = out != nullptr && writeReport(out);
    } else {
        written = saveReport(options.file, &error);
    }
    const bool saved = saveSession(context);
    if (!written) return context.fail(1, "the report could not be written: " + error);
    context.status = saved ? 0 : 1;
    return context.status;
}

}  // namespace

void addDevicesCommand(CLI::App& app, CliContext& context) {
    auto options = std::make_shared<DevicesOptions>();
    CLI::App* command = app.add_subcommand("devices", "List the device list as stored.");
    command->footer("Name, MAC, password as stored, network name and key, and when last seen.");
    command->add_flag("--json", options->json, "print one JSON object");
    command->add_option("--data-dir", options->dataDir, "directory of the device database");
    command->callback([options, &context] { runDevices(*options, context); });
}

void addReportCommand(CLI::App& app, CliContext& context) {
    auto options = std::make_shared<DevicesOptions>();
    CLI::App* command = app.add_subcommand("report", "Write the diagnostics report.");
    command->footer(
        "One full scan first, then the report of the host, its interfaces and local devices,\n"
        "and the known AV stations, to FILE or to standard output.");
    command->add_option("file", options->file, "file to write (default: standard output)");
    command->add_option("--data-dir", options->dataDir, "directory of the device database");
    command->callback([options, &context] { runReport(*options, context); });
}

}  // namespace corvel
