// SPDX-License-Identifier: MIT
#include "upgrade/chunk_transfer.h"

#include <span>

#include "av/exchanges.h"
#include "avcodec/frame.h"
#include "avcodec/transfer.h"
#include "core/answers.h"
#include "core/observer.h"
#include "platform/clock.h"
#include "upgrade/av_upgrade.h"
#include "upgrade/upgrade_messages.h"

namespace corvel {

namespace {

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

// Whether `reply` is the confirmation of `request` itself (isConfirmationOf), from the device
// it went to (bytes 0..5 of the request) and no other.
bool confirms(const MmeFrame& reply, const uint8_t* request) {
    return reply.length >= kAvHeaderLength && answersRequestTo(&reply.bytes[6], request) &&
           isConfirmationOf(std::span<const uint8_t>(reply.bytes.data(), reply.length), request);
}

// Frames that answer nothing of this transfer (a station's traffic, a late duplicate) are passed
// over without being decoded, so that they cannot disturb the chunk that is prepared. They are
// looked at as long as they keep coming, but only up to the cap the other confirmation waits
// have: a steady stream of them would otherwise hold the transfer for good.
bool awaitConfirmation(const uint8_t* request, AvConfirm& record) {
    Clock& clock = systemClock();
    const uint64_t start = clock.tickCount();
    const uint64_t deadline = start + kChunkConfirmWindowMs;
    const uint64_t cap = start + uint64_t(kChunkConfirmWindowMs) * kAvWaitCapFactor;
    MmeFrame frame;
    for (;;) {
        while (clock.tickCount() < cap && receiveFrame(frame)) {
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
        if (record.state == kConfirmComplete) return TransferEnd::Completed;
    }
}

}  // namespace corvel
