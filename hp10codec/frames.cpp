// SPDX-License-Identifier: MIT
#include "hp10codec/frames.h"

#include <algorithm>

#include "platform/bytes.h"

namespace corvel {

namespace {

constexpr size_t kDestinationOffset = 0;
constexpr size_t kSourceOffset = 6;

// Every vendor entry starts with these three bytes; the replies carry them too.
constexpr std::array<uint8_t, 3> kVendorPrefix{0x00, 0x04, 0x87};
// MELEN of a vendor request counts the prefix and the code besides the data.
constexpr size_t kVendorOverhead = kVendorPrefix.size() + 1;
constexpr size_t kVendorRequestLength = 35;
constexpr size_t kMaxVendorData = 255 - kVendorOverhead;

// The set-key entry's data: the key select, then the 8-byte key.
constexpr uint8_t kSetKeyDataLength = 1 + 8;
constexpr uint8_t kParamEntryDataLength = 3;

// Bit 7 of the local query's data byte marks a request; the replies clear it.
constexpr uint8_t kLocalQueryRequestFlag = 0x80;
constexpr uint8_t kLocalQueryStatedLength = 0xBB;

// Writes a header and an entry count; returns the offset of the first entry.
size_t startRequest(Hp10Frame& frame, const Mac& source, const Mac& destination,
                    uint8_t entryCount) {
    buildHp10Header(frame, source, destination);
    frame.bytes[kHp10EntryCountOffset] = entryCount;
    return kHp10EntryTypeOffset;
}

// Writes an entry's type and length at `at`; returns the offset of its data.
size_t putEntry(Hp10Frame& frame, size_t at, uint8_t type, uint8_t length) {
    frame.bytes[at] = type;
    frame.bytes[at + 1] = length;
    return at + 2;
}

// Writes a set-key entry at `at`; returns the offset after it.
size_t putSetKeyEntry(Hp10Frame& frame, size_t at, uint8_t keySelect, const Hp10Key& key) {
    at = putEntry(frame, at, kHp10SetKey, kSetKeyDataLength);
    frame.bytes[at++] = keySelect;
    std::copy(key.begin(), key.end(), frame.bytes.begin() + at);
    return at + key.size();
}

size_t putParamEntry(Hp10Frame& frame, size_t at, uint8_t p0, uint8_t p1, uint8_t p2) {
    at = putEntry(frame, at, kHp10ParamEntry, kParamEntryDataLength);
    frame.bytes[at++] = p0;
    frame.bytes[at++] = p1;
    frame.bytes[at++] = p2;
    return at;
}

}  // namespace

void buildHp10Header(Hp10Frame& frame, const Mac& source, const Mac& destination) {
    frame.bytes.fill(0);
    frame.length = 0;
    std::copy(destination.begin(), destination.end(), frame.bytes.begin() + kDestinationOffset);
    std::copy(source.begin(), source.end(), frame.bytes.begin() + kSourceOffset);
    put16be(&frame.bytes[kHp10EthertypeOffset], kHp10Ethertype);
}

Hp10Frame buildStatsRequest(const Mac& source, const Mac& destination) {
    Hp10Frame frame;
    const size_t at = startRequest(frame, source, destination, 1);
    frame.length = putEntry(frame, at, kHp10StatsRequest, 0);
    return frame;
}

Hp10Frame buildParamRequest(const Mac& source, const Mac& destination, uint8_t value) {
    Hp10Frame frame;
    const size_t at = startRequest(frame, source, destination, 1);
    // Fifteen data bytes: the value, then zeros.
    const size_t data = putEntry(frame, at, kHp10Params, 15);
    frame.bytes[data] = value;
    frame.length = data + 15;
    return frame;
}

Hp10Frame buildLocalQuery(const Mac& source, const Mac& destination) {
    Hp10Frame frame;
    const size_t at = startRequest(frame, source, destination, 1);
    const size_t data = putEntry(frame, at, kHp10LocalStats, kLocalQueryStatedLength);
    frame.bytes[data] = kLocalQueryRequestFlag;
    frame.length = 38;
    return frame;
}

std::optional<Hp10Frame> buildVendorRequest(const Mac& source, const Mac& destination, uint8_t code,
                                            std::span<const uint8_t> data) {
    static constexpr std::array<uint8_t, 1> kNoData{0x00};
    if (data.empty()) data = kNoData;
    if (data.size() > kMaxVendorData) return std::nullopt;

    Hp10Frame frame;
    const size_t at = startRequest(frame, source, destination, 1);
    size_t next = putEntry(frame, at, kHp10Vendor, uint8_t(data.size() + kVendorOverhead));
    for (uint8_t byte : kVendorPrefix) frame.bytes[next++] = byte;
    frame.bytes[next++] = code;
    std::copy(data.begin(), data.end(), frame.bytes.begin() + next);
    frame.length = std::max(kVendorRequestLength, next + data.size());
    return frame;
}

Hp10Frame buildReadRequest(const Mac& source, const Mac& destination, uint8_t subCode) {
    Hp10Frame frame;
    const size_t at = startRequest(frame, source, destination, 1);
    const size_t data = putEntry(frame, at, kHp10ReadRequest, 1);
    frame.bytes[data] = subCode;
    frame.length = kHp10MaxRequestLength;
    return frame;
}

Hp10Frame buildSetKey(const Mac& source, const Mac& destination, uint8_t keySelect,
                      const Hp10Key& key, SetKeyLength length) {
    Hp10Frame frame;
    const size_t at = startRequest(frame, source, destination, 1);
    putSetKeyEntry(frame, at, keySelect, key);
    frame.length = size_t(length);
    return frame;
}

Hp10Frame buildSetKeyWithParams(const Mac& source, const Mac& destination, uint8_t keySelect,
                                const Hp10Key& key, uint8_t p0, uint8_t p1, uint8_t p2) {
    Hp10Frame frame;
    size_t at = startRequest(frame, source, destination, 2);
    at = putSetKeyEntry(frame, at, keySelect, key);
    frame.length = putParamEntry(frame, at, p0, p1, p2);
    return frame;
}

Hp10Frame buildParamEntry(const Mac& source, const Mac& destination, uint8_t p0, uint8_t p1,
                          uint8_t p2) {
    Hp10Frame frame;
    const size_t at = startRequest(frame, source, destination, 1);
    frame.length = putParamEntry(frame, at, p0, p1, p2);
    return frame;
}

Hp10Frame buildTurboSetKey(const Mac& source, const Mac& destination,
                           const std::optional<Hp10Key>& dek, const Hp10Key& nek) {
    if (!dek) return buildSetKey(source, destination, 1, nek);

    Hp10Frame frame;
    const size_t at = startRequest(frame, source, destination, 1);
    // Ten data bytes: 01 00, then the DEK under which the local device encrypts the frame that
    // follows the entry: an Ethertype, an entry count and the set-key entry for key select 1.
    size_t next = putEntry(frame, at, kHp10EncryptedPayload, 10);
    frame.bytes[next++] = 0x01;
    frame.bytes[next++] = 0x00;
    std::copy(dek->begin(), dek->end(), frame.bytes.begin() + next);
    next += dek->size();
    put16be(&frame.bytes[next], kHp10Ethertype);
    next += 2;
    frame.bytes[next++] = 1;
    frame.length = putSetKeyEntry(frame, next, 1, nek);
    return frame;
}

}  // namespace corvel
