// SPDX-License-Identifier: MIT
#include "monitor/device_list_file.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstring>
#include <memory>

#include "scan/device_list.h"
#include "store/database.h"

namespace corvel {

DeviceListFile::Signature DeviceListFile::signatureNow() {
    struct stat st {};
    Signature signature;
    if (::lstat(databasePath().c_str(), &st) != 0) return signature;
    signature.exists = true;
    signature.device = uint64_t(st.st_dev);
    signature.inode = uint64_t(st.st_ino);
    signature.size = int64_t(st.st_size);
    signature.modifiedNs = int64_t(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    return signature;
}

std::vector<uint8_t> DeviceListFile::listContents() {
    const int count = std::clamp(core.deviceCount, 0, kMaxDevices);
    std::vector<uint8_t> bytes(size_t(count) * sizeof(DeviceRecord));
    for (int k = 0; k < count; ++k) {
        DeviceRecord record = core.devices[k];
        record.lastSeen = 0;
        std::memcpy(bytes.data() + size_t(k) * sizeof record, &record, sizeof record);
    }
    return bytes;
}

void DeviceListFile::remember() {
    remembered_ = signatureNow();
}

bool DeviceListFile::changedOnDisk() const {
    return !(signatureNow() == remembered_);
}

bool DeviceListFile::adoptDeviceList() {
    // The station tables are this run's own, the live view of the wire; only the list is taken.
    auto tables = std::make_unique<StationTable[]>(kMaxInterfaces);
    std::copy_n(core.stationTables, kMaxInterfaces, tables.get());
    const int32_t adapter = core.currentAdapter;
    auto devices = std::make_unique<DeviceRecord[]>(kMaxDevices);
    std::copy_n(core.devices, kMaxDevices, devices.get());
    const int32_t count = core.deviceCount;

    const DatabaseLoad load = loadDatabase(LoadMode::ReadOnly);
    std::copy_n(tables.get(), kMaxInterfaces, core.stationTables);
    core.currentAdapter = adapter;
    remember();
    if (load.status == LoadStatus::Loaded) {
        savedContents_ = listContents();
        return true;
    }
    std::copy_n(devices.get(), kMaxDevices, core.devices);
    core.deviceCount = count;
    return false;
}

bool DeviceListFile::saveIfDue(uint64_t nowMs, uint64_t maxAgeMs, std::time_t now,
                               std::string& reason) {
    const bool old = !everSaved_ || nowMs - savedAtMs_ >= maxAgeMs;
    if (!old && listContents() == savedContents_) return true;
    return saveNow(nowMs, now, reason);
}

bool DeviceListFile::saveNow(uint64_t nowMs, std::time_t now, std::string& reason) {
    if (changedOnDisk() && adoptDeviceList()) mergeStationsIntoDevices(now);
    everSaved_ = true;
    savedAtMs_ = nowMs;
    const bool saved = saveDatabase(&reason);
    remember();
    if (saved) savedContents_ = listContents();
    return saved;
}

}  // namespace corvel
