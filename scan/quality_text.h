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

// Where the quality of `style` stands on its scale, for a drawn meter: `value` of `maximum`.
// The word and symbol scales (styles 1 to 5) give their level of the highest; the percentage
// (style 6) and the bar (any other style) give the rate's percentage of its kind's maximum (1.0
// 14 Mbit/s, Turbo 85, AV 200), at most 100.
struct QualityScale {
    int value;
    int maximum;
    bool operator==(const QualityScale&) const = default;
};
QualityScale qualityScale(int32_t style, double rate, StationKind stationKind);

}  // namespace corvel
