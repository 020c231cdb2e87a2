// SPDX-License-Identifier: MIT
#include "store/vendor_list.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "platform/mac.h"
#include "platform/process_state.h"
#include "platform/text.h"
#include "store/preferences.h"
#include "store/product_files.h"
#include "tests/store/store_test_support.h"

namespace corvel::test {
namespace {

Mac macWithOui(uint32_t oui) {
    return Mac{uint8_t(oui >> 16), uint8_t(oui >> 8), uint8_t(oui), 0x12, 0x34, 0x56};
}

std::string line(uint32_t oui, const std::string& name) {
    char digits[8];
    std::snprintf(digits, sizeof digits, "%06X", unsigned(oui));
    return std::string(digits) + "\t" + name + "\n";
}

std::vector<std::string> namesOf(const VendorListText& list) {
    std::vector<std::string> names;
    for (const VendorEntry& e : list.entries) names.push_back(stringOf(e.name));
    return names;
}

class VendorList : public ::testing::Test {
protected:
    void SetUp() override {
        resetProcessState();
        preferences().ownOui[0] = 0xAA;  // out of the way of the lists below
    }
    void TearDown() override { resetProcessState(); }
    std::string lookUp(uint32_t oui) { return vendorName(macWithOui(oui).data()); }
};

TEST_F(VendorList, LineGivesTheOuiAndTheNameWithSpaces) {
    const VendorListText list = parseVendorList("0012AB\tSome_Vendor\n");
    ASSERT_EQ(list.entries.size(), 1u);
    const VendorEntry& e = list.entries[0];
    EXPECT_EQ(e.oui[0], 0x00);
    EXPECT_EQ(e.oui[1], 0x12);
    EXPECT_EQ(e.oui[2], 0xAB);
    EXPECT_EQ(stringOf(e.name), "Some Vendor");
    EXPECT_EQ(list.malformedLines, 0u);
}

// Every entry of lists of every small size is found, the first and the last included, and no
// key between or beyond them is.
TEST_F(VendorList, EveryEntryIsFoundAndNothingElse) {
    for (uint32_t size = 0; size <= 9; ++size) {
        std::string text;
        for (uint32_t i = 0; i < size; ++i) text += line(0x100 * (i + 1), "V" + std::to_string(i));
        setVendorList(parseVendorList(text).entries);
        for (uint32_t i = 0; i < size; ++i) {
            EXPECT_EQ(lookUp(0x100 * (i + 1)), "V" + std::to_string(i)) << size << " " << i;
            EXPECT_EQ(lookUp(0x100 * (i + 1) + 1), "Veltrix") << size << " " << i;
        }
        EXPECT_EQ(lookUp(0), "Veltrix") << size;
        EXPECT_EQ(lookUp(0xFFFFFF), "Veltrix") << size;
    }
}

TEST_F(VendorList, MalformedLineIsSkippedAndTheLinesAfterItAreKept) {
    const char* malformed[] = {
        "zz12AB\tBad",  // not hex
        "0012A\tBad",   // five digits
        "0012AG\tBad",  // a non-hex sixth digit
        "0012AB",       // no name
        "0012AB\t",     // empty name
        "0012ABBad",    // no separator
        "Some_Vendor\t0012AB",
    };
    for (const char* bad : malformed) {
        const VendorListText list =
            parseVendorList(line(0x000010, "First") + bad + "\n" + line(0x000020, "Last"));
        EXPECT_EQ(namesOf(list), (std::vector<std::string>{"First", "Last"})) << bad;
        EXPECT_EQ(list.malformedLines, 1u) << bad;
    }
}

TEST_F(VendorList, TextVariationsThatStillHoldEntries) {
    struct Case {
        const char* what;
        std::string text;
        std::vector<std::string> names;
    };
    const Case cases[] = {
        {"long name cut to 11", line(1, "Twelve_chars_and_more"), {"Twelve char"}},
        {"CRLF line ends and no final line end", "000001\tA\r\n000002\tB", {"A", "B"}},
        {"blank lines", "\n000001\tA\n\n  \n000002\tB\n", {"A", "B"}},
        {"spaces as separator, lower-case digits", "0000a1 \t A_b extra\n", {"A b"}},
        {"unsorted lines come out sorted",
         line(3, "C") + line(1, "A") + line(2, "B"),
         {"A", "B", "C"}},
        {"empty", "", {}},
    };
    for (const Case& c : cases) {
        const VendorListText list = parseVendorList(c.text);
        EXPECT_EQ(namesOf(list), c.names) << c.what;
        EXPECT_EQ(list.malformedLines, 0u) << c.what;
    }
}

TEST_F(VendorList, ShortLinesAreAllRead) {
    // Lines much shorter than 20 bytes: a count estimated from the file size would miss most.
    std::string text;
    for (uint32_t i = 0; i < 200; ++i) text += line(i, "v");
    ASSERT_LT(text.size() / 20, 200u);
    setVendorList(parseVendorList(text).entries);
    EXPECT_EQ(vendorList().size(), 200u);
    EXPECT_EQ(lookUp(199), "v");
}

TEST_F(VendorList, OwnOuiComesFirstEvenWhenZero) {
    setVendorList(parseVendorList(line(0x00B052, "Listed") + line(0, "Zero")).entries);
    const uint8_t own[3] = {0x00, 0xB0, 0x52};
    std::memcpy(preferences().ownOui, own, 3);
    copyText(preferences().ownVendorName, "Own Devices");
    EXPECT_EQ(lookUp(0x00B052), "Own Devices");
    EXPECT_EQ(lookUp(0), "Zero");

    std::memset(preferences().ownOui, 0, 3);
    EXPECT_EQ(lookUp(0), "Own Devices");
    EXPECT_EQ(lookUp(0x00B052), "Listed");
}

TEST_F(VendorList, LoadReadsTheFileOrLeavesTheListEmpty) {
    ScratchDirectory scratch;
    WorkingDirectory inScratch(scratch.path);
    setProductDataFolders({});
    setVendorList(parseVendorList(line(1, "Stale")).entries);

    EXPECT_EQ(loadVendorList(), 0u);
    EXPECT_TRUE(vendorList().empty()) << "missing file";
    EXPECT_EQ(lookUp(1), "Veltrix");

    writeText(scratch.path / "OUIList.txt", line(1, "A") + "junk\n" + line(2, "B"));
    EXPECT_EQ(loadVendorList(), 1u);
    EXPECT_EQ(vendorList().size(), 2u);

    writeText(scratch.path / "OUIList.txt", "");
    EXPECT_EQ(loadVendorList(), 0u);
    EXPECT_TRUE(vendorList().empty()) << "empty file";
    EXPECT_EQ(lookUp(2), "Veltrix");
    restoreProductDataFolders();
}

TEST_F(VendorList, ShippedListIsWellFormedAndSorted) {
    const Bytes bytes = readBytes(fs::path(CORVEL_SOURCE_DIR) / "data/OUIList.txt");
    const std::string text(bytes.begin(), bytes.end());
    const VendorListText list = parseVendorList(text);
    EXPECT_EQ(list.malformedLines, 0u);
    EXPECT_EQ(list.entries.size(), size_t(std::count(text.begin(), text.end(), '\n')));
    ASSERT_GT(list.entries.size(), 1000u);

    // Strictly ascending in the file itself, each line exactly "XXXXXX\tName" of at most 11.
    size_t start = 0;
    std::string previous;
    while (start < text.size()) {
        const size_t end = text.find('\n', start);
        const std::string row = text.substr(start, end - start);
        const size_t tab = row.find('\t');
        ASSERT_EQ(tab, 6u) << row;
        const std::string name = row.substr(7);
        EXPECT_TRUE(!name.empty() && name.size() <= 11 && name.find(' ') == std::string::npos)
            << row;
        EXPECT_LT(previous, row.substr(0, 6)) << row;
        previous = row.substr(0, 6);
        start = end + 1;
    }

    setVendorList(list.entries);
    const VendorEntry& first = list.entries.front();
    const VendorEntry& last = list.entries.back();
    EXPECT_EQ(vendorName(Mac{first.oui[0], first.oui[1], first.oui[2], 1, 2, 3}.data()),
              stringOf(first.name));
    EXPECT_EQ(vendorName(Mac{last.oui[0], last.oui[1], last.oui[2], 1, 2, 3}.data()),
              stringOf(last.name));
    EXPECT_EQ(lookUp(0x00B052), "Atheros Com");
}

}  // namespace
}  // namespace corvel::test
