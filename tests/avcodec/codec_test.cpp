// SPDX-License-Identifier: MIT
#include "avcodec/codec.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <random>
#include <vector>

#include "avcodec/transfer.h"
#include "platform/bytes.h"
#include "platform/process_state.h"
#include "tests/avcodec/av_test_support.h"

namespace corvel {
namespace {

using test::avFrame;
using test::kDeviceMac;
using test::kHostMac;

constexpr Mac kLocalManagement{0x00, 0xB0, 0x52, 0x00, 0x00, 0x01};

using Encoder = int (*)(const uint8_t*, const uint8_t*, size_t, uint8_t*);

struct PlainEncoder {
    const char* name;
    Encoder encode;
    uint8_t mmtypeLow;
};

constexpr PlainEncoder kPlainEncoders[] = {
    {"version", plcapi_EncodeVersionRequest, 0x00},
    {"network information", plcapi_EncodeNetworkInfoRequest, 0x38},
    {"configuration block", plcapi_ReadConfigurationBlock, 0x58},
};

TEST(AvEncoders, PlainRequestsAreTheHeaderAndFortyFourZeros) {
    for (const PlainEncoder& e : kPlainEncoders) {
        std::vector<uint8_t> buffer(1528, 0xEE);
        errno = 0;
        ASSERT_EQ(e.encode(kHostMac.data(), kLocalManagement.data(), buffer.size(), buffer.data()),
                  64)
            << e.name;
        // clang-format off
        std::vector<uint8_t> expected = {
            0x00, 0xB0, 0x52, 0x00, 0x00, 0x01,                       // destination
            0x00, 0x11, 0x22, 0x33, 0x44, 0x55,                       // source
            0x88, 0xE1, 0x00, e.mmtypeLow, 0xA0, 0x00, 0xB0, 0x52};  // Ethertype, MMV, MMTYPE, OUI
        // clang-format on
        expected.resize(64, 0x00);
        EXPECT_EQ(std::vector<uint8_t>(buffer.begin(), buffer.begin() + 64), expected) << e.name;
        EXPECT_EQ(buffer[64], 0xEE) << e.name << ": wrote past the frame";
    }
}

TEST(AvEncoders, SixtyThreeByteBufferIsRefused) {
    for (const PlainEncoder& e : kPlainEncoders) {
        std::vector<uint8_t> buffer(63);
        errno = 0;
        EXPECT_EQ(e.encode(kHostMac.data(), kLocalManagement.data(), buffer.size(), buffer.data()),
                  0)
            << e.name;
        EXPECT_EQ(errno, kAvErrBufferTooSmall) << e.name;
    }
}

TEST(AvEncoders, HeaderStepFailures) {
    struct Case {
        const char* name;
        size_t capacity;
        bool buffer, source, destination;
        int error;
        size_t zeroedFrom;  // bytes [zeroedFrom, capacity) must be zero afterwards
    };
    const Case cases[] = {
        {"no buffer", 64, false, true, true, kAvErrMissingOrShort, 64},
        {"no source", 64, true, false, true, kAvErrMissingOrShort, 64},
        {"no destination", 64, true, true, false, kAvErrMissingOrShort, 64},
        {"capacity 13", 13, true, true, true, kAvErrBufferTooSmall, 0},
        {"capacity 19", 19, true, true, true, kAvErrBufferTooSmall, 14},
    };
    for (const Case& c : cases) {
        std::vector<uint8_t> buffer(c.capacity, 0xEE);
        errno = 0;
        const int result = plcapi_EncodeVersionRequest(
            c.source ? kHostMac.data() : nullptr, c.destination ? kDeviceMac.data() : nullptr,
            c.capacity, c.buffer ? buffer.data() : nullptr);
        EXPECT_EQ(result, 0) << c.name;
        EXPECT_EQ(errno, c.error) << c.name;
        for (size_t i = c.zeroedFrom; i < c.capacity && c.zeroedFrom < c.capacity; ++i) {
            EXPECT_EQ(buffer[i], 0) << c.name << " byte " << i;
        }
    }
}

AvKeyRequest keyRequest(uint8_t peks) {
    AvKeyRequest request{};
    for (int i = 0; i < 16; ++i) request.nmk[i] = uint8_t(0x10 + i);
    for (int i = 0; i < 16; ++i) request.dak[i] = uint8_t(0xD0 + i);
    request.rda = {0xA0, 0xA1, 0xA2, 0xA3, 0xA4, 0xA5};
    request.peks = peks;
    return request;
}

TEST(AvEncoders, SetKeyRequestByteForByte) {
    for (uint8_t peks : {uint8_t{0x0F}, uint8_t{0x00}}) {
        const AvKeyRequest request = keyRequest(peks);
        std::vector<uint8_t> buffer(1528, 0xEE);
        ASSERT_EQ(plcapi_EncodeSetKeyRequest(kHostMac.data(), kDeviceMac.data(), 1528,
                                             buffer.data(), &request),
                  64);
        const std::vector<uint8_t> expected = {
            0x00, 0xB0, 0x52, 0x12, 0x34, 0x56, 0x00, 0x11, 0x22, 0x33, 0x44, 0x55,  // addresses
            0x88, 0xE1, 0x00, 0x50, 0xA0, 0x00, 0xB0, 0x52,                          // header
            0x01,                                                                    // key type
            0x10, 0x11, 0x12, 0x13, 0x14, 0x15, 0x16, 0x17,                          // NMK
            0x18, 0x19, 0x1A, 0x1B, 0x1C, 0x1D, 0x1E, 0x1F,                          //
            peks,                                                                    // PEKS
            0xA0, 0xA1, 0xA2, 0xA3, 0xA4, 0xA5,                                      // RDA
            0xD0, 0xD1, 0xD2, 0xD3, 0xD4, 0xD5, 0xD6, 0xD7,                          // DAK
            0xD8, 0xD9, 0xDA, 0xDB, 0xDC, 0xDD, 0xDE, 0xDF,                          //
            0x00, 0x00, 0x00, 0x00};
        EXPECT_EQ(std::vector<uint8_t>(buffer.begin(), buffer.begin() + 64), expected)
            << "PEKS " << int(peks);
    }
}

TEST(AvEncoders, SetKeyRequestRefusals) {
    std::vector<uint8_t> buffer(1528);
    const AvKeyRequest bad = keyRequest(0x05);
    errno = 0;
    EXPECT_EQ(
        plcapi_EncodeSetKeyRequest(kHostMac.data(), kDeviceMac.data(), 1528, buffer.data(), &bad),
        0);
    EXPECT_EQ(errno, kAvErrInvalidValue);
    errno = 0;
    EXPECT_EQ(plcapi_EncodeSetKeyRequest(kHostMac.data(), kDeviceMac.data(), 1528, buffer.data(),
                                         nullptr),
              0);
    EXPECT_EQ(errno, kAvErrMissingOrShort);
}

class AvDecode : public ::testing::Test {
protected:
    void SetUp() override {
        resetProcessState();
        errno = 0;
    }
    void TearDown() override { resetProcessState(); }
    int decode(const std::vector<uint8_t>& frame) {
        return plcapi_DecodeFrame(frame.size(), frame.data(), &record);
    }
    AvConfirm record{};
};

// A frame whose payload bytes all differ from their neighbours, so that a copy from the wrong
// offset shows.
std::vector<uint8_t> patterned(uint16_t mmtype, size_t length) {
    std::vector<uint8_t> frame = avFrame(mmtype, length);
    for (size_t i = 20; i < length; ++i) frame[i] = uint8_t(0x40 + i * 7 + (i >> 8));
    return frame;
}

TEST_F(AvDecode, HeaderChecks) {
    struct Case {
        const char* name;
        std::vector<uint8_t> frame;
        int error;
    };
    std::vector<Case> cases;
    {
        std::vector<uint8_t> hp10 = avFrame(0xA001, 60);
        hp10[12] = 0x88;
        hp10[13] = 0x7B;
        cases.push_back({"HomePlug 1.0 Ethertype", hp10, kAvErrNotAvFrame});
    }
    {
        std::vector<uint8_t> oui = avFrame(0xA001, 88);
        oui[19] = 0x53;
        cases.push_back({"OUI 00 B0 53", oui, kAvErrMissingOrShort});
    }
    {
        std::vector<uint8_t> mmv = avFrame(0xA001, 88);
        mmv[14] = 0x01;
        cases.push_back({"MMV 1", mmv, kAvErrMissingOrShort});
    }
    {
        std::vector<uint8_t> nineteen = avFrame(0xA001, 20);
        nineteen.pop_back();
        cases.push_back({"19 bytes", nineteen, kAvErrMissingOrShort});
    }
    cases.push_back({"empty", {}, kAvErrMissingOrShort});
    cases.push_back({"MMTYPE 0xA003", avFrame(0xA003, 64), kAvErrUnknownType});
    cases.push_back({"MMTYPE 0xA100", avFrame(0xA100, 64), kAvErrUnknownType});
    cases.push_back({"MMTYPE 0xA000 (a request)", avFrame(0xA000, 64), kAvErrUnknownType});
    for (const Case& c : cases) {
        errno = 0;
        EXPECT_EQ(decode(c.frame), -1) << c.name;
        EXPECT_EQ(errno, c.error) << c.name;
        EXPECT_EQ(record.error, c.error) << c.name;
        EXPECT_EQ(record.mmtype, kNoMmtype) << c.name;
        EXPECT_EQ(record.valid, 0) << c.name;
    }
}

TEST_F(AvDecode, MissingFrameOrRecord) {
    const std::vector<uint8_t> frame = avFrame(0xA051, 64);
    EXPECT_EQ(plcapi_DecodeFrame(frame.size(), nullptr, &record), -1);
    EXPECT_EQ(errno, kAvErrMissingOrShort);
    EXPECT_EQ(record.error, kAvErrMissingOrShort);
    errno = 0;
    EXPECT_EQ(plcapi_DecodeFrame(frame.size(), frame.data(), nullptr), -1);
    EXPECT_EQ(errno, kAvErrMissingOrShort);
}

TEST_F(AvDecode, EveryDecodeStartsFromAClearedRecord) {
    const std::vector<uint8_t> version = patterned(0xA001, 88);
    ASSERT_EQ(decode(version), 0);
    ASSERT_EQ(record.valid, 1);
    ASSERT_EQ(decode(patterned(0xA051, 64)), 0);
    EXPECT_EQ(record.valid, 0);
    EXPECT_EQ(record.payloadLength, 0);
    EXPECT_EQ(record.payload, decltype(record.payload){});
}

struct Span {
    size_t payload;
    size_t frame;
    size_t count;
};

struct RowCase {
    const char* name;
    uint16_t mmtype;
    size_t length;
    std::vector<std::pair<size_t, uint8_t>> overrides;  // frame bytes set before decoding
    std::vector<Span> spans;                            // payload bytes copied from the frame
    std::vector<std::pair<size_t, int>> derived;        // payload bytes with fixed values;
                                                        // a negative value -k means frame[k]
    bool statusInError;
    uint8_t valid;
    int32_t payloadLength;
    int32_t kind;
    int32_t state;
};

// Every row of the decoder table on a well-formed frame, and the rows that copy a variable amount
// on frames that end before the copy would: those copy what the frame holds and leave the rest of
// the payload zero.
// clang-format off
const std::vector<RowCase>& rowCases() {
    static const std::vector<RowCase> cases = {
        {"version", 0xA001, 88, {}, {{0, 21, 66}}, {}, true, 1, 67, 4, 2},
        {"start confirm", 0xA00D, 22, {}, {}, {}, true, 0, 0, 0, 2},
        {"reset confirm", 0xA01D, 21, {}, {}, {}, true, 0, 0, 5, 2},
        {"commit confirm", 0xA029, 22, {}, {}, {}, true, 0, 0, 0, 2},
        {"A031 type 0", 0xA031, 64, {{21, 0}}, {{0, 21, 3}, {3, 24, 40}}, {}, true, 1, 43, 1, 2},
        {"A031 type 1", 0xA031, 300, {{21, 1}}, {{0, 21, 3}, {3, 24, 247}}, {}, true, 1, 250, 1, 2},
        {"A031 type 2", 0xA031, 400, {{21, 2}}, {{0, 21, 3}, {3, 24, 287}}, {}, true, 1, 290, 1, 2},
        {"A031 type 2, frame ends early", 0xA031, 100, {{21, 2}}, {{0, 21, 3}, {3, 24, 287}}, {},
         true, 1, 290, 1, 2},
        {"A031 other type", 0xA031, 64, {{21, 9}}, {{0, 21, 3}}, {}, true, 1, 3, 1, 2},
        {"A031 header only", 0xA031, 20, {}, {}, {}, true, 1, 43, 1, 2},
        {"A035", 0xA035, 28, {}, {{0, 21, 7}}, {}, true, 1, 7, 0, 0},
        {"A036 selector 0", 0xA036, 186, {{34, 0x38}}, {{0, 21, 29}, {29, 50, 136}},
         {{165, 0}, {166, 0x30}, {167, -57}}, false, 1, 168, 0, 0},
        {"A036 selector 3", 0xA036, 186, {{34, 0x93}}, {{0, 21, 29}},
         {{165, 3}, {166, 0x90}, {167, 0}}, false, 1, 168, 0, 0},
        {"A036 selector 0, frame ends early", 0xA036, 51, {{34, 0x00}},
         {{0, 21, 29}, {29, 50, 136}}, {{165, 0}, {166, 0}, {167, 0}}, false, 1, 168, 0, 0},
        {"network info", 0xA039, 1528, {}, {{0, 20, 1508}}, {}, false, 1, 1505, 3, 2},
        {"network info, frame ends early", 0xA039, 33, {}, {{0, 20, 1508}}, {}, false, 1, 1505,
         3, 2},
        {"set-key confirm", 0xA051, 21, {}, {}, {}, true, 0, 0, 8, 2},
        {"A055", 0xA055, 86, {}, {{0, 21, 65}}, {}, true, 1, 65, 2, 2},
        {"configuration block", 0xA059, 300, {{21, 200}}, {{0, 20, 2}, {2, 22, 200}}, {}, false,
         1, 1506, 16, 2},
        {"configuration block, frame ends early", 0xA059, 40, {{21, 255}},
         {{0, 20, 2}, {2, 22, 255}}, {}, false, 1, 1506, 16, 2},
        {"A05D", 0xA05D, 21, {}, {}, {}, true, 0, 0, 12, 2},
        {"indication", 0xA062, 21, {}, {}, {{0, -20}, {1, 0}, {2, 0}, {3, 0}}, false, 1, 1, 6, 1},
        {"A06D", 0xA06D, 23, {}, {{0, 21, 2}}, {}, true, 1, 0, 11, 2},
        {"A06D, status only", 0xA06D, 21, {}, {{0, 21, 2}}, {}, true, 1, 0, 11, 2},
        {"A071", 0xA071, 603, {}, {{0, 21, 582}}, {}, true, 0, 0, 10, 2},
        {"A07D", 0xA07D, 21, {}, {}, {}, true, 0, 0, 13, 2},
        {"A091", 0xA091, 606, {}, {{0, 21, 585}}, {}, true, 0, 0, 14, 2},
        {"A095", 0xA095, 21, {}, {}, {}, true, 0, 0, 15, 2},
    };
    return cases;
}
// clang-format on

TEST_F(AvDecode, EveryRowOnAWellFormedFrame) {
    for (const RowCase& c : rowCases()) {
        std::vector<uint8_t> frame = patterned(c.mmtype, c.length);
        for (auto [at, value] : c.overrides) frame[at] = value;
        std::array<uint8_t, kAvPayloadSize> expected{};
        for (const Span& s : c.spans) {
            for (size_t k = 0; k < s.count && s.frame + k < frame.size(); ++k) {
                expected[s.payload + k] = frame[s.frame + k];
            }
        }
        for (auto [at, value] : c.derived)
            expected[at] = value < 0 ? frame[-value] : uint8_t(value);

        resetAvOperation();
        ASSERT_EQ(decode(frame), 0) << c.name;
        EXPECT_EQ(record.mmtype, c.mmtype) << c.name;
        EXPECT_EQ(record.destMac, kHostMac) << c.name;
        EXPECT_EQ(record.srcMac, kDeviceMac) << c.name;
        EXPECT_EQ(record.error, c.statusInError && c.length > 20 ? frame[20] : 0) << c.name;
        EXPECT_EQ(record.valid, c.valid) << c.name;
        EXPECT_EQ(record.payloadLength, c.payloadLength) << c.name;
        EXPECT_EQ(record.kind, c.kind) << c.name;
        EXPECT_EQ(record.state, c.state) << c.name;
        for (size_t i = 0; i < kAvPayloadSize; ++i) {
            if (record.payload[i] != expected[i]) {
                ADD_FAILURE() << c.name << ": p[" << i << "] is " << int(record.payload[i])
                              << ", expected " << int(expected[i]);
                break;
            }
        }
    }
}

struct ShortCase {
    uint16_t mmtype;
    size_t minimum;
    int error;  // errno for a frame one byte short; 0: errno is left alone
};

// clang-format off
constexpr ShortCase kShortCases[] = {
    {0xA001, 88, kAvErrMissingOrShort}, {0xA005, 29, kAvErrBufferTooSmall},
    {0xA00D, 22, kAvErrBufferTooSmall}, {0xA01D, 21, kAvErrMissingOrShort},
    {0xA021, 29, kAvErrBufferTooSmall}, {0xA025, 36, kAvErrMissingOrShort},
    {0xA029, 22, 0},                    {0xA035, 28, kAvErrMissingOrShort},
    {0xA036, 51, kAvErrMissingOrShort}, {0xA039, 33, kAvErrMissingOrShort},
    {0xA051, 21, kAvErrBufferTooSmall}, {0xA055, 86, kAvErrMissingOrShort},
    {0xA059, 22, kAvErrMissingOrShort}, {0xA05D, 21, kAvErrBufferTooSmall},
    {0xA062, 21, 0},                    {0xA071, 603, 0},
    {0xA07D, 21, kAvErrBufferTooSmall}, {0xA091, 606, 0},
    {0xA095, 21, kAvErrMissingOrShort},
};
// clang-format on

TEST_F(AvDecode, FrameOneByteShorterThanItsRowIsRefused) {
    for (const ShortCase& c : kShortCases) {
        const std::vector<uint8_t> frame = patterned(c.mmtype, c.minimum - 1);
        errno = 0;
        EXPECT_EQ(decode(frame), -1) << std::hex << c.mmtype;
        EXPECT_EQ(errno, c.error) << std::hex << c.mmtype;
        EXPECT_EQ(record.mmtype, c.mmtype) << std::hex << c.mmtype;
        // Never a success to a caller that accepts a record whose error is 0.
        EXPECT_EQ(record.error, c.error != 0 ? c.error : kAvErrMissingOrShort)
            << std::hex << c.mmtype;
        EXPECT_EQ(record.valid, 0) << std::hex << c.mmtype;
        EXPECT_EQ(record.payload, decltype(record.payload){}) << std::hex << c.mmtype;
    }
}

TEST_F(AvDecode, ConfirmationsThatEndATransferClearIt) {
    for (uint16_t mmtype :
         {uint16_t{0xA00D}, uint16_t{0xA01D}, uint16_t{0xA029}, uint16_t{0xA07D}}) {
        ASSERT_EQ(plcapi_BeginModuleRead(kHostMac.data(), kDeviceMac.data(), 2), 0);
        ASSERT_EQ(decode(avFrame(mmtype, 64)), 0) << std::hex << mmtype;
        EXPECT_EQ(avOperation().kind, 0) << std::hex << mmtype;
        std::vector<uint8_t> buffer(1528);
        EXPECT_EQ(plcapi_BuildPendingFrame(buffer.size(), buffer.data()), 0) << std::hex << mmtype;
    }
    // The start and commit confirmations report the kind of the transfer they end.
    ASSERT_EQ(plcapi_BeginModuleRead(kHostMac.data(), kDeviceMac.data(), 2), 0);
    ASSERT_EQ(decode(avFrame(0xA029, 64)), 0);
    EXPECT_EQ(record.kind, kTransferRead);
}

// A full-size frame of each type, shaped so that the decoder goes past its first checks: a
// read confirmation with a good chunk, a write confirmation with status 0.
std::vector<uint8_t> fullFrame(uint16_t mmtype) {
    std::vector<uint8_t> frame = patterned(mmtype, 1528);
    if (mmtype == 0xA005 || mmtype == 0xA021 || mmtype == 0xA025) frame[20] = 0;
    if (mmtype == 0xA025) {
        frame[24] = 1;
        put16le(&frame[26], 1024);
        put32le(&frame[28], 0);
        put32le(&frame[32], test::referenceChecksum(&frame[36], 256));
    }
    return frame;
}

// Puts a transfer in flight so that the transfer confirmations run their whole handling.
void startTransferFor(uint16_t mmtype, const std::vector<uint8_t>& firmware,
                      const std::vector<uint8_t>& pib) {
    if (mmtype == 0xA025) {
        plcapi_BeginModuleRead(kHostMac.data(), kDeviceMac.data(), 3);
    } else if (mmtype == 0xA021 || mmtype == 0xA005) {
        plcapi_BeginModuleWrite(kHostMac.data(), kDeviceMac.data(), uint32_t(firmware.size()),
                                firmware.data(), uint32_t(pib.size()), pib.data(),
                                mmtype == 0xA021 ? 0x23 : 0x00);
    } else {
        resetAvOperation();
    }
}

void expectSaneRecord(const AvConfirm& record, int result, const char* what, size_t length) {
    EXPECT_TRUE(result == 0 || result == -1) << what << " length " << length;
    EXPECT_LE(record.payloadLength, int32_t(kAvPayloadSize)) << what << " length " << length;
}

TEST_F(AvDecode, EveryTruncationOfEveryTypeStaysInsideTheFrame) {
    const std::vector<uint8_t> firmware = test::makeNvm({{0x00200000, 3000}});
    const std::vector<uint8_t> pib = test::makePib(7992);
    for (const ShortCase& row : kShortCases) {
        const std::vector<uint8_t> full = fullFrame(row.mmtype);
        for (size_t length = 0; length <= full.size(); ++length) {
            // A buffer of exactly this size, so that the address sanitizer sees any over-read.
            const std::vector<uint8_t> frame(full.begin(), full.begin() + length);
            startTransferFor(row.mmtype, firmware, pib);
            const int result = decode(frame);
            expectSaneRecord(record, result, "truncation", length);
            if (length < row.minimum) {
                EXPECT_EQ(result, -1) << std::hex << row.mmtype << " " << length;
            }
        }
    }
    for (uint16_t mmtype : {uint16_t{0xA031}, uint16_t{0xA06D}}) {
        const std::vector<uint8_t> full = fullFrame(mmtype);
        for (size_t length = 20; length <= full.size(); ++length) {
            const std::vector<uint8_t> frame(full.begin(), full.begin() + length);
            EXPECT_EQ(decode(frame), 0) << std::hex << mmtype << " " << length;
        }
    }
}

TEST_F(AvDecode, RandomFramesFromAFixedSeed) {
    const std::vector<uint8_t> firmware = test::makeNvm({{0x1000, 500}, {0x00200000, 2600}});
    const std::vector<uint8_t> pib = test::makePib(7992);
    std::vector<uint16_t> types;
    for (const ShortCase& row : kShortCases) types.push_back(row.mmtype);
    types.insert(types.end(), {0xA031, 0xA06D, 0xA003, 0xA100});

    std::mt19937 random(20240611);
    auto below = [&](uint32_t n) { return uint32_t(random() % n); };
    std::vector<uint8_t> built(1528);
    for (int i = 0; i < 4000; ++i) {
        // A fresh transfer now and then; in between, frames keep driving the one in flight.
        if (i % 16 == 0) {
            switch (below(4)) {
                case 0:
                    startTransferFor(0xA025, firmware, pib);
                    break;
                case 1:
                    startTransferFor(0xA021, firmware, pib);
                    break;
                case 2:
                    startTransferFor(0xA005, firmware, pib);
                    break;
                default:
                    resetAvOperation();
                    break;
            }
        }
        const uint16_t mmtype = types[below(uint32_t(types.size()))];
        std::vector<uint8_t> frame(below(1600));
        for (uint8_t& b : frame) b = uint8_t(random());
        if (frame.size() >= 20 && below(10) != 0) {
            const std::vector<uint8_t> header = avFrame(mmtype, 20);
            std::copy(header.begin(), header.end(), frame.begin());
            if (below(2) == 0 && frame.size() > 20) frame[20] = 0;  // status 0: go further in
            if (mmtype == 0xA025 && frame.size() >= 36 && below(2) == 0) {
                const size_t chunk = std::min<size_t>(frame.size() - 36, below(1100));
                put16le(&frame[26], uint16_t(chunk));
                put32le(&frame[32], test::referenceChecksum(&frame[36], chunk / 4));
            }
        }
        const int result = decode(frame);
        expectSaneRecord(record, result, "random frame", frame.size());
        EXPECT_TRUE(record.mmtype == kNoMmtype ||
                    (frame.size() >= 20 && record.mmtype == get16le(&frame[15])));
        // Whatever got prepared must build inside the caller's buffer.
        const int builtLength = plcapi_BuildPendingFrame(built.size(), built.data());
        EXPECT_TRUE(builtLength == 0 || (builtLength >= 64 && builtLength <= 1528));
    }
}

}  // namespace
}  // namespace corvel
