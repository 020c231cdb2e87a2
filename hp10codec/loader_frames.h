// SPDX-License-Identifier: MIT
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

#include "platform/mac.h"

// The secondary loader of a HomePlug 1.0 / Turbo device: the commands that reset it into the
// loader, write the MAC image and the configuration sections block by block, commit and verify
// them, ask for a section's checksum and reset the hardware. They ride in 0x887B frames with one
// entry; the loader's own fields are big-endian.
namespace corvel {

// The loader answers at this address when it no longer answers at the device's own.
inline constexpr Mac kSecondaryLoaderMac{0x00, 0x04, 0x87, 0xFE, 0x11, 0x00};

inline constexpr uint8_t kLoaderEntry = 0x10;
inline constexpr uint8_t kLoaderWriteBlock = 0x81;
inline constexpr uint8_t kLoaderCommit = 0x82;
inline constexpr uint8_t kLoaderChecksum = 0x83;
inline constexpr uint8_t kLoaderVerify = 0x84;
inline constexpr uint8_t kLoaderHardwareReset = 0x7F;
// A checksum answer some loaders send under this command number instead of 0x83.
inline constexpr uint8_t kLoaderChecksumAlt = 0x04;

// Module selectors; the commit argument is the OR of those written.
inline constexpr uint32_t kSectionIdentity = 0x10;
inline constexpr uint32_t kSectionParameter = 0x20;
inline constexpr uint32_t kSectionOption = 0x80;
inline constexpr uint32_t kModuleMacImage = 0x100;

inline constexpr size_t kLoaderBlockSize = 1024;
// A write block always goes out whole: 30 bytes of headers and a zero-filled 1024-byte block.
inline constexpr size_t kLoaderWriteFrameLength = 30 + kLoaderBlockSize;

struct LoaderFrame {
    std::array<uint8_t, kLoaderWriteFrameLength> bytes{};
    size_t length = 0;
};

// 01 12 01 67, 18 bytes: the running firmware hands over to its secondary loader.
LoaderFrame buildLoaderReset(const Mac& source, const Mac& destination);
// 01 10 01 81, parameter length (data + 10), selector, offset, data length, data; 1054 bytes.
// At most kLoaderBlockSize bytes of data (more gives no frame).
std::optional<LoaderFrame> buildLoaderWrite(const Mac& source, const Mac& destination,
                                            uint32_t selector, uint32_t offset,
                                            std::span<const uint8_t> data);
// 01 10 01 command 00 04 argument 00, 25 bytes: commit (0x82) and verify (0x84).
LoaderFrame buildLoaderCommand(const Mac& source, const Mac& destination, uint8_t command,
                               uint32_t argument);
// 01 10 01 83 00 08 selector length, 28 bytes.
LoaderFrame buildLoaderChecksumQuery(const Mac& source, const Mac& destination, uint32_t selector,
                                     uint32_t length);
// 01 10 01 7F 00 00, 20 bytes.
LoaderFrame buildLoaderHardwareReset(const Mac& source, const Mac& destination);

struct LoaderResponse {
    uint8_t command;
    uint8_t status;  // 0 = success
    uint32_t value;  // the device's checksum (checksum answers only)
};

// A loader response addressed to `host`: entry 0x10, the command answered at byte 17, the status
// at byte 20 and, for checksum answers, the value at 29..32. Anything else, or a frame too short
// for those fields, gives nothing.
std::optional<LoaderResponse> parseLoaderResponse(std::span<const uint8_t> frame, const Mac& host);

// The complement of the XOR of the little-endian words of `data`, a last partial word completed
// with zero bytes: what the loader answers for a section it holds.
uint32_t sectionChecksum(std::span<const uint8_t> data);

}  // namespace corvel
