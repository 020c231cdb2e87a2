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

TEST(QualityText, EachStyleAndScale) {
    struct Case {
        int32_t style;
        double rate;
        int32_t kind;
        std::string expected;
    };
    const Case cases[] = {
        {1, 120, 4, "Very Good"},  // (120 + 50) x 3 / 200 = 2.55 -> 2 -> level 3
        {1, 0, 4, "-offline -"},
        {1, 10, 4, "Fair"},
        {1, 200, 4, "Excellent"},
        {1, 230, 4, "Excellent"},  // beyond the scale: the highest level, never a wrap to "Fair"
        {1, 14, 1, "Excellent"},
        {1, 14, 0, "Excellent"},  // an unknown kind counts as 1.0
        {1, 40, 2, "Very Good"},  // (40 + 21.25) x 3 / 85 = 2.16 -> 2 -> level 3
        {1, 50, 3, "Fair"},       // kinds other than 1, 2, 4 start at level 0
        {2, 150, 4, "Good"},
        {2, 20, 4, "Bad"},
        {3, 100, 4, "ooo"},
        {4, 200, 4, bar(9)},
        {4, 0, 4, "-"},
        {5, 60, 4, "40-60%"},     // (60 + 40) x 4 / 200 = 2 -> level 3
        {6, 150, 4, "75%"},
        {6, 7, 1, "50%"},
        {6, 85, 2, "100%"},
        {6, 100, 3, "50%"},
        {0, 32, 4, bar(4)},  // 3.2 units -> 4 characters
        {0, 0, 4, ""},
        {0, 21, 1, bar(4)},  // (21 - 15) / 2 + 1 = 4
        {7, 5000, 4, bar(89)},
    };
    for (const Case& c : cases)
        EXPECT_EQ(qualityText(c.style, c.rate, c.kind), c.expected)
            << "style " << c.style << " rate " << c.rate << " kind " << c.kind;
}

// The level a script reads is the word scale's, whichever style the preferences draw.
TEST(QualityText, LevelAndWordWithoutTheDrawing) {
    const struct {
        double rate;
        int32_t kind;
        int level;
        const char* text;
    } cases[] = {
        {0, 4, 0, "offline"},    {10, 4, 1, "Fair"},   {120, 4, 3, "Very Good"},
        {230, 4, 4, "Excellent"}, {40, 2, 3, "Very Good"}, {14, 1, 4, "Excellent"},
    };
    for (const auto& c : cases) {
        const QualityLevel quality = qualityLevel(c.rate, c.kind);
        EXPECT_EQ(quality.level, c.level) << c.rate << " " << c.kind;
        EXPECT_EQ(quality.text, c.text) << c.rate << " " << c.kind;
    }
}

// The meter stands where the text does: a level of the word and symbol scales, else the rate's
// percentage of its kind's maximum, held between empty and full.
TEST(QualityText, ScaleOfTheDrawnMeter) {
    const struct {
        int32_t style;
        double rate;
        int32_t kind;
        QualityScale expected;
    } cases[] = {
        {1, 120, 4, {3, 4}},      {1, 0, 4, {0, 4}},       {1, 230, 4, {4, 4}},
        {2, 20, 4, {1, 2}},       {3, 100, 4, {3, 5}},     {4, 200, 4, {5, 5}},
        {5, 60, 4, {3, 5}},       {6, 150, 4, {75, 100}},  {6, 7, 1, {50, 100}},
        {6, 100, 3, {50, 100}},   {0, 100, 4, {50, 100}},  {0, 42.5, 2, {50, 100}},
        {0, 0, 4, {0, 100}},      {7, 5000, 4, {100, 100}}, {0, -3, 4, {0, 100}},
    };
    for (const auto& c : cases) {
        const QualityScale scale = qualityScale(c.style, c.rate, c.kind);
        EXPECT_EQ(scale, c.expected) << "style " << c.style << " rate " << c.rate << " kind "
                                     << c.kind << ": " << scale.value << "/" << scale.maximum;
        // An empty meter on a level scale is what the text calls level 0 ("-", "-offline -").
        if (c.style >= 1 && c.style <= 5)
            EXPECT_EQ(scale.value == 0, qualityText(c.style, c.rate, c.kind).front() == '-');
    }
}

}  // namespace
}  // namespace corvel
