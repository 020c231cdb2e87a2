// SPDX-License-Identifier: MIT
#include "monitor/events.h"

#include <gtest/gtest.h>

#include <sstream>

namespace corvel::test {
namespace {

using namespace std::chrono_literals;

DeviceSnapshot stationSeen(const std::string& mac, bool present, std::optional<double> rate = {}) {
    DeviceSnapshot out;
    out.mac = mac;
    out.name = "Device " + mac.substr(15);
    out.interfaceName = "host0";
    out.family = "HomePlug AV";
    out.present = present;
    out.txRateMbps = rate;
    return out;
}

DeviceSnapshot local(bool present) {
    DeviceSnapshot out = stationSeen("00:B0:52:00:00:10", present);
    out.local = true;
    return out;
}

InterfaceSnapshot host0(bool present) {
    InterfaceSnapshot out;
    out.name = "host0";
    out.localPresent = present;
    if (present) {
        out.localMac = "00:B0:52:00:00:10";
        out.localKind = "HomePlug AV Device";
    }
    return out;
}

CycleSnapshot around(std::vector<DeviceSnapshot> devices, bool localPresent = true) {
    CycleSnapshot snapshot;
    snapshot.interfaces = {host0(localPresent)};
    devices.insert(devices.begin(), local(localPresent));
    snapshot.devices = std::move(devices);
    return snapshot;
}

// "stationAppeared 00:B0:52:00:00:11" for each event, in order.
std::vector<std::string> describe(const std::vector<MonitorEvent>& events) {
    std::vector<std::string> out;
    for (const MonitorEvent& e : events) {
        std::string text = eventName(e.kind);
        if (!e.mac.empty()) text += " " + e.mac;
        if (!e.reason.empty()) text += " " + e.reason;
        out.push_back(text);
    }
    return out;
}

using Lines = std::vector<std::string>;

TEST(Events, TheFirstCycleReportsWhatIsThereAndNothingThatIsNot) {
    EventTracker tracker;
    const Lines first = describe(tracker.compare(around(
        {stationSeen("00:B0:52:00:00:11", true, 150), stationSeen("00:B0:52:00:00:12", false)})));
    EXPECT_EQ(first, (Lines{"localDeviceFound 00:B0:52:00:00:10",
                            "stationAppeared 00:B0:52:00:00:11"}));
    // The same again: nothing changed, nothing to say.
    EXPECT_TRUE(tracker
                    .compare(around({stationSeen("00:B0:52:00:00:11", true, 150),
                                    stationSeen("00:B0:52:00:00:12", false)}))
                    .empty());
}

TEST(Events, AStationThatLeavesAndComesBack) {
    EventTracker tracker;
    const std::string mac = "00:B0:52:00:00:11";
    tracker.compare(around({stationSeen(mac, true, 150)}));
    EXPECT_EQ(describe(tracker.compare(around({stationSeen(mac, false)}))),
              Lines{"stationLeft " + mac});
    EXPECT_TRUE(tracker.compare(around({stationSeen(mac, false)})).empty());
    const std::vector<MonitorEvent> back = tracker.compare(around({stationSeen(mac, true, 90)}));
    ASSERT_EQ(describe(back), Lines{"stationAppeared " + mac});
    EXPECT_EQ(back[0].rateMbps, 90);
    // Its rate when it came back is the new baseline: 90 to 95 is no change worth a word.
    EXPECT_TRUE(tracker.compare(around({stationSeen(mac, true, 95)})).empty());
}

TEST(Events, ARateChangeIsReportedWhenItExceedsATenthOfTheRateLastReported) {
    const std::string mac = "00:B0:52:00:00:11";
    const struct {
        std::vector<std::optional<double>> rates;  // the first one when the station appears
        Lines changes;                              // "previous->rate"
    } cases[] = {
        {{100, 110}, {}},                          // exactly a tenth
        {{100, 110.5}, {"100->110.5"}},
        {{100, 89}, {"100->89"}},
        {{100, 91}, {}},
        {{100, 105, 109, 111}, {"100->111"}},      // a drift that adds up
        {{100, 120, 125, 140}, {"100->120", "120->140"}},
        {{100, std::nullopt, 100}, {}},            // a rate not read says nothing
        {{std::nullopt, 100, 150}, {"100->150"}},  // the first rate read is the baseline
    };
    for (const auto& c : cases) {
        EventTracker tracker;
        Lines changes;
        for (const std::optional<double>& rate : c.rates)
            for (const MonitorEvent& e : tracker.compare(around({stationSeen(mac, true, rate)}))) {
                if (e.kind != EventKind::RateChanged) continue;
                EXPECT_EQ(e.direction, "tx");
                std::ostringstream text;
                text << *e.previousRateMbps << "->" << *e.rateMbps;
                changes.push_back(text.str());
            }
        EXPECT_EQ(changes, c.changes) << ::testing::PrintToString(c.rates);
    }
}

TEST(Events, TheReceiveRateIsComparedOnItsOwn) {
    EventTracker tracker;
    DeviceSnapshot station = stationSeen("00:B0:52:00:00:11", true, 100);
    station.rxRateMbps = 100;
    tracker.compare(around({station}));
    station.rxRateMbps = 80;
    const std::vector<MonitorEvent> events = tracker.compare(around({station}));
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].direction, "rx");
    EXPECT_EQ(events[0].previousRateMbps, 100);
    EXPECT_EQ(events[0].rateMbps, 80);
}

TEST(Events, ALocalDeviceLostIsNamedAndFoundAgain) {
    EventTracker tracker;
    const std::string mac = "00:B0:52:00:00:11";
    tracker.compare(around({stationSeen(mac, true, 150)}));
    CycleSnapshot lost = around({stationSeen(mac, false)}, false);
    lost.scanFailed = true;
    lost.failure = "The HomePlug Adapter was not detected.";
    EXPECT_EQ(describe(tracker.compare(lost)),
              (Lines{"scanFailed The HomePlug Adapter was not detected.",
                     "localDeviceLost 00:B0:52:00:00:10", "stationLeft " + mac}));
    // Still failing for the same reason: said once.
    EXPECT_TRUE(tracker.compare(lost).empty());
    lost.failure = "capture was not permitted (no permission)";
    EXPECT_EQ(describe(tracker.compare(lost)),
              Lines{"scanFailed capture was not permitted (no permission)"});

    EXPECT_EQ(describe(tracker.compare(around({stationSeen(mac, true, 150)}))),
              (Lines{"localDeviceFound 00:B0:52:00:00:10", "stationAppeared " + mac}));
    // A new run of failures is reported again.
    EXPECT_EQ(describe(tracker.compare(lost)).front(),
              "scanFailed capture was not permitted (no permission)");
}

TEST(Events, ARunOfFailedSavesIsReportedWhenItStarts) {
    EventTracker tracker;
    CycleSnapshot snapshot = around({});
    tracker.compare(snapshot);
    snapshot.saveFailed = true;
    snapshot.saveError = "/var/lib/corvel-utility/Corvel Utility.data: No space left on device";
    EXPECT_EQ(describe(tracker.compare(snapshot)), Lines{"saveFailed " + snapshot.saveError});
    EXPECT_TRUE(tracker.compare(snapshot).empty());
    snapshot.saveFailed = false;
    EXPECT_TRUE(tracker.compare(snapshot).empty());
    snapshot.saveFailed = true;
    EXPECT_EQ(describe(tracker.compare(snapshot)).size(), 1u);
}

TEST(Events, ADeviceRemovedFromTheListHasNotLeft) {
    EventTracker tracker;
    const std::string mac = "00:B0:52:00:00:11";
    tracker.compare(around({stationSeen(mac, true, 150)}));
    EXPECT_TRUE(tracker.compare(around({})).empty());
    // Listed again and seen: it appears afresh.
    EXPECT_EQ(describe(tracker.compare(around({stationSeen(mac, true, 150)}))),
              Lines{"stationAppeared " + mac});
}

// ---------------------------------------------------------------------------------------------
// Writing

// Counts the flushes a stream makes, so that a test sees each line leave at once.
class CountingBuffer : public std::stringbuf {
public:
    int syncs = 0;

protected:
    int sync() override {
        ++syncs;
        return std::stringbuf::sync();
    }
};

const auto kFixedTime = std::chrono::system_clock::time_point(1767605400250ms);

TEST(EventWriter, WritesOneFlushedJsonObjectALine) {
    CountingBuffer buffer;
    std::ostream out(&buffer);
    EventWriter writer(out, true, [] { return kFixedTime; });

    MonitorEvent change;
    change.kind = EventKind::RateChanged;
    change.interfaceName = "host0";
    change.mac = "00:B0:52:00:00:11";
    change.name = "K\xFC" "che";  // not UTF-8: replaced, never an exception
    change.family = "HomePlug AV";
    change.direction = "tx";
    change.previousRateMbps = 200;
    change.rateMbps = 150.5;
    writer.write(change);
    EXPECT_EQ(buffer.syncs, 1);

    MonitorEvent failed;
    failed.kind = EventKind::ScanFailed;
    failed.reason = "The HomePlug Adapter was not detected.";
    writer.write(failed);
    EXPECT_EQ(buffer.syncs, 2);

    EXPECT_EQ(buffer.str(),
              "{\"time\":\"2026-01-05T09:30:00.250Z\",\"event\":\"rateChanged\",\"interface\":"
              "\"host0\",\"mac\":\"00:B0:52:00:00:11\",\"name\":\"K\xEF\xBF\xBD" "che\","
              "\"family\":\"HomePlug AV\",\"direction\":\"tx\",\"previousRate\":200.0,"
              "\"rate\":150.5}\n"
              "{\"time\":\"2026-01-05T09:30:00.250Z\",\"event\":\"scanFailed\",\"reason\":"
              "\"The HomePlug Adapter was not detected.\"}\n");
}

TEST(EventWriter, WritesTextForAPersonReading) {
    std::ostringstream out;
    EventWriter writer(out, false, [] { return kFixedTime; });
    MonitorEvent appeared;
    appeared.kind = EventKind::StationAppeared;
    appeared.interfaceName = "host0";
    appeared.mac = "00:B0:52:00:00:11";
    appeared.name = "Kitchen";
    appeared.family = "HomePlug AV";
    appeared.rateMbps = 185;
    writer.write(appeared);
    MonitorEvent lost;
    lost.kind = EventKind::LocalDeviceLost;
    lost.interfaceName = "host0";
    lost.mac = "00:B0:52:00:00:10";
    writer.write(lost);
    EXPECT_EQ(out.str(),
              "2026-01-05T09:30:00.250Z station appeared: Kitchen 00:B0:52:00:00:11 on host0 "
              "(HomePlug AV, 185.00 Mbit/s)\n"
              "2026-01-05T09:30:00.250Z local device lost: 00:B0:52:00:00:10 on host0\n");
}

TEST(Rfc3339, IsUtcWithMilliseconds) {
    const struct {
        int64_t ms;
        const char* text;
    } cases[] = {
        {0, "1970-01-01T00:00:00.000Z"},
        {1767605400250, "2026-01-05T09:30:00.250Z"},
        {951782400999, "2000-02-29T00:00:00.999Z"},
        {-1, "1969-12-31T23:59:59.999Z"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(rfc3339(std::chrono::system_clock::time_point(std::chrono::milliseconds(c.ms))),
                  c.text)
            << c.ms;
}

}  // namespace
}  // namespace corvel::test
