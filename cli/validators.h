// SPDX-License-Identifier: MIT
#pragma once

#include <CLI/CLI.hpp>

#include "platform/mac.h"

namespace corvel {

// Accepts six hex pairs separated by ':' or '-'; anything else is a usage error.
inline CLI::Validator macValidator() {
    return CLI::Validator(
        [](const std::string& text) {
            return parseMac(text) ? std::string()
                                  : "'" + text + "' is not a MAC address (six hex pairs)";
        },
        "MAC");
}

}  // namespace corvel
