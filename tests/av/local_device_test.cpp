// SPDX-License-Identifier: MIT
#include "av/local_device.h"

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include "av/exchanges.h"
#include "core/observer.h"
#include "core/stations.h"
#include "platform/text.h"
#include "tests/av/av_wire_fixture.h"

namespace corvel {
namespace {

using namespace corvel::test;

bool isVersionRequestTo(const Bytes& request, const Mac& destination) {
    return mmtypeOf(request) == 0xA000 && destinationOf(request) == destination;
}

// ---------------------------------------------------------------------------------------------
// Discovery of the local device

class Discovery : public AvWireTest {};

TEST_F(Discovery, FindsTheDeviceOnTheSecondInterfaceAndKeepsTheSelection) {
    addHosts({kHost0, kHost1});
    respond([](int port, const Bytes& request) -> std::vector<Bytes> {
        if (port != 1 || !isVersionRequestTo(request, kLocalManagementMac)) return {};
        return {versionConfirm(kHost1, kLocalDevice, 3, "QRB1000-AV-3.3.2")};
    });
    for (const int selected : {0, 1}) {
        SCOPED_TRACE(selected);
        resetCoreState();
        resetAvExchangeState();
        wire.clearSent();
        core.currentAdapter = selected;

        EXPECT_TRUE(discoverLocalAv());
        EXPECT_EQ(core.currentAdapter, selected);
        EXPECT_EQ(core.localIsAv, selected == 1 ? 1 : 0);

        const AdapterRecord& second = core.adapters[1];
        EXPECT_EQ(second.localPresent, 1);
        EXPECT_EQ(second.localKind, kKindAv);
        EXPECT_EQ(second.paramsValid, 1);
        EXPECT_TRUE(macEqual(second.localMac, kLocalDevice.data()));
        const AdapterRecord& first = core.adapters[0];
        EXPECT_EQ(first.localPresent, 0);
        EXPECT_FALSE(macIsSet(first.localMac));

        EXPECT_STREQ(avExchangeState().localChipName, "QRB4000");
        EXPECT_STREQ(avExchangeState().localFirmwareText, "QRB4000-AV-3.3.2");

        // A probe on each interface, and the second answering one asked again.
        int perPort[2] = {0, 0};
        for (const auto& f : wire.sent()) {
            ASSERT_TRUE(isVersionRequestTo(f.bytes, kLocalManagementMac));
            EXPECT_EQ(sourceOf(f.bytes), f.port == 0 ? kHost0 : kHost1);
            ++perPort[f.port];
        }
        EXPECT_EQ(perPort[0], 1);
        EXPECT_EQ(perPort[1], 2);
    }
}

TEST_F(Discovery, NothingAnsweringKeepsWhatWasKnown) {
    addHosts({kHost0, kHost1});
    AvExchangeState& state = avExchangeState();
    copyText(state.localChipName, "QRB3000");
    copyText(state.localFirmwareText, "QRB3000-earlier");
    state.upgradeCommits = true;

    EXPECT_FALSE(discoverLocalAv());
    EXPECT_STREQ(state.localChipName, "QRB3000");
    EXPECT_STREQ(state.localFirmwareText, "QRB3000-earlier");
    EXPECT_TRUE(state.upgradeCommits);
    EXPECT_EQ(core.localIsAv, 0);
    EXPECT_EQ(core.adapters[0].localPresent, 0);
    EXPECT_EQ(core.adapters[1].localPresent, 0);
    EXPECT_EQ(sentOf(0xA000).size(), 2u);
}

TEST_F(Discovery, LocalTextNamesTheChipInPlace) {
    addHosts({kHost0});
    const struct {
        const char* priorChip;
        uint8_t generation;
        const char* text;
        const char* chip;
        const char* firmware;
    } cases[] = {
        {"", 3, "QRB1000-AV-3.3.2", "QRB4000", "QRB4000-AV-3.3.2"},
        {"", 2, "abc QRB1000-2.0", "QRB3000", "abc QRB3000-2.0"},
        {"", 1, "INT6000-1.1", "QRB1000", "INT6000-1.1"},
        {"", 0, "QRB1000-1.0", "", "QRB1000-1.0"},
        // An unknown generation leaves the name known before, which still names the chip.
        {"QRB3000", 7, "QRB1000-1.0", "QRB3000", "QRB3000-1.0"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        resetAvExchangeState();
        copyText(avExchangeState().localChipName, c.priorChip);
        respond([&c](int, const Bytes& request) -> std::vector<Bytes> {
            if (!isVersionRequestTo(request, kLocalManagementMac)) return {};
            return {versionConfirm(kHost0, kLocalDevice, c.generation, c.text)};
        });
        EXPECT_TRUE(discoverLocalAv());
        EXPECT_STREQ(avExchangeState().localChipName, c.chip);
        EXPECT_STREQ(avExchangeState().localFirmwareText, c.firmware);
    }
}

TEST_F(Discovery, CommitConfirmationAsTheVersionAnswerLeavesTheTexts) {
    addHosts({kHost0});
    copyText(avExchangeState().localFirmwareText, "QRB4000-kept");
    auto asked = std::make_shared<int>(0);
    respond([asked](int, const Bytes& request) -> std::vector<Bytes> {
        if (!isVersionRequestTo(request, kLocalManagementMac)) return {};
        if ((*asked)++ == 0) return {versionConfirm(kHost0, kLocalDevice, 2, "probe")};
        return {statusConfirm(0xA029, kHost0, kLocalDevice, 0)};
    });
    EXPECT_TRUE(discoverLocalAv());
    EXPECT_STREQ(avExchangeState().localFirmwareText, "QRB4000-kept");
    EXPECT_TRUE(macEqual(core.adapters[0].localMac, kLocalDevice.data()));
    EXPECT_EQ(core.adapters[0].localKind, kKindAv);
}

// The device that answers the probe is the local device: a version confirmation from another
// address (left over from the probe, or sent ahead of the real one) never replaces it, and no
// frame in the host's own name is an answer.
TEST_F(Discovery, ForgedVersionConfirmationsDoNotReplaceTheLocalDevice) {
    addHosts({kHost0, kHost1});
    const Mac forger = stationMac(0x66);
    const struct {
        const char* name;
        std::vector<Bytes> answers;  // to each version request, in this order
    } cases[] = {
        {"forged after each real answer",
         {versionConfirm(kHost0, kLocalDevice, 3, "QRB1000-real"),
          versionConfirm(kHost0, forger, 1, "forged")}},
        {"own addresses ahead of each real answer",
         {versionConfirm(kHost0, kHost0, 1, "own"), versionConfirm(kHost0, kHost1, 1, "other own"),
          versionConfirm(kHost0, kLocalDevice, 3, "QRB1000-real")}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        resetCoreState();
        resetAvExchangeState();
        const std::vector<Bytes> answers = c.answers;
        respond([answers](int port, const Bytes& request) -> std::vector<Bytes> {
            if (port != 0 || !isVersionRequestTo(request, kLocalManagementMac)) return {};
            return answers;
        });
        EXPECT_TRUE(discoverLocalAv());
        EXPECT_EQ(formatMac(core.adapters[0].localMac), formatMac(kLocalDevice));
        EXPECT_FALSE(macIsSet(core.adapters[1].localMac));
        EXPECT_STREQ(avExchangeState().localFirmwareText, "QRB4000-real");
        clock.advanceTo(clock.tickCount() + 500);
        MmeFrame rest;
        while (receiveFrame(rest)) {
        }
    }
}

TEST_F(Discovery, ProbeClearsTheEarlierAnswer) {
    addHosts({kHost0});
    avExchangeState().avConfirmSeen = true;
    EXPECT_FALSE(probeLocalAv());
    EXPECT_FALSE(avExchangeState().avConfirmSeen);
}

// ---------------------------------------------------------------------------------------------
// Stations of the local device's network

struct StationVersion {
    uint8_t generation;
    const char* text;
};

class NetworkStations : public AvWireTest {
protected:
    void SetUp() override {
        AvWireTest::SetUp();
        addHosts({kHost0});
        prepareTables();
    }
    void prepareTables() {
        resetCoreState();
        core.localIsAv = 1;
        copyMac(core.adapters[0].localMac, kLocalDevice.data());
        copyText(core.avNetworkName, "HomePlugAV");
    }
    // The local device lists `info`; each station in `versions` answers its version request.
    void answer(Bytes info, std::map<Mac, StationVersion> versions) {
        respond([info, versions](int, const Bytes& request) -> std::vector<Bytes> {
            if (mmtypeOf(request) == 0xA038 && destinationOf(request) == kLocalDevice)
                return {info};
            if (mmtypeOf(request) != 0xA000) return {};
            const auto it = versions.find(destinationOf(request));
            if (it == versions.end()) return {};
            return {versionConfirm(kHost0, it->first, it->second.generation, it->second.text)};
        });
    }
    std::vector<Mac> versionRequestDestinations() const {
        std::vector<Mac> found;
        for (const Bytes& f : sentOf(0xA000)) found.push_back(destinationOf(f));
        return found;
    }
    static int presentStations() {
        int count = 0;
        for (const StationRecord& s : core.stationTables[0].stations) count += s.present;
        return count;
    }
};

TEST_F(NetworkStations, AsksEachOtherStationAndKeepsTheSilentOnesRate) {
    StationRecord& silent = core.stationTables[0].stations[0];
    copyMac(silent.mac, stationMac(3).data());
    silent.stationKind = StationKind::Av;
    silent.rate.currentRate = 50;
    copyText(silent.firmwareText, "old text");

    answer(networkInfoConfirm(kHost0, kLocalDevice,
                              {{kLocalDevice, 99},
                               {kBroadcastMac, 98},
                               {stationMac(1), 151},
                               {stationMac(2), 76},
                               {stationMac(3), 200},
                               {stationMac(4), 1},
                               {stationMac(5), 255}}),
           {{stationMac(1), {2, "abc QRB1000-2.0"}},
            {stationMac(2), {3, "INT7400-1.0"}},
            {stationMac(4), {0, "x QRB1000-1.0"}},
            {stationMac(5), {1, "QRB1000-5"}}});

    EXPECT_TRUE(readNetworkStations(kLocalDevice));

    EXPECT_EQ(versionRequestDestinations(),
              (std::vector<Mac>{stationMac(1), stationMac(2), stationMac(3), stationMac(4),
                                stationMac(5)}));
    ASSERT_EQ(sentOf(0xA038).size(), 1u);
    EXPECT_EQ(destinationOf(sentOf(0xA038)[0]), kLocalDevice);
    EXPECT_EQ(findStationByMac(kLocalDevice.data()), nullptr);
    EXPECT_EQ(findStationByMac(kBroadcastMac.data()), nullptr);

    const struct {
        uint8_t n;
        double rate;
        const char* text;
    } expected[] = {
        {1, 200, "QRB3000-2.0"},  // (151 * 200) / 151; text starts at the chip name
        {2, 100, "INT7400-1.0"},  // 15200 / 151 = 100.66, kept whole
        {3, 50, "old text"},      // did not answer
        {4, 1, "x QRB1000-1.0"},  // no chip name for generation 0
        {5, 337, "QRB1000-5"},
    };
    for (const auto& e : expected) {
        SCOPED_TRACE(int(e.n));
        const StationRecord* station = findStationByMac(stationMac(e.n).data());
        ASSERT_NE(station, nullptr);
        EXPECT_EQ(int32_t{station->present}, 1);  // packed fields are read by value
        EXPECT_EQ(StationKind(station->stationKind), StationKind::Av);
        EXPECT_EQ(double{station->rate.currentRate}, e.rate);
        EXPECT_STREQ(station->firmwareText, e.text);
    }
}

// A network-information confirmation from another address ahead of the local device's does not
// list the stations, and a version confirmation from another address ahead of a station's does
// not give it its text.
TEST_F(NetworkStations, AnswersFromOtherAddressesAreNotTheStationsWord) {
    const Mac spoofer = stationMac(0x66);
    const Bytes spoofedInfo = networkInfoConfirm(kHost0, spoofer, {{spoofer, 1}});
    const Bytes ownInfo = networkInfoConfirm(kHost0, kHost0, {{kHost0, 1}});
    const Bytes realInfo =
        networkInfoConfirm(kHost0, kLocalDevice, {{stationMac(1), 151}, {stationMac(2), 76}});
    respond([&](int, const Bytes& request) -> std::vector<Bytes> {
        if (mmtypeOf(request) == 0xA038) return {spoofedInfo, ownInfo, realInfo};
        if (mmtypeOf(request) != 0xA000) return {};
        const Mac station = destinationOf(request);
        return {versionConfirm(kHost0, spoofer, 1, "forged"),
                versionConfirm(kHost0, kHost0, 1, "own"),
                versionConfirm(kHost0, station, 2, station == stationMac(1) ? "one" : "two")};
    });
    EXPECT_TRUE(readNetworkStations(kLocalDevice));
    EXPECT_EQ(versionRequestDestinations(), (std::vector<Mac>{stationMac(1), stationMac(2)}));
    EXPECT_EQ(findStationByMac(spoofer.data()), nullptr);
    EXPECT_EQ(findStationByMac(kHost0.data()), nullptr);
    EXPECT_EQ(presentStations(), 2);
    EXPECT_STREQ(findStationByMac(stationMac(1).data())->firmwareText, "one");
    EXPECT_STREQ(findStationByMac(stationMac(2).data())->firmwareText, "two");
    EXPECT_EQ(double{findStationByMac(stationMac(1).data())->rate.currentRate}, 200);
}

TEST_F(NetworkStations, NoNetworkInformationAsksNobody) {
    respond([](int, const Bytes&) { return std::vector<Bytes>{}; });
    EXPECT_TRUE(readNetworkStations(kLocalDevice));
    EXPECT_TRUE(sentOf(0xA000).empty());
    EXPECT_EQ(presentStations(), 0);
}

// The count byte is the device's word; the entries are only those the frame holds whole.
TEST_F(NetworkStations, EntryWalkStopsAtWhatArrived) {
    std::vector<ListedStation> five;
    std::map<Mac, StationVersion> versions;
    for (uint8_t n = 1; n <= 5; ++n) {
        five.push_back({stationMac(n), 100});
        versions[stationMac(n)] = {2, "QRB1000"};
    }
    std::vector<ListedStation> padded = five;
    padded.push_back({Mac{}, 0});
    padded.push_back({Mac{}, 0});
    const struct {
        const char* name;
        std::vector<ListedStation> entries;
        int countByte;
        size_t frameLength;
        size_t asked;
    } cases[] = {
        {"as listed", five, -1, 0, 5},
        {"cut inside the third entry", five, -1, 39 + 2 * 15 + 10, 2},
        {"cut one byte before the end", five, -1, 39 + 5 * 15 - 1, 4},
        {"count promises more", five, 40, 0, 5},
        {"count says fewer", five, 3, 0, 3},
        {"zero entries in the padding", padded, -1, 0, 5},
        {"count byte not received", five, -1, 38, 0},
        {"shortest decodable frame", five, -1, 33, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        prepareTables();
        wire.clearSent();
        answer(networkInfoConfirm(kHost0, kLocalDevice, c.entries, c.countByte, c.frameLength),
               versions);
        EXPECT_TRUE(readNetworkStations(kLocalDevice));
        EXPECT_EQ(sentOf(0xA000).size(), c.asked);
        EXPECT_EQ(presentStations(), int(c.asked));
    }
}

// Byte 13 of an entry is the rate to the station, byte 14 the rate from it, each kept as the
// device gives it; 0 is a direction not measured. A station that does not answer keeps what it
// had, and an entry the frame does not hold whole (its last byte, the rx rate, missing) is
// not taken.
TEST_F(NetworkStations, EachDirectionKeepsItsOwnByte) {
    const struct {
        const char* name;
        std::vector<ListedStation> entries;
        size_t frameLength;
        std::optional<int> tx1, rx1, tx2, rx2;
    } cases[] = {
        {"distinct bytes", {{stationMac(1), 151, 97}, {stationMac(2), 76, 0}}, 0, 151, 97, 76,
         std::nullopt},
        {"rx of the second entry cut off", {{stationMac(1), 200, 180}, {stationMac(2), 76, 9}},
         39 + 15 + 14, 200, 180, std::nullopt, std::nullopt},
        {"nothing measured", {{stationMac(1), 0, 0}}, 0, std::nullopt, std::nullopt,
         std::nullopt, std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        prepareTables();
        answer(networkInfoConfirm(kHost0, kLocalDevice, c.entries, -1, c.frameLength),
               {{stationMac(1), {2, "one"}}, {stationMac(2), {2, "two"}}});
        EXPECT_TRUE(readNetworkStations(kLocalDevice));
        const PhyRates none;
        const StationRecord* one = findStationByMac(stationMac(1).data());
        const StationRecord* two = findStationByMac(stationMac(2).data());
        ASSERT_NE(one, nullptr);
        const PhyRates first = phyRatesOf(0, *one);
        const PhyRates second = two != nullptr ? phyRatesOf(0, *two) : none;
        EXPECT_EQ(first.tx, c.tx1);
        EXPECT_EQ(first.rx, c.rx1);
        EXPECT_EQ(second.tx, c.tx2);
        EXPECT_EQ(second.rx, c.rx2);
    }

    // A station that does not answer its version request keeps both directions, as its rate.
    prepareTables();
    answer(networkInfoConfirm(kHost0, kLocalDevice, {{stationMac(1), 151, 97}}),
           {{stationMac(1), {2, "one"}}});
    EXPECT_TRUE(readNetworkStations(kLocalDevice));
    answer(networkInfoConfirm(kHost0, kLocalDevice, {{stationMac(1), 50, 40}}), {});
    EXPECT_TRUE(readNetworkStations(kLocalDevice));
    StationRecord& slot = core.stationTables[0].stations[0];
    ASSERT_TRUE(macEqual(slot.mac, stationMac(1).data()));
    EXPECT_EQ(phyRatesOf(0, slot).tx, 151);
    EXPECT_EQ(phyRatesOf(0, slot).rx, 97);

    // A station taking over the slot does not show the rates of the one that had it.
    copyMac(slot.mac, stationMac(7).data());
    EXPECT_EQ(phyRatesOf(0, slot).tx, std::nullopt);
    EXPECT_EQ(phyRatesOf(0, slot).rx, std::nullopt);
}

TEST_F(NetworkStations, VersionConfirmationCutShortIsNoAnswer) {
    StationRecord& known = core.stationTables[0].stations[0];
    copyMac(known.mac, stationMac(1).data());
    known.rate.currentRate = 42;
    copyText(known.firmwareText, "old text");
    Bytes shortVersion = versionConfirm(kHost0, stationMac(1), 2, "QRB1000-long-text");
    shortVersion.resize(87);
    respond([shortVersion](int, const Bytes& request) -> std::vector<Bytes> {
        if (mmtypeOf(request) == 0xA038)
            return {networkInfoConfirm(kHost0, kLocalDevice, {{stationMac(1), 151}})};
        if (mmtypeOf(request) == 0xA000) return {shortVersion};
        return {};
    });
    EXPECT_TRUE(readNetworkStations(kLocalDevice));
    EXPECT_EQ(sentOf(0xA000).size(), 1u);
    EXPECT_EQ(double{known.rate.currentRate}, 42);
    EXPECT_STREQ(known.firmwareText, "old text");
}

// ---------------------------------------------------------------------------------------------
// Configuration block

class FirmwareType : public AvWireTest {
protected:
    void SetUp() override {
        AvWireTest::SetUp();
        addHosts({kHost0});
        copyMac(core.adapters[0].localMac, kLocalDevice.data());
    }
};

TEST_F(FirmwareType, StatusDecidesHowTheUpgradeEnds) {
    const struct {
        const char* name;
        std::optional<Bytes> answer;
        bool before;
        bool result;
        bool after;
    } cases[] = {
        {"status 0 commits", configBlockConfirm(kHost0, kLocalDevice, 0), false, true, true},
        {"status 2 starts", configBlockConfirm(kHost0, kLocalDevice, 2), true, true, false},
        {"status 1 fails", configBlockConfirm(kHost0, kLocalDevice, 1), true, false, true},
        {"status 1 fails, cleared", configBlockConfirm(kHost0, kLocalDevice, 1), false, false,
         false},
        {"other status keeps", configBlockConfirm(kHost0, kLocalDevice, 9), true, true, true},
        {"other status keeps, cleared", configBlockConfirm(kHost0, kLocalDevice, 9), false, true,
         false},
        {"silence", std::nullopt, true, false, true},
        {"commit confirmation is no block", statusConfirm(0xA029, kHost0, kLocalDevice, 0), false,
         false, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        wire.clearSent();
        avExchangeState().upgradeCommits = c.before;
        respond([&c](int, const Bytes& request) -> std::vector<Bytes> {
            if (mmtypeOf(request) != 0xA058 || !c.answer) return {};
            return {*c.answer};
        });
        EXPECT_EQ(readFirmwareType(), c.result);
        EXPECT_EQ(avExchangeState().upgradeCommits, c.after);
        ASSERT_EQ(wire.sent().size(), 1u);
        const Bytes& request = wire.sent()[0].bytes;
        EXPECT_EQ(mmtypeOf(request), 0xA058);
        EXPECT_EQ(destinationOf(request), kLocalDevice);
        EXPECT_EQ(sourceOf(request), kHost0);
    }
    EXPECT_TRUE(recorder.messages.empty());
}

TEST_F(FirmwareType, EncodeFailureTellsTheUserAndSendsNothing) {
    avExchangeState().upgradeCommits = true;
    const AvRequestEncoder failing = [](const uint8_t*, const uint8_t*, size_t, uint8_t*) {
        return 0;
    };
    EXPECT_FALSE(readFirmwareTypeWith(failing));
    ASSERT_EQ(recorder.messages.size(), 1u);
    EXPECT_EQ(recorder.messages[0].title, "Error");
    EXPECT_EQ(recorder.messages[0].text, "Error in plcapi_ReadConfigurationBlock");
    EXPECT_EQ(recorder.messages[0].icon, Icon::Error);
    EXPECT_EQ(recorder.messages[0].buttons, Buttons::Ok);
    EXPECT_TRUE(wire.sent().empty());
    EXPECT_TRUE(avExchangeState().upgradeCommits);
}

// ---------------------------------------------------------------------------------------------
// The NMK out of the device's PIB

class LocalNmk : public AvWireTest {
protected:
    void SetUp() override {
        AvWireTest::SetUp();
        addHosts({kHost0});
        untouched.fill(0xEE);
        key = untouched;
    }

    // A PIB of `size` bytes whose length field says so, with a recognisable NMK.
    static Bytes pibImage(size_t size, uint8_t major, uint8_t minor) {
        Bytes pib = makePib(size);
        pib[0] = major;
        pib[1] = minor;
        for (size_t i = 0; i < 16 && 100 + i < pib.size(); ++i) pib[100 + i] = uint8_t(0xB0 + i);
        return pib;
    }
    static NetworkKey nmkOf(const Bytes& pib) {
        NetworkKey nmk{};
        std::copy_n(pib.begin() + 100, 16, nmk.begin());
        return nmk;
    }

    // The device serves module 2 out of `pib`; after `chunks` answers (-1: all) it falls silent.
    void servePib(const Bytes& pib, int chunks = -1) {
        auto answered = std::make_shared<int>(0);
        respond([&pib, chunks, answered](int, const Bytes& request) -> std::vector<Bytes> {
            if (mmtypeOf(request) != 0xA024) return {};
            if (chunks >= 0 && (*answered)++ >= chunks) return {};
            const uint16_t length = get16le(&request[22]);
            const uint32_t offset = get32le(&request[24]);
            const size_t n =
                offset < pib.size() ? std::min<size_t>(length, pib.size() - offset) : 0;
            return {moduleReadConfirm(sourceOf(request), kLocalDevice, request[20], offset,
                                      pib.data() + offset, uint16_t(n))};
        });
    }

    struct ReadRequest {
        uint8_t module;
        uint16_t length;
        uint32_t offset;
        bool operator==(const ReadRequest&) const = default;
    };
    std::vector<ReadRequest> readRequests() const {
        std::vector<ReadRequest> found;
        for (const Bytes& f : sentOf(0xA024)) {
            EXPECT_EQ(destinationOf(f), kLocalDevice);
            found.push_back({f[20], get16le(&f[22]), get32le(&f[24])});
        }
        return found;
    }

    NetworkKey untouched{};
    NetworkKey key{};
};

TEST_F(LocalNmk, ReadsThePibInChunksAndTakesTheKey) {
    const Bytes pib = pibImage(7992, 2, 0);
    servePib(pib);
    EXPECT_EQ(readLocalNmk(kLocalDevice, key), 1);
    EXPECT_EQ(key, nmkOf(pib));
    std::vector<ReadRequest> expected;
    for (uint32_t i = 0; i < 7; ++i) expected.push_back({2, 1024, 1024 * i});
    expected.push_back({2, 824, 7168});
    EXPECT_EQ(readRequests(), expected);
}

TEST_F(LocalNmk, UnusablePibCompletesWithoutWritingTheKey) {
    const struct {
        const char* name;
        size_t size;
        uint8_t major;
        uint8_t minor;
    } cases[] = {
        {"3.3 image failing its checks", 7992, 3, 3},
        {"version before 1.4 keeps the key elsewhere", 7992, 1, 3},
        // All of it arrived, but it ends before the NMK: nothing may be read from beyond it.
        {"image shorter than the NMK", 100, 2, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const Bytes pib = pibImage(c.size, c.major, c.minor);
        servePib(pib);
        EXPECT_EQ(readLocalNmk(kLocalDevice, key), 1);
        EXPECT_EQ(key, untouched);
    }
}

TEST_F(LocalNmk, PibLongerThanTheBufferIsCutAndStillGivesItsKey) {
    const Bytes pib = pibImage(65535, 2, 0);
    servePib(pib);
    EXPECT_EQ(readLocalNmk(kLocalDevice, key), 1);
    EXPECT_EQ(key, nmkOf(pib));
    const std::vector<ReadRequest> requests = readRequests();
    ASSERT_EQ(requests.size(), 64u);
    EXPECT_EQ(requests.back(), (ReadRequest{2, 1023, 63 * 1024}));
}

TEST_F(LocalNmk, DeviceFallingSilentEndsTheRead) {
    const Bytes pib = pibImage(7992, 2, 0);
    servePib(pib, 3);
    EXPECT_EQ(readLocalNmk(kLocalDevice, key), -1);
    EXPECT_EQ(key, untouched);
    EXPECT_EQ(readRequests().size(), 4u);
}

// Commit confirmations are accepted whatever was asked. One ends the read's transfer, so no
// further request can be built; a device that keeps sending them cannot hold the caller.
TEST_F(LocalNmk, EndlessCommitConfirmationsCannotHoldTheRead) {
    int left = 10000;
    std::function<void()> stream = [&] {
        wire.deliver(0, statusConfirm(0xA029, kHost0, kLocalDevice, 0));
        if (--left > 0) clock.scheduleAfter(1, stream);
    };
    clock.scheduleAfter(1, stream);
    testing::internal::CaptureStdout();
    const int result = readLocalNmk(kLocalDevice, key);
    const std::string printed = testing::internal::GetCapturedStdout();
    EXPECT_EQ(result, -1);
    EXPECT_EQ(key, untouched);
    EXPECT_EQ(readRequests().size(), 1u);
    // Every round after the first had nothing to send; the read gave up after its last round.
    const std::string line = "something wrong in PLAPI_GETVERSION \n";
    size_t lines = 0;
    for (size_t at = printed.find(line); at != std::string::npos; at = printed.find(line, at + 1))
        ++lines;
    EXPECT_EQ(lines, size_t(kMaxPibReadRounds - 1));
    EXPECT_GT(left, 0) << "the stream outlasted the read";
}

}  // namespace
}  // namespace corvel
