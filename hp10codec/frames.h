// SPDX-License-Identifier: MIT
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

#include "platform/ethertypes.h"
#include "platform/mac.h"

// HomePlug 1.0 / Turbo MAC-management requests, built byte for byte. A frame is the Ethernet
// header (destination, source, Ethertype 0x887B), an entry count (MCTRL) and the entries, each
// a type byte (MEHDR), a data length (MELEN) and the data. Values inside entries are big-endian.
// The builders return exactly the bytes and length to hand to sendFrame, which pads to 60.
namespace corvel {

inline constexpr size_t kHp10EthertypeOffset = 12;
inline constexpr size_t kHp10EntryCountOffset = 14;
inline constexpr size_t kHp10EntryTypeOffset = 15;
inline constexpr size_t kHp10EntryLengthOffset = 16;
inline constexpr size_t kHp10EntryDataOffset = 17;

// Entry types (MEHDR); the whole byte is compared.
inline constexpr uint8_t kHp10Vendor = 0x02;  // vendor request and reply
inline constexpr uint8_t kHp10SetKey = 0x04;  // set network encryption key
inline constexpr uint8_t kHp10SetKeyConfirm = 0x06;
inline constexpr uint8_t kHp10StatsRequest = 0x07;   // also the probe of a device
inline constexpr uint8_t kHp10StationAnswer = 0x08;  // a station's answer to 0x07
inline constexpr uint8_t kHp10ReadRequest = 0x12;    // its acknowledgement has the same type
inline constexpr uint8_t kHp10ReadReply = 0x13;
// A frame for the local device to send on, encrypted under the key this entry carries.
inline constexpr uint8_t kHp10EncryptedPayload = 0x14;
inline constexpr uint8_t kHp10Params = 0x19;      // parameter block request and reply
inline constexpr uint8_t kHp10LocalStats = 0x1A;  // local query and statistics reply
inline constexpr uint8_t kHp10LocalAnswer = 0x1E;
inline constexpr uint8_t kHp10ParamEntry = 0x1F;  // the three local-parameter bytes

// Vendor request codes; the reply carries the code with bit 7 set.
inline constexpr uint8_t kHp10VersionQuery = 16;
inline constexpr uint8_t kHp10TurboRateStats = 24;

// Read request sub-codes.
inline constexpr uint8_t kHp10ReadFirmwareText = 0x20;
inline constexpr uint8_t kHp10ReadNetworkKey = 0x21;

// A network encryption key (NEK) or a device's DEK.
using Hp10Key = std::array<uint8_t, 8>;

// The longest request is the 272-byte read request.
inline constexpr size_t kHp10MaxRequestLength = 272;

struct Hp10Frame {
    std::array<uint8_t, kHp10MaxRequestLength> bytes{};
    size_t length = 0;
};

// Starts a request: every byte zero, the destination at 0, the source at 6, the Ethertype at
// 12, length 0. The builders below fill in the entries and the length.
void buildHp10Header(Hp10Frame& frame, const Mac& source, const Mac& destination);

// 01 07 00, 17 bytes: asks every station (or one) to answer with a type 0x08 entry.
Hp10Frame buildStatsRequest(const Mac& source, const Mac& destination);

// 01 19 0F v and zeros, 32 bytes: asks for the local device's 50-byte parameter block; the scan
// sends v = 0 or 0x10.
Hp10Frame buildParamRequest(const Mac& source, const Mac& destination, uint8_t value);

// 01 1A BB 80, 38 bytes. The local device expects MELEN 0xBB although one data byte follows.
Hp10Frame buildLocalQuery(const Mac& source, const Mac& destination);

// 01 02 (n + 4) 00 04 87 code data..., at least 35 bytes; without data one byte 00 is sent.
// More data than 35 bytes hold lengthens the frame; more than 251 bytes cannot be described by
// the one-byte MELEN and gives no frame.
std::optional<Hp10Frame> buildVendorRequest(const Mac& source, const Mac& destination, uint8_t code,
                                            std::span<const uint8_t> data = {});

// 01 12 01 s and zeros, 272 bytes.
Hp10Frame buildReadRequest(const Mac& source, const Mac& destination, uint8_t subCode);

// The three lengths a plain set-key request goes out with; the bytes after the key are zero.
enum class SetKeyLength : size_t {
    request = 26,
    keyOperation = 31,  // as sent by the set-key operations
    turboLocal = 35,    // to the local Turbo device
};

// 01 04 09 k key(8): the key for key select k (EKS).
Hp10Frame buildSetKey(const Mac& source, const Mac& destination, uint8_t keySelect,
                      const Hp10Key& key, SetKeyLength length = SetKeyLength::request);

// 02 04 09 k key(8) 1F 03 p0 p1 p2, 31 bytes: a set key followed by the local-parameter entry.
// The parameter bytes are written as given; the caller sets the bits it means.
Hp10Frame buildSetKeyWithParams(const Mac& source, const Mac& destination, uint8_t keySelect,
                                const Hp10Key& key, uint8_t p0, uint8_t p1, uint8_t p2);

// 01 1F 03 p0 p1 p2, 20 bytes.
Hp10Frame buildParamEntry(const Mac& source, const Mac& destination, uint8_t p0, uint8_t p1,
                          uint8_t p2);

// 01 14 0A 01 00 DEK(8) 88 7B 01 04 09 01 NEK(8), 41 bytes: the local Turbo device sends the
// set-key frame behind the first entry on to the remote device whose DEK it is. Without a DEK
// the plain set key with key select 1 (26 bytes).
Hp10Frame buildTurboSetKey(const Mac& source, const Mac& destination,
                           const std::optional<Hp10Key>& dek, const Hp10Key& nek);

}  // namespace corvel
