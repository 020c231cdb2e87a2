// SPDX-License-Identifier: MIT
#include "av/link_health_ops.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <span>

#include "av/exchanges.h"
#include "core/tables.h"
#include "platform/clock.h"

namespace corvel {

namespace {

// Between two version requests to a restarting device: with the 100 ms window, one request about
// every quarter of a second, gentle on a device that is starting and precise enough for a restart
// that takes seconds.
constexpr uint32_t kVersionRetryPauseMs = 150;

using Encoder = std::function<size_t(std::span<uint8_t> buffer, const Mac& source)>;

std::string statusText(const char* text, uint8_t status) {
    char code[16];
    std::snprintf(code, sizeof code, "0x%02X", status);
    return std::string(text) + " (status " + code + ")";
}

// The selected interface's local device, to which the link requests go.
std::optional<Mac> localDevice(std::string& error) {
    Mac local{};
    copyLocalMac(local.data());
    if (!macIsSet(local.data())) {
        error = "no local device is known on the selected interface";
        return std::nullopt;
    }
    return local;
}

// Encodes one request from the selected interface's address, sends it and waits for its
// confirmation from `to`, the device it went to; the frame as it came.
std::optional<MmeFrame> exchange(uint16_t mmtype, const Mac& to, const std::string& what,
                                 const Encoder& encode, std::string& error) {
    const Mac source = requestSourceMac();
    if (!macIsSet(source.data())) {
        error = "the selected interface has no address to send the " + what + " from";
        return std::nullopt;
    }
    AvRequestBuffer request{};
    const size_t length = encode(std::span<uint8_t>(request.data(), kAvRequestCapacity), source);
    if (length == 0) {
        error = "the " + what + " could not be encoded (codec error " + std::to_string(errno) + ")";
        return std::nullopt;
    }
    if (!sendAvFrame(request, int(length))) {
        error = "the " + what + " to " + formatMac(to) + " could not be sent";
        return std::nullopt;
    }
    MmeFrame answer;
    if (!awaitAvConfirmFrame(mmtype, to, answer)) {
        error = "no answer from " + formatMac(to) + " to the " + what + " within " +
                std::to_string(kAvAwaitWindowMs) + " ms";
        return std::nullopt;
    }
    return answer;
}

std::span<const uint8_t> bytesOf(const MmeFrame& frame) {
    return {frame.bytes.data(), frame.length};
}

// Whether `device` answers one version request within the usual window.
bool answersVersion(const Mac& device) {
    sendAvRequest(device, kMmVersionRequest);
    MmeFrame ignored;
    return awaitAvConfirmFrame(kMmVersionRequest, device, ignored);
}

// Version requests to `device`, one per retry period, until `done` says the answer (or its
// absence) is the one waited for or `limitMs` passes.
std::optional<uint32_t> pollVersion(const Mac& device, uint32_t limitMs, bool untilAnswered,
                                    const std::function<void(uint32_t)>& tick) {
    Clock& clock = systemClock();
    const uint64_t start = clock.tickCount();
    const auto elapsed = [&] {
        return uint32_t(std::min<uint64_t>(clock.tickCount() - start, UINT32_MAX));
    };
    for (;;) {
        const bool answered = answersVersion(device);
        if (answered == untilAnswered) return elapsed();
        if (tick) tick(elapsed());
        if (elapsed() >= limitMs) return std::nullopt;
        clock.sleepMs(std::min(kVersionRetryPauseMs, limitMs - elapsed()));
    }
}

}  // namespace

std::optional<LinkStatsConfirm> requestLinkStats(const Mac& station, std::string& error) {
    const std::optional<Mac> local = localDevice(error);
    if (!local) return std::nullopt;
    // Both directions over every priority of the one link; the counters are read, not cleared,
    // so that another reader's figures go on growing.
    const LinkStatsRequest request{false, LinkDirection::Both, kLinkIdAllForPeer, station};
    const std::string what = "link statistics request for " + formatMac(station);
    const std::optional<MmeFrame> answer = exchange(
        kMmLinkStatsRequest, *local, what,
        [&](std::span<uint8_t> buffer, const Mac& source) {
            return encodeLinkStatsRequest(buffer, source, *local, request);
        },
        error);
    if (!answer) return std::nullopt;
    LinkStatsConfirm confirm;
    if (const DecodeOutcome outcome = decodeLinkStatsConfirm(bytesOf(*answer), confirm);
        !outcome) {
        error = formatMac(*local) + " answered the " + what + " with a broken frame: " +
                outcome.reason;
        return std::nullopt;
    }
    if (confirm.status != 0) {
        error = formatMac(*local) + " refused the " + what + ": " +
                statusText(linkStatsStatusText(confirm.status), confirm.status);
        return std::nullopt;
    }
    if (!confirm.tx || !confirm.rx) {
        error = formatMac(*local) + " answered the " + what + " with the " +
                (confirm.tx ? "transmit" : "receive") + " counters only";
        return std::nullopt;
    }
    return confirm;
}

std::optional<ToneMapConfirm> requestToneMap(const Mac& station, ToneMapDirection direction,
                                             uint8_t slot, std::string& error) {
    const std::optional<Mac> local = localDevice(error);
    if (!local) return std::nullopt;
    const bool rx = direction == ToneMapDirection::Rx;
    const ToneMapRequest request{station, slot, Coupling::Primary};
    const std::string what = std::string(rx ? "receive" : "transmit") +
                             " tone map request for " + formatMac(station) + " in slot " +
                             std::to_string(slot);
    const std::optional<MmeFrame> answer = exchange(
        rx ? kMmRxToneMapRequest : kMmTxToneMapRequest, *local, what,
        [&](std::span<uint8_t> buffer, const Mac& source) {
            return encodeToneMapRequest(buffer, source, *local, direction, request);
        },
        error);
    if (!answer) return std::nullopt;
    ToneMapConfirm confirm;
    if (const DecodeOutcome outcome = decodeToneMapConfirm(bytesOf(*answer), direction, confirm);
        !outcome) {
        error = formatMac(*local) + " answered the " + what + " with a broken frame: " +
                outcome.reason;
        return std::nullopt;
    }
    if (confirm.status != 0) {
        error = formatMac(*local) + " refused the " + what + ": " +
                statusText(toneMapStatusText(confirm.status), confirm.status);
        return std::nullopt;
    }
    if (confirm.slot != slot) {
        error = formatMac(*local) + " answered the " + what + " with the map of slot " +
                std::to_string(confirm.slot);
        return std::nullopt;
    }
    return confirm;
}

bool requestReset(const Mac& device, std::string& error) {
    const std::optional<MmeFrame> answer = exchange(
        kMmResetDeviceRequest, device, "reset request",
        [&](std::span<uint8_t> buffer, const Mac& source) {
            return encodeResetDeviceRequest(buffer, source, device);
        },
        error);
    if (!answer) return false;
    ResetDeviceConfirm confirm;
    if (const DecodeOutcome outcome = decodeResetDeviceConfirm(bytesOf(*answer), confirm);
        !outcome) {
        error = formatMac(device) + " answered the reset request with a broken frame: " +
                outcome.reason;
        return false;
    }
    if (confirm.status != 0) {
        error = formatMac(device) + " refused the reset request: " +
                statusText(resetStatusText(confirm.status), confirm.status);
        return false;
    }
    return true;
}

std::optional<uint32_t> waitUntilAnswers(const Mac& device, uint32_t limitMs,
                                         const std::function<void(uint32_t elapsedMs)>& tick) {
    return pollVersion(device, limitMs, true, tick);
}

std::optional<uint32_t> waitUntilSilent(const Mac& device, uint32_t limitMs) {
    return pollVersion(device, limitMs, false, {});
}

}  // namespace corvel
