// SPDX-License-Identifier: MIT
#include "upgrade/av_files.h"

#include "avcodec/image_format.h"
#include "avcodec/nvm_chain.h"
#include "avcodec/pib.h"
#include "platform/bytes.h"
#include "upgrade/av_upgrade.h"
#include "upgrade/upgrade_file.h"
#include "upgrade/upgrade_messages.h"

namespace corvel {

namespace {

constexpr size_t kPibLengthField = 4;

std::optional<std::vector<uint8_t>> readFile(const std::string& path, const char* failure,
                                             const char* role) {
    std::vector<uint8_t> bytes;
    std::string reason;
    if (!readUpgradeFile(path, bytes, &reason)) {
        showUpgradeFileError(MessageId::UpgradeFileUnreadable, failure, role, path, reason);
        return std::nullopt;
    }
    return bytes;
}

// The length field must cover the fixed fields and lie inside the file: the checksum is computed
// over that many bytes, and the device takes the PIB's size from it.
bool lengthFieldSound(const std::vector<uint8_t>& pib) {
    if (pib.size() < kPibMinimumSize) return false;
    const size_t declared = get16le(&pib[kPibLengthField]);
    return declared >= kPibMinimumSize && declared <= pib.size();
}

}  // namespace

std::optional<std::vector<uint8_t>> loadFirmwareImage(const std::string& path) {
    auto image = readFile(path, "Unable to open firmware file", kFirmwareImageRole);
    if (!image) return std::nullopt;
    if (isNewerImageFormat(image->data(), image->size())) {
        showUpgradeFileError(MessageId::UpgradeFileRefused,
                             std::string("Wrong NVM Block Header: ") + kNewerFirmwareRefusal,
                             kFirmwareImageRole, path, kNewerFirmwareRefusal);
        return std::nullopt;
    }
    const NvmChain chain = walkNvmChain(image->data(), image->size());
    // An image whose bytes do not give the checksum its header carries was damaged or changed
    // after it was made: the device would be left with firmware that cannot run.
    if (const NvmImageInfo* bad = firstImageWithBadChecksum(chain)) {
        const std::string reason =
            imageChecksumMismatchText(size_t(bad - chain.images.data()), *bad);
        showUpgradeFileError(MessageId::UpgradeFileRefused, "Wrong NVM Block Header: " + reason,
                             kFirmwareImageRole, path, reason);
        return std::nullopt;
    }
    if (!chain.valid) {
        showUpgradeFileError(MessageId::UpgradeFileRefused, "Wrong NVM Block Header",
                             kFirmwareImageRole, path, "its image-header chain is broken");
        return std::nullopt;
    }
    return image;
}

std::optional<std::vector<uint8_t>> loadUsablePib(const std::string& path) {
    auto pib = readFile(path, "Error in PIB file opening...", kPibRole);
    if (!pib) return std::nullopt;
    if (isNewerImageFormat(pib->data(), pib->size())) {
        showUpgradeFileError(MessageId::UpgradeFileRefused,
                             std::string("Error in PIB file Operation: ") + kNewerPibRefusal,
                             kPibRole, path, kNewerPibRefusal);
        return std::nullopt;
    }
    PibImage image;
    const bool lengthSound = lengthFieldSound(*pib);
    const int code = lengthSound ? image.pibOpen(*pib) : kPibNoImage;
    if (code != kPibDone && code != kPibOtherVersion) {
        showUpgradeFileError(MessageId::UpgradeFileRefused, "Error in PIB file Operation",
                             kPibRole, path,
                             lengthSound ? std::string("code ") + std::to_string(code) + ": " +
                                               pibCodeMeaning(code)
                                         : "it is too short, or its length field does not fit it");
        return std::nullopt;
    }
    return pib;
}

std::optional<std::vector<uint8_t>> loadPatchedPib(const std::string& path, const Mac& mac) {
    auto pib = loadUsablePib(path);
    if (!pib) return std::nullopt;
    PibImage image;
    image.pibOpen(*pib);
    // A PIB older than 1.4, or an address the PIB may not carry, keeps the address it has.
    image.pibSetMac(mac);
    image.pibUpdateChecksum(*pib);
    return pib;
}

bool checkAvUpgradeFiles(const AvUpgradeFiles& files) {
    return loadFirmwareImage(files.firmwarePath) && loadUsablePib(files.pibPath);
}

}  // namespace corvel
