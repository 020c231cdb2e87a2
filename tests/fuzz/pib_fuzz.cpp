// SPDX-License-Identifier: MIT
// PIB parameter images from a file: the checks, the key read, the MAC patch and the checksum.
#include <array>
#include <cstdint>
#include <vector>

#include "avcodec/image_checksum.h"
#include "avcodec/pib.h"

using namespace corvel;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<uint8_t> image(data, data + size);
    PibImage pib;
    pib.pibOpen(image);
    std::array<uint8_t, 16> nmk{};
    pib.pibGetNmk(nmk);
    const std::array<uint8_t, 6> mac{0x00, 0xB0, 0x52, 0x12, 0x34, 0x56};
    if (pib.pibSetMac(mac) == 0) pib.pibUpdateChecksum(image);
    return 0;
}
