// SPDX-License-Identifier: MIT
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

// Firmware files as a device judges them and as tests and benchmarks make them: AV firmware
// (NVM) chains of 44-byte image headers, the newer chain of 96-byte headers, PIB soundness, and
// HomePlug 1.0 / Turbo images and configuration files. Written from the layouts alone, apart
// from the utility's own code.
namespace corvel::sim {

inline constexpr size_t kNvmHeaderLength = 44;

struct NvmImageSpec {
    uint32_t loadAddress;
    uint32_t length;
    // The two words the start request carries: the image's checksum unless given, and its entry
    // point.
    std::optional<uint32_t> word4 = std::nullopt;
    uint32_t word5 = 0x00000000;
};

// Each image behind its sealed header, headers chained by word 9, image bytes a pattern.
std::vector<uint8_t> buildNvm(const std::vector<NvmImageSpec>& images, uint8_t seed = 1);
// Two images filling exactly `total` bytes (at least 2 headers and 2 image bytes).
std::vector<uint8_t> buildNvmOfSize(size_t total, uint8_t seed = 1);
// The newer chain current adapters ship, from its public description: each image directly
// behind a 96-byte header of 24 little-endian words. Word 0 holds the major and minor version
// (16 bits each, 1.1); word 2 the image's offset in the file, 3 its load address, 4 its length,
// 5 its checksum, 6 the entry point, 7 the next header's offset (all ones in the last), 8 the
// previous header's (all ones in the first), 9 the module type; word 23 seals the header.
inline constexpr size_t kNewerHeaderLength = 96;
inline constexpr uint32_t kNewerModuleFirmware = 0x04;
inline constexpr uint32_t kNewerModulePib = 0x0F;

struct NewerImageSpec {
    uint32_t moduleType;
    std::vector<uint8_t> image;
    uint32_t loadAddress = 0;
    uint32_t entryPoint = 0;
};

std::vector<uint8_t> buildNewerChain(const std::vector<NewerImageSpec>& images);
// `payload` as the only image of such a chain.
std::vector<uint8_t> wrapInNewerChain(std::span<const uint8_t> payload,
                                      uint32_t moduleType = kNewerModuleFirmware);
// Stores in word 23 the value that seals the 96-byte header at `header` again.
void sealNewerHeader(uint8_t* header);

// Every header sealed, every header and image inside the file, next offsets moving forward.
bool nvmChainSound(std::span<const uint8_t> nvm);
// The length field covers at least the fixed fields and lies inside the image, and the words it
// covers XOR to 0xFFFFFFFF.
bool pibSound(std::span<const uint8_t> pib);

// `n` bytes of a pattern that differs with `seed`: a Turbo MAC image or configuration file.
std::vector<uint8_t> patternBytes(size_t n, uint8_t seed);

// The complement of the XOR of the little-endian words, a last partial word zero-completed:
// the loader's checksum of a section it holds.
uint32_t loaderChecksum(std::span<const uint8_t> data);

}  // namespace corvel::sim
