// SPDX-License-Identifier: MIT
#include "sim/firmware_files.h"

#include <algorithm>

#include "platform/bytes.h"
#include "sim/pib.h"

namespace corvel::sim {

namespace {

constexpr size_t kNvmLoadAddress = 8;
constexpr size_t kNvmImageLength = 12;
constexpr size_t kNvmWord4 = 16;
constexpr size_t kNvmWord5 = 20;
constexpr size_t kNvmNext = 36;
constexpr size_t kNvmChecksum = 40;
constexpr size_t kNewerVersion = 0;
constexpr size_t kNewerImageOffset = 8;
constexpr size_t kNewerLoadAddress = 12;
constexpr size_t kNewerImageLength = 16;
constexpr size_t kNewerImageChecksum = 20;
constexpr size_t kNewerEntryPoint = 24;
constexpr size_t kNewerNext = 28;
constexpr size_t kNewerPrevious = 32;
constexpr size_t kNewerModuleType = 36;
constexpr size_t kNewerSeal = 92;
constexpr uint32_t kNoHeader = 0xFFFFFFFF;
constexpr size_t kPibLengthField = 4;
constexpr size_t kPibFixedFields = 116;

}  // namespace

std::vector<uint8_t> patternBytes(size_t n, uint8_t seed) {
    std::vector<uint8_t> bytes(n);
    for (size_t i = 0; i < n; ++i) bytes[i] = uint8_t(seed * 31 + i * 13 + (i >> 9));
    return bytes;
}

std::vector<uint8_t> buildNvm(const std::vector<NvmImageSpec>& images, uint8_t seed) {
    std::vector<uint8_t> file;
    for (size_t i = 0; i < images.size(); ++i) {
        const NvmImageSpec& image = images[i];
        const size_t at = file.size();
        file.resize(at + kNvmHeaderLength);
        uint8_t* h = &file[at];
        put32le(h + kNvmLoadAddress, image.loadAddress);
        put32le(h + kNvmImageLength, image.length);
        const std::vector<uint8_t> body = patternBytes(image.length, uint8_t(seed + i));
        put32le(h + kNvmWord4,
                image.word4.value_or(complementedWordXor(body.data(), body.size())));
        put32le(h + kNvmWord5, image.word5);
        const size_t next = at + kNvmHeaderLength + image.length;
        put32le(h + kNvmNext, i + 1 < images.size() ? uint32_t(next) : 0);
        put32le(h + kNvmChecksum, complementedWordXor(h, kNvmChecksum));
        file.insert(file.end(), body.begin(), body.end());
    }
    return file;
}

std::vector<uint8_t> buildNvmOfSize(size_t total, uint8_t seed) {
    const size_t images = total - 2 * kNvmHeaderLength;
    const uint32_t first = uint32_t(images / 4);
    return buildNvm({{0x00100000, first}, {0x00200000, uint32_t(images - first)}}, seed);
}

void sealNewerHeader(uint8_t* header) {
    put32le(header + kNewerSeal, complementedWordXor(header, kNewerSeal));
}

std::vector<uint8_t> buildNewerChain(const std::vector<NewerImageSpec>& images) {
    std::vector<uint8_t> file;
    uint32_t previous = kNoHeader;
    for (size_t i = 0; i < images.size(); ++i) {
        const NewerImageSpec& spec = images[i];
        const size_t at = file.size();
        const size_t imageAt = at + kNewerHeaderLength;
        file.resize(imageAt);
        uint8_t* h = &file[at];
        put16le(h + kNewerVersion, 1);
        put16le(h + kNewerVersion + 2, 1);
        put32le(h + kNewerImageOffset, uint32_t(imageAt));
        put32le(h + kNewerLoadAddress, spec.loadAddress);
        put32le(h + kNewerImageLength, uint32_t(spec.image.size()));
        put32le(h + kNewerImageChecksum, complementedWordXor(spec.image.data(), spec.image.size()));
        put32le(h + kNewerEntryPoint, spec.entryPoint);
        const size_t next = imageAt + spec.image.size();
        put32le(h + kNewerNext, i + 1 < images.size() ? uint32_t(next) : kNoHeader);
        put32le(h + kNewerPrevious, previous);
        put32le(h + kNewerModuleType, spec.moduleType);
        sealNewerHeader(h);
        file.insert(file.end(), spec.image.begin(), spec.image.end());
        previous = uint32_t(at);
    }
    return file;
}

std::vector<uint8_t> wrapInNewerChain(std::span<const uint8_t> payload, uint32_t moduleType) {
    return buildNewerChain({{moduleType, std::vector<uint8_t>(payload.begin(), payload.end())}});
}

bool nvmChainSound(std::span<const uint8_t> nvm) {
    size_t position = 0;
    for (;;) {
        if (position > nvm.size() || nvm.size() - position < kNvmHeaderLength) return false;
        const uint8_t* h = &nvm[position];
        if (complementedWordXor(h, kNvmChecksum) != get32le(h + kNvmChecksum)) return false;
        const uint64_t end = uint64_t(position) + kNvmHeaderLength + get32le(h + kNvmImageLength);
        if (end > nvm.size()) return false;
        const uint32_t next = get32le(h + kNvmNext);
        if (next == 0) return true;
        if (next < end) return false;
        position = next;
    }
}

bool pibSound(std::span<const uint8_t> pib) {
    if (pib.size() < kPibFixedFields) return false;
    const size_t length = get16le(&pib[kPibLengthField]);
    if (length < kPibFixedFields || length > pib.size()) return false;
    return complementedWordXor(pib.data(), length) == 0;
}

uint32_t loaderChecksum(std::span<const uint8_t> data) {
    std::vector<uint8_t> padded(data.begin(), data.end());
    padded.resize((data.size() + 3) / 4 * 4, 0);
    return complementedWordXor(padded.data(), padded.size());
}

}  // namespace corvel::sim
