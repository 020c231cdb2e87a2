// SPDX-License-Identifier: MIT
#include "cli/json_output.h"

#include <cstdio>

#include "platform/text.h"

namespace corvel {

namespace {

void makeValid(nlohmann::ordered_json& value) {
    if (value.is_string()) {
        value = validUtf8(value.get_ref<const std::string&>());
        return;
    }
    // A number or boolean would iterate as itself.
    if (!value.is_structured()) return;
    for (nlohmann::ordered_json& item : value) makeValid(item);
}

}  // namespace

nlohmann::ordered_json printable(const nlohmann::ordered_json& document) {
    nlohmann::ordered_json copy = document;
    makeValid(copy);
    return copy;
}

std::string jsonLine(const nlohmann::ordered_json& document) {
    const std::string text = printable(document).dump();
    std::string line;
    line.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        const auto byte = static_cast<unsigned char>(text[i]);
        // In valid UTF-8, C2 followed by 80..9F is exactly U+0080..U+009F; outside strings a
        // JSON text has only ASCII.
        const auto next = i + 1 < text.size() ? static_cast<unsigned char>(text[i + 1]) : 0;
        unsigned code = 0;
        if (byte == 0x7F) {
            code = byte;
        } else if (byte == 0xC2 && next >= 0x80 && next <= 0x9F) {
            code = next;
            ++i;
        } else {
            line += text[i];
            continue;
        }
        char escape[8];
        std::snprintf(escape, sizeof escape, "\\u%04x", code);
        line += escape;
    }
    return line;
}

std::string displayOf(const nlohmann::ordered_json& text) {
    return displayText(text.get_ref<const std::string&>());
}

nlohmann::ordered_json mbpsOrNull(const std::optional<int>& rate) {
    return rate ? nlohmann::ordered_json(*rate) : nlohmann::ordered_json(nullptr);
}

std::string mbpsText(const nlohmann::ordered_json& rate) {
    return rate.is_number_integer() ? std::to_string(rate.get<int>()) : "?";
}

}  // namespace corvel
