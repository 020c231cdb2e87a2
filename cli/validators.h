// SPDX-License-Identifier: MIT
#pragma once

#include <CLI/CLI.hpp>
#include <exception>
#include <string>

#include "platform/mac.h"

namespace corvel {

// Parameter and firmware images are a few hundred KiB to a few MiB; a file past this is refused
// before it is read into memory.
inline constexpr size_t kMaxImageFileSize = 64 * 1024 * 1024;

// Accepts six hex pairs separated by ':' or '-', or 12 bare hex digits; anything else is a
// usage error.
inline CLI::Validator macValidator() {
    return CLI::Validator(
        [](const std::string& text) {
            return parseMacArgument(text)
                       ? std::string()
                       : "'" + text + "' is not a MAC address (six hex pairs, or 12 hex digits)";
        },
        "MAC");
}

// A whole number from `low` to `high`, said plainly when it is not: "'abc' is not an integer",
// "0 is not in 1 to 1000".
inline CLI::Validator countIn(int low, int high) {
    return CLI::Validator(
        [low, high](const std::string& text) {
            long long value = 0;
            size_t used = 0;
            try {
                value = std::stoll(text, &used, 10);
            } catch (const std::exception&) {
                used = 0;
            }
            if (used == 0 || used != text.size()) return "'" + text + "' is not an integer";
            if (value < low || value > high)
                return text + " is not in " + std::to_string(low) + " to " + std::to_string(high);
            return std::string();
        },
        "INT in [" + std::to_string(low) + " - " + std::to_string(high) + "]");
}

}  // namespace corvel
