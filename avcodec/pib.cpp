// SPDX-License-Identifier: MIT
#include "avcodec/pib.h"

#include <algorithm>
#include <array>

#include "avcodec/image_checksum.h"
#include "platform/bytes.h"

namespace corvel {

namespace {

constexpr size_t kMajorVersionOffset = 0;
constexpr size_t kMinorVersionOffset = 1;
constexpr size_t kLengthOffset = 4;
constexpr size_t kChecksumOffset = 8;
constexpr size_t kMacOffset = 12;
constexpr size_t kNmkOffset = 100;
constexpr size_t kNmkSize = 16;

constexpr size_t kPeerEntryCountOffset = 277;
constexpr size_t kPeerEntriesOffset = 278;
constexpr size_t kPeerEntrySize = 7;
constexpr size_t kRecordCountOffset = 556;
constexpr size_t kRecordsOffset = 784;
constexpr size_t kRecordSize = 100;
constexpr size_t kRecordEntrySize = 24;
constexpr size_t kRecordBlockOffset = 76;

// 00:B0:52:00:00:01 is the local-management address every local device answers to; it and its
// two neighbours are reserved and never the address of one device.
constexpr std::array<std::array<uint8_t, 6>, 3> kReservedMacs{{
    {0x00, 0xB0, 0x52, 0x00, 0x00, 0x01},
    {0x00, 0xB0, 0x52, 0x00, 0x00, 0x02},
    {0x00, 0xB0, 0x52, 0x00, 0x00, 0x03},
}};

// Whether `count` entries of `entrySize` bytes from `offset` stay inside the checked image.
// A count may be any 32-bit value taken from the image, so the product is formed in 64 bits.
bool entriesFit(size_t offset, uint64_t count, size_t entrySize) {
    return uint64_t(offset) + count * entrySize <= kPibCheckedLength;
}

// The content checks below read only pib[0 .. kPibCheckedLength), which pibOpen guarantees
// before it calls them; every count taken from the image is bounded by entriesFit first.

bool recordValid(const uint8_t* pib, size_t record) {
    if (pib[record + 1] >= 2) return false;

    const uint16_t entryCount = get16le(pib + record + 2);
    const size_t entries = record + 4;
    if (!entriesFit(entries, entryCount, kRecordEntrySize)) return false;
    for (size_t i = 0; i < entryCount; ++i) {
        const size_t entry = entries + i * kRecordEntrySize;
        const uint32_t kind = get32le(pib + entry);
        // 0..15 and 0xE2 are the known kinds; 0xE0 and 0xE1 lie next to 0xE2 but are refused.
        if (kind > 15 && kind != 0xE2) return false;
        if (get32le(pib + entry + 4) >= 2) return false;
    }

    const uint8_t* s = pib + record + kRecordBlockOffset;
    if (s[0] >= 4) return false;
    if (s[0] != 0 && s[1] >= 4) return false;
    if (s[2] >= 2 || s[3] >= 2) return false;
    const uint32_t word = get32le(s + 4);
    if (word < 10000 || word > 2000000) return false;
    const uint16_t count = get16le(s + 12);
    if (count < 1 || count > 10000) return false;
    if (s[14] >= 2) return false;
    if (s[0] != 2 && s[15] >= 4) return false;
    return true;
}

// The ten content checks of a 3.3 PIB, in order; the first that fails ends the walk.
bool contentsPass(const uint8_t* pib) {
    // 1: the device's MAC address is not a group address.
    if (pib[kMacOffset] & 0x01) return false;

    // 2
    if (pib[244] >= 4 || pib[245] >= 3 || pib[246] >= 3) return false;

    // 3: bits 4-5 form a number below 2, bits 6-7 are clear.
    if (((pib[254] >> 4) & 0x03) >= 2 || (pib[254] & 0xC0) != 0) return false;

    // 4
    if (pib[256] == 1 && pib[257] >= 2) return false;

    // 5
    if (pib[268] == 1) {
        if (pib[269] == 0x00 || pib[269] == 0xFF) return false;
        if (pib[270] & 0x01) return false;
        const uint8_t entryCount = pib[kPeerEntryCountOffset];
        if (!entriesFit(kPeerEntriesOffset, entryCount, kPeerEntrySize)) return false;
        for (size_t i = 0; i < entryCount; ++i) {
            const uint8_t* entry = pib + kPeerEntriesOffset + i * kPeerEntrySize;
            if (entry[0] == 0x00 || entry[0] == 0xFF) return false;
            if (entry[1] & 0x01) return false;
        }
    }

    // 6
    const uint32_t recordCount = get32le(pib + kRecordCountOffset);
    if (!entriesFit(kRecordsOffset, recordCount, kRecordSize)) return false;
    for (size_t i = 0; i < recordCount; ++i) {
        if (!recordValid(pib, kRecordsOffset + i * kRecordSize)) return false;
    }

    // 7
    if (pib[2384] > 8) return false;

    // 8
    if (get32le(pib + 2572) >= 2) return false;

    // 9
    const uint32_t word = get32le(pib + 7824);
    if (word < 20 || word > 180) return false;

    // 10
    if (pib[7828] == 1 && pib[7829] > pib[7830]) return false;

    return true;
}

}  // namespace

int PibImage::pibOpen(std::span<uint8_t> image) {
    contentsValid_ = false;
    if (image.data() == nullptr || image.size() < kPibMinimumSize) {
        image_ = {};
        return kPibNoImage;
    }
    image_ = image;

    if (image[kMajorVersionOffset] != 3 || image[kMinorVersionOffset] != 3) {
        return kPibOtherVersion;
    }
    if (get16le(&image[kLengthOffset]) != kPibCheckedLength) return kPibBadLength;
    // A 3.3 image whose bytes end before its stated length cannot pass the checks.
    if (image.size() < kPibCheckedLength || !contentsPass(image.data())) {
        return kPibContentsInvalid;
    }
    contentsValid_ = true;
    return kPibDone;
}

// Before 1.4 the MAC address and the NMK lived elsewhere in the image.
int PibImage::versionGate() const {
    if (image_.empty()) return kPibNoImage;
    const uint8_t major = image_[kMajorVersionOffset];
    const uint8_t minor = image_[kMinorVersionOffset];
    if (major > 1 || (major == 1 && minor >= 4)) return kPibDone;
    return kPibVersionTooOld;
}

int PibImage::pibSetMac(std::span<const uint8_t, 6> mac) {
    const int gate = versionGate();
    if (gate != kPibDone) return gate;
    if (mac[0] & 0x01) return kPibMacRefused;
    for (const auto& reserved : kReservedMacs) {
        if (std::equal(mac.begin(), mac.end(), reserved.begin())) return kPibMacRefused;
    }
    std::copy(mac.begin(), mac.end(), image_.begin() + kMacOffset);
    return kPibDone;
}

int PibImage::pibGetNmk(std::span<uint8_t, 16> nmk) const {
    const int gate = versionGate();
    if (gate != kPibDone) return gate;
    const auto from = image_.begin() + kNmkOffset;
    std::copy(from, from + kNmkSize, nmk.begin());
    return kPibDone;
}

int PibImage::pibUpdateChecksum(std::span<uint8_t> image) {
    const int code = pibOpen(image);
    if (code >= 4) return code;

    // A refused length leaves the checksum field as it was, so a failed update never costs
    // the image a checksum it had. The length is also held to the bytes actually given: the
    // words summed must all lie inside the caller's buffer.
    const size_t length = get16le(&image[kLengthOffset]);
    if (length > kPibMaxChecksumLength || length > image.size()) return kPibBadLength;

    // The checksum is taken over the image with its own field at 0.
    put32le(&image[kChecksumOffset], 0);
    put32le(&image[kChecksumOffset], imageChecksum(image.data(), length / 4, 0));
    return code;
}

const char* pibCodeMeaning(int code) {
    switch (code) {
        case kPibDone:
            return "layout and contents valid";
        case kPibContentsInvalid:
            return "a content check failed";
        case kPibOtherVersion:
            return "the version is not 3.3; nothing else was checked";
        case kPibNoImage:
            return "no image";
        case kPibVersionTooOld:
            return "the version is below 1.4";
        case kPibBadLength:
            return "the length field is not 7992";
        case kPibMacRefused:
            return "the MAC address is refused";
        default:
            return "unknown code";
    }
}

}  // namespace corvel
