// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// A tone map drawn for a terminal: bits per carrier against frequency, narrow enough for 80
// columns. Each column is a band of 16 neighbouring carriers (390.6 kHz) drawn as high as the
// mean bits its carriers carry, in eighths of a row of block characters; the rows are two bits
// each, 0 to 12 bits, labelled on the left; the frequency axis is labelled in MHz below.
namespace corvel {

inline constexpr size_t kCarriersPerColumn = 16;
inline constexpr int kChartRows = 6;
inline constexpr int kBitsPerRow = 2;

// The chart's lines (UTF-8, no line ends) for the modulation codes of carriers 0, 1, ...;
// empty for an empty map.
std::vector<std::string> toneMapChart(const std::vector<uint8_t>& modulation);

}  // namespace corvel
