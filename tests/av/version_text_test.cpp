// SPDX-License-Identifier: MIT
#include "av/version_text.h"

#include <gtest/gtest.h>

#include <string>

namespace corvel {
namespace {

TEST(ChipName, NamesTheThreeGenerationsOnly) {
    const struct {
        uint8_t generation;
        const char* name;
    } cases[] = {{0, nullptr},   {1, "QRB1000"}, {2, "QRB3000"},
                 {3, "QRB4000"}, {4, nullptr},   {255, nullptr}};
    for (const auto& c : cases) {
        const char* name = chipNameOf(c.generation);
        if (c.name == nullptr) {
            EXPECT_EQ(name, nullptr) << int(c.generation);
        } else {
            ASSERT_NE(name, nullptr) << int(c.generation);
            EXPECT_STREQ(name, c.name);
        }
    }
}

// A decoded version confirmation: p[1] the text length byte, p[2..65] the text area.
AvConfirm versionRecord(uint8_t lengthByte, const std::string& area) {
    AvConfirm record{};
    record.payload[1] = lengthByte;
    std::copy(area.begin(), area.end(), record.payload.begin() + 2);
    return record;
}

TEST(VersionText, StopsAtTheLengthByteAZeroByteSixtyFourCharactersAndTheFrameEnd) {
    const std::string full64(64, 'v');
    const struct {
        const char* name;
        uint8_t lengthByte;
        std::string area;
        size_t frameLength;
        std::string expected;
    } cases[] = {
        {"whole text", 11, "INT6000-1.1", 88, "INT6000-1.1"},
        {"length byte shorter", 7, "INT6000-1.1", 88, "INT6000"},
        {"zero byte first", 11, std::string("INT6\0-1.1", 9), 88, "INT6"},
        {"length byte says 255", 255, full64 + "ZZ", 88, full64},
        {"length zero", 0, "INT6000", 88, ""},
        // Text area beyond the frame's end holds nothing that arrived.
        {"frame ends inside the text", 11, "INT6000-1.1", 23 + 4, "INT6"},
        {"frame ends before the text", 11, "INT6000-1.1", 22, ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(versionTextOf(versionRecord(c.lengthByte, c.area), c.frameLength), c.expected)
            << c.name;
    }
}

TEST(VersionText, FirstGenerationNameIsReplacedByTheChipsName) {
    const struct {
        const char* text;
        const char* chip;
        const char* local;    // in place
        const char* station;  // starting at the chip name
    } cases[] = {
        {"QRB1000-AV-3.3.2", "QRB4000", "QRB4000-AV-3.3.2", "QRB4000-AV-3.3.2"},
        {"abc QRB1000-3.1", "QRB3000", "abc QRB3000-3.1", "QRB3000-3.1"},
        {"QRB1000 QRB1000", "QRB3000", "QRB3000 QRB1000", "QRB3000 QRB1000"},
        {"INT6400-3.1", "QRB3000", "INT6400-3.1", "INT6400-3.1"},
        {"abc QRB1000-3.1", "", "abc QRB1000-3.1", "abc QRB1000-3.1"},
        {"", "QRB4000", "", ""},
    };
    for (const auto& c : cases) {
        std::string local = c.text;
        normaliseLocalText(local, c.chip);
        EXPECT_EQ(local, c.local) << c.text;
        std::string station = c.text;
        normaliseStationText(station, c.chip);
        EXPECT_EQ(station, c.station) << c.text;
    }
}

}  // namespace
}  // namespace corvel
