// SPDX-License-Identifier: MIT
#pragma once

#include <cstddef>
#include <cstdint>

// Current adapters ship their firmware, and their PIB wrapped the same way, in a newer chain
// whose headers are 96 bytes long and begin with a format version word of 1; the last of their
// 24 words is a checksum over all of them, as in the 44-byte headers. This utility writes only
// the older chain, so such files are recognised and refused rather than sent or misread.
namespace corvel {

inline constexpr size_t kNewerHeaderSize = 96;
inline constexpr size_t kNewerHeaderWords = kNewerHeaderSize / 4;
inline constexpr uint32_t kNewerFormatVersion = 1;

inline constexpr const char* kNewerFormatText = "newer image format, not supported by this utility";

// Whether the file starts with a newer-format header (and not with a valid 44-byte one).
bool isNewerImageFormat(const uint8_t* image, size_t size);

}  // namespace corvel
