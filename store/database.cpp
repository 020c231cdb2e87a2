// SPDX-License-Identifier: MIT
#include "store/database.h"

#include <sys/stat.h>

#include <algorithm>
#include <bit>
#include <cstdio>
#include <cstring>

#include "core/tables.h"
#include "platform/bytes.h"
#include "platform/files.h"
#include "platform/notifier.h"
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

// A free name beside the file: "<file>.bad", then "<file>.bad.1", "<file>.bad.2", ...
std::string asideName(const std::string& path) {
    std::string name = path + ".bad";
    for (int n = 1; exists(name) && n < 1000; ++n) name = path + ".bad." + std::to_string(n);
    return name;
}

std::string setAside(const std::string& path) {
    const std::string name = asideName(path);
    if (exists(name) || std::rename(path.c_str(), name.c_str()) != 0) return "";
    return name;
}

void applyListLayout() {
    if (listLayoutHooks().applyToList) listLayoutHooks().applyToList(listLayout());
}

}  // namespace

std::string databaseFileName(std::string_view productTitle) {
    std::string name(productTitle);
    std::replace(name.begin(), name.end(), '/', '_');
    return name + ".data";
}

std::string databasePath() {
    const std::string name = databaseFileName(textOf(preferences().productTitle));
    const std::string& directory = dataDirectory();
    return directory.empty() ? name : directory + "/" + name;
}

bool checkFileStep(bool delivered, const std::string& path, std::string& keptAside) {
    if (!delivered) keptAside = setAside(path);
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

DatabaseLoad loadDatabase() {
    const std::string path = databasePath();
    DatabaseLoad result;
    if (!exists(path)) {
        resetDatabase();
        applyListLayout();
        result.status = LoadStatus::Missing;
        return result;
    }

    std::vector<uint8_t> bytes;
    std::string error;
    if (!readWholeFile(path, bytes, error)) {
        // There is a file, but not one that can be read: it may still hold the user's list.
        resetDatabase();
        checkFileStep(false, path, result.keptAside);
        result.status = LoadStatus::Damaged;
        return result;
    }

    Reader reader(bytes);
    auto damaged = [&] {
        result.status = LoadStatus::Damaged;
        return result;
    };

    int32_t version = 0;
    if (!checkFileStep(reader.take32(version), path, result.keptAside)) return damaged();
    if (version < kDatabaseVersion) {
        resetDatabase();
        checkFileStep(false, path, result.keptAside);
        notifier().notify("Attention!", kReadTrouble, Icon::Warning, Buttons::Ok);
        result.status = LoadStatus::TooOld;
        return result;
    }

    int32_t adapter = 0;
    if (!checkFileStep(reader.take32(adapter), path, result.keptAside)) return damaged();
    // A negative index would select a table outside the array.
    core.currentAdapter = std::clamp(adapter, 0, kMaxInterfaces - 1);

    if (!checkFileStep(reader.take(core.stationTables, sizeof core.stationTables), path,
                       result.keptAside))
        return damaged();

    int32_t count = 0;
    if (!checkFileStep(reader.take32(count), path, result.keptAside)) return damaged();
    if (count > kMaxDevices || count <= 0) {
        count = 0;
        notifier().notify("Problem Occurred", kReadTrouble, Icon::Warning, Buttons::Ok);
    }

    // Only whole records count: a record cut by the end of the file is not a device.
    std::memset(core.devices, 0, sizeof core.devices);
    const int read = reader.takeRecords(core.devices, count);
    core.deviceCount = read;
    if (!checkFileStep(read > 0 && read == count, path, result.keptAside)) return damaged();

    ListLayout& layout = listLayout();
    if (!checkFileStep(reader.take(layout.order, sizeof layout.order), path, result.keptAside))
        return damaged();
    if (!checkFileStep(reader.take(layout.widths, sizeof layout.widths), path, result.keptAside))
        return damaged();
    if (!checkFileStep(reader.take32(layout.sortFlag), path, result.keptAside)) return damaged();
    if (!checkFileStep(reader.take32(layout.sortColumn), path, result.keptAside)) return damaged();

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

bool saveDatabase(std::string* reason) {
    if (core.deviceCount <= 0) return true;
    if (listLayoutHooks().readFromList) listLayoutHooks().readFromList(listLayout());

    const std::string path = databasePath();
    std::string error;
    if (!writeFileAtomically(path, encodeDatabase(), error)) {
        if (reason != nullptr) *reason = error;
        notifier().notify("Problem Occurred", kWriteTrouble, Icon::Error, Buttons::Ok);
        return false;
    }
    // Shared by every user of the machine; a failure here leaves a complete file all the same.
    ::chmod(path.c_str(), 0666);
    return true;
}

}  // namespace corvel
