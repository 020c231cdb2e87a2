// SPDX-License-Identifier: MIT
#include "sim/pib.h"

#include <cstring>

#include "platform/bytes.h"

namespace corvel::sim {

namespace {

void updateChecksum(std::vector<uint8_t>& pib) {
    put32le(&pib[kPibChecksumOffset], 0);
    put32le(&pib[kPibChecksumOffset], complementedWordXor(pib.data(), pib.size()));
}

}  // namespace

uint32_t complementedWordXor(const uint8_t* bytes, size_t length) {
    uint32_t x = 0;
    for (size_t i = 0; i + 4 <= length; i += 4) x ^= get32le(bytes + i);
    return ~x;
}

std::vector<uint8_t> buildPib(const Mac& mac, const Key16& nmk, uint8_t major, uint8_t minor) {
    std::vector<uint8_t> pib(kPibLength, 0);
    pib[0] = major;
    pib[1] = minor;
    put16le(&pib[4], uint16_t(kPibLength));
    std::memcpy(&pib[kPibMacOffset], mac.data(), mac.size());
    std::memcpy(&pib[kPibNmkOffset], nmk.data(), nmk.size());
    put32le(&pib[kPibRangedWordOffset], kPibRangedWordValue);
    updateChecksum(pib);
    return pib;
}

void storePibNmk(std::vector<uint8_t>& pib, const Key16& nmk) {
    if (pib.size() < kPibNmkOffset + nmk.size()) return;
    std::memcpy(&pib[kPibNmkOffset], nmk.data(), nmk.size());
    updateChecksum(pib);
}

}  // namespace corvel::sim
