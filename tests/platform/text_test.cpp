// SPDX-License-Identifier: MIT
#include "platform/text.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/platform/terminal_text.h"

namespace corvel {
namespace {

using test::isValidUtf8;
using test::terminalControlAt;

const std::string kFffd = "\xEF\xBF\xBD";

std::string fffd(int n) {
    std::string text;
    for (int i = 0; i < n; ++i) text += kFffd;
    return text;
}

// What a device may put in a firmware text or a name, and how each is written: as valid UTF-8
// (validUtf8, the JSON output's texts) and as shown to a person (displayText).
struct TextCase {
    const char* what;
    std::string bytes;
    std::string valid;
    std::string shown;
};

const std::vector<TextCase> kCases = {
    {"plain ASCII", "QRB4000-AV-3.3.1", "QRB4000-AV-3.3.1", "QRB4000-AV-3.3.1"},
    {"two, three and four byte characters", "Caf\xC3\xA9 \xE6\x97\xA5 \xF0\x9F\x98\x80",
     "Caf\xC3\xA9 \xE6\x97\xA5 \xF0\x9F\x98\x80", "Caf\xC3\xA9 \xE6\x97\xA5 \xF0\x9F\x98\x80"},
    {"the first character past the C1 controls stays", "\xC2\xA0|\xC2\xA9", "\xC2\xA0|\xC2\xA9",
     "\xC2\xA0|\xC2\xA9"},
    {"the highest code point stays", "\xF4\x8F\xBF\xBF", "\xF4\x8F\xBF\xBF", "\xF4\x8F\xBF\xBF"},
    {"clear screen and colour", "FW\x1b[2J\x1b[31mred", "FW\x1b[2J\x1b[31mred",
     "FW\\x1b[2J\\x1b[31mred"},
    {"window title (OSC ended by BEL)", "\x1b]0;owned\x07", "\x1b]0;owned\x07",
     "\\x1b]0;owned\\x07"},
    {"BEL", "ring\x07", "ring\x07", "ring\\x07"},
    {"CR overwrites the line", "good\rEVIL", "good\rEVIL", "good\\x0dEVIL"},
    {"LF and tab", "a\nb\tc", "a\nb\tc", "a\\x0ab\\x09c"},
    {"backspace", "ok\b\bno", "ok\b\bno", "ok\\x08\\x08no"},
    {"NUL inside the text", std::string("a\0b", 3), std::string("a\0b", 3), "a\\x00b"},
    {"DEL", "x\x7Fy", "x\x7Fy", "x\\x7fy"},
    {"C1 CSI and NEL as characters",
     "\xC2\x9B"
     "2J\xC2\x85",
     "\xC2\x9B"
     "2J\xC2\x85",
     "\\x9b2J\\x85"},
    {"C1 CSI as a raw byte",
     "\x9B"
     "2J",
     kFffd + "2J", kFffd + "2J"},
    {"overlong slash", "\xC0\xAF", fffd(2), fffd(2)},
    {"overlong NUL", "\xC0\x80", fffd(2), fffd(2)},
    {"overlong ESC", "\xC1\x9B[2J", fffd(2) + "[2J", fffd(2) + "[2J"},
    {"three-byte overlong", "\xE0\x80\xAF", fffd(3), fffd(3)},
    {"four-byte overlong", "\xF0\x80\x80\xAF", fffd(4), fffd(4)},
    {"surrogate", "\xED\xA0\x80", fffd(3), fffd(3)},
    {"past U+10FFFF", "\xF4\x90\x80\x80", fffd(4), fffd(4)},
    {"bytes never in UTF-8", "\xF5\xFE\xFF", fffd(3), fffd(3)},
    {"lone continuation bytes",
     "a\x80"
     "b\xBF\xBF"
     "c",
     "a" + kFffd + "b" + fffd(2) + "c", "a" + kFffd + "b" + fffd(2) + "c"},
    {"Latin-1 text", "Caf\xE9 M\xFCller", "Caf" + kFffd + " M" + kFffd + "ller",
     "Caf" + kFffd + " M" + kFffd + "ller"},
    {"sequence cut by the end", "end\xF0\x9F\x98", "end" + kFffd, "end" + kFffd},
    {"sequence cut by ASCII",
     "\xE6\x97"
     "A",
     kFffd + "A", kFffd + "A"},
    {"sequence cut by ESC keeps the ESC", "\xE2\x82\x1b[2J", kFffd + "\x1b[2J", kFffd + "\\x1b[2J"},
    {"sequence cut by another lead", "\xE2\xC3\xA9", kFffd + "\xC3\xA9", kFffd + "\xC3\xA9"},
};

TEST(DisplayText, EachCaseAsValidUtf8AndAsShown) {
    for (const TextCase& c : kCases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(validUtf8(c.bytes), c.valid);
        EXPECT_EQ(displayText(c.bytes), c.shown);
        EXPECT_TRUE(isValidUtf8(validUtf8(c.bytes)));
        EXPECT_EQ(terminalControlAt(displayText(c.bytes)), std::string::npos);
    }
}

// Every string of one and two bytes, and every string of four bytes drawn from the bytes at the
// edges of the UTF-8 ranges: the valid form is valid UTF-8 and leaves valid input as it is, and
// the shown form is valid UTF-8 without a single control character.
TEST(DisplayText, EveryShortByteStringComesOutSafe) {
    std::vector<std::string> inputs;
    for (int a = 0; a < 256; ++a) {
        inputs.push_back(std::string(1, char(a)));
        for (int b = 0; b < 256; ++b) inputs.push_back({char(a), char(b)});
    }
    const unsigned char edges[] = {0x00, 0x1B, 0x41, 0x7F, 0x80, 0x8F, 0x90, 0x9B,
                                   0x9F, 0xA0, 0xBF, 0xC0, 0xC1, 0xC2, 0xDF, 0xE0,
                                   0xED, 0xEF, 0xF0, 0xF4, 0xF5, 0xFF};
    for (unsigned char a : edges)
        for (unsigned char b : edges)
            for (unsigned char c : edges)
                for (unsigned char d : edges)
                    inputs.push_back({char(a), char(b), char(c), char(d)});
    for (const std::string& input : inputs) {
        const std::string valid = validUtf8(input);
        const std::string shown = displayText(input);
        ASSERT_TRUE(isValidUtf8(valid)) << testing::PrintToString(input);
        if (isValidUtf8(input)) {
            ASSERT_EQ(valid, input);
        }
        ASSERT_EQ(validUtf8(valid), valid) << testing::PrintToString(input);
        ASSERT_TRUE(isValidUtf8(shown)) << testing::PrintToString(input);
        ASSERT_EQ(terminalControlAt(shown), std::string::npos) << testing::PrintToString(input);
        // Escaping again changes only the backslashes' meaning, never adds a control.
        ASSERT_EQ(displayText(shown), shown) << testing::PrintToString(input);
    }
}

}  // namespace
}  // namespace corvel
