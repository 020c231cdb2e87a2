// SPDX-License-Identifier: MIT
#include "upgrade/chunk_transfer.h"

#include "av/exchanges.h"
#include "avcodec/frame.h"
#include "avcodec/transfer.h"
#include "core/answers.h"
#include "core/observer.h"
#include "platform/bytes.h"
#include "platform/clock.h"
#include "upgrade/av_upgrade.h"
#include "upgrade/upgrade_messages.h"

namespace corvel {

namespace {

// Confirmation layouts: 0xA021 20 status, 21 module id, 25..28 offset; 0xA005 20 status,
// 21..24 address. Requests: 0xA020 20 module id, 24..27 offset; 0xA004 20..23 address.
constexpr size_t kWriteConfirmLength = 29;

uint32_t chunksOf(const ChunkCursor* cursor) {
    return cursor == nullptr ? 0 : (cursor->size + cursor->chunkSize - 1) / cursor->chunkSize;
}

uint64_t sizeOf(const ChunkCursor* cursor) {
    return cursor == nullptr ? 0 : cursor->size;
}

UpgradeProgress plannedProgress() {
    const AvOperation& op = avOperation();
    UpgradeProgress p;
    // Every chunk of both images, then the commit or start request.
    p.framesTotal = chunksOf(op.firmwareCursor.get()) + chunksOf(op.pibCursor.get()) + 1;
    p.bytesTotal = sizeOf(op.firmwareCursor.get()) + sizeOf(op.pibCursor.get());
    return p;
}

// Whether `reply` is the confirmation of `request` itself, from the device it went to. A chunk's
// confirmation must name the chunk's module and offset (or address): a late duplicate of the
// previous chunk's would otherwise move the transfer on by one chunk the device never confirmed.
bool confirms(const MmeFrame& reply, const uint8_t* request) {
    const uint16_t sent = get16le(request + kOffsetMmtype);
    // From the device the chunk went to (bytes 0..5 of the request) and no other.
    if (reply.length < kAvHeaderLength || !answersRequestTo(&reply.bytes[6], request) ||
        get16be(&reply.bytes[kOffsetEthertype]) != kAvEthertype ||
        get16le(&reply.bytes[kOffsetMmtype]) != (sent | 1))
        return false;
    const uint8_t* r = reply.bytes.data();
    switch (sent) {
        case kMmModuleWriteRequest:
            return reply.length >= kWriteConfirmLength && r[21] == request[20] &&
                   get32le(r + 25) == get32le(request + 24);
        case kMmMemoryWriteRequest:
            return reply.length >= kWriteConfirmLength && get32le(r + 21) == get32le(request + 20);
        default:
            return true;
    }
}

// Frames that answer nothing of this transfer (a station's traffic, a late duplicate) are passed
// over without being decoded, so that they cannot disturb the chunk that is prepared.
bool awaitConfirmation(const uint8_t* request, AvConfirm& record) {
    Clock& clock = systemClock();
    const uint64_t deadline = clock.tickCount() + kChunkConfirmWindowMs;
    MmeFrame frame;
    for (;;) {
        while (receiveFrame(frame)) {
            if (!confirms(frame, request)) continue;
            // A confirmation too short for its fields decodes to -1 with a zero status.
            return plcapi_DecodeFrame(frame.length, frame.bytes.data(), &record) == 0 &&
                   record.error == 0;
        }
        if (clock.tickCount() >= deadline) return false;
        clock.sleepMs(kAvPollSleepMs);
    }
}

TransferEnd aborted() {
    showUpgradeError("Upgrade failed. Operation aborted.");
    return TransferEnd::Failed;
}

}  // namespace

TransferEnd runChunkTransfer(UpgradeControl& control) {
    Clock& clock = systemClock();
    UpgradeProgress progress = plannedProgress();
    const uint64_t start = clock.tickCount();
    AvRequestBuffer frame{};
    AvConfirm record{};
    for (;;) {
        if (control.cancelRequested()) return TransferEnd::Cancelled;
        const uint32_t carried = avOperation().pending.dataLength;
        const int length = plcapi_BuildPendingFrame(kAvRequestCapacity, frame.data());
        if (length <= 0) return aborted();
        sendAvFrame(frame, length);  // a frame that did not go out goes unconfirmed
        if (!awaitConfirmation(frame.data(), record)) return aborted();
        clock.sleepMs(kChunkPauseMs);
        ++progress.framesDone;
        progress.bytesDone += carried;
        progress.elapsedMs = clock.tickCount() - start;
        if (control.progress) control.progress(progress);
        if (record.state == 2) return TransferEnd::Completed;
    }
}

}  // namespace corvel
