// SPDX-License-Identifier: MIT
#include "hp10codec/loader_frames.h"

#include <algorithm>
#include <initializer_list>

#include "hp10codec/frames.h"
#include "platform/bytes.h"

namespace corvel {

namespace {

// The running firmware's read-request entry with this code resets into the loader.
constexpr uint8_t kResetToLoaderCode = 0x67;
// Byte 16 of every loader frame; its meaning is the loader's own.
constexpr uint8_t kLoaderLength = 0x01;
constexpr size_t kCommandOffset = 17;
constexpr size_t kParamLengthOffset = 18;
constexpr size_t kParamsOffset = 20;
constexpr size_t kWriteHeaderParams = 10;  // selector, offset and data length
constexpr size_t kStatusOffset = 20;
constexpr size_t kValueOffset = 29;

// Header, entry count 1, the loader entry and `command`.
LoaderFrame startLoader(const Mac& source, const Mac& destination, uint8_t entry, uint8_t command) {
    LoaderFrame f;
    std::copy(destination.begin(), destination.end(), f.bytes.begin());
    std::copy(source.begin(), source.end(), f.bytes.begin() + 6);
    put16be(&f.bytes[kHp10EthertypeOffset], kHp10Ethertype);
    f.bytes[kHp10EntryCountOffset] = 1;
    f.bytes[kHp10EntryTypeOffset] = entry;
    f.bytes[kHp10EntryLengthOffset] = kLoaderLength;
    f.bytes[kCommandOffset] = command;
    return f;
}

// The parameter length, the 32-bit parameters from byte 20, and the frame's length.
LoaderFrame withParams(LoaderFrame f, std::initializer_list<uint32_t> params, size_t length) {
    put16be(&f.bytes[kParamLengthOffset], uint16_t(4 * params.size()));
    size_t at = kParamsOffset;
    for (uint32_t p : params) {
        put32be(&f.bytes[at], p);
        at += 4;
    }
    f.length = length;
    return f;
}

}  // namespace

LoaderFrame buildLoaderReset(const Mac& source, const Mac& destination) {
    LoaderFrame f = startLoader(source, destination, kHp10ReadRequest, kResetToLoaderCode);
    f.length = 18;
    return f;
}

std::optional<LoaderFrame> buildLoaderWrite(const Mac& source, const Mac& destination,
                                            uint32_t selector, uint32_t offset,
                                            std::span<const uint8_t> data) {
    if (data.size() > kLoaderBlockSize) return std::nullopt;
    LoaderFrame f = startLoader(source, destination, kLoaderEntry, kLoaderWriteBlock);
    put16be(&f.bytes[kParamLengthOffset], uint16_t(data.size() + kWriteHeaderParams));
    put32be(&f.bytes[kParamsOffset], selector);
    put32be(&f.bytes[kParamsOffset + 4], offset);
    put16be(&f.bytes[kParamsOffset + 8], uint16_t(data.size()));
    std::copy(data.begin(), data.end(), f.bytes.begin() + kParamsOffset + kWriteHeaderParams);
    f.length = kLoaderWriteFrameLength;
    return f;
}

LoaderFrame buildLoaderCommand(const Mac& source, const Mac& destination, uint8_t command,
                               uint32_t argument) {
    return withParams(startLoader(source, destination, kLoaderEntry, command), {argument}, 25);
}

LoaderFrame buildLoaderChecksumQuery(const Mac& source, const Mac& destination, uint32_t selector,
                                     uint32_t length) {
    return withParams(startLoader(source, destination, kLoaderEntry, kLoaderChecksum),
                      {selector, length}, 28);
}

LoaderFrame buildLoaderHardwareReset(const Mac& source, const Mac& destination) {
    LoaderFrame f = startLoader(source, destination, kLoaderEntry, kLoaderHardwareReset);
    f.length = 20;
    return f;
}

std::optional<LoaderResponse> parseLoaderResponse(std::span<const uint8_t> frame, const Mac& host) {
    if (frame.size() <= kStatusOffset || get16be(&frame[kHp10EthertypeOffset]) != kHp10Ethertype ||
        frame[kHp10EntryTypeOffset] != kLoaderEntry ||
        !std::equal(host.begin(), host.end(), frame.begin()))
        return std::nullopt;
    LoaderResponse r{frame[kCommandOffset], frame[kStatusOffset], 0};
    const bool checksum = r.command == kLoaderChecksum || r.command == kLoaderChecksumAlt;
    if (checksum) {
        if (frame.size() < kValueOffset + 4) return std::nullopt;
        r.value = get32be(&frame[kValueOffset]);
    }
    return r;
}

uint32_t sectionChecksum(std::span<const uint8_t> data) {
    uint32_t x = 0;
    for (size_t i = 0; i < data.size(); i += 4) {
        std::array<uint8_t, 4> word{};
        std::copy_n(data.begin() + i, std::min<size_t>(4, data.size() - i), word.begin());
        x ^= get32le(word.data());
    }
    return ~x;
}

}  // namespace corvel
