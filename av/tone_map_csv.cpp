// SPDX-License-Identifier: MIT
#include "av/tone_map_csv.h"

#include <charconv>

namespace corvel {

namespace {

// The shortest text that reads back as the same double, in fixed notation.
std::string frequencyHzText(size_t index) {
    char text[64];
    const auto [end, error] = std::to_chars(
        text, text + sizeof text, carrierFrequencyMHz(index) * 1e6, std::chars_format::fixed);
    std::string out(text, error == std::errc{} ? end : text);
    if (out.find('.') == std::string::npos) out += ".0";
    return out;
}

}  // namespace

std::string toneMapCsv(const ToneMapConfirm& map) {
    std::string csv = "index,frequencyHz,modulation,bits\n";
    for (size_t i = 0; i < map.modulation.size(); ++i) {
        const uint8_t code = map.modulation[i];
        csv += std::to_string(i) + ',' + frequencyHzText(i) + ',' + modulationName(code) + ',' +
               std::to_string(modulationBits(code)) + '\n';
    }
    return csv;
}

}  // namespace corvel
