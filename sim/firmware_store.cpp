// SPDX-License-Identifier: MIT
#include "sim/firmware_store.h"

#include <algorithm>

namespace corvel::sim {

void storeChunk(std::vector<uint8_t>& module, uint32_t offset, const uint8_t* data, size_t length) {
    if (offset == 0) module.clear();
    if (module.size() < size_t(offset) + length) module.resize(size_t(offset) + length);
    std::copy_n(data, length, module.begin() + offset);
}

void storeMemory(FirmwareStore& store, uint32_t address, const uint8_t* data, size_t length) {
    for (auto& [base, region] : store.modules) {
        if (uint64_t(base) + region.size() == address) {
            region.insert(region.end(), data, data + length);
            return;
        }
    }
    store.modules[address].assign(data, data + length);
}

}  // namespace corvel::sim
