// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>

// The two Ethertypes of powerline management frames: every frame this program sends or takes
// carries one of them, and the capture keeps nothing else.
namespace corvel {

inline constexpr uint16_t kHp10Ethertype = 0x887B;  // HomePlug 1.0 and Turbo MAC management
inline constexpr uint16_t kAvEthertype = 0x88E1;    // HomePlug AV management messages

constexpr bool isPowerlineEthertype(uint16_t ethertype) {
    return ethertype == kHp10Ethertype || ethertype == kAvEthertype;
}

}  // namespace corvel
