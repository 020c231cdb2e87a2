// SPDX-License-Identifier: MIT
#include "upgrade/loader_link.h"

#include <optional>

#include "core/answers.h"
#include "core/observer.h"
#include "core/tables.h"
#include "platform/clock.h"
#include "transport/frame_io.h"
#include "upgrade/upgrade_messages.h"

namespace corvel {

namespace {

bool answers(uint8_t response, uint8_t command) {
    if (command == kLoaderChecksum)
        return response == kLoaderChecksum || response == kLoaderChecksumAlt;
    return response == command;
}

// Sleeps waitMs + 5 ms, then takes every frame waiting; the last response to `command` from the
// device at `loader` among them, whatever its status. Frames that keep coming are taken for at
// most as long again as the sleep, counted from its end: a steady stream must not hold the
// upgrade for good, and a sleep the scheduler stretched must not cost the answer already queued.
std::optional<LoaderResponse> lastLoaderResponse(uint32_t waitMs, uint8_t command,
                                                 const Mac& loader) {
    Clock& clock = systemClock();
    const uint32_t settled = waitMs + kLoaderSettleMs;
    clock.sleepMs(settled);
    const Mac host = requestSourceMac();
    if (!macIsSet(host.data())) return std::nullopt;
    const uint64_t cap = clock.tickCount() + settled;
    std::optional<LoaderResponse> last;
    MmeFrame frame;
    for (bool first = true; (first || clock.tickCount() < cap) && receiveFrame(frame);
         first = false) {
        // Only the device the commands go to answers them; at the loader's own address, the
        // device in its loader answers, from whichever address it keeps there.
        const uint8_t* source = frame.bytes.data() + 6;
        if (loader == kSecondaryLoaderMac ? !couldBeDevice(source)
                                          : !answersRequestTo(source, loader))
            continue;
        const auto response = parseLoaderResponse({frame.bytes.data(), frame.length}, host);
        if (response && answers(response->command, command)) last = response;
    }
    return last;
}

}  // namespace

Mac loaderDestination() {
    Mac destination{};
    copyLocalMac(destination.data());
    return destination;
}

bool sendLoaderFrame(const LoaderFrame& frame) {
    if (!sendFrame(core.currentAdapter, frame.bytes.data(), uint16_t(frame.length))) {
        showUpgradeError("Packet Sending Failure");
        return false;
    }
    return true;
}

bool awaitLoaderResponse(uint32_t waitMs, uint8_t command, uint32_t* value) {
    const auto response = lastLoaderResponse(waitMs, command, loaderDestination());
    if (!response || response->status != 0) return false;
    if (value != nullptr) *value = response->value;
    return true;
}

bool probeLoader() {
    const Mac source = requestSourceMac();
    if (!macIsSet(source.data())) return false;
    const LoaderFrame query =
        buildLoaderChecksumQuery(source, kSecondaryLoaderMac, kModuleMacImage, 0);
    if (!sendFrame(core.currentAdapter, query.bytes.data(), uint16_t(query.length))) return false;
    return lastLoaderResponse(kLoaderProbeWaitMs, kLoaderChecksum, kSecondaryLoaderMac).has_value();
}

bool loaderCommand(uint8_t command, uint32_t argument) {
    if (!sendLoaderFrame(
            buildLoaderCommand(requestSourceMac(), loaderDestination(), command, argument)))
        return false;
    if (awaitLoaderResponse(kCommandWaitMs, command)) return true;
    showUpgradeError("Packet sent but no response");
    return false;
}

bool querySectionChecksum(uint32_t selector, std::span<const uint8_t> data) {
    const uint32_t local = sectionChecksum(data);
    const Mac source = requestSourceMac();
    if (!macIsSet(source.data())) return false;
    if (!sendLoaderFrame(
            buildLoaderChecksumQuery(source, loaderDestination(), selector, uint32_t(data.size()))))
        return false;
    uint32_t device = 0;
    if (!awaitLoaderResponse(kChecksumWaitMs, kLoaderChecksum, &device)) {
        showUpgradeError("Packet sent but no response");
        return false;
    }
    return device == local;
}

}  // namespace corvel
