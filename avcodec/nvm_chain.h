// SPDX-License-Identifier: MIT
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// An AV firmware (NVM) file is a chain of images, each behind a 44-byte header of eleven
// little-endian words. Word 2 is the load address, word 3 the length of the image that follows
// the header, word 4 the image's checksum (the complement of the XOR of its whole words) and
// word 5 its entry point, both of which also go unchanged into the start request; word 9 is the
// file offset of the next header (0 ends the chain), and word 10 makes the checksum over all
// eleven words 0.
namespace corvel {

inline constexpr size_t kImageHeaderSize = 44;
inline constexpr size_t kImageHeaderWords = 11;
inline constexpr size_t kHeaderLoadAddress = 8;
inline constexpr size_t kHeaderImageLength = 12;
inline constexpr size_t kHeaderStartWord4 = 16;  // the image checksum
inline constexpr size_t kHeaderImageChecksum = kHeaderStartWord4;
inline constexpr size_t kHeaderStartWord5 = 20;
inline constexpr size_t kHeaderNextOffset = 36;
inline constexpr size_t kHeaderChecksum = 40;

// Whether the 44 bytes at `header` carry a valid header checksum.
bool imageHeaderValid(const uint8_t* header);

// Walks the chain from the start of the image and returns the last header, or nullptr with
// errno: 14 for a missing image or a header that does not fit whole below `limit`, 22 for a
// bad header checksum or a next-header offset that does not move forward (a loop).
const uint8_t* findLastImageHeader(const uint8_t* image, size_t limit);

struct NvmImageInfo {
    uint32_t offset;       // of the header in the file
    uint32_t loadAddress;  // word 2
    uint32_t length;       // word 3
    uint32_t next;         // word 9
    bool headerValid;
    // Whether the image was checked: its header is valid and it lies inside the file.
    bool imageChecked = false;
    uint32_t storedChecksum = 0;    // word 4
    uint32_t computedChecksum = 0;  // the complement of the XOR of the image's length / 4 words
    bool imageValid() const { return imageChecked && storedChecksum == computedChecksum; }
};

struct NvmChain {
    std::vector<NvmImageInfo> images;
    // Every header checksum is valid, every header and image inside the file, every image's
    // checksum holds, and the chain ends with a next offset of 0 without going backwards.
    bool valid;
};

// Lists every header reachable in the chain, for checking a firmware file before it is sent.
// Never reads outside [image, image + size); a header with a bad checksum (listed, as the last),
// a header that does not fit, or a next offset that does not move forward ends the walk and
// marks the chain unsound. An image whose checksum fails marks it unsound too, and the walk
// goes on: its header, and so its link, is sound.
NvmChain walkNvmChain(const uint8_t* image, size_t size);

// The first image of the chain whose checksum fails, or nullptr.
const NvmImageInfo* firstImageWithBadChecksum(const NvmChain& chain);

// "image 1 (header at 144): its header gives the image checksum 0x00000011, its 16 words give
// 0x9C9D9E9F": both values of an image whose checksum fails, `index` counted from 0.
std::string imageChecksumMismatchText(size_t index, const NvmImageInfo& image);

}  // namespace corvel
