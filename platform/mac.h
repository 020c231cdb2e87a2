// SPDX-License-Identifier: MIT
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace corvel {

using Mac = std::array<uint8_t, 6>;

inline constexpr Mac kBroadcastMac{0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};

// "%02X:%02X:%02X:%02X:%02X:%02X": the form every list row and report line uses.
std::string formatMac(const uint8_t* mac);
inline std::string formatMac(const Mac& mac) { return formatMac(mac.data()); }

// Six hex pairs separated by ':' or '-' (either case); nothing else is a MAC.
std::optional<Mac> parseMac(std::string_view text);
// What a user may type for a MAC: parseMac's forms, or 12 hex digits without separators as
// other powerline tools print them.
std::optional<Mac> parseMacArgument(std::string_view text);

}  // namespace corvel
