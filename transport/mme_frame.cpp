// SPDX-License-Identifier: MIT
#include "transport/mme_frame.h"

#include <cstring>

namespace corvel {

bool padFrame(const uint8_t* data, size_t length, MmeFrame& out) {
    if (length > kMaxFrameLength) return false;
    out.bytes.fill(0);
    if (length > 0) std::memcpy(out.bytes.data(), data, length);
    out.length = length < kMinFrameLength ? kMinFrameLength : length;
    return true;
}

}  // namespace corvel
