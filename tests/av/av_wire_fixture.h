// SPDX-License-Identifier: MIT
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "av/av_state.h"
#include "avcodec/frame.h"
#include "avcodec/transfer.h"
#include "core/tables.h"
#include "platform/bytes.h"
#include "platform/clock.h"
#include "platform/mac.h"
#include "platform/notifier.h"
#include "platform/process_state.h"
#include "tests/avcodec/av_test_support.h"
#include "transport/frame_io.h"
#include "transport/memory_wire.h"

// Host interfaces on the in-memory wire with a scripted device side: each test says how the
// devices answer what the host sends, and the answers arrive on the virtual clock.
namespace corvel::test {

using Bytes = std::vector<uint8_t>;

inline constexpr Mac kHost0{0x02, 0x00, 0x00, 0x00, 0x00, 0x10};
inline constexpr Mac kHost1{0x02, 0x00, 0x00, 0x00, 0x00, 0x11};
inline constexpr Mac kLocalDevice{0x00, 0xB0, 0x52, 0x00, 0x00, 0x42};

inline Mac stationMac(uint8_t n) {
    return Mac{0x00, 0xB0, 0x52, 0x00, 0x01, n};
}

inline uint16_t mmtypeOf(const Bytes& frame) {
    if (frame.size() < kAvHeaderLength || get16be(&frame[12]) != kAvEthertype) return 0;
    return get16le(&frame[15]);
}
inline Mac destinationOf(const Bytes& frame) {
    Mac mac{};
    std::copy_n(frame.begin(), 6, mac.begin());
    return mac;
}
inline Mac sourceOf(const Bytes& frame) {
    Mac mac{};
    std::copy_n(frame.begin() + 6, 6, mac.begin());
    return mac;
}

// 0xA001: 20 status, 21 chip generation, 22 text length, 23..86 text; 88 bytes.
inline Bytes versionConfirm(const Mac& to, const Mac& from, uint8_t generation,
                            std::string_view text, int lengthByte = -1) {
    Bytes frame = avFrame(kMmVersionConfirm, 88, to, from);
    frame[21] = generation;
    frame[22] = uint8_t(lengthByte < 0 ? int(text.size()) : lengthByte);
    std::copy_n(text.begin(), std::min<size_t>(text.size(), 64), frame.begin() + 23);
    return frame;
}

struct ListedStation {
    Mac mac;
    uint8_t rate;           // average PHY rate to the station
    uint8_t rxRate = 0x5A;  // and from it
};

// 0xA039: 20 number of networks, 38 station count, from 39 entries of 15 bytes (MAC at 0..5,
// rates to and from the station at 13 and 14). The count byte and the frame length can be given to make the frame lie.
inline Bytes networkInfoConfirm(const Mac& to, const Mac& from,
                                const std::vector<ListedStation>& stations, int countByte = -1,
                                size_t frameLength = 0) {
    Bytes frame = avFrame(kMmNetworkInfoConfirm, 39 + 15 * stations.size(), to, from);
    frame[20] = 1;
    frame[38] = uint8_t(countByte < 0 ? int(stations.size()) : countByte);
    for (size_t i = 0; i < stations.size(); ++i) {
        uint8_t* entry = &frame[39 + 15 * i];
        std::copy(stations[i].mac.begin(), stations[i].mac.end(), entry);
        std::fill(entry + 6, entry + 13, uint8_t(0xA5));  // fields the system does not read
        entry[13] = stations[i].rate;
        entry[14] = stations[i].rxRate;
    }
    if (frameLength != 0) frame.resize(frameLength);
    return frame;
}

// 0xA059: 20 status, 21 block length, 22.. block.
inline Bytes configBlockConfirm(const Mac& to, const Mac& from, uint8_t status) {
    Bytes frame = avFrame(kMmConfigBlockConfirm, 64, to, from);
    frame[20] = status;
    frame[21] = 4;
    return frame;
}

// Confirmations whose only field is the status at byte 20 (0xA051, 0xA029).
inline Bytes statusConfirm(uint16_t mmtype, const Mac& to, const Mac& from, uint8_t status) {
    Bytes frame = avFrame(mmtype, 64, to, from);
    frame[20] = status;
    return frame;
}

// 0xA025: 20 status, 24 module, 26..27 length, 28..31 offset, 32..35 checksum, 36.. chunk.
inline Bytes moduleReadConfirm(const Mac& to, const Mac& from, uint8_t module, uint32_t offset,
                               const uint8_t* chunk, uint16_t length) {
    Bytes frame = avFrame(kMmModuleReadConfirm, 36 + size_t(length), to, from);
    frame[24] = module;
    put16le(&frame[26], length);
    put32le(&frame[28], offset);
    put32le(&frame[32], referenceChecksum(chunk, length / 4));
    std::copy_n(chunk, length, frame.begin() + 36);
    return frame;
}

// A HomePlug 1.0 frame from a station: Ethertype 0x887B, one entry.
inline Bytes hp10Frame(const Mac& to, const Mac& from) {
    Bytes frame(60, 0);
    std::copy(to.begin(), to.end(), frame.begin());
    std::copy(from.begin(), from.end(), frame.begin() + 6);
    frame[12] = 0x88;
    frame[13] = 0x7B;
    frame[14] = 1;
    frame[15] = 0x08;
    return frame;
}

class AvWireTest : public ::testing::Test {
protected:
    using Answer = std::function<std::vector<Bytes>(int port, const Bytes& request)>;

    void SetUp() override {
        resetProcessState();
        installCaptureBackend(&wire);
    }
    void TearDown() override {
        installCaptureBackend(nullptr);
        resetProcessState();
    }

    void addHosts(const std::vector<Mac>& macs) {
        for (size_t i = 0; i < macs.size(); ++i)
            wire.addInterface("eth" + std::to_string(i), macs[i]);
        reopenInterfaces();
    }

    // Every frame the host sends is shown to `answer`; what it returns arrives on the same
    // port `delayMs` later.
    void respond(Answer answer, uint64_t delayMs = 1) {
        wire.setReceiver([this, answer, delayMs](int port, const Bytes& request) {
            for (Bytes& reply : answer(port, request)) {
                clock.scheduleAfter(delayMs, [this, port, reply] { wire.deliver(port, reply); });
            }
        });
    }

    std::vector<Bytes> sentOf(uint16_t mmtype) const {
        std::vector<Bytes> found;
        for (const auto& f : wire.sent())
            if (mmtypeOf(f.bytes) == mmtype) found.push_back(f.bytes);
        return found;
    }

    VirtualClock clock;
    ScopedClock clockScope{clock};
    RecordingNotifier recorder;
    ScopedNotifier notifierScope{recorder};
    MemoryWire wire;
};

}  // namespace corvel::test
