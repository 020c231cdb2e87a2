// SPDX-License-Identifier: MIT
#pragma once

#include <nlohmann/json.hpp>
#include <string>
#include <string_view>

// Checks on output meant for a terminal or a text file, independent of the code that makes it.
namespace corvel::test {

// The first control character in `text` a terminal would act on, as its offset: a C0 control
// other than those in `layout` (the newlines and tabs the format itself writes), DEL, or a C1
// control encoded as UTF-8 (C2 80..C2 9F). npos when there is none.
inline size_t terminalControlAt(std::string_view text, std::string_view layout = "") {
    for (size_t i = 0; i < text.size(); ++i) {
        const auto byte = static_cast<unsigned char>(text[i]);
        if (byte < 0x20 && layout.find(char(byte)) == std::string_view::npos) return i;
        if (byte == 0x7F) return i;
        if (byte == 0xC2 && i + 1 < text.size() &&
            (static_cast<unsigned char>(text[i + 1]) & 0xE0) == 0x80)
            return i;
    }
    return std::string_view::npos;
}

// Whether `text` is valid UTF-8, as the JSON library's strict decoder judges it.
inline bool isValidUtf8(std::string_view text) {
    try {
        (void)nlohmann::json(std::string(text)).dump();
        return true;
    } catch (const nlohmann::json::type_error&) {
        return false;
    }
}

}  // namespace corvel::test
