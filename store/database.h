// SPDX-License-Identifier: MIT
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// The device database: the selected interface, the station tables of all 8 interfaces, the user's
// device list and the remote list's layout, kept between runs in one binary file in the data
// directory. All integers are 32-bit little-endian; the tables are written as their packed
// memory images.
//
//   0        version (306)
//   4        currentAdapter
//   8        8 station tables, 16426 bytes each
//   131416   deviceCount n (1..32)
//   131420   n device records, 198 bytes each
//   +198n    column order (5 x i32), column widths (5 x i32), sortFlag, sortColumn
namespace corvel {

inline constexpr int32_t kDatabaseVersion = 306;
inline constexpr size_t kStationTablesOffset = 8;
inline constexpr size_t kDeviceCountOffset = 131416;
inline constexpr size_t kDeviceRecordsOffset = 131420;
inline constexpr size_t kListLayoutBytes = 48;

constexpr size_t databaseFileSize(int deviceCount) {
    return kDeviceRecordsOffset + 198 * size_t(deviceCount) + kListLayoutBytes;
}

// "<productTitle>.data". A title that could lead out of the data directory (one holding "/", or
// "." or "..") is not used: the default title's name stands in for it.
std::string databaseFileName(std::string_view productTitle);

// The largest file a database can be: its header, 32 device records and the list layout. A
// larger file is damaged.
inline constexpr size_t kMaxDatabaseFileSize = kDeviceRecordsOffset + 198 * 32 + kListLayoutBytes;
// The data directory and the file name formed from the productTitle preference.
std::string databasePath();

enum class LoadStatus {
    Loaded,   // every field read
    Missing,  // no file: defaults
    TooOld,   // a version below 306: defaults
    Damaged,  // short or unreadable: what could be read was kept
    TooNew,   // a version above 306: defaults; the file is left as it is and never saved over
};

struct DatabaseLoad {
    LoadStatus status = LoadStatus::Loaded;
    // Where a too-old or damaged file was set aside; empty when nothing was moved.
    std::string keptAside;
};

enum class LoadMode {
    SetAside,  // a too-old or damaged file is renamed so that the next save cannot destroy it
    ReadOnly,  // nothing on disk is renamed or changed (commands that only show the list)
};

// Reads the database into the tables and the list layout. A missing file gives the defaults.
// A file whose version is below 306 gives the defaults and an "Attention!" warning. A bad device
// count becomes 0 with a "Problem Occurred" warning, except in a file that holds no records at
// all, which is the empty list saved after the last device was removed. A short or damaged file
// keeps what was read so far (whole records only); the file itself is set aside, never emptied.
// A too-old or damaged file is renamed to "<file>.bad" (".bad.1", ... when taken; an existing
// name is never replaced), so that the next save cannot destroy it, and a "Problem Occurred"
// message names both files. A file that is not a regular file (a FIFO, a device, a directory, a
// symbolic link) or larger than kMaxDatabaseFileSize is damaged; nothing blocks on it. With
// LoadMode::ReadOnly the file stays where it is and the message says so.
// A file whose version is above 306 was written by a newer program in a format this one cannot
// know: it is not read, the defaults hold, an "Attention!" warning says so, and the file is left
// as it is; for the rest of the run saveDatabase refuses to replace it. The list layout is handed
// to the list after a full load and after the defaults of a missing or newer file.
DatabaseLoad loadDatabase(LoadMode mode = LoadMode::SetAside);

enum class WhenEmpty {
    KeepFile,   // a scan that found nothing leaves the previous file as it is
    WriteEmpty, // the user removed the last device: the file must say so
};

// Writes the file when the device list is not empty, or with WhenEmpty::WriteEmpty also when it
// is. The file is replaced atomically: a failed or interrupted save leaves the previous file
// whole. It is readable and writable by its owner and group only (the group shares the data
// directory). A failure returns false with the path and the system's reason in `reason`; the
// "Problem Occurred" message is shown for the first failure of a run of failures only, so a scan
// that saves every cycle does not repeat it. A file of a newer format (found by the load, or
// there now) is never replaced: the save fails with the reason, and the first refusal of a run
// says why in an "Attention!" warning.
bool saveDatabase(std::string* reason = nullptr, WhenEmpty whenEmpty = WhenEmpty::KeepFile);

struct SaveOutcome {
    bool failed = false;
    std::string reason;  // the path and the system's reason of the last failure
};
// What the last save that wrote (or tried to write) the file came to; loadDatabase starts afresh.
const SaveOutcome& lastSave();
// Forgets the last outcome and a newer file's refusal, as the start of a session does (tests use
// it between cases); a file of a newer format on disk is still never saved over.
void clearSaveOutcome();

// Defaults: the interfaces are enumerated and opened again, every station table is cleared and
// named "HomePlugAV", the device list is emptied and interface 0 selected.
void resetDatabase();

// The file image of the tables and the list layout as saveDatabase writes it.
std::vector<uint8_t> encodeDatabase();

// One checked step of a load. A step that delivered nothing means the file is short or damaged:
// it is set aside as loadDatabase describes (unless the load is read-only), and `keptAside`
// receives its new name (empty when it could not be moved). Returns `delivered`.
bool checkFileStep(bool delivered, const std::string& path, std::string& keptAside,
                   LoadMode mode = LoadMode::SetAside);

}  // namespace corvel
