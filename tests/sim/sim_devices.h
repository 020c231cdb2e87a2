// SPDX-License-Identifier: MIT
#pragma once

#include <algorithm>
#include <cstdint>
#include <string>

#include "platform/mac.h"
#include "sim/device.h"

// The simulated devices the membership and key tests put on the wire: a local device and two
// stations per family, and the passwords they are tried with.
namespace corvel::test {

using sim::DeviceConfig;
using sim::Family;

inline constexpr Mac kAvLocal{0x00, 0xB0, 0x52, 0x00, 0x00, 0x10};
inline constexpr Mac kAvStation{0x00, 0xB0, 0x52, 0x00, 0x00, 0x11};
inline constexpr Mac kAvStation2{0x00, 0xB0, 0x52, 0x00, 0x00, 0x12};
inline constexpr Mac kTurboLocal{0x00, 0x0B, 0x3B, 0x00, 0x01, 0x10};
inline constexpr Mac kTurboStation{0x00, 0x0B, 0x3B, 0x00, 0x01, 0x11};
inline constexpr Mac kTurboStation2{0x00, 0x0B, 0x3B, 0x00, 0x01, 0x12};
inline constexpr Mac kHp10Local{0x00, 0x0B, 0x3B, 0x00, 0x02, 0x10};
inline constexpr Mac kHp10Station{0x00, 0x0B, 0x3B, 0x00, 0x02, 0x11};
inline constexpr Mac kHp10Station2{0x00, 0x0B, 0x3B, 0x00, 0x02, 0x12};

inline const std::string kStationPassword = "QWER-TYUI-ASDF-GHJK";
inline const std::string kOtherPassword = "PLMO-KNIJ-BUHV-YGCT";
inline const std::string kWrongPassword = "ZZZZ-ZZZZ-ZZZZ-ZZZZ";

inline Mac localMacOf(Family family) {
    return family == Family::Av ? kAvLocal : family == Family::Turbo ? kTurboLocal : kHp10Local;
}
inline Mac stationMacOf(Family family, int which = 1) {
    if (family == Family::Av) return which == 1 ? kAvStation : kAvStation2;
    if (family == Family::Turbo) return which == 1 ? kTurboStation : kTurboStation2;
    return which == 1 ? kHp10Station : kHp10Station2;
}
inline const char* familyLabel(Family family) {
    return family == Family::Av ? "Av" : family == Family::Turbo ? "Turbo" : "Hp10";
}

// The address at `bytes` in a frame.
inline Mac macOf(const uint8_t* bytes) {
    Mac mac{};
    std::copy_n(bytes, mac.size(), mac.begin());
    return mac;
}

inline DeviceConfig deviceConfig(Family family, const Mac& mac, std::string password = "") {
    DeviceConfig config;
    config.family = family;
    config.mac = mac;
    config.password = password.empty() ? sim::defaultPassword(mac) : std::move(password);
    return config;
}

}  // namespace corvel::test
