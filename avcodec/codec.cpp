// SPDX-License-Identifier: MIT
#include "avcodec/codec.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "avcodec/transfer.h"
#include "platform/bytes.h"

namespace corvel {

namespace {

constexpr size_t kOffsetStatus = 20;

int encodeRequest(const uint8_t* source, const uint8_t* destination, size_t capacity,
                  uint8_t* buffer, uint16_t mmtype, const AvKeyRequest* key) {
    if (writeAvHeader(buffer, capacity, destination, source, mmtype) != kAvHeaderLength) return 0;
    if (capacity < kAvMinFrameLength) {
        errno = kAvErrBufferTooSmall;
        return 0;
    }
    std::memset(buffer + kAvHeaderLength, 0, kAvMinFrameLength - kAvHeaderLength);
    if (mmtype == kMmSetKeyRequest) {
        if (key == nullptr) {
            errno = kAvErrMissingOrShort;
            return 0;
        }
        if (key->peks != kPeksLocal && key->peks != kPeksRemote) {
            errno = kAvErrInvalidValue;
            return 0;
        }
        buffer[kSetKeyTypeOffset] = kKeyTypeNmk;
        std::memcpy(buffer + kSetKeyNmkOffset, key->nmk.data(), key->nmk.size());
        buffer[kSetKeyPeksOffset] = key->peks;
        std::memcpy(buffer + kSetKeyRdaOffset, key->rda.data(), key->rda.size());
        std::memcpy(buffer + kSetKeyDakOffset, key->dak.data(), key->dak.size());
        // The last 4 bytes stay zero.
    }
    return int(kAvMinFrameLength);
}

// A received frame whose every read is bounded by its length: bytes past the end read as 0
// and copies take only what the frame holds, leaving the rest of the payload zero.
struct Received {
    const uint8_t* data;
    size_t length;

    uint8_t byte(size_t offset) const { return offset < length ? data[offset] : 0; }

    void copy(AvConfirm& record, size_t payloadOffset, size_t frameOffset, size_t count) const {
        if (frameOffset >= length || payloadOffset >= kAvPayloadSize) return;
        count = std::min({count, length - frameOffset, kAvPayloadSize - payloadOffset});
        std::memcpy(record.payload.data() + payloadOffset, data + frameOffset, count);
    }
};

void decodeStatus(const Received& frame, AvConfirm& record) {
    record.error = frame.byte(kOffsetStatus);
}

void finish(AvConfirm& record, int32_t kind, int32_t state, bool valid, int32_t payloadLength) {
    record.kind = kind;
    record.state = state;
    record.valid = valid ? 1 : 0;
    record.payloadLength = payloadLength;
}

// The confirmations that carry nothing but their status.
int decodeStatusOnly(const Received& frame, AvConfirm& record, int32_t kind) {
    decodeStatus(frame, record);
    finish(record, kind, kConfirmComplete, false, 0);
    return 0;
}

int decodeVersionConfirm(const Received& frame, AvConfirm& record) {
    decodeStatus(frame, record);
    // The chip generation, the text length and the text, from frame byte 21.
    frame.copy(record, kVersionGenerationIndex, 21, 66);
    finish(record, kDecodedVersion, kConfirmComplete, true, 67);
    return 0;
}

// Start and commit confirmations end a write; byte 21 is not used.
int decodeTransferEnd(const Received& frame, AvConfirm& record) {
    decodeStatus(frame, record);
    finish(record, avOperation().kind, kConfirmComplete, false, 0);
    resetAvOperation();
    return 0;
}

// The device restarts: no transfer survives it.
int decodeResetConfirm(const Received& frame, AvConfirm& record) {
    decodeStatusOnly(frame, record, kDecodedReset);
    resetAvOperation();
    return 0;
}

// 21 the direction, 22 the link id, 23 the peer's TEI, then the counters of the direction: 40
// bytes sent, 247 received, 287 both (avcodec/link_health.h reads them field by field).
int decodeLinkStatsConfirm(const Received& frame, AvConfirm& record) {
    decodeStatus(frame, record);
    frame.copy(record, 0, 21, 3);
    int32_t payloadLength = 3;
    switch (record.payload[0]) {
        case 0:
            frame.copy(record, 3, 24, 40);
            payloadLength = 43;
            break;
        case 1:
            frame.copy(record, 3, 24, 247);
            payloadLength = 250;
            break;
        case 2:
            frame.copy(record, 3, 24, 287);
            payloadLength = 290;
            break;
        default:
            break;
    }
    finish(record, kDecodedLinkStats, kConfirmComplete, true, payloadLength);
    return 0;
}

// 21 the sniffer state, 22..27 an address.
int decodeSnifferConfirm(const Received& frame, AvConfirm& record) {
    decodeStatus(frame, record);
    frame.copy(record, 0, 21, 7);
    finish(record, kDecodedNothing, kConfirmIdle, true, 7);
    return 0;
}

// A powerline frame the device reports, without a status. Its fields are kept by position: the
// low three bits of byte 34 (0 for a beacon) decide whether the 136 bytes from 50 follow.
int decodeSnifferIndication(const Received& frame, AvConfirm& record) {
    frame.copy(record, 0, 21, 29);
    const uint8_t selector = record.payload[13];
    if ((selector & 0x07) == 0) {
        frame.copy(record, 29, 50, 136);
        record.payload[167] = record.payload[36];
    }
    record.payload[165] = selector & 0x07;
    record.payload[166] = selector & 0xF0;
    finish(record, kDecodedNothing, kConfirmIdle, true, 168);
    return 0;
}

int decodeNetworkInfoConfirm(const Received& frame, AvConfirm& record) {
    // The status stays in the payload (p[0]) and error is 0: the caller reads it from there
    // (avcodec/network_info.h reads the stations).
    frame.copy(record, 0, kOffsetStatus, 1508);
    finish(record, kDecodedNetworkInfo, kConfirmComplete, true, 1505);
    return 0;
}

int decodeSetKeyConfirm(const Received& frame, AvConfirm& record) {
    return decodeStatusOnly(frame, record, kDecodedSetKey);
}

// 21 the string length, 22..85 the manufacturer string.
int decodeMfgStringConfirm(const Received& frame, AvConfirm& record) {
    decodeStatus(frame, record);
    frame.copy(record, 0, 21, 65);
    finish(record, kDecodedMfgString, kConfirmComplete, true, 65);
    return 0;
}

int decodeConfigBlockConfirm(const Received& frame, AvConfirm& record) {
    // The status, the block length n, then the n bytes of the block that the frame holds.
    frame.copy(record, kConfigBlockStatusIndex, kOffsetStatus, 2);
    frame.copy(record, 2, 22, record.payload[1]);
    finish(record, kDecodedConfigBlock, kConfirmComplete, true, 1506);
    return 0;
}

int decodeSdramConfirm(const Received& frame, AvConfirm& record) {
    return decodeStatusOnly(frame, record, kDecodedSdram);
}

// The codec answers the indication at once.
int decodeHostActionIndication(const Received& frame, AvConfirm& record) {
    put32le(record.payload.data(), frame.byte(kHostActionOffset));
    finish(record, kDecodedHostAction, kConfirmGoesOn, true, 1);
    queueHostActionResponse(frame.data, 0x00);
    return 0;
}

// 21 the link speed, 22 the duplex mode.
int decodeEthernetPhyConfirm(const Received& frame, AvConfirm& record) {
    decodeStatus(frame, record);
    frame.copy(record, 0, 21, 2);
    finish(record, kDecodedEthernetPhy, kConfirmComplete, true, 0);
    return 0;
}

// 21 the slot, 22 the number of tone maps, 23..24 the carrier count, 25..602 the carriers
// (avcodec/link_health.h reads them); the receive map adds its guard interval and gain setting
// at 603..605.
int decodeTxToneMapConfirm(const Received& frame, AvConfirm& record) {
    decodeStatus(frame, record);
    frame.copy(record, 0, 21, 582);
    finish(record, kDecodedTxToneMap, kConfirmComplete, false, 0);
    return 0;
}

int decodeRxToneMapConfirm(const Received& frame, AvConfirm& record) {
    decodeStatus(frame, record);
    frame.copy(record, 0, 21, 585);
    finish(record, kDecodedRxToneMap, kConfirmComplete, false, 0);
    return 0;
}

int decodeUnlistedA07DConfirm(const Received& frame, AvConfirm& record) {
    decodeStatusOnly(frame, record, kDecodedUnlistedA07D);
    resetAvOperation();
    return 0;
}

int decodeUnlistedA095Confirm(const Received& frame, AvConfirm& record) {
    return decodeStatusOnly(frame, record, kDecodedUnlistedA095);
}

int decodeWrite(const Received& frame, AvConfirm& record) {
    return decodeWriteConfirm(frame.data, frame.length, record);
}

int decodeRead(const Received& frame, AvConfirm& record) {
    return decodeReadConfirm(frame.data, frame.length, record);
}

struct DecoderRow {
    uint16_t mmtype;
    size_t minLength;  // 0: no minimum
    int shortError;    // errno for a shorter frame; 0: errno is left alone
    bool transfer;     // a transfer confirmation: its record carries the transfer's kind
    int (*decode)(const Received&, AvConfirm&);
};

constexpr DecoderRow kDecoderTable[] = {
    {kMmVersionConfirm, 88, kAvErrMissingOrShort, false, decodeVersionConfirm},
    {kMmMemoryWriteConfirm, 29, kAvErrBufferTooSmall, true, decodeWrite},
    {kMmStartConfirm, 22, kAvErrBufferTooSmall, true, decodeTransferEnd},
    {kMmResetConfirm, 21, kAvErrMissingOrShort, false, decodeResetConfirm},
    {kMmModuleWriteConfirm, 29, kAvErrBufferTooSmall, true, decodeWrite},
    {kMmModuleReadConfirm, 36, kAvErrMissingOrShort, true, decodeRead},
    {kMmModuleCommitConfirm, 22, 0, true, decodeTransferEnd},
    {kMmLinkStatsConfirm, 0, 0, false, decodeLinkStatsConfirm},
    {kMmSnifferConfirm, 28, kAvErrMissingOrShort, false, decodeSnifferConfirm},
    {kMmSnifferIndication, 51, kAvErrMissingOrShort, false, decodeSnifferIndication},
    {kMmNetworkInfoConfirm, 33, kAvErrMissingOrShort, false, decodeNetworkInfoConfirm},
    {kMmSetKeyConfirm, 21, kAvErrBufferTooSmall, false, decodeSetKeyConfirm},
    {kMmMfgStringConfirm, 86, kAvErrMissingOrShort, false, decodeMfgStringConfirm},
    {kMmConfigBlockConfirm, 22, kAvErrMissingOrShort, false, decodeConfigBlockConfirm},
    {kMmSdramConfirm, 21, kAvErrBufferTooSmall, false, decodeSdramConfirm},
    {kMmHostActionIndication, 21, 0, false, decodeHostActionIndication},
    {kMmEthernetPhyConfirm, 0, 0, false, decodeEthernetPhyConfirm},
    {kMmTxToneMapConfirm, 603, 0, false, decodeTxToneMapConfirm},
    {kMmUnlistedA07DConfirm, 21, kAvErrBufferTooSmall, false, decodeUnlistedA07DConfirm},
    {kMmRxToneMapConfirm, 606, 0, false, decodeRxToneMapConfirm},
    {kMmUnlistedA095Confirm, 21, kAvErrMissingOrShort, false, decodeUnlistedA095Confirm},
};

int failHeader(AvConfirm* record, int error) {
    errno = error;
    if (record != nullptr) record->error = uint8_t(error);
    return -1;
}

}  // namespace

int plcapi_EncodeVersionRequest(const uint8_t* source, const uint8_t* destination, size_t capacity,
                                uint8_t* buffer) {
    return encodeRequest(source, destination, capacity, buffer, kMmVersionRequest, nullptr);
}

int plcapi_EncodeNetworkInfoRequest(const uint8_t* source, const uint8_t* destination,
                                    size_t capacity, uint8_t* buffer) {
    return encodeRequest(source, destination, capacity, buffer, kMmNetworkInfoRequest, nullptr);
}

int plcapi_ReadConfigurationBlock(const uint8_t* source, const uint8_t* destination,
                                  size_t capacity, uint8_t* buffer) {
    return encodeRequest(source, destination, capacity, buffer, kMmConfigBlockRequest, nullptr);
}

int plcapi_EncodeSetKeyRequest(const uint8_t* source, const uint8_t* destination, size_t capacity,
                               uint8_t* buffer, const AvKeyRequest* request) {
    return encodeRequest(source, destination, capacity, buffer, kMmSetKeyRequest, request);
}

int plcapi_DecodeFrame(size_t length, const uint8_t* frame, AvConfirm* record) {
    if (record != nullptr) {
        *record = AvConfirm{};
        record->mmtype = kNoMmtype;
    }
    if (frame == nullptr || record == nullptr) return failHeader(record, kAvErrMissingOrShort);
    // A frame too short to hold the management header cannot be one of ours.
    if (length < kAvHeaderLength) return failHeader(record, kAvErrMissingOrShort);
    if (get16be(frame + kOffsetEthertype) != kAvEthertype) {
        return failHeader(record, kAvErrNotAvFrame);
    }
    if (frame[kOffsetMmv] != kAvMmv) return failHeader(record, kAvErrMissingOrShort);
    if (!std::equal(kAvOui.begin(), kAvOui.end(), frame + kOffsetOui)) {
        return failHeader(record, kAvErrMissingOrShort);
    }

    const uint16_t mmtype = get16le(frame + kOffsetMmtype);
    record->mmtype = mmtype;
    std::copy_n(frame, 6, record->destMac.begin());
    std::copy_n(frame + 6, 6, record->srcMac.begin());

    const DecoderRow* row = std::find_if(std::begin(kDecoderTable), std::end(kDecoderTable),
                                         [&](const DecoderRow& r) { return r.mmtype == mmtype; });
    if (row == std::end(kDecoderTable)) {
        record->mmtype = kNoMmtype;
        return failHeader(record, kAvErrUnknownType);
    }
    if (row->transfer) {
        record->kind = avOperation().kind;
        record->state = kConfirmComplete;
    }
    if (length < row->minLength) {
        if (row->shortError != 0) errno = row->shortError;
        // The record must not read as a success (error 0) for a frame that was not decoded.
        record->error = uint8_t(row->shortError != 0 ? row->shortError : kAvErrMissingOrShort);
        if (mmtype == kMmHostActionIndication) queueHostActionResponse(frame, 0x01);
        return -1;
    }
    return row->decode(Received{frame, length}, *record);
}

}  // namespace corvel
