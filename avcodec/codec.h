// SPDX-License-Identifier: MIT
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "avcodec/frame.h"
#include "platform/mac.h"

// Encodes the single-frame AV requests and decodes every AV management message the system
// receives. Decoding a transfer confirmation also advances the transfer in progress
// (avcodec/transfer.h). Nothing here sends, receives or blocks.
namespace corvel {

inline constexpr size_t kAvPayloadSize = 1513;
inline constexpr uint16_t kNoMmtype = 0xFFFF;

// AvConfirm.kind: what was decoded.
inline constexpr int32_t kDecodedNothing = 0;  // also the sniffer messages, which ask nothing
inline constexpr int32_t kDecodedLinkStats = 1;
inline constexpr int32_t kDecodedMfgString = 2;
inline constexpr int32_t kDecodedNetworkInfo = 3;
inline constexpr int32_t kDecodedVersion = 4;
inline constexpr int32_t kDecodedReset = 5;
inline constexpr int32_t kDecodedHostAction = 6;
inline constexpr int32_t kTransferWrite = 7;  // a write confirmation, or the end of a write
inline constexpr int32_t kDecodedSetKey = 8;
inline constexpr int32_t kTransferRead = 9;  // a read confirmation
inline constexpr int32_t kDecodedTxToneMap = 10;
inline constexpr int32_t kDecodedEthernetPhy = 11;
inline constexpr int32_t kDecodedSdram = 12;
inline constexpr int32_t kDecodedUnlistedA07D = 13;
inline constexpr int32_t kDecodedRxToneMap = 14;
inline constexpr int32_t kDecodedUnlistedA095 = 15;
inline constexpr int32_t kDecodedConfigBlock = 16;

// AvConfirm.state.
inline constexpr int32_t kConfirmIdle = 0;      // nothing decoded that is part of an exchange
inline constexpr int32_t kConfirmGoesOn = 1;    // a transfer goes on, or a response is due
inline constexpr int32_t kConfirmComplete = 2;  // the exchange is complete

// One decoded AV message. Every decode clears the whole record first.
struct AvConfirm {
    int32_t kind;     // kDecoded..., kTransferWrite or kTransferRead; kDecodedNothing when none
    int32_t state;    // kConfirmIdle, kConfirmGoesOn or kConfirmComplete
    uint16_t mmtype;  // kNoMmtype until the header checks pass, and for an unknown type
    // The confirmation's status byte (0 = success) or one of the codec's error numbers.
    uint8_t error;
    Mac destMac;
    Mac srcMac;
    uint8_t valid;  // 1 when the payload holds decoded data
    int32_t payloadLength;
    std::array<uint8_t, kAvPayloadSize> payload;
};

// Decoded payloads the callers read, as payload indexes (p[k]).
// Version confirmation 0xA001: p[0] the chip generation (frame byte 21), p[1] the length of the
// version text (22), p[2..65] the text (23..86).
inline constexpr size_t kVersionGenerationIndex = 0;
inline constexpr size_t kVersionTextLengthIndex = 1;
inline constexpr size_t kVersionTextIndex = 2;
inline constexpr size_t kVersionTextFrameOffset = 23;
// Configuration-block confirmation 0xA059: p[0] its status (frame byte 20), p[1] the block
// length n (21), p[2..] the n bytes of the block (22..).
inline constexpr size_t kConfigBlockStatusIndex = 0;

// PEKS 0x0F: the key is for the receiving device itself. PEKS 0x00: it is for the remote
// device named by the RDA and is protected by that device's DAK.
inline constexpr uint8_t kPeksLocal = 0x0F;
inline constexpr uint8_t kPeksRemote = 0x00;

// Set-key request 0xA050, frame offsets: 20 the key type, 21..36 the NMK, 37 the PEKS, 38..43
// the RDA (remote device address), 44..59 the DAK, 60..63 zero.
inline constexpr size_t kSetKeyTypeOffset = 20;
inline constexpr size_t kSetKeyNmkOffset = 21;
inline constexpr size_t kSetKeyPeksOffset = 37;
inline constexpr size_t kSetKeyRdaOffset = 38;
inline constexpr size_t kSetKeyDakOffset = 44;
inline constexpr uint8_t kKeyTypeNmk = 0x01;

struct AvKeyRequest {
    std::array<uint8_t, 16> nmk;
    uint8_t peks;
    Mac rda;
    std::array<uint8_t, 16> dak;
};

// Each encoder writes one 64-byte request into the buffer and returns 64, or returns 0 with
// errno: 14 for a missing buffer, address or key request, 34 for a capacity below 64, 22 for a
// PEKS other than 0x00 and 0x0F.
int plcapi_EncodeVersionRequest(const uint8_t* source, const uint8_t* destination, size_t capacity,
                                uint8_t* buffer);
int plcapi_EncodeNetworkInfoRequest(const uint8_t* source, const uint8_t* destination,
                                    size_t capacity, uint8_t* buffer);
int plcapi_ReadConfigurationBlock(const uint8_t* source, const uint8_t* destination,
                                  size_t capacity, uint8_t* buffer);
int plcapi_EncodeSetKeyRequest(const uint8_t* source, const uint8_t* destination, size_t capacity,
                               uint8_t* buffer, const AvKeyRequest* request);

// Decodes one received frame into the record. Returns 0 when decoded, -1 on failure with errno
// (1 not an AV frame, 14 header not ours or frame too short, 34 frame too short, 40 unknown
// MMTYPE, 22 a write refused after its last retry or a transfer confirmation that no transfer
// waits for). A short 0xA029, 0xA062, 0xA071 or 0xA091 leaves errno alone. Every failure of a
// frame that passed the header checks also leaves a non-zero number in `error`, so that a caller
// accepting a record with `error == 0` never takes it for a success. Never reads outside
// [frame, frame + length).
int plcapi_DecodeFrame(size_t length, const uint8_t* frame, AvConfirm* record);

}  // namespace corvel
