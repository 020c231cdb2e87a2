// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <string>

#include "core/station_kind.h"

// How the main page and the command line show a link's quality: one of the word or symbol
// scales of the qualityStyle preference, a percentage, or a bar proportional to the rate.
namespace corvel {

// The text for `rate` (Mbit/s) of a station of `stationKind` in `style`, as UTF-8.
std::string qualityText(int32_t style, double rate, StationKind stationKind);

// The same quality whatever the display style: the level on the word scale (0 offline, 1 Fair,
// 2 Good, 3 Very Good, 4 Excellent) and its word, for output that scripts read.
struct QualityLevel {
    int level;
    std::string text;
};
QualityLevel qualityLevel(double rate, StationKind stationKind);

}  // namespace corvel
