// SPDX-License-Identifier: MIT
#include "report/report.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "av/av_state.h"
#include "scan/logs.h"
#include "scan/station_texts.h"
#include "core/stations.h"
#include "core/tables.h"
#include "platform/files.h"
#include "platform/mac.h"
#include "platform/notifier.h"
#include "platform/text.h"
#include "report/host_info.h"
#include "store/preferences.h"
#include "store/vendor_list.h"
#include "transport/interface_table.h"

namespace corvel {

namespace {

// The library the frames go through, named on the report's last host line.
constexpr char kCaptureLibrary[] = "libpcap";
constexpr char kReleaseDate[] = "20100617";

__attribute__((format(printf, 1, 2))) std::string printfText(const char* format, ...) {
    std::va_list args;
    va_start(args, format);
    std::va_list again;
    va_copy(again, args);
    const int length = std::vsnprintf(nullptr, 0, format, args);
    va_end(args);
    std::string text;
    if (length > 0) {
        text.resize(size_t(length) + 1);
        std::vsnprintf(text.data(), text.size(), format, again);
        text.resize(size_t(length));
    }
    va_end(again);
    return text;
}

std::string rule() {
    return std::string(kRuleLength, '-');
}

std::string limited(std::string text) {
    if (text.size() > kHostTextLimit) text.resize(kHostTextLimit);
    return text;
}

// The rate, followed by the device's own PHY rates to the station and from it where both were
// measured: "200 (TX 151/RX 140)".
std::string rateWithPhyRates(double rate, const PhyRates& phy) {
    std::string text = wholeRateText(rate);
    if (phy.tx && phy.rx) text += printfText(" (TX %d/RX %d)", *phy.tx, *phy.rx);
    return text;
}

// Month, day and time of the asctime text ("Jun 17 15:09"), with the twelve-hour clock marked
// "AM" or "PM" after it. A value with no local time (a damaged record) shows "?".
std::string lastSeenText(int64_t lastSeen, bool twelveHourClock) {
    const std::optional<std::string> stamp = asctimeText(static_cast<std::time_t>(lastSeen));
    if (!stamp) return "?";
    std::string text = stamp->substr(4, 12);
    if (!twelveHourClock) return text;
    int hour = (text[7] - '0') * 10 + (text[8] - '0');
    const bool afternoon = hour >= 12;
    if (hour > 12) hour -= 12;
    text[7] = char('0' + hour / 10);
    text[8] = char('0' + hour % 10);
    return text + (afternoon ? "PM" : "AM");
}

void writeLocalDevice(DiagnosticsSink& sink, int index, const StationTable& table, int level) {
    sink.line("   HomePlug Device #1 MAC = " + formatMac(table.localMac));
    sink.line("   Network Name: " + stringOf(table.networkName));
    const int32_t kind = table.localKind;
    if (level > 1 && kind == kKindTurbo)
        sink.line(printfText("   Vendor: %s, Product: %s.", stringOf(core.turboVendorText).c_str(),
                             stringOf(core.turboProductText).c_str()));
    else
        sink.line("   Vendor: " + vendorName(table.localMac));
    if (kind == kKindTurbo)
        sink.line(printfText("   Firmware:MAC %s   ( %s )", stringOf(core.turboMacVersion).c_str(),
                             stringOf(core.turboFirmwareText).c_str()));
    else if (kind == kKindAv)
        sink.line("   Firmware: " + stringOf(avExchangeState().localFirmwareText) + " ");
    else
        sink.line("   Firmware: HP 1.0");
    if (level > 1) {
        const std::array<int32_t, 4> c = adapterCounters(index);
        sink.line(printfText("   Reads: %ld (%ld KB), Writes: %ld (%ld KB)", long(c[1]),
                             long(c[0] >> 10), long(c[3]), long(c[2] >> 10)));
        const RateRecord rate = table.linkRate;
        sink.line(printfText("   Drops = %ld, Fails = %ld, Highest = %.2f Mbps. Lowest = %.2f Mbps",
                             long(rate.aux2), long(rate.aux1), rate.maxRate, rate.minRate));
    }
}

void writeHostPart(DiagnosticsSink& sink) {
    sink.beginHost();
    const int level = preferences().diagnosticsLevel;
    const int interfaces = std::clamp<int>(adapterCount, 0, kMaxInterfaces);
    int shown = 0;
    for (int i = 0; i < interfaces; ++i) {
        const StationTable& table = core.stationTables[i];
        if (!macIsSet(table.hostMac)) continue;
        ++shown;
        sink.line(printfText("On NIC #%d MAC = ", shown) + formatMac(table.hostMac));
        if (table.localPresent != 0 && macIsSet(table.localMac))
            writeLocalDevice(sink, i, table, level);
        else
            sink.line("   No HomePlug Device Connected");
        sink.line("");
    }

    const HostInfo host = hostInfo();
    sink.line("Computer network name: " + limited(host.computerName));
    sink.line("User name: " + limited(host.userName));
    sink.line(printfText("Microprocessor: %d", host.processorType));
    sink.line(osPlatformLine());
    sink.line(" ");
    sink.line(stringOf(preferences().productTitle) + "    " + versionText());
    sink.line(printfText("Library: %-14s", kCaptureLibrary));
}

void writeDevicePart(DiagnosticsSink& sink, const ReportScope& scope) {
    sink.beginDevices();
    const int current = core.currentAdapter;
    if (current < 0 || current >= kMaxInterfaces) return;
    const Preferences& prefs = preferences();
    const int level = prefs.diagnosticsLevel;
    const StationTable& table = core.stationTables[current];
    // Dropped stations are listed too, with their last rate, while their slot keeps the MAC.
    for (const StationRecord& station : table.stations) {
        if (!macIsSet(station.mac) || macEqual(station.mac, table.localMac)) continue;
        const int k = findDeviceByMac(station.mac);
        if (k < 1 || k > kMaxDevices) continue;
        if (!isAvStation(station.stationKind) && !scope.allFamilies) continue;
        const DeviceRecord& device = core.devices[k - 1];
        const RateRecord rate = station.rate;

        sink.line(stringOf(device.name));
        sink.cell(formatMac(station.mac));
        const std::string_view password = textOf(device.password);
        sink.cell(password.empty() || scope.passwords ? passwordText(password)
                                                      : std::string(kPasswordLeftOut));
        sink.cell(rateWithPhyRates(rate.currentRate, phyRatesOf(current, station)));
        sink.cell(stringOf(device.networkName));
        sink.cell(lastSeenText(device.lastSeen, prefs.twelveHourClock != 0));
        sink.cell(vendorName(station.mac));
        sink.cell(stringOf(station.firmwareText));
        if (level > 1) {
            sink.cell(printfText("%ld", long(station.seenCount)));
            sink.cell(printfText("%ld", long(station.dropCount)));
            sink.cell(printfText("%ld", long(rate.aux2)));
            sink.cell(printfText("%ld", long(rate.aux1)));
            sink.cell(printfText("%.2f", rate.maxRate));
            sink.cell(printfText("%.2f", rate.minRate));
        }
        sink.endDevice();
    }
}

}  // namespace

void FileDiagnosticsSink::put(std::string_view text) {
    std::fwrite(text.data(), 1, text.size(), file_);
}

void FileDiagnosticsSink::beginDevices() {
    put("\n\n\n");
    put("Remote Powerline Devices:\n");
    put(rule());
    put("\n");
    put("Name\t\tMAC\t\t\tPassword\t\tRate\tNetwork\t\tLast Seen\tVendor\t\tFirmware\n");
    put(rule());
}

// The texts of lines and cells carry names, firmware and vendor texts from the wire and the
// device list: each is written as displayText makes it, so that the file is valid UTF-8 and only
// its own newlines and tabs lay it out.
void FileDiagnosticsSink::line(std::string_view text) {
    put("\n");
    put(displayText(text));
}

void FileDiagnosticsSink::cell(std::string_view text) {
    put("\t");
    put(displayText(text));
}

void FileDiagnosticsSink::endDevice() {
    line("");
}

void DiagnosticsLists::beginHost() {
    systemRows.clear();
    inHistory_ = false;
}

void DiagnosticsLists::beginDevices() {
    historyRows.clear();
    inHistory_ = true;
}

void DiagnosticsLists::line(std::string_view text) {
    if (inHistory_)
        historyRows.push_back({std::string(text)});
    else
        systemRows.emplace_back(text);
}

void DiagnosticsLists::cell(std::string_view text) {
    // The system list has one column; a cell belongs to the history list's current row.
    if (!inHistory_) return;
    if (historyRows.empty()) historyRows.emplace_back();
    historyRows.back().emplace_back(text);
}

bool writeDiagnostics(DiagnosticsSink& sink, const ReportScope& scope) {
    try {
        writeHostPart(sink);
        writeDevicePart(sink, scope);
        return true;
    } catch (...) {
        notifier().show({MessageId::UnexpectedFailure, "updateDiagnosticsList",
                         "Unknown error occured", Icon::None, Buttons::Ok,
                         {"writing the diagnostics"}});
        return false;
    }
}

bool writeReport(std::FILE* file, const ReportScope& scope) {
    if (file == nullptr) return false;
    const std::string stamp = asctimeText(calendarNow()).value_or("\n");
    std::fprintf(file, "Diagnostics Report:\t\t\t\t\t%s\n", stamp.c_str());
    std::fprintf(file, "Utility %s\n", releasedText().c_str());
    std::fprintf(file, "%s\n\n", displayText(textOf(preferences().noticeText)).c_str());
    std::fprintf(file, "Host Computer Information:\n");
    std::fputs(rule().c_str(), file);
    FileDiagnosticsSink sink(file);
    const bool complete = writeDiagnostics(sink, scope);
    const bool written = std::ferror(file) == 0;
    const bool closed = std::fclose(file) == 0;
    return complete && written && closed;
}

bool saveReport(const std::string& path, std::string* error, const ReportScope& scope) {
    std::string why;
    if (!isRegularOrAbsent(path, why)) {
        if (error != nullptr) *error = why;
        return false;
    }
    // Written whole in memory first, then put in place as a new file: the report lists the
    // device passwords, so it never goes into a file someone else made under that name.
    char* buffer = nullptr;
    size_t size = 0;
    std::FILE* memory = ::open_memstream(&buffer, &size);
    if (memory == nullptr) {
        if (error != nullptr) *error = path + ": " + std::strerror(errno);
        return false;
    }
    const bool complete = writeReport(memory, scope);
    const std::vector<uint8_t> text(buffer, buffer + size);
    std::free(buffer);
    // What was generated before an unexpected failure is still saved, as the page keeps it.
    const bool saved = writeFileAtomically(path, text, why, kReportFileMode);
    if (error != nullptr) *error = saved ? path + ": the report was cut short" : why;
    return saved && complete;
}

std::string versionText() {
    constexpr std::array<std::string_view, 3> kParts = {"1", "0", "3"};
    constexpr std::string_view kBuild = "5";
    std::string text;
    for (std::string_view part : kParts) {
        if (!text.empty()) text += ".";
        text += part;
    }
    return text + " build " + "00" + std::string(kBuild);
}

std::string releasedText() {
    return releasedText(kReleaseDate);
}

std::string releasedText(std::string_view yyyymmdd) {
    static constexpr const char* kMonths[] = {"January",   "Feburary", "March",    "April",
                                              "May",       "June",     "July",     "August",
                                              "September", "October",  "November", "December"};
    const std::string_view year = yyyymmdd.substr(0, 4);
    const std::string_view month = yyyymmdd.substr(std::min<size_t>(4, yyyymmdd.size()), 2);
    const std::string_view day = yyyymmdd.substr(std::min<size_t>(6, yyyymmdd.size()), 2);
    int number = 0;
    const bool digits = month.size() == 2 && std::all_of(month.begin(), month.end(), [](char c) {
                            return c >= '0' && c <= '9';
                        });
    if (digits) number = (month[0] - '0') * 10 + (month[1] - '0');
    std::string text = "Released: ";
    if (number >= 1 && number <= 12) text += kMonths[number - 1];
    text += " ";
    text += day;
    text += ", ";
    text += year;
    return text;
}

std::string osPlatformLine() {
    const HostInfo host = hostInfo();
    return printfText("OS Platform: %s   V%d.%d, Build %d", host.systemName.c_str(),
                      host.version.majorNumber, host.version.minorNumber, host.version.patchNumber);
}

}  // namespace corvel
