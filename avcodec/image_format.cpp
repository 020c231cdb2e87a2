// SPDX-License-Identifier: MIT
#include "avcodec/image_format.h"

#include "avcodec/image_checksum.h"
#include "avcodec/nvm_chain.h"
#include "platform/bytes.h"

namespace corvel {

bool isNewerImageFormat(const uint8_t* image, size_t size) {
    if (image == nullptr || size < kNewerHeaderSize) return false;
    if (imageHeaderValid(image)) return false;
    return get32le(image) == kNewerFormatVersion && imageChecksum(image, kNewerHeaderWords, 0) == 0;
}

}  // namespace corvel
