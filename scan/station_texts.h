// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "core/station_kind.h"

// The texts every front end (the main page, the command line, the diagnostics report) shows for
// a local network and its stations, made in one place so that they read the same everywhere.
namespace corvel {

// The label the scan gives a private network whose name it does not know.
inline constexpr std::string_view kUnknownNetworkName = "Unknown Networkname";

// Shown for a device whose password nobody entered.
inline constexpr std::string_view kPasswordNotEntered = "--- not entered ---";

// "Public" when `networkName` is the public name of the local device's family ("HomePlugAV" for
// AV, "HomePlug" otherwise), else "Private".
std::string_view networkTypeText(std::string_view networkName, bool av);

// The rate column of the lists: Mbit/s with two decimals ("185.00"), "?" while unknown (0).
std::string rateText(double rate);
// The rate column of the diagnostics report: the whole Mbit/s, at least two digits ("07"), "?"
// when that is 0. A value no rate can have (a damaged database file) shows "?" too.
std::string wholeRateText(double rate);

// The name a station without a device record is listed by: its vendor's, then "Device" and the
// row number `number` (a 16-bit count, as it always was): "Veltrix Device 3".
std::string vendorDeviceName(const uint8_t* mac, int number);

// The password column: the password entered, or kPasswordNotEntered.
std::string passwordText(std::string_view password);

// The family a station's kind names: "HomePlug AV", "HomePlug 1.0 Turbo", else "HomePlug 1.0".
std::string_view stationFamilyText(StationKind kind);
// The family a local device's kind (an index into the kind names, LocalKind) names: "HomePlug AV"
// for AV and any value above it, "HomePlug 1.0 Turbo" for Turbo, else "HomePlug 1.0" (a USB,
// plain or Ethernet 1.0 adapter).
std::string_view localFamilyText(int32_t localKind);

}  // namespace corvel
