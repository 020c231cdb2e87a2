// SPDX-License-Identifier: MIT
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "tests/sim/simulated_network.h"
#include "av/av_state.h"
#include "avcodec/transfer.h"
#include "core/tables.h"
#include "platform/bytes.h"
#include "platform/clock.h"
#include "platform/notifier.h"
#include "platform/process_state.h"
#include "platform/text.h"
#include "sim/device.h"
#include "sim/firmware_files.h"
#include "sim/memory_link.h"
#include "sim/network.h"
#include "sim/pib.h"
#include "tests/sim/sim_devices.h"
#include "transport/frame_io.h"
#include "transport/memory_wire.h"
#include "upgrade/upgrade_control.h"

// An upgrade against one simulated local device on the in-memory wire and the virtual clock: the
// tables as a scan leaves them, the files in a fresh directory, every frame the host sends and
// every message on record.
namespace corvel::test {

using Bytes = std::vector<uint8_t>;

class UpgradeSim : public ::testing::Test, public SimulatedNetwork {
protected:
    void SetUp() override {
        resetProcessState();
        installCaptureBackend(&wire);
        dir = std::filesystem::temp_directory_path() /
              ("corvel-upgrade-" + std::to_string(::getpid()) + "-" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::remove_all(dir);
        std::filesystem::create_directories(dir);
    }
    void TearDown() override {
        installCaptureBackend(nullptr);
        resetProcessState();
        std::filesystem::remove_all(dir);
    }

    // The local device on port 0, joined to the wire and adopted into the tables.
    sim::Device& start(const DeviceConfig& config) {
        const int port = net.addPort("plc0");
        sim::Device& local = net.setLocal(port, config);
        sim::attachToMemoryWire(net, wire, clock);
        EXPECT_TRUE(reopenInterfaces());
        const int32_t kind = config.family == Family::Av ? kKindAv : kKindTurbo;
        core.adapters[0].localPresent = 1;
        core.adapters[0].localKind = kind;
        copyMac(core.adapters[0].localMac, config.mac.data());
        core.stationTables[0].localPresent = 1;
        core.stationTables[0].localKind = kind;
        copyMac(core.stationTables[0].localMac, config.mac.data());
        core.currentAdapter = 0;
        core.localIsAv = config.family == Family::Av;
        core.localIsTurbo = config.family == Family::Turbo;
        return local;
    }

    std::string write(const std::string& name, const Bytes& bytes) {
        const std::string path = (dir / name).string();
        std::ofstream(path, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
        return path;
    }
    std::string missing() const { return (dir / "missing").string(); }

    std::vector<std::string> messageTexts() const {
        std::vector<std::string> texts;
        for (const auto& m : recorder.messages) texts.push_back(m.text);
        return texts;
    }
    const std::vector<MemoryWire::SentFrame>& sent() const { return wire.sent(); }

    // `frame` arrives on port 0 every millisecond from now on, for a minute: a steady stream of
    // traffic that a wait without a bound would still be taking when it ends.
    void streamForAMinute(const Bytes& frame) {
        const uint64_t end = clock.tickCount() + 60'000;
        stream_ = [this, frame, end] {
            if (clock.tickCount() >= end) return;
            wire.deliver(0, frame);
            clock.scheduleAfter(1, stream_);
        };
        clock.scheduleAfter(1, stream_);
    }

    std::filesystem::path dir;
    UpgradeControl control;

private:
    std::function<void()> stream_;
};

}  // namespace corvel::test
