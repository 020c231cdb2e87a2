// SPDX-License-Identifier: MIT
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

// What a simulated device holds of a firmware upgrade in progress: the modules written to it,
// how many write chunks it has taken, and its secondary loader's state.
namespace corvel::sim {

struct FirmwareStore {
    // AV: module id (1 firmware, 2 PIB) or, for memory writes, the address of a region's first
    // byte. Loader: the section selector (0x10, 0x20, 0x80, 0x100).
    std::map<uint32_t, std::vector<uint8_t>> modules;
    // Write chunks taken since the device started: AV module and memory writes, loader blocks.
    uint32_t chunks = 0;
    bool inLoader = false;
    uint32_t committedMask = 0;  // the loader's last successful commit
};

// Writes `length` bytes at `offset` of `module`, growing it as needed; a write at offset 0
// starts the module afresh.
void storeChunk(std::vector<uint8_t>& module, uint32_t offset, const uint8_t* data, size_t length);

// A memory write at `address`: continues the region that ends there, or starts a new one.
void storeMemory(FirmwareStore& store, uint32_t address, const uint8_t* data, size_t length);

}  // namespace corvel::sim
