// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "keys/derive.h"
#include "sim/firmware_files.h"
#include "sim/pib.h"
#include "tests/e2e/netns_run.h"

// corvel upgrade against plcsim: a 1 MiB firmware image and a 7992-byte PIB to an AV device for
// each way the transfer can end, and an image with its configuration to a Turbo device through
// the secondary loader; afterwards corvel probe sees the version the device restarted with, and
// tshark names the upgrade's frames.
namespace corvel::e2e {
namespace {

namespace fs = std::filesystem;

constexpr size_t kFirmwareSize = 1 << 20;
const std::string kNewAvFirmware = "QRB4000-AV-3.4.0.0100-01-20261201-FINAL";
const std::string kNewTurboFirmware = "TURBO-MAC-4-1-0-0-0100";

struct AvEnding {
    const char* name;
    int chipGeneration;
    int configStatus;  // 0: the device commits to NVM; 2: it does not
    const char* chunkName;
    const char* endName;
    size_t chunks;  // the memory path sends only the last image
};

class UpgradeEndToEnd : public NamespacedTest {
protected:
    std::string write(const std::string& name, const std::vector<uint8_t>& bytes) {
        const std::string path = (dir / name).string();
        std::ofstream(path, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
        return path;
    }
    std::string writeText(const std::string& name, const std::string& text) {
        return write(name, std::vector<uint8_t>(text.begin(), text.end()));
    }

    // corvel upgrade ARGS..., then corvel probe, against one plcsim run.
    CommandResult upgradeThenProbe(const std::string& scenario, std::vector<std::string> args) {
        const std::string corvel = binaryPath("app/corvel");
        std::string script = "\"$0\" upgrade";
        for (size_t i = 0; i < args.size(); ++i) script += " \"${" + std::to_string(i + 1) + "}\"";
        script += " --yes --data-dir \"$DATA\" && \"$0\" probe";
        std::vector<std::string> line{"env", "DATA=" + dataDir.string(), "sh", "-c", script,
                                      corvel};
        line.insert(line.end(), args.begin(), args.end());
        return runInNamespaces(scenario, capture, line);
    }

    // The names tshark gives the frames of the upgrade that match `filter`.
    std::vector<std::string> named(const std::string& filter) {
        return dissect(capture, {"_ws.col.Info"}, filter);
    }

    // An AV device on its old firmware, and files four times the usual size: a transfer long
    // enough to be interrupted. Returns the scenario; the files are nvm() and pib().
    std::string interruptible() {
        write("fw.nvm", sim::buildNvmOfSize(4 * kFirmwareSize));
        write("fw.pib", sim::buildPib(Mac{}, publicAvKey(), 3, 3));
        return writeText("scenario.json", R"({"ports": [{"interface": "plc0",
        "local": {"mac": "00:B0:52:00:00:10", "chipGeneration": 3,
                  "firmware": "QRB4000-AV-3.3.0.0001-01-20240101-FINAL",
                  "upgradedFirmware": ")" + kNewAvFirmware + R"("}}]})");
    }
    std::string nvm() const { return (dir / "fw.nvm").string(); }
    std::string pib() const { return (dir / "fw.pib").string(); }

    // Stopped between two frames: some chunks went out, nothing was committed, and the probe
    // that followed found the device on its old firmware.
    void expectStoppedBeforeCommit(const std::string& probed) {
        EXPECT_NE(probed.find("3.3.0.0001"), std::string::npos) << probed;
        const auto chunks = named("homeplug_av.mmhdr.mmtype.qualcomm == 0xa020");
        EXPECT_GT(chunks.size(), 0u);
        EXPECT_LT(chunks.size(), 4096u);
        EXPECT_TRUE(named("homeplug_av.mmhdr.mmtype.qualcomm == 0xa028").empty());
    }
};

class AvUpgradeEndToEnd : public UpgradeEndToEnd, public ::testing::WithParamInterface<AvEnding> {};

TEST_P(AvUpgradeEndToEnd, UpgradesTheDeviceAndProbeSeesTheNewVersion) {
    const AvEnding& e = GetParam();
    const std::string scenario = writeText(
        "scenario.json", R"({"ports": [{"interface": "plc0",
        "local": {"mac": "00:B0:52:00:00:10", "chipGeneration": )" +
                             std::to_string(e.chipGeneration) + R"(, "configStatus": )" +
                             std::to_string(e.configStatus) + R"(, "upgradedFirmware": ")" +
                             kNewAvFirmware + R"(", "upgradeRebootMs": 2000}}]})");
    const Mac pibMac{0x00, 0xB0, 0x52, 0x99, 0x99, 0x99};
    const std::string nvm = write("fw.nvm", sim::buildNvmOfSize(kFirmwareSize));
    const std::string pib = write("fw.pib", sim::buildPib(pibMac, publicAvKey(), 3, 3));

    const CommandResult result = upgradeThenProbe(scenario, {"--nvm", nvm, "--pib", pib});
    ASSERT_EQ(result.status, 0) << result.out << result.err;
    EXPECT_NE(result.err.find("Last frame confirmed: the device commits the new firmware and "
                              "restarts"),
              std::string::npos)
        << result.err;
    EXPECT_NE(result.out.find("Upgraded: the device restarts with the new firmware"),
              std::string::npos)
        << result.out;
    EXPECT_NE(result.out.find("3.4.0.0100"), std::string::npos) << result.out;

    const auto chunks = named(std::string("homeplug_av.mmhdr.mmtype.qualcomm == ") +
                              (std::string(e.chunkName) == "WR_MEM.REQ" ? "0xa004" : "0xa020") +
                              " && eth.src != 00:b0:52:00:00:10");
    ASSERT_EQ(chunks.size(), e.chunks + 8);  // the PIB in 8 chunks
    EXPECT_NE(chunks.front().find(e.chunkName), std::string::npos) << chunks.front();
    const auto ends = named(
        "homeplug_av.mmhdr.mmtype.qualcomm == 0xa028 || "
        "homeplug_av.mmhdr.mmtype.qualcomm == 0xa00c");
    ASSERT_EQ(ends.size(), 1u);
    EXPECT_NE(ends[0].find(e.endName), std::string::npos) << ends[0];
}

INSTANTIATE_TEST_SUITE_P(
    Endings, AvUpgradeEndToEnd,
    ::testing::Values(AvEnding{"Commit", 3, 0, "WR_MOD.REQ", "NVM_MOD.REQ", 1024},
                      AvEnding{"Start", 1, 2, "WR_MOD.REQ", "ST_MAC.REQ", 1024},
                      // buildNvmOfSize puts three quarters of the bytes in the last image.
                      AvEnding{"MemoryWrite", 3, 2, "WR_MEM.REQ", "ST_MAC.REQ",
                               ((kFirmwareSize - 88) - (kFirmwareSize - 88) / 4 + 1023) / 1024}),
    [](const auto& info) { return std::string(info.param.name); });

// A busy segment: 64 unrelated frames queued ahead of every chunk's confirmation. The upgrade
// finds each confirmation behind them, and the device restarts on the new firmware.
TEST_F(UpgradeEndToEnd, UpgradesTheAvDeviceWithABurstAheadOfEveryConfirmation) {
    const std::string scenario = writeText("scenario.json", R"({"ports": [{"interface": "plc0",
        "faults": {"burst": {"count": 64}},
        "local": {"mac": "00:B0:52:00:00:10", "chipGeneration": 3, "upgradedFirmware": ")" +
                                                                kNewAvFirmware + R"("}}]})");
    const std::string nvm = write("fw.nvm", sim::buildNvmOfSize(kFirmwareSize));
    const std::string pib = write("fw.pib", sim::buildPib(Mac{}, publicAvKey(), 3, 3));

    const CommandResult result = upgradeThenProbe(scenario, {"--nvm", nvm, "--pib", pib});
    ASSERT_EQ(result.status, 0) << result.out << result.err;
    EXPECT_NE(result.out.find("Upgraded: the device restarts with the new firmware"),
              std::string::npos)
        << result.out;
    EXPECT_NE(result.out.find("3.4.0.0100"), std::string::npos) << result.out;
    EXPECT_EQ(named("homeplug_av.mmhdr.mmtype.qualcomm == 0xa020 && "
                    "eth.src != 00:b0:52:00:00:10")
                  .size(),
              1024u + 8u);
}

// Ctrl-C with --yes: the warning, then the upgrade stops between two frames; nothing is
// committed and the device keeps running its old firmware.
TEST_F(UpgradeEndToEnd, CtrlCStopsTheUpgradeBetweenFrames) {
    const std::string scenario = interruptible();
    const std::string err = (dir / "upgrade.err").string();
    // Interrupted once its progress shows; then the device is asked what it runs.
    const std::string script =
        "\"$0\" upgrade --nvm \"$1\" --pib \"$2\" --yes --data-dir \"$3\" 2>\"$4\" & pid=$!; "
        "n=0; while ! grep -q frames \"$4\" && [ $n -lt 400 ]; do sleep 0.05; n=$((n+1)); done; "
        "kill -INT $pid; wait $pid; status=$?; cat \"$4\" >&2; \"$0\" probe; exit $status";
    const CommandResult result = runInNamespaces(
        scenario, capture,
        {"sh", "-c", script, binaryPath("app/corvel"), nvm(), pib(), dataDir.string(), err});
    EXPECT_EQ(result.status, 1) << result.err;
    EXPECT_NE(result.err.find("corvel: stopping an upgrade in the middle may leave the device "
                              "unable to start until it is upgraded again"),
              std::string::npos)
        << result.err;
    EXPECT_NE(result.err.find("upgrade cancelled"), std::string::npos) << result.err;
    EXPECT_EQ(result.out.find("Upgraded:"), std::string::npos) << result.out;
    expectStoppedBeforeCommit(result.out);
}

// On a terminal, without --yes: the question is answered "y"; the first Ctrl-C only warns and
// says to press it again while the transfer goes on; the second stops it between two frames.
TEST_F(UpgradeEndToEnd, OnATerminalTheSecondCtrlCStopsTheUpgrade) {
    const std::string scenario = interruptible();
    // The terminal's transcript, then the probe.
    const std::string script =
        "\"$0\" \"$1\" upgrade --nvm \"$2\" --pib \"$3\" --data-dir \"$4\"; status=$?; "
        "\"$1\" probe; exit $status";
    const CommandResult result =
        runInNamespaces(scenario, capture,
                        {"sh", "-c", script, sourcePath("tests/e2e/on_terminal.py"),
                         binaryPath("app/corvel"), nvm(), pib(), dataDir.string()});
    EXPECT_EQ(result.status, 1) << result.out << result.err;
    for (const char* shown : {"[y/N]", "stopping an upgrade in the middle may leave the device",
                              "press Ctrl-C again to stop the upgrade",
                              "running after the first Ctrl-C: yes", "upgrade cancelled"})
        EXPECT_NE(result.out.find(shown), std::string::npos) << shown << "\n" << result.out;
    EXPECT_EQ(result.out.find("Upgraded:"), std::string::npos) << result.out;
    expectStoppedBeforeCommit(result.out);
}

TEST_F(UpgradeEndToEnd, UpgradesATurboDeviceThroughItsLoader) {
    const std::string scenario = writeText("scenario.json", R"({"ports": [{"interface": "plc0",
        "local": {"family": "turbo", "mac": "00:0B:3B:00:01:10",
                  "upgradedFirmware": ")" + kNewTurboFirmware + R"(", "upgradeRebootMs": 300}}]})");
    const std::string img = write("mac.img", sim::patternBytes(50000, 3));
    const std::string cfg = write("dev.cfg", sim::patternBytes(960, 4));

    const CommandResult result = upgradeThenProbe(scenario, {"--img", img, "--cfg", cfg});
    ASSERT_EQ(result.status, 0) << result.out << result.err;
    EXPECT_NE(result.out.find("Upgraded: the device was verified and restarted"),
              std::string::npos)
        << result.out;
    EXPECT_NE(result.out.find(kNewTurboFirmware), std::string::npos) << result.out;
    // 49 image blocks and the three sections, each a 1054-byte loader frame.
    EXPECT_EQ(dissect(capture, {"frame.len"},
                      "homeplug && eth.src != 00:0b:3b:00:01:10 && frame.len == 1054")
                  .size(),
              52u);
}

// A Turbo upgrade stopped by Ctrl-C leaves the device in its secondary loader, where it answers
// nothing but loader frames: probe names it and the way back, and --resume writes the image to
// the loader's address without the reset into it and ends with the new firmware.
TEST_F(UpgradeEndToEnd, ATurboUpgradeCancelledInTheLoaderIsResumed) {
    const std::string scenario = writeText("scenario.json", R"({"ports": [{"interface": "plc0",
        "local": {"family": "turbo", "mac": "00:0B:3B:00:01:10", "loaderAnswersOwnAddress": false,
                  "upgradedFirmware": ")" + kNewTurboFirmware + R"(", "upgradeRebootMs": 300}}]})");
    const std::string img = write("mac.img", sim::patternBytes(200 * 1024, 3));
    const std::string cfg = write("dev.cfg", sim::patternBytes(960, 4));
    const std::string err = (dir / "upgrade.err").string();
    // Interrupted once its progress shows; then probe, the resumed upgrade and probe again.
    const std::string script =
        "\"$0\" upgrade --img \"$1\" --cfg \"$2\" --yes --data-dir \"$3\" 2>\"$4\" & pid=$!; "
        "n=0; while ! grep -q frames \"$4\" && [ $n -lt 400 ]; do sleep 0.05; n=$((n+1)); done; "
        "kill -INT $pid; wait $pid; first=$?; cat \"$4\" >&2; \"$0\" probe; "
        "\"$0\" upgrade --img \"$1\" --cfg \"$2\" --resume --yes --data-dir \"$3\"; "
        "second=$?; \"$0\" probe; exit $((first * 10 + second))";
    const CommandResult result = runInNamespaces(
        scenario, capture,
        {"sh", "-c", script, binaryPath("app/corvel"), img, cfg, dataDir.string(), err});
    EXPECT_EQ(result.status, 10) << result.out << result.err;  // cancelled, then upgraded
    EXPECT_NE(result.err.find("upgrade cancelled; the device stays in its secondary loader"),
              std::string::npos)
        << result.err;
    const size_t loaderLine = result.out.find(
        "a HomePlug 1.0 Turbo device in its loader (an upgrade did not finish) at "
        "00:04:87:FE:11:00: corvel upgrade --img FILE [--cfg FILE] --resume");
    EXPECT_NE(loaderLine, std::string::npos) << result.out;
    EXPECT_NE(result.out.find("Device in its secondary loader at 00:04:87:FE:11:00"),
              std::string::npos)
        << result.out;
    EXPECT_NE(result.out.find("Upgraded: the device was verified and restarted", loaderLine),
              std::string::npos)
        << result.out;
    EXPECT_NE(result.out.find(kNewTurboFirmware, loaderLine), std::string::npos) << result.out;

    // One reset into the loader (entry 0x12 with 0x67; the firmware-text read shares the entry
    // type), by the first run. Its first block went to the device's own
    // address, unanswered there; every other block went to the loader's address: the few of the
    // first run, then all 200 of the image and the three sections.
    EXPECT_EQ(dissect(capture, {"frame.number"},
                      "homeplug.mehdr.metype == 0x12 && frame[17:1] == 67 && "
                      "eth.src != 00:0b:3b:00:01:10")
                  .size(),
              1u);
    const auto blocks = dissect(capture, {"eth.dst"},
                                "homeplug && eth.src != 00:04:87:fe:11:00 && "
                                "eth.src != 00:0b:3b:00:01:10 && frame.len == 1054");
    EXPECT_GT(blocks.size(), 203u);
    EXPECT_LT(blocks.size(), 2 * 203u);
    EXPECT_EQ(std::count(blocks.begin(), blocks.end(), "00:0b:3b:00:01:10"), 1);
    EXPECT_EQ(std::count(blocks.begin(), blocks.end(), "00:04:87:fe:11:00"),
              std::ptrdiff_t(blocks.size()) - 1);
}

}  // namespace
}  // namespace corvel::e2e
