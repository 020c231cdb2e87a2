// SPDX-License-Identifier: MIT
#include "platform/mac.h"

#include <cstdio>

namespace corvel {

std::string formatMac(const uint8_t* mac) {
    char text[18];
    std::snprintf(text, sizeof text, "%02X:%02X:%02X:%02X:%02X:%02X", mac[0], mac[1], mac[2],
                  mac[3], mac[4], mac[5]);
    return text;
}

namespace {
int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}
}  // namespace

std::optional<Mac> parseMac(std::string_view text) {
    if (text.size() != 17) return std::nullopt;
    const char separator = text[2];
    if (separator != ':' && separator != '-') return std::nullopt;
    Mac mac{};
    for (size_t i = 0; i < 6; ++i) {
        const size_t at = i * 3;
        if (i > 0 && text[at - 1] != separator) return std::nullopt;
        const int high = hexValue(text[at]);
        const int low = hexValue(text[at + 1]);
        if (high < 0 || low < 0) return std::nullopt;
        mac[i] = uint8_t(high * 16 + low);
    }
    return mac;
}

std::optional<Mac> parseMacArgument(std::string_view text) {
    if (text.size() != 12) return parseMac(text);
    Mac mac{};
    for (size_t i = 0; i < 6; ++i) {
        const int high = hexValue(text[2 * i]);
        const int low = hexValue(text[2 * i + 1]);
        if (high < 0 || low < 0) return std::nullopt;
        mac[i] = uint8_t(high * 16 + low);
    }
    return mac;
}

}  // namespace corvel
