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

// One decoded AV message. Every decode clears the whole record first.
struct AvConfirm {
    int32_t kind;     // what was decoded; 0 when nothing was
    int32_t state;    // 0 nothing, 1 a transfer goes on (or a response is due), 2 complete
    uint16_t mmtype;  // kNoMmtype until the header checks pass, and for an unknown type
    // The confirmation's status byte (0 = success) or one of the codec's error numbers.
    uint8_t error;
    Mac destMac;
    Mac srcMac;
    uint8_t valid;  // 1 when the payload holds decoded data
    int32_t payloadLength;
    std::array<uint8_t, kAvPayloadSize> payload;
};

// PEKS 0x0F: the key is for the receiving device itself. PEKS 0x00: it is for the remote
// device named by the RDA and is protected by that device's DAK.
inline constexpr uint8_t kPeksLocal = 0x0F;
inline constexpr uint8_t kPeksRemote = 0x00;

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
