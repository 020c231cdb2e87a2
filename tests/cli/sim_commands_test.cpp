// SPDX-License-Identifier: MIT
// The device commands run in-process against the simulated powerline network on the in-memory
// wire and the virtual clock, from a working directory holding the preferences file.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <fstream>
#include <iostream>
#include <iterator>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "tests/sim/simulated_network.h"
#include "core/tables.h"
#include "keys/derive.h"
#include "network/operation_stop.h"
#include "platform/bytes.h"
#include "platform/clock.h"
#include "platform/mac.h"
#include "platform/process_state.h"
#include "platform/text.h"
#include "scan/scan.h"
#include "sim/firmware_files.h"
#include "sim/memory_link.h"
#include "sim/network.h"
#include "sim/pib.h"
#include "store/data_directory.h"
#include "store/database.h"
#include "store/preferences.h"
#include "tests/cli/cli_run.h"
#include "tests/platform/terminal_text.h"
#include "tests/sim/sim_devices.h"
#include "transport/memory_wire.h"

namespace corvel::test {
namespace {

namespace fs = std::filesystem;
using Json = nlohmann::json;

class SimCommands : public ::testing::Test {
protected:
    void SetUp() override {
        resetProcessState();
        work = fs::temp_directory_path() / ("corvel-cli-sim-" + std::to_string(::getpid()));
        fs::remove_all(work);
        fs::create_directories(work / "data");
        home = fs::current_path();
        fs::current_path(work);
        writePreferences(defaultPreferences());
        installCaptureBackend(&wire);
    }
    void TearDown() override {
        installCaptureBackend(nullptr);
        fs::current_path(home);
        fs::remove_all(work);
        loadPreferences();
    }

    void writePreferences(const Preferences& preferences) {
        const auto bytes = encodePreferences(preferences);
        std::ofstream(work / kPreferencesFileName, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    }
    void addPort(const DeviceConfig& local, const std::vector<DeviceConfig>& stations) {
        addSimPort(net, local, stations);
    }
    void attach() { sim::attachToMemoryWire(net, wire, clock); }
    CliRun run(std::vector<std::string> args) {
        args.push_back("--data-dir");
        args.push_back((work / "data").string());
        resetProcessState();  // each run is a process of its own
        return corvel(args);
    }
    // The stations `corvel scan --json` lists on the first interface.
    Json scannedStations(int cycles) {
        const CliRun r = run({"scan", "--cycles", std::to_string(cycles), "--json"});
        EXPECT_EQ(r.status, 0) << r.err;
        const Json result = Json::parse(r.out, nullptr, false);
        if (result.is_discarded()) return Json::array();
        return result["interfaces"][0]["stations"];
    }

    fs::path work;
    fs::path home;
    VirtualClock clock;
    ScopedClock clockScope{clock};
    MemoryWire wire;
    sim::Network net;
};

TEST_F(SimCommands, ScanRunsItsCyclesWhateverTheAutoscanPreference) {
    addPort(deviceConfig(Family::Av, kAvLocal), {deviceConfig(Family::Av, kAvStation)});
    attach();
    for (const int16_t autoScan : {int16_t{0}, int16_t{1}}) {
        SCOPED_TRACE(autoScan);
        Preferences preferences = defaultPreferences();
        preferences.autoScan = autoScan;
        writePreferences(preferences);
        const uint64_t before = clock.tickCount();
        const Json stations = scannedStations(1);
        ASSERT_EQ(stations.size(), 1u);
        EXPECT_EQ(stations[0]["mac"], formatMac(kAvStation.data()));
        // The full scan at start and one cycle: seconds, not the minute of a scan that waits
        // for cycles nobody asked for.
        EXPECT_LT(clock.tickCount() - before, 10'000u);
    }
}

// A preferences file in the working directory cannot hold the scan up: the largest scanTicks
// (17 days a phase as written) is capped, said once, and the cycle ends within its bound.
TEST_F(SimCommands, ScanWithTheLargestScanTicksEndsWithinTheBoundAndSaysTheCap) {
    addPort(deviceConfig(Family::Av, kAvLocal), {deviceConfig(Family::Av, kAvStation)});
    attach();
    Preferences preferences = defaultPreferences();
    preferences.scanTicks = 32767;
    writePreferences(preferences);
    const uint64_t before = clock.tickCount();
    const CliRun r = run({"scan", "--cycles", "1", "--json"});
    EXPECT_EQ(r.status, 0) << r.err;
    // One waiting phase of at most 83 ticks of 118 ms, the phase steps and two full scans.
    EXPECT_LT(clock.tickCount() - before, uint64_t(2 * kMaxScanPhaseMs));
    EXPECT_EQ(r.err,
              "corvel: OEMPrefs.dat: scanTicks 32767 read, 83 used: more ticks per scan phase "
              "would keep a phase waiting 10 s or longer.\n");
}

// A device list written by a newer program is not read, and a run that would save (a scan merges
// the stations it sees) leaves it byte for byte, says why, and exits 1.
TEST_F(SimCommands, AScanLeavesANewerDatabaseAsItIsAndSaysWhyItWasNotSaved) {
    addPort(deviceConfig(Family::Av, kAvLocal), {deviceConfig(Family::Av, kAvStation)});
    attach();
    const fs::path file = work / "data" / "Corvel Utility.data";
    std::string newer(databaseFileSize(2) + 64, '\x5A');
    newer.replace(0, 4, std::string("\x33\x01\x00\x00", 4));  // version 307
    std::ofstream(file, std::ios::binary) << newer;
    const CliRun r = run({"scan", "--cycles", "1"});

    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find(formatMac(kAvStation.data())), std::string::npos) << "the scan is shown";
    EXPECT_EQ(r.err.rfind("corvel: The device database " + file.string() +
                              " is of a newer format (version 307) than this program knows (306). "
                              "It was not read and is left as it is; the device list will not be "
                              "saved while this program runs.\n",
                          0),
              0u)
        << r.err;
    const std::string why = file.string() +
                            ": is of a newer format (version 307) than this program knows (306)";
    EXPECT_NE(r.err.find("corvel: the device list was not saved: " + why + ", not saved over\n"),
              std::string::npos)
        << r.err;
    std::ifstream in(file, std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), newer)
        << "unchanged byte for byte";
    EXPECT_EQ(std::distance(fs::directory_iterator(work / "data"), fs::directory_iterator()), 1);
}

struct FamilyListing {
    const char* name;
    DeviceConfig local;
    std::vector<DeviceConfig> stations;
    std::vector<std::pair<Mac, std::string>> listed;  // in slot order
};

class ScanListing : public SimCommands, public ::testing::WithParamInterface<FamilyListing> {};

TEST_P(ScanListing, ListsEveryStationWithItsFamily) {
    const FamilyListing& c = GetParam();
    addPort(c.local, c.stations);
    attach();
    // A second cycle lets the broadcast version query of phase 4 promote Turbo stations.
    const Json stations = scannedStations(2);
    ASSERT_EQ(stations.size(), c.listed.size());
    for (size_t i = 0; i < c.listed.size(); ++i) {
        EXPECT_EQ(stations[i]["mac"], formatMac(c.listed[i].first.data()));
        EXPECT_EQ(stations[i]["family"], c.listed[i].second);
        EXPECT_EQ(stations[i]["present"], true);
        // Quality for scripts: a level of the word scale and its word, whatever style the
        // preferences draw for the GUI; a station with a rate is above offline.
        const Json& quality = stations[i]["quality"];
        ASSERT_TRUE(quality.is_object()) << stations[i];
        const std::vector<std::string> words = {"offline", "Fair", "Good", "Very Good",
                                                "Excellent"};
        const int level = quality.value("level", -1);
        ASSERT_TRUE(level >= 0 && level <= 4) << quality;
        EXPECT_EQ(quality["text"], words[size_t(level)]);
        // A rate not measured is null, never 0.
        EXPECT_NE(stations[i]["rate"], 0.0) << stations[i];
        if (!stations[i]["rate"].is_null()) {
            EXPECT_GT(level, 0) << stations[i];
        }
    }

    const CliRun text = run({"scan", "--cycles", "1"});
    const size_t header = text.out.find("RATE (Mbit/s)");
    ASSERT_NE(header, std::string::npos) << text.out;
    const size_t start = text.out.rfind('\n', header) + 1;
    const std::string headerLine = text.out.substr(start, text.out.find('\n', header) - start);
    for (const char* column : {"NAME", "MAC", "FAMILY", "QUALITY", "STATE", "FIRMWARE"})
        EXPECT_NE(headerLine.find(column), std::string::npos) << headerLine;
    for (const auto& [mac, family] : c.listed) {
        const size_t line = text.out.find(formatMac(mac.data()));
        ASSERT_NE(line, std::string::npos) << text.out;
        EXPECT_GT(line, header);
        EXPECT_NE(text.out.find(family, line), std::string::npos) << text.out;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Families, ScanListing,
    ::testing::Values(FamilyListing{"Av",
                                    deviceConfig(Family::Av, kAvLocal),
                                    {deviceConfig(Family::Av, kAvStation)},
                                    {{kAvStation, "HomePlug AV"}}},
                      FamilyListing{"Turbo",
                                    deviceConfig(Family::Turbo, kTurboLocal),
                                    {deviceConfig(Family::Turbo, kTurboStation),
                                     deviceConfig(Family::HomePlug10, kTurboStation2)},
                                    {{kTurboStation, "HomePlug 1.0 Turbo"},
                                     {kTurboStation2, "HomePlug 1.0"}}},
                      FamilyListing{"Hp10",
                                    deviceConfig(Family::HomePlug10, kHp10Local),
                                    {deviceConfig(Family::HomePlug10, kHp10Station)},
                                    {{kHp10Station, "HomePlug 1.0"}}}),
    [](const auto& info) { return std::string(info.param.name); });

// The line of the text output that names `mac`.
std::string lineOf(const std::string& out, const Mac& mac) {
    const size_t at = out.find(formatMac(mac.data()));
    if (at == std::string::npos) return "";
    const size_t start = out.rfind('\n', at) + 1;
    return out.substr(start, out.find('\n', at) - start);
}

// Each AV station's rates to it and from it, as its network-information entry gives them, in
// scan and probe alike; rate and rateText keep the scaled value. 0 from the device is a
// direction not measured: null, "?" in the text.
TEST_F(SimCommands, AvStationsShowTheirRateInEachDirection) {
    DeviceConfig first = deviceConfig(Family::Av, kAvStation);
    first.profile.rates.avTx = 151;
    first.profile.rates.avRx = 97;
    DeviceConfig second = deviceConfig(Family::Av, kAvStation2);
    second.profile.rates.avTx = 76;
    second.profile.rates.avRx = 0;
    addPort(deviceConfig(Family::Av, kAvLocal), {first, second});
    attach();

    const Json stations = scannedStations(1);
    ASSERT_EQ(stations.size(), 2u) << stations;
    EXPECT_EQ(stations[0]["rate"], 200.0);
    EXPECT_EQ(stations[0]["rateText"], "200.00");
    EXPECT_EQ(stations[0]["phyRateTx"], 151);
    EXPECT_EQ(stations[0]["phyRateRx"], 97);
    EXPECT_EQ(stations[1]["phyRateTx"], 76);
    EXPECT_TRUE(stations[1]["phyRateRx"].is_null()) << stations[1];

    const CliRun text = run({"scan", "--cycles", "1"});
    EXPECT_NE(text.out.find("RATE (Mbit/s)   TX   RX  QUALITY"), std::string::npos) << text.out;
    EXPECT_NE(lineOf(text.out, kAvStation).find(" 200.00  151   97  "), std::string::npos)
        << text.out;
    EXPECT_NE(lineOf(text.out, kAvStation2).find(" 100.00   76    ?  "), std::string::npos)
        << text.out;

    resetProcessState();
    const CliRun probed = corvel({"probe", "--json"});
    const Json probedStations = Json::parse(probed.out)["interfaces"][0]["stations"];
    ASSERT_EQ(probedStations.size(), 2u) << probed.out;
    EXPECT_EQ(probedStations[0]["phyRateTx"], 151);
    EXPECT_EQ(probedStations[0]["phyRateRx"], 97);
    EXPECT_TRUE(probedStations[1]["phyRateRx"].is_null()) << probed.out;
    resetProcessState();
    const CliRun probedText = corvel({"probe"});
    EXPECT_NE(lineOf(probedText.out, kAvStation).find("rate 200.00 Mbit/s  TX 151  RX 97  "),
              std::string::npos)
        << probedText.out;
    EXPECT_NE(lineOf(probedText.out, kAvStation2).find("TX 76  RX ?  "), std::string::npos)
        << probedText.out;
}

// A HomePlug 1.0 station's statistics give one rate: it is the tx rate, and rx is never made up.
TEST_F(SimCommands, Hp10StationsHaveATxRateAndNoRx) {
    addPort(deviceConfig(Family::HomePlug10, kHp10Local),
            {deviceConfig(Family::HomePlug10, kHp10Station)});
    attach();
    // The statistics come in a later phase of the cycles than the station's first answer.
    const Json stations = scannedStations(3);
    ASSERT_EQ(stations.size(), 1u);
    const double rate = stations[0]["rate"].get<double>();
    ASSERT_GT(rate, 0) << stations[0];
    EXPECT_EQ(stations[0]["phyRateTx"], int(rate));
    EXPECT_TRUE(stations[0]["phyRateRx"].is_null()) << stations[0];

    const CliRun text = run({"scan", "--cycles", "3"});
    char columns[32];
    std::snprintf(columns, sizeof columns, " %4d    -  ", int(rate));
    EXPECT_NE(lineOf(text.out, kHp10Station).find(columns), std::string::npos) << text.out;
}

// ---------------------------------------------------------------------------------------------
// Commands on a plain HomePlug 1.0 local device: its parameter block and key come with the
// first scan cycle, before the command acts.

class PlainLocalDevice : public SimCommands {
protected:
    void SetUp() override {
        SimCommands::SetUp();
        addPort(deviceConfig(Family::HomePlug10, kHp10Local),
                {deviceConfig(Family::HomePlug10, kHp10Station, kStationPassword)});
        attach();
    }
    sim::Device& local() { return *net.device(kHp10Local); }
    sim::Device& station() { return *net.device(kHp10Station); }
};

TEST_F(PlainLocalDevice, SetNetworkLocalOnlyTakesTheNameAndKeepsIt) {
    const CliRun r = run({"set-network", "GardenShed", "--local-only", "--yes"});

    EXPECT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_NE(r.out.find("Local device set to 'GardenShed'"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("Network Name: GardenShed   Network Type: Private"), std::string::npos)
        << r.out;
    EXPECT_EQ(local().nek(), deriveHP10Key("GardenShed"));
    // The next scan reads the key back and keeps the name.
    const CliRun scan = run({"scan", "--cycles", "1", "--json"});
    const Json result = Json::parse(scan.out);
    EXPECT_EQ(result["interfaces"][0]["local"]["networkName"], "GardenShed");
}

TEST_F(PlainLocalDevice, PasswordIsCheckedOnTheDeviceAndStoredAsTyped) {
    const struct {
        std::string password;
        int status;
        std::string stored;
        const char* verified;
    } cases[] = {
        {kStationPassword, 0, kStationPassword, "yes"},
        {kWrongPassword, 1, "Not " + kWrongPassword, "refused"},
    };
    ASSERT_EQ(run({"scan", "--cycles", "1"}).status, 0);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.password);
        const CliRun r = run({"password", formatMac(kHp10Station.data()), c.password});
        EXPECT_EQ(r.status, c.status) << r.out << r.err;
        EXPECT_NE(r.out.find("stored as " + c.stored + "\n"), std::string::npos) << r.out;
        const CliRun listed = run({"devices"});
        EXPECT_NE(listed.out.find(c.password + "  " + c.verified), std::string::npos)
            << listed.out;
        // The local device is back on its own network either way.
        EXPECT_EQ(local().nek(), deriveHP10Key("HomePlug"));
    }
}

// ---------------------------------------------------------------------------------------------
// A password for a HomePlug 1.0 station behind the second interface. A scan of every interface
// finds the AV local device of the first one and no other family, so the check must ask where
// the device was seen, never store a right password as refused, and leave the stored password
// alone when no interface reaches the device.

class TwoInterfaces : public SimCommands {
protected:
    void SetUp() override {
        SimCommands::SetUp();
        addPort(deviceConfig(Family::Av, kAvLocal), {deviceConfig(Family::Av, kAvStation)});
        addPort(deviceConfig(Family::Turbo, kTurboLocal),
                {deviceConfig(Family::HomePlug10, kTurboStation2, kStationPassword)});
        attach();
    }
    // The device list's password of the 1.0 station, and the mark of its last check.
    std::string stored() {
        const Json devices = Json::parse(run({"devices", "--json"}).out, nullptr, false);
        for (const Json& d : devices["devices"]) {
            if (d["mac"] != formatMac(kTurboStation2)) continue;
            const Json& verified = d["passwordVerified"];
            return d["password"].get<std::string>() +
                   (verified.is_null() ? " unchecked" : verified == true ? " verified" : " refused");
        }
        return "(not listed)";
    }
    const std::string station = formatMac(kTurboStation2);
};

TEST_F(TwoInterfaces, ThePasswordIsCheckedOnTheInterfaceTheDeviceWasSeenOn) {
    ASSERT_EQ(run({"-i", "plc1", "scan", "--cycles", "1"}).status, 0);
    const CliRun there = run({"-i", "plc1", "password", station, kStationPassword});
    ASSERT_EQ(there.status, 0) << there.out << there.err;

    // Without -i every interface may be used; plc0's AV network comes first to a scan.
    const CliRun again = run({"password", station, kStationPassword});

    EXPECT_EQ(again.status, 0) << again.out << again.err;
    EXPECT_NE(again.out.find("verified by the device, stored as " + kStationPassword + "\n"),
              std::string::npos)
        << again.out;
    EXPECT_EQ(stored(), kStationPassword + " verified");
    EXPECT_EQ(net.device(kTurboLocal)->nek(), deriveHP10Key("HomePlug"));
    // A wrong one is still refused there, and stored so.
    const CliRun wrong = run({"password", station, kWrongPassword});
    EXPECT_EQ(wrong.status, 1);
    EXPECT_EQ(stored(), kWrongPassword + " refused");
}

TEST_F(TwoInterfaces, ADeviceNoInterfaceReachesKeepsItsStoredPassword) {
    ASSERT_EQ(run({"-i", "plc1", "scan", "--cycles", "1"}).status, 0);
    ASSERT_EQ(run({"-i", "plc1", "password", station, kStationPassword}).status, 0);
    net.device(kTurboStation2)->profile.faults.offline = true;

    const CliRun gone = run({"password", station, kStationPassword});

    EXPECT_EQ(gone.status, 1);
    EXPECT_EQ(gone.out, "");
    EXPECT_NE(gone.err.find("corvel: " + station +
                            " is not reachable on any interface (asked on plc1, plc0); its "
                            "stored password was left as it was\n"),
              std::string::npos)
        << gone.err;
    EXPECT_EQ(stored(), kStationPassword + " verified");
}

// ---------------------------------------------------------------------------------------------
// Ctrl-C and SIGTERM while set-network or add-device change keys: raised in this process from
// the virtual clock once the operation has got to a chosen point, while the command's handler
// is in place.

// An AV local device with two stations, each with its own password.
class TwoAvStations : public SimCommands {
protected:
    void SetUp() override {
        SimCommands::SetUp();
        addPort(deviceConfig(Family::Av, kAvLocal),
                {deviceConfig(Family::Av, kAvStation, kStationPassword),
                 deviceConfig(Family::Av, kAvStation2, kOtherPassword)});
        attach();
    }
};

class StoppedCommands : public TwoAvStations {
protected:
    // Raises `signal` once `condition` holds and a command's stop request is installed, looked
    // at every 5 ms of virtual time; `then` runs in the same instant, before the signal.
    void raiseWhen(int signal, std::function<bool()> condition, std::function<void()> then = {}) {
        watch = [this, signal, condition, then] {
            if (stopRequest() == nullptr || !condition()) {
                clock.scheduleAfter(5, watch);
                return;
            }
            if (then) then();
            std::raise(signal);
        };
        clock.scheduleAfter(5, watch);
    }
    sim::Device& local() { return *net.device(kAvLocal); }
    std::function<void()> watch;
};

TEST_F(StoppedCommands, SetNetworkStoppedByCtrlCPutsTheDevicesBackAndExits130) {
    ASSERT_EQ(run({"scan", "--cycles", "1"}).status, 0);
    ASSERT_EQ(run({"password", formatMac(kAvStation), kStationPassword}).status, 0);
    ASSERT_EQ(run({"password", formatMac(kAvStation2), kOtherPassword}).status, 0);
    const Key16 publicNmk = local().nmk();
    raiseWhen(SIGINT, [this] { return net.device(kAvStation)->nmk() == deriveNMK("GardenShed"); });

    const CliRun stopped = run({"set-network", "GardenShed", "--yes"});

    EXPECT_EQ(stopped.status, 130) << stopped.out << stopped.err;
    EXPECT_NE(stopped.err.find("corvel: stopped; what was changed is put back: the local device "
                               "is on its network 'HomePlugAV' as before\n"),
              std::string::npos)
        << stopped.err;
    EXPECT_EQ(stopped.err.find("All Devices"), std::string::npos) << stopped.err;
    for (const Mac& mac : {kAvLocal, kAvStation, kAvStation2})
        EXPECT_EQ(net.device(mac)->nmk(), publicNmk) << formatMac(mac);
    const Json scan = Json::parse(run({"scan", "--cycles", "1", "--json"}).out);
    EXPECT_EQ(scan["interfaces"][0]["local"]["networkName"], "HomePlugAV");
    EXPECT_EQ(scan["interfaces"][0]["stations"].size(), 2u);
}

TEST_F(StoppedCommands, ALocalDeviceLeftOnTheSearchKeyIsSaidWithTheCommandThatMendsIt) {
    ASSERT_EQ(run({"scan", "--cycles", "1"}).status, 0);
    const Key16 own = local().nmk();
    // SIGTERM while the local device is alone on the random key, which it then refuses to leave.
    raiseWhen(
        SIGTERM, [this, own] { return local().nmk() != own; },
        [this] { local().profile.faults.avStatus = 0x01; });

    const CliRun stopped = run({"add-device", "Garage", kWrongPassword});

    EXPECT_EQ(stopped.status, 143) << stopped.out << stopped.err;
    EXPECT_NE(stopped.err.find("corvel: the local device could not be put back on its network "
                               "'HomePlugAV': it may be on a key of its own, which a scan shows "
                               "as Unknown Networkname, and be cut off from its stations; corvel "
                               "set-network --public --local-only puts it back\n"),
              std::string::npos)
        << stopped.err;
    EXPECT_EQ(stopped.err.find("Unable to set the NMK"), std::string::npos) << stopped.err;
    // What it says to run does put it back.
    local().profile.faults.avStatus = 0;
    EXPECT_EQ(run({"set-network", "--public", "--local-only"}).status, 0);
    EXPECT_EQ(local().nmk(), own);
}

TEST_F(StoppedCommands, CtrlCBeforeAnyKeyWasSentChangesNothing) {
    ASSERT_EQ(run({"scan", "--cycles", "1"}).status, 0);
    local().clearReceived();
    // At once, during the scan that comes first.
    raiseWhen(SIGINT, [] { return true; });

    const CliRun stopped = run({"set-network", "GardenShed", "--yes"});

    EXPECT_EQ(stopped.status, 130);
    EXPECT_NE(stopped.err.find("corvel: stopped before anything was sent; nothing was changed\n"),
              std::string::npos)
        << stopped.err;
    for (const auto& received : local().received())
        EXPECT_FALSE(received.frame.size() > 16 && received.frame[15] == 0x50 &&
                     received.frame[16] == 0xA0)
            << "a set-key request was sent";
}

// ---------------------------------------------------------------------------------------------
// The command line in a terminal's words: every command, right and with the usual mistakes, on a
// simulated network with two stations. The desktop program's message boxes have their own
// titles and button words; none of them may reach the terminal or a script.

class TerminalWords : public TwoAvStations {
protected:
    std::string write(const std::string& name, const std::string& bytes) {
        std::ofstream((work / name).string(), std::ios::binary) << bytes;
        return (work / name).string();
    }
    // The commands that keep no device list take no --data-dir.
    CliRun any(std::vector<std::string> args) {
        static const std::vector<std::string> listless = {"interfaces", "probe",   "derive",
                                                          "pib",        "nvm",     "stats",
                                                          "tonemap",    "restart", "scna"};
        if (std::find(listless.begin(), listless.end(), args.front()) != listless.end()) {
            resetCoreState();
            return corvel(args);
        }
        return run(args);
    }
};

TEST_F(TerminalWords, NoCommandSaysWhatAMessageBoxSays) {
    const std::string station = formatMac(kAvStation);
    const std::string station2 = formatMac(kAvStation2);
    const std::string junk = write("junk.bin", std::string(300, 'x'));
    const std::string missing = (work / "missing.nvm").string();
    const std::vector<std::vector<std::string>> runs = {
        {"interfaces"}, {"interfaces", "--json"}, {"probe"}, {"probe", "--json"},
        {"scan", "--cycles", "1"}, {"scan", "--cycles", "1", "--json"},
        {"devices"}, {"devices", "--json"},
        {"password", station, kStationPassword}, {"password", station2, kWrongPassword},
        {"password", station2, "abc"}, {"password", station2, "PASS-WORD-GOES-HERE"},
        {"password", "00:11:22:33:44:55", kStationPassword},
        {"rename", station, "Attic"}, {"rename", station2, "Attic"}, {"rename", station2, ""},
        {"rename", station2, "   "}, {"rename", station2, std::string(40, 'n')},
        {"set-network", "abc", "--yes"}, {"set-network", "Garden\tShed", "--yes"},
        {"set-network", "GardenShed"}, {"set-network", "GardenShed", "--yes"},
        {"set-network", "--public", "--yes"}, {"set-network", "--public", "--local-only"},
        {"add-device", "Garage", kWrongPassword, "--cycles", "2"},
        {"add-device", std::string(40, 'g'), kWrongPassword}, {"add-device", "Garage", "abc"},
        {"add-device", "Attic", kWrongPassword},
        {"remove", station2}, {"remove", "00:11:22:33:44:55", "--yes"},
        {"upgrade", "--nvm", missing, "--pib", missing, "--yes"},
        {"upgrade", "--nvm", junk, "--pib", junk, "--yes"}, {"upgrade", "--img", junk},
        {"stats", station}, {"stats", station, "--json"}, {"tonemap", station},
        {"restart", station}, {"derive", "nmk", "GardenShed"}, {"pib", "check", junk},
        {"pib", "check", junk, "--json"}, {"nvm", "check", missing}, {"scna"},
        {"scan", "--cycle", "2"}, {"scan", "--cycles", "abc", "--json"},
        {"report", (work / "report.txt").string()}, {"report", "--no-passwords"},
        {"remove", station2, "--yes"}, {"devices"},
    };
    const char* const boxWords[] = {
        "Click",         "Attention!",           "Invalid Entry", "Problem Occurred",
        "Set All Devices", "CTRL and ALT",       "few seconds....", "Warning....",
        "Information:",  "Error:",               "Network Name Setting", "Local Device Type",
        "Ok' button",    "successfully added"};
    for (const auto& args : runs) {
        const CliRun r = any(args);
        const std::string shown = r.out + r.err;
        for (const char* word : boxWords)
            EXPECT_EQ(shown.find(word), std::string::npos)
                << ::testing::PrintToString(args) << " says \"" << word << "\":\n" << shown;
        // A failure is said on standard error, in the program's name (after progress texts).
        const bool json = std::find(args.begin(), args.end(), "--json") != args.end();
        if (r.status != 0 && !json) {
            EXPECT_TRUE(r.err.rfind("corvel: ", 0) == 0 ||
                        r.err.find("\ncorvel: ") != std::string::npos)
                << ::testing::PrintToString(args) << r.err;
        }
    }
}

// What went wrong and what to do, each said once on standard error.
TEST_F(TerminalWords, FailuresSayTheCauseAndTheWayOut) {
    ASSERT_EQ(run({"scan", "--cycles", "1"}).status, 0);
    ASSERT_EQ(run({"password", formatMac(kAvStation), kStationPassword}).status, 0);
    ASSERT_EQ(run({"rename", formatMac(kAvStation), "Attic"}).status, 0);
    const std::string missing = (work / "missing.nvm").string();
    const std::string junk = write("junk.nvm", std::string(300, 'x'));
    const std::string pib = write("fw.pib", std::string(300, 'x'));
    const struct {
        std::vector<std::string> args;
        int status;
        std::string said;
    } cases[] = {
        // A network name outside the allowed set is a network name, never a password.
        {{"set-network", "Garden\tShed", "--yes"}, 1, "corvel: the network name 'Garden\\x09Shed'"},
        // The station without a password is named, with how to enter it.
        {{"set-network", "GardenShed", "--yes"}, 1,
         "corvel: not set on Device 3 (" + formatMac(kAvStation2) +
             "): no password entered (corvel password " + formatMac(kAvStation2) +
             " enters it)\n"},
        {{"set-network", "GardenShed"}, 1,
         "corvel: set-network needs confirmation and there is no terminal to ask on: add --yes "
         "to confirm it; nothing was changed\n"},
        {{"rename", formatMac(kAvStation2), "Attic"}, 1,
         "corvel: the name 'Attic' is already used by the device " + formatMac(kAvStation)},
        {{"rename", formatMac(kAvStation2), std::string(32, 'n')}, 1,
         "corvel: the device name has 32 characters; at most 31 are allowed\n"},
        {{"rename", formatMac(kAvStation2), "  "}, 1,
         "corvel: the device name holds only spaces"},
        {{"upgrade", "--nvm", missing, "--pib", pib, "--yes"}, 1,
         "corvel: cannot read the firmware image " + missing + ": No such file or directory"},
        {{"upgrade", "--nvm", junk, "--pib", pib, "--yes"}, 1,
         "(corvel nvm check " + junk + " shows its chain)"},
    };
    for (const auto& c : cases) {
        const CliRun r = run(c.args);
        EXPECT_EQ(r.status, c.status) << ::testing::PrintToString(c.args);
        EXPECT_NE(r.err.find(c.said), std::string::npos)
            << ::testing::PrintToString(c.args) << "\n" << r.err;
    }
    const CliRun name = run({"set-network", "Garden\tShed", "--yes"});
    EXPECT_EQ(name.err.find("password"), std::string::npos) << name.err;
}

// Set All Devices asks y/N on a terminal, naming the devices it will key; only "y" or "yes"
// sends anything.
TEST_F(TerminalWords, SetNetworkAsksOnATerminal) {
    ASSERT_EQ(run({"scan", "--cycles", "1"}).status, 0);
    ASSERT_EQ(run({"password", formatMac(kAvStation), kStationPassword}).status, 0);
    const Key16 before = net.device(kAvLocal)->nmk();
    for (const char* answer : {"n\n", "\n", "maybe\n"}) {
        TerminalInput terminal(answer);
        const CliRun r = run({"set-network", "GardenShed"});
        EXPECT_EQ(r.status, 1) << answer;
        EXPECT_NE(r.err.find("corvel: set the network name 'GardenShed' on Device 2 (" +
                             formatMac(kAvStation) + "), then on the local device " +
                             formatMac(kAvLocal) + "? [y/N] "),
                  std::string::npos)
            << r.err;
        EXPECT_NE(r.err.find("corvel: set-network was not confirmed; nothing was changed\n"),
                  std::string::npos)
            << r.err;
        EXPECT_EQ(net.device(kAvLocal)->nmk(), before);
    }
    TerminalInput terminal("Yes\n");
    const CliRun r = run({"set-network", "GardenShed"});
    EXPECT_NE(r.out.find("Network name 'GardenShed' set on"), std::string::npos) << r.out << r.err;
    EXPECT_EQ(net.device(kAvLocal)->nmk(), deriveNMK("GardenShed"));
    EXPECT_EQ(net.device(kAvStation)->nmk(), deriveNMK("GardenShed"));
}

// The report to a file says where it went; without the passwords they are nowhere in it, and the
// rates a scan measured are in it, never "?".
TEST_F(TerminalWords, TheReportSaysWhereItWroteAndLeavesThePasswordsOutWhenAsked) {
    ASSERT_EQ(run({"scan", "--cycles", "2"}).status, 0);
    ASSERT_EQ(run({"password", formatMac(kAvStation), kStationPassword}).status, 0);
    for (const bool withPasswords : {true, false}) {
        const std::string file = (work / (withPasswords ? "full.txt" : "bare.txt")).string();
        std::vector<std::string> args = {"report", file};
        if (!withPasswords) args.push_back("--no-passwords");
        const CliRun r = run(args);
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(r.out, "Diagnostics report written to " + file + " (mode 0600" +
                             (withPasswords ? "" : ", without the device passwords") + ")\n");
        std::ifstream in(file);
        const std::string text((std::istreambuf_iterator<char>(in)),
                               std::istreambuf_iterator<char>());
        EXPECT_EQ(text.find(kStationPassword) != std::string::npos, withPasswords) << text;
        const size_t row = text.find(formatMac(kAvStation));
        ASSERT_NE(row, std::string::npos) << text;
        const std::string line = text.substr(row, text.find('\n', row) - row);
        EXPECT_EQ(line.find('?'), std::string::npos) << line;
    }
}

// No adapter answering: the scan and each command that would change keys say why, naming the
// interface, and that nothing was done.
TEST_F(SimCommands, WithoutAnAdapterTheCommandsSayTheCause) {
    DeviceConfig local = deviceConfig(Family::Av, kAvLocal);
    local.profile.faults.offline = true;
    addPort(local, {});
    attach();
    const std::string cause =
        "corvel: no powerline adapter answered on the interface plc0; check that one is cabled "
        "to this computer and powered; nothing was changed\n";
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"add-device", "Garage", kStationPassword},
          std::vector<std::string>{"set-network", "GardenShed", "--yes"}}) {
        const CliRun r = run(args);
        EXPECT_EQ(r.status, 1) << r.out << r.err;
        EXPECT_NE(r.err.find(cause), std::string::npos) << r.err;
    }
    const CliRun scan = run({"scan"});
    EXPECT_EQ(scan.status, 1);
    EXPECT_EQ(scan.err,
              "corvel: no powerline adapter answered on the interface plc0; check that one is "
              "cabled to this computer and powered\n");
}


// ---------------------------------------------------------------------------------------------
// Upgrades: files the upgrade refuses are refused before the first frame; a Turbo device that an
// upgrade left in its secondary loader is named by probe, and `upgrade --resume` finishes it.

class UpgradeCommands : public SimCommands {
protected:
    std::string write(const std::string& name, const std::vector<uint8_t>& bytes) {
        const fs::path path = work / name;
        std::ofstream(path, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
        return path.string();
    }
    // A Turbo local device that answers its loader only at the loader's own address.
    sim::Device& turbo(bool inLoader) {
        DeviceConfig config = deviceConfig(Family::Turbo, kTurboLocal);
        config.inLoader = inLoader;
        config.profile.loaderAnswersOwnAddress = false;
        config.profile.upgradedFirmware = "TURBO-MAC-NEW";
        addPort(config, {});
        attach();
        return *net.device(kTurboLocal);
    }
    // probe keeps no device list, so it takes no --data-dir.
    CliRun probe(bool json) {
        resetProcessState();
        return json ? corvel({"probe", "--json"}) : corvel({"probe"});
    }
    static bool resetToLoaderReceived(const sim::Device& d) {
        for (const auto& r : d.received())
            if (r.frame.size() > 17 && r.frame[15] == 0x12 && r.frame[17] == 0x67) return true;
        return false;
    }
    const std::string kLoaderLine =
        "a HomePlug 1.0 Turbo device in its loader (an upgrade did not finish) at "
        "00:04:87:FE:11:00: corvel upgrade --img FILE [--cfg FILE] --resume";
};

TEST_F(UpgradeCommands, UnusableFilesAreRefusedBeforeAnythingIsSent) {
    addPort(deviceConfig(Family::Av, kAvLocal), {});
    attach();
    const std::vector<uint8_t> nvm = sim::buildNvm({{0x00100000, 3000}});
    // One bit of the image flipped, its header as it was.
    std::vector<uint8_t> flipped = nvm;
    flipped[44 + 2999 - 3] ^= 0x01;
    char checksums[96];
    std::snprintf(checksums, sizeof checksums, "checksum 0x%08X, its 750 words give 0x%08X",
                  get32le(&nvm[16]), sim::complementedWordXor(&flipped[44], 3000));
    const std::vector<uint8_t> pib = sim::buildPib(kAvLocal, publicAvKey(), 3, 3);
    const std::string nvmPath = (work / "fw.nvm").string();
    const std::string pibPath = (work / "fw.pib").string();
    const struct {
        const char* name;
        std::vector<uint8_t> nvm, pib;
        std::string said;
    } cases[] = {
        {"firmware with a flipped bit", flipped, pib,
         "corvel: " + nvmPath +
             " is not a usable firmware image: image 0 (header at 0): its header gives the image " +
             checksums},
        {"firmware", sim::wrapInNewerChain(nvm), pib,
         "corvel: " + nvmPath +
             " is not a usable firmware image: the firmware file is in the newer image format"},
        {"PIB", nvm, sim::wrapInNewerChain(pib, sim::kNewerModulePib),
         "corvel: " + pibPath +
             " is not a usable parameter image (PIB): the PIB file is a parameter block wrapped "
             "in the newer image format"},
    };
    for (const auto& c : cases) {
        const CliRun r = run(
            {"upgrade", "--nvm", write("fw.nvm", c.nvm), "--pib", write("fw.pib", c.pib), "--yes"});
        EXPECT_EQ(r.status, 1) << c.name;
        EXPECT_NE(r.err.find(c.said), std::string::npos) << c.name << ": " << r.err;
        EXPECT_NE(r.err.find("nothing was sent"), std::string::npos) << c.name << ": " << r.err;
        EXPECT_TRUE(net.device(kAvLocal)->received().empty()) << c.name;
    }
}

TEST_F(UpgradeCommands, ProbeNamesADeviceWaitingInItsLoader) {
    turbo(true);
    CliRun r = probe(true);
    ASSERT_EQ(r.status, 0) << r.err;
    const Json entry = Json::parse(r.out)["interfaces"][0];
    EXPECT_EQ(entry["local"], nullptr);
    EXPECT_EQ(entry["loader"]["mac"], "00:04:87:FE:11:00");
    EXPECT_EQ(entry["loader"]["resume"], "corvel upgrade --img FILE [--cfg FILE] --resume");
    r = probe(false);
    EXPECT_NE(r.out.find(": " + kLoaderLine + "\n"), std::string::npos) << r.out;
}

TEST_F(UpgradeCommands, ProbeFindsNoLoaderBehindARunningDevice) {
    turbo(false);
    const Json entry = Json::parse(probe(true).out)["interfaces"][0];
    EXPECT_EQ(entry["local"]["mac"], formatMac(kTurboLocal.data()));
    EXPECT_EQ(entry["loader"], nullptr);
}

TEST_F(UpgradeCommands, AnUpgradeWithoutResumeSaysHowToFinishTheOneLeft) {
    sim::Device& d = turbo(true);
    const CliRun r =
        run({"upgrade", "--img", write("mac.img", sim::patternBytes(3000, 1)), "--yes"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("a HomePlug 1.0 Turbo device in its loader (an upgrade did not finish) "
                         "answers on interface 0"),
              std::string::npos)
        << r.err;
    EXPECT_NE(r.err.find("--resume; nothing was sent"), std::string::npos) << r.err;
    EXPECT_TRUE(d.firmware.modules.empty());
}

TEST_F(UpgradeCommands, ResumeFinishesTheUpgradeAtTheLoader) {
    sim::Device& d = turbo(true);
    const std::string img = write("mac.img", sim::patternBytes(5000, 1));
    const std::string cfg = write("dev.cfg", sim::patternBytes(960, 2));
    const CliRun r = run({"upgrade", "--img", img, "--cfg", cfg, "--resume", "--yes"});
    EXPECT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_NE(r.out.find("Device in its secondary loader at 00:04:87:FE:11:00 on interface 0"),
              std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("Upgraded: the device was verified and restarted\n"), std::string::npos)
        << r.out;
    EXPECT_FALSE(resetToLoaderReceived(d));
    EXPECT_FALSE(d.firmware.inLoader);
    EXPECT_EQ(d.profile.turboFirmware, "TURBO-MAC-NEW");
    const Json entry = Json::parse(probe(true).out)["interfaces"][0];
    EXPECT_EQ(entry["local"]["firmware"], "TURBO-MAC-NEW");
}

TEST_F(UpgradeCommands, ResumeNeedsADeviceInItsLoader) {
    sim::Device& d = turbo(false);
    const std::string firmware = d.profile.turboFirmware;
    const CliRun r = run(
        {"upgrade", "--img", write("mac.img", sim::patternBytes(3000, 1)), "--resume", "--yes"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("no device answered at the secondary loader's address 00:04:87:FE:11:00 "
                         "on any interface"),
              std::string::npos)
        << r.err;
    EXPECT_TRUE(d.firmware.modules.empty());
    EXPECT_FALSE(d.firmware.inLoader);
    EXPECT_EQ(d.profile.turboFirmware, firmware);
    EXPECT_EQ(run({"upgrade", "--nvm", "a.nvm", "--pib", "a.pib", "--resume"}).status, 2);
}
// A firmware text from the wire and a device name from the device list carrying terminal
// controls or bytes that are not UTF-8, through every output that shows them: the text output
// of scan, probe and devices and the report show each control as an escape and each broken
// sequence as U+FFFD; the JSON output carries the text made valid UTF-8, on a line without a
// control byte of its own.

struct HostileText {
    const char* name;
    std::string bytes;
    std::string shown;  // in the text output and the report
    std::string json;   // the text a JSON reader gets
};

void PrintTo(const HostileText& c, std::ostream* out) {
    *out << c.name;
}

const std::string kFffd = "\xEF\xBF\xBD";

class HostileTexts : public SimCommands, public ::testing::WithParamInterface<HostileText> {
protected:
    void SetUp() override {
        SimCommands::SetUp();
        DeviceConfig local = deviceConfig(Family::Av, kAvLocal);
        DeviceConfig station = deviceConfig(Family::Av, kAvStation);
        local.profile.firmware = "FW " + GetParam().bytes;
        station.profile.firmware = "FW " + GetParam().bytes;
        addPort(local, {station});
        attach();
        // The first scan lists the station; then someone who can write the device list names it.
        ASSERT_EQ(run({"scan", "--cycles", "1"}).status, 0);
        setDataDirectory((work / "data").string());
        loadDatabase();
        const int record = findDeviceByMac(kAvStation.data());
        ASSERT_NE(record, 0);
        copyText(core.devices[record - 1].name, "N " + GetParam().bytes);
        ASSERT_TRUE(saveDatabase());
        setDataDirectory("");
    }

    // Text output: the texts as shown, and no control but the layout's own.
    void expectShown(const CliRun& r, std::initializer_list<std::string> texts,
                     std::string_view layout = "\n") {
        EXPECT_EQ(r.status, 0) << r.err;
        for (const std::string& text : texts)
            EXPECT_NE(r.out.find(text), std::string::npos) << text << " in\n" << r.out;
        EXPECT_EQ(terminalControlAt(r.out, layout), std::string::npos) << r.out;
        EXPECT_TRUE(isValidUtf8(r.out)) << r.out;
    }

    // JSON output: one line without a control byte, which parses; discarded on a failure.
    Json parsedLine(const CliRun& r) {
        EXPECT_EQ(r.status, 0) << r.out << r.err;
        if (r.status != 0) return Json(Json::value_t::discarded);
        EXPECT_EQ(terminalControlAt(r.out.substr(0, r.out.size() - 1)), std::string::npos) << r.out;
        return Json::parse(r.out, nullptr, false);
    }

    // probe touches no device list and takes no --data-dir.
    CliRun probe(std::vector<std::string> args) {
        resetProcessState();
        args.insert(args.begin(), "probe");
        return corvel(args);
    }
};

TEST_P(HostileTexts, ReachEveryOutputOnlyAsEscapesAndValidUtf8) {
    const HostileText& c = GetParam();
    const std::string firmware = "FW " + c.shown;
    const std::string name = "N " + c.shown;

    expectShown(run({"scan", "--cycles", "1"}), {firmware, name});
    const Json scan = parsedLine(run({"scan", "--cycles", "1", "--json"}));
    ASSERT_FALSE(scan.is_discarded());
    const Json& scanned = scan["interfaces"][0]["stations"];
    ASSERT_EQ(scanned.size(), 1u) << scan;
    EXPECT_EQ(scanned[0]["firmware"], "FW " + c.json);
    EXPECT_EQ(scanned[0]["name"], "N " + c.json);

    expectShown(probe({}), {"firmware \"" + firmware + "\""});
    const Json probed = parsedLine(probe({"--json"}));
    ASSERT_FALSE(probed.is_discarded());
    const Json& first = probed["interfaces"][0];
    EXPECT_EQ(first["local"]["firmware"], "FW " + c.json) << probed;
    ASSERT_EQ(first["stations"].size(), 1u) << probed;
    EXPECT_EQ(first["stations"][0]["firmware"], "FW " + c.json) << probed;

    expectShown(run({"devices"}), {name});
    const Json devices = parsedLine(run({"devices", "--json"}));
    ASSERT_FALSE(devices.is_discarded());
    const Json& listed = devices["devices"];
    EXPECT_TRUE(std::any_of(listed.begin(), listed.end(), [&](const Json& d) {
        return d["name"] == "N " + c.json;
    })) << devices;

    const fs::path report = work / "report.txt";
    EXPECT_EQ(run({"report", report.string()}).status, 0);
    std::ifstream in(report, std::ios::binary);
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    expectShown(CliRun{0, text, ""},
                {"   Firmware: " + firmware + " \n", "\n" + name + "\t", "\t" + firmware}, "\n\t");
}

INSTANTIATE_TEST_SUITE_P(
    Bytes, HostileTexts,
    ::testing::Values(
        HostileText{"ClearScreenAndColour", "\x1b[2J\x1b[31m", "\\x1b[2J\\x1b[31m",
                    "\x1b[2J\x1b[31m"},
        HostileText{"WindowTitleEndedByBel", "\x1b]0;owned\x07", "\\x1b]0;owned\\x07",
                    "\x1b]0;owned\x07"},
        HostileText{"CarriageReturn", "ok\rEVIL", "ok\\x0dEVIL", "ok\rEVIL"},
        HostileText{"Del", "a\x7f", "a\\x7f", "a\x7f"},
        HostileText{"C1Csi", "\xC2\x9B[2J", "\\x9b[2J", "\xC2\x9B[2J"},
        HostileText{"RawC1Byte", "\x9B[2J", kFffd + "[2J", kFffd + "[2J"},
        HostileText{"OverlongEsc", "\xC1\x9B[2J", kFffd + kFffd + "[2J", kFffd + kFffd + "[2J"},
        HostileText{"OverlongSlash", "\xE0\x80\xAF", kFffd + kFffd + kFffd, kFffd + kFffd + kFffd},
        HostileText{"LoneContinuationBytes", "a\x80\xBF|b", "a" + kFffd + kFffd + "|b",
                    "a" + kFffd + kFffd + "|b"},
        HostileText{"TruncatedAtTheEnd", "ok\xE2\x82", "ok" + kFffd, "ok" + kFffd},
        HostileText{"TruncatedBeforeEsc", "\xF0\x9F\x98\x1b[2J", kFffd + "\\x1b[2J",
                    kFffd + "\x1b[2J"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace corvel::test
