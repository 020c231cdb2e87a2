// SPDX-License-Identifier: MIT
#include "scan/logs.h"

#include <grp.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <ctime>
#include <limits>
#include <string>
#include <vector>

#include "core/tables.h"
#include "platform/notifier.h"
#include "platform/process_state.h"
#include "platform/text.h"
#include "store/data_directory.h"
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
        resetProcessState();
        setDataDirectory("");
        installCalendarSource([this] { return now; });
    }
    void TearDown() override {
        setDataDirectory("");
        installCalendarSource({});
        resetProcessState();
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

// ---- where the logs go ----

mode_t modeOf(const fs::path& path) {
    struct stat info {};
    EXPECT_EQ(::lstat(path.c_str(), &info), 0) << path;
    return info.st_mode & 07777;
}

constexpr uid_t kNobody = 65534;
constexpr char kDeviceLog[] = "Corvel Utility.log";

// The working directory is the scratch directory; the data directory is beside it.
class LogPlaces : public Logs {
protected:
    void SetUp() override {
        Logs::SetUp();
        fs::create_directory(data);
        setDataDirectory(data.string());
    }
    void TearDown() override {
        ::chmod(scratch.path.c_str(), 0755);
        std::error_code ignored;
        fs::remove_all(data, ignored);
        Logs::TearDown();
    }
    // Both logs, each twice, as a run writes them.
    void writeBothLogs() {
        for (int i = 0; i < 2; ++i) {
            writeScanLog(false);
            writeDeviceLog(DeviceLogKind::storedCopy, blockOf(0));
        }
    }
    std::string movedText() const {
        return "The working directory " + fs::current_path().string() +
               " can be written by other users: the logs are written in " + data.string() +
               " instead.";
    }

    fs::path data = scratch.path.parent_path() / (scratch.path.filename().string() + "-data");
    RecordingNotifier recorder;
    ScopedNotifier scoped{recorder};
};

// A working directory that other users can write would let them plant a file under a log's
// name for a privileged run to take over, or take the log away: the logs then go to the data
// directory, which is said once a run. Elsewhere they stay private to the user.
TEST_F(LogPlaces, LogsLeaveAWorkingDirectoryOthersCanWrite) {
    struct Case {
        const char* what;
        mode_t mode;
        uid_t owner;  // the user running, unless kNobody
        gid_t group;  // the user's primary group, unless kNobody
        bool toData;
    };
    const Case cases[] = {
        {"own 0755", 0755, 0, 0, false},
        {"own 0700", 0700, 0, 0, false},
        {"own sticky 1755", 01755, 0, 0, false},
        {"own 0777", 0777, 0, 0, true},
        {"own sticky 1777", 01777, 0, 0, true},
        {"0775 of another group", 0775, 0, kNobody, true},
        {"/tmp-like 1777 of another user", 01777, kNobody, 0, true},
        {"0755 of another user", 0755, kNobody, 0, true},
    };
    const fs::path here = scratch.path;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const bool otherOwner = c.owner == kNobody || c.group == kNobody;
        if (otherOwner && ::geteuid() != 0) continue;  // only root can give the directory away
        ASSERT_EQ(::chown(here.c_str(), c.owner == kNobody ? kNobody : ::geteuid(),
                          c.group == kNobody ? kNobody : ::getegid()),
                  0);
        ASSERT_EQ(::chmod(here.c_str(), c.mode), 0);
        for (const fs::path& d : {here, data})
            for (const char* name : {kScanLogFileName, kDeviceLog}) fs::remove(d / name);
        resetLogPlaceNotice();
        recorder.messages.clear();

        writeBothLogs();
        const fs::path used = c.toData ? data : here;
        const fs::path other = c.toData ? here : data;
        for (const char* name : {kScanLogFileName, kDeviceLog}) {
            SCOPED_TRACE(name);
            ASSERT_TRUE(fs::exists(used / name));
            EXPECT_FALSE(fs::exists(other / name));
            EXPECT_EQ(modeOf(used / name), c.toData ? 0640u : 0600u);
        }
        EXPECT_EQ(lineCount(readText(used / kDeviceLog)), 6u) << "both entries in one log";
        if (c.toData) {
            ASSERT_EQ(recorder.messages.size(), 1u);
            EXPECT_EQ(recorder.messages[0].title, "Information");
            EXPECT_EQ(recorder.messages[0].text, movedText());
            EXPECT_EQ(recorder.messages[0].icon, Icon::Information);
        } else {
            EXPECT_TRUE(recorder.messages.empty());
        }
    }
    ASSERT_EQ(::chown(here.c_str(), ::geteuid(), ::getegid()), 0);
}

// What another user planted under the device log's name in a world-writable sticky directory
// is neither read into the log nor made the program's own.
TEST_F(LogPlaces, APlantedLogIsNeitherTakenOverNorRead) {
    const fs::path planted = scratch.path / kDeviceLog;
    const std::string program = "#!/bin/sh\nid\n";
    writeText(planted, program);
    if (::geteuid() == 0) {
        ASSERT_EQ(::chown(planted.c_str(), kNobody, kNobody), 0);
    }
    ASSERT_EQ(::chmod(planted.c_str(), 06755), 0);
    ASSERT_EQ(::chmod(scratch.path.c_str(), 01777), 0);

    writeDeviceLog(DeviceLogKind::storedCopy, blockOf(0));

    EXPECT_EQ(readText(planted), program);
    EXPECT_EQ(modeOf(planted), 06755u);
    EXPECT_EQ(readText(data / kDeviceLog),
              entryText(kJune17At1509, dataText("**EEPROM**", blockOf(0))));
    EXPECT_EQ(modeOf(data / kDeviceLog), 0640u);
}

// In the user's own directory, files left under the logs' names lend them no mode: a log is
// never run, whoever wrote it last.
TEST_F(LogPlaces, OldLogsLendTheirModeToNothing) {
    for (const char* name : {kScanLogFileName, kDeviceLog}) {
        writeText(name, "Time old\n");
        ASSERT_EQ(::chmod(name, 06755), 0);
    }
    writeBothLogs();
    for (const char* name : {kScanLogFileName, kDeviceLog}) EXPECT_EQ(modeOf(name), 0600u) << name;
    EXPECT_TRUE(readText(kDeviceLog).starts_with("Time old\n")) << "the old entries are kept";
}

TEST_F(LogPlaces, WithoutASafeDataDirectoryTheLogsAreNotWritten) {
    ASSERT_EQ(::chmod(scratch.path.c_str(), 0777), 0);
    const std::string notWritten = "The working directory " + fs::current_path().string() +
                                   " can be written by other users: the logs are not written.";
    for (const bool withData : {false, true}) {
        SCOPED_TRACE(withData ? "data directory writable by all" : "no data directory");
        if (withData) {
            ASSERT_EQ(::chmod(data.c_str(), 0777), 0);
        }
        setDataDirectory(withData ? data.string() : "");
        resetLogPlaceNotice();
        recorder.messages.clear();
        writeBothLogs();
        EXPECT_TRUE(fs::is_empty(data));
        EXPECT_FALSE(fs::exists(kScanLogFileName));
        EXPECT_FALSE(fs::exists(kDeviceLog));
        ASSERT_EQ(recorder.messages.size(), 1u);
        EXPECT_EQ(recorder.messages[0].text, notWritten);
    }
}

// Run in the shared data directory itself (root:corvel, 2770), the logs stay there without a
// word, readable by the group as the device list is.
TEST_F(LogPlaces, InTheSharedDataDirectoryTheLogsStayThere) {
    const ::group* shared = ::getgrnam(kSharedGroupName);
    if (shared == nullptr || ::geteuid() != 0) GTEST_SKIP() << "needs root and group corvel";
    ASSERT_EQ(::chown(data.c_str(), 0, shared->gr_gid), 0);
    ASSERT_EQ(::chmod(data.c_str(), 02770), 0);
    WorkingDirectory inData{data};
    writeBothLogs();
    EXPECT_EQ(modeOf(data / kScanLogFileName), 0640u);
    EXPECT_EQ(modeOf(data / kDeviceLog), 0640u);
    EXPECT_TRUE(recorder.messages.empty());
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
