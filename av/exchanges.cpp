// SPDX-License-Identifier: MIT
#include "av/exchanges.h"

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

bool accepts(const AvConfirm& record, uint16_t mmtype) {
    const bool answered = record.valid != 0 || record.error == 0;
    // A module-commit confirmation ends whatever exchange is waiting.
    const bool matching = record.mmtype == (mmtype | 1) || record.mmtype == kMmModuleCommitConfirm;
    return answered && matching;
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

bool pollAvConfirm(uint16_t mmtype, AvConfirm& record, size_t* frameLength) {
    Clock& clock = systemClock();
    MmeFrame frame;
    while (receiveFrame(frame)) {
        // Decoding also advances a transfer in progress; its result is judged by the record.
        plcapi_DecodeFrame(frame.length, frame.bytes.data(), &record);
        if (accepts(record, mmtype)) {
            clock.sleepMs(kAvPollSleepMs);
            avExchangeState().avConfirmSeen = true;
            if (frameLength != nullptr) *frameLength = frame.length;
            return true;
        }
        clock.sleepMs(kAvRejectedFrameMs);
    }
    return false;
}

bool awaitAvConfirm(uint16_t mmtype, AvConfirm& record, size_t* frameLength) {
    Clock& clock = systemClock();
    const uint64_t deadline = clock.tickCount() + kAvAwaitWindowMs;
    do {
        clock.sleepMs(kAvPollSleepMs);
        if (pollAvConfirm(mmtype, record, frameLength)) return true;
    } while (clock.tickCount() < deadline);
    return false;
}

}  // namespace corvel
