// SPDX-License-Identifier: MIT
#include "scan/quality_text.h"

#include <array>
#include <cstdio>
#include <vector>

namespace corvel {

namespace {

// U+258C LEFT HALF BLOCK, the bar's unit.
constexpr const char* kBarUnit = "\u258C";

std::string bar(int units) {
    std::string text;
    for (int i = 0; i < units; ++i) text += kBarUnit;
    return text;
}

// The fullest rate of each kind's scale: 1.0 14 Mbit/s, Turbo 85, AV 200.
double scaleMaximum(StationKind kind) {
    switch (kind) {
        case StationKind::HomePlug10: return 14;
        case StationKind::Turbo: return 85;
        default: return 200;
    }
}

const std::vector<std::string> kWords = {"-offline -", "Fair", "Good", "Very Good",
                                         "Excellent"};

// The level tables of styles 1 to 5: the texts for levels 0 to the highest.
const std::vector<std::string>* levelTable(int32_t style) {
    static const std::vector<std::string> kBadGood = {"-", "Bad", "Good"};
    static const std::vector<std::string> kRings = {"-", "o", "oo", "ooo", "oooo", "ooooo"};
    static const std::vector<std::string> kBars = {"-", bar(2), bar(5), bar(6), bar(8), bar(9)};
    static const std::vector<std::string> kPercent = {"-",      "0-20%",  "20-40%",
                                                      "40-60%", "60-80%", "80-100%"};
    switch (style) {
        case 1: return &kWords;
        case 2: return &kBadGood;
        case 3: return &kRings;
        case 4: return &kBars;
        case 5: return &kPercent;
        default: return nullptr;
    }
}

// The level, 0 to `highest`, of `rate` on the scale of its kind. A record whose kind was never
// set (zero) is on the 1.0 scale; any other value off the three scales starts at level 0.
int levelOf(int highest, double rate, StationKind kind) {
    if (kind == StationKind{}) kind = StationKind::HomePlug10;
    int level = 0;
    if (kind == StationKind::HomePlug10 || kind == StationKind::Turbo || kind == StationKind::Av) {
        const double maximum = scaleMaximum(kind);
        level = int((rate + maximum / highest) * (highest - 1) / maximum);
    }
    // A rate above the scale's maximum shows the highest level rather than wrapping round to a
    // low one (230 Mbit/s on the AV scale is not "Fair").
    if (rate > 0) level = level >= highest ? highest : level + 1;
    if (level < 0) level = 0;
    return level;
}

std::string levelText(const std::vector<std::string>& table, double rate, StationKind kind) {
    return table[size_t(levelOf(int(table.size()) - 1, rate, kind))];
}

}  // namespace

QualityLevel qualityLevel(double rate, StationKind stationKind) {
    const int level = levelOf(int(kWords.size()) - 1, rate, stationKind);
    return {level, level == 0 ? "offline" : kWords[size_t(level)]};
}

QualityScale qualityScale(int32_t style, double rate, StationKind stationKind) {
    if (const auto* table = levelTable(style)) {
        const int highest = int(table->size()) - 1;
        return {levelOf(highest, rate, stationKind), highest};
    }
    const double percent = rate / scaleMaximum(stationKind) * 100;
    return {percent <= 0 ? 0 : percent >= 100 ? 100 : int(percent), 100};
}

std::string qualityText(int32_t style, double rate, StationKind stationKind) {
    if (const auto* table = levelTable(style)) return levelText(*table, rate, stationKind);
    if (style == 6) {
        char text[16];
        std::snprintf(text, sizeof text, "%d%s", int(rate / scaleMaximum(stationKind) * 100),
                      "%");
        return text;
    }
    double units = stationKind == StationKind::HomePlug10 ? (rate - 15) / 2 + 1 : rate / 10;
    if (units >= 90) units = 89;
    int count = 0;
    while (count < units) ++count;
    return bar(count);
}

}  // namespace corvel
