// SPDX-License-Identifier: MIT
#include "sim/faults.h"

#include "platform/bytes.h"
#include "sim/frame_bytes.h"

namespace corvel::sim {

namespace {

constexpr uint16_t kIpv4Ethertype = 0x0800;
constexpr uint16_t kIndicationMmtype = 0xA062;

// A bare IPv4 header (protocol 253, reserved for experiments) from 169.254.0.1 to the limited
// broadcast address: a well-formed frame of another protocol.
std::vector<uint8_t> ipv4Frame(const Mac& destination, const Mac& source) {
    std::vector<uint8_t> frame = ethernetFrame(destination, source, kIpv4Ethertype, 14 + 20);
    uint8_t* ip = &frame[14];
    ip[0] = 0x45;  // version 4, header of five words
    put16be(ip + 2, 20);
    ip[8] = 64;  // time to live
    ip[9] = 253;
    put32be(ip + 12, 0xA9FE0001);
    put32be(ip + 16, 0xFFFFFFFF);
    uint32_t sum = 0;
    for (int i = 0; i < 20; i += 2) sum += get16be(ip + i);
    while (sum > 0xFFFF) sum = (sum & 0xFFFF) + (sum >> 16);
    put16be(ip + 10, uint16_t(~sum));
    return frame;
}

}  // namespace

uint16_t answerType(const std::vector<uint8_t>& frame) {
    if (frame.size() < 17) return 0;
    switch (get16be(&frame[12])) {
        case kAvEthertype:
            return get16le(&frame[15]);
        case kHp10Ethertype:
            return frame[15];
        default:
            return 0;
    }
}

std::vector<uint8_t> buildUnrelatedFrame(const UnrelatedFrame& what, const Mac& destination,
                                         const Mac& source) {
    switch (what.kind) {
        case UnrelatedFrame::Kind::Av:
            return avFrame(destination, source, what.type, kMinFrameLength);
        case UnrelatedFrame::Kind::Hp10:
            return hp10Frame(destination, source, uint8_t(what.type), 0, kMinFrameLength);
        case UnrelatedFrame::Kind::Ipv4:
            break;
    }
    return ipv4Frame(destination, source);
}

std::vector<uint8_t> buildIndicationFrame(const Mac& destination, const Mac& source) {
    // Payload byte 20 is the action the device asks its host for; 0 with nothing else set.
    return avFrame(destination, source, kIndicationMmtype, kMinFrameLength);
}

}  // namespace corvel::sim
