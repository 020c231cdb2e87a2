// SPDX-License-Identifier: MIT
#pragma once

#include "core/tables.h"

// The scan stays off while a membership operation talks to the devices: its requests and drains
// would take the answers the operation waits for. The state found is restored on every exit.
namespace corvel {

class ScanPause {
public:
    ScanPause() : wasOn_(setAutoscan(false)) {}
    ~ScanPause() { setAutoscan(wasOn_); }
    ScanPause(const ScanPause&) = delete;
    ScanPause& operator=(const ScanPause&) = delete;

private:
    bool wasOn_;
};

}  // namespace corvel
