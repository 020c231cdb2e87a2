// SPDX-License-Identifier: MIT
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <functional>
#include <span>
#include <string>
#include <vector>

#include "tests/sim/simulated_network.h"
#include "av/av_state.h"
#include "av/set_key.h"
#include "avcodec/transfer.h"
#include "core/tables.h"
#include "hp10codec/device_log_hook.h"
#include "keys/derive.h"
#include "network/key_state.h"
#include "platform/bytes.h"
#include "platform/clock.h"
#include "platform/notifier.h"
#include "platform/process_state.h"
#include "platform/text.h"
#include "sim/device.h"
#include "tests/sim/sim_devices.h"
#include "sim/memory_link.h"
#include "sim/network.h"
#include "transport/frame_io.h"
#include "transport/interface_table.h"
#include "transport/memory_wire.h"

// The key operations against the simulated powerline network on the in-memory wire and the
// virtual clock: the devices answer as real ones would, every frame the host sends is on record,
// and device-log entries are captured. The tables start as a scan would have left them for the
// local devices of the ports. Fields of the packed records are compared as values (+field).
namespace corvel::test {

using Bytes = std::vector<uint8_t>;

inline const std::string kNetworkName = "GardenShed";

inline NetworkKey wide(const Key8& key) {
    NetworkKey out{};
    std::copy(key.begin(), key.end(), out.begin());
    return out;
}
inline Key8 narrow(const NetworkKey& key) {
    Key8 out{};
    std::copy_n(key.begin(), out.size(), out.begin());
    return out;
}
inline Bytes bytesOf(std::span<const uint8_t> data) {
    return Bytes(data.begin(), data.end());
}
inline Bytes cat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& part : parts) out.insert(out.end(), part.begin(), part.end());
    return out;
}
inline Bytes macBytes(const Mac& mac) {
    return Bytes(mac.begin(), mac.end());
}
inline Bytes keyBytes(const NetworkKey& key, size_t length) {
    return Bytes(key.begin(), key.begin() + long(length));
}
// `frame` zero-filled to `length`, as a short frame goes out on the wire.
inline Bytes padded(Bytes frame, size_t length = 60) {
    frame.resize(std::max(frame.size(), length), 0);
    return frame;
}
inline const Bytes kHost0 = macBytes(sim::memoryHostMac(0));
inline const Bytes kBroadcast = macBytes(kBroadcastMac);

// The key a network name gives in `family`'s form (a 1.0 key fills the first 8 bytes).
inline NetworkKey nameKey(Family family, const std::string& name) {
    return family == Family::Av ? deriveNMK(name) : wide(deriveHP10Key(name));
}
inline bool holdsKey(const sim::Device& device, const NetworkKey& key) {
    return device.family() == Family::Av ? device.nmk() == key : device.nek() == narrow(key);
}
inline Mac macAt(const Bytes& frame, size_t offset) {
    Mac mac{};
    std::copy_n(frame.begin() + long(offset), 6, mac.begin());
    return mac;
}

struct LogEntry {
    DeviceLogKind kind;
    Bytes bytes;
};

class KeySim : public ::testing::Test, public SimulatedNetwork {
protected:
    void SetUp() override {
        resetProcessState();
        deviceLogWriter() = [this](DeviceLogKind kind, std::span<const uint8_t> bytes) {
            deviceLog.push_back({kind, bytesOf(bytes)});
        };
        installCaptureBackend(&wire);
    }
    void TearDown() override {
        installCaptureBackend(nullptr);
        resetProcessState();
    }

    // A port "plc<n>" with its local device and stations; call start() once all are built.
    int addPort(const DeviceConfig& local, const std::vector<DeviceConfig>& stations = {}) {
        return addSimPort(net, local, stations);
    }
    // One port of `family` with a local device and one station whose password is known.
    void addFamilyPort(Family family) {
        addPort(deviceConfig(family, localMacOf(family)),
                {deviceConfig(family, stationMacOf(family), kStationPassword)});
    }

    // Joins the network to the wire, opens the interfaces and fills the tables as the scan
    // would for every port's local device; `selected` is the current interface.
    void start(int selected = 0) {
        sim::attachToMemoryWire(net, wire, clock);
        ASSERT_TRUE(reopenInterfaces());
        for (int port = 0; port < int(net.portCount()); ++port) adopt(port);
        select(selected);
    }

    void adopt(int port) {
        const sim::Device& local = *net.port(port).local;
        AdapterRecord& adapter = core.adapters[port];
        StationTable& table = core.stationTables[port];
        const int32_t kind = local.family() == Family::Av      ? kKindAv
                             : local.family() == Family::Turbo ? kKindTurbo
                                                               : kKindHomePlug10;
        adapter.localPresent = 1;
        adapter.localKind = kind;
        copyMac(adapter.localMac, local.mac().data());
        table.localPresent = 1;
        table.localKind = kind;
        copyMac(table.localMac, local.mac().data());
        if (local.family() == Family::HomePlug10) {
            adapter.paramsValid = 1;
            std::memcpy(adapter.paramBlock, local.paramBlock(1).data(), kParamBlockSize);
        }
        copyText(table.networkName, local.family() == Family::Av ? "HomePlugAV" : "HomePlug");
    }

    // Makes `port` current as the scan leaves it: the family flags and, for a plain 1.0 local
    // device, its parameter block as the last parameter reply gave it.
    void select(int port) {
        core.currentAdapter = port;
        const sim::Device& local = *net.port(port).local;
        core.localIsAv = local.family() == Family::Av;
        core.localIsTurbo = local.family() == Family::Turbo;
        if (local.family() == Family::HomePlug10) {
            std::memcpy(core.localParamBlock, local.paramBlock(1).data(), kParamBlockSize);
            core.localKeyKnown = 1;
        }
        if (local.family() == Family::Av)
            std::memcpy(core.avNetworkKey, local.nmk().data(), local.nmk().size());
        else
            std::memcpy(core.hp10NetworkKey, local.nek().data(), local.nek().size());
    }

    sim::Device& device(const Mac& mac) { return *net.device(mac); }

    // Frames the host sent since `from` (an index into the wire's record).
    std::vector<MemoryWire::SentFrame> sentSince(size_t from = 0) const {
        const auto& all = wire.sent();
        return std::vector<MemoryWire::SentFrame>(all.begin() + long(std::min(from, all.size())),
                                                  all.end());
    }
    static bool isHp10(const Bytes& f) { return f.size() > 16 && get16be(&f[12]) == 0x887B; }
    static bool isAv(const Bytes& f) { return f.size() > 18 && get16be(&f[12]) == 0x88E1; }
    static uint16_t mmtypeOf(const Bytes& f) { return isAv(f) ? get16le(&f[15]) : 0; }
    // 1.0 frames whose first entry has `type`.
    std::vector<MemoryWire::SentFrame> sentHp10(uint8_t type, size_t from = 0) const {
        std::vector<MemoryWire::SentFrame> out;
        for (const auto& f : sentSince(from))
            if (isHp10(f.bytes) && f.bytes[15] == type) out.push_back(f);
        return out;
    }
    std::vector<MemoryWire::SentFrame> sentAv(uint16_t mmtype, size_t from = 0) const {
        std::vector<MemoryWire::SentFrame> out;
        for (const auto& f : sentSince(from))
            if (mmtypeOf(f.bytes) == mmtype) out.push_back(f);
        return out;
    }

    // A 1.0 frame from `source` to the host of port 0 with one entry, padded to 60 bytes.
    static Bytes hp10Answer(const Mac& source, Bytes entry, size_t length = 60) {
        const Mac host = sim::memoryHostMac(0);
        Bytes frame(host.begin(), host.end());
        frame.insert(frame.end(), source.begin(), source.end());
        frame.insert(frame.end(), {0x88, 0x7B, 0x01});
        frame.insert(frame.end(), entry.begin(), entry.end());
        if (frame.size() < length) frame.resize(length, 0);
        return frame;
    }
    // Delivers `frame` to port 0 `afterMs` from now.
    void deliverLater(Bytes frame, uint64_t afterMs, int port = 0) {
        clock.scheduleAfter(afterMs, [this, port, frame] { wire.deliver(port, frame); });
    }

    std::vector<LogEntry> deviceLog;
};

}  // namespace corvel::test
