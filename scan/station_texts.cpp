// SPDX-License-Identifier: MIT
#include "scan/station_texts.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "core/tables.h"
#include "keys/derive.h"
#include "store/vendor_list.h"

namespace corvel {

namespace {

constexpr std::string_view kUnknownRate = "?";

// The whole Mbit/s of a rate. A value from a damaged database file (not a number, infinite or
// beyond any rate) must not reach an integer conversion, whose result would be undefined.
long long wholeMbps(double rate) {
    if (!std::isfinite(rate)) return 0;
    constexpr double kLimit = 1e15;
    return static_cast<long long>(std::trunc(std::clamp(rate, -kLimit, kLimit)));
}

}  // namespace

std::string_view networkTypeText(std::string_view networkName, bool av) {
    return networkName == (av ? kPublicAvName : kPublicHp10Name) ? "Public" : "Private";
}

std::string rateText(double rate) {
    if (rate == 0) return std::string(kUnknownRate);
    char text[32];
    std::snprintf(text, sizeof text, "%.2f", rate);
    return text;
}

std::string wholeRateText(double rate) {
    const long long whole = wholeMbps(rate);
    if (whole == 0) return std::string(kUnknownRate);
    char text[32];
    std::snprintf(text, sizeof text, "%.2lld", whole);
    return text;
}

std::string vendorDeviceName(const uint8_t* mac, int number) {
    char text[64];
    std::snprintf(text, sizeof text, "%s %s %hd", vendorName(mac).c_str(), "Device",
                  int16_t(number));
    return text;
}

std::string passwordText(std::string_view password) {
    return std::string(password.empty() ? kPasswordNotEntered : password);
}

std::string_view localFamilyText(int32_t localKind) {
    if (localKind >= kKindAv) return "HomePlug AV";
    if (localKind == kKindTurbo) return "HomePlug 1.0 Turbo";
    return "HomePlug 1.0";
}

std::string_view stationFamilyText(StationKind kind) {
    if (isAvStation(kind)) return "HomePlug AV";
    if (kind == StationKind::Turbo) return "HomePlug 1.0 Turbo";
    return "HomePlug 1.0";
}

}  // namespace corvel
