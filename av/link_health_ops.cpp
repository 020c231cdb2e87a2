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

std::span<const uint8_t> bytesOf(const MmeFrame& frame) {
    return {frame.bytes.data(), frame.length};
}

// One request and what its confirmation must be: sent to `to`, answered by `to` alone, decoded
// in full and with a status of 0.
template <typename Confirm>
struct Exchange {
    uint16_t mmtype;
    const Mac& to;
    std::string what;  // "reset request": how the error names the request
    Encoder encode;
    std::function<DecodeOutcome(std::span<const uint8_t>, Confirm&)> decode;
    const char* (*statusTextOf)(uint8_t);
};

// Encodes the request from the selected interface's address, sends it and waits for its
// confirmation; the decoded confirmation, or nullopt with `error` saying why.
template <typename Confirm>
std::optional<Confirm> exchange(const Exchange<Confirm>& e, std::string& error) {
    const Mac source = requestSourceMac();
    if (!macIsSet(source.data())) {
        error = "the selected interface has no address to send the " + e.what + " from";
        return std::nullopt;
    }
    AvRequestBuffer request{};
    const size_t length = e.encode(std::span<uint8_t>(request.data(), kAvRequestCapacity), source);
    if (length == 0) {
        error = "the " + e.what + " could not be encoded (codec error " + std::to_string(errno) +
                ")";
        return std::nullopt;
    }
    if (!sendAvFrame(request, int(length))) {
        error = "the " + e.what + " to " + formatMac(e.to) + " could not be sent";
        return std::nullopt;
    }
    MmeFrame answer;
    if (!awaitAvConfirmFrame(e.mmtype, e.to, answer)) {
        error = "no answer from " + formatMac(e.to) + " to the " + e.what + " within " +
                std::to_string(kAvAwaitWindowMs) + " ms";
        return std::nullopt;
    }
    Confirm confirm;
    if (const DecodeOutcome outcome = e.decode(bytesOf(answer), confirm); !outcome) {
        error = formatMac(e.to) + " answered the " + e.what + " with a broken frame: " +
                outcome.reason;
        return std::nullopt;
    }
    if (confirm.status != 0) {
        error = formatMac(e.to) + " refused the " + e.what + ": " +
                statusText(e.statusTextOf(confirm.status), confirm.status);
        return std::nullopt;
    }
    return confirm;
}

// Whether `device` answers one version request within the usual window.
bool answersVersion(const Mac& device) {
    sendAvRequest(device, kMmVersionRequest);
    MmeFrame ignored;
    return awaitAvConfirmFrame(kMmVersionRequest, device, ignored);
}

// Version requests to `device`, one per retry period, until one is answered (`untilAnswered`)
// or one goes unanswered (otherwise), or `limitMs` passes.
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
    std::optional<LinkStatsConfirm> confirm = exchange<LinkStatsConfirm>(
        {kMmLinkStatsRequest, *local, what,
         [&](std::span<uint8_t> buffer, const Mac& source) {
             return encodeLinkStatsRequest(buffer, source, *local, request);
         },
         decodeLinkStatsConfirm, linkStatsStatusText},
        error);
    if (confirm && (!confirm->tx || !confirm->rx)) {
        error = formatMac(*local) + " answered the " + what + " with the " +
                (confirm->tx ? "transmit" : "receive") + " counters only";
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
    std::optional<ToneMapConfirm> confirm = exchange<ToneMapConfirm>(
        {rx ? kMmRxToneMapRequest : kMmTxToneMapRequest, *local, what,
         [&](std::span<uint8_t> buffer, const Mac& source) {
             return encodeToneMapRequest(buffer, source, *local, direction, request);
         },
         [direction](std::span<const uint8_t> frame, ToneMapConfirm& out) {
             return decodeToneMapConfirm(frame, direction, out);
         },
         toneMapStatusText},
        error);
    if (confirm && confirm->slot != slot) {
        error = formatMac(*local) + " answered the " + what + " with the map of slot " +
                std::to_string(confirm->slot);
        return std::nullopt;
    }
    return confirm;
}

bool requestReset(const Mac& device, std::string& error) {
    return exchange<ResetDeviceConfirm>(
               {kMmResetDeviceRequest, device, "reset request",
                [&](std::span<uint8_t> buffer, const Mac& source) {
                    return encodeResetDeviceRequest(buffer, source, device);
                },
                decodeResetDeviceConfirm, resetStatusText},
               error)
        .has_value();
}

std::optional<uint32_t> waitUntilAnswers(const Mac& device, uint32_t limitMs,
                                         const std::function<void(uint32_t elapsedMs)>& tick) {
    return pollVersion(device, limitMs, true, tick);
}

std::optional<uint32_t> waitUntilSilent(const Mac& device, uint32_t limitMs) {
    return pollVersion(device, limitMs, false, {});
}

}  // namespace corvel
