// SPDX-License-Identifier: MIT
#include "av/tone_map_csv.h"

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

namespace corvel {
namespace {

std::vector<std::string> linesOf(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

TEST(ToneMapCsv, OneLinePerCarrierUnderTheHeader) {
    ToneMapConfirm map;
    map.modulation = {8, 0, 1, 15};
    EXPECT_EQ(toneMapCsv(map),
              "index,frequencyHz,modulation,bits\n"
              "0,1806640.625,4096-QAM,12\n"
              "1,1831054.6875,none,0\n"
              "2,1855468.75,BPSK,1\n"
              "3,1879882.8125,unknown,-1\n");
    EXPECT_EQ(toneMapCsv(ToneMapConfirm{}), "index,frequencyHz,modulation,bits\n");
}

// Every carrier's frequency reads as the JSON output writes the same number (whole ones with
// ".0"), so the CSV and the JSON of a tone map agree to the last digit.
TEST(ToneMapCsv, FrequenciesAsTheJsonOutputWritesThem) {
    ToneMapConfirm map;
    map.modulation.assign(kAvCarrierCount, 2);
    const std::vector<std::string> lines = linesOf(toneMapCsv(map));
    ASSERT_EQ(lines.size(), kAvCarrierCount + 1);
    for (size_t i = 0; i < kAvCarrierCount; ++i) {
        const std::string json = nlohmann::json(carrierFrequencyMHz(i) * 1e6).dump();
        ASSERT_EQ(lines[i + 1], std::to_string(i) + "," + json + ",QPSK,2") << i;
    }
    EXPECT_EQ(lines[7], "6,1953125.0,QPSK,2");
}

}  // namespace
}  // namespace corvel
