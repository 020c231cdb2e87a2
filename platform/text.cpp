// SPDX-License-Identifier: MIT
#include "platform/text.h"

#include <cstdint>

namespace corvel {

namespace {

constexpr std::string_view kReplacement = "\xEF\xBF\xBD";  // U+FFFD

bool isControl(uint32_t codePoint) {
    return codePoint < 0x20 || codePoint == 0x7F || (codePoint >= 0x80 && codePoint <= 0x9F);
}

// Walks `bytes` as UTF-8: `valid` gets each well-formed sequence with its code point, `invalid`
// each maximal ill-formed part (which it replaces).
template <typename Valid, typename Invalid>
void walkUtf8(std::string_view bytes, Valid valid, Invalid invalid) {
    const auto* b = reinterpret_cast<const uint8_t*>(bytes.data());
    const size_t n = bytes.size();
    size_t i = 0;
    while (i < n) {
        const uint8_t lead = b[i];
        if (lead < 0x80) {
            valid(bytes.substr(i, 1), lead);
            ++i;
            continue;
        }
        // The well-formed sequences: how many bytes follow the lead, and the range of the first
        // of them (the narrower ranges exclude overlong forms, surrogates and values past
        // U+10FFFF); every later byte is 80..BF.
        size_t follow = 0;
        uint8_t low = 0x80;
        uint8_t high = 0xBF;
        if (lead >= 0xC2 && lead <= 0xDF) {
            follow = 1;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            follow = 2;
            if (lead == 0xE0) low = 0xA0;
            if (lead == 0xED) high = 0x9F;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            follow = 3;
            if (lead == 0xF0) low = 0x90;
            if (lead == 0xF4) high = 0x8F;
        } else {
            // A continuation byte without a lead, C0, C1 or F5..FF: never part of a sequence.
            invalid();
            ++i;
            continue;
        }
        uint32_t codePoint = lead & (0x3F >> follow);
        size_t taken = 1;
        while (taken <= follow && i + taken < n) {
            const uint8_t next = b[i + taken];
            if (next < (taken == 1 ? low : 0x80) || next > (taken == 1 ? high : 0xBF)) break;
            codePoint = (codePoint << 6) | (next & 0x3F);
            ++taken;
        }
        if (taken == follow + 1) {
            valid(bytes.substr(i, taken), codePoint);
        } else {
            invalid();
        }
        i += taken;
    }
}

}  // namespace

std::string validUtf8(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size());
    walkUtf8(
        bytes, [&](std::string_view sequence, uint32_t) { out += sequence; },
        [&] { out += kReplacement; });
    return out;
}

std::string displayText(std::string_view bytes) {
    static constexpr char kHex[] = "0123456789abcdef";
    std::string out;
    out.reserve(bytes.size());
    walkUtf8(
        bytes,
        [&](std::string_view sequence, uint32_t codePoint) {
            if (!isControl(codePoint)) {
                out += sequence;
                return;
            }
            out += "\\x";
            out += kHex[codePoint >> 4];
            out += kHex[codePoint & 0x0F];
        },
        [&] { out += kReplacement; });
    return out;
}

}  // namespace corvel
