// SPDX-License-Identifier: MIT
#include "sim/frame_bytes.h"

#include <algorithm>
#include <cstring>

#include "platform/bytes.h"

namespace corvel::sim {

Mac macAt(const uint8_t* bytes) {
    Mac mac{};
    std::memcpy(mac.data(), bytes, mac.size());
    return mac;
}

void putMac(uint8_t* bytes, const Mac& mac) {
    std::memcpy(bytes, mac.data(), mac.size());
}

std::vector<uint8_t> ethernetFrame(const Mac& destination, const Mac& source, uint16_t ethertype,
                                   size_t length) {
    std::vector<uint8_t> frame(std::max(length, kMinFrameLength), 0);
    putMac(&frame[0], destination);
    putMac(&frame[6], source);
    put16be(&frame[12], ethertype);
    return frame;
}

std::vector<uint8_t> avFrame(const Mac& destination, const Mac& source, uint16_t mmtype,
                             size_t length) {
    std::vector<uint8_t> frame = ethernetFrame(destination, source, kAvEthertype, length);
    frame[14] = 0x00;  // MMV
    put16le(&frame[15], mmtype);
    std::memcpy(&frame[17], kAvOui, sizeof kAvOui);
    return frame;
}

std::vector<uint8_t> hp10Frame(const Mac& destination, const Mac& source, uint8_t type,
                               uint8_t melen, size_t length) {
    std::vector<uint8_t> frame = ethernetFrame(destination, source, kHp10Ethertype, length);
    frame[14] = 1;  // MCTRL: one entry
    frame[15] = type;
    frame[16] = melen;
    return frame;
}

}  // namespace corvel::sim
