// SPDX-License-Identifier: MIT
#include "core/observer.h"

#include <cstring>
#include <span>

#include "avcodec/frame.h"
#include "core/answers.h"
#include "core/tables.h"
#include "hp10codec/frames.h"
#include "hp10codec/param_block.h"
#include "platform/bytes.h"
#include "platform/clock.h"
#include "platform/notifier.h"
#include "transport/frame_io.h"

namespace corvel {

namespace {

constexpr int kParamPollTries = 3;

// The statistics answer an observer call hands back; it stays valid until the next one.
MmeFrame heldStatistics;

bool isPowerline(const MmeFrame& frame) {
    if (frame.length < kEthernetHeaderLength) return false;
    const uint16_t ethertype = get16be(frame.bytes.data() + kOffsetEthertype);
    return ethertype == kHp10Ethertype || ethertype == kAvEthertype;
}

bool isHp10Entry(const MmeFrame& frame, uint8_t type) {
    return frame.length > kHp10EntryDataOffset &&
           get16be(frame.bytes.data() + kHp10EthertypeOffset) == kHp10Ethertype &&
           frame.bytes[kHp10EntryTypeOffset] == type;
}

// The local device answers a request sent in its own name to itself. Once the local device of
// interface `index` is known, requests go out in no other device's name: a frame that another
// address sends to itself then answers nothing the host asked.
bool isSelfAddressed(int index, const MmeFrame& frame) {
    const uint8_t* b = frame.bytes.data();
    const uint8_t* local = core.adapters[index].localMac;
    return macEqual(b, b + 6) && !macEqual(b, kBroadcastMac.data()) &&
           (!macIsSet(local) || macEqual(b + 6, local));
}

void noteLocalDevice(int index, const MmeFrame& frame) {
    AdapterRecord& adapter = core.adapters[index];
    const uint8_t firstData = frame.bytes[kHp10EntryDataOffset];
    const bool localAnswer = (isHp10Entry(frame, kHp10LocalStats) ||
                              isHp10Entry(frame, kHp10LocalAnswer)) &&
                             (firstData & 0x80) == 0;
    if (!core.localReplySeen && !localAnswer) return;
    copyMac(adapter.localMac, frame.bytes.data() + 6);
    adapter.localPresent = 1;
    if (!isHp10Entry(frame, kHp10LocalStats)) return;
    adapter.localKind = firstData & 0x7F;
    if (adapter.localKind >= 1 && adapter.localKind <= 3) {
        // The parameter poll's own waits clear the reply flag, but the frame that started it
        // may be the very answer an outer wait is looking for: keep what it proved.
        const int32_t seen = core.localReplySeen;
        pollLocalParams(index);
        core.localReplySeen |= seen;
    } else {
        adapter.localPresent = 0;
    }
}

void takeParamBlock(int index, const MmeFrame& frame) {
    const auto reply = readParamReply(std::span<const uint8_t>(frame.bytes.data(), frame.length));
    if (!reply || reply->copy != kParamStoredCopy) return;
    // The block holds the network key: only the local device's own answer is taken.
    AdapterRecord& adapter = core.adapters[index];
    if (!macIsSet(adapter.localMac) || !macEqual(frame.bytes.data() + 6, adapter.localMac)) return;
    adapter.paramsValid = 1;
    std::memcpy(adapter.paramBlock, reply->block.data(), kParamBlockSize);
}

}  // namespace

const MmeFrame* observeFrame(int index, PollWait wait) {
    bool faulted = false;
    const MmeFrame* frame = pollFrame(index, &faulted, wait);
    if (faulted) {
        notifier().notify("Reading Error",
                          "Error occured while reading the frame. Please try after sometime.",
                          Icon::Error, Buttons::Ok);
        return nullptr;
    }
    if (frame == nullptr || !isPowerline(*frame)) return frame;
    // A frame no device can have sent (from one of the host's own addresses, a group address or
    // none) proves nothing about the local device.
    if (!couldBeDevice(frame->bytes.data() + 6)) return frame;
    if (isSelfAddressed(index, *frame)) core.localReplySeen = 1;
    if (!isHp10Entry(*frame, kHp10LocalStats)) {
        noteLocalDevice(index, *frame);
        takeParamBlock(index, *frame);
        return frame;
    }
    // A local statistics answer may start the parameter poll, whose waits take newer frames
    // through the shared receive holder. The caller is still owed this frame: its station slots
    // carry the rates.
    const MmeFrame received = *frame;
    noteLocalDevice(index, received);
    heldStatistics = received;
    return &heldStatistics;
}

bool waitLocalReply(int index, uint32_t windowMs) {
    Clock& clock = systemClock();
    const uint64_t start = clock.tickCount();
    do {
        core.localReplySeen = 0;
        // Other frames queued ahead of the answer are looked at without a pause each: the answer
        // behind them has already come. The pause is for a wire that had nothing (or a fault).
        if (observeFrame(index) == nullptr) clock.sleepMs(1);
        if (core.localReplySeen) return true;
    } while (clock.tickCount() - start < windowMs);
    return false;
}

void pollLocalParams(int index) {
    // A local statistics answer that comes while a poll waits would start another poll inside
    // it; a device that keeps sending them would nest polls without end and hold the wait that
    // started the first forever. The running poll is already asking.
    static bool running = false;
    if (running) return;
    const uint8_t* source = interfaceEntries[index].interfaceMac;
    if (!macIsSet(source)) return;
    running = true;
    AdapterRecord& adapter = core.adapters[index];
    adapter.localMissCount = 0;
    Mac from{};
    std::memcpy(from.data(), source, 6);
    const Hp10Frame request = buildParamRequest(from, kBroadcastMac, 0);
    for (int t = 0; t < kParamPollTries; ++t) {
        sendFrame(index, request.bytes.data(), uint16_t(request.length));
        if (waitLocalReply(index, 50 + 4 * uint32_t(t))) break;
    }
    adapter.localMissCount = 1;
    running = false;
}

namespace {

// A frame that has already arrived, from the lowest interface that has one.
bool takeWaitingFrame(MmeFrame& frame) {
    for (int i = 0; i < adapterCount; ++i) {
        const MmeFrame* taken = observeFrame(i, PollWait::None);
        core.localReplySeen = 0;
        if (taken == nullptr) continue;
        if (!isPowerline(*taken)) continue;
        frame = *taken;
        core.lastRxAdapter = i;
        return true;
    }
    return false;
}

}  // namespace

bool receiveFrame(MmeFrame& frame) {
    // One wait on every interface at once rather than a read time-out per idle interface; what
    // has arrived is still taken lowest interface first.
    if (takeWaitingFrame(frame)) return true;
    return waitForFrames() && takeWaitingFrame(frame);
}

bool receiveNextFrame(MmeFrame& frame, uint32_t pauseMs, uint64_t untilMs) {
    Clock& clock = systemClock();
    if (clock.tickCount() >= untilMs) return false;
    if (takeWaitingFrame(frame)) return true;
    clock.sleepMs(pauseMs);
    return clock.tickCount() < untilMs && receiveFrame(frame);
}

}  // namespace corvel
