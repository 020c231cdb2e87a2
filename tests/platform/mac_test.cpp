// SPDX-License-Identifier: MIT
#include "platform/mac.h"

#include <gtest/gtest.h>

namespace corvel {
namespace {

TEST(MacText, FormatsUpperCaseWithColons) {
    EXPECT_EQ(formatMac(Mac{0x00, 0xb0, 0x52, 0x0a, 0xff, 0x01}), "00:B0:52:0A:FF:01");
}

TEST(MacText, ParsesSixHexPairsOnly) {
    struct Case {
        const char* text;
        bool valid;
    };
    const Case cases[] = {
        {"00:B0:52:0a:ff:01", true}, {"00-B0-52-0A-FF-01", true}, {"00:B0:52:0A:FF", false},
        {"00:B0:52:0A:FF:0", false}, {"00:B0:52:0A:FF:011", false}, {"00:B0-52:0A:FF:01", false},
        {"00:B0:52:0A:FG:01", false}, {"", false},                {"00B0520AFF01", false},
    };
    for (const Case& c : cases) {
        const auto mac = parseMac(c.text);
        EXPECT_EQ(mac.has_value(), c.valid) << c.text;
        if (mac) {
            EXPECT_EQ(formatMac(*mac), "00:B0:52:0A:FF:01") << c.text;
        }
    }
}

TEST(MacText, ArgumentsAlsoTakeTwelveBareHexDigits) {
    struct Case {
        const char* text;
        bool valid;
    };
    const Case cases[] = {
        {"00B0520aff01", true},  {"00:B0:52:0A:FF:01", true}, {"00-b0-52-0a-ff-01", true},
        {"00B0520AFF0", false},  {"00B0520AFF011", false},    {"00B0520AFG01", false},
        {"0xB0520AFF01", false}, {"00B0:520AFF01", false},
    };
    for (const Case& c : cases) {
        const auto mac = parseMacArgument(c.text);
        EXPECT_EQ(mac.has_value(), c.valid) << c.text;
        if (mac) {
            EXPECT_EQ(formatMac(*mac), "00:B0:52:0A:FF:01") << c.text;
        }
    }
}

}  // namespace
}  // namespace corvel
