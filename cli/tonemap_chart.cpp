// SPDX-License-Identifier: MIT
#include "cli/tonemap_chart.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "avcodec/link_health.h"

namespace corvel {

namespace {

// Eighths of a character cell, from empty to full.
const char* const kBlocks[] = {" ", "▁", "▂", "▃", "▄", "▅", "▆", "▇", "█"};
// Frequencies labelled on the axis; every one lies inside the AV band.
constexpr int kAxisMHz[] = {2, 5, 10, 15, 20, 25, 30};
// The label gutter: two digits, a blank and the axis.
constexpr size_t kGutter = 4;

// Eighths of a row each column reaches: its carriers' mean bits, to the nearest eighth.
std::vector<int> columnHeights(const std::vector<uint8_t>& modulation) {
    std::vector<int> heights;
    for (size_t first = 0; first < modulation.size(); first += kCarriersPerColumn) {
        const size_t last = std::min(modulation.size(), first + kCarriersPerColumn);
        double bits = 0;
        for (size_t i = first; i < last; ++i) bits += std::max(0, modulationBits(modulation[i]));
        const double mean = bits / double(last - first);
        heights.push_back(int(std::lround(mean * 8.0 / kBitsPerRow)));
    }
    return heights;
}

// The column that holds the carrier nearest to `mhz`, or -1 past the last carrier listed.
int columnOf(double mhz, size_t carriers) {
    const double spacing = carrierFrequencyMHz(1) - carrierFrequencyMHz(0);
    const long carrier = std::lround((mhz - carrierFrequencyMHz(0)) / spacing);
    const long clamped = std::clamp<long>(carrier, 0, long(kAvCarrierCount) - 1);
    if (size_t(clamped) >= carriers) return -1;
    return int(size_t(clamped) / kCarriersPerColumn);
}

}  // namespace

std::vector<std::string> toneMapChart(const std::vector<uint8_t>& modulation) {
    if (modulation.empty()) return {};
    const std::vector<int> heights = columnHeights(modulation);
    std::vector<std::string> lines;
    for (int row = kChartRows - 1; row >= 0; --row) {
        char label[8];
        std::snprintf(label, sizeof label, "%2d ", (row + 1) * kBitsPerRow);
        std::string line = std::string(label) + "┤";
        for (const int height : heights)
            line += kBlocks[std::clamp(height - row * 8, 0, 8)];
        lines.push_back(line);
    }

    std::string axis = std::string(kGutter - 1, ' ') + "└";
    std::string labels = "MHz ";  // ASCII only: its length is its width
    std::vector<int> ticks;
    for (const int mhz : kAxisMHz) {
        const int column = columnOf(mhz, modulation.size());
        if (column < 0) continue;
        const size_t at = kGutter + size_t(column);
        // A blank at least between two labels; the first may follow the unit at once.
        if (at < labels.size() + (labels.size() > kGutter ? 1 : 0)) continue;
        ticks.push_back(column);
        labels += std::string(at - labels.size(), ' ') + std::to_string(mhz);
    }
    for (size_t c = 0; c < heights.size(); ++c)
        axis += std::find(ticks.begin(), ticks.end(), int(c)) != ticks.end() ? "┬" : "─";
    lines.push_back(axis);
    lines.push_back(labels);
    return lines;
}

}  // namespace corvel
