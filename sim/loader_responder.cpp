// SPDX-License-Identifier: MIT
#include "sim/loader_responder.h"

#include <algorithm>

#include "platform/bytes.h"
#include "sim/firmware_files.h"
#include "sim/network.h"
#include "sim/upgrade_faults.h"

namespace corvel::sim {

namespace {

constexpr uint8_t kResetEntry = 0x12;
constexpr uint8_t kResetToLoader = 0x67;
constexpr uint8_t kLoaderEntry = 0x10;
constexpr uint8_t kWriteBlock = 0x81;
constexpr uint8_t kCommit = 0x82;
constexpr uint8_t kChecksum = 0x83;
constexpr uint8_t kVerify = 0x84;
constexpr uint8_t kHardwareReset = 0x7F;
constexpr uint8_t kFailed = 0x01;
constexpr size_t kMaxBlock = 1024;
constexpr uint32_t kMacImage = 0x100;
constexpr std::array<uint32_t, 4> kSelectors{0x10, 0x20, 0x80, kMacImage};
// The argument every verify command carries.
constexpr uint32_t kVerifyArgument = 0x40;

// The configuration sections are written whole, each as one block at offset 0.
size_t sectionLength(uint32_t selector) {
    switch (selector) {
        case 0x10:
            return 128;
        case 0x20:
            return 256;
        case 0x80:
            return 512;
        default:
            return 0;
    }
}

// The MAC image comes in whole blocks, each where the last one ended, only the last one shorter;
// a section comes as one block of its own length at offset 0.
bool blockInPlace(const FirmwareStore& store, uint32_t selector, uint32_t offset, size_t length) {
    if (selector != kMacImage) return offset == 0 && length == sectionLength(selector);
    return offset % kMaxBlock == 0 && chunkFollows(store, selector, offset);
}

struct LoaderRequest {
    Network& network;
    int port;
    Device& device;
    Bytes frame;

    // Answer layout: entry 0x10, 17 the command answered, 20 status, 29..32 a value.
    void answer(uint8_t status, uint32_t value, bool chunk) const {
        if (upgradeSilent(device, chunk)) return;
        std::vector<uint8_t> f =
            hp10Frame(macAt(&frame[6]), macAt(&frame[0]), kLoaderEntry, 1, kMinFrameLength);
        f[17] = frame[17];
        f[20] = status;
        put32be(&f[29], value);
        network.answer(port, device, std::move(f));
    }
};

// 18..19 parameter length (data + 10), 20..23 selector, 24..27 offset, 28..29 data length, 30..
void writeBlock(const LoaderRequest& r) {
    if (!fits(r.frame, 18, 12)) return;
    const uint32_t selector = get32be(&r.frame[20]);
    const uint32_t offset = get32be(&r.frame[24]);
    const uint16_t length = get16be(&r.frame[28]);
    uint8_t status = takeUpgradeChunk(r.device);
    const bool whole =
        length <= kMaxBlock && get16be(&r.frame[18]) == length + 10 && fits(r.frame, 30, length) &&
        std::find(kSelectors.begin(), kSelectors.end(), selector) != kSelectors.end();
    if (status == 0 && (!whole || !blockInPlace(r.device.firmware, selector, offset, length)))
        status = kFailed;
    if (status == 0) storeChunk(r.device.firmware, selector, offset, &r.frame[30], length);
    r.answer(status, 0, true);
}

// 20..23 the selectors to commit: every one must have been written.
void commit(const LoaderRequest& r) {
    if (!fits(r.frame, 20, 4)) return;
    const uint32_t mask = get32be(&r.frame[20]);
    FirmwareStore& store = r.device.firmware;
    bool complete = mask != 0;
    uint32_t known = 0;
    for (uint32_t selector : kSelectors) {
        known |= selector;
        if ((mask & selector) && store.modules.count(selector) == 0) complete = false;
    }
    if ((mask & ~known) != 0) complete = false;
    store.committedMask = complete ? mask : 0;
    r.answer(complete ? 0 : kFailed, 0, false);
}

// 20..23 the argument, 0x40 from every host; only what was committed can be verified.
void verify(const LoaderRequest& r) {
    const bool accepted = r.device.firmware.committedMask != 0 && fits(r.frame, 20, 4) &&
                          get32be(&r.frame[20]) == kVerifyArgument;
    r.answer(accepted ? 0 : kFailed, 0, false);
}

// 20..23 selector, 24..27 length: the checksum of that many bytes of the section.
void checksum(const LoaderRequest& r) {
    if (!fits(r.frame, 20, 8)) return;
    const auto found = r.device.firmware.modules.find(get32be(&r.frame[20]));
    if (found == r.device.firmware.modules.end()) return r.answer(kFailed, 0, false);
    std::vector<uint8_t> section = found->second;
    section.resize(get32be(&r.frame[24]), 0);
    const uint32_t value =
        loaderChecksum(section) + (r.device.profile.faults.wrongChecksum ? 1 : 0);
    r.answer(0, value, false);
}

// The device restarts into the committed image; without a commit it stays in its loader.
void hardwareReset(const LoaderRequest& r) {
    Device& d = r.device;
    if (d.firmware.committedMask == 0 || upgradeSilent(d, false)) return;
    if (!d.profile.upgradedFirmware.empty()) d.profile.turboFirmware = d.profile.upgradedFirmware;
    FirmwareStore fresh;
    fresh.chunks = d.firmware.chunks;
    d.firmware = fresh;
    if (d.profile.upgradeRebootMs != 0) d.rebootUntil(r.network.now() + d.profile.upgradeRebootMs);
}

bool addressed(const Device& d, const Mac& destination) {
    return destination == kLoaderMac ||
           (destination == d.mac() && d.profile.loaderAnswersOwnAddress);
}

}  // namespace

bool respondLoader(Network& network, int port, Device& local, Bytes frame) {
    if (!fits(frame, 0, 18)) return local.firmware.inLoader;
    const Mac destination = macAt(&frame[0]);
    if (frame[15] == kResetEntry && frame[17] == kResetToLoader && destination == local.mac()) {
        local.logReceived(port, frame.data(), frame.size(), network.now());
        local.firmware.inLoader = true;
        return true;
    }
    if (frame[15] != kLoaderEntry) return local.firmware.inLoader;
    if (!local.firmware.inLoader || !addressed(local, destination)) return true;
    local.logReceived(port, frame.data(), frame.size(), network.now());
    const LoaderRequest request{network, port, local, frame};
    switch (frame[17]) {
        case kWriteBlock:
            writeBlock(request);
            break;
        case kCommit:
            commit(request);
            break;
        case kVerify:
            verify(request);
            break;
        case kChecksum:
            checksum(request);
            break;
        case kHardwareReset:
            hardwareReset(request);
            break;
        default:
            break;
    }
    return true;
}

}  // namespace corvel::sim
