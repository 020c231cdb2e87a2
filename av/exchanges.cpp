// SPDX-License-Identifier: MIT
#include "av/exchanges.h"

#include <algorithm>
#include <array>
#include <cstdio>

#include "av/av_state.h"
#include "avcodec/frame.h"
#include "core/observer.h"
#include "core/tables.h"
#include "platform/clock.h"
#include "transport/frame_io.h"
#include "transport/mme_frame.h"

namespace corvel {

namespace {

// The version confirmation's full layout ends with its 64-byte text at byte 87.
constexpr size_t kVersionConfirmLength = 88;

bool accepts(const AvConfirm& record, uint16_t mmtype, AvAnswer answer) {
    const bool answered = record.valid != 0 || record.error == 0;
    const bool own = record.mmtype == (mmtype | 1);
    // A module-commit confirmation ends whatever exchange is waiting, except a key set.
    if (answer == AvAnswer::ownWhateverStatus) return own;
    const bool commit = record.mmtype == kMmModuleCommitConfirm && answer != AvAnswer::ownConfirm;
    return answered && (own || commit);
}

// The decoder refuses a version confirmation shorter than its full layout. Decoded again with
// the missing bytes as zeros it yields what did arrive; the caller reads its text only as far
// as the frame reached.
void decodeShortVersion(const MmeFrame& frame, AvConfirm& record) {
    if (record.mmtype != kMmVersionConfirm || frame.length >= kVersionConfirmLength) return;
    std::array<uint8_t, kVersionConfirmLength> padded{};
    std::copy_n(frame.bytes.begin(), frame.length, padded.begin());
    plcapi_DecodeFrame(padded.size(), padded.data(), &record);
}

// What a wait is for: the confirmation of `mmtype`, of the kind `answer` names, from `from`,
// and when `onInterface` is not -1 coming in on that interface.
struct Awaited {
    uint16_t mmtype;
    const Mac& from;
    AvAnswer answer;
    int onInterface = -1;
    // Where the accepted frame is copied, when given.
    MmeFrame* keep = nullptr;
};

// pollAvConfirm that stops looking once the tick count reaches `capMs`. A frame that is not the
// answer is passed over at once when another is already waiting: on a busy segment the answer
// may sit behind a burst of other traffic, and pausing for each of those frames would spend the
// wait while the answer has already come. The 20 ms pause is kept for a frame that came alone.
bool pollUntil(const Awaited& awaited, AvConfirm& record, size_t* frameLength, uint64_t capMs) {
    Clock& clock = systemClock();
    MmeFrame frame;
    for (bool received = clock.tickCount() < capMs && receiveFrame(frame); received;
         received = receiveNextFrame(frame, kAvRejectedFrameMs, capMs)) {
        // Another device's frame, or one in the host's own name, is not the answer. It is not
        // decoded either: decoding also advances a transfer in progress.
        if (!answersRequestTo(frame.bytes.data() + 6, awaited.from) ||
            (awaited.onInterface >= 0 && core.lastRxAdapter != awaited.onInterface))
            continue;
        plcapi_DecodeFrame(frame.length, frame.bytes.data(), &record);
        if (awaited.answer == AvAnswer::shortVersionToo) decodeShortVersion(frame, record);
        if (accepts(record, awaited.mmtype, awaited.answer)) {
            clock.sleepMs(kAvPollSleepMs);
            avExchangeState().avConfirmSeen = true;
            if (frameLength != nullptr) *frameLength = frame.length;
            if (awaited.keep != nullptr) *awaited.keep = frame;
            return true;
        }
    }
    return false;
}

// Polls, then 1 ms apart, until the window that began at `startMs` is over; frames that keep
// coming stretch it up to the cap.
bool waitFrom(uint64_t startMs, uint32_t windowMs, const Awaited& awaited, AvConfirm& record,
              size_t* frameLength) {
    Clock& clock = systemClock();
    const uint64_t deadline = startMs + windowMs;
    const uint64_t cap = startMs + uint64_t(windowMs) * kAvWaitCapFactor;
    for (;;) {
        if (pollUntil(awaited, record, frameLength, cap)) return true;
        if (clock.tickCount() >= deadline) return false;
        clock.sleepMs(kAvPollSleepMs);
    }
}

// 1 ms, then the usual window counted from the call.
bool awaitWindow(const Awaited& awaited, AvConfirm& record, size_t* frameLength) {
    Clock& clock = systemClock();
    const uint64_t start = clock.tickCount();
    clock.sleepMs(kAvPollSleepMs);
    return waitFrom(start, kAvAwaitWindowMs, awaited, record, frameLength);
}

}  // namespace

Mac& avAddress(int kind, Mac& out) {
    if (kind == kAvAddressBroadcast) out = kBroadcastMac;
    if (kind == kAvAddressLocal) out = kLocalManagementMac;
    return out;
}

void reportEncodeFailure() {
    std::fputs("something wrong in PLAPI_GETVERSION \n", stdout);
}

bool sendAvFrame(const AvRequestBuffer& frame, int length) {
    if (length <= 0 || size_t(length) > kAvRequestCapacity) return false;
    return sendFrame(core.currentAdapter, frame.data(), uint16_t(length));
}

void sendAvRequest(const Mac& destination, uint16_t mmtype) {
    const Mac source = requestSourceMac();
    if (!macIsSet(source.data())) return;
    AvRequestBuffer frame{};
    int length = 0;
    switch (mmtype) {
        case kMmVersionRequest:
            length = plcapi_EncodeVersionRequest(source.data(), destination.data(),
                                                 kAvRequestCapacity, frame.data());
            break;
        case kMmNetworkInfoRequest:
            length = plcapi_EncodeNetworkInfoRequest(source.data(), destination.data(),
                                                     kAvRequestCapacity, frame.data());
            break;
        case kMmSetKeyRequest:
            return;
        default:
            break;
    }
    if (length == 0) {
        reportEncodeFailure();
        return;
    }
    sendAvFrame(frame, length);
}

bool pollAvConfirm(uint16_t mmtype, const Mac& from, AvConfirm& record, size_t* frameLength,
                   AvAnswer answer) {
    const uint64_t cap = systemClock().tickCount() + uint64_t(kAvAwaitWindowMs) * kAvWaitCapFactor;
    return pollUntil({mmtype, from, answer}, record, frameLength, cap);
}

bool waitAvConfirm(uint16_t mmtype, const Mac& from, AvConfirm& record, uint32_t windowMs,
                   size_t* frameLength, AvAnswer answer) {
    return waitFrom(systemClock().tickCount(), windowMs, {mmtype, from, answer}, record,
                    frameLength);
}

bool awaitAvConfirm(uint16_t mmtype, const Mac& from, AvConfirm& record, size_t* frameLength,
                    AvAnswer answer) {
    return awaitWindow({mmtype, from, answer}, record, frameLength);
}

bool awaitAvConfirmFrame(uint16_t mmtype, const Mac& from, MmeFrame& frame) {
    AvConfirm record;
    return awaitWindow({mmtype, from, AvAnswer::ownWhateverStatus, -1, &frame}, record, nullptr);
}

bool awaitCabledConfirm(uint16_t mmtype, const Mac& from, AvConfirm& record, size_t* frameLength,
                        AvAnswer answer) {
    return awaitWindow({mmtype, from, answer, core.currentAdapter}, record, frameLength);
}

}  // namespace corvel
