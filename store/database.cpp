// SPDX-License-Identifier: MIT
#include "store/database.h"

#include <fcntl.h>
#include <grp.h>
#include <sys/stat.h>

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <optional>

#include "core/tables.h"
#include "platform/bytes.h"
#include "platform/files.h"
#include "platform/notifier.h"
#include "platform/process_state.h"
#include "platform/text.h"
#include "store/data_directory.h"
#include "store/list_layout.h"
#include "store/preferences.h"
#include "transport/frame_io.h"

namespace corvel {

// The station tables and device records go to the file as they lie in memory.
static_assert(std::endian::native == std::endian::little);
static_assert(kDeviceCountOffset == kStationTablesOffset + sizeof(core.stationTables));
static_assert(sizeof(core.stationTables) == 8 * 16426);
static_assert(databaseFileSize(1) == 131666 && databaseFileSize(32) == 137804);

namespace {

constexpr char kReadTrouble[] = "Unexpected condition reading database. Attempting to recover.";
constexpr char kWriteTrouble[] = "Unexpected condition writing database. Attempting to recover.";
constexpr char kPublicNetworkName[] = "HomePlugAV";
// The device list holds the device passwords. Where the group corvel shares the directory (the
// public product directory, or a --data-dir given to that group) its members share the list;
// anywhere else, the user's private directory above all, it is the user's alone.
constexpr mode_t kSharedDatabaseMode = 0660;
constexpr mode_t kPrivateDatabaseMode = 0600;

mode_t databaseFileMode(const std::string& path) {
    const size_t slash = path.rfind('/');
    const std::string directory = slash == std::string::npos ? "." : path.substr(0, slash + 1);
    struct stat info {};
    const ::group* shared = ::getgrnam(kSharedGroupName);
    const bool sharedDirectory =
        shared != nullptr && ::stat(directory.c_str(), &info) == 0 && info.st_gid == shared->gr_gid;
    return sharedDirectory ? kSharedDatabaseMode : kPrivateDatabaseMode;
}

SaveOutcome saveState;

// A database of a newer format found by the last load: it is never saved over in this run.
struct NewerFile {
    std::string path;
    int32_t version = 0;
};
std::optional<NewerFile> refusedNewer;

// Bounded reads over the file's bytes: a step takes its whole width or nothing.
class Reader {
public:
    explicit Reader(const std::vector<uint8_t>& bytes) : bytes_(bytes) {}

    bool take(void* out, size_t width) {
        if (bytes_.size() - at_ < width) return false;
        std::memcpy(out, bytes_.data() + at_, width);
        at_ += width;
        return true;
    }
    bool take32(int32_t& value) {
        if (bytes_.size() - at_ < 4) return false;
        value = int32_t(get32le(bytes_.data() + at_));
        at_ += 4;
        return true;
    }
    // As many whole records as the file holds, up to `wanted`.
    size_t remaining() const { return bytes_.size() - at_; }
    int takeRecords(DeviceRecord* out, int wanted) {
        const size_t available = (bytes_.size() - at_) / sizeof(DeviceRecord);
        const int count = int(std::min(available, size_t(wanted)));
        if (count > 0) std::memcpy(out, bytes_.data() + at_, size_t(count) * sizeof(DeviceRecord));
        at_ += size_t(count) * sizeof(DeviceRecord);
        return count;
    }

private:
    const std::vector<uint8_t>& bytes_;
    size_t at_ = 0;
};

bool exists(const std::string& path) {
    struct stat info {};
    return ::lstat(path.c_str(), &info) == 0;
}

// Renames the file to the first free name of "<file>.bad", "<file>.bad.1", "<file>.bad.2", ...
// An existing name is never replaced, not even one that appears while the names are tried: it may
// be an earlier damaged copy of the user's list. Empty when the file could not be moved.
std::string setAside(const std::string& path) {
    for (int n = 0; n < 1000; ++n) {
        const std::string name = n == 0 ? path + ".bad" : path + ".bad." + std::to_string(n);
        if (::renameat2(AT_FDCWD, path.c_str(), AT_FDCWD, name.c_str(), RENAME_NOREPLACE) == 0)
            return name;
        if (errno == EEXIST) continue;
        // A file system that cannot refuse to replace: the name is tested first instead.
        if (errno != EINVAL) return "";
        if (exists(name)) continue;
        return std::rename(path.c_str(), name.c_str()) == 0 ? name : "";
    }
    return "";
}

// The format version at the start of the file now at `path`; nullopt when there is none to read.
std::optional<int32_t> versionOnDisk(const std::string& path) {
    std::string error;
    std::FILE* file = openForReading(path, error);
    if (file == nullptr) return std::nullopt;
    uint8_t bytes[4];
    const bool read = std::fread(bytes, 1, sizeof bytes, file) == sizeof bytes;
    std::fclose(file);
    if (!read) return std::nullopt;
    return int32_t(get32le(bytes));
}

// The newer format the file at `path` is in, when a load found one there or one is there now.
std::optional<int32_t> newerFormatAt(const std::string& path) {
    if (refusedNewer && refusedNewer->path == path) return refusedNewer->version;
    const std::optional<int32_t> version = versionOnDisk(path);
    if (version && *version > kDatabaseVersion) return version;
    return std::nullopt;
}

void applyListLayout() {
    if (listLayoutHooks().applyToList) listLayoutHooks().applyToList(listLayout());
}

}  // namespace

std::string databaseFileName(std::string_view productTitle) {
    return fileStemOfTitle(productTitle) + ".data";
}

std::string databasePath() {
    const std::string name = databaseFileName(textOf(preferences().productTitle));
    const std::string& directory = dataDirectory();
    return directory.empty() ? name : directory + "/" + name;
}

bool checkFileStep(bool delivered, const std::string& path, std::string& keptAside,
                   LoadMode mode) {
    if (!delivered && mode == LoadMode::SetAside) keptAside = setAside(path);
    return delivered;
}

void resetDatabase() {
    reopenInterfaces();
    for (StationTable& table : core.stationTables) {
        std::memset(&table, 0, sizeof table);
        copyText(table.networkName, kPublicNetworkName);
    }
    currentStationTable().stationCount = 0;
    // Slots past the count stay zero, as a deletion leaves them: a device appended later must not
    // inherit an earlier device's password or key.
    std::memset(core.devices, 0, sizeof core.devices);
    core.deviceCount = 0;
    core.currentAdapter = 0;
}

namespace {

constexpr char kDamaged[] = "is damaged";

// Tells the user where a damaged or too old file went, or that a read-only load left it.
// `condition` says what is wrong with it ("is damaged").
void announceAside(const std::string& path, const std::string& condition, const DatabaseLoad& load,
                   LoadMode mode) {
    const std::string subject = "The device database " + path + " " + condition;
    std::string text;
    if (mode == LoadMode::ReadOnly)
        text = subject + "; it was left as it is.";
    else if (load.keptAside.empty())
        text = subject + " and could not be set aside.";
    else
        text = subject + "; it was set aside as " + load.keptAside + ".";
    notifier().notify("Problem Occurred", text, Icon::Warning, Buttons::Ok);
}

std::string formatText(const char* age, int32_t version) {
    return "is of " + std::string(age) + " format (version " + std::to_string(version) +
           ") than this program knows (" + std::to_string(kDatabaseVersion) + ")";
}

// The steps after the version: what is read stays in the tables; false at the first short step.
bool readTables(Reader& reader, const std::string& path, DatabaseLoad& result, LoadMode mode) {
    auto step = [&](bool delivered) {
        return checkFileStep(delivered, path, result.keptAside, mode);
    };
    int32_t adapter = 0;
    if (!step(reader.take32(adapter))) return false;
    // A negative index would select a table outside the array.
    core.currentAdapter = std::clamp(adapter, 0, kMaxInterfaces - 1);

    if (!step(reader.take(core.stationTables, sizeof core.stationTables))) return false;

    int32_t count = 0;
    if (!step(reader.take32(count))) return false;
    // The user removed the last device: a count of 0 followed by the layout alone.
    const bool emptyList = count == 0 && reader.remaining() == kListLayoutBytes;
    if (!emptyList && (count > kMaxDevices || count <= 0)) {
        count = 0;
        notifier().notify("Problem Occurred", kReadTrouble, Icon::Warning, Buttons::Ok);
    }

    // Only whole records count: a record cut by the end of the file is not a device.
    std::memset(core.devices, 0, sizeof core.devices);
    const int read = reader.takeRecords(core.devices, count);
    core.deviceCount = read;
    if (!emptyList && !step(read > 0 && read == count)) return false;

    ListLayout& layout = listLayout();
    return step(reader.take(layout.order, sizeof layout.order)) &&
           step(reader.take(layout.widths, sizeof layout.widths)) &&
           step(reader.take32(layout.sortFlag)) && step(reader.take32(layout.sortColumn));
}

}  // namespace

DatabaseLoad loadDatabase(LoadMode mode) {
    clearSaveOutcome();
    const std::string path = databasePath();
    DatabaseLoad result;
    if (!exists(path)) {
        resetDatabase();
        applyListLayout();
        result.status = LoadStatus::Missing;
        return result;
    }
    auto damaged = [&] {
        result.status = LoadStatus::Damaged;
        announceAside(path, kDamaged, result, mode);
        return result;
    };

    std::vector<uint8_t> bytes;
    std::string error;
    if (!readWholeFile(path, bytes, error, ReadRules{kMaxDatabaseFileSize, false})) {
        // There is something, but not a file that can be read: it may still hold the user's list.
        resetDatabase();
        checkFileStep(false, path, result.keptAside, mode);
        return damaged();
    }

    Reader reader(bytes);
    int32_t version = 0;
    if (!checkFileStep(reader.take32(version), path, result.keptAside, mode)) return damaged();
    if (version < kDatabaseVersion) {
        resetDatabase();
        checkFileStep(false, path, result.keptAside, mode);
        notifier().notify("Attention!", kReadTrouble, Icon::Warning, Buttons::Ok);
        announceAside(path, formatText("an older", version), result, mode);
        result.status = LoadStatus::TooOld;
        return result;
    }
    // Written by a newer program: its layout is unknown, and writing this program's format over
    // it would destroy what the newer one keeps. Read nothing, change nothing.
    if (version > kDatabaseVersion) {
        resetDatabase();
        applyListLayout();
        refusedNewer = NewerFile{path, version};
        notifier().notify("Attention!",
                          "The device database " + path + " " + formatText("a newer", version) +
                              ". It was not read and is left as it is; the device list will not "
                              "be saved while this program runs.",
                          Icon::Warning, Buttons::Ok);
        result.status = LoadStatus::TooNew;
        return result;
    }
    if (!readTables(reader, path, result, mode)) return damaged();
    applyListLayout();
    return result;
}

std::vector<uint8_t> encodeDatabase() {
    const int count = std::clamp(core.deviceCount, 0, kMaxDevices);
    std::vector<uint8_t> bytes(databaseFileSize(count));
    uint8_t* at = bytes.data();
    put32le(at, uint32_t(kDatabaseVersion));
    put32le(at + 4, uint32_t(core.currentAdapter));
    std::memcpy(at + kStationTablesOffset, core.stationTables, sizeof core.stationTables);
    put32le(at + kDeviceCountOffset, uint32_t(count));
    std::memcpy(at + kDeviceRecordsOffset, core.devices, size_t(count) * sizeof(DeviceRecord));

    const ListLayout& layout = listLayout();
    at += kDeviceRecordsOffset + size_t(count) * sizeof(DeviceRecord);
    for (int i = 0; i < kListColumns; ++i) put32le(at + 4 * i, uint32_t(layout.order[i]));
    for (int i = 0; i < kListColumns; ++i) put32le(at + 20 + 4 * i, uint32_t(layout.widths[i]));
    put32le(at + 40, uint32_t(layout.sortFlag));
    put32le(at + 44, uint32_t(layout.sortColumn));
    return bytes;
}

bool saveDatabase(std::string* reason, WhenEmpty whenEmpty) {
    if (core.deviceCount <= 0 && whenEmpty == WhenEmpty::KeepFile) return true;
    const std::string path = databasePath();
    if (const std::optional<int32_t> newer = newerFormatAt(path)) {
        const std::string error = path + ": " + formatText("a newer", *newer) + ", not saved over";
        if (reason != nullptr) *reason = error;
        if (!saveState.failed)
            notifier().notify("Attention!",
                              "The device list was not saved: the device database " + path + " " +
                                  formatText("a newer", *newer) + ".",
                              Icon::Warning, Buttons::Ok);
        saveState = SaveOutcome{true, error};
        return false;
    }
    if (listLayoutHooks().readFromList) listLayoutHooks().readFromList(listLayout());

    std::string error;
    if (!writeFileAtomically(path, encodeDatabase(), error, databaseFileMode(path))) {
        if (reason != nullptr) *reason = error;
        // A scan saves every cycle: one message for a run of failures, not one per cycle.
        if (!saveState.failed)
            notifier().notify("Problem Occurred", kWriteTrouble, Icon::Error, Buttons::Ok);
        saveState = SaveOutcome{true, error};
        return false;
    }
    saveState = SaveOutcome{};
    return true;
}

const SaveOutcome& lastSave() {
    return saveState;
}

void clearSaveOutcome() {
    saveState = SaveOutcome{};
    refusedNewer.reset();
}

namespace {
const RegisteredReset saveOutcomeReset{clearSaveOutcome};
}  // namespace

}  // namespace corvel
