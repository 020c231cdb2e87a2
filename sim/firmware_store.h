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

// Whether a chunk at `offset` may be written to `key`: it starts the module afresh (offset 0) or
// continues it exactly where it ends. A device writes its modules front to back, so a gap or an
// overlap means chunks were lost, repeated or reordered on the way.
bool chunkFollows(const FirmwareStore& store, uint32_t key, uint32_t offset);

// Writes `length` bytes at `offset` of module `key`, a chunk that follows (above); a write at
// offset 0 starts the module afresh.
void storeChunk(FirmwareStore& store, uint32_t key, uint32_t offset, const uint8_t* data,
                size_t length);

// A memory write at `address`: continues the region that ends there, or starts a new one.
void storeMemory(FirmwareStore& store, uint32_t address, const uint8_t* data, size_t length);

}  // namespace corvel::sim
