// SPDX-License-Identifier: MIT
#include "avcodec/nvm_chain.h"

#include <cerrno>
#include <cstdio>

#include "avcodec/frame.h"
#include "avcodec/image_checksum.h"
#include "platform/bytes.h"

namespace corvel {

bool imageHeaderValid(const uint8_t* header) {
    return imageChecksum(header, kImageHeaderWords, 0) == 0;
}

const uint8_t* findLastImageHeader(const uint8_t* image, size_t limit) {
    if (image == nullptr) {
        errno = kAvErrMissingOrShort;
        return nullptr;
    }
    size_t position = 0;
    for (;;) {
        // The whole header must lie below the limit, not only its first byte: a file that ends
        // inside a header must not be read past its end.
        if (position >= limit || limit - position < kImageHeaderSize) {
            errno = kAvErrMissingOrShort;
            return nullptr;
        }
        const uint8_t* header = image + position;
        if (!imageHeaderValid(header)) {
            errno = kAvErrInvalidValue;
            return nullptr;
        }
        const uint32_t next = get32le(header + kHeaderNextOffset);
        if (next == 0) return header;
        // A chain that points back to itself or to an earlier header would never end.
        if (next <= position) {
            errno = kAvErrInvalidValue;
            return nullptr;
        }
        position = next;
    }
}

NvmChain walkNvmChain(const uint8_t* image, size_t size) {
    NvmChain chain{{}, image != nullptr};
    if (image == nullptr) return chain;
    size_t position = 0;
    for (;;) {
        if (position >= size || size - position < kImageHeaderSize) {
            chain.valid = false;
            return chain;
        }
        const uint8_t* header = image + position;
        NvmImageInfo& info = chain.images.emplace_back();
        info.offset = uint32_t(position);
        info.loadAddress = get32le(header + kHeaderLoadAddress);
        info.length = get32le(header + kHeaderImageLength);
        info.next = get32le(header + kHeaderNextOffset);
        info.headerValid = imageHeaderValid(header);
        // Past a bad header its next-offset word means nothing: the walk ends here, as the
        // transfer's own walk does.
        if (!info.headerValid) {
            chain.valid = false;
            return chain;
        }
        if (info.length > size - position - kImageHeaderSize) {
            chain.valid = false;
        } else {
            info.imageChecked = true;
            info.storedChecksum = get32le(header + kHeaderImageChecksum);
            info.computedChecksum = imageChecksum(header + kImageHeaderSize, info.length / 4, 0);
            if (!info.imageValid()) chain.valid = false;
        }
        if (info.next == 0) return chain;
        if (info.next <= position) {
            chain.valid = false;
            return chain;
        }
        position = info.next;
    }
}

const NvmImageInfo* firstImageWithBadChecksum(const NvmChain& chain) {
    for (const NvmImageInfo& image : chain.images)
        if (image.imageChecked && !image.imageValid()) return &image;
    return nullptr;
}

std::string imageChecksumMismatchText(size_t index, const NvmImageInfo& image) {
    char values[96];
    std::snprintf(values, sizeof values,
                  "its header gives the image checksum 0x%08X, its %u words give 0x%08X",
                  image.storedChecksum, image.length / 4, image.computedChecksum);
    return "image " + std::to_string(index) + " (header at " + std::to_string(image.offset) +
           "): " + values;
}

}  // namespace corvel
