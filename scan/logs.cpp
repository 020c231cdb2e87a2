// SPDX-License-Identifier: MIT
#include "scan/logs.h"

#include <grp.h>
#include <sys/stat.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <string_view>
#include <vector>

#include "core/tables.h"
#include "platform/files.h"
#include "platform/mac.h"
#include "platform/notifier.h"
#include "platform/process_state.h"
#include "platform/text.h"
#include "store/data_directory.h"
#include "store/preferences.h"
#include "transport/interface_table.h"

namespace corvel {

namespace {

// Once created the scan log stays open for the rest of the run, so that the time heading is
// written only once and the snapshots follow each other.
std::FILE* scanLogFile = nullptr;

// Whether this run has said where its logs go instead of the working directory.
bool logPlaceSaid = false;

void sayLogPlaceOnce(const std::string& text) {
    if (logPlaceSaid) return;
    logPlaceSaid = true;
    notifier().notify("Information", text, Icon::Information, Buttons::Ok);
}

std::optional<gid_t> sharedGroup() {
    if (const ::group* entry = ::getgrnam(kSharedGroupName); entry != nullptr)
        return entry->gr_gid;
    return std::nullopt;
}

bool sameDirectory(const std::string& a, const std::string& b) {
    struct stat first {};
    struct stat second {};
    return ::stat(a.c_str(), &first) == 0 && ::stat(b.c_str(), &second) == 0 &&
           first.st_dev == second.st_dev && first.st_ino == second.st_ino;
}

std::string workingDirectoryText() {
    std::error_code unknown;
    const std::filesystem::path here = std::filesystem::current_path(unknown);
    return unknown ? std::string("(unknown)") : here.string();
}

// A log's path, or none when it has no safe place.
std::optional<LogPlace> placeOf(const std::string& name) {
    std::optional<LogPlace> place = logPlace();
    if (place) place->path += name;
    return place;
}

CalendarSource& calendarSource() {
    static CalendarSource source;
    return source;
}

// Same shape as a real stamp, for a time that has no local form.
constexpr char kUnknownTimeText[] = "??? ??? ?? ??:??:?? ????\n";

std::string timeStamp() {
    return asctimeText(calendarNow()).value_or(kUnknownTimeText);
}

// One line of the device log's working buffer as the old content is read back: at most 199
// characters, the line feed included when the line ends within them.
struct LogLine {
    std::array<char, kDeviceLogLineSize> text{};
    size_t length = 0;
    bool startsLine = true;  // false for the continuation of a line longer than 199 characters

    std::string_view view() const { return std::string_view(text.data(), length); }
    bool endsLine() const { return length > 0 && text[length - 1] == '\n'; }
    // Every entry begins with its time line.
    bool startsEntry() const { return startsLine && view().starts_with("Time "); }
};

// The last kDeviceLogBufferLines lines of the old content, oldest first. A hand-edited log of any
// length passes through the fixed buffer; only its newest lines stay.
class LogTail {
public:
    void push(const LogLine& line) {
        lines_[(first_ + count_) % lines_.size()] = line;
        if (count_ < lines_.size())
            ++count_;
        else
            first_ = (first_ + 1) % lines_.size();
    }
    size_t size() const { return count_; }
    const LogLine& operator[](size_t i) const { return lines_[(first_ + i) % lines_.size()]; }

private:
    std::array<LogLine, kDeviceLogBufferLines> lines_{};
    size_t first_ = 0;
    size_t count_ = 0;
};

// Splits a stream of characters into working-buffer lines.
class LineSplitter {
public:
    template <typename Sink>
    void put(char c, Sink&& sink) {
        current_.text[current_.length++] = c;
        if (c == '\n' || current_.length == kDeviceLogLineSize - 1) {
            const bool nextStartsLine = c == '\n';
            sink(current_);
            current_ = LogLine{};
            current_.startsLine = nextStartsLine;
        }
    }
    template <typename Sink>
    void finish(Sink&& sink) {
        if (current_.length > 0) sink(current_);
        current_ = LogLine{};
    }

private:
    LogLine current_;
};

// Reads the old device log into `tail`. A missing file is an empty log; a file that exists but
// cannot be read gives false, so that it is not overwritten by a log without its content.
bool readDeviceLog(const std::string& name, LogTail& tail) {
    std::string error;
    std::FILE* file = openForReading(name, error);
    if (file == nullptr) return errno == ENOENT;
    LineSplitter splitter;
    auto keep = [&](const LogLine& line) { tail.push(line); };
    for (int c; (c = std::getc(file)) != EOF;) splitter.put(char(c), keep);
    const bool readFine = std::ferror(file) == 0;
    std::fclose(file);
    if (!readFine) return false;
    splitter.finish(keep);
    return true;
}

size_t bufferLinesOf(std::string_view text) {
    LineSplitter splitter;
    size_t lines = 0;
    auto count = [&](const LogLine&) { ++lines; };
    for (char c : text) splitter.put(c, count);
    splitter.finish(count);
    return lines;
}

const char* labelOf(DeviceLogKind kind) {
    switch (kind) {
        case DeviceLogKind::storedCopy:
            return "**EEPROM**";
        case DeviceLogKind::workingCopy:
            return "** RAM  **";
        case DeviceLogKind::keyMismatch:
            return "**SETNEK**";
    }
    return "";
}

}  // namespace

std::optional<LogPlace> logPlace() {
    const std::string& data = dataDirectory();
    const bool dataSafe = !data.empty() && !othersCanWriteDirectory(data, sharedGroup());
    if (dataSafe && sameDirectory(".", data)) return LogPlace{"", kDataDirectoryLogMode};
    if (!othersCanWriteDirectory(".")) return LogPlace{"", kWorkingDirectoryLogMode};
    // Another user could plant a file under a log's name there, or take the log away.
    const std::string unsafe =
        "The working directory " + workingDirectoryText() + " can be written by other users: ";
    if (!dataSafe) {
        sayLogPlaceOnce(unsafe + "the logs are not written.");
        return std::nullopt;
    }
    sayLogPlaceOnce(unsafe + "the logs are written in " + data + " instead.");
    return LogPlace{data + "/", kDataDirectoryLogMode};
}

void resetLogPlaceNotice() {
    logPlaceSaid = false;
}

void installCalendarSource(CalendarSource source) {
    calendarSource() = std::move(source);
}

std::time_t calendarNow() {
    const CalendarSource& source = calendarSource();
    return source ? source() : std::time(nullptr);
}

std::optional<std::string> asctimeText(std::time_t when) {
    static constexpr char kDays[7][4] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    static constexpr char kMonths[12][4] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                            "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    std::tm t{};
    if (::localtime_r(&when, &t) == nullptr) return std::nullopt;
    if (t.tm_wday < 0 || t.tm_wday > 6 || t.tm_mon < 0 || t.tm_mon > 11) return std::nullopt;
    // The library's own asctime writes into 26 characters and fails for years past 9999; the
    // year here takes the room it needs.
    char text[64];
    std::snprintf(text, sizeof text, "%.3s %.3s%3d %.2d:%.2d:%.2d %lld\n", kDays[t.tm_wday],
                  kMonths[t.tm_mon], t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec, 1900LL + t.tm_year);
    return std::string(text);
}

void scanLogSnapshot() {
    if (preferences().diagnosticsLevel >= 20) writeScanLog(true);
}

void writeScanLog(bool keepOpen) {
    if (scanLogFile == nullptr) {
        // Any old content is lost; a file that cannot be created is tried again next cycle.
        const std::optional<LogPlace> place = placeOf(kScanLogFileName);
        if (!place) return;
        std::string error;
        scanLogFile = openForWriting(place->path, place->mode, error);
        if (scanLogFile == nullptr) return;
        std::fprintf(scanLogFile, "%s", timeStamp().c_str());
        std::fputs("\tdevice\t\t\tpresent\tmissesTillDrop\n\n", scanLogFile);
    }
    const int interfaces = std::clamp<int>(adapterCount, 0, kMaxInterfaces);
    for (int i = 0; i < interfaces; ++i) {
        const StationTable& table = core.stationTables[i];
        std::fprintf(scanLogFile, "NIC #%d:\t%s\tPresent=%d\n", i, formatMac(table.hostMac).c_str(),
                     int(table.localPresent));
        if (table.localPresent == 0) continue;
        // Dropped stations keep their slot and are listed with present 0.
        for (const StationRecord& station : table.stations) {
            if (!macIsSet(station.mac)) continue;
            std::fprintf(scanLogFile, "\t%s\t%d\t%d\n", formatMac(station.mac).c_str(),
                         int(station.present), int(station.missesTillDrop));
        }
        std::fputs("\n", scanLogFile);
    }
    // Each snapshot reaches the file at once: the log is read while the program runs, and what
    // support staff need most is the state just before a crash.
    std::fflush(scanLogFile);
    if (!keepOpen) closeScanLog();
}

void closeScanLog() {
    if (scanLogFile != nullptr) std::fclose(scanLogFile);
    scanLogFile = nullptr;
}

namespace {
const RegisteredReset logsReset{[] {
    closeScanLog();
    resetLogPlaceNotice();
}};
}  // namespace

std::string deviceLogFileName() {
    return fileStemOfTitle(textOf(preferences().productTitle)) + ".log";
}

void writeDeviceLog(DeviceLogKind kind, std::span<const uint8_t> bytes) {
    const std::optional<LogPlace> place = placeOf(deviceLogFileName());
    if (!place) return;
    const std::string& name = place->path;
    LogTail old;
    if (!readDeviceLog(name, old)) return;

    std::string data = labelOf(kind);
    char hex[4];
    for (uint8_t b : bytes) {
        std::snprintf(hex, sizeof hex, " %.2x", b);
        data += hex;
    }
    // The stamp ends with its own line feed, so an empty line follows the time line.
    const std::string entry = "Time " + timeStamp() + "\n" + data + "\n";
    const size_t entryLines = bufferLinesOf(entry);

    // Keep the newest whole entries that fit beside the new one, so that the file stays about
    // kDeviceLogMaxLines long, never starts in the middle of an entry and always ends with the
    // entry just made. Text before the first entry (a hand edit) is dropped first.
    size_t keepFrom = old.size();
    size_t keptLines = 0;
    for (size_t i = old.size(); i-- > 0;) {
        if (i != 0 && !old[i].startsEntry()) continue;
        const size_t blockLines = keepFrom - i;
        if (keptLines + blockLines + entryLines > size_t(kDeviceLogMaxLines)) break;
        keptLines += blockLines;
        keepFrom = i;
    }

    std::vector<uint8_t> content;
    for (size_t i = keepFrom; i < old.size(); ++i) {
        const std::string_view line = old[i].view();
        content.insert(content.end(), line.begin(), line.end());
    }
    // A hand-edited last line without its line feed would swallow the new time line.
    if (keepFrom < old.size() && !old[old.size() - 1].endsLine()) content.push_back('\n');
    content.insert(content.end(), entry.begin(), entry.end());

    // The old log is replaced whole or not at all: a failed write loses the new entry only.
    std::string error;
    writeFileAtomically(name, content, error, place->mode);
}

void installDeviceLog() {
    deviceLogWriter() = writeDeviceLog;
}

}  // namespace corvel
