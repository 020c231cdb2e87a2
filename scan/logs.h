// SPDX-License-Identifier: MIT
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <ctime>
#include <functional>
#include <optional>
#include <span>
#include <string>

#include "hp10codec/device_log_hook.h"

// The two plain-text logs for support staff, in the working directory: "scan.log", a snapshot of
// every interface's stations once per scan cycle when diagnosticsLevel is 20 or more, and the
// device log "<productTitle>.log" of raw parameter blocks that looked blank or did not match.
// A working directory other users can write (such as /tmp) would let them plant or take away the
// files of a privileged run: the logs then go to the data directory instead.
namespace corvel {

inline constexpr char kScanLogFileName[] = "scan.log";

// The device log keeps about this many lines: the newest whole entries (three lines each) that
// fit, the new one always among them.
inline constexpr int kDeviceLogMaxLines = 21;
// Working buffer for the old content: at most this many lines of at most 199 characters are
// kept; a longer line counts as several.
inline constexpr int kDeviceLogBufferLines = 50;
inline constexpr int kDeviceLogLineSize = 200;

// Once per scan cycle, before the stations age: a snapshot when diagnosticsLevel >= 20.
void scanLogSnapshot();
// Appends one snapshot; closes the file afterwards unless `keepOpen`.
void writeScanLog(bool keepOpen);
// Closes the scan log if it is open, so that the next snapshot creates the file anew.
void closeScanLog();

// Logs hold the local device's parameter blocks: private in the working directory, readable by
// the group that shares the data directory there, and never anything more.
inline constexpr mode_t kWorkingDirectoryLogMode = 0600;
inline constexpr mode_t kDataDirectoryLogMode = 0640;

struct LogPlace {
    std::string path;  // the directory with its trailing slash; empty for the working directory
    mode_t mode;
};
// Where the logs are written now: the working directory, unless other users can write it
// (othersCanWriteDirectory); then the data directory, said once a run as an "Information"
// message; none (also said once) when there is no data directory or others can write it too.
// The data directory is also taken as it is when the program runs in it.
std::optional<LogPlace> logPlace();
// Forgets that the log place was said, so that the next run in a test says it again.
void resetLogPlaceNotice();

// "<productTitle>.log".
std::string deviceLogFileName();
// Appends one entry to the device log.
void writeDeviceLog(DeviceLogKind kind, std::span<const uint8_t> bytes);
// Routes the 1.0 reply processing's device-log entries to writeDeviceLog.
void installDeviceLog();

// The present calendar time that the logs and the diagnostics report stamp their texts with.
// Tests install a fixed one; an empty source goes back to the system's time.
using CalendarSource = std::function<std::time_t()>;
void installCalendarSource(CalendarSource source);
std::time_t calendarNow();

// A calendar time as local time in the standard library's asctime form,
// "Thu Jun 17 15:09:00 2010\n"; none when the time has no local form (a damaged record's value).
// Unlike asctime itself it is safe for any year.
std::optional<std::string> asctimeText(std::time_t when);

}  // namespace corvel
