// SPDX-License-Identifier: MIT
#include "avcodec/image_format.h"

#include <algorithm>
#include <array>

#include "avcodec/image_checksum.h"
#include "avcodec/nvm_chain.h"
#include "platform/bytes.h"

namespace corvel {

namespace {

constexpr size_t kMajorVersion = 0;
constexpr size_t kMinorVersion = 2;
constexpr size_t kNvmAddress = 8;
constexpr size_t kLoadAddress = 12;
constexpr size_t kImageLength = 16;
constexpr size_t kImageChecksum = 20;
constexpr size_t kEntryPoint = 24;
constexpr size_t kNextHeader = 28;
constexpr size_t kPreviousHeader = 32;
constexpr size_t kModuleType = 36;

// Module types as public documentation names them (open-plc-utils' nvm_imagetypes); 13 has no
// name there.
constexpr std::array<std::string_view, 18> kModuleTypeNames{"Generic Image",
                                                            "Synopsis Configuration",
                                                            "Denali Configuration",
                                                            "Denali Applet",
                                                            "Runtime Firmware",
                                                            "OAS Client",
                                                            "Custom Image",
                                                            "Memory Control Applet",
                                                            "Power Management Applet",
                                                            "OAS Client IP Stack",
                                                            "OAS Client TR069",
                                                            "SoftLoader",
                                                            "Flash Layout",
                                                            "",
                                                            "Chain Manifest",
                                                            "Runtime Parameters",
                                                            "Custom Module In Scratch",
                                                            "Custom Module Update Applet"};

bool sealed(const uint8_t* header) {
    return imageChecksum(header, kNewerHeaderWords, 0) == 0;
}

NewerImageInfo readHeader(const uint8_t* h, uint32_t offset) {
    return {offset,
            get16le(h + kMajorVersion),
            get16le(h + kMinorVersion),
            get32le(h + kNvmAddress),
            get32le(h + kLoadAddress),
            get32le(h + kImageLength),
            get32le(h + kEntryPoint),
            get32le(h + kNextHeader),
            get32le(h + kPreviousHeader),
            get32le(h + kModuleType),
            sealed(h),
            false};
}

std::string hexWord(uint32_t value) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string text = "0x";
    for (int shift = 28; shift >= 0; shift -= 4) text += kDigits[(value >> shift) & 0xF];
    return text;
}

}  // namespace

bool isNewerImageFormat(const uint8_t* image, size_t size) {
    if (image == nullptr || size < kNewerHeaderSize) return false;
    if (imageHeaderValid(image)) return false;
    if (get16le(image + kMajorVersion) != kNewerMajorVersion) return false;
    return sealed(image) || get16le(image + kMinorVersion) == kNewerCurrentMinorVersion;
}

NewerChain walkNewerChain(const uint8_t* image, size_t size) {
    NewerChain chain;
    chain.fileSize = uint32_t(std::min<size_t>(size, UINT32_MAX));
    // The first fault found is the one reported.
    auto note = [&chain](NewerChainFault fault, size_t offset) {
        if (!chain.sound()) return;
        chain.fault = fault;
        chain.faultOffset = uint32_t(offset);
    };
    if (image == nullptr) size = 0;
    size_t position = 0;
    uint32_t previous = kNewerChainEnd;
    for (;;) {
        if (chain.images.size() == kMaxNewerHeaders) {
            note(NewerChainFault::TooManyHeaders, position);
            return chain;
        }
        if (position > size || size - position < kNewerHeaderSize) {
            note(NewerChainFault::HeaderPastEnd, position);
            return chain;
        }
        NewerImageInfo& info =
            chain.images.emplace_back(readHeader(image + position, uint32_t(position)));
        // Past a bad checksum no word of the header means anything, its links least of all.
        NewerChainFault fault = NewerChainFault::None;
        const size_t imageStart = position + kNewerHeaderSize;
        if (!info.headerValid)
            fault = NewerChainFault::HeaderChecksum;
        else if (info.majorVersion != kNewerMajorVersion)
            fault = NewerChainFault::HeaderVersion;
        else if (info.previous != previous)
            fault = NewerChainFault::PreviousLink;
        else if (info.length > size - imageStart)
            fault = NewerChainFault::ImagePastEnd;
        if (fault != NewerChainFault::None) {
            note(fault, position);
            return chain;
        }
        info.imageValid = imageChecksum(image + imageStart, info.length / 4,
                                        get32le(image + position + kImageChecksum)) == 0;
        if (!info.imageValid) note(NewerChainFault::ImageChecksum, position);
        if (info.next == kNewerChainEnd) return chain;
        if (info.next < imageStart + info.length) {
            note(NewerChainFault::Loop, position);
            return chain;
        }
        previous = uint32_t(position);
        position = info.next;
    }
}

std::string_view newerModuleTypeName(uint32_t type) {
    return type < kModuleTypeNames.size() ? kModuleTypeNames[type] : std::string_view{};
}

std::string newerChainFaultText(const NewerChain& chain) {
    const std::string at = "the header at " + std::to_string(chain.faultOffset);
    const std::string fileSize = std::to_string(chain.fileSize) + " bytes";
    // Every fault but a bad image checksum ends the walk at the header it concerns.
    const NewerImageInfo last = chain.images.empty() ? NewerImageInfo{} : chain.images.back();
    switch (chain.fault) {
        case NewerChainFault::None:
            return {};
        case NewerChainFault::HeaderPastEnd:
            if (chain.images.empty())
                return "the file (" + fileSize + ") is shorter than one header";
            return at + " runs past the end of the file (" + fileSize + ")";
        case NewerChainFault::HeaderChecksum:
            return at + " has a bad header checksum";
        case NewerChainFault::HeaderVersion:
            return at + " has version " + std::to_string(last.majorVersion) + "." +
                   std::to_string(last.minorVersion) + ", not 1.x";
        case NewerChainFault::PreviousLink: {
            const std::string expected =
                chain.images.size() < 2
                    ? hexWord(kNewerChainEnd) + " (none)"
                    : std::to_string(chain.images[chain.images.size() - 2].offset);
            return at + " names " + hexWord(last.previous) + " as the header before it, not " +
                   expected;
        }
        case NewerChainFault::ImagePastEnd:
            return "the image behind " + at + " (" + std::to_string(last.length) +
                   " bytes) runs past the end of the file (" + fileSize + ")";
        case NewerChainFault::ImageChecksum:
            return "the image behind " + at + " has a bad image checksum";
        case NewerChainFault::Loop:
            if (last.next <= last.offset)
                return at + " names " + std::to_string(last.next) +
                       " as the next header, back along the chain: the chain loops";
            return at + " names " + std::to_string(last.next) +
                   " as the next header, inside its own image";
        case NewerChainFault::TooManyHeaders:
            return "the chain has more than " + std::to_string(kMaxNewerHeaders) + " headers";
    }
    return {};
}

const NewerImageInfo* findNewerModule(const NewerChain& chain, uint32_t type) {
    for (const NewerImageInfo& image : chain.images)
        if (image.headerValid && image.moduleType == type) return &image;
    return nullptr;
}

}  // namespace corvel
