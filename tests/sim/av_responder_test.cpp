// SPDX-License-Identifier: MIT
#include "sim/av_responder.h"

#include <gtest/gtest.h>

#include "platform/bytes.h"
#include "sim/pib.h"
#include "tests/sim/sim_test_support.h"

namespace corvel::sim::test {
namespace {

const Mac kNear{0x00, 0xB0, 0x52, 0x00, 0x00, 0x11};
const Mac kFar{0x00, 0xB0, 0x52, 0x00, 0x00, 0x12};
const Mac kNeighbour{0x00, 0xB0, 0x52, 0x00, 0x00, 0x13};
const Mac kNobody{0x00, 0xB0, 0x52, 0x00, 0x00, 0x99};
const std::string kFirmware = "QRB1000-AV-3.3.1.2090-01-20240117-FINAL";

Frame header(const Mac& to, const Mac& from, uint16_t mmtype) {
    return cat({mac(to),
                mac(from),
                {0x88, 0xE1, 0x00, uint8_t(mmtype), uint8_t(mmtype >> 8), 0x00, 0xB0, 0x52}});
}

Frame setKeyPayload(const Key16& nmk, uint8_t peks, const Mac& rda, const Key16& dak,
                    uint8_t keyType = 0x01) {
    return cat({{keyType}, key(nmk), {peks}, mac(rda), key(dak), zeros(4)});
}

Frame readPayload(uint8_t module, uint16_t length, uint32_t offset) {
    Frame p(8, 0);
    p[0] = module;
    put16le(&p[2], length);
    put32le(&p[4], offset);
    return p;
}

// An AV network of a local device, two stations on its key and a neighbour on another key.
class AvResponder : public ::testing::Test {
protected:
    void SetUp() override {
        h.reset();
        h.net.addPort("plc0");
        DeviceConfig local = device(Family::Av, kLocal, "LQXD-7RKM-2FTA-9WPE");
        local.profile.chipGeneration = 3;
        local.profile.firmware = kFirmware;
        h.net.setLocal(0, local);
        DeviceConfig nearStation = device(Family::Av, kNear, "HZ4N-QK8V-MB2R-XT6C");
        nearStation.profile.rates.avTx = 151;
        nearStation.profile.rates.avRx = 140;
        h.net.addStation(0, nearStation);
        DeviceConfig farStation = device(Family::Av, kFar, "PW3J-UE9D-KC5L-RS7Y");
        farStation.profile.rates.avTx = 76;
        farStation.profile.rates.avRx = 70;
        h.net.addStation(0, farStation);
        DeviceConfig neighbour = device(Family::Av, kNeighbour, "NV6G-TB2W-ZF8H-QM4K");
        neighbour.nmk = deriveNMK("NeighboursNet");
        h.net.addStation(0, neighbour);
    }

    Device& at(const Mac& m) { return *h.net.device(m); }
    std::vector<Emitted> ask(const Mac& to, uint16_t mmtype, const Frame& payload = {},
                             const Mac& from = kHost) {
        return h.exchange(0, avRequest(to, from, mmtype, payload));
    }
    std::vector<Mac> listed() {
        const auto out = ask(kLocal, 0xA038);
        std::vector<Mac> macs;
        if (out.size() != 1) return macs;
        const Frame& f = out[0].frame;
        for (size_t i = 0; i < f[38]; ++i) macs.push_back(macAt(&f[39 + 15 * i]));
        return macs;
    }

    Harness h;
};

TEST_F(AvResponder, VersionConfirmationLayout) {
    const auto out = ask(kLocalManagement, 0xA000);
    ASSERT_EQ(out.size(), 1u);
    const Frame expected = padded(cat({header(kHost, kLocal, 0xA001),
                                       {0x00, 0x03, uint8_t(kFirmware.size() + 1)},
                                       text(kFirmware)}),
                                  88);
    EXPECT_EQ(out[0].frame, expected);
    EXPECT_EQ(out[0].port, 0);
    EXPECT_EQ(out[0].delayMs, 0u);
}

TEST_F(AvResponder, SixtyFourCharacterVersionTextFillsItsField) {
    at(kLocal).profile.firmware = std::string(64, 'V');
    const Frame f = ask(kLocal, 0xA000).at(0).frame;
    ASSERT_EQ(f.size(), 88u);
    EXPECT_EQ(f[22], 64);
    EXPECT_EQ(Frame(f.begin() + 23, f.begin() + 87), Frame(64, 'V'));
    EXPECT_EQ(f[87], 0);
}

TEST_F(AvResponder, WhoAnswersAVersionRequest) {
    struct Case {
        const char* name;
        Mac to;
        Mac from;
        std::vector<Mac> answering;
    };
    const Case cases[] = {
        {"local-management address", kLocalManagement, kHost, {kLocal}},
        {"local device's MAC", kLocal, kHost, {kLocal}},
        {"station of the network", kNear, kHost, {kNear}},
        {"station on another key", kNeighbour, kHost, {}},
        {"nobody's address", kNobody, kHost, {}},
        {"broadcast", kBroadcastMac, kHost, {kLocal, kNear, kFar}},
        // Sent in the local device's own name: it answers to itself.
        {"in the local device's name", kLocalManagement, kLocal, {kLocal}},
    };
    for (const Case& c : cases) {
        const auto out = ask(c.to, 0xA000, {}, c.from);
        std::vector<Mac> answering;
        for (const Emitted& e : out) {
            answering.push_back(sourceOf(e.frame));
            EXPECT_EQ(destinationOf(e.frame), c.from) << c.name;
            EXPECT_EQ(get16le(&e.frame[15]), 0xA001) << c.name;
        }
        EXPECT_EQ(answering, c.answering) << c.name;
    }
}

TEST_F(AvResponder, NetworkInformationListsTheStationsOfTheNetworkWithTheirRates) {
    const auto out = ask(kLocal, 0xA038);
    ASSERT_EQ(out.size(), 1u);
    const Frame& f = out[0].frame;
    ASSERT_EQ(f.size(), 39u + 2 * 15);
    // The NID and SNID are the network's own: 54 bits with security level 0, SNID not 0.
    const Frame nid(f.begin() + 21, f.begin() + 29);
    EXPECT_NE(Frame(nid.begin(), nid.begin() + 7), zeros(7));
    EXPECT_EQ(nid[6] & 0x30, 0);
    EXPECT_NE(nid[7], 0);
    const Frame expected = cat({header(kHost, kLocal, 0xA039),
                                {0x01},
                                nid,
                                {0x01, 0x02},
                                mac(kLocal),
                                {0x01},
                                {0x02},
                                mac(kNear),
                                {0x02},
                                zeros(6),
                                {151, 140},
                                mac(kFar),
                                {0x03},
                                zeros(6),
                                {76, 70}});
    EXPECT_EQ(f, expected);
}

TEST_F(AvResponder, StationListsTheLocalDeviceAsCoordinator) {
    const auto out = ask(kNear, 0xA038);
    ASSERT_EQ(out.size(), 1u);
    const Frame& f = out[0].frame;
    ASSERT_EQ(f.size(), 39u + 2 * 15);
    EXPECT_EQ(sourceOf(f), kNear);
    EXPECT_EQ(f[29], 0x02);  // its own TEI
    EXPECT_EQ(f[30], 0x00);  // a station
    EXPECT_EQ(Frame(f.begin() + 31, f.begin() + 37), mac(kLocal));
    EXPECT_EQ(f[37], 0x01);
    EXPECT_EQ(f[38], 2);
    // The local device's entry shows this station's own link.
    EXPECT_EQ(Frame(f.begin() + 39, f.begin() + 54),
              cat({mac(kLocal), {0x01}, zeros(6), {151, 140}}));
    EXPECT_EQ(Frame(f.begin() + 54, f.begin() + 60), mac(kFar));
}

TEST_F(AvResponder, LoneDeviceReportsNoNetwork) {
    for (const Mac& m : {kNear, kFar}) at(m).profile.faults.offline = true;
    const auto out = ask(kLocal, 0xA038);
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0].frame, padded(cat({header(kHost, kLocal, 0xA039), {0x00}}), 60));
}

TEST_F(AvResponder, ConfigurationBlock) {
    at(kLocal).profile.configStatus = 2;
    at(kLocal).profile.configBlock = {0x10, 0x20, 0x30};
    const auto out = ask(kLocal, 0xA058);
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0].frame,
              padded(cat({header(kHost, kLocal, 0xA059), {0x02, 0x03, 0x10, 0x20, 0x30}}), 60));
}

// What the host checks: the complement of (stored checksum XOR every word) is 0.
bool chunkChecksOut(const Frame& chunk, uint32_t stored) {
    uint32_t x = stored;
    for (size_t i = 0; i + 4 <= chunk.size(); i += 4) x ^= get32le(&chunk[i]);
    return ~x == 0;
}

TEST_F(AvResponder, ModuleReadHandsOutThePibChunkByChunk) {
    Frame image;
    for (uint32_t offset = 0; offset < 7992; offset += 1024) {
        const uint16_t length = uint16_t(std::min<uint32_t>(1024, 7992 - offset));
        const auto out = ask(kLocal, 0xA024, readPayload(2, length, offset));
        ASSERT_EQ(out.size(), 1u);
        const Frame& f = out[0].frame;
        ASSERT_EQ(f.size(), 36u + length);
        EXPECT_EQ(Frame(f.begin(), f.begin() + 20), header(kHost, kLocal, 0xA025));
        EXPECT_EQ(f[20], 0x00);
        EXPECT_EQ(f[24], 2);
        EXPECT_EQ(get16le(&f[26]), length);
        EXPECT_EQ(get32le(&f[28]), offset);
        const Frame chunk(f.begin() + 36, f.end());
        EXPECT_TRUE(chunkChecksOut(chunk, get32le(&f[32]))) << offset;
        image.insert(image.end(), chunk.begin(), chunk.end());
    }
    ASSERT_EQ(image.size(), 7992u);
    EXPECT_EQ(image, at(kLocal).pib());
    EXPECT_EQ(Frame(image.begin() + 100, image.begin() + 116), key(publicAvKey()));
    EXPECT_EQ(Frame(image.begin() + 12, image.begin() + 18), mac(kLocal));
}

TEST_F(AvResponder, ModuleReadRefusesWhatItCannotGive) {
    struct Case {
        uint8_t module;
        uint16_t length;
        uint32_t offset;
        uint8_t status;
        uint16_t chunk;
    };
    const Case cases[] = {
        {1, 1024, 0, 0x01, 0},         // no firmware module here
        {2, 0, 0, 0x01, 0},            // nothing asked
        {2, 1025, 0, 0x01, 0},         // more than a chunk
        {2, 1024, 7992, 0x01, 0},      // past the end
        {2, 16, 0xFFFFFFF0, 0x01, 0},  // far past the end
        {2, 1024, 7900, 0x00, 92},     // the rest of the image
    };
    for (const Case& c : cases) {
        const auto out = ask(kLocal, 0xA024, readPayload(c.module, c.length, c.offset));
        ASSERT_EQ(out.size(), 1u);
        const Frame& f = out[0].frame;
        EXPECT_EQ(f[20], c.status) << c.offset;
        EXPECT_EQ(f[24], c.module);
        EXPECT_EQ(get16le(&f[26]), c.chunk) << c.offset;
        EXPECT_EQ(get32le(&f[28]), c.offset);
        EXPECT_EQ(f.size(), std::max<size_t>(60, 36u + c.chunk));
    }
}

TEST_F(AvResponder, OwnKeyMovesTheDeviceToAnotherNetwork) {
    const Key16 office = deriveNMK("Office");
    const auto out = ask(kLocal, 0xA050, setKeyPayload(office, 0x0F, kLocal, Key16{}));
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0].frame, padded(cat({header(kHost, kLocal, 0xA051), {0x00}}), 60));
    EXPECT_EQ(at(kLocal).nmk(), office);
    EXPECT_EQ(Frame(at(kLocal).pib().begin() + 100, at(kLocal).pib().begin() + 116), key(office));
    // The stations kept the old key: the local device no longer bridges to them.
    EXPECT_TRUE(listed().empty());
    EXPECT_TRUE(ask(kNear, 0xA000).empty());
}

TEST_F(AvResponder, RemoteKeyGoesToTheDeviceWhoseDakMatches) {
    const Key16 nmk = publicAvKey();
    const Key16 neighbourDak = deriveDAK("NV6G-TB2W-ZF8H-QM4K");
    struct Case {
        const char* name;
        Mac rda;
        Key16 dak;
        uint8_t peks;
        uint8_t keyType;
        uint8_t status;
    };
    const Case cases[] = {
        {"by MAC", kNeighbour, neighbourDak, 0x00, 0x01, 0x00},
        {"by password alone", kBroadcastMac, neighbourDak, 0x00, 0x01, 0x00},
        {"wrong password", kNeighbour, deriveDAK("NV6G-TB2W-ZF8H-QM4X"), 0x00, 0x01, 0x01},
        {"password of another device", kNear, neighbourDak, 0x00, 0x01, 0x01},
        {"unknown PEKS", kNeighbour, neighbourDak, 0x05, 0x01, 0x01},
        {"not an NMK", kNeighbour, neighbourDak, 0x00, 0x02, 0x01},
    };
    for (const Case& c : cases) {
        SetUp();
        const auto out = ask(kLocal, 0xA050, setKeyPayload(nmk, c.peks, c.rda, c.dak, c.keyType));
        ASSERT_EQ(out.size(), 1u) << c.name;
        // The local device confirms; the keyed station says nothing itself.
        EXPECT_EQ(out[0].frame, padded(cat({header(kHost, kLocal, 0xA051), {c.status}}), 60))
            << c.name;
        const bool keyed = c.status == 0;
        EXPECT_EQ(at(kNeighbour).nmk() == nmk, keyed) << c.name;
        EXPECT_EQ(at(kLocal).nmk(), nmk) << c.name;
        const std::vector<Mac> expected =
            keyed ? std::vector<Mac>{kNear, kFar, kNeighbour} : std::vector<Mac>{kNear, kFar};
        EXPECT_EQ(listed(), expected) << c.name;
    }
}

TEST_F(AvResponder, DeviceAwayRebootingAnswersNothing) {
    at(kLocal).profile.rebootMs = 500;
    // The same key again changes nothing and costs no reboot.
    ask(kLocal, 0xA050, setKeyPayload(publicAvKey(), 0x0F, kLocal, Key16{}));
    EXPECT_EQ(ask(kLocal, 0xA000).size(), 1u);

    ASSERT_EQ(ask(kLocal, 0xA050, setKeyPayload(deriveNMK("Office"), 0x0F, kLocal, Key16{})).size(),
              1u);
    h.nowMs += 499;
    EXPECT_TRUE(ask(kLocalManagement, 0xA000).empty());
    h.nowMs += 1;
    EXPECT_EQ(ask(kLocalManagement, 0xA000).size(), 1u);
}

TEST_F(AvResponder, RebootingStationCannotBeKeyed) {
    at(kNeighbour).rebootUntil(h.nowMs + 100);
    const auto out =
        ask(kLocal, 0xA050,
            setKeyPayload(publicAvKey(), 0x00, kNeighbour, deriveDAK("NV6G-TB2W-ZF8H-QM4K")));
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0].frame[20], 0x01);
}

}  // namespace
}  // namespace corvel::sim::test
