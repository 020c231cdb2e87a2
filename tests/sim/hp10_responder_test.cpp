// SPDX-License-Identifier: MIT
#include "sim/hp10_responder.h"

#include <gtest/gtest.h>

#include "tests/sim/sim_test_support.h"

namespace corvel::sim::test {
namespace {

// Port 0: a plain 1.0 network. Port 1: a Turbo network.
const Mac kPlainLocal{0x00, 0x0B, 0x3B, 0x00, 0x02, 0x10};
const Mac kTurboStation{0x00, 0x0B, 0x3B, 0x00, 0x02, 0x11};
const Mac kPlainStation{0x00, 0x0B, 0x3B, 0x00, 0x02, 0x12};
const Mac kOutsider{0x00, 0x0B, 0x3B, 0x00, 0x02, 0x13};
const Mac kTurboLocal{0x00, 0x0B, 0x3B, 0x00, 0x01, 0x10};
const Mac kTurboPeer{0x00, 0x0B, 0x3B, 0x00, 0x01, 0x11};
const Mac kPlainPeer{0x00, 0x0B, 0x3B, 0x00, 0x01, 0x12};
const Mac kTurboOutsider{0x00, 0x0B, 0x3B, 0x00, 0x01, 0x13};

const Frame kLocalQuery = {0x01, 0x1A, 0xBB, 0x80};
const Frame kStatsRequest = {0x01, 0x07, 0x00};

Frame header(const Mac& to, const Mac& from) {
    return cat({mac(to), mac(from), {0x88, 0x7B}});
}
Frame vendorRequest(uint8_t code) {
    return {0x01, 0x02, 0x05, 0x00, 0x04, 0x87, code, 0x00};
}
Frame paramRequest(uint8_t value) {
    return cat({{0x01, 0x19, 0x0F, value}, zeros(14)});
}
Frame setKey(uint8_t select, const Key8& k) {
    return cat({{0x01, 0x04, 0x09, select}, key(k)});
}
Frame setKeyWithParams(uint8_t select, const Key8& k, uint8_t p1, uint8_t p2, uint8_t p3) {
    return cat({{0x02, 0x04, 0x09, select}, key(k), {0x1F, 0x03, p1, p2, p3}});
}
Frame encryptedSetKey(const Key8& dek, const Key8& nek) {
    return cat(
        {{0x01, 0x14, 0x0A, 0x01, 0x00}, key(dek), {0x88, 0x7B, 0x01, 0x04, 0x09, 0x01}, key(nek)});
}
Frame confirmation(const Mac& to, const Mac& from) {
    return padded(cat({header(to, from), {0x01, 0x06, 0x00}}), 60);
}

std::vector<Mac> sources(const std::vector<Emitted>& out) {
    std::vector<Mac> macs;
    for (const Emitted& e : out) macs.push_back(sourceOf(e.frame));
    return macs;
}

class Hp10Responder : public ::testing::Test {
protected:
    void SetUp() override {
        h.reset();
        Network& net = h.net;
        net.addPort("plc0");
        DeviceConfig local = device(Family::HomePlug10, kPlainLocal, "DM4R-KX7P-QB2T-WN8F");
        local.profile.rates.hp10Raw = 0x0102;
        local.profile.rates.hp10Aux1 = 0x0304;
        local.profile.rates.hp10Aux2 = 0x0506;
        net.setLocal(0, local);
        DeviceConfig turbo = device(Family::Turbo, kTurboStation, "VH3L-ZC9K-PT5Q-MR2W");
        turbo.profile.rates.hp10Raw = 519;
        turbo.profile.rates.hp10Aux1 = 12;
        turbo.profile.rates.hp10Aux2 = 3;
        net.addStation(0, turbo);
        DeviceConfig plain = device(Family::HomePlug10, kPlainStation, "BT6N-JW4D-XK8M-LF3Q");
        plain.profile.rates.hp10Raw = 210;
        net.addStation(0, plain);
        DeviceConfig outsider = device(Family::Turbo, kOutsider, "SK2P-FQ7V-MH4C-ZT9D");
        outsider.nek = deriveHP10Key("BackOffice");
        net.addStation(0, outsider);

        net.addPort("plc1");
        DeviceConfig turboLocal = device(Family::Turbo, kTurboLocal, "TX7K-MB4Q-ZR2W-LN9C");
        turboLocal.profile.vendor = "Veltrix";
        turboLocal.profile.product = "PL Turbo";
        turboLocal.profile.versionForm = 2;
        turboLocal.profile.versionMajor = 1;
        turboLocal.profile.versionMinor = 6;
        turboLocal.profile.turboFirmware = "TURBO-MAC-4-0-1-7-0012";
        net.setLocal(1, turboLocal);
        DeviceConfig peer = device(Family::Turbo, kTurboPeer, "CQ3V-HN8T-WK5D-PJ2M");
        peer.profile.rates.turboRaw = 0x0AF0;
        peer.profile.vendor = "Other";
        peer.profile.product = "";
        net.addStation(1, peer);
        DeviceConfig plainPeer = device(Family::HomePlug10, kPlainPeer, "GZ8C-WP3N-JV5K-HT7B");
        plainPeer.profile.rates.turboRaw = 0x0384;
        net.addStation(1, plainPeer);
        DeviceConfig turboOutsider = device(Family::Turbo, kTurboOutsider, "RF6Y-BL2X-TM9Q-KD4S");
        turboOutsider.nek = deriveHP10Key("BackOffice");
        net.addStation(1, turboOutsider);
    }

    Device& at(const Mac& m) { return *h.net.device(m); }
    std::vector<Emitted> send(int port, const Mac& to, const Frame& body, const Mac& from = kHost,
                              size_t length = 60) {
        return h.exchange(port, hp10Request(to, from, body, length));
    }

    Harness h;
};

TEST_F(Hp10Responder, LocalAnswerCarriesKindLinkWordsAndTheNetworksStations) {
    const auto out = send(0, kBroadcastMac, kLocalQuery);
    ASSERT_EQ(out.size(), 1u);
    const Frame expected = cat({header(kHost, kPlainLocal),
                                {0x01, 0x1A, 0xBB, 0x03},
                                {0x02, 0x01, 0x04, 0x03, 0x06, 0x05},
                                mac(kTurboStation),
                                {0x07, 0x02, 0x0C, 0x00, 0x03, 0x00},
                                mac(kPlainStation),
                                {0xD2, 0x00, 0x00, 0x00, 0x00, 0x00},
                                zeros(13 * 12)});
    EXPECT_EQ(out[0].frame, expected);
}

TEST_F(Hp10Responder, LocalAnswersToItselfWhenAskedInItsOwnName) {
    const auto out = send(0, kBroadcastMac, kLocalQuery, kPlainLocal);
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(destinationOf(out[0].frame), kPlainLocal);
    EXPECT_EQ(sourceOf(out[0].frame), kPlainLocal);
}

TEST_F(Hp10Responder, LocalAnswerReportsTheKind) {
    EXPECT_EQ(send(1, kBroadcastMac, kLocalQuery).at(0).frame[17], 0x02);  // Turbo
    EXPECT_EQ(send(0, kBroadcastMac, kLocalQuery).at(0).frame[17], 0x03);  // Ethernet 1.0
    at(kPlainLocal).profile.kind = 1;
    EXPECT_EQ(send(0, kBroadcastMac, kLocalQuery).at(0).frame[17], 0x01);
    // A frame whose data byte has bit 7 clear is a reply, not a query.
    EXPECT_TRUE(send(0, kBroadcastMac, {0x01, 0x1A, 0xBB, 0x01}).empty());
}

TEST_F(Hp10Responder, ParameterRequestValueChoosesTheCopy) {
    h.reset();
    h.net.addPort("plc0");
    DeviceConfig local = device(Family::HomePlug10, kPlainLocal, "DM4R-KX7P-QB2T-WN8F");
    ParamBlock stored{};
    stored.fill(0x11);
    ParamBlock working{};
    working.fill(0x22);
    local.storedParams = stored;
    local.workingParams = working;
    const Device& d = h.net.setLocal(0, local);

    struct Case {
        uint8_t value;
        int copy;
    };
    for (const Case c : {Case{0x00, 1}, Case{0x10, 2}, Case{0x05, 0}}) {
        const auto out = send(0, kBroadcastMac, paramRequest(c.value));
        if (c.copy == 0) {
            EXPECT_TRUE(out.empty());
            continue;
        }
        ASSERT_EQ(out.size(), 1u) << int(c.value);
        const ParamBlock& block = d.paramBlock(c.copy);
        EXPECT_EQ(block[0], c.copy == 1 ? 0x11 : 0x22);
        EXPECT_EQ(out[0].frame, cat({header(kHost, kPlainLocal),
                                     {0x01, 0x19, 0x33, uint8_t(c.copy)},
                                     Frame(block.begin(), block.end())}));
    }
}

TEST_F(Hp10Responder, StatisticsRequestIsAnsweredByTheLocalDeviceAndEachStation) {
    struct Case {
        const char* name;
        Mac to;
        std::vector<Mac> answering;
    };
    const Case cases[] = {
        {"broadcast", kBroadcastMac, {kPlainLocal, kTurboStation, kPlainStation}},
        {"one station", kTurboStation, {kTurboStation}},
        {"station on another key", kOutsider, {}},
        {"the local device", kPlainLocal, {kPlainLocal}},
    };
    for (const Case& c : cases) {
        const auto out = send(0, c.to, kStatsRequest);
        EXPECT_EQ(sources(out), c.answering) << c.name;
        for (const Emitted& e : out) {
            const Frame answer =
                padded(cat({header(kHost, sourceOf(e.frame)), {0x01, 0x08, 0x00}}), 60);
            EXPECT_EQ(e.frame, answer) << c.name;  // the local device answers as a station does
        }
    }
}

TEST_F(Hp10Responder, VersionRepliesFromTurboDevicesOnly) {
    const auto turbo = send(1, kBroadcastMac, vendorRequest(16));
    ASSERT_EQ(sources(turbo), (std::vector<Mac>{kTurboLocal, kTurboPeer}));
    const Frame local = cat({header(kHost, kTurboLocal),
                             {0x01, 0x02, 26, 0x00, 0x04, 0x87, 0x90},
                             {0x00, 0x00, 0x02, 0x01, 0x06},
                             {7},
                             text("Veltrix"),
                             {8},
                             text("PL Turbo")});
    EXPECT_EQ(turbo[0].frame, padded(local, 60));
    const Frame remote = cat({header(kHost, kTurboPeer),
                              {0x01, 0x02, 16, 0x00, 0x04, 0x87, 0x90},
                              {0x01, 0x00, 0x02, 0x01, 0x04},
                              {5},
                              text("Other"),
                              {0}});
    EXPECT_EQ(turbo[1].frame, padded(remote, 60));

    // A plain local device and plain stations keep quiet: only the Turbo station speaks.
    const auto plain = send(0, kBroadcastMac, vendorRequest(16));
    ASSERT_EQ(sources(plain), std::vector<Mac>{kTurboStation});
    EXPECT_EQ(plain[0].frame[21], 0x01);
}

TEST_F(Hp10Responder, VendorEntryWithAnotherOuiIsIgnored) {
    EXPECT_TRUE(send(1, kBroadcastMac, {0x01, 0x02, 0x05, 0x00, 0x04, 0x88, 16, 0x00}).empty());
    EXPECT_TRUE(send(1, kTurboLocal, vendorRequest(35)).empty());
}

TEST_F(Hp10Responder, TurboStatisticsRecords) {
    const auto out = send(1, kTurboLocal, vendorRequest(24));
    ASSERT_EQ(out.size(), 1u);
    const Frame expected = cat({header(kHost, kTurboLocal),
                                {0x01, 0x02, 32, 0x00, 0x04, 0x87, 0x98},
                                mac(kTurboPeer),
                                {0x0A, 0xF0},
                                zeros(6),
                                mac(kPlainPeer),
                                {0x03, 0x84},
                                zeros(6)});
    EXPECT_EQ(out[0].frame, padded(expected, 60));
    // The host counts (MELEN - 3) / 14 records.
    EXPECT_EQ((out[0].frame[16] - 3) / 14, 2);
}

TEST_F(Hp10Responder, ReadRequestsAreAcknowledgedThenAnswered) {
    const Frame firmwareRequest = cat({{0x01, 0x12, 0x01, 0x20}});
    const auto firmware = send(1, kTurboLocal, firmwareRequest, kHost, 272);
    ASSERT_EQ(firmware.size(), 2u);
    EXPECT_EQ(firmware[0].frame,
              padded(cat({header(kHost, kTurboLocal), {0x01, 0x12, 0x01, 0x20}}), 60));
    const std::string text22 = "TURBO-MAC-4-0-1-7-0012";
    EXPECT_EQ(firmware[1].frame, padded(cat({header(kHost, kTurboLocal),
                                             {0x01, 0x13, uint8_t(text22.size()), 0x20},
                                             text(text22)}),
                                        60));

    const auto networkKey = send(1, kTurboLocal, {0x01, 0x12, 0x01, 0x21}, kHost, 272);
    ASSERT_EQ(networkKey.size(), 2u);
    EXPECT_EQ(
        networkKey[1].frame,
        padded(
            cat({header(kHost, kTurboLocal), {0x01, 0x13, 0x0A, 0x21, 0x01}, key(publicHp10Key())}),
            60));

    EXPECT_TRUE(send(1, kTurboLocal, {0x01, 0x12, 0x01, 0x22}, kHost, 272).empty());
    EXPECT_TRUE(send(0, kPlainLocal, firmwareRequest, kHost, 272).empty());
}

TEST_F(Hp10Responder, TurboLocalSetKeyIsConfirmedAndLeavesTheOldNetwork) {
    const Key8 office = deriveHP10Key("Office");
    const auto out = send(1, kTurboLocal, setKey(0x01, office), kHost, 35);
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0].frame, confirmation(kHost, kTurboLocal));
    EXPECT_EQ(at(kTurboLocal).nek(), office);
    EXPECT_EQ(at(kTurboPeer).nek(), publicHp10Key());
    EXPECT_EQ(sources(send(1, kBroadcastMac, kStatsRequest)), std::vector<Mac>{kTurboLocal});
}

TEST_F(Hp10Responder, LocalSetKeyWithParameterEntryShowsInTheStoredCopy) {
    const Key8 office = deriveHP10Key("Office");
    const auto out = send(0, kBroadcastMac, setKeyWithParams(0x01, office, 0x41, 0x00, 0x01));
    // Only the local device acts on it: the stations are not reached while P2 bit 0 is clear.
    ASSERT_EQ(sources(out), std::vector<Mac>{kPlainLocal});
    EXPECT_EQ(out[0].frame, confirmation(kHost, kPlainLocal));
    const Frame reply = send(0, kBroadcastMac, paramRequest(0)).at(0).frame;
    const Frame block(reply.begin() + 18, reply.end());
    EXPECT_EQ(Frame(block.begin() + 14, block.begin() + 26),
              cat({{0x01}, key(office), {0x41, 0x00, 0x01}}));
    EXPECT_EQ(at(kTurboStation).nek(), publicHp10Key());
}

// The remote set key of a plain 1.0 host: the DEK under key select 0 with P2 marked, the new
// NEK to the device, the parameter entry; then the re-application of the local key.
TEST_F(Hp10Responder, RemoteSetKeyReachesTheDeviceWhoseDekIsUnderKeySelectZero) {
    const Key8 office = deriveHP10Key("Office");
    struct Case {
        const char* name;
        Mac to;             // where the new NEK is sent
        const char* dekOf;  // the password whose DEK the host installs
        Mac keyed;          // who takes the new key and confirms (zero: nobody)
    };
    const Case cases[] = {
        {"station by MAC", kTurboStation, "VH3L-ZC9K-PT5Q-MR2W", kTurboStation},
        {"outsider by MAC", kOutsider, "SK2P-FQ7V-MH4C-ZT9D", kOutsider},
        {"outsider by password", kBroadcastMac, "SK2P-FQ7V-MH4C-ZT9D", kOutsider},
        {"wrong password", kOutsider, "SK2P-FQ7V-MH4C-ZT9X", Mac{}},
    };
    for (const Case& c : cases) {
        SetUp();
        const Key8 dek = deriveHP10Key(c.dekOf);
        const Key8 ownZero = at(kPlainLocal).selectZeroKey();

        send(0, kBroadcastMac, setKeyWithParams(0x00, dek, 0x40, 0x01, 0x00));
        EXPECT_EQ(at(kPlainLocal).selectZeroKey(), dek) << c.name;
        std::vector<Mac> confirmed;
        for (const Emitted& e : send(0, c.to, setKey(0x01, office)))
            if (e.frame[15] == 0x06 && sourceOf(e.frame) != kPlainLocal)
                confirmed.push_back(sourceOf(e.frame));
        send(0, kBroadcastMac, {0x01, 0x1F, 0x03, 0x40, 0x01, 0x01});

        const bool anyone = c.keyed != Mac{};
        EXPECT_EQ(confirmed, anyone ? std::vector<Mac>{c.keyed} : std::vector<Mac>{}) << c.name;
        if (anyone) {
            EXPECT_EQ(at(c.keyed).nek(), office) << c.name;
        }
        EXPECT_EQ(at(kPlainStation).nek(), publicHp10Key()) << c.name;

        // Re-application: the own key back under select 0, then the NEK with P2 unmarked.
        send(0, kBroadcastMac, setKeyWithParams(0x00, ownZero, 0x40, 0x01, 0x01));
        const auto last = send(0, kBroadcastMac, setKeyWithParams(0x01, office, 0x40, 0x00, 0x01));
        EXPECT_EQ(sources(last), std::vector<Mac>{kPlainLocal}) << c.name;
        EXPECT_EQ(at(kPlainLocal).selectZeroKey(), ownZero) << c.name;
        EXPECT_FALSE(at(kPlainLocal).forwardsUnderSelectZero()) << c.name;
        EXPECT_EQ(at(kPlainLocal).nek(), office) << c.name;
    }
}

TEST_F(Hp10Responder, UnmarkedSetKeyReachesOnlyStationsOfTheNetwork) {
    const Key8 office = deriveHP10Key("Office");
    EXPECT_EQ(send(0, kPlainStation, setKey(0x01, office)).at(0).frame,
              confirmation(kHost, kPlainStation));
    EXPECT_EQ(at(kPlainStation).nek(), office);
    EXPECT_TRUE(send(0, kOutsider, setKey(0x01, office)).empty());
    EXPECT_EQ(at(kOutsider).nek(), deriveHP10Key("BackOffice"));
    // Key select 0 of a station is its DEK: nobody sets it from afar.
    EXPECT_TRUE(send(0, kTurboStation, setKey(0x00, office)).empty());
}

TEST_F(Hp10Responder, EncryptedTurboSetKeyGoesToTheDevicesWithThatDek) {
    const Key8 office = deriveHP10Key("Office");
    const Key8 outsiderDek = deriveHP10Key("RF6Y-BL2X-TM9Q-KD4S");
    const auto out = send(1, kBroadcastMac, encryptedSetKey(outsiderDek, office));
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0].frame, confirmation(kHost, kTurboOutsider));
    EXPECT_EQ(at(kTurboOutsider).nek(), office);
    EXPECT_EQ(at(kTurboLocal).nek(), publicHp10Key());

    EXPECT_TRUE(send(1, kBroadcastMac, encryptedSetKey(deriveHP10Key("nobody's"), office)).empty());
    Frame broken = encryptedSetKey(outsiderDek, deriveHP10Key("Home"));
    broken[13] = 0x99;  // the inner frame's Ethertype
    EXPECT_TRUE(send(1, kBroadcastMac, broken).empty());
    // Only a Turbo local device opens the envelope.
    EXPECT_TRUE(
        send(0, kBroadcastMac, encryptedSetKey(deriveHP10Key("SK2P-FQ7V-MH4C-ZT9D"), office))
            .empty());
}

TEST(Hp10Entries, WalkStopsWhereTheFrameEnds) {
    // MCTRL 2: a 9-byte entry, then a parameter entry cut short by the frame's end.
    const Frame frame = hp10Request(
        kBroadcastMac, kHost, {0x02, 0x04, 0x09, 1, 2, 3, 4, 5, 6, 7, 8, 9, 0x1F, 0x03, 0x41}, 30);
    const std::vector<Hp10Entry> entries = hp10Entries(Bytes(frame.data(), 30));
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0].type, 0x04);
    EXPECT_EQ(entries[0].offset, 17u);
    EXPECT_EQ(entries[0].available, 9u);
    EXPECT_EQ(entries[1].type, 0x1F);
    EXPECT_EQ(entries[1].offset, 28u);
    EXPECT_EQ(entries[1].available, 2u);
    // The local query declares 0xBB bytes but the frame holds 43 after its header.
    const std::vector<Hp10Entry> query =
        hp10Entries(hp10Request(kBroadcastMac, kHost, kLocalQuery));
    ASSERT_EQ(query.size(), 1u);
    EXPECT_EQ(query[0].declared, 0xBB);
    EXPECT_EQ(query[0].available, 43u);
}

}  // namespace
}  // namespace corvel::sim::test
