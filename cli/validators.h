// SPDX-License-Identifier: MIT
#pragma once

#include <CLI/CLI.hpp>

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

}  // namespace corvel
