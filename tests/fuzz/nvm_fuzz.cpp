// SPDX-License-Identifier: MIT
// The image-header chain of an AV firmware file.
#include <cstdint>

#include "avcodec/nvm_chain.h"

using namespace corvel;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const NvmChain chain = walkNvmChain(data, size);
    for (const NvmImageInfo& image : chain.images)
        if (image.offset > size) __builtin_trap();
    findLastImageHeader(data, size);
    return 0;
}
