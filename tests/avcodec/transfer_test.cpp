// SPDX-License-Identifier: MIT
#include "avcodec/transfer.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <functional>
#include <map>
#include <vector>

#include "avcodec/codec.h"
#include "platform/bytes.h"
#include "platform/process_state.h"
#include "tests/avcodec/av_test_support.h"

namespace corvel {
namespace {

using test::avFrame;
using test::kDeviceMac;
using test::kHostMac;
using test::referenceChecksum;

using Bytes = std::vector<uint8_t>;

// What the device saw in one request frame.
struct Request {
    Bytes frame;
    uint16_t mmtype() const { return get16le(&frame[15]); }
    // Module write 0xA020 and module read 0xA024.
    uint8_t module() const { return frame[20]; }
    uint32_t length() const {
        if (mmtype() == kMmMemoryWriteRequest) return get32le(&frame[24]);
        return get16le(&frame[22]);
    }
    uint32_t offset() const { return get32le(&frame[24]); }
    uint32_t checksum() const { return get32le(&frame[28]); }
    // Memory write 0xA004.
    uint32_t address() const { return get32le(&frame[20]); }
    Bytes data() const {
        const size_t at = mmtype() == kMmModuleWriteRequest ? 32 : 28;
        return Bytes(frame.begin() + at, frame.begin() + at + length());
    }
};

// A local device that answers every request the codec builds: it keeps what is written, serves
// reads from its modules, and fails or damages answers on request.
class FakeDevice {
public:
    std::vector<Request> requests;
    std::map<int, Bytes> written;                // module id -> bytes at their offsets
    std::map<uint32_t, Bytes> memory;            // address -> bytes written there
    std::map<int, Bytes> modules;                // what a read returns
    std::vector<uint8_t> statuses;               // status of the answer to request i (default 0)
    std::function<void(size_t, Bytes&)> tamper;  // changes the answer to request i

    Bytes answer(const uint8_t* frame, size_t length) {
        requests.push_back(Request{Bytes(frame, frame + length)});
        const Request& r = requests.back();
        const size_t index = requests.size() - 1;
        const uint8_t status = index < statuses.size() ? statuses[index] : 0;
        Bytes reply = avFrame(uint16_t(r.mmtype() + 1), 60, kHostMac, kDeviceMac);
        reply[20] = status;
        switch (r.mmtype()) {
            case kMmModuleWriteRequest: {
                if (status == 0) store(written[r.module()], r.offset(), r.data());
                reply[21] = r.module();
                put16le(&reply[23], uint16_t(r.length()));
                put32le(&reply[25], r.offset());
                break;
            }
            case kMmMemoryWriteRequest:
                if (status == 0) memory[r.address()] = r.data();
                put32le(&reply[21], r.address());
                put32le(&reply[25], r.length());
                break;
            case kMmModuleReadRequest: {
                const Bytes& module = modules[r.module()];
                const size_t from = std::min<size_t>(r.offset(), module.size());
                const size_t to = std::min<size_t>(from + r.length(), module.size());
                const Bytes chunk(module.begin() + from, module.begin() + to);
                reply.resize(std::max<size_t>(60, 36 + chunk.size()));
                reply[24] = r.module();
                put16le(&reply[26], uint16_t(chunk.size()));
                put32le(&reply[28], r.offset());
                put32le(&reply[32], referenceChecksum(chunk.data(), chunk.size() / 4));
                std::copy(chunk.begin(), chunk.end(), reply.begin() + 36);
                break;
            }
            default:
                break;
        }
        if (tamper) tamper(index, reply);
        return reply;
    }

    // The chunks of one module's write, checked against their own checksums.
    bool chunksCheck() const {
        for (const Request& r : requests) {
            if (r.mmtype() != kMmModuleWriteRequest) continue;
            const Bytes data = r.data();
            if (referenceChecksum(data.data(), data.size() / 4) != r.checksum()) return false;
        }
        return true;
    }

private:
    static void store(Bytes& module, size_t offset, const Bytes& data) {
        if (module.size() < offset + data.size()) module.resize(offset + data.size());
        std::copy(data.begin(), data.end(), module.begin() + offset);
    }
};

struct Outcome {
    std::vector<AvConfirm> confirms;
    int result = 0;
};

// The caller's loop: build the prepared frame, let the device answer, decode, until the
// transfer completes, fails or has nothing more to send.
Outcome drive(FakeDevice& device, size_t limit = 200) {
    Outcome outcome;
    Bytes buffer(1528);
    while (outcome.confirms.size() < limit) {
        const int length = plcapi_BuildPendingFrame(buffer.size(), buffer.data());
        if (length == 0) break;
        const Bytes reply = device.answer(buffer.data(), size_t(length));
        AvConfirm confirm{};
        outcome.result = plcapi_DecodeFrame(reply.size(), reply.data(), &confirm);
        outcome.confirms.push_back(confirm);
        if (outcome.result != 0 || confirm.state == 2) break;
    }
    return outcome;
}

class AvTransfer : public ::testing::Test {
protected:
    void SetUp() override {
        resetProcessState();
        errno = 0;
    }
    void TearDown() override { resetProcessState(); }

    int beginWrite(const Bytes& firmware, const Bytes& pib, uint32_t options) {
        return plcapi_BeginModuleWrite(kHostMac.data(), kDeviceMac.data(),
                                       uint32_t(firmware.size()),
                                       firmware.empty() ? nullptr : firmware.data(),
                                       uint32_t(pib.size()), pib.data(), options);
    }
    int beginRead(int32_t type) {
        return plcapi_BeginModuleRead(kHostMac.data(), kDeviceMac.data(), type);
    }

    FakeDevice device;
};

// The 64-byte frame with this header and these payload bytes, host to device.
Bytes requestFrame(uint16_t mmtype, const Bytes& payload) {
    Bytes frame = avFrame(mmtype, std::max<size_t>(20 + payload.size(), 64), kDeviceMac, kHostMac);
    std::copy(payload.begin(), payload.end(), frame.begin() + 20);
    return frame;
}

struct Chunk {
    uint16_t mmtype;
    uint32_t where;  // offset (module write, read) or address (memory write)
    uint32_t length;
};

std::vector<Chunk> chunksOf(const FakeDevice& device, uint16_t mmtype) {
    std::vector<Chunk> chunks;
    for (const Request& r : device.requests) {
        if (r.mmtype() != mmtype) continue;
        const uint32_t where = mmtype == kMmMemoryWriteRequest ? r.address() : r.offset();
        chunks.push_back({mmtype, where, r.length()});
    }
    return chunks;
}

bool operator==(const Chunk& a, const Chunk& b) {
    return a.mmtype == b.mmtype && a.where == b.where && a.length == b.length;
}

std::ostream& operator<<(std::ostream& out, const Chunk& c) {
    return out << std::hex << c.mmtype << std::dec << "@" << c.where << "+" << c.length;
}

TEST_F(AvTransfer, ModuleWriteSendsBothImagesInKilobyteChunksThenCommits) {
    const Bytes firmware = test::pattern(2500, 0x11);
    const Bytes pib = test::makePib(7992);
    ASSERT_EQ(beginWrite(firmware, pib, 0x23), 0);
    const Outcome outcome = drive(device);
    ASSERT_EQ(outcome.result, 0);
    ASSERT_EQ(outcome.confirms.back().state, 2);
    EXPECT_EQ(outcome.confirms.back().mmtype, kMmModuleCommitConfirm);
    EXPECT_EQ(outcome.confirms.back().kind, kTransferWrite);

    std::vector<Chunk> expected = {{0xA020, 0, 1024}, {0xA020, 1024, 1024}, {0xA020, 2048, 452}};
    for (uint32_t k = 0; k < 7; ++k) expected.push_back({0xA020, k * 1024, 1024});
    expected.push_back({0xA020, 7168, 824});
    EXPECT_EQ(chunksOf(device, kMmModuleWriteRequest), expected);

    // Module ids, frame lengths and the chunk checksums (113 words for the 452-byte chunk).
    for (size_t i = 0; i < 11; ++i) {
        const Request& r = device.requests[i];
        EXPECT_EQ(r.module(), i < 3 ? 1 : 2) << i;
        EXPECT_EQ(r.frame.size(), 32 + r.length()) << i;
    }
    EXPECT_EQ(device.requests[2].checksum(), referenceChecksum(&firmware[2048], 113));
    EXPECT_TRUE(device.chunksCheck());
    EXPECT_EQ(device.written[1], firmware);
    EXPECT_EQ(device.written[2], pib);

    // Every frame goes to the device from the host, also after the switch to the PIB.
    for (const Request& r : device.requests) {
        EXPECT_EQ(Bytes(r.frame.begin(), r.frame.begin() + 12),
                  Bytes({0x00, 0xB0, 0x52, 0x12, 0x34, 0x56, 0x00, 0x11, 0x22, 0x33, 0x44, 0x55}));
    }
    ASSERT_EQ(device.requests.size(), 12u);
    EXPECT_EQ(device.requests[11].frame, requestFrame(kMmModuleCommitRequest, {0x03}));
    EXPECT_EQ(avOperation().kind, 0);  // the commit confirmation ends the transfer
}

TEST_F(AvTransfer, CommitPayloadNamesTheModulesWritten) {
    struct Case {
        uint32_t options;
        bool firmware;
        uint8_t payload;
    };
    const Case cases[] = {
        {0x23, true, 0x03},  {0x13, true, 0x13},  {0x33, true, 0x13},
        {0x23, false, 0x02}, {0x13, false, 0x12},
    };
    const Bytes firmware = test::pattern(1500, 0x22);
    const Bytes none;
    const Bytes pib = test::makePib(2000);
    for (const Case& c : cases) {
        resetAvOperation();
        device = FakeDevice{};
        // The images must outlive the transfer: no temporaries here.
        ASSERT_EQ(beginWrite(c.firmware ? firmware : none, pib, c.options), 0);
        const Outcome outcome = drive(device);
        EXPECT_EQ(outcome.confirms.back().state, 2) << c.options;
        ASSERT_FALSE(device.requests.empty());
        EXPECT_EQ(device.requests.back().frame, requestFrame(kMmModuleCommitRequest, {c.payload}))
            << std::hex << c.options << " " << c.firmware;
        EXPECT_EQ(device.requests.front().module(), c.firmware ? 1 : 2) << c.options;
    }
}

TEST_F(AvTransfer, MemoryWriteLoadsTheLastImageThenThePibAndStarts) {
    const Bytes firmware =
        test::makeNvm({{0x00001000, 300}, {0x00200000, 2100, 0xCAFEBABE, 0x12345678}});
    const Bytes pib = test::makePib(7992);
    ASSERT_EQ(beginWrite(firmware, pib, 0x00), 0);
    const Outcome outcome = drive(device);
    ASSERT_EQ(outcome.result, 0);
    EXPECT_EQ(outcome.confirms.back().mmtype, kMmStartConfirm);
    EXPECT_EQ(outcome.confirms.back().state, 2);

    std::vector<Chunk> expected = {
        {0xA004, 0x00200000, 1024}, {0xA004, 0x00200400, 1024}, {0xA004, 0x00200800, 52}};
    for (uint32_t k = 0; k < 7; ++k) expected.push_back({0xA004, 0x01F00000 + k * 1024, 1024});
    expected.push_back({0xA004, 0x01F01C00, 824});
    EXPECT_EQ(chunksOf(device, kMmMemoryWriteRequest), expected);
    EXPECT_EQ(device.requests[0].frame.size(), 28u + 1024);
    // The bytes after the last header, not the file's first image.
    EXPECT_EQ(device.memory[0x00200000], Bytes(firmware.begin() + 388, firmware.begin() + 1412));
    EXPECT_EQ(device.memory[0x00200800], Bytes(firmware.begin() + 2436, firmware.end()));
    EXPECT_EQ(device.memory[0x01F01C00], Bytes(pib.begin() + 7168, pib.end()));

    // Start: 0x01, three zero bytes, then words 2..5 of the last header.
    EXPECT_EQ(device.requests.back().frame,
              requestFrame(kMmStartRequest, {0x01, 0x00, 0x00, 0x00,  //
                                             0x00, 0x00, 0x20, 0x00,  // load address
                                             0x34, 0x08, 0x00, 0x00,  // length 2100
                                             0xBE, 0xBA, 0xFE, 0xCA,  // word 4
                                             0x78, 0x56, 0x34, 0x12}));
    EXPECT_EQ(avOperation().kind, 0);
}

TEST_F(AvTransfer, ModuleWriteEndingWithStartCarriesTheFirstHeader) {
    const Bytes firmware = test::makeNvm({{0x00001000, 300, 0x0A0B0C0D, 0x01020304}, {0x2000, 50}});
    const Bytes pib = test::makePib(100);
    ASSERT_EQ(beginWrite(firmware, pib, 0x22), 0);
    const Outcome outcome = drive(device);
    EXPECT_EQ(outcome.confirms.back().state, 2);
    EXPECT_EQ(device.written[1], firmware);  // the whole file, headers included
    EXPECT_EQ(device.requests.back().frame,
              requestFrame(kMmStartRequest,
                           {0x01, 0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x00, 0x2C, 0x01,
                            0x00, 0x00, 0x0D, 0x0C, 0x0B, 0x0A, 0x04, 0x03, 0x02, 0x01}));
}

TEST_F(AvTransfer, WriteRetries) {
    struct Case {
        const char* name;
        std::vector<uint8_t> statuses;
        int result;
        size_t requests;  // frames sent until the transfer ended
    };
    // Firmware 2500 + PIB 1000: chunks 0, 1, 2 of the firmware, one PIB chunk, the commit.
    const Case cases[] = {
        {"first chunk refused: no retry", {7}, -1, 1},
        {"second chunk refused three times, then taken", {0, 7, 7, 7}, 0, 8},
        {"second chunk refused four times", {0, 7, 7, 7, 7}, -1, 5},
        {"each later chunk refused three times", {0, 7, 7, 7, 0, 7, 7, 7, 0, 7, 7, 7}, 0, 14},
        {"first PIB chunk refused once", {0, 0, 0, 7}, 0, 6},
    };
    const Bytes firmware = test::pattern(2500, 0x33);
    const Bytes pib = test::makePib(1000);
    for (const Case& c : cases) {
        resetAvOperation();
        device = FakeDevice{};
        device.statuses = c.statuses;
        ASSERT_EQ(beginWrite(firmware, pib, 0x23), 0) << c.name;
        errno = 0;
        const Outcome outcome = drive(device);
        EXPECT_EQ(outcome.result, c.result) << c.name;
        EXPECT_EQ(device.requests.size(), c.requests) << c.name;
        if (c.result == -1) {
            EXPECT_EQ(errno, kAvErrInvalidValue) << c.name;
            EXPECT_EQ(outcome.confirms.back().error, 7) << c.name;
        } else {
            EXPECT_EQ(device.written[1], firmware) << c.name;
            EXPECT_EQ(device.written[2], pib) << c.name;
        }
        // A resent chunk is the same frame again.
        for (size_t i = 1; i < device.requests.size(); ++i) {
            if (i - 1 < c.statuses.size() && c.statuses[i - 1] != 0) {
                EXPECT_EQ(device.requests[i].frame, device.requests[i - 1].frame) << c.name << i;
            }
        }
    }
}

TEST_F(AvTransfer, RetriesLeftIsZeroAtStartAndThreeAfterEachGoodConfirmation) {
    const Bytes firmware = test::pattern(5000, 1);
    const Bytes pib = test::makePib(100);
    ASSERT_EQ(beginWrite(firmware, pib, 0x23), 0);
    EXPECT_EQ(avOperation().retriesLeft, 0);
    device.statuses = {0, 7, 0, 7, 7};
    Bytes buffer(1528);
    const uint8_t expected[] = {3, 2, 3, 2, 1};
    for (uint8_t left : expected) {
        const int length = plcapi_BuildPendingFrame(buffer.size(), buffer.data());
        const Bytes reply = device.answer(buffer.data(), size_t(length));
        AvConfirm confirm{};
        ASSERT_EQ(plcapi_DecodeFrame(reply.size(), reply.data(), &confirm), 0);
        EXPECT_EQ(avOperation().retriesLeft, left);
    }
}

TEST_F(AvTransfer, WriteStartRefusals) {
    const Bytes nvm = test::makeNvm({{0x1000, 300}, {0x2000, 700}});
    Bytes badChecksum = nvm;
    badChecksum[350] ^= 1;
    Bytes loop = nvm;
    put32le(&loop[344 + 36], 344);
    test::sealHeader(&loop[344]);
    Bytes cut = nvm;
    cut.resize(cut.size() - 1);  // the last image claims one byte more than the file holds
    struct Case {
        const char* name;
        Bytes firmware;
        Bytes pib;
        uint32_t options;
        int error;
    };
    const Case cases[] = {
        {"no PIB", nvm, {}, 0x23, kAvErrMissingOrShort},
        {"memory path without firmware", {}, test::makePib(100), 0x00, kAvErrMissingOrShort},
        {"memory path, bad header", badChecksum, test::makePib(100), 0x00, kAvErrInvalidValue},
        {"memory path, chain loops", loop, test::makePib(100), 0x00, kAvErrInvalidValue},
        {"memory path, last image past the end", cut, test::makePib(100), 0x00,
         kAvErrMissingOrShort},
    };
    Bytes buffer(1528);
    for (const Case& c : cases) {
        errno = 0;
        EXPECT_EQ(plcapi_BeginModuleWrite(
                      kHostMac.data(), kDeviceMac.data(), uint32_t(c.firmware.size()),
                      c.firmware.empty() ? nullptr : c.firmware.data(), uint32_t(c.pib.size()),
                      c.pib.empty() ? nullptr : c.pib.data(), c.options),
                  -1)
            << c.name;
        EXPECT_EQ(errno, c.error) << c.name;
        // A refused start leaves nothing to send.
        EXPECT_EQ(plcapi_BuildPendingFrame(buffer.size(), buffer.data()), 0) << c.name;
        EXPECT_EQ(avOperation().kind, 0) << c.name;
    }
    const Bytes pib = test::makePib(100);
    errno = 0;
    EXPECT_EQ(plcapi_BeginModuleWrite(kHostMac.data(), kDeviceMac.data(), 0, nullptr, 0, pib.data(),
                                      0x23),
              -1);
    EXPECT_EQ(errno, kAvErrInvalidValue);  // a PIB of length 0
}

TEST_F(AvTransfer, ConfirmationWithNothingOutstandingIsNotAnAnswer) {
    // A duplicate of the last chunk's confirmation arrives after the commit was prepared.
    const Bytes pib = test::makePib(100);
    ASSERT_EQ(beginWrite({}, pib, 0x23), 0);
    Bytes buffer(1528);
    const int length = plcapi_BuildPendingFrame(buffer.size(), buffer.data());
    const Bytes reply = device.answer(buffer.data(), size_t(length));
    AvConfirm confirm{};
    ASSERT_EQ(plcapi_DecodeFrame(reply.size(), reply.data(), &confirm), 0);
    errno = 0;
    EXPECT_EQ(plcapi_DecodeFrame(reply.size(), reply.data(), &confirm), -1);
    EXPECT_EQ(errno, kAvErrInvalidValue);
    EXPECT_NE(confirm.error, 0);  // a caller accepting error 0 would end the upgrade early
    const int commit = plcapi_BuildPendingFrame(buffer.size(), buffer.data());
    EXPECT_EQ(Bytes(buffer.begin(), buffer.begin() + commit),
              requestFrame(kMmModuleCommitRequest, {0x02}));

    // A read chunk when no read runs hands no data on.
    resetAvOperation();
    Bytes chunk = avFrame(kMmModuleReadConfirm, 60);
    chunk[24] = 2;
    put16le(&chunk[26], 24);
    put32le(&chunk[32], referenceChecksum(&chunk[36], 6));
    EXPECT_EQ(plcapi_DecodeFrame(chunk.size(), chunk.data(), &confirm), -1);
    EXPECT_EQ(confirm.error, kAvErrInvalidValue);
    EXPECT_EQ(confirm.valid, 0);
    EXPECT_EQ(plcapi_BuildPendingFrame(buffer.size(), buffer.data()), 0);
}

TEST_F(AvTransfer, ShortWriteConfirmationDoesNotAdvanceTheWrite) {
    const Bytes firmware = test::pattern(2048, 5);
    const Bytes pib = test::makePib(100);
    ASSERT_EQ(beginWrite(firmware, pib, 0x23), 0);
    Bytes buffer(1528);
    const int length = plcapi_BuildPendingFrame(buffer.size(), buffer.data());
    Bytes reply = device.answer(buffer.data(), size_t(length));
    AvConfirm confirm{};
    const Bytes cut(reply.begin(), reply.begin() + 28);
    EXPECT_EQ(plcapi_DecodeFrame(cut.size(), cut.data(), &confirm), -1);
    EXPECT_EQ(plcapi_BuildPendingFrame(buffer.size(), buffer.data()), 0);
    ASSERT_EQ(plcapi_DecodeFrame(reply.size(), reply.data(), &confirm), 0);
    ASSERT_GT(plcapi_BuildPendingFrame(buffer.size(), buffer.data()), 0);
    EXPECT_EQ(get32le(&buffer[24]), 1024u);  // the second chunk
}

TEST_F(AvTransfer, BuildPendingFrameKeepsTheFrameWhenItCannotBuildIt) {
    Bytes buffer(1528);
    EXPECT_EQ(plcapi_BuildPendingFrame(buffer.size(), buffer.data()), 0);  // nothing prepared
    const Bytes firmware = test::pattern(2500, 9);
    const Bytes pib = test::makePib(100);
    ASSERT_EQ(beginWrite(firmware, pib, 0x23), 0);
    errno = 0;
    EXPECT_EQ(plcapi_BuildPendingFrame(buffer.size(), nullptr), 0);
    EXPECT_EQ(errno, kAvErrMissingOrShort);
    Bytes small(1055);
    errno = 0;
    EXPECT_EQ(plcapi_BuildPendingFrame(small.size(), small.data()), 0);
    EXPECT_EQ(errno, kAvErrBufferTooSmall);
    EXPECT_EQ(plcapi_BuildPendingFrame(buffer.size(), buffer.data()), 1056);
    EXPECT_EQ(plcapi_BuildPendingFrame(buffer.size(), buffer.data()), 0);  // consumed
}

TEST_F(AvTransfer, PibReadAsksKilobytesUpToItsLengthField) {
    device.modules[2] = test::makePib(7992);
    ASSERT_EQ(beginRead(kReadPib), 0);
    const Outcome outcome = drive(device);
    ASSERT_EQ(outcome.result, 0);
    EXPECT_EQ(device.requests[0].frame,
              requestFrame(kMmModuleReadRequest, {0x02, 0x00, 0x00, 0x04, 0x00, 0x00, 0x00, 0x00}));
    EXPECT_EQ(device.requests[7].frame,
              requestFrame(kMmModuleReadRequest, {0x02, 0x00, 0x38, 0x03, 0x00, 0x1C, 0x00, 0x00}));
    std::vector<Chunk> expected;
    for (uint32_t k = 0; k < 7; ++k) expected.push_back({0xA024, k * 1024, 1024});
    expected.push_back({0xA024, 7168, 824});
    EXPECT_EQ(chunksOf(device, kMmModuleReadRequest), expected);

    Bytes read;
    for (size_t i = 0; i < outcome.confirms.size(); ++i) {
        const AvConfirm& c = outcome.confirms[i];
        const bool last = i + 1 == outcome.confirms.size();
        EXPECT_EQ(c.payload[4], last ? 1 : 0) << i;
        EXPECT_EQ(c.state, last ? 2 : 1) << i;
        EXPECT_EQ(c.valid, 1) << i;
        EXPECT_EQ(c.kind, kTransferRead) << i;
        const uint32_t length = get32le(&c.payload[5]);
        EXPECT_EQ(c.payloadLength, int32_t(length + 9)) << i;
        read.insert(read.end(), c.payload.begin() + 9, c.payload.begin() + 9 + length);
    }
    EXPECT_EQ(read, device.modules[2]);
}

TEST_F(AvTransfer, FirmwareReadFollowsTheHeaderChain) {
    struct Case {
        const char* name;
        std::vector<test::NvmImageLayout> images;
        std::vector<Chunk> requests;
    };
    const Case cases[] = {
        {"two images",
         {{0x1000, 1500}, {0x2000, 300}},
         {{0xA024, 0, 44},
          {0xA024, 44, 1024},
          {0xA024, 1068, 476},
          {0xA024, 1544, 44},
          {0xA024, 1588, 300}}},
        {"header right after a header",
         {{0x1000, 0}, {0x2000, 10}},
         {{0xA024, 0, 44}, {0xA024, 44, 44}, {0xA024, 88, 10}}},
        {"gap before the next header",
         {{0x1000, 100, 0, 0, 12}, {0x2000, 20}},
         {{0xA024, 0, 44}, {0xA024, 44, 112}, {0xA024, 156, 44}, {0xA024, 200, 20}}},
    };
    for (const Case& c : cases) {
        resetAvOperation();
        device = FakeDevice{};
        device.modules[1] = test::makeNvm(c.images);
        ASSERT_EQ(beginRead(kReadFirmware), 0) << c.name;
        const Outcome outcome = drive(device);
        EXPECT_EQ(outcome.result, 0) << c.name;
        EXPECT_EQ(outcome.confirms.back().state, 2) << c.name;
        EXPECT_EQ(outcome.confirms.back().payload[4], 1) << c.name;
        EXPECT_EQ(chunksOf(device, kMmModuleReadRequest), c.requests) << c.name;
        for (const Request& r : device.requests) EXPECT_EQ(r.module(), 1) << c.name;
        Bytes read;
        for (const AvConfirm& confirm : outcome.confirms) {
            const uint32_t length = get32le(&confirm.payload[5]);
            read.insert(read.end(), confirm.payload.begin() + 9,
                        confirm.payload.begin() + 9 + length);
        }
        EXPECT_EQ(read, device.modules[1]) << c.name;
    }
}

TEST_F(AvTransfer, ReadOfBothModulesReadsTheFirmwareThenThePib) {
    device.modules[1] = test::makeNvm({{0x1000, 1100}});
    device.modules[2] = test::makePib(1500);
    ASSERT_EQ(beginRead(kReadBoth), 0);
    const Outcome outcome = drive(device);
    ASSERT_EQ(outcome.result, 0);
    const std::vector<Chunk> expected = {{0xA024, 0, 44},
                                         {0xA024, 44, 1024},
                                         {0xA024, 1068, 76},
                                         {0xA024, 0, 1024},
                                         {0xA024, 1024, 476}};
    EXPECT_EQ(chunksOf(device, kMmModuleReadRequest), expected);
    const uint8_t modules[] = {1, 1, 1, 2, 2};
    for (size_t i = 0; i < 5; ++i) EXPECT_EQ(device.requests[i].module(), modules[i]) << i;
    // The end of module 1 is marked last, but only the end of module 2 completes the read.
    EXPECT_EQ(outcome.confirms[2].payload[4], 1);
    EXPECT_EQ(outcome.confirms[2].state, 1);
    EXPECT_EQ(outcome.confirms[4].state, 2);
}

TEST_F(AvTransfer, ReadRetriesDamagedAndRefusedChunks) {
    struct Case {
        const char* name;
        std::function<void(Bytes&)> damage;  // applied to the answer of the second request
        uint8_t error;
    };
    const Case cases[] = {
        {"status", [](Bytes& r) { r[20] = 9; }, 9},
        {"bad checksum", [](Bytes& r) { r[40] ^= 1; }, kAvErrInvalidValue},
        {"chunk longer than the frame", [](Bytes& r) { r.resize(36 + 1000); },
         kAvErrBufferTooSmall},
        {"chunk longer than 1024",
         [](Bytes& r) {
             r.resize(36 + 1028);
             put16le(&r[26], 1028);
         },
         kAvErrBufferTooSmall},
    };
    for (const Case& c : cases) {
        resetAvOperation();
        device = FakeDevice{};
        device.modules[2] = test::makePib(3000);
        device.tamper = [&](size_t index, Bytes& reply) {
            if (index == 1) c.damage(reply);
        };
        ASSERT_EQ(beginRead(kReadPib), 0);
        const Outcome outcome = drive(device);
        EXPECT_EQ(outcome.result, 0) << c.name;
        ASSERT_GE(outcome.confirms.size(), 2u) << c.name;
        EXPECT_EQ(outcome.confirms[1].error, c.error) << c.name;
        EXPECT_EQ(outcome.confirms[1].valid, 0) << c.name;
        EXPECT_EQ(outcome.confirms[1].state, 1) << c.name;
        // The same request again, then the read completes.
        EXPECT_EQ(device.requests[2].frame, device.requests[1].frame) << c.name;
        EXPECT_EQ(outcome.confirms.back().state, 2) << c.name;
        EXPECT_EQ(device.requests.size(), 4u) << c.name;
    }
}

TEST_F(AvTransfer, ReadEndsOnAFailedFirstRequestOrABrokenHeader) {
    device.modules[2] = test::makePib(3000);
    device.statuses = {5};
    ASSERT_EQ(beginRead(kReadPib), 0);
    Outcome outcome = drive(device);
    EXPECT_EQ(outcome.result, 0);
    EXPECT_EQ(outcome.confirms.back().state, 2);
    EXPECT_EQ(outcome.confirms.back().error, 5);
    EXPECT_EQ(device.requests.size(), 1u);

    Bytes badHeader = test::makeNvm({{0x1000, 100}, {0x2000, 100}});
    badHeader[144 + 8] ^= 1;
    Bytes backwards = test::makeNvm({{0x1000, 100}, {0x2000, 100}});
    put32le(&backwards[144 + 36], 100);
    test::sealHeader(&backwards[144]);
    Bytes intoItself = test::makeNvm({{0x1000, 100}});
    put32le(&intoItself[36], 20);
    test::sealHeader(&intoItself[0]);
    // Refused at the broken header itself, not after reading on.
    const std::pair<Bytes, size_t> modules[] = {{badHeader, 3}, {backwards, 3}, {intoItself, 1}};
    for (const auto& [module, requests] : modules) {
        resetAvOperation();
        device = FakeDevice{};
        device.modules[1] = module;
        ASSERT_EQ(beginRead(kReadFirmware), 0);
        errno = 0;
        outcome = drive(device);
        EXPECT_EQ(outcome.result, -1);
        EXPECT_EQ(errno, kAvErrMissingOrShort);
        EXPECT_EQ(outcome.confirms.back().error, kAvErrMissingOrShort);
        EXPECT_EQ(outcome.confirms.back().valid, 0);
        EXPECT_EQ(device.requests.size(), requests);
        Bytes buffer(1528);
        EXPECT_EQ(plcapi_BuildPendingFrame(buffer.size(), buffer.data()), 0);
    }
}

TEST_F(AvTransfer, UnknownReadTypeIsRefused) {
    for (int32_t type : {0, 4, -1}) {
        errno = 0;
        EXPECT_EQ(beginRead(type), -1) << type;
        EXPECT_EQ(errno, kAvErrInvalidValue) << type;
    }
}

TEST_F(AvTransfer, IndicationReplacesThePreparedChunkWithItsResponse) {
    const Bytes firmware = test::pattern(3000, 4);
    const Bytes pib = test::makePib(100);
    ASSERT_EQ(beginWrite(firmware, pib, 0x23), 0);
    Bytes buffer(1528);
    const int length = plcapi_BuildPendingFrame(buffer.size(), buffer.data());
    const Bytes reply = device.answer(buffer.data(), size_t(length));
    AvConfirm confirm{};
    ASSERT_EQ(plcapi_DecodeFrame(reply.size(), reply.data(), &confirm), 0);  // chunk 2 prepared

    // The indication comes from the device to another of the host's addresses: the response
    // goes back from exactly that address.
    const Mac otherHost{0x02, 0x00, 0x00, 0x00, 0x00, 0x09};
    Bytes indication = avFrame(kMmHostActionIndication, 60, otherHost, kDeviceMac);
    indication[20] = 0x05;
    ASSERT_EQ(plcapi_DecodeFrame(indication.size(), indication.data(), &confirm), 0);
    EXPECT_EQ(confirm.kind, 6);
    EXPECT_EQ(confirm.state, 1);
    EXPECT_EQ(get32le(confirm.payload.data()), 5u);

    ASSERT_EQ(plcapi_BuildPendingFrame(buffer.size(), buffer.data()), 64);
    Bytes expected = avFrame(kMmHostActionResponse, 64, kDeviceMac, otherHost);
    EXPECT_EQ(Bytes(buffer.begin(), buffer.begin() + 64), expected);
    EXPECT_EQ(plcapi_BuildPendingFrame(buffer.size(), buffer.data()), 0);

    // One too short to decode is answered with 0x01.
    const Bytes shortIndication = avFrame(kMmHostActionIndication, 20, otherHost, kDeviceMac);
    EXPECT_EQ(plcapi_DecodeFrame(shortIndication.size(), shortIndication.data(), &confirm), -1);
    ASSERT_EQ(plcapi_BuildPendingFrame(buffer.size(), buffer.data()), 64);
    expected[20] = 0x01;
    EXPECT_EQ(Bytes(buffer.begin(), buffer.begin() + 64), expected);
}

// The match of a confirmation to the request it answers, on the request as the codec built it:
// each case changes one field of the right confirmation.
TEST(AvTransferConfirmation, OnlyTheConfirmationOfThisChunkMatches) {
    Bytes module = avFrame(kMmModuleWriteRequest, 64, kDeviceMac, kHostMac);
    module[20] = kModuleFirmware;
    put16le(&module[22], 1024);
    put32le(&module[24], 2048);
    Bytes memory = avFrame(kMmMemoryWriteRequest, 64, kDeviceMac, kHostMac);
    put32le(&memory[20], 0x00100800);
    put32le(&memory[24], 1024);
    const Bytes commit = avFrame(kMmModuleCommitRequest, 64, kDeviceMac, kHostMac);

    // The confirmations as the device sends them: the request's fields at their own offsets.
    Bytes moduleConfirm = avFrame(kMmModuleWriteConfirm, 60);
    moduleConfirm[21] = kModuleFirmware;
    put16le(&moduleConfirm[23], 1024);
    put32le(&moduleConfirm[25], 2048);
    Bytes memoryConfirm = avFrame(kMmMemoryWriteConfirm, 60);
    put32le(&memoryConfirm[21], 0x00100800);
    put32le(&memoryConfirm[25], 1024);

    struct Case {
        const char* name;
        const Bytes& request;
        Bytes reply;
        bool matches;
    };
    auto changed = [](Bytes frame, size_t at, uint8_t value) {
        frame[at] = value;
        return frame;
    };
    auto cut = [](Bytes frame, size_t length) {
        frame.resize(length);
        return frame;
    };
    const Case cases[] = {
        {"module write", module, moduleConfirm, true},
        {"another module", module, changed(moduleConfirm, 21, kModulePib), false},
        {"another offset (the previous chunk's)", module, changed(moduleConfirm, 26, 0x04), false},
        {"another length", module, changed(moduleConfirm, 23, 0x01), true},
        {"status not 0", module, changed(moduleConfirm, 20, 0x01), true},
        {"29 bytes", module, cut(moduleConfirm, 29), true},
        {"28 bytes: no offset", module, cut(moduleConfirm, 28), false},
        {"memory write", memory, memoryConfirm, true},
        {"another address", memory, changed(memoryConfirm, 22, 0x04), false},
        {"memory write confirmed as a module write", memory,
         changed(memoryConfirm, 15, uint8_t(kMmModuleWriteConfirm)), false},
        {"memory write, 28 bytes", memory, cut(memoryConfirm, 28), false},
        {"commit", commit, avFrame(kMmModuleCommitConfirm, 22), true},
        {"commit, header only", commit, avFrame(kMmModuleCommitConfirm, 20), true},
        {"commit answered by a start confirmation", commit, avFrame(kMmStartConfirm, 22), false},
        {"the request itself", commit, commit, false},
        {"a 1.0 frame", commit, changed(avFrame(kMmModuleCommitConfirm, 60), 13, 0x7B), false},
        {"19 bytes", commit, cut(avFrame(kMmModuleCommitConfirm, 60), 19), false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(isConfirmationOf(c.reply, c.request.data()), c.matches) << c.name;
}

}  // namespace
}  // namespace corvel
