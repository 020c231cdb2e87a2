// SPDX-License-Identifier: MIT
#include "hp10/replies.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string_view>

#include "core/answers.h"
#include "core/observer.h"
#include "core/stations.h"
#include "core/tables.h"
#include "hp10codec/device_log_hook.h"
#include "hp10codec/frames.h"
#include "hp10codec/param_block.h"
#include "platform/bytes.h"
#include "platform/clock.h"
#include "platform/text.h"

namespace corvel {

namespace {

constexpr size_t kSourceOffset = 6;

// Vendor replies: 17..19 the vendor prefix 00 04 87, 20 the code with the reply bit set, 21 the
// flags of a version reply or the first Turbo rate record.
constexpr size_t kVendorCodeOffset = 20;
constexpr uint8_t kVendorReplyBit = 0x80;
constexpr uint8_t kExtendedStatsCode = 35;

// Version reply.
constexpr size_t kVersionFlagsOffset = 21;
constexpr uint8_t kFromRemoteStation = 0x01;
constexpr size_t kVersionFormOffset = 23;
constexpr uint8_t kFixedVersionTexts = 1;  // form 1 names one of two fixed versions
constexpr uint8_t kVersion12Minor = 0x15;
constexpr size_t kVersionMajorOffset = 24;
constexpr size_t kVersionMinorOffset = 25;
constexpr size_t kVendorTextOffset = 26;

// Turbo rate statistics: records of 14 bytes, a station MAC, the raw rate (big-endian) and two
// 24-bit counters this system does not use. MELEN counts three bytes besides the records.
constexpr size_t kTurboFirstRecordOffset = 21;
constexpr size_t kTurboRecordSize = 14;
constexpr size_t kTurboRecordRateOffset = 6;
constexpr uint8_t kTurboRecordOverhead = 3;

// Read reply: 17 the sub-code, then the firmware text from 18 or the network key at 19..26.
constexpr size_t kReadSubCodeOffset = 17;
constexpr size_t kFirmwareTextOffset = 18;
constexpr size_t kNetworkKeyOffset = 19;
constexpr size_t kNetworkKeySize = 8;

// A block that starts with this many equal bytes holds no parameters: the device's memory
// there is blank.
constexpr size_t kBlankRun = 7;

// A statistics entry whose first data byte is exactly this is a request, not a reply.
constexpr uint8_t kLocalQueryRequestByte = 0x80;

// The firmware texts of the local Turbo device that cannot take device passwords carry
// "1.5" or "1.6" at characters 14 to 16.
bool firmwareTooOld(std::string_view text) {
    return text.size() > 16 && text[14] == '1' && (text[16] == '5' || text[16] == '6');
}

// Whether the frame comes from the selected interface's local device. The answers to the
// requests sent to it (firmware text, network key, Turbo rates) and the parameter block and
// statistics only it sends are taken from it alone: a station, or any host on the segment, could
// send the same entries.
bool fromLocalDevice(std::span<const uint8_t> frame) {
    const uint8_t* local = currentAdapterRecord().localMac;
    return frame.size() >= kSourceOffset + 6 && macIsSet(local) &&
           macEqual(&frame[kSourceOffset], local);
}

std::span<const uint8_t> tail(std::span<const uint8_t> frame, size_t offset) {
    return offset < frame.size() ? frame.subspan(offset) : std::span<const uint8_t>{};
}

void writeText(std::span<char> text, const char* format, int value) {
    if (!text.empty()) std::snprintf(text.data(), text.size(), format, value);
}

void handleReadReply(std::span<const uint8_t> frame) {
    if (frame.size() <= kReadSubCodeOffset || !fromLocalDevice(frame)) return;
    switch (frame[kReadSubCodeOffset]) {
        case kHp10ReadFirmwareText: {
            // MELEN counts the sub-code too, so the text may take one byte past the entry; only
            // what the frame holds is read.
            const size_t stated = frame[kHp10EntryLengthOffset];
            const size_t count = std::min(stated, frame.size() - kFirmwareTextOffset);
            copyText(core.turboFirmwareText,
                     std::string_view(
                         reinterpret_cast<const char*>(frame.data()) + kFirmwareTextOffset, count));
            if (firmwareTooOld(textOf(core.turboFirmwareText))) core.turboFirmwareTooOld = 1;
            break;
        }
        case kHp10ReadNetworkKey:
            // A key cut short would be a wrong key: keep the one known.
            if (frame.size() < kNetworkKeyOffset + kNetworkKeySize) return;
            std::memcpy(core.hp10NetworkKey, &frame[kNetworkKeyOffset], kNetworkKeySize);
            break;
        default:
            break;
    }
}

ReplyOutcome handleVendorReply(std::span<uint8_t> frame, std::span<char> text) {
    if (frame.size() <= kVendorCodeOffset) return ReplyOutcome::ignored;
    uint8_t& code = frame[kVendorCodeOffset];
    if ((code & kVendorReplyBit) == 0) return ReplyOutcome::ignored;
    code &= uint8_t(~kVendorReplyBit);
    // The messages name the entry's first data byte; they are fixed texts, spelling included.
    const int firstData = frame[kHp10EntryDataOffset];
    switch (code) {
        case kHp10VersionQuery:
            handleVersionReply(frame);
            return ReplyOutcome::handled;
        case kHp10TurboRateStats:
            handleTurboStats(frame);
            return ReplyOutcome::handled;
        case kExtendedStatsCode:
            writeText(text, "Extended Stats response recieved (%d).", firstData);
            return ReplyOutcome::ignored;
        default:
            writeText(text, "Unknown private response recieved (%d).", firstData);
            return ReplyOutcome::ignored;
    }
}

}  // namespace

void copyLengthText(std::span<char> destination, std::span<const uint8_t> text) {
    if (destination.empty()) return;
    std::fill(destination.begin(), destination.end(), '\0');
    const size_t room = destination.size() - 1;
    const size_t stated = text.empty() ? 0 : text[0];
    if (stated == 0) {
        if (room > 0) destination[0] = ' ';
        return;
    }
    const size_t count = std::min({stated, text.size() - 1, room});
    std::memcpy(destination.data(), text.data() + 1, count);
}

void handleVersionReply(std::span<const uint8_t> frame) {
    // The version bytes must be there; the texts after them are cut where the frame ends.
    if (frame.size() <= kVersionMinorOffset) return;
    // The version query goes to every device, so any may answer, but none from a host address.
    if (!couldBeDevice(&frame[kSourceOffset])) return;
    const uint8_t major = frame[kVersionMajorOffset];
    const uint8_t minor = frame[kVersionMinorOffset];
    char version[32];
    if (frame[kVersionFormOffset] == kFixedVersionTexts) {
        std::snprintf(version, sizeof version, "%s",
                      minor == kVersion12Minor ? "Version 1.2" : "Version 1.4");
    } else {
        std::snprintf(version, sizeof version, "Version %d.%d", major, minor);
    }
    const std::span<const uint8_t> vendor = tail(frame, kVendorTextOffset);
    const size_t vendorLength = vendor.empty() ? 0 : vendor[0];
    const std::span<const uint8_t> product = tail(frame, kVendorTextOffset + 1 + vendorLength);
    const uint8_t* source = &frame[kSourceOffset];

    if (frame[kVersionFlagsOffset] & kFromRemoteStation) {
        StationRecord* station = findStationByMac(source);
        if (station == nullptr) return;
        station->present = 1;
        station->missesTillDrop = core.dropResetValue;
        if (station->stationKind != StationKind::Turbo) station->kindChanged = 1;
        station->stationKind = StationKind::Turbo;
        copyText(station->firmwareText, version);
        copyLengthText(station->vendorText, vendor);
        copyLengthText(station->productText, product);
        return;
    }
    setLocalMac(source);
    core.turboLocalAnswered = 1;
    copyText(core.turboMacVersion, version);
    copyLengthText(core.turboVendorText, vendor);
    copyLengthText(core.turboProductText, product);
}

void handleTurboStats(std::span<const uint8_t> frame) {
    if (frame.size() <= kHp10EntryLengthOffset || !fromLocalDevice(frame)) return;
    const uint8_t stated = frame[kHp10EntryLengthOffset];
    const size_t records =
        stated < kTurboRecordOverhead ? 0 : (stated - kTurboRecordOverhead) / kTurboRecordSize;
    for (size_t r = 0; r < records; ++r) {
        const size_t at = kTurboFirstRecordOffset + r * kTurboRecordSize;
        if (at + kTurboRecordSize > frame.size()) break;
        StationRecord* station = findStationByMac(&frame[at]);
        if (station == nullptr) continue;
        updateRate(station->rate, get16be(&frame[at + kTurboRecordRateOffset]), 0, 0,
                   RateMode::Turbo);
    }
}

void acceptParams(int index, std::span<const uint8_t> frame) {
    if (index < 0 || index >= kMaxInterfaces) return;
    // The block holds the network key: only the interface's local device's own is taken.
    const uint8_t* local = core.adapters[index].localMac;
    if (frame.size() < kSourceOffset + 6 || !macIsSet(local) ||
        !macEqual(&frame[kSourceOffset], local))
        return;
    // A block cut short is refused whole: a zero-filled block would look blank or, worse,
    // become the device's key.
    const std::optional<Hp10ParamReply> reply = readParamReply(frame);
    if (!reply) return;
    const uint8_t copy = reply->copy;
    const std::span<const uint8_t> block = reply->block;
    const bool blank = std::all_of(block.begin(), block.begin() + kBlankRun,
                                   [&](uint8_t b) { return b == block[0]; });
    if (blank) {
        writeDeviceLogEntry(
            copy == kParamWorkingCopy ? DeviceLogKind::workingCopy : DeviceLogKind::storedCopy,
            block);
        return;
    }
    // Until the observer has seen the stored copy only the working copy is taken; afterwards
    // only the stored copy.
    const uint8_t wanted = core.adapters[index].paramsValid ? kParamStoredCopy : kParamWorkingCopy;
    if (copy != wanted) return;
    core.localKeyKnown = 1;
    std::memcpy(core.localParamBlock, block.data(), kParamBlockSize);
}

bool handleHp10Entry(std::span<uint8_t> frame) {
    if (frame.size() <= kHp10EntryTypeOffset) return false;
    switch (frame[kHp10EntryTypeOffset]) {
        case kHp10SetKeyConfirm:
            // Waited for by the set-key operations themselves.
            return true;
        case kHp10StationAnswer:
            addOrRefreshStation(&frame[kSourceOffset]);
            return true;
        case kHp10Params:
            acceptParams(core.currentAdapter, frame);
            return true;
        case kHp10LocalStats:
            // applyHp10Statistics refreshes the view itself.
            if (frame.size() > kHp10EntryDataOffset && fromLocalDevice(frame) &&
                frame[kHp10EntryDataOffset] != kLocalQueryRequestByte)
                applyHp10Statistics(frame.data(), frame.size());
            return true;
        default:
            return false;
    }
}

ReplyOutcome handleHp10Reply(std::span<uint8_t> frame, std::span<char> text) {
    if (frame.size() < kHp10EntryCountOffset ||
        get16be(&frame[kHp10EthertypeOffset]) != kHp10Ethertype)
        return ReplyOutcome::endsDrain;
    if (frame.size() <= kHp10EntryTypeOffset) return ReplyOutcome::ignored;
    // No device sends from one of the host's own addresses or a group address: such a frame is
    // the host's own request seen again, or forged.
    if (!couldBeDevice(&frame[kSourceOffset])) return ReplyOutcome::ignored;
    switch (frame[kHp10EntryTypeOffset]) {
        case kHp10Vendor:
            return handleVendorReply(frame, text);
        case kHp10ReadRequest:
            // The acknowledgement of a read; the data follows as entry 0x13.
            return ReplyOutcome::handled;
        case kHp10ReadReply:
            handleReadReply(frame);
            return ReplyOutcome::ignored;
        default:
            return handleHp10Entry(frame) ? ReplyOutcome::handled : ReplyOutcome::ignored;
    }
}

namespace {

struct Drained {
    bool handled = false;   // the last frame taken was handled
    bool cutShort = false;  // a frame other than 1.0, or the bound, ended it: more may be waiting
};

// Frames already waiting are taken one after another; the 1 ms pause between two comes only
// when no other is waiting, so that replies queued behind a burst of other traffic are reached
// without spending the caller's window on the burst.
Drained drainHp10Replies(std::span<char> text) {
    MmeFrame frame;
    Drained drained;
    for (size_t taken = 0; taken < kMaxFramesPerDrain; ++taken) {
        if (!(taken == 0 ? receiveFrame(frame) : receiveNextFrame(frame, 1))) return drained;
        switch (handleHp10Reply(std::span<uint8_t>(frame.bytes.data(), frame.length), text)) {
            case ReplyOutcome::endsDrain:
                return {false, true};
            case ReplyOutcome::handled:
                drained.handled = true;
                break;
            case ReplyOutcome::ignored:
                drained.handled = false;
                break;
        }
    }
    drained.cutShort = true;
    return drained;
}

}  // namespace

bool processHp10Replies(std::span<char> text) {
    return drainHp10Replies(text).handled;
}

bool pumpHp10Replies(std::span<char> text) {
    constexpr uint64_t kPumpMs = 100;
    Clock& clock = systemClock();
    const uint64_t start = clock.tickCount();
    Drained drained;
    do {
        // A drain cut short left frames waiting: the next one starts on them at once.
        if (!drained.cutShort) clock.sleepMs(1);
        drained = drainHp10Replies(text);
    } while (clock.tickCount() - start < kPumpMs);
    return drained.handled;
}

}  // namespace corvel
