// SPDX-License-Identifier: MIT
#include "scan/quality_text.h"

#include <gtest/gtest.h>

namespace corvel {
namespace {

std::string bar(int n) {
    std::string text;
    for (int i = 0; i < n; ++i) text += "\u258C";
    return text;
}

constexpr StationKind kHp10 = StationKind::HomePlug10;
constexpr StationKind kTurbo = StationKind::Turbo;
constexpr StationKind kAv = StationKind::Av;
constexpr StationKind kUnset{0};  // a record whose kind was never set
constexpr StationKind kOther{3};  // a stored value that names no kind

TEST(QualityText, EachStyleAndScale) {
    struct Case {
        int32_t style;
        double rate;
        StationKind kind;
        std::string expected;
    };
    const Case cases[] = {
        {1, 120, kAv, "Very Good"},  // (120 + 50) x 3 / 200 = 2.55 -> 2 -> level 3
        {1, 0, kAv, "-offline -"},
        {1, 10, kAv, "Fair"},
        {1, 200, kAv, "Excellent"},
        {1, 230, kAv, "Excellent"},  // beyond the scale: the highest level, never a wrap to "Fair"
        {1, 14, kHp10, "Excellent"},
        {1, 14, kUnset, "Excellent"},  // a kind never set counts as 1.0
        {1, 40, kTurbo, "Very Good"},  // (40 + 21.25) x 3 / 85 = 2.16 -> 2 -> level 3
        {1, 50, kOther, "Fair"},       // any other stored value starts at level 0
        {2, 150, kAv, "Good"},
        {2, 20, kAv, "Bad"},
        {3, 100, kAv, "ooo"},
        {4, 200, kAv, bar(9)},
        {4, 0, kAv, "-"},
        {5, 60, kAv, "40-60%"},  // (60 + 40) x 4 / 200 = 2 -> level 3
        {6, 150, kAv, "75%"},
        {6, 7, kHp10, "50%"},
        {6, 85, kTurbo, "100%"},
        {6, 100, kOther, "50%"},
        {0, 32, kAv, bar(4)},  // 3.2 units -> 4 characters
        {0, 0, kAv, ""},
        {0, 21, kHp10, bar(4)},  // (21 - 15) / 2 + 1 = 4
        {7, 5000, kAv, bar(89)},
    };
    for (const Case& c : cases)
        EXPECT_EQ(qualityText(c.style, c.rate, c.kind), c.expected)
            << "style " << c.style << " rate " << c.rate << " kind "
            << static_cast<int32_t>(c.kind);
}

// The level a script reads is the word scale's, whichever style the preferences draw.
TEST(QualityText, LevelAndWordWithoutTheDrawing) {
    const struct {
        double rate;
        StationKind kind;
        int level;
        const char* text;
    } cases[] = {
        {0, kAv, 0, "offline"},     {10, kAv, 1, "Fair"},         {120, kAv, 3, "Very Good"},
        {230, kAv, 4, "Excellent"}, {40, kTurbo, 3, "Very Good"}, {14, kHp10, 4, "Excellent"},
    };
    for (const auto& c : cases) {
        const QualityLevel quality = qualityLevel(c.rate, c.kind);
        EXPECT_EQ(quality.level, c.level) << c.rate << " " << static_cast<int32_t>(c.kind);
        EXPECT_EQ(quality.text, c.text) << c.rate << " " << static_cast<int32_t>(c.kind);
    }
}

// The meter stands where the text does: a level of the word and symbol scales, else the rate's
// percentage of its kind's maximum, held between empty and full.
TEST(QualityText, ScaleOfTheDrawnMeter) {
    const struct {
        int32_t style;
        double rate;
        StationKind kind;
        QualityScale expected;
    } cases[] = {
        {1, 120, kAv, {3, 4}},       {1, 0, kAv, {0, 4}},        {1, 230, kAv, {4, 4}},
        {2, 20, kAv, {1, 2}},        {3, 100, kAv, {3, 5}},      {4, 200, kAv, {5, 5}},
        {5, 60, kAv, {3, 5}},        {6, 150, kAv, {75, 100}},   {6, 7, kHp10, {50, 100}},
        {6, 100, kOther, {50, 100}}, {0, 100, kAv, {50, 100}},   {0, 42.5, kTurbo, {50, 100}},
        {0, 0, kAv, {0, 100}},       {7, 5000, kAv, {100, 100}}, {0, -3, kAv, {0, 100}},
    };
    for (const auto& c : cases) {
        const QualityScale scale = qualityScale(c.style, c.rate, c.kind);
        EXPECT_EQ(scale, c.expected)
            << "style " << c.style << " rate " << c.rate << " kind " << static_cast<int32_t>(c.kind)
            << ": " << scale.value << "/" << scale.maximum;
        // An empty meter on a level scale is what the text calls level 0 ("-", "-offline -").
        if (c.style >= 1 && c.style <= 5) {
            EXPECT_EQ(scale.value == 0, qualityText(c.style, c.rate, c.kind).front() == '-');
        }
    }
}

}  // namespace
}  // namespace corvel
