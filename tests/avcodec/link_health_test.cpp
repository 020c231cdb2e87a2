// SPDX-License-Identifier: MIT
#include "avcodec/link_health.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <functional>
#include <initializer_list>
#include <vector>

#include "tests/avcodec/av_test_support.h"

namespace corvel {
namespace {

using Bytes = std::vector<uint8_t>;
using test::kDeviceMac;
using test::kHostMac;

const Mac kPeer{0x00, 0xB0, 0x52, 0x00, 0x00, 0x11};

Bytes cat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& part : parts) out.insert(out.end(), part.begin(), part.end());
    return out;
}

// A 64-bit little-endian counter.
Bytes le64(uint64_t value) {
    Bytes out(8);
    for (int i = 0; i < 8; ++i) out[size_t(i)] = uint8_t(value >> (8 * i));
    return out;
}

// From the device to the host: 00:B0:52:12:34:56 -> 00:11:22:33:44:55, MMTYPE least
// significant byte first.
Bytes confirmHeader(uint16_t mmtype) {
    return {0x00,
            0x11,
            0x22,
            0x33,
            0x44,
            0x55,
            0x00,
            0xB0,
            0x52,
            0x12,
            0x34,
            0x56,
            0x88,
            0xE1,
            0x00,
            uint8_t(mmtype),
            uint8_t(mmtype >> 8),
            0x00,
            0xB0,
            0x52};
}

Bytes padded(Bytes frame, size_t length) {
    frame.resize(std::max(frame.size(), length), 0);
    return frame;
}

// ---- Requests ----

struct RequestCase {
    const char* name;
    std::function<size_t(std::span<uint8_t>)> encode;
    Bytes payload;  // from byte 20; the rest up to 64 is zero
    uint16_t mmtype;
};

TEST(HealthRequests, EncodeToTheDissectorsLayout) {
    const RequestCase cases[] = {
        {"link statistics, both directions, all priorities of the peer",
         [](std::span<uint8_t> b) {
             return encodeLinkStatsRequest(b, kHostMac, kDeviceMac,
                                           {false, LinkDirection::Both, kLinkIdAllForPeer, kPeer});
         },
         {0x00, 0x02, 0xF8, 0x00, 0xB0, 0x52, 0x00, 0x00, 0x11},
         0xA030},
        {"link statistics, read and clear, receive, priority 1",
         [](std::span<uint8_t> b) {
             return encodeLinkStatsRequest(b, kHostMac, kDeviceMac,
                                           {true, LinkDirection::Rx, 1, kPeer});
         },
         {0x01, 0x01, 0x01, 0x00, 0xB0, 0x52, 0x00, 0x00, 0x11},
         0xA030},
        {"transmit tone map, slot 2",
         [](std::span<uint8_t> b) {
             return encodeToneMapRequest(b, kHostMac, kDeviceMac, ToneMapDirection::Tx,
                                         {kPeer, 2, Coupling::Primary});
         },
         {0x00, 0xB0, 0x52, 0x00, 0x00, 0x11, 0x02},
         0xA070},
        {"receive tone map, slot 0",
         [](std::span<uint8_t> b) {
             return encodeToneMapRequest(b, kHostMac, kDeviceMac, ToneMapDirection::Rx,
                                         {kPeer, 0, Coupling::Primary});
         },
         {0x00, 0xB0, 0x52, 0x00, 0x00, 0x11, 0x00},
         0xA090},
        {"reset device",
         [](std::span<uint8_t> b) { return encodeResetDeviceRequest(b, kHostMac, kDeviceMac); },
         {},
         0xA01C},
    };
    for (const RequestCase& c : cases) {
        SCOPED_TRACE(c.name);
        Bytes buffer(1528, 0xEE);
        ASSERT_EQ(c.encode(buffer), 64u);
        const Bytes expected = padded(cat({{0x00,
                                            0xB0,
                                            0x52,
                                            0x12,
                                            0x34,
                                            0x56,
                                            0x00,
                                            0x11,
                                            0x22,
                                            0x33,
                                            0x44,
                                            0x55,
                                            0x88,
                                            0xE1,
                                            0x00,
                                            uint8_t(c.mmtype),
                                            uint8_t(c.mmtype >> 8),
                                            0x00,
                                            0xB0,
                                            0x52},
                                           c.payload}),
                                      64);
        EXPECT_EQ(Bytes(buffer.begin(), buffer.begin() + 64), expected);
        // Nothing past the frame is touched.
        EXPECT_EQ(buffer[64], 0xEE);
    }
}

TEST(HealthRequests, RefuseWhatTheMessageCannotCarryOrTheBufferCannotHold) {
    struct Case {
        const char* name;
        std::function<size_t(std::span<uint8_t>)> encode;
        size_t capacity;
        int error;
    };
    const Case cases[] = {
        {"direction 3",
         [](std::span<uint8_t> b) {
             return encodeLinkStatsRequest(b, kHostMac, kDeviceMac,
                                           {false, LinkDirection(3), 0, kPeer});
         },
         64, kAvErrInvalidValue},
        {"link id 4, neither a priority nor a sum",
         [](std::span<uint8_t> b) {
             return encodeLinkStatsRequest(b, kHostMac, kDeviceMac,
                                           {false, LinkDirection::Tx, 4, kPeer});
         },
         64, kAvErrInvalidValue},
        {"reserved link id 0xFB",
         [](std::span<uint8_t> b) {
             return encodeLinkStatsRequest(b, kHostMac, kDeviceMac,
                                           {false, LinkDirection::Tx, 0xFB, kPeer});
         },
         64, kAvErrInvalidValue},
        {"alternate coupling has no field in version 0",
         [](std::span<uint8_t> b) {
             return encodeToneMapRequest(b, kHostMac, kDeviceMac, ToneMapDirection::Rx,
                                         {kPeer, 0, Coupling::Alternate});
         },
         64, kAvErrInvalidValue},
        {"link statistics into 63 bytes",
         [](std::span<uint8_t> b) { return encodeLinkStatsRequest(b, kHostMac, kDeviceMac, {}); },
         63, kAvErrBufferTooSmall},
        {"tone map into 19 bytes",
         [](std::span<uint8_t> b) {
             return encodeToneMapRequest(b, kHostMac, kDeviceMac, ToneMapDirection::Tx, {});
         },
         19, kAvErrBufferTooSmall},
        {"reset into 63 bytes",
         [](std::span<uint8_t> b) { return encodeResetDeviceRequest(b, kHostMac, kDeviceMac); }, 63,
         kAvErrBufferTooSmall},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Bytes buffer(c.capacity, 0xEE);
        errno = 0;
        EXPECT_EQ(c.encode(buffer), 0u);
        EXPECT_EQ(errno, c.error);
    }
}

// ---- Link statistics confirmation ----

// Every counter differs from every other in each byte, so a field read at a wrong offset or
// with the wrong byte order cannot match.
uint64_t counter(int n) {
    return 0x0807060504030201ull * uint64_t(n + 1) + uint64_t(n);
}

Bytes txBlock() {
    return cat(
        {le64(counter(0)), le64(counter(1)), le64(counter(2)), le64(counter(3)), le64(counter(4))});
}

Bytes rxBlock(uint8_t intervals) {
    Bytes block = cat({le64(counter(10)),
                       le64(counter(11)),
                       le64(counter(12)),
                       le64(counter(13)),
                       le64(counter(14)),
                       le64(counter(15)),
                       {intervals}});
    for (uint8_t i = 0; i < intervals; ++i)
        block = cat({block,
                     {uint8_t(150 + i)},
                     le64(counter(20 + 4 * i)),
                     le64(counter(21 + 4 * i)),
                     le64(counter(22 + 4 * i)),
                     le64(counter(23 + 4 * i))});
    return block;
}

// Status, direction, link id 0xF8, TEI 3, then the blocks.
Bytes linkStatsConfirm(uint8_t status, uint8_t direction, const Bytes& blocks) {
    return cat({confirmHeader(0xA031), {status, direction, 0xF8, 0x03}, blocks});
}

void expectTx(const TxLinkStats& tx) {
    EXPECT_EQ(tx.mpdusAcked, counter(0));
    EXPECT_EQ(tx.mpdusCollided, counter(1));
    EXPECT_EQ(tx.mpdusFailed, counter(2));
    EXPECT_EQ(tx.pbsPassed, counter(3));
    EXPECT_EQ(tx.pbsFailed, counter(4));
}

void expectRx(const RxLinkStats& rx, size_t intervals) {
    EXPECT_EQ(rx.mpdusAcked, counter(10));
    EXPECT_EQ(rx.mpdusFailed, counter(11));
    EXPECT_EQ(rx.pbsPassed, counter(12));
    EXPECT_EQ(rx.pbsFailed, counter(13));
    EXPECT_EQ(rx.turboBitErrorsPassed, counter(14));
    EXPECT_EQ(rx.turboBitErrorsFailed, counter(15));
    ASSERT_EQ(rx.intervals.size(), intervals);
    for (size_t i = 0; i < intervals; ++i) {
        SCOPED_TRACE(i);
        const int n = 20 + 4 * int(i);
        EXPECT_EQ(rx.intervals[i].phyRateMbps, 150 + i);
        EXPECT_EQ(rx.intervals[i].pbsPassed, counter(n));
        EXPECT_EQ(rx.intervals[i].pbsFailed, counter(n + 1));
        EXPECT_EQ(rx.intervals[i].turboBitErrorsPassed, counter(n + 2));
        EXPECT_EQ(rx.intervals[i].turboBitErrorsFailed, counter(n + 3));
    }
}

TEST(LinkStatsConfirm, BothDirectionsWithTheirIntervals) {
    const Bytes frame = linkStatsConfirm(0x00, 0x02, cat({txBlock(), rxBlock(2)}));
    ASSERT_EQ(frame.size(), 24u + 40 + 49 + 2 * 33);
    LinkStatsConfirm c;
    const DecodeOutcome outcome = decodeLinkStatsConfirm(frame, c);
    ASSERT_TRUE(outcome) << outcome.reason;
    EXPECT_EQ(c.device, kDeviceMac);
    EXPECT_EQ(c.status, 0);
    EXPECT_EQ(c.direction, 2);
    EXPECT_EQ(c.linkId, 0xF8);
    EXPECT_EQ(c.tei, 3);
    ASSERT_TRUE(c.tx && c.rx);
    expectTx(*c.tx);
    expectRx(*c.rx, 2);
}

TEST(LinkStatsConfirm, OneDirectionCarriesOnlyItsBlock) {
    LinkStatsConfirm tx;
    ASSERT_TRUE(decodeLinkStatsConfirm(padded(linkStatsConfirm(0, 0, txBlock()), 64), tx));
    ASSERT_TRUE(tx.tx);
    expectTx(*tx.tx);
    EXPECT_FALSE(tx.rx);

    // A device fills the six interval slots it has; only the announced ones are read.
    LinkStatsConfirm rx;
    ASSERT_TRUE(
        decodeLinkStatsConfirm(cat({linkStatsConfirm(0, 1, rxBlock(1)), Bytes(165, 0)}), rx));
    EXPECT_FALSE(rx.tx);
    ASSERT_TRUE(rx.rx);
    expectRx(*rx.rx, 1);
}

TEST(LinkStatsConfirm, AFailureStatusCarriesNoCounters) {
    LinkStatsConfirm c;
    c.tx = TxLinkStats{};  // whatever the record held before goes
    const Bytes frame = padded(linkStatsConfirm(kLinkStatsInvalidPeer, 0x02, {}), 64);
    ASSERT_TRUE(decodeLinkStatsConfirm(frame, c));
    EXPECT_EQ(c.status, 0x20);
    EXPECT_FALSE(c.tx);
    EXPECT_FALSE(c.rx);
    EXPECT_STREQ(linkStatsStatusText(c.status), "Invalid MAC Address");
}

TEST(LinkStatsConfirm, EveryTruncationIsRefusedAndLeavesTheRecordAlone) {
    const Bytes full = linkStatsConfirm(0x00, 0x02, cat({txBlock(), rxBlock(3)}));
    for (size_t length = 0; length < full.size(); ++length) {
        SCOPED_TRACE(length);
        // Exactly `length` bytes on the heap: a read past them is a sanitizer error.
        const Bytes cut(full.begin(), full.begin() + std::ptrdiff_t(length));
        LinkStatsConfirm c;
        c.tei = 99;
        const DecodeOutcome outcome = decodeLinkStatsConfirm(cut, c);
        EXPECT_EQ(outcome.error, kAvErrMissingOrShort);
        EXPECT_FALSE(outcome.reason.empty());
        EXPECT_EQ(c.tei, 99);
    }
}

TEST(LinkStatsConfirm, MalformedFramesAreRefusedWithTheirReason) {
    struct Case {
        const char* name;
        Bytes frame;
        int error;
        const char* reason;
    };
    Bytes hp10 = padded(linkStatsConfirm(0, 0, txBlock()), 64);
    hp10[13] = 0x7B;
    Bytes version1 = hp10;
    version1[13] = 0xE1;
    version1[14] = 0x01;
    Bytes otherOui = padded(linkStatsConfirm(0, 0, txBlock()), 64);
    otherOui[19] = 0x53;
    const Case cases[] = {
        {"direction 3 with success", padded(linkStatsConfirm(0, 3, txBlock()), 64),
         kAvErrInvalidValue, "direction 3"},
        {"three intervals announced, two sent",
         [] {
             Bytes f = linkStatsConfirm(0, 1, rxBlock(2));
             f[24 + 48] = 3;
             return f;
         }(),
         kAvErrMissingOrShort, "its 3 receive intervals"},
        {"interval count 255 in a full frame",
         [] {
             Bytes f = linkStatsConfirm(0, 1, rxBlock(6));
             f[24 + 48] = 255;
             return padded(f, 1514);
         }(),
         kAvErrMissingOrShort, "255 receive intervals"},
        {"a HomePlug 1.0 frame", hp10, kAvErrNotAvFrame, "0x887B"},
        {"message version 1", version1, kAvErrMissingOrShort, "version 1"},
        {"another vendor", otherOui, kAvErrMissingOrShort, "OUI"},
        {"a tone map confirmation", padded(confirmHeader(0xA071), 64), kAvErrUnknownType, "0xA071"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        LinkStatsConfirm record;
        const DecodeOutcome outcome = decodeLinkStatsConfirm(c.frame, record);
        EXPECT_EQ(outcome.error, c.error);
        EXPECT_NE(outcome.reason.find(c.reason), std::string::npos) << outcome.reason;
    }
}

// ---- Tone maps ----

// Carriers 0..4 coded 1, 2, 3, 4, 8: low nibble first, the unused high nibble of the last byte
// is padding.
const Bytes kFiveCarriers{0x21, 0x43, 0x08};

Bytes toneMapConfirm(uint16_t mmtype, uint8_t status, uint16_t carriers, const Bytes& map) {
    return cat({confirmHeader(mmtype),
                {status, 0x01, 0x02, uint8_t(carriers), uint8_t(carriers >> 8)},
                map});
}

TEST(ToneMapConfirm, TransmitMapListsEachCarriersModulation) {
    const Bytes frame = padded(toneMapConfirm(0xA071, 0, 5, kFiveCarriers), 64);
    ToneMapConfirm map;
    const DecodeOutcome outcome = decodeToneMapConfirm(frame, ToneMapDirection::Tx, map);
    ASSERT_TRUE(outcome) << outcome.reason;
    EXPECT_EQ(map.device, kDeviceMac);
    EXPECT_EQ(map.direction, ToneMapDirection::Tx);
    EXPECT_EQ(map.slot, 1);
    EXPECT_EQ(map.toneMapCount, 2);
    EXPECT_EQ(map.carrierCount, 5);
    EXPECT_EQ(map.modulation, (Bytes{1, 2, 3, 4, 8}));
    EXPECT_EQ(modulatedCarriers(map), 5u);
    EXPECT_EQ(bitsPerSymbol(map), 1u + 2 + 3 + 4 + 12);
    EXPECT_FALSE(map.guardInterval);
    EXPECT_FALSE(map.agc);
}

TEST(ToneMapConfirm, ReceiveMapOfEveryCarrierWithItsGainFields) {
    // 1155 carriers: 64-QAM (code 5) with a notch of unmodulated carriers 100..199; the area is
    // 578 bytes, then the guard interval and the gain setting.
    Bytes carriers(kToneMapCarrierBytes, 0x55);
    for (size_t i = 100; i < 200; ++i) carriers[i / 2] &= i % 2 == 0 ? 0xF0 : 0x0F;
    carriers.back() = 0x05;
    const Bytes frame = cat({toneMapConfirm(0xA091, 0, 1155, carriers), {0x02, 0x1C, 0x00}});
    ASSERT_EQ(frame.size(), 606u);
    ToneMapConfirm map;
    const DecodeOutcome outcome = decodeToneMapConfirm(frame, ToneMapDirection::Rx, map);
    ASSERT_TRUE(outcome) << outcome.reason;
    ASSERT_EQ(map.modulation.size(), 1155u);
    EXPECT_EQ(map.modulation[99], 5);
    EXPECT_EQ(map.modulation[100], 0);
    EXPECT_EQ(map.modulation[199], 0);
    EXPECT_EQ(map.modulation[200], 5);
    EXPECT_EQ(map.modulation[1154], 5);
    EXPECT_EQ(modulatedCarriers(map), 1055u);
    EXPECT_EQ(bitsPerSymbol(map), 1055u * 6);
    EXPECT_EQ(map.guardInterval, 0x02);
    EXPECT_EQ(map.agc, 0x1C);
}

TEST(ToneMapConfirm, AFailureStatusCarriesNoMap) {
    ToneMapConfirm map;
    map.modulation = {7, 7};
    ASSERT_TRUE(decodeToneMapConfirm(padded(toneMapConfirm(0xA071, 0x02, 5, kFiveCarriers), 64),
                                     ToneMapDirection::Tx, map));
    EXPECT_EQ(map.status, kToneMapUnknownSlot);
    EXPECT_TRUE(map.modulation.empty());
    EXPECT_STREQ(toneMapStatusText(map.status), "Unknown Tone Map slot");
}

TEST(ToneMapConfirm, MalformedMapsAreRefused) {
    struct Case {
        const char* name;
        Bytes frame;
        ToneMapDirection direction;
        int error;
        const char* reason;
    };
    const Case cases[] = {
        {"modulation code 9", padded(toneMapConfirm(0xA071, 0, 3, {0x21, 0x09}), 64),
         ToneMapDirection::Tx, kAvErrInvalidValue, "carrier 2 has modulation code 9"},
        {"more carriers than AV has", padded(toneMapConfirm(0xA071, 0, 1156, {}), 1514),
         ToneMapDirection::Tx, kAvErrInvalidValue, "1156 carriers"},
        {"carriers past the frame end", toneMapConfirm(0xA071, 0, 7, kFiveCarriers),
         ToneMapDirection::Tx, kAvErrMissingOrShort, "7 carriers"},
        {"receive map without its gain fields",
         toneMapConfirm(0xA091, 0, 1155, Bytes(kToneMapCarrierBytes + 1, 0x11)),
         ToneMapDirection::Rx, kAvErrMissingOrShort, "gain"},
        {"a transmit confirmation read as receive",
         padded(toneMapConfirm(0xA071, 0, 5, kFiveCarriers), 64), ToneMapDirection::Rx,
         kAvErrUnknownType, "expected 0xA091"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ToneMapConfirm map;
        const DecodeOutcome outcome = decodeToneMapConfirm(c.frame, c.direction, map);
        EXPECT_EQ(outcome.error, c.error);
        EXPECT_NE(outcome.reason.find(c.reason), std::string::npos) << outcome.reason;
        EXPECT_TRUE(map.modulation.empty());
    }
}

TEST(ToneMapConfirm, EveryTruncationIsRefused) {
    const Bytes full =
        cat({toneMapConfirm(0xA091, 0, 1155, Bytes(kToneMapCarrierBytes, 0x77)), {0x01, 0x20}});
    for (size_t length = 0; length < full.size(); ++length) {
        const Bytes cut(full.begin(), full.begin() + std::ptrdiff_t(length));
        ToneMapConfirm map;
        EXPECT_EQ(decodeToneMapConfirm(cut, ToneMapDirection::Rx, map).error, kAvErrMissingOrShort)
            << length;
    }
    ToneMapConfirm map;
    EXPECT_TRUE(decodeToneMapConfirm(full, ToneMapDirection::Rx, map));
}

TEST(ToneMap, ModulationCodesAndCarrierFrequencies) {
    const int bits[] = {0, 1, 2, 3, 4, 6, 8, 10, 12};
    for (uint8_t code = 0; code <= 8; ++code) EXPECT_EQ(modulationBits(code), bits[code]);
    for (uint8_t code = 9; code < 16; ++code) {
        EXPECT_EQ(modulationBits(code), -1);
        EXPECT_STREQ(modulationName(code), "unknown");
    }
    EXPECT_STREQ(modulationName(0), "none");
    EXPECT_STREQ(modulationName(7), "1024-QAM");

    // OFDM carrier 74 at 24.414 kHz spacing starts the map, carrier 1228 ends it.
    EXPECT_NEAR(carrierFrequencyMHz(0), 1.806640625, 1e-9);
    EXPECT_NEAR(carrierFrequencyMHz(1) - carrierFrequencyMHz(0), 0.0244140625, 1e-12);
    EXPECT_NEAR(carrierFrequencyMHz(kAvCarrierCount - 1), 29.98046875, 1e-9);
}

// ---- Reset ----

TEST(ResetDeviceConfirm, StatusOfTheRestart) {
    for (uint8_t status : {uint8_t{0x00}, uint8_t{kResetNoNvm}}) {
        ResetDeviceConfirm c;
        ASSERT_TRUE(
            decodeResetDeviceConfirm(padded(cat({confirmHeader(0xA01D), {status}}), 60), c));
        EXPECT_EQ(c.status, status);
        EXPECT_EQ(c.device, kDeviceMac);
    }
    EXPECT_STREQ(resetStatusText(kResetNoNvm), "NVM Not Present");

    ResetDeviceConfirm c;
    const DecodeOutcome shortFrame = decodeResetDeviceConfirm(confirmHeader(0xA01D), c);
    EXPECT_EQ(shortFrame.error, kAvErrMissingOrShort);
    EXPECT_NE(shortFrame.reason.find("20 bytes"), std::string::npos) << shortFrame.reason;
    EXPECT_EQ(decodeResetDeviceConfirm(padded(confirmHeader(0xA01C), 60), c).error,
              kAvErrUnknownType);
}

}  // namespace
}  // namespace corvel
