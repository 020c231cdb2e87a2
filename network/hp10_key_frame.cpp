// SPDX-License-Identifier: MIT
#include "network/hp10_key_frame.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <span>

#include "core/observer.h"
#include "core/tables.h"
#include "hp10codec/device_log_hook.h"
#include "network/hp10_confirm.h"
#include "network/key_state.h"
#include "network/scan_pause.h"
#include "platform/clock.h"
#include "transport/frame_io.h"

namespace corvel {

namespace {

constexpr uint32_t kReadBackSettleMs = 100;
constexpr int kReadBackQueries = 3;
constexpr uint32_t kReadBackWindowMs = 500;

Hp10ParamBytes paramsToSend(bool mark, uint8_t thirdParam) {
    return hostParamBytes(std::span<const uint8_t, kHp10ParamBlockSize>(core.localParamBlock), mark,
                          thirdParam);
}

// Asks the local device for its parameter block until one equals localParamBlock.
bool readBackMatches(const Mac& source) {
    Clock& clock = systemClock();
    std::array<uint8_t, kParamBlockSize> expected{};
    std::memcpy(expected.data(), core.localParamBlock, expected.size());
    if (const auto& lent = membershipKeyState().lentSelectZeroKey)
        std::copy(lent->begin(), lent->end(), expected.begin() + kBlockSelectZeroKey);
    pauseMs(kReadBackSettleMs);
    const Hp10Frame query = buildParamRequest(source, kBroadcastMac, 0);
    const Mac local = localHp10Mac();
    MmeFrame frame;
    for (int q = 0; q < kReadBackQueries; ++q) {
        sendHp10Frame(query);
        const uint64_t deadline = clock.tickCount() + kReadBackWindowMs;
        while (clock.tickCount() < deadline) {
            if (!receiveFrame(frame)) {
                clock.sleepMs(1);
                continue;
            }
            // Only the local device's own block says what it holds.
            const auto reply =
                readParamReply(std::span<const uint8_t>(frame.bytes.data(), frame.length));
            if (!reply || reply->copy != kParamStoredCopy || frameSource(frame) != local) continue;
            if (std::equal(reply->block.begin(), reply->block.end(), expected.begin())) return true;
            writeDeviceLogEntry(DeviceLogKind::keyMismatch, reply->block);
        }
    }
    return false;
}

}  // namespace

Hp10Key localBlockKey(size_t offset) {
    Hp10Key key{};
    std::memcpy(key.data(), core.localParamBlock + offset, key.size());
    return key;
}

Hp10Key hp10KeyOf(const NetworkKey& key) {
    Hp10Key out{};
    std::copy_n(key.begin(), out.size(), out.begin());
    return out;
}

NetworkKey keyBufferOf(const Hp10Key& key) {
    NetworkKey out{};
    std::copy(key.begin(), key.end(), out.begin());
    return out;
}

bool sendHp10Frame(const Hp10Frame& frame) {
    return sendFrame(core.currentAdapter, frame.bytes.data(), uint16_t(frame.length));
}

Hp10KeyOutcome sendHp10KeyFrame(const Hp10KeyFrame& request) {
    Hp10KeyOutcome outcome;
    if (core.localIsTurbo) return outcome;
    ScanPause pause;
    const Mac source = requestSourceMac();
    if (!macIsSet(source.data())) return outcome;

    const bool blockKnown = core.localKeyKnown != 0;
    const bool withParams = request.withParams && blockKnown;
    const Hp10ParamBytes params = paramsToSend(request.mark, request.thirdParam);
    const Hp10Frame frame =
        buildKeyOperationFrame(source, request.destination, request.keySelect, request.key,
                               withParams ? std::optional(params) : std::nullopt);
    if (!sendHp10Frame(frame)) return outcome;
    outcome.sent = true;

    uint8_t* block = core.localParamBlock;
    if (withParams && !request.mark) {
        block[kBlockParams] = params.p1;
        block[kBlockParams + 1] = params.p2;
        block[kBlockParams + 2] = params.p3;
    }
    // A broadcast reaches the local device itself: it now holds the key under that select. Key
    // select 0 is the key it uses to reach one remote device, not its network key; the block
    // keeps the device's own key there, to be restored.
    const bool toLocal = request.destination == kBroadcastMac;
    if (toLocal && request.keySelect == 0) {
        std::optional<Hp10Key>& lent = membershipKeyState().lentSelectZeroKey;
        if (request.key == localBlockKey(kBlockSelectZeroKey))
            lent.reset();
        else
            lent = request.key;
    }
    const bool localTookNetworkKey = toLocal && request.keySelect != 0;
    if (localTookNetworkKey) {
        block[kBlockKeySelect] = request.keySelect;
        std::memcpy(block + kBlockNek, request.key.data(), request.key.size());
    }
    // A block never received, or a marked frame's parameters (left out of localParamBlock on
    // purpose), could never read back equal: the read-back would only log false mismatches and
    // use up the answers the caller waits for.
    if (localTookNetworkKey && blockKnown && !request.mark &&
        currentAdapterRecord().paramsValid != 0)
        outcome.readBackMatched = readBackMatches(source);
    return outcome;
}

bool sendMarkedParamEntry(const Mac& destination, uint8_t thirdParam) {
    if (core.localIsTurbo || core.localKeyKnown == 0) return false;
    const Mac source = requestSourceMac();
    if (!macIsSet(source.data())) return false;
    const Hp10ParamBytes params = paramsToSend(true, thirdParam);
    return sendHp10Frame(buildParamEntry(source, destination, params.p1, params.p2, params.p3));
}

}  // namespace corvel
