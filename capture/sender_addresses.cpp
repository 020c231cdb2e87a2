// SPDX-License-Identifier: MIT
#include "capture/sender_addresses.h"

#include <algorithm>

#include "platform/bytes.h"
#include "platform/ethertypes.h"

namespace corvel::capture {

namespace {

constexpr size_t kSourceOffset = 6;
constexpr size_t kEthertypeOffset = 12;
// A HomePlug 1.0 frame: the entry count at 14, then the first entry's type, its length and its
// data.
constexpr size_t kEntryType = 15;
constexpr size_t kFirstDataByte = 17;
// The local device's statistics answer to the local query, and its parameter answer.
constexpr uint8_t kLocalStatsEntry = 0x1A;
constexpr uint8_t kLocalParamsEntry = 0x1E;
constexpr uint8_t kFromStation = 0x80;

Mac sourceOf(const uint8_t* frame) {
    Mac mac{};
    std::copy_n(frame + kSourceOffset, mac.size(), mac.begin());
    return mac;
}

bool isGroup(const Mac& mac) {
    return (mac[0] & 0x01) != 0;
}
bool isZero(const Mac& mac) {
    return mac == Mac{};
}

}  // namespace

bool SenderAddresses::learnFrom(const uint8_t* frame, size_t length) {
    if (length <= kFirstDataByte || get16be(frame + kEthertypeOffset) != kHp10Ethertype)
        return false;
    const uint8_t type = frame[kEntryType];
    if (type != kLocalStatsEntry && type != kLocalParamsEntry) return false;
    if ((frame[kFirstDataByte] & kFromStation) != 0) return false;
    const Mac source = sourceOf(frame);
    if (isGroup(source) || isZero(source) || source == interface_ || source == local_) return false;
    local_ = source;
    return true;
}

std::string SenderAddresses::refusal(const uint8_t* frame, size_t length) const {
    if (length < kEthertypeOffset + 2) return "the frame is too short to carry a source address";
    if (isZero(interface_)) return "the interface has no address of its own to send in";
    const Mac source = sourceOf(frame);
    if (source == interface_) return "";
    const bool hp10 = get16be(frame + kEthertypeOffset) == kHp10Ethertype;
    if (hp10 && source == local_) return "";
    std::string allowed =
        "frames are sent only in this host's name (" + formatMac(interface_) + ")";
    if (local_)
        allowed += " or, HomePlug 1.0 frames, in its local device's (" + formatMac(*local_) + ")";
    return allowed + ", not in " + (isGroup(source) ? "the group address " : "") +
           formatMac(source);
}

}  // namespace corvel::capture
