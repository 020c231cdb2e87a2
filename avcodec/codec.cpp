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
        buffer[20] = 0x01;  // key type: the NMK
        std::memcpy(buffer + 21, key->nmk.data(), key->nmk.size());
        buffer[37] = key->peks;
        std::memcpy(buffer + 38, key->rda.data(), key->rda.size());
        std::memcpy(buffer + 44, key->dak.data(), key->dak.size());
        // Bytes 60..63 stay zero.
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

void finish(AvConfirm& record, int32_t kind, int32_t state, uint8_t valid, int32_t payloadLength) {
    record.kind = kind;
    record.state = state;
    record.valid = valid;
    record.payloadLength = payloadLength;
}

int decodeVersion(const Received& frame, AvConfirm& record) {
    decodeStatus(frame, record);
    // p[0] chip generation, p[1] version text length, p[2..65] version text.
    frame.copy(record, 0, 21, 66);
    finish(record, 4, 2, 1, 67);
    return 0;
}

// Start and commit confirmations end a write; byte 21 is not used.
int decodeTransferEnd(const Received& frame, AvConfirm& record) {
    decodeStatus(frame, record);
    finish(record, avOperation().kind, 2, 0, 0);
    resetAvOperation();
    return 0;
}

int decodeResetConfirm(const Received& frame, AvConfirm& record) {
    decodeStatus(frame, record);
    finish(record, 5, 2, 0, 0);
    resetAvOperation();
    return 0;
}

int decodeA031(const Received& frame, AvConfirm& record) {
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
    finish(record, 1, 2, 1, payloadLength);
    return 0;
}

int decodeA035(const Received& frame, AvConfirm& record) {
    decodeStatus(frame, record);
    frame.copy(record, 0, 21, 7);
    finish(record, 0, 0, 1, 7);
    return 0;
}

int decodeA036(const Received& frame, AvConfirm& record) {
    frame.copy(record, 0, 21, 29);
    const uint8_t selector = record.payload[13];
    if ((selector & 0x07) == 0) {
        frame.copy(record, 29, 50, 136);
        record.payload[167] = record.payload[36];
    }
    record.payload[165] = selector & 0x07;
    record.payload[166] = selector & 0xF0;
    finish(record, 0, 0, 1, 168);
    return 0;
}

int decodeNetworkInfo(const Received& frame, AvConfirm& record) {
    // The status stays in the payload (p[0]) and error is 0: the caller reads it from there.
    frame.copy(record, 0, 20, 1508);
    finish(record, 3, 2, 1, 1505);
    return 0;
}

int decodeSetKey(const Received& frame, AvConfirm& record) {
    decodeStatus(frame, record);
    finish(record, 8, 2, 0, 0);
    return 0;
}

int decodeA055(const Received& frame, AvConfirm& record) {
    decodeStatus(frame, record);
    frame.copy(record, 0, 21, 65);
    finish(record, 2, 2, 1, 65);
    return 0;
}

int decodeConfigBlock(const Received& frame, AvConfirm& record) {
    // p[0] status, p[1] block length n, then the n bytes of the block that the frame holds.
    frame.copy(record, 0, 20, 2);
    frame.copy(record, 2, 22, record.payload[1]);
    finish(record, 16, 2, 1, 1506);
    return 0;
}

int decodeA05D(const Received& frame, AvConfirm& record) {
    decodeStatus(frame, record);
    finish(record, 12, 2, 0, 0);
    return 0;
}

int decodeHostAction(const Received& frame, AvConfirm& record) {
    put32le(record.payload.data(), frame.byte(20));
    finish(record, 6, 1, 1, 1);
    queueHostActionResponse(frame.data, 0x00);
    return 0;
}

int decodeA06D(const Received& frame, AvConfirm& record) {
    decodeStatus(frame, record);
    frame.copy(record, 0, 21, 2);
    finish(record, 11, 2, 1, 0);
    return 0;
}

int decodeA071(const Received& frame, AvConfirm& record) {
    decodeStatus(frame, record);
    frame.copy(record, 0, 21, 582);
    finish(record, 10, 2, 0, 0);
    return 0;
}

int decodeA07D(const Received& frame, AvConfirm& record) {
    decodeStatus(frame, record);
    finish(record, 13, 2, 0, 0);
    resetAvOperation();
    return 0;
}

int decodeA091(const Received& frame, AvConfirm& record) {
    decodeStatus(frame, record);
    frame.copy(record, 0, 21, 585);
    finish(record, 14, 2, 0, 0);
    return 0;
}

int decodeA095(const Received& frame, AvConfirm& record) {
    decodeStatus(frame, record);
    finish(record, 15, 2, 0, 0);
    return 0;
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
    {0xA001, 88, kAvErrMissingOrShort, false, decodeVersion},
    {0xA005, 29, kAvErrBufferTooSmall, true, decodeWrite},
    {0xA00D, 22, kAvErrBufferTooSmall, true, decodeTransferEnd},
    {0xA01D, 21, kAvErrMissingOrShort, false, decodeResetConfirm},
    {0xA021, 29, kAvErrBufferTooSmall, true, decodeWrite},
    {0xA025, 36, kAvErrMissingOrShort, true, decodeRead},
    {0xA029, 22, 0, true, decodeTransferEnd},
    {0xA031, 0, 0, false, decodeA031},
    {0xA035, 28, kAvErrMissingOrShort, false, decodeA035},
    {0xA036, 51, kAvErrMissingOrShort, false, decodeA036},
    {0xA039, 33, kAvErrMissingOrShort, false, decodeNetworkInfo},
    {0xA051, 21, kAvErrBufferTooSmall, false, decodeSetKey},
    {0xA055, 86, kAvErrMissingOrShort, false, decodeA055},
    {0xA059, 22, kAvErrMissingOrShort, false, decodeConfigBlock},
    {0xA05D, 21, kAvErrBufferTooSmall, false, decodeA05D},
    {0xA062, 21, 0, false, decodeHostAction},
    {0xA06D, 0, 0, false, decodeA06D},
    {0xA071, 603, 0, false, decodeA071},
    {0xA07D, 21, kAvErrBufferTooSmall, false, decodeA07D},
    {0xA091, 606, 0, false, decodeA091},
    {0xA095, 21, kAvErrMissingOrShort, false, decodeA095},
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
        record->state = 2;
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
