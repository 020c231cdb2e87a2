// SPDX-License-Identifier: MIT
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "core/stations.h"
#include "core/tables.h"
#include "core/view_hooks.h"
#include "hp10codec/device_log_hook.h"
#include "hp10/replies.h"
#include "platform/clock.h"
#include "platform/notifier.h"
#include "platform/process_state.h"
#include "transport/frame_io.h"
#include "transport/memory_wire.h"

// Frames and the in-memory wire shared by the 1.0 / Turbo exchange tests. Replies are written
// out byte by byte here, independently of the codec, and are exactly as long as their contents
// unless a test pads them as the wire would. Fields of the packed station records are checked as
// values (+field): gtest would bind a reference to them, which may be misaligned.
namespace corvel::test {

using Bytes = std::vector<uint8_t>;

inline const Mac kHost{0x02, 0x00, 0x00, 0x00, 0x00, 0x10};
inline const Mac kHost1{0x02, 0x00, 0x00, 0x00, 0x00, 0x11};
inline const Mac kLocal{0x00, 0xB0, 0x52, 0x00, 0x00, 0x42};
inline const Mac kStationA{0x00, 0xB0, 0x52, 0x00, 0x00, 0x71};
inline const Mac kStationB{0x00, 0xB0, 0x52, 0x00, 0x00, 0x72};
inline const Mac kStranger{0x00, 0xB0, 0x52, 0x00, 0x00, 0x99};

inline Bytes concat(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

inline Bytes ethernetHeader(const Mac& destination, const Mac& source, uint8_t typeHigh = 0x88,
                            uint8_t typeLow = 0x7B) {
    Bytes header(destination.begin(), destination.end());
    header.insert(header.end(), source.begin(), source.end());
    header.push_back(typeHigh);
    header.push_back(typeLow);
    return header;
}

// A 1.0 frame with one entry (type, MELEN, data...), zero-padded to `minLength`.
inline Bytes hp10Frame(const Mac& source, const Bytes& entry, size_t minLength = 0,
                       const Mac& destination = kHost) {
    Bytes frame = concat(ethernetHeader(destination, source), concat({0x01}, entry));
    if (frame.size() < minLength) frame.resize(minLength, 0);
    return frame;
}

inline Bytes textBytes(const std::string& text) {
    return Bytes(text.begin(), text.end());
}

// Vendor reply: 02 MELEN 00 04 87 code, then `body` from offset 21. MELEN counts the prefix,
// the code and the body unless given.
inline Bytes vendorReply(const Mac& source, uint8_t code, const Bytes& body, int melen = -1) {
    const uint8_t length = melen >= 0 ? uint8_t(melen) : uint8_t(4 + body.size());
    return hp10Frame(source, concat({0x02, length, 0x00, 0x04, 0x87, code}, body));
}

// Version reply body: flags (bit 0 = from a remote station), unused, form, major, minor, then
// the two length-prefixed texts.
inline Bytes versionBody(bool remote, uint8_t form, uint8_t major, uint8_t minor,
                         const std::string& vendor, const std::string& product) {
    Bytes body{uint8_t(remote ? 0x01 : 0x00), 0x00, form, major, minor, uint8_t(vendor.size())};
    body = concat(body, textBytes(vendor));
    body.push_back(uint8_t(product.size()));
    return concat(body, textBytes(product));
}

inline Bytes versionReply(const Mac& source, bool remote, uint8_t form, uint8_t major,
                          uint8_t minor, const std::string& vendor, const std::string& product) {
    return vendorReply(source, 0x80 | 16, versionBody(remote, form, major, minor, vendor, product));
}

// Turbo rate record: MAC, raw rate big-endian, two 24-bit counters.
inline Bytes turboRecord(const Mac& station, uint16_t raw) {
    Bytes record(station.begin(), station.end());
    record.push_back(uint8_t(raw >> 8));
    record.push_back(uint8_t(raw));
    record.insert(record.end(), {0x00, 0x00, 0x01, 0x00, 0x00, 0x02});
    return record;
}

// Parameter reply: 19 33 copy block(50).
inline Bytes paramReply(uint8_t copy, const Bytes& block) {
    return hp10Frame(kLocal, concat({0x19, 0x33, copy}, block));
}

// A parameter block that is not blank: its bytes differ from the first on.
inline Bytes paramBlock(uint8_t seed) {
    Bytes block(50);
    for (size_t i = 0; i < block.size(); ++i) block[i] = uint8_t(seed + i);
    return block;
}

inline Bytes stationAnswer(const Mac& station) {
    return hp10Frame(station, {0x08, 0x00}, 60);
}

// The interfaces, the clock and the tables of one test, with nothing installed in the hooks.
class Hp10Wire : public ::testing::Test {
protected:
    virtual std::vector<Mac> hostMacs() const { return {kHost}; }

    void SetUp() override {
        resetProcessState();
        installCaptureBackend(&wire);
        int n = 0;
        for (const Mac& mac : hostMacs()) wire.addInterface("eth" + std::to_string(n++), mac);
        reopenInterfaces();
    }
    void TearDown() override {
        installCaptureBackend(nullptr);
        resetProcessState();
    }

    // The local device of interface `index` as the scan found it: the answers only a local
    // device gives are taken from it alone.
    void knowLocal(int index = 0) { copyMac(core.adapters[index].localMac, kLocal.data()); }

    // A station of the selected interface as a statistics answer adds it.
    StationRecord& station(const Mac& mac) {
        addOrRefreshStation(mac.data());
        return *findStationByMac(mac.data());
    }

    VirtualClock clock;
    ScopedClock clockScope{clock};
    RecordingNotifier recorder;
    ScopedNotifier notifierScope{recorder};
    MemoryWire wire;
};

}  // namespace corvel::test
