// SPDX-License-Identifier: MIT
#include "avcodec/link_health.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "platform/bytes.h"

namespace corvel {

namespace {

// Request payloads, from frame byte 20.
// Link statistics: control, direction, link id, peer MAC.
constexpr size_t kLinkStatsControl = 20;
constexpr size_t kLinkStatsDirection = 21;
constexpr size_t kLinkStatsLinkId = 22;
constexpr size_t kLinkStatsPeer = 23;
// Tone maps: peer MAC, slot.
constexpr size_t kToneMapPeer = 20;
constexpr size_t kToneMapSlot = 26;

// Link statistics confirmation: status, direction, link id, TEI, then the counters the
// direction asks for: the transmit block, the receive block, or both in that order.
constexpr size_t kLinkStatsStatus = 20;
constexpr size_t kLinkStatsCounters = 24;
constexpr size_t kTxBlockLength = 5 * 8;
constexpr size_t kRxFixedLength = 6 * 8 + 1;  // six counters and the number of intervals
constexpr size_t kRxIntervalLength = 1 + 4 * 8;

// Tone map confirmation: status, slot, number of tone maps, number of carriers (16 bits), the
// carriers. A receive map's carrier area is always wide enough for every carrier, and its guard
// interval and gain setting follow it.
constexpr size_t kToneMapStatus = 20;
constexpr size_t kToneMapConfirmSlot = 21;
constexpr size_t kToneMapCount = 22;
constexpr size_t kToneMapCarrierCount = 23;
constexpr size_t kToneMapCarriers = 25;
constexpr size_t kRxGuardInterval = kToneMapCarriers + kToneMapCarrierBytes;
constexpr size_t kRxAgc = kRxGuardInterval + 1;

uint64_t get64le(const uint8_t* p) {
    return uint64_t(get32le(p)) | (uint64_t(get32le(p + 4)) << 32);
}

std::string hex16(uint16_t value) {
    char text[8];
    std::snprintf(text, sizeof text, "0x%04X", value);
    return text;
}

DecodeOutcome refuse(int error, std::string reason) {
    return DecodeOutcome{error, std::move(reason)};
}

// The checks every confirmation shares: an AV vendor frame of version 0 with our OUI and the
// expected MMTYPE.
DecodeOutcome checkHeader(std::span<const uint8_t> frame, uint16_t mmtype, const char* what) {
    if (frame.size() < kAvHeaderLength)
        return refuse(kAvErrMissingOrShort, std::string(what) + ": " +
                                                std::to_string(frame.size()) +
                                                " bytes, shorter than the management header");
    const uint16_t ethertype = get16be(&frame[kOffsetEthertype]);
    if (ethertype != kAvEthertype)
        return refuse(kAvErrNotAvFrame,
                      std::string(what) + ": Ethertype " + hex16(ethertype) + ", not 0x88E1");
    if (frame[kOffsetMmv] != kAvMmv)
        return refuse(kAvErrMissingOrShort, std::string(what) + ": message version " +
                                                std::to_string(frame[kOffsetMmv]) + ", not 0");
    if (!std::equal(kAvOui.begin(), kAvOui.end(), &frame[kOffsetOui]))
        return refuse(kAvErrMissingOrShort, std::string(what) + ": vendor OUI not 00:B0:52");
    const uint16_t received = get16le(&frame[kOffsetMmtype]);
    if (received != mmtype)
        return refuse(kAvErrUnknownType, std::string(what) + ": MMTYPE " + hex16(received) +
                                             ", expected " + hex16(mmtype));
    return {};
}

DecodeOutcome tooShort(const char* what, size_t length, size_t needed, const char* part) {
    return refuse(kAvErrMissingOrShort, std::string(what) + ": " + std::to_string(length) +
                                            " bytes, " + part + " needs " + std::to_string(needed));
}

Mac sourceOf(std::span<const uint8_t> frame) {
    Mac mac{};
    std::copy_n(frame.begin() + 6, mac.size(), mac.begin());
    return mac;
}

// The header and a zeroed payload up to 64 bytes; 0 (errno set) when the buffer cannot hold it.
size_t startRequest(std::span<uint8_t> buffer, const Mac& source, const Mac& destination,
                    uint16_t mmtype) {
    if (writeAvHeader(buffer.data(), buffer.size(), destination.data(), source.data(), mmtype) !=
        kAvHeaderLength)
        return 0;
    if (buffer.size() < kAvMinFrameLength) {
        errno = kAvErrBufferTooSmall;
        return 0;
    }
    std::fill(buffer.begin() + kAvHeaderLength, buffer.begin() + kAvMinFrameLength, 0);
    return kAvMinFrameLength;
}

bool validLinkId(uint8_t linkId) {
    return linkId <= 3 || linkId == kLinkIdAllForPeer || linkId == kLinkIdAll;
}

TxLinkStats readTx(const uint8_t* p) {
    return TxLinkStats{get64le(p), get64le(p + 8), get64le(p + 16), get64le(p + 24),
                       get64le(p + 32)};
}

}  // namespace

size_t encodeLinkStatsRequest(std::span<uint8_t> buffer, const Mac& source, const Mac& destination,
                              const LinkStatsRequest& request) {
    const uint8_t direction = uint8_t(request.direction);
    // Refused before anything is written: a request the device could only answer with an
    // invalid-value status is better not sent.
    if (direction > uint8_t(LinkDirection::Both) || !validLinkId(request.linkId)) {
        errno = kAvErrInvalidValue;
        return 0;
    }
    const size_t length = startRequest(buffer, source, destination, kMmLinkStatsRequest);
    if (length == 0) return 0;
    buffer[kLinkStatsControl] = request.clear ? 1 : 0;
    buffer[kLinkStatsDirection] = direction;
    buffer[kLinkStatsLinkId] = request.linkId;
    std::copy(request.peer.begin(), request.peer.end(), buffer.begin() + kLinkStatsPeer);
    return length;
}

DecodeOutcome decodeLinkStatsConfirm(std::span<const uint8_t> frame, LinkStatsConfirm& out) {
    constexpr const char* what = "link statistics confirmation";
    if (DecodeOutcome header = checkHeader(frame, kMmLinkStatsConfirm, what); !header)
        return header;
    if (frame.size() < kLinkStatsCounters)
        return tooShort(what, frame.size(), kLinkStatsCounters, "its status and link fields");

    LinkStatsConfirm record;
    record.device = sourceOf(frame);
    record.status = frame[kLinkStatsStatus];
    record.direction = frame[kLinkStatsDirection];
    record.linkId = frame[kLinkStatsLinkId];
    record.tei = frame[kLinkStatsCounters - 1];
    if (record.status != 0) {
        // A refusal carries no counters: the direction and link id only echo the request.
        out = std::move(record);
        return {};
    }
    if (record.direction > uint8_t(LinkDirection::Both))
        return refuse(kAvErrInvalidValue, std::string(what) + ": direction " +
                                              std::to_string(record.direction) +
                                              " with a success status");

    size_t at = kLinkStatsCounters;
    const bool wantTx = record.direction != uint8_t(LinkDirection::Rx);
    const bool wantRx = record.direction != uint8_t(LinkDirection::Tx);
    if (wantTx) {
        if (frame.size() < at + kTxBlockLength)
            return tooShort(what, frame.size(), at + kTxBlockLength, "the transmit counters");
        record.tx = readTx(&frame[at]);
        at += kTxBlockLength;
    }
    if (wantRx) {
        if (frame.size() < at + kRxFixedLength)
            return tooShort(what, frame.size(), at + kRxFixedLength, "the receive counters");
        const uint8_t* p = &frame[at];
        RxLinkStats rx{get64le(p),
                       get64le(p + 8),
                       get64le(p + 16),
                       get64le(p + 24),
                       get64le(p + 32),
                       get64le(p + 40),
                       {}};
        const size_t intervals = p[48];
        at += kRxFixedLength;
        // Every interval the count announces must be in the frame: a count the frame cannot
        // hold is a broken confirmation, not a shorter list.
        if (frame.size() < at + intervals * kRxIntervalLength)
            return tooShort(what, frame.size(), at + intervals * kRxIntervalLength,
                            ("its " + std::to_string(intervals) + " receive intervals").c_str());
        for (size_t i = 0; i < intervals; ++i, at += kRxIntervalLength) {
            const uint8_t* q = &frame[at];
            rx.intervals.push_back(RxIntervalStats{q[0], get64le(q + 1), get64le(q + 9),
                                                   get64le(q + 17), get64le(q + 25)});
        }
        record.rx = std::move(rx);
    }
    out = std::move(record);
    return {};
}

const char* linkStatsStatusText(uint8_t status) {
    switch (status) {
        case 0x00:
            return "Success";
        case kLinkStatsInvalidControl:
            return "Invalid Control";
        case kLinkStatsInvalidDirection:
            return "Invalid Direction";
        case kLinkStatsInvalidLinkId:
            return "Invalid Link ID";
        case kLinkStatsInvalidPeer:
            return "Invalid MAC Address";
        default:
            return "Unknown status";
    }
}

size_t encodeToneMapRequest(std::span<uint8_t> buffer, const Mac& source, const Mac& destination,
                            ToneMapDirection direction, const ToneMapRequest& request) {
    // Version 0 of these messages names no coupling; the alternate pair cannot be asked for.
    if (request.coupling != Coupling::Primary) {
        errno = kAvErrInvalidValue;
        return 0;
    }
    const uint16_t mmtype =
        direction == ToneMapDirection::Tx ? kMmTxToneMapRequest : kMmRxToneMapRequest;
    const size_t length = startRequest(buffer, source, destination, mmtype);
    if (length == 0) return 0;
    std::copy(request.peer.begin(), request.peer.end(), buffer.begin() + kToneMapPeer);
    buffer[kToneMapSlot] = request.slot;
    return length;
}

DecodeOutcome decodeToneMapConfirm(std::span<const uint8_t> frame, ToneMapDirection direction,
                                   ToneMapConfirm& out) {
    const bool rx = direction == ToneMapDirection::Rx;
    const char* what = rx ? "receive tone map confirmation" : "transmit tone map confirmation";
    if (DecodeOutcome header =
            checkHeader(frame, rx ? kMmRxToneMapConfirm : kMmTxToneMapConfirm, what);
        !header)
        return header;
    if (frame.size() < kToneMapCarriers)
        return tooShort(what, frame.size(), kToneMapCarriers, "its status and map fields");

    ToneMapConfirm record;
    record.device = sourceOf(frame);
    record.direction = direction;
    record.status = frame[kToneMapStatus];
    record.slot = frame[kToneMapConfirmSlot];
    record.toneMapCount = frame[kToneMapCount];
    record.carrierCount = get16le(&frame[kToneMapCarrierCount]);
    if (record.status != 0) {
        out = std::move(record);
        return {};
    }
    if (record.carrierCount > kAvCarrierCount)
        return refuse(kAvErrInvalidValue,
                      std::string(what) + ": " + std::to_string(record.carrierCount) +
                          " carriers, HomePlug AV has " + std::to_string(kAvCarrierCount));
    const size_t carrierBytes = (size_t(record.carrierCount) + 1) / 2;
    if (frame.size() < kToneMapCarriers + carrierBytes)
        return tooShort(what, frame.size(), kToneMapCarriers + carrierBytes,
                        ("its " + std::to_string(record.carrierCount) + " carriers").c_str());
    record.modulation.reserve(record.carrierCount);
    for (size_t i = 0; i < record.carrierCount; ++i) {
        const uint8_t byte = frame[kToneMapCarriers + i / 2];
        const uint8_t code = i % 2 == 0 ? byte & 0x0F : byte >> 4;
        if (code > kMaxModulationCode)
            return refuse(kAvErrInvalidValue, std::string(what) + ": carrier " + std::to_string(i) +
                                                  " has modulation code " + std::to_string(code) +
                                                  ", not 0..8");
        record.modulation.push_back(code);
    }
    if (rx && record.carrierCount != 0) {
        if (frame.size() <= kRxAgc)
            return tooShort(what, frame.size(), kRxAgc + 1, "the guard interval and gain");
        record.guardInterval = frame[kRxGuardInterval];
        record.agc = frame[kRxAgc];
    }
    out = std::move(record);
    return {};
}

const char* toneMapStatusText(uint8_t status) {
    switch (status) {
        case 0x00:
            return "Success";
        case kToneMapUnknownPeer:
            return "Unknown MAC address";
        case kToneMapUnknownSlot:
            return "Unknown Tone Map slot";
        default:
            return "Unknown status";
    }
}

int modulationBits(uint8_t code) {
    static constexpr int kBits[] = {0, 1, 2, 3, 4, 6, 8, 10, 12};
    return code <= kMaxModulationCode ? kBits[code] : -1;
}

const char* modulationName(uint8_t code) {
    static constexpr const char* kNames[] = {"none",   "BPSK",    "QPSK",     "8-QAM",   "16-QAM",
                                             "64-QAM", "256-QAM", "1024-QAM", "4096-QAM"};
    return code <= kMaxModulationCode ? kNames[code] : "unknown";
}

size_t modulatedCarriers(const ToneMapConfirm& map) {
    return size_t(std::count_if(map.modulation.begin(), map.modulation.end(),
                                [](uint8_t code) { return code != 0; }));
}

unsigned bitsPerSymbol(const ToneMapConfirm& map) {
    unsigned bits = 0;
    for (uint8_t code : map.modulation) bits += unsigned(std::max(0, modulationBits(code)));
    return bits;
}

double carrierFrequencyMHz(size_t index) {
    // An AV OFDM symbol is 3072 samples at 75 MHz: carriers lie 75 MHz / 3072 = 24.414 kHz apart,
    // numbered from 0 Hz. The tone maps list the 1155 carriers of the 1.8 to 30 MHz band, OFDM
    // carriers 74 (1.807 MHz) to 1228 (29.98 MHz): tone map carrier 0 is OFDM carrier 74.
    constexpr size_t kFirstOfdmCarrier = 74;
    constexpr double kSpacingMHz = 75.0 / 3072.0;
    return double(kFirstOfdmCarrier + index) * kSpacingMHz;
}

size_t encodeResetDeviceRequest(std::span<uint8_t> buffer, const Mac& source,
                                const Mac& destination) {
    return startRequest(buffer, source, destination, kMmResetDeviceRequest);
}

DecodeOutcome decodeResetDeviceConfirm(std::span<const uint8_t> frame, ResetDeviceConfirm& out) {
    constexpr const char* what = "reset confirmation";
    if (DecodeOutcome header = checkHeader(frame, kMmResetConfirm, what); !header) return header;
    if (frame.size() <= kAvHeaderLength)
        return tooShort(what, frame.size(), kAvHeaderLength + 1, "its status");
    out = ResetDeviceConfirm{sourceOf(frame), frame[kAvHeaderLength]};
    return {};
}

const char* resetStatusText(uint8_t status) {
    switch (status) {
        case 0x00:
            return "Success";
        case kResetNoNvm:
            return "NVM Not Present";
        default:
            return "Unknown status";
    }
}

}  // namespace corvel
