// SPDX-License-Identifier: MIT
#include "av/version_text.h"

#include <algorithm>

namespace corvel {

const char* chipNameOf(uint8_t generation) {
    switch (generation) {
        case 1:
            return "QRB1000";
        case 2:
            return "QRB3000";
        case 3:
            return "QRB4000";
        default:
            return nullptr;
    }
}

std::string versionTextOf(const AvConfirm& record, size_t frameLength) {
    const size_t received =
        frameLength > kVersionTextFrameOffset ? frameLength - kVersionTextFrameOffset : 0;
    const size_t count = std::min(
        {size_t(record.payload[kVersionTextLengthIndex]), kMaxVersionTextLength, received});
    const auto begin = record.payload.begin() + kVersionTextIndex;
    const auto end = std::find(begin, begin + count, uint8_t{0});
    return std::string(begin, end);
}

void normaliseLocalText(std::string& text, std::string_view chipName) {
    if (chipName.empty()) return;
    const size_t at = text.find(kFirstChipName);
    if (at == std::string::npos) return;
    text.replace(at, kFirstChipName.size(), chipName);
}

void normaliseStationText(std::string& text, std::string_view chipName) {
    if (chipName.empty()) return;
    const size_t at = text.find(kFirstChipName);
    if (at == std::string::npos) return;
    text.replace(at, kFirstChipName.size(), chipName);
    text.erase(0, at);
}

}  // namespace corvel
