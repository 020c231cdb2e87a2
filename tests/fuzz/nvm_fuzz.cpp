// SPDX-License-Identifier: MIT
// The image-header chain of an AV firmware file, older (44-byte headers) and newer (96-byte).
#include <cstdint>

#include "avcodec/image_format.h"
#include "avcodec/nvm_chain.h"

using namespace corvel;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const NvmChain chain = walkNvmChain(data, size);
    for (const NvmImageInfo& image : chain.images)
        if (image.offset > size) __builtin_trap();
    findLastImageHeader(data, size);
    if (isNewerImageFormat(data, size)) {
        const NewerChain newer = walkNewerChain(data, size);
        if (newer.images.size() > kMaxNewerHeaders) __builtin_trap();
        for (const NewerImageInfo& image : newer.images)
            if (image.offset > size || size - image.offset < kNewerHeaderSize) __builtin_trap();
        newerChainFaultText(newer);
        findNewerModule(newer, kNewerModulePib);
    }
    return 0;
}
