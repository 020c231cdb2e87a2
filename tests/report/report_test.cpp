// SPDX-License-Identifier: MIT
#include "report/report.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/utsname.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <limits>
#include <stdexcept>
#include <string>
#include <vector>

#include "av/av_state.h"
#include "scan/logs.h"
#include "core/tables.h"
#include "platform/notifier.h"
#include "platform/process_state.h"
#include "platform/text.h"
#include "report/host_info.h"
#include "store/preferences.h"
#include "store/vendor_list.h"
#include "tests/platform/terminal_text.h"
#include "tests/store/store_test_support.h"
#include "transport/interface_table.h"

namespace corvel::test {
namespace {

constexpr std::time_t kJune17At1509 = 1276787340;  // Thu Jun 17 15:09:00 2010 UTC
constexpr std::time_t kJune17At0015 = 1276733700;

const Mac kHost1{0x02, 0x00, 0x00, 0x00, 0x00, 0x01};
const Mac kHost3{0x02, 0x00, 0x00, 0x00, 0x00, 0x03};
const Mac kLocal{0x00, 0xB0, 0x52, 0x00, 0x00, 0xAA};
const Mac kKitchen{0x00, 0xB0, 0x52, 0x00, 0x10, 0x01};
const Mac kGarage{0x00, 0x11, 0x22, 0x00, 0x10, 0x02};  // OUI not in the vendor list
const Mac kOld10{0x00, 0xB0, 0x52, 0x00, 0x10, 0x04};
const Mac kStranger{0x00, 0xB0, 0x52, 0x00, 0x10, 0x05};

const std::string kRule(142, '-');

HostInfo testHost() {
    HostInfo host;
    host.computerName = "testhost";
    host.userName = "tester";
    host.processorType = 8664;
    host.systemName = "Linux";
    host.version = {6, 1, 0};
    return host;
}

// A report written into memory, as writeReport leaves it once it has closed the file.
std::string reportText() {
    char* buffer = nullptr;
    size_t size = 0;
    std::FILE* file = ::open_memstream(&buffer, &size);
    EXPECT_TRUE(writeReport(file));
    std::string text(buffer, size);
    std::free(buffer);
    return text;
}

class Report : public ::testing::Test {
protected:
    void SetUp() override {
        ::setenv("TZ", "UTC", 1);
        ::tzset();
        resetProcessState();
        preferences().diagnosticsLevel = 1;
        preferences().twelveHourClock = 1;
        copyText(preferences().noticeText, "Notice text.");
        installCalendarSource([] { return kJune17At1509; });
        installHostInfoSource(testHost);
        VendorEntry acme{{0x00, 0xB0, 0x52}, {}};
        std::strcpy(acme.name, "Acme");
        setVendorList({acme});
    }
    void TearDown() override {
        installCalendarSource({});
        installHostInfoSource({});
        resetProcessState();
    }

    int addDevice(const char* name, Mac mac, const char* password, std::time_t lastSeen) {
        const int k = appendDevice(mac.data(), name);
        copyText(core.devices[k - 1].password, password);
        copyText(core.devices[k - 1].networkName, "HomePlugAV");
        core.devices[k - 1].lastSeen = lastSeen;
        return k;
    }
    StationRecord& addStation(int slot, Mac mac, StationKind kind, int present, double rate,
                              const char* firmware) {
        StationRecord& s = core.stationTables[0].stations[slot];
        copyMac(s.mac, mac.data());
        s.stationKind = kind;
        s.present = present;
        s.rate.currentRate = rate;
        copyText(s.firmwareText, firmware);
        return s;
    }

    // Interface 0 has an AV local device and stations of every sort; interface 1 was found
    // without an address; interface 2 has no local device.
    void buildScene() {
        adapterCount = 3;
        StationTable& t0 = core.stationTables[0];
        copyMac(t0.hostMac, kHost1.data());
        t0.localPresent = 1;
        t0.localKind = kKindAv;
        copyMac(t0.localMac, kLocal.data());
        copyText(t0.networkName, "HomePlugAV");
        t0.linkRate.aux1 = 2;
        t0.linkRate.aux2 = 5;
        t0.linkRate.maxRate = 98.5;
        t0.linkRate.minRate = 12.25;
        int32_t* counters = core.adapters[0].linkCounters;
        counters[0] = 12 * 1024 + 1023;  // bytes read: 12 KB
        counters[1] = 17;                // reads
        counters[2] = 10 * 1024;         // bytes written: 10 KB
        counters[3] = 23;                // writes
        copyText(avExchangeState().localFirmwareText, "AV-FW-1.4.2");
        copyMac(core.stationTables[2].hostMac, kHost3.data());

        addDevice("Device 1", kLocal, "", kJune17At1509);
        addDevice("Garage", kGarage, "", kJune17At0015);
        addDevice("Kitchen", kKitchen, "ABCD-EFGH-IJKL-MNOP", kJune17At1509);
        addDevice("Old 1.0", kOld10, "", kJune17At1509);

        // The local device itself: not listed.
        addStation(0, kLocal, StationKind::Av, 1, 90, "AV-FW-1.4.2");
        StationRecord& kitchen = addStation(1, kKitchen, StationKind::Av, 1, 7.9, "AV-FW-1.4.2");
        kitchen.seenCount = 12;
        kitchen.dropCount = 3;
        kitchen.rate.aux2 = 4;
        kitchen.rate.aux1 = 1;
        kitchen.rate.maxRate = 98.5;
        kitchen.rate.minRate = 7.25;
        // Slot 2 free. A dropped station still in the device list is reported.
        StationRecord& garage = addStation(3, kGarage, StationKind::Av, 0, 0, "AV-FW-1.3.0");
        garage.dropCount = 6;
        addStation(4, kOld10, StationKind::Turbo, 1, 14, "Version 1.4");  // not AV: not listed
        addStation(5, kStranger, StationKind::Av, 1, 50, "AV-FW-1.4.2");  // not in the device list
    }

    static std::string heading() {
        return "Diagnostics Report:\t\t\t\t\tThu Jun 17 15:09:00 2010\n\n"
               "Utility Released: June 17, 2010\n"
               "Notice text.\n\n"
               "Host Computer Information:\n" +
               kRule;
    }
    static std::string hostLines() {
        return "\nComputer network name: testhost"
               "\nUser name: tester"
               "\nMicroprocessor: 8664"
               "\nOS Platform: Linux   V6.1, Build 0"
               "\n "
               "\nCorvel Utility    1.0.3 build 005"
               "\nLibrary: libpcap       ";
    }
    static std::string deviceHeading() {
        return "\n\n\nRemote Powerline Devices:\n" + kRule +
               "\nName\t\tMAC\t\t\tPassword\t\tRate\tNetwork\t\tLast Seen\tVendor\t\tFirmware\n" +
               kRule;
    }
};

TEST_F(Report, WholeReportAtEachDetailLevel) {
    buildScene();
    struct Case {
        int level;
        std::string localDetail;
        std::string kitchenDetail;
        std::string garageDetail;
    } cases[] = {
        {1, "", "", ""},
        {2,
         "\n   Reads: 17 (12 KB), Writes: 23 (10 KB)"
         "\n   Drops = 5, Fails = 2, Highest = 98.50 Mbps. Lowest = 12.25 Mbps",
         "\t12\t3\t4\t1\t98.50\t7.25", "\t0\t6\t0\t0\t0.00\t0.00"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.level);
        preferences().diagnosticsLevel = int16_t(c.level);
        EXPECT_EQ(reportText(),
                  heading() +
                      "\nOn NIC #1 MAC = 02:00:00:00:00:01"
                      "\n   HomePlug Device #1 MAC = 00:B0:52:00:00:AA"
                      "\n   Network Name: HomePlugAV"
                      "\n   Vendor: Acme"
                      "\n   Firmware: AV-FW-1.4.2 " +
                      c.localDetail +
                      "\n"
                      "\nOn NIC #2 MAC = 02:00:00:00:00:03"
                      "\n   No HomePlug Device Connected"
                      "\n" +
                      hostLines() + deviceHeading() +
                      "\nKitchen\t00:B0:52:00:10:01\tABCD-EFGH-IJKL-MNOP\t07\tHomePlugAV"
                      "\tJun 17 03:09PM\tAcme\tAV-FW-1.4.2" +
                      c.kitchenDetail +
                      "\n"
                      "\nGarage\t00:11:22:00:10:02\t--- not entered ---\t?\tHomePlugAV"
                      "\tJun 17 00:15AM\tVeltrix\tAV-FW-1.3.0" +
                      c.garageDetail + "\n");
    }
}

// Names, firmware texts and the notice carrying tabs, newlines, escape sequences and bytes that
// are not UTF-8: the file keeps the layout of plain texts, line for line and cell for cell, each
// control shown as an escape and each broken sequence as U+FFFD.
TEST_F(Report, TextsFromTheWireAndTheDeviceListKeepTheFileLayout) {
    buildScene();
    const std::string plain = reportText();
    const auto count = [](const std::string& text, char c) {
        return std::count(text.begin(), text.end(), c);
    };

    const int kitchen = findDeviceByMac(kKitchen.data());
    copyText(core.devices[kitchen - 1].name, "Kit\tchen\nFake row");
    copyText(core.stationTables[0].stations[1].firmwareText,
             "FW\x1b[2J\xC2\x9B[1m\xC0\xAF\xE2\x82");
    copyText(avExchangeState().localFirmwareText, "AV\r\x7F");
    copyText(preferences().noticeText, "Notice\x1b]0;owned\x07");
    installHostInfoSource([] {
        HostInfo host = testHost();
        host.computerName = "test\x9Bhost";
        return host;
    });
    const std::string text = reportText();

    EXPECT_EQ(count(text, '\n'), count(plain, '\n')) << text;
    EXPECT_EQ(count(text, '\t'), count(plain, '\t')) << text;
    EXPECT_EQ(terminalControlAt(text, "\n\t"), std::string::npos) << text;
    EXPECT_TRUE(isValidUtf8(text)) << text;
    for (const std::string shown : {"\nKit\\x09chen\\x0aFake row\t",
                                    "\tFW\\x1b[2J\\x9b[1m\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\n",
                                    "   Firmware: AV\\x0d\\x7f \n", "Notice\\x1b]0;owned\\x07\n",
                                    "Computer network name: test\xEF\xBF\xBDhost\n"})
        EXPECT_NE(text.find(shown), std::string::npos) << shown << " in\n" << text;
}

TEST_F(Report, WithNoInterfaceOnlyHostLinesAndAnEmptyTable) {
    EXPECT_EQ(reportText(), heading() + hostLines() + deviceHeading());
}

TEST_F(Report, VendorAndFirmwareLinesFollowTheLocalKind) {
    buildScene();
    copyText(core.turboVendorText, "TurboCo");
    copyText(core.turboProductText, "PL85");
    copyText(core.turboMacVersion, "Version 1.4");
    copyText(core.turboFirmwareText, "3.2.1");
    struct Case {
        int kind;
        int level;
        const char* vendor;
        const char* firmware;
    } cases[] = {
        {kKindAv, 1, "   Vendor: Acme", "   Firmware: AV-FW-1.4.2 "},
        {kKindAv, 2, "   Vendor: Acme", "   Firmware: AV-FW-1.4.2 "},
        {kKindTurbo, 1, "   Vendor: Acme", "   Firmware:MAC Version 1.4   ( 3.2.1 )"},
        {kKindTurbo, 2, "   Vendor: TurboCo, Product: PL85.",
         "   Firmware:MAC Version 1.4   ( 3.2.1 )"},
        {kKindHomePlug10, 2, "   Vendor: Acme", "   Firmware: HP 1.0"},
        {kKindUsb, 1, "   Vendor: Acme", "   Firmware: HP 1.0"},
        {kKindAdapter, 1, "   Vendor: Acme", "   Firmware: HP 1.0"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "kind " << c.kind << " level " << c.level);
        core.stationTables[0].localKind = c.kind;
        preferences().diagnosticsLevel = int16_t(c.level);
        DiagnosticsLists lists;
        ASSERT_TRUE(writeDiagnostics(lists));
        ASSERT_GE(lists.systemRows.size(), 5u);
        EXPECT_EQ(lists.systemRows[3], c.vendor);
        EXPECT_EQ(lists.systemRows[4], c.firmware);
    }
}

TEST_F(Report, LocalDeviceNeedsPresenceAndAnAddress) {
    buildScene();
    struct Case {
        int present;
        Mac local;
        bool shown;
    } cases[] = {{1, kLocal, true}, {0, kLocal, false}, {1, Mac{}, false}};
    for (const Case& c : cases) {
        core.stationTables[0].localPresent = c.present;
        copyMac(core.stationTables[0].localMac, c.local.data());
        DiagnosticsLists lists;
        ASSERT_TRUE(writeDiagnostics(lists));
        ASSERT_GE(lists.systemRows.size(), 3u);
        EXPECT_EQ(lists.systemRows[1], c.shown ? "   HomePlug Device #1 MAC = 00:B0:52:00:00:AA"
                                               : "   No HomePlug Device Connected");
    }
}

// One listed station, to look at its row in list mode.
class ReportRow : public Report {
protected:
    void SetUp() override {
        Report::SetUp();
        adapterCount = 1;
        copyMac(core.stationTables[0].hostMac, kHost1.data());
        device = addDevice("Kitchen", kKitchen, "pw", kJune17At1509);
        station = &addStation(0, kKitchen, StationKind::Av, 1, 7.9, "fw");
    }
    std::vector<std::string> row() {
        DiagnosticsLists lists;
        EXPECT_TRUE(writeDiagnostics(lists));
        EXPECT_EQ(lists.historyRows.size(), 1u);
        return lists.historyRows.empty() ? std::vector<std::string>{} : lists.historyRows[0];
    }
    std::vector<std::string> rowWith(const std::string& rate, const std::string& lastSeen) {
        return {"Kitchen", "00:B0:52:00:10:01", "pw", rate, "HomePlugAV", lastSeen, "Acme", "fw"};
    }
    int device = 0;
    StationRecord* station = nullptr;
};

TEST_F(ReportRow, LastSeenOnTheTwelveAndTwentyFourHourClocks) {
    struct Case {
        int64_t lastSeen;
        int twelveHour;
        const char* text;
    } cases[] = {
        {kJune17At1509, 1, "Jun 17 03:09PM"},
        {1276777800, 1, "Jun 17 12:30PM"},  // 12:30
        {kJune17At0015, 1, "Jun 17 00:15AM"},
        {1276775940, 1, "Jun 17 11:59AM"},  // 11:59
        {1275951900, 1, "Jun  7 11:05PM"},  // Jun 7 23:05
        {kJune17At1509, 0, "Jun 17 15:09"},
        {kJune17At0015, 0, "Jun 17 00:15"},
        // A damaged database value with no local time.
        {std::numeric_limits<int64_t>::max(), 1, "?"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        core.devices[device - 1].lastSeen = c.lastSeen;
        preferences().twelveHourClock = int16_t(c.twelveHour);
        EXPECT_EQ(row(), rowWith("07", c.text));
    }
}

TEST_F(ReportRow, RateIsItsWholeMegabitsWithTwoDigitsAtLeast) {
    struct Case {
        double rate;
        const char* text;
    } cases[] = {
        {7.9, "07"},
        {0, "?"},
        {54.99, "54"},
        {123, "123"},
        {std::nan(""), "?"},  // a damaged database value
        {1e300, "1000000000000000"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        station->rate.currentRate = c.rate;
        EXPECT_EQ(row(), rowWith(c.text, "Jun 17 03:09PM"));
    }
}

// The device's own rates to the station and from it follow the rate where both were measured;
// the row keeps its cells.
TEST_F(ReportRow, RateCellAddsBothDirectionsWhenMeasured) {
    station->rate.currentRate = 200;
    struct Case {
        const char* name;
        Mac recordedFor;
        uint8_t tx, rx;
        const char* text;
    } cases[] = {
        {"both measured", kKitchen, 151, 97, "200 (TX 151/RX 97)"},
        {"rx not measured", kKitchen, 151, 0, "200"},
        {"the pair of another station", Mac{0x00, 0xB0, 0x52, 0x00, 0x10, 0x77}, 151, 97, "200"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        core.currentAdapter = 0;
        core.phyRates[0][0] = PhyRatePair{};
        copyMac(core.phyRates[0][0].mac, c.recordedFor.data());
        core.phyRates[0][0].tx = c.tx;
        core.phyRates[0][0].rx = c.rx;
        EXPECT_EQ(row(), rowWith(c.text, "Jun 17 03:09PM"));
    }
}

TEST_F(ReportRow, DetailLevelAddsSixCellsAndListsAreRebuiltNotAppended) {
    station->seenCount = 9;
    station->dropCount = -3;
    station->rate.aux2 = 4000000000u;  // the full unsigned word
    station->rate.aux1 = 7;
    station->rate.maxRate = 85.5;
    station->rate.minRate = 0.004;
    struct Case {
        int level;
        size_t columns;
    } cases[] = {{1, 8}, {2, 14}, {20, 14}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.level);
        preferences().diagnosticsLevel = int16_t(c.level);
        DiagnosticsLists lists;
        ASSERT_TRUE(writeDiagnostics(lists));
        ASSERT_TRUE(writeDiagnostics(lists));         // a repaint rebuilds both lists
        EXPECT_EQ(lists.systemRows.size(), 3u + 7u);  // the NIC's three lines, the host's seven
        ASSERT_EQ(lists.historyRows.size(), 1u);
        EXPECT_EQ(lists.historyRows[0].size(), c.columns);
    }
    const std::vector<std::string> cells = row();
    ASSERT_EQ(cells.size(), 14u);
    const std::vector<std::string> extra(cells.begin() + 8, cells.end());
    EXPECT_EQ(extra, (std::vector<std::string>{"9", "-3", "4000000000", "7", "85.50", "0.00"}));
}

TEST_F(ReportRow, UnterminatedTextFieldsAreReadToTheirWidth) {
    DeviceRecord& d = core.devices[device - 1];
    std::memset(d.name, 'n', sizeof d.name);
    std::memset(d.password, 'p', sizeof d.password);
    std::memset(d.networkName, 'w', sizeof d.networkName);
    std::memset(station->firmwareText, 'f', sizeof station->firmwareText);
    std::vector<std::string> expected = rowWith("07", "Jun 17 03:09PM");
    expected[0] = std::string(35, 'n');
    expected[2] = std::string(56, 'p');
    expected[4] = std::string(52, 'w');
    expected[7] = std::string(186, 'f');
    EXPECT_EQ(row(), expected);
}

TEST_F(Report, HostNamesAreCutTo80Characters) {
    installHostInfoSource([] {
        HostInfo host = testHost();
        host.computerName = std::string(100, 'c');
        host.userName = std::string(81, 'u');
        return host;
    });
    DiagnosticsLists lists;
    ASSERT_TRUE(writeDiagnostics(lists));
    ASSERT_EQ(lists.systemRows.size(), 7u);
    EXPECT_EQ(lists.systemRows[0], "Computer network name: " + std::string(80, 'c'));
    EXPECT_EQ(lists.systemRows[1], "User name: " + std::string(80, 'u'));
}

// Fails on a chosen line, as a list that cannot take another row would.
class FailingSink : public DiagnosticsSink {
public:
    explicit FailingSink(size_t failAt) : failAt_(failAt) {}
    void beginHost() override {}
    void beginDevices() override {}
    void line(std::string_view text) override {
        if (lines.size() == failAt_) throw std::runtime_error("no room");
        lines.emplace_back(text);
    }
    void cell(std::string_view) override {}
    void endDevice() override {}
    std::vector<std::string> lines;

private:
    size_t failAt_;
};

TEST_F(Report, UnexpectedFailureIsReportedAndKeepsWhatWasWritten) {
    RecordingNotifier recorder;
    ScopedNotifier scoped(recorder);
    FailingSink sink(2);
    EXPECT_FALSE(writeDiagnostics(sink));
    EXPECT_EQ(sink.lines,
              (std::vector<std::string>{"Computer network name: testhost", "User name: tester"}));
    ASSERT_EQ(recorder.messages.size(), 1u);
    EXPECT_EQ(recorder.messages[0].title, "updateDiagnosticsList");
    EXPECT_EQ(recorder.messages[0].text, "Unknown error occured");
    EXPECT_EQ(recorder.messages[0].icon, Icon::None);
}

TEST_F(Report, SaveReportTellsWhetherTheFileWasWritten) {
    ScratchDirectory scratch;
    const fs::path saved = scratch.path / "diagnostics.txt";
    writeText(saved, "an older, longer report that must not survive in part");
    EXPECT_TRUE(saveReport(saved.string()));
    const Bytes bytes = readBytes(saved);
    EXPECT_EQ(std::string(bytes.begin(), bytes.end()), heading() + hostLines() + deviceHeading());
    EXPECT_FALSE(saveReport((scratch.path / "missing" / "diagnostics.txt").string()));
    EXPECT_FALSE(writeReport(nullptr));
}

// The report lists the device passwords. It is saved private to its writer, whatever the
// umask, and as a file of its own: a file another user made under the name (and still holds,
// here through a second link) keeps its content, and a link is not followed.
TEST_F(Report, SavedReportIsPrivateAndNeverWrittenIntoAnotherUsersFile) {
    ScratchDirectory scratch;
    const fs::path saved = scratch.path / "report.txt";
    const fs::path theirs = scratch.path / "theirs";
    writeText(theirs, "their own text");
    if (::geteuid() == 0) {
        ASSERT_EQ(::chown(theirs.c_str(), 65534, 65534), 0);
    }
    ASSERT_EQ(::chmod(theirs.c_str(), 0666), 0);
    fs::create_hard_link(theirs, saved);
    const mode_t previousMask = ::umask(0);
    std::string error;
    const bool written = saveReport(saved.string(), &error);
    ::umask(previousMask);
    ASSERT_TRUE(written) << error;

    struct stat info {};
    ASSERT_EQ(::stat(saved.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0600u);
    EXPECT_EQ(info.st_uid, ::geteuid());
    const Bytes report = readBytes(saved);
    EXPECT_EQ(std::string(report.begin(), report.end()), heading() + hostLines() + deviceHeading());
    const Bytes kept = readBytes(theirs);
    EXPECT_EQ(std::string(kept.begin(), kept.end()), "their own text");
    EXPECT_EQ(fs::hard_link_count(theirs), 1u);

    const fs::path link = scratch.path / "link.txt";
    fs::create_symlink(theirs, link);
    EXPECT_FALSE(saveReport(link.string(), &error));
    EXPECT_EQ(error, link.string() + ": is a symbolic link, refused");
    EXPECT_EQ(fs::symlink_status(link).type(), fs::file_type::symlink);
    EXPECT_EQ(readBytes(theirs), kept);
}

TEST(ReportTexts, VersionAndRelease) {
    EXPECT_EQ(versionText(), "1.0.3 build 005");
    EXPECT_EQ(releasedText(), "Released: June 17, 2010");
    const char* const months[] = {"January",   "Feburary", "March",    "April",
                                  "May",       "June",     "July",     "August",
                                  "September", "October",  "November", "December"};
    for (int m = 1; m <= 12; ++m) {
        char date[9];
        std::snprintf(date, sizeof date, "2011%.2d05", m);
        EXPECT_EQ(releasedText(date), std::string("Released: ") + months[m - 1] + " 05, 2011");
    }
    EXPECT_EQ(releasedText("20111305"), "Released:  05, 2011");
    EXPECT_EQ(releasedText("20110005"), "Released:  05, 2011");
    EXPECT_EQ(releasedText("2011"), "Released:  , 2011");  // too short: nothing read past it
}

TEST(ReportTexts, OsPlatformLineNamesTheKernel) {
    installHostInfoSource([] {
        HostInfo host = testHost();
        host.version = {5, 15, 133};
        return host;
    });
    EXPECT_EQ(osPlatformLine(), "OS Platform: Linux   V5.15, Build 133");
    installHostInfoSource({});
    // The running system: its own name and the numbers uname gives.
    utsname names{};
    ASSERT_EQ(::uname(&names), 0);
    const KernelVersion v = parseKernelRelease(names.release);
    EXPECT_EQ(osPlatformLine(), "OS Platform: Linux   V" + std::to_string(v.majorNumber) + "." +
                                    std::to_string(v.minorNumber) + ", Build " +
                                    std::to_string(v.patchNumber));
    EXPECT_GE(v.majorNumber, 2);
}

TEST(HostInfo, KernelReleaseNumbers) {
    struct Case {
        const char* release;
        int major, minor, patch;
    } cases[] = {
        {"6.1.0-18-amd64", 6, 1, 0},
        {"5.15.133.1-microsoft-standard-WSL2", 5, 15, 133},
        {"6.8-rc1", 6, 8, 0},
        {"4.19.0+", 4, 19, 0},
        {"3", 3, 0, 0},
        {"", 0, 0, 0},
        {"linux", 0, 0, 0},
        {"6.99999999999999999999.2", 6, 0, 0},  // does not fit: 0, and nothing after it
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.release);
        const KernelVersion v = parseKernelRelease(c.release);
        EXPECT_EQ(v.majorNumber, c.major);
        EXPECT_EQ(v.minorNumber, c.minor);
        EXPECT_EQ(v.patchNumber, c.patch);
    }
}

TEST(HostInfo, ProcessorTypeNumbers) {
    struct Case {
        const char* machine;
        int type;
    } cases[] = {{"x86_64", 8664},    {"i686", 586},  {"i586", 586},  {"i386", 386},
                 {"aarch64", 0xAA64}, {"ia64", 2200}, {"riscv64", 0}, {"", 0}};
    for (const Case& c : cases) EXPECT_EQ(processorTypeOf(c.machine), c.type) << c.machine;
}

}  // namespace
}  // namespace corvel::test
