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
#include "keys/rules.h"
#include "store/database.h"
#include "platform/mac.h"
#include "platform/text.h"
#include "report/report.h"

namespace corvel {

namespace {

using Json = nlohmann::ordered_json;

struct DevicesOptions {
    bool json = false;
    std::string dataDir;
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

// The verification mark the password check stored in front of a password: true when the device
// took it, false when it refused it, null when it could not be checked or none was entered.
Json verificationOf(std::string_view stored) {
    if (stored.empty() || stored.starts_with(kUncheckedPrefix)) return nullptr;
    return !stored.starts_with(kRefusedPrefix);
}

Json deviceOf(const DeviceRecord& record) {
    const std::string_view stored = textOf(record.password);
    return {{"name", stringOf(record.name)},
            {"mac", formatMac(record.mac)},
            {"password", stripVerificationPrefixes(stored)},
            {"passwordVerified", verificationOf(stored)},
            {"networkName", stringOf(record.networkName)},
            {"networkKey", keyHex(record.networkKey, sizeof record.networkKey)},
            {"lastSeen", lastSeenOf(record.lastSeen)}};
}

void printDeviceRow(CliContext& context, const std::string& name, const std::string& mac,
                    const std::string& password, const std::string& verified,
                    const std::string& networkName, const std::string& lastSeen) {
    char line[512];
    std::snprintf(line, sizeof line, "%-31s  %-17s  %-19s  %-11s  %-24s  %s\n", name.c_str(),
                  mac.c_str(), password.c_str(), verified.c_str(), networkName.c_str(),
                  lastSeen.c_str());
    context.out << line;
}

std::string verifiedText(const Json& device) {
    if (device["password"].get<std::string>().empty()) return "-";
    const Json& verified = device["passwordVerified"];
    return verified.is_null() ? "not checked" : verified.get<bool>() ? "yes" : "refused";
}

int runDevices(const DevicesOptions& options, CliContext& context) {
    // Showing the list never renames or changes a file, even a damaged one.
    DatabaseLoad load;
    if (!openSession(options.dataDir, context, LoadMode::ReadOnly, &load)) return context.status;
    Json list = Json::array();
    for (int i = 0; i < core.deviceCount; ++i) list.push_back(deviceOf(core.devices[i]));
    const Json devices = printable(list);
    if (options.json) {
        context.out << jsonLine({{"devices", devices}}) << '\n';
    } else {
        if (devices.empty())
            context.out << "No devices in the device list (" << databasePath() << ")\n";
        else
            printDeviceRow(context, "NAME", "MAC", "PASSWORD", "VERIFIED", "NETWORK NAME",
                           "LAST SEEN (UTC)");
        for (const Json& d : devices) {
            printDeviceRow(context, displayOf(d["name"]), d["mac"].get<std::string>(),
                           passwordText(displayOf(d["password"])), verifiedText(d),
                           displayOf(d["networkName"]),
                           d["lastSeen"].is_null() ? "never" : d["lastSeen"].get<std::string>());
        }
    }
    // The list shown is not the whole file's (what was read of a damaged file, or nothing of
    // one too old or too new): said above, and the exit status tells a script.
    const bool whole = load.status == LoadStatus::Loaded || load.status == LoadStatus::Missing;
    context.status = whole ? 0 : 1;
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

}  // namespace corvel
