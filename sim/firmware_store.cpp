// SPDX-License-Identifier: MIT
#include "sim/firmware_store.h"

#include <algorithm>

namespace corvel::sim {

bool chunkFollows(const FirmwareStore& store, uint32_t key, uint32_t offset) {
    if (offset == 0) return true;
    const auto found = store.modules.find(key);
    return found != store.modules.end() && found->second.size() == offset;
}

void storeChunk(FirmwareStore& store, uint32_t key, uint32_t offset, const uint8_t* data,
                size_t length) {
    std::vector<uint8_t>& module = store.modules[key];
    if (offset == 0) module.clear();
    module.resize(size_t(offset));
    module.insert(module.end(), data, data + length);
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
