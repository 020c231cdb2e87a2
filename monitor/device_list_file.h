// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <ctime>
#include <string>
#include <vector>

#include "core/tables.h"

// The device list of a long-running monitor shares its file with every other program of the
// machine that edits it (corvel rename, remove or password, the desktop program). Saving the
// list the monitor loaded hours ago would undo what they saved since; so before it saves, the
// monitor takes the list from the file whenever another program has replaced it, and merges
// the stations it sees into that.
namespace corvel {

class DeviceListFile {
public:
    // The file as it is now is the one this program last read or wrote.
    void remember();
    // Another program replaced (or removed) the file since remember().
    bool changedOnDisk() const;
    // Takes the device list from the file, keeping this program's station tables and interface
    // selection, which are live. A file that cannot be read whole (damaged, of another
    // version, gone) leaves the list in memory as it was. Whether the list was taken.
    bool adoptDeviceList();

    // Saves the device list when it changed since the last save (names, addresses, passwords,
    // networks) or `maxAgeMs` have passed since (the last-seen times), first adopting another
    // program's save and merging the stations seen into it at `now`. False, with the path and
    // the reason in `reason`, when a save failed.
    bool saveIfDue(uint64_t nowMs, uint64_t maxAgeMs, std::time_t now, std::string& reason);
    // Saves now, whatever changed; for the end of the run.
    bool saveNow(uint64_t nowMs, std::time_t now, std::string& reason);

private:
    struct Signature {
        bool exists = false;
        uint64_t device = 0;
        uint64_t inode = 0;
        int64_t size = 0;
        int64_t modifiedNs = 0;
        bool operator==(const Signature&) const = default;
    };
    static Signature signatureNow();
    // The list without the last-seen times, which change at every cycle.
    static std::vector<uint8_t> listContents();

    Signature remembered_;
    std::vector<uint8_t> savedContents_;
    uint64_t savedAtMs_ = 0;
    bool everSaved_ = false;
};

}  // namespace corvel
