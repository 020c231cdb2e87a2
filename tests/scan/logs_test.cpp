// SPDX-License-Identifier: MIT
#include "scan/logs.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <ctime>
#include <limits>
#include <string>
#include <vector>

#include "core/tables.h"
#include "platform/text.h"
#include "store/preferences.h"
#include "tests/store/store_test_support.h"
#include "transport/interface_table.h"

namespace corvel::test {
namespace {

constexpr std::time_t kJune17At1509 = 1276787340;  // Thu Jun 17 15:09:00 2010 UTC

std::string readText(const fs::path& path) {
    const Bytes bytes = readBytes(path);
    return std::string(bytes.begin(), bytes.end());
}

size_t lineCount(const std::string& text) {
    return size_t(std::count(text.begin(), text.end(), '\n'));
}

Mac macOf(uint8_t last) {
    return Mac{0x00, 0xB0, 0x52, 0x00, 0x10, last};
}

class Logs : public ::testing::Test {
protected:
    void SetUp() override {
        ::setenv("TZ", "UTC", 1);
        ::tzset();
        resetCoreState();
        resetInterfaceTable();
        preferences() = defaultPreferences();
        closeScanLog();
        installCalendarSource([this] { return now; });
    }
    void TearDown() override {
        closeScanLog();
        installCalendarSource({});
        deviceLogWriter() = {};
        preferences() = defaultPreferences();
    }

    void setInterface(int i, Mac host, bool localPresent) {
        copyMac(core.stationTables[i].hostMac, host.data());
        core.stationTables[i].localPresent = localPresent ? 1 : 0;
    }
    void setStation(int i, int slot, Mac mac, int present, int8_t misses) {
        StationRecord& s = core.stationTables[i].stations[slot];
        copyMac(s.mac, mac.data());
        s.present = present;
        s.missesTillDrop = misses;
    }

    std::time_t now = kJune17At1509;
    ScratchDirectory scratch;
    WorkingDirectory inScratch{scratch.path};
};

// ---- scan log ----

TEST_F(Logs, ScanLogIsWrittenOnlyFromLevel20) {
    setInterface(0, macOf(0xA0), false);
    adapterCount = 1;
    const std::string heading =
        "Thu Jun 17 15:09:00 2010\n\tdevice\t\t\tpresent\tmissesTillDrop\n\n";
    const std::string snapshot = "NIC #0:\t00:B0:52:00:10:A0\tPresent=0\n";
    struct Case {
        int level;
        bool written;
    } cases[] = {{0, false}, {19, false}, {20, true}, {31, true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.level);
        closeScanLog();
        fs::remove("scan.log");
        preferences().diagnosticsLevel = int16_t(c.level);
        now = kJune17At1509;
        scanLogSnapshot();
        now += 3;  // a later cycle: the time is written only when the file is created
        scanLogSnapshot();
        if (c.written)
            EXPECT_EQ(readText("scan.log"), heading + snapshot + snapshot);
        else
            EXPECT_FALSE(fs::exists("scan.log"));
    }
}

TEST_F(Logs, ScanLogListsUsedSlotsOfInterfacesWithALocalDevice) {
    adapterCount = 2;
    setInterface(0, macOf(0xA0), true);
    setStation(0, 0, macOf(1), 1, 3);
    setStation(0, 2, macOf(2), 0, 0);    // dropped: still listed, present 0
    setStation(0, 31, macOf(3), 1, -1);  // a damaged count shows as the signed number it holds
    setInterface(1, macOf(0xA1), false);
    setStation(1, 0, macOf(4), 1, 3);  // no local device: its stations are not listed
    setInterface(2, macOf(0xA2), true);
    setStation(2, 0, macOf(5), 1, 3);  // beyond adapterCount

    writeScanLog(true);
    EXPECT_EQ(readText("scan.log"),
              "Thu Jun 17 15:09:00 2010\n"
              "\tdevice\t\t\tpresent\tmissesTillDrop\n\n"
              "NIC #0:\t00:B0:52:00:10:A0\tPresent=1\n"
              "\t00:B0:52:00:10:01\t1\t3\n"
              "\t00:B0:52:00:10:02\t0\t0\n"
              "\t00:B0:52:00:10:03\t1\t-1\n"
              "\n"
              "NIC #1:\t00:B0:52:00:10:A1\tPresent=0\n");
}

TEST_F(Logs, ScanLogReplacesAnOldFileAndStartsAgainAfterClosing) {
    writeText("scan.log", "left over from an earlier run\n");
    adapterCount = 0;
    writeScanLog(false);
    const std::string heading =
        "Thu Jun 17 15:09:00 2010\n\tdevice\t\t\tpresent\tmissesTillDrop\n\n";
    EXPECT_EQ(readText("scan.log"), heading);
    now = kJune17At1509 + 60;
    writeScanLog(true);  // closed before: created anew with a fresh time
    EXPECT_EQ(readText("scan.log"),
              "Thu Jun 17 15:10:00 2010\n\tdevice\t\t\tpresent\tmissesTillDrop\n\n");
}

TEST_F(Logs, ScanLogThatCannotBeCreatedIsTriedAgainNextCycle) {
    preferences().diagnosticsLevel = 20;
    adapterCount = 1;
    setInterface(0, macOf(0xA0), false);
    fs::create_directory("scan.log");
    scanLogSnapshot();
    EXPECT_TRUE(fs::is_directory("scan.log"));
    fs::remove("scan.log");
    scanLogSnapshot();
    EXPECT_EQ(readText("scan.log"),
              "Thu Jun 17 15:09:00 2010\n\tdevice\t\t\tpresent\tmissesTillDrop\n\n"
              "NIC #0:\t00:B0:52:00:10:A0\tPresent=0\n");
}

// ---- device log ----

std::vector<uint8_t> blockOf(uint8_t first) {
    std::vector<uint8_t> block(kParamBlockSize);
    for (size_t i = 0; i < block.size(); ++i) block[i] = uint8_t(first + i);
    return block;
}

std::string dataText(const char* label, const std::vector<uint8_t>& bytes) {
    std::string text = label;
    static const char* const kHex = "0123456789abcdef";
    for (uint8_t b : bytes) text += std::string{' ', kHex[b >> 4], kHex[b & 15]};
    return text;
}

TEST_F(Logs, FirstDeviceLogEntryIsAThreeLineFile) {
    const std::vector<uint8_t> block = blockOf(0xF0);  // wraps through 0x00
    const std::string bytesText =
        " f0 f1 f2 f3 f4 f5 f6 f7 f8 f9 fa fb fc fd fe ff 00 01 02 03 04 05 06 07 08 09 0a 0b 0c "
        "0d 0e 0f 10 11 12 13 14 15 16 17 18 19 1a 1b 1c 1d 1e 1f 20 21";
    struct Case {
        DeviceLogKind kind;
        const char* label;
    } cases[] = {{DeviceLogKind::storedCopy, "**EEPROM**"},
                 {DeviceLogKind::workingCopy, "** RAM  **"},
                 {DeviceLogKind::keyMismatch, "**SETNEK**"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        fs::remove("Corvel Utility.log");
        writeDeviceLog(c.kind, block);
        const std::string text = readText("Corvel Utility.log");
        EXPECT_EQ(text,
                  "Time Thu Jun 17 15:09:00 2010\n\n" + std::string(c.label) + bytesText + "\n");
        EXPECT_EQ(lineCount(text), 3u);
    }
}

TEST_F(Logs, InstalledWriterLogsUnderTheProductTitle) {
    copyText(preferences().productTitle, "Acme Plug");
    writeDeviceLogEntry(DeviceLogKind::workingCopy, blockOf(0));
    EXPECT_FALSE(fs::exists("Acme Plug.log"));  // nothing installed yet: the entry goes nowhere
    installDeviceLog();
    writeDeviceLogEntry(DeviceLogKind::workingCopy, blockOf(0));
    EXPECT_EQ(readText("Acme Plug.log"),
              "Time Thu Jun 17 15:09:00 2010\n\n" + dataText("** RAM  **", blockOf(0)) + "\n");
}

std::string entryText(std::time_t when, const std::string& data) {
    return "Time " + *asctimeText(when) + "\n" + data + "\n";
}

TEST_F(Logs, DeviceLogKeepsTheNewestWholeEntries) {
    std::vector<std::string> entries;
    for (int k = 0; k < 12; ++k) {
        SCOPED_TRACE(k);
        now = kJune17At1509 + k * 60;
        const std::vector<uint8_t> block = blockOf(uint8_t(k));
        writeDeviceLog(DeviceLogKind::storedCopy, block);
        entries.push_back(entryText(now, dataText("**EEPROM**", block)));

        // At most seven three-line entries; the new one always last, none cut.
        std::string expected;
        for (size_t e = entries.size() > 7 ? entries.size() - 7 : 0; e < entries.size(); ++e)
            expected += entries[e];
        const std::string text = readText("Corvel Utility.log");
        EXPECT_EQ(text, expected);
        EXPECT_LE(lineCount(text), size_t(kDeviceLogMaxLines));
    }
}

TEST_F(Logs, HandEditedDeviceLogNeverOverflowsTheWorkingBuffer) {
    const std::string oldEntry =
        entryText(kJune17At1509 - 3600, dataText("**SETNEK**", blockOf(9)));
    std::string manyLines;
    for (int i = 0; i < 5000; ++i) manyLines += "note " + std::to_string(i) + "\n";
    const std::string longLine(20000, 'x');
    // A 100-byte block makes a data line longer than one buffer line: it counts as two.
    const std::string wideEntry =
        entryText(kJune17At1509 - 60, dataText("** RAM  **", std::vector<uint8_t>(100, 0xAB)));
    std::string withNul = oldEntry;
    withNul[10] = '\0';

    struct Case {
        const char* name;
        std::string old;
        std::string kept;  // what stays of the old content in front of the new entry
    } cases[] = {
        {"thousands of lines without an entry", manyLines, ""},
        {"entries after thousands of lines", manyLines + oldEntry + oldEntry, oldEntry + oldEntry},
        {"a single line of 20000 characters", longLine + "\n", ""},
        {"no line feed at the end", "hand note", "hand note\n"},
        {"a long line without line feed", longLine, ""},
        {"a few notes before the entries", "a\nb\n" + oldEntry, "a\nb\n" + oldEntry},
        // The text after 100 full buffer lines begins a buffer line but not a line of the file.
        {"Time inside a long line", std::string(199 * 100, 'x') + "Time x\n" + oldEntry, oldEntry},
        {"a NUL byte in an entry", withNul, withNul},
        {"wide entries", wideEntry + wideEntry + wideEntry + wideEntry + wideEntry,
         wideEntry + wideEntry + wideEntry + wideEntry},
    };
    const std::string newEntry = entryText(kJune17At1509, dataText("**EEPROM**", blockOf(0x40)));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        writeText("Corvel Utility.log", c.old);
        writeDeviceLog(DeviceLogKind::storedCopy, blockOf(0x40));
        EXPECT_EQ(readText("Corvel Utility.log"), c.kept + newEntry);
    }
}

TEST_F(Logs, DeviceLogThatCannotBeReadIsLeftAlone) {
    fs::create_directory("Corvel Utility.log");
    writeText("Corvel Utility.log/inside", "kept");
    writeDeviceLog(DeviceLogKind::storedCopy, blockOf(0));
    EXPECT_TRUE(fs::is_directory("Corvel Utility.log"));
    EXPECT_EQ(readText("Corvel Utility.log/inside"), "kept");
}

TEST(LocalTimeText, HasTheAsctimeFormForAnyYear) {
    ::setenv("TZ", "UTC", 1);
    ::tzset();
    EXPECT_EQ(asctimeText(kJune17At1509), "Thu Jun 17 15:09:00 2010\n");
    EXPECT_EQ(asctimeText(1275951900), "Mon Jun  7 23:05:00 2010\n");  // day padded with a space
    EXPECT_EQ(asctimeText(0), "Thu Jan  1 00:00:00 1970\n");
    // Past 9999 the library's own form has no room; this one grows.
    EXPECT_EQ(asctimeText(253402300800), "Sat Jan  1 00:00:00 10000\n");
    EXPECT_EQ(asctimeText(std::numeric_limits<std::time_t>::max()), std::nullopt);
}

}  // namespace
}  // namespace corvel::test
