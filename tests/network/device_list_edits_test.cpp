// SPDX-License-Identifier: MIT
#include "network/device_list_edits.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/tables.h"
#include "platform/notifier.h"
#include "platform/process_state.h"
#include "platform/text.h"
#include "store/data_directory.h"
#include "store/database.h"
#include "store/preferences.h"
#include "tests/store/store_test_support.h"

namespace corvel::test {
namespace {

constexpr uint8_t kFirst[6] = {0x00, 0xB0, 0x52, 0x00, 0x00, 0x11};
constexpr uint8_t kSecond[6] = {0x00, 0xB0, 0x52, 0x00, 0x00, 0x12};
constexpr uint8_t kThird[6] = {0x00, 0xB0, 0x52, 0x00, 0x00, 0x13};

const std::string kTooLong = "Attention!: Device Name should be less than 31 characters";
const std::string kAnother = "Attention!: Please enter another name.";

// Three devices in the list, the second with a password, each a station of the selected
// interface.
class DeviceListEdits : public ::testing::Test {
protected:
    void SetUp() override {
        resetProcessState();
        setDataDirectory(scratch.path.string());
        fill();
    }
    void TearDown() override {
        setDataDirectory("");
        resetProcessState();
    }

    void fill() {
        resetCoreState();
        for (const uint8_t* mac : {kFirst, kSecond, kThird}) {
            appendDevice(mac, "Device " + std::to_string(core.deviceCount + 1));
            StationRecord& station = currentStationTable().stations[core.deviceCount - 1];
            copyMac(station.mac, mac);
            station.present = 1;
        }
        copyText(core.devices[1].password, "QWER-TYUI-ASDF-GHJK");
    }

    std::vector<std::string> texts() const {
        std::vector<std::string> out;
        for (const auto& m : recorder.messages) out.push_back(m.title + ": " + m.text);
        return out;
    }
    std::vector<std::string> names() const {
        std::vector<std::string> out;
        for (int i = 0; i < core.deviceCount; ++i) out.push_back(stringOf(core.devices[i].name));
        return out;
    }

    ScratchDirectory scratch;
    RecordingNotifier recorder;
    ScopedNotifier notifierScope{recorder};
};

TEST_F(DeviceListEdits, RenameCutsTooLongNamesAndRefusesEmptyOrTakenOnes) {
    const struct {
        const char* name;
        std::string typed;
        RenameResult result;
        std::string stored;
        std::vector<std::string> messages;
    } cases[] = {
        {"new name", "Garage", RenameResult::renamed, "Garage", {}},
        {"31 characters", std::string(31, 'a'), RenameResult::renamed, std::string(31, 'a'), {}},
        {"40 characters, cut to 31",
         std::string(40, 'b'),
         RenameResult::renamed,
         std::string(31, 'b'),
         {kTooLong}},
        {"its own name", "Device 1", RenameResult::refused, "Device 1", {kAnother}},
        {"another device's name", "Device 2", RenameResult::refused, "Device 1", {kAnother}},
        {"empty", "", RenameResult::refused, "Device 1", {kAnother}},
        // Names are compared exactly.
        {"another name in other case", "device 2", RenameResult::renamed, "device 2", {}},
        // Cut to a name that is taken: the warning, then the refusal.
        {"cut to a taken name",
         std::string(31, 'c') + "xyz",
         RenameResult::refused,
         "Device 1",
         {kTooLong, kAnother}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        fill();
        if (std::string(c.name) == "cut to a taken name")
            copyText(core.devices[2].name, std::string(31, 'c'));
        recorder.messages.clear();

        EXPECT_EQ(renameDevice(1, c.typed), c.result);

        EXPECT_EQ(stringOf(core.devices[0].name), c.stored);
        EXPECT_EQ(texts(), c.messages);
        // A rename is saved at once.
        EXPECT_EQ(std::filesystem::exists(databasePath()), c.result == RenameResult::renamed);
        std::filesystem::remove(databasePath());
        EXPECT_EQ(+core.scanPaused, 0);
    }
    recorder.messages.clear();
    EXPECT_EQ(renameDevice(0, "Garage"), RenameResult::noSuchDevice);
    EXPECT_EQ(renameDevice(4, "Garage"), RenameResult::noSuchDevice);
    EXPECT_TRUE(texts().empty());
}

TEST_F(DeviceListEdits, DeleteAsksOnlyForADeviceWithAPassword) {
    const std::string question =
        "Attention!: A Password for this device has been entered. \nAre you sure you want to "
        "delete it?";
    // No: the device stays.
    recorder.answers = {Button::No};
    EXPECT_EQ(deleteDevice(2), DeleteResult::declined);
    EXPECT_EQ(texts(), std::vector<std::string>{question});
    EXPECT_EQ(names(), (std::vector<std::string>{"Device 1", "Device 2", "Device 3"}));

    // Yes: record and station go; the later ones move down and the freed slots are clear.
    recorder.messages.clear();
    recorder.answers = {Button::Yes};
    EXPECT_EQ(deleteDevice(2), DeleteResult::deleted);
    EXPECT_EQ(texts(), std::vector<std::string>{question});
    EXPECT_EQ(names(), (std::vector<std::string>{"Device 1", "Device 3"}));
    EXPECT_EQ(findStationByMac(kSecond), nullptr);
    EXPECT_TRUE(macEqual(currentStationTable().stations[1].mac, kThird));
    EXPECT_EQ(stringOf(core.devices[2].password), "");

    // Without a password nothing is asked.
    recorder.messages.clear();
    EXPECT_EQ(deleteDevice(1), DeleteResult::deleted);
    EXPECT_TRUE(texts().empty());
    EXPECT_EQ(names(), std::vector<std::string>{"Device 3"});

    EXPECT_EQ(deleteDevice(2), DeleteResult::noSuchDevice);
    EXPECT_EQ(texts(), std::vector<std::string>{
                           "Attention!: Please select a device first by clicking on it."});
    EXPECT_EQ(core.deviceCount, 1);
}

// A deletion reaches the file at once, also when it empties the list: the removed devices never
// come back on the next start.
TEST_F(DeviceListEdits, DeleteSavesAtOnceEvenTheEmptyList) {
    for (int remaining = 2; remaining >= 0; --remaining) {
        recorder.answers = {Button::Yes};
        ASSERT_EQ(deleteDevice(1), DeleteResult::deleted);
        resetCoreState();
        loadDatabase();
        EXPECT_EQ(core.deviceCount, remaining);
    }
}

}  // namespace
}  // namespace corvel::test
