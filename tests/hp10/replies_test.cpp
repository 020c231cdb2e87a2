// SPDX-License-Identifier: MIT
#include "hp10/replies.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>

#include "hp10_test_support.h"
#include "platform/text.h"

namespace corvel::test {
namespace {

using Hp10Replies = Hp10Wire;

// Where the drains below write their messages, as a caller that wants them gives a buffer.
char replyMessage[80];

Bytes avFrame(const Mac& source) {
    Bytes frame = ethernetHeader(kHost, source, 0x88, 0xE1);
    frame.resize(60, 0);
    return frame;
}

bool drain(MemoryWire& wire, const std::vector<Bytes>& frames) {
    for (const Bytes& frame : frames) wire.deliver(0, frame);
    return processHp10Replies();
}

// ---- version reply ----

TEST_F(Hp10Replies, VersionTextFollowsTheReplyForm) {
    struct Case {
        uint8_t form, major, minor;
        std::string text;
    };
    const Case cases[] = {
        {1, 0, 0x15, "Version 1.2"}, {1, 7, 0x16, "Version 1.4"},  {1, 1, 0x00, "Version 1.4"},
        {2, 1, 6, "Version 1.6"},    {0, 3, 0x15, "Version 3.21"}, {2, 255, 255, "Version 255.255"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        resetCoreState();
        station(kStationA);
        EXPECT_TRUE(
            drain(wire, {versionReply(kLocal, false, c.form, c.major, c.minor, "V", "P"),
                         versionReply(kStationA, true, c.form, c.major, c.minor, "V", "P")}));
        EXPECT_EQ(textOf(core.turboMacVersion), c.text);
        EXPECT_EQ(textOf(findStationByMac(kStationA.data())->firmwareText), c.text);
    }
}

TEST_F(Hp10Replies, LocalVersionReplyMakesTheLocalDeviceTurbo) {
    EXPECT_TRUE(drain(wire, {versionReply(kLocal, false, 2, 1, 6, "Acme Powerline", "Turbo 85")}));
    EXPECT_EQ(core.turboLocalAnswered, 1);
    EXPECT_TRUE(macEqual(core.adapters[0].localMac, kLocal.data()));
    EXPECT_EQ(textOf(core.turboVendorText), "Acme Powerline");
    EXPECT_EQ(textOf(core.turboProductText), "Turbo 85");
    EXPECT_EQ(findStationByMac(kLocal.data()), nullptr);
}

TEST_F(Hp10Replies, RemoteVersionReplyPromotesAPlainStationOnce) {
    struct Case {
        StationKind kindBefore;
        uint8_t kindChanged;
    };
    for (const Case& c : {Case{StationKind::HomePlug10, 1}, Case{StationKind::Turbo, 0}}) {
        SCOPED_TRACE(static_cast<int32_t>(c.kindBefore));
        resetCoreState();
        StationRecord& s = station(kStationA);
        s.stationKind = c.kindBefore;
        s.present = 0;
        s.missesTillDrop = 1;
        drain(wire, {versionReply(kStationA, true, 1, 0, 0x15, "Acme", "Turbo Plug")});
        EXPECT_EQ(StationKind(s.stationKind), StationKind::Turbo);
        EXPECT_EQ(s.kindChanged, c.kindChanged);
        EXPECT_EQ(+s.present, 1);
        EXPECT_EQ(s.missesTillDrop, 3);
        EXPECT_EQ(textOf(s.firmwareText), "Version 1.2");
        EXPECT_EQ(textOf(s.vendorText), "Acme");
        EXPECT_EQ(textOf(s.productText), "Turbo Plug");
        // A station's reply says nothing about the local device.
        EXPECT_EQ(core.turboLocalAnswered, 0);
        EXPECT_FALSE(macIsSet(core.adapters[0].localMac));
    }
}

TEST_F(Hp10Replies, RemoteVersionReplyOfAnUnknownStationChangesNothing) {
    StationRecord& known = station(kStationA);
    drain(wire, {versionReply(kStranger, true, 2, 1, 6, "Acme", "Turbo Plug")});
    EXPECT_EQ(findStationByMac(kStranger.data()), nullptr);
    EXPECT_EQ(StationKind(known.stationKind), StationKind::HomePlug10);
    EXPECT_EQ(known.kindChanged, 0);
    EXPECT_EQ(core.turboLocalAnswered, 0);
    EXPECT_FALSE(macIsSet(core.adapters[0].localMac));
}

TEST_F(Hp10Replies, VersionReplyTextsAreCutToTheirFields) {
    StationRecord& s = station(kStationA);
    const std::string longVendor(100, 'v');
    // The product text is found behind the vendor text's stated length, not its cut one.
    drain(wire, {versionReply(kStationA, true, 2, 1, 6, longVendor, "Prod"),
                 versionReply(kLocal, false, 2, 1, 6, "", std::string(200, 'p'))});
    EXPECT_EQ(textOf(s.vendorText), std::string(79, 'v'));
    EXPECT_EQ(textOf(s.productText), "Prod");
    EXPECT_EQ(textOf(core.turboVendorText), " ");
    EXPECT_EQ(textOf(core.turboProductText), std::string(79, 'p'));
}

TEST(CopyLengthText, TakesTheStatedBytesWithinTheTextAndTheField) {
    struct Case {
        std::string name;
        Bytes text;
        std::string expected;
    };
    const Case cases[] = {
        {"length 0 is one space", {0x00, 'x'}, " "},
        {"no length byte reads as length 0", {}, " "},
        {"stated length", {3, 'a', 'b', 'c', 'd'}, "abc"},
        {"text running past the end is cut there", {5, 'a', 'b'}, "ab"},
        {"length byte without text", {4}, ""},
        {"longer than the field", concat({120}, Bytes(120, 'x')), std::string(79, 'x')},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        char field[80];
        std::memset(field, 'Z', sizeof field);  // a stale text must not show through
        copyLengthText(field, c.text);
        EXPECT_EQ(textOf(field), c.expected);
    }
    char tiny[1] = {'Z'};
    copyLengthText(tiny, Bytes{0});
    EXPECT_EQ(tiny[0], '\0');
}

// ---- vendor replies ----

TEST_F(Hp10Replies, VendorReplyWithoutTheReplyBitIsIgnored) {
    StationRecord& s = station(kStationA);
    EXPECT_FALSE(drain(wire, {vendorReply(kLocal, 16, versionBody(false, 2, 1, 6, "V", "P")),
                              vendorReply(kLocal, 24, turboRecord(kStationA, 336))}));
    EXPECT_EQ(core.turboLocalAnswered, 0);
    EXPECT_EQ(+s.rate.currentRate, 0);
}

TEST_F(Hp10Replies, UnexpectedVendorCodesOnlyLeaveAMessage) {
    struct Case {
        uint8_t code;
        std::string message;
    };
    const Case cases[] = {
        {0x80 | 35, "Extended Stats response recieved (7)."},
        {0x80 | 0x45, "Unknown private response recieved (7)."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.message);
        std::memset(replyMessage, 0, sizeof replyMessage);
        Bytes reply = vendorReply(kLocal, c.code, {0x00, 0x01});
        reply[17] = 7;
        wire.deliver(0, reply);
        EXPECT_FALSE(processHp10Replies(replyMessage));
        EXPECT_EQ(textOf(replyMessage), c.message);

        // Without a buffer the message goes nowhere.
        std::memset(replyMessage, 0, sizeof replyMessage);
        wire.deliver(0, reply);
        EXPECT_FALSE(processHp10Replies());
        EXPECT_EQ(textOf(replyMessage), "");
    }
    char small[8];
    wire.deliver(0, vendorReply(kLocal, 0x80 | 0x45, {}));
    processHp10Replies(small);
    EXPECT_EQ(textOf(small), "Unknown");
}

// ---- Turbo rate statistics ----

TEST_F(Hp10Replies, TurboStatisticsRateTheRecordsMelenAndTheFrameHold) {
    struct Case {
        std::string name;
        int melen;
        size_t frameLength;  // 0 = exactly the two records
        double rateA, rateB;
    };
    // Raw 336 is 8.51 Mbit/s on the Turbo scale, raw 168 is 4.
    const Case cases[] = {
        {"MELEN 31 holds two records", 31, 60, 8, 4},
        {"MELEN 30 holds one", 30, 60, 8, 0},
        {"MELEN 17 holds one", 17, 60, 8, 0},
        {"MELEN 16 holds none", 16, 60, 0, 0},
        {"MELEN below the overhead", 2, 60, 0, 0},
        {"MELEN 255 reads only what the frame holds", 255, 60, 8, 4},
        {"second record cut by the frame end", 31, 48, 8, 0},
        {"records exactly as long as the frame", 31, 0, 8, 4},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        resetCoreState();
        knowLocal();
        StationRecord& a = station(kStationA);
        StationRecord& b = station(kStationB);
        Bytes frame =
            vendorReply(kLocal, 0x80 | 24,
                        concat(turboRecord(kStationA, 336), turboRecord(kStationB, 168)), c.melen);
        if (c.frameLength != 0) frame.resize(c.frameLength, 0);
        EXPECT_EQ(handleHp10Reply(frame), ReplyOutcome::handled);
        EXPECT_EQ(+a.rate.currentRate, c.rateA);
        EXPECT_EQ(+b.rate.currentRate, c.rateB);
    }
}

TEST_F(Hp10Replies, TurboRecordOfAnUnknownStationIsSkipped) {
    knowLocal();
    StationRecord& b = station(kStationB);
    wire.deliver(0,
                 vendorReply(kLocal, 0x80 | 24,
                             concat(turboRecord(kStranger, 336), turboRecord(kStationB, 336)), 31));
    EXPECT_TRUE(processHp10Replies());
    EXPECT_EQ(+b.rate.currentRate, 8);
    EXPECT_EQ(+b.rate.aux1, 0u);
    EXPECT_EQ(findStationByMac(kStranger.data()), nullptr);
}

// ---- reads of the local Turbo device ----

Bytes firmwareReply(const std::string& text, int melen = -1) {
    const uint8_t length = melen >= 0 ? uint8_t(melen) : uint8_t(text.size() + 1);
    return hp10Frame(kLocal, concat({0x13, length, 0x20}, textBytes(text)), 60);
}

TEST_F(Hp10Replies, FirmwareTextTellsWhetherItIsTooOldForPasswords) {
    struct Case {
        std::string text;
        uint8_t tooOld;
    };
    const std::string prefix = "INT51X1 Turbo ";  // 14 characters
    const Case cases[] = {
        {prefix + "1.5.0", 1}, {prefix + "1.6.2", 1},     {prefix + "1.7.0", 0},
        {prefix + "2.5.0", 0}, {"INT51X1 Turbo1.5.0", 0}, {prefix + "1.", 0},
        {prefix + "1.5", 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        resetCoreState();
        knowLocal();
        EXPECT_FALSE(drain(wire, {firmwareReply(c.text)}));  // reads count as not handled
        EXPECT_EQ(textOf(core.turboFirmwareText), c.text);
        EXPECT_EQ(core.turboFirmwareTooOld, c.tooOld);
    }
}

TEST_F(Hp10Replies, FirmwareTextIsCutToItsFieldAndToTheFrame) {
    knowLocal();
    drain(wire, {firmwareReply(std::string(150, 'f'), 200)});
    EXPECT_EQ(textOf(core.turboFirmwareText), std::string(64, 'f'));

    // MELEN claims 100 bytes; the frame ends after ten.
    Bytes cut = hp10Frame(kLocal, concat({0x13, 100, 0x20}, Bytes(10, 'g')));
    handleHp10Reply(cut);
    EXPECT_EQ(textOf(core.turboFirmwareText), std::string(10, 'g'));
}

TEST_F(Hp10Replies, NetworkKeyReplyIsTakenOnlyWhole) {
    knowLocal();
    const Bytes key{0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77, 0x88};
    const Bytes reply = hp10Frame(kLocal, concat({0x13, 0x0A, 0x21, 0x00}, key));
    ASSERT_EQ(reply.size(), 27u);

    Bytes cut(reply.begin(), reply.end() - 1);
    handleHp10Reply(cut);
    EXPECT_EQ(Bytes(core.hp10NetworkKey, core.hp10NetworkKey + 8), Bytes(8, 0));

    Bytes whole = reply;
    handleHp10Reply(whole);
    EXPECT_EQ(Bytes(core.hp10NetworkKey, core.hp10NetworkKey + 8), key);
}

// ---- parameter block ----

TEST_F(Hp10Replies, ParameterCopyIsTakenByWhetherTheStoredCopyWasSeen) {
    struct Case {
        int32_t paramsValid;
        uint8_t copy;
        bool taken;
    };
    const Case cases[] = {
        {0, 2, true}, {0, 1, false}, {1, 1, true}, {1, 2, false}, {0, 3, false}, {1, 0, false},
    };
    int logged = 0;
    deviceLogWriter() = [&](DeviceLogKind, std::span<const uint8_t>) { ++logged; };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message()
                     << "paramsValid " << c.paramsValid << " copy " << int(c.copy));
        resetCoreState();
        knowLocal();
        core.adapters[0].paramsValid = c.paramsValid;
        const Bytes block = paramBlock(0x30);
        acceptParams(0, paramReply(c.copy, block));
        EXPECT_EQ(core.localKeyKnown, c.taken ? 1 : 0);
        const Bytes held(core.localParamBlock, core.localParamBlock + 50);
        EXPECT_EQ(held, c.taken ? block : Bytes(50, 0));
    }
    EXPECT_EQ(logged, 0);
}

TEST_F(Hp10Replies, BlankParameterBlockIsLoggedWithItsCopyAndNotTaken) {
    struct Case {
        std::string name;
        uint8_t copy;
        Bytes block;
        bool blank;
        DeviceLogKind kind;
    };
    Bytes zeros = paramBlock(0x40);
    std::fill(zeros.begin(), zeros.begin() + 7, 0x00);
    Bytes ones = paramBlock(0x40);
    std::fill(ones.begin(), ones.begin() + 7, 0xFF);
    Bytes sixOnly = paramBlock(0x40);
    std::fill(sixOnly.begin(), sixOnly.begin() + 6, 0x00);
    const Case cases[] = {
        {"stored copy of zeros", 1, zeros, true, DeviceLogKind::storedCopy},
        {"working copy of FF", 2, ones, true, DeviceLogKind::workingCopy},
        {"any other copy logs as stored", 9, zeros, true, DeviceLogKind::storedCopy},
        {"six equal bytes are not blank", 2, sixOnly, false, DeviceLogKind::storedCopy},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        resetCoreState();
        knowLocal();
        std::vector<std::pair<DeviceLogKind, Bytes>> entries;
        deviceLogWriter() = [&](DeviceLogKind kind, std::span<const uint8_t> bytes) {
            entries.emplace_back(kind, Bytes(bytes.begin(), bytes.end()));
        };
        acceptParams(0, paramReply(c.copy, c.block));
        if (c.blank) {
            ASSERT_EQ(entries.size(), 1u);
            EXPECT_EQ(entries[0].first, c.kind);
            EXPECT_EQ(entries[0].second, c.block);
            EXPECT_EQ(core.localKeyKnown, 0);
        } else {
            EXPECT_TRUE(entries.empty());
            EXPECT_EQ(core.localKeyKnown, 1);
        }
    }
}

TEST_F(Hp10Replies, ParameterReplyThroughTheDrainNeedsItsLength) {
    knowLocal();
    const Bytes block = paramBlock(0x30);
    Bytes wrongLength = paramReply(2, paramBlock(0x60));
    wrongLength[16] = 0x32;
    EXPECT_TRUE(drain(wire, {wrongLength}));
    EXPECT_EQ(core.localKeyKnown, 0);

    EXPECT_TRUE(drain(wire, {paramReply(2, block)}));
    EXPECT_EQ(core.localKeyKnown, 1);
    EXPECT_EQ(Bytes(core.localParamBlock, core.localParamBlock + 50), block);
}

TEST_F(Hp10Replies, ParameterReplyOfTheSelectedInterfaceIsJudgedByItsRecord) {
    knowLocal(1);
    core.currentAdapter = 1;
    core.adapters[1].paramsValid = 1;
    Bytes reply = paramReply(1, paramBlock(0x30));
    EXPECT_TRUE(handleHp10Entry(reply));
    EXPECT_EQ(core.localKeyKnown, 1);
}

// ---- station answers and statistics ----

TEST_F(Hp10Replies, StationAnswersAddAndRefreshStations) {
    EXPECT_TRUE(drain(
        wire, {stationAnswer(kStationA), stationAnswer(kStationB), stationAnswer(kStationA)}));
    StationRecord* a = findStationByMac(kStationA.data());
    StationRecord* b = findStationByMac(kStationB.data());
    ASSERT_NE(a, nullptr);
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(+a->present, 1);
    EXPECT_EQ(StationKind(a->stationKind), StationKind::HomePlug10);
    EXPECT_EQ(+a->seenCount, 2);
    EXPECT_EQ(+b->seenCount, 1);
}

Bytes statisticsReply(uint8_t firstData, const Mac& station, uint16_t raw) {
    Bytes entry{0x1A, 0xBB, firstData, 0x00, 0x00, 0x05, 0x00, 0x06, 0x00};
    entry.insert(entry.end(), station.begin(), station.end());
    entry.insert(entry.end(), {uint8_t(raw), uint8_t(raw >> 8), 0x07, 0x00, 0x08, 0x00});
    return hp10Frame(kLocal, entry);
}

TEST_F(Hp10Replies, StatisticsReplyRatesStationsAndRefreshesTheViewOnce) {
    knowLocal();
    int refreshes = 0;
    viewHooks().refreshView = [&](int) { ++refreshes; };
    StationRecord& a = station(kStationA);

    // The local query itself, echoed: bit 7 marks a request.
    Bytes request = statisticsReply(0x80, kStationA, 420);
    EXPECT_TRUE(handleHp10Entry(request));
    EXPECT_EQ(+a.rate.currentRate, 0);
    EXPECT_EQ(refreshes, 0);

    Bytes reply = statisticsReply(0x03, kStationA, 420);  // 10 x 42: 11.3 Mbit/s
    EXPECT_TRUE(handleHp10Entry(reply));
    EXPECT_EQ(+a.rate.currentRate, 11);
    EXPECT_EQ(+a.rate.aux1, 7u);
    // The link average of one station at 11 Mbit/s, taken through the formula again.
    EXPECT_EQ(+core.stationTables[0].linkRate.currentRate, 12);
    EXPECT_EQ(refreshes, 1);
}

// ---- the drain ----

TEST_F(Hp10Replies, AvFrameEndsTheDrain) {
    wire.deliver(0, stationAnswer(kStationA));
    wire.deliver(0, avFrame(kLocal));
    wire.deliver(0, stationAnswer(kStationB));
    EXPECT_FALSE(processHp10Replies());
    EXPECT_NE(findStationByMac(kStationA.data()), nullptr);
    EXPECT_EQ(findStationByMac(kStationB.data()), nullptr);

    EXPECT_TRUE(processHp10Replies());
    EXPECT_NE(findStationByMac(kStationB.data()), nullptr);
}

TEST_F(Hp10Replies, OneDrainTakesAtMostOneBurstAndLeavesTheRest) {
    const Mac stations[] = {kStationA, kStationB};
    for (size_t i = 0; i < kMaxFramesPerDrain + 10; ++i)
        wire.deliver(0, stationAnswer(stations[i < kMaxFramesPerDrain ? 0 : 1]));
    const uint64_t before = clock.tickCount();
    EXPECT_TRUE(processHp10Replies());
    // The frames of the burst one after another, without a pause each; the ten behind it wait
    // for the next drain.
    EXPECT_EQ(clock.tickCount() - before, 0u);
    EXPECT_NE(findStationByMac(kStationA.data()), nullptr);
    EXPECT_EQ(findStationByMac(kStationB.data()), nullptr);
    EXPECT_TRUE(processHp10Replies());
    EXPECT_NE(findStationByMac(kStationB.data()), nullptr);

    // Below the bound the drain ends once nothing more comes: 1 ms for another, then the poll.
    for (int i = 0; i < 5; ++i) wire.deliver(0, stationAnswer(kStationA));
    const uint64_t tail = clock.tickCount();
    EXPECT_TRUE(processHp10Replies());
    EXPECT_EQ(clock.tickCount() - tail, 1u + 2u);
}

TEST_F(Hp10Replies, DrainTellsWhetherTheLastFrameWasHandled) {
    const Bytes keyReply = hp10Frame(kLocal, {0x13, 0x0A, 0x21, 0, 1, 2, 3, 4, 5, 6, 7, 8}, 60);
    const Bytes localAnswer = hp10Frame(kStationB, {0x1E, 0x01, 0x80}, 60);
    const Bytes readAck = hp10Frame(kLocal, {0x12, 0x01, 0x21}, 60);
    const Bytes setKeyConfirm = hp10Frame(kLocal, {0x06, 0x00}, 60);
    struct Case {
        std::string name;
        std::vector<Bytes> frames;
        bool handled;
    };
    const Case cases[] = {
        {"nothing received", {}, false},
        {"a station answer", {stationAnswer(kStationA)}, true},
        {"then an entry nobody handles", {stationAnswer(kStationA), localAnswer}, false},
        {"an unhandled entry, then an answer", {localAnswer, stationAnswer(kStationA)}, true},
        {"a set-key confirmation", {setKeyConfirm}, true},
        {"a read acknowledgement", {readAck}, true},
        {"a read reply", {stationAnswer(kStationA), keyReply}, false},
        {"an answer, then an AV frame", {stationAnswer(kStationA), avFrame(kLocal)}, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        resetCoreState();
        EXPECT_EQ(drain(wire, c.frames), c.handled);
    }
}

// ---- hostile frames ----

// One reply of each kind, exactly as long as its contents, and what it changes when whole.
struct HostileCase {
    std::string name;
    Bytes frame;
    size_t needs;  // shorter than this, the reply must change nothing
    std::function<bool()> changed;
};

std::vector<HostileCase> hostileCases() {
    auto stationA = [] { return findStationByMac(kStationA.data()); };
    Bytes blockReply = paramReply(2, paramBlock(0x30));
    return {
        {"local version reply", versionReply(kLocal, false, 2, 1, 6, "Acme", "Turbo"), 26,
         [] { return core.turboLocalAnswered == 1; }},
        {"remote version reply", versionReply(kStationA, true, 2, 1, 6, "Acme", "Turbo"), 26,
         [=] { return stationA()->stationKind == StationKind::Turbo; }},
        {"Turbo statistics", vendorReply(kLocal, 0x80 | 24, turboRecord(kStationA, 336), 17), 35,
         [=] { return stationA()->rate.currentRate != 0; }},
        {"firmware text", hp10Frame(kLocal, concat({0x13, 0x06, 0x20}, textBytes("Turbo"))), 19,
         [] { return core.turboFirmwareText[0] != 0; }},
        {"network key", hp10Frame(kLocal, {0x13, 0x0A, 0x21, 0, 1, 2, 3, 4, 5, 6, 7, 8}), 27,
         [] { return core.hp10NetworkKey[7] == 8; }},
        {"parameter block", blockReply, 68, [] { return core.localKeyKnown == 1; }},
        {"station answer", hp10Frame(kStationB, {0x08, 0x00}), 16,
         [] { return findStationByMac(kStationB.data()) != nullptr; }},
        {"statistics", statisticsReply(0x03, kStationA, 420), 36,
         [=] { return stationA()->rate.currentRate != 0; }},
        {"unknown vendor code", vendorReply(kLocal, 0x80 | 0x45, {}), 21,
         [] { return replyMessage[0] != 0; }},
    };
}

TEST_F(Hp10Replies, EveryTruncationOfEveryReplyIsReadWithinItsBytes) {
    int logged = 0;
    deviceLogWriter() = [&](DeviceLogKind, std::span<const uint8_t>) { ++logged; };
    for (const HostileCase& c : hostileCases()) {
        for (size_t length = 0; length <= c.frame.size(); ++length) {
            SCOPED_TRACE(testing::Message() << c.name << " cut to " << length);
            resetCoreState();
            knowLocal();
            std::memset(replyMessage, 0, sizeof replyMessage);
            station(kStationA);
            // A heap buffer of exactly `length` bytes, so that a read past it is caught.
            std::vector<uint8_t> exact(c.frame.begin(), c.frame.begin() + length);
            handleHp10Reply(exact, replyMessage);
            if (length < c.needs) {
                EXPECT_FALSE(c.changed());
            }
            if (length == c.frame.size()) {
                EXPECT_TRUE(c.changed());
            }
        }
    }
    EXPECT_EQ(logged, 0);
}

TEST_F(Hp10Replies, HandlersCalledDirectlyRefuseShortFrames) {
    const Bytes version = versionReply(kStationA, true, 2, 1, 6, "A", "B");
    const Bytes turbo = vendorReply(kLocal, 0x80 | 24, turboRecord(kStationA, 336), 17);
    const Bytes params = paramReply(2, paramBlock(0x30));
    auto cut = [](const Bytes& frame, size_t length) {
        return Bytes(frame.begin(), frame.begin() + std::min(length, frame.size()));
    };
    for (size_t length = 0; length <= params.size(); ++length) {
        SCOPED_TRACE(length);
        resetCoreState();
        knowLocal();
        StationRecord& a = station(kStationA);
        handleVersionReply(cut(version, length));
        handleTurboStats(cut(turbo, length));
        acceptParams(0, cut(params, length));
        EXPECT_EQ(a.stationKind == StationKind::Turbo, length > 25);
        EXPECT_EQ(a.rate.currentRate != 0, length >= turbo.size());
        EXPECT_EQ(core.localKeyKnown, length == params.size() ? 1 : 0);
    }
}

TEST_F(Hp10Replies, DrainSurvivesHostileFramesAndGoesOn) {
    size_t delivered = 0;
    for (const HostileCase& c : hostileCases()) {
        // A cut statistics reply of the local device starts a parameter poll that takes the
        // frames queued behind it; it is exercised above.
        if (c.name == "statistics") continue;
        for (size_t length = 14; length <= c.frame.size(); ++length) {
            wire.deliver(0, Bytes(c.frame.begin(), c.frame.begin() + length));
            ++delivered;
        }
    }
    wire.deliver(0, stationAnswer(kStationB));
    // One drain takes at most 64 frames; as many drains as the queue needs take them all.
    bool lastHandled = false;
    for (size_t drains = 0; drains <= delivered / kMaxFramesPerDrain; ++drains)
        lastHandled = processHp10Replies(replyMessage);
    EXPECT_TRUE(lastHandled);
    EXPECT_NE(findStationByMac(kStationB.data()), nullptr);
    // The whole replies among the cut ones were taken as usual.
    EXPECT_EQ(core.turboLocalAnswered, 1);
    EXPECT_EQ(core.localKeyKnown, 1);
    EXPECT_EQ(core.hp10NetworkKey[7], 8);
}

// ---- who may answer ----

Bytes fromAddress(Bytes frame, const Mac& source) {
    std::copy(source.begin(), source.end(), frame.begin() + 6);
    return frame;
}

// What only the local device sends is taken from it alone: the same reply from a station, a
// stranger or the host's own address changes nothing.
TEST_F(Hp10Replies, LocalDeviceRepliesAreTakenFromItAlone) {
    auto stationA = [] { return findStationByMac(kStationA.data()); };
    const HostileCase cases[] = {
        {"Turbo statistics", vendorReply(kLocal, 0x80 | 24, turboRecord(kStationA, 336), 17), 0,
         [=] { return stationA()->rate.currentRate != 0; }},
        {"firmware text", hp10Frame(kLocal, concat({0x13, 0x06, 0x20}, textBytes("Turbo"))), 0,
         [] { return core.turboFirmwareText[0] != 0; }},
        {"network key", hp10Frame(kLocal, {0x13, 0x0A, 0x21, 0, 1, 2, 3, 4, 5, 6, 7, 8}), 0,
         [] { return core.hp10NetworkKey[7] == 8; }},
        {"parameter block", paramReply(2, paramBlock(0x30)), 0,
         [] { return core.localKeyKnown == 1; }},
        {"statistics", statisticsReply(0x03, kStationA, 420), 0,
         [=] { return stationA()->rate.currentRate != 0; }},
    };
    for (const HostileCase& c : cases) {
        for (const Mac& from : {kLocal, kStationB, kStranger, kHost}) {
            SCOPED_TRACE(testing::Message() << c.name << " from " << formatMac(from));
            resetCoreState();
            knowLocal();
            station(kStationA);
            Bytes frame = fromAddress(c.frame, from);
            handleHp10Reply(frame);
            EXPECT_EQ(c.changed(), from == kLocal);
        }
    }
    // Without a known local device nobody's parameter block is taken.
    resetCoreState();
    acceptParams(0, paramReply(2, paramBlock(0x30)));
    EXPECT_EQ(core.localKeyKnown, 0);
}

// Frames carrying one of the host's own addresses (of any interface) or a group address as
// their source are no device's: they never make a local device or a station.
class Hp10RepliesTwoHosts : public Hp10Wire {
protected:
    std::vector<Mac> hostMacs() const override { return {kHost, kHost1}; }
};

TEST_F(Hp10RepliesTwoHosts, FramesInTheHostsOwnNameAreNoDevicesAnswer) {
    const Mac group{0x01, 0x00, 0x5E, 0x00, 0x00, 0x01};
    for (const Mac& from : {kHost, kHost1, group, kBroadcastMac}) {
        SCOPED_TRACE(formatMac(from));
        resetCoreState();
        EXPECT_FALSE(
            drain(wire, {versionReply(from, false, 2, 1, 6, "Forged", "Local"), stationAnswer(from),
                         fromAddress(stationAnswer(kStationA), from)}));
        EXPECT_EQ(core.turboLocalAnswered, 0);
        EXPECT_FALSE(macIsSet(core.adapters[0].localMac));
        EXPECT_FALSE(macIsSet(core.adapters[1].localMac));
        EXPECT_FALSE(macIsSet(core.stationTables[0].stations[0].mac));
        // A version reply handed over directly is refused the same way.
        handleVersionReply(versionReply(from, false, 2, 1, 6, "Forged", "Local"));
        EXPECT_EQ(core.turboLocalAnswered, 0);
    }
    // A real device's answers still count.
    EXPECT_TRUE(
        drain(wire, {versionReply(kLocal, false, 2, 1, 6, "V", "P"), stationAnswer(kStationA)}));
    EXPECT_EQ(core.turboLocalAnswered, 1);
    EXPECT_NE(findStationByMac(kStationA.data()), nullptr);
}

}  // namespace
}  // namespace corvel::test
