// SPDX-License-Identifier: MIT
#include "sim/av_upgrade_responder.h"

#include <array>
#include <optional>

#include "platform/bytes.h"
#include "sim/av_responder.h"
#include "sim/firmware_files.h"
#include "sim/network.h"
#include "sim/pib.h"
#include "sim/upgrade_faults.h"

namespace corvel::sim {

namespace {

constexpr uint8_t kFirmwareModule = 1;
constexpr uint8_t kPibModule = 2;
constexpr uint8_t kCommitFirmware = 0x01;
constexpr uint8_t kCommitPib = 0x02;
constexpr size_t kMaxChunk = 1024;
constexpr size_t kWriteConfirmLength = 29;
constexpr size_t kEndConfirmLength = 22;
constexpr size_t kStartPayload = 20;
constexpr size_t kStartPayloadLength = 20;
// Word 2 of an image header; words 3, 4 and 5 follow it.
constexpr size_t kNvmHeaderLoadAddress = 8;

struct UpgradeRequest {
    Network& network;
    int port;
    Device& device;
    Bytes frame;

    std::vector<uint8_t> confirmation(size_t length) const {
        return avFrame(macAt(&frame[6]), device.mac(), uint16_t(get16le(&frame[15]) | 1), length);
    }
    void answer(std::vector<uint8_t> f, bool chunk) const {
        if (!upgradeSilent(device, chunk)) network.answer(port, device, std::move(f));
    }
    // A status of the port's or the device's fault, else 0.
    uint8_t forced() const { return network.forcedAvStatus(port, device); }
};

// Request: 20 module id, 22..23 length, 24..27 offset, 28..31 checksum, 32.. chunk.
// Confirmation: 20 status, 21 module id, 23..24 length, 25..28 offset.
void answerModuleWrite(const UpgradeRequest& r) {
    if (!fits(r.frame, 20, 12)) return;
    const uint8_t module = r.frame[20];
    const uint16_t length = get16le(&r.frame[22]);
    const uint32_t offset = get32le(&r.frame[24]);
    uint8_t status = takeUpgradeChunk(r.device);
    if (status == 0) status = r.forced();
    const bool whole = length != 0 && length <= kMaxChunk && fits(r.frame, 32, length) &&
                       (module == kFirmwareModule || module == kPibModule);
    if (status == 0 &&
        (!whole || complementedWordXor(&r.frame[32], length) != get32le(&r.frame[28]) ||
         !chunkFollows(r.device.firmware, module, offset)))
        status = kAvFailureStatus;
    if (status == 0) storeChunk(r.device.firmware, module, offset, &r.frame[32], length);

    std::vector<uint8_t> f = r.confirmation(kWriteConfirmLength);
    f[20] = status;
    f[21] = module;
    put16le(&f[23], length);
    put32le(&f[25], offset);
    r.answer(std::move(f), true);
}

// Request: 20..23 address, 24..27 length, 28.. chunk. Confirmation: 20 status, 21..24 address,
// 25..28 length.
void answerMemoryWrite(const UpgradeRequest& r) {
    if (!fits(r.frame, 20, 8)) return;
    const uint32_t address = get32le(&r.frame[20]);
    const uint32_t length = get32le(&r.frame[24]);
    uint8_t status = takeUpgradeChunk(r.device);
    if (status == 0) status = r.forced();
    if (status == 0 && (length == 0 || length > kMaxChunk || !fits(r.frame, 28, length)))
        status = kAvFailureStatus;
    if (status == 0) storeMemory(r.device.firmware, address, &r.frame[28], length);

    std::vector<uint8_t> f = r.confirmation(kWriteConfirmLength);
    f[20] = status;
    put32le(&f[21], address);
    put32le(&f[25], length);
    r.answer(std::move(f), true);
}

const std::vector<uint8_t>* moduleOf(const FirmwareStore& store, uint32_t key) {
    const auto found = store.modules.find(key);
    return found == store.modules.end() ? nullptr : &found->second;
}

// The device restarts into what it was given, after its confirmation has gone out.
void restart(const UpgradeRequest& r, const std::vector<uint8_t>* pib) {
    Device& d = r.device;
    if (pib != nullptr) d.installPib(*pib);
    if (!d.profile.upgradedFirmware.empty()) d.profile.firmware = d.profile.upgradedFirmware;
    d.firmware.modules.clear();
    if (d.profile.upgradeRebootMs != 0)
        d.rebootUntil(r.network.now() + r.network.answerDelay(r.port, d) +
                      d.profile.upgradeRebootMs);
}

void answerEnd(const UpgradeRequest& r, uint8_t status, const std::vector<uint8_t>* pib) {
    std::vector<uint8_t> f = r.confirmation(kEndConfirmLength);
    f[20] = status;
    const bool silent = upgradeSilent(r.device, false);
    r.answer(std::move(f), false);
    if (status == 0 && !silent) restart(r, pib);
}

// Payload 20: the modules to commit (0x01 firmware, 0x02 PIB; 0x10 passed on).
void answerCommit(const UpgradeRequest& r) {
    if (!fits(r.frame, 20, 1)) return;
    const uint8_t mask = r.frame[20];
    const FirmwareStore& store = r.device.firmware;
    const auto* firmware = moduleOf(store, kFirmwareModule);
    const auto* pib = moduleOf(store, kPibModule);
    uint8_t status = r.forced();
    const bool sound = (mask & (kCommitFirmware | kCommitPib)) != 0 &&
                       (!(mask & kCommitFirmware) || (firmware && nvmChainSound(*firmware))) &&
                       (!(mask & kCommitPib) || (pib && pibSound(*pib)));
    // Only a device whose configuration block says 0 keeps its images in NVM.
    if (status == 0 && (r.device.profile.configStatus != 0 || !sound)) status = kAvFailureStatus;
    answerEnd(r, status, (mask & kCommitPib) ? pib : nullptr);
}

// The image a start request names: payload 20 is 0x01, 21..23 zero, then four words of the image
// header it starts (load address, length, and two words the device takes as they are).
struct NamedImage {
    std::array<uint32_t, 4> words{};
};

std::optional<NamedImage> namedImage(const UpgradeRequest& r) {
    if (!fits(r.frame, kStartPayload, kStartPayloadLength) || r.frame[kStartPayload] != 0x01 ||
        r.frame[kStartPayload + 1] != 0 || r.frame[kStartPayload + 2] != 0 ||
        r.frame[kStartPayload + 3] != 0)
        return std::nullopt;
    NamedImage named;
    for (size_t i = 0; i < named.words.size(); ++i)
        named.words[i] = get32le(&r.frame[kStartPayload + 4 + 4 * i]);
    return named;
}

// Module path: the firmware module's first header must carry exactly the words named.
bool namesFirstHeader(const std::vector<uint8_t>& firmware, const NamedImage& named) {
    if (firmware.size() < kNvmHeaderLength) return false;
    for (size_t i = 0; i < named.words.size(); ++i)
        if (get32le(&firmware[kNvmHeaderLoadAddress + 4 * i]) != named.words[i]) return false;
    return true;
}

// Starts what was written: the modules of a module-write path, or the memory regions of a
// memory-write path (the PIB at its fixed address, the named image at its load address with
// exactly the named length).
void answerStart(const UpgradeRequest& r) {
    const FirmwareStore& store = r.device.firmware;
    const auto named = namedImage(r);
    const auto* firmware = moduleOf(store, kFirmwareModule);
    const auto* pib = moduleOf(store, kPibModule);
    bool sound = false;
    if (firmware && pib) {
        sound = named && nvmChainSound(*firmware) && pibSound(*pib) &&
                namesFirstHeader(*firmware, *named);
    } else if ((pib = moduleOf(store, kAvPibMemoryAddress)) != nullptr && named) {
        const auto* image = moduleOf(store, named->words[0]);
        sound =
            pibSound(*pib) && image != nullptr && image != pib && image->size() == named->words[1];
    }
    uint8_t status = r.forced();
    if (status == 0 && !sound) status = kAvFailureStatus;
    answerEnd(r, status, pib);
}

}  // namespace

bool respondAvUpgrade(Network& network, int port, Device& device, Bytes frame) {
    const UpgradeRequest request{network, port, device, frame};
    switch (get16le(&frame[15])) {
        case kAvModuleWriteRequest:
            answerModuleWrite(request);
            return true;
        case kAvMemoryWriteRequest:
            answerMemoryWrite(request);
            return true;
        case kAvModuleCommitRequest:
            answerCommit(request);
            return true;
        case kAvStartRequest:
            answerStart(request);
            return true;
        default:
            return false;
    }
}

}  // namespace corvel::sim
