// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "platform/process_state.h"
#include "tests/cli/cli_run.h"
#include "core/tables.h"
#include "platform/text.h"
#include "store/data_directory.h"
#include "store/database.h"
#include "store/preferences.h"

// The device commands' argument handling and the refusals that come before any frame is sent;
// what they do on the wire is covered by the end-to-end tests.
namespace corvel {
namespace {

namespace fs = std::filesystem;

constexpr uint8_t kLocal[6] = {0x00, 0xB0, 0x52, 0x00, 0x00, 0x10};
constexpr uint8_t kStation[6] = {0x00, 0xB0, 0x52, 0x00, 0x00, 0x11};
constexpr uint8_t kOther[6] = {0x00, 0xB0, 0x52, 0x00, 0x00, 0x12};
const std::string kStationMac = "00:B0:52:00:00:11";
const std::string kOtherMac = "00:B0:52:00:00:12";

using test::CliRun;
using test::corvel;

// The refusals of the rules, in the command line's words.
const std::string kPasswordFormat =
    "corvel: a device password is four groups of four letters or digits joined by dashes "
    "(XXXX-XXXX-XXXX-XXXX), as printed on the device\n";
const std::string kPlaceholder =
    "corvel: PASS-WORD-GOES-HERE stands for a password not entered yet; give the device's own "
    "password\n";
const std::string kKitchenTaken =
    "corvel: the name 'Kitchen' is already used by the device 00:B0:52:00:00:11 (names are "
    "unique); choose another\n";
std::string networkNameLength(const std::string& quoted, size_t length) {
    return "corvel: the network name must be 4 to 24 characters long; " + quoted + " has " +
           std::to_string(length) + "\n";
}

std::vector<uint8_t> readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

// A data directory whose database lists the local device, a station with its password and
// one without.
class DeviceCommands : public ::testing::Test {
protected:
    void SetUp() override {
        dir = fs::temp_directory_path() / ("corvel-cli-devices-" + std::to_string(::getpid()));
        fs::remove_all(dir);
        fs::create_directories(dir);
        resetProcessState();
        loadPreferences();
        setDataDirectory(dir.string());
        appendDevice(kLocal, "Device 1");
        appendDevice(kStation, "Kitchen");
        copyText(core.devices[1].password, "QWER-TYUI-ASDF-GHJK");
        appendDevice(kOther, "Garage");
        ASSERT_TRUE(saveDatabase());
        resetCoreState();
        setDataDirectory("");
    }
    void TearDown() override { fs::remove_all(dir); }

    CliRun run(std::vector<std::string> args) {
        args.push_back("--data-dir");
        args.push_back(dir.string());
        return corvel(args);
    }
    // The names in the saved database, as `corvel devices` lists them.
    std::string devices() { return run({"devices"}).out; }

    fs::path dir;
};

TEST_F(DeviceCommands, UsageErrorsExitTwo) {
    const std::vector<std::vector<std::string>> cases = {
        {"set-network"},
        {"set-network", "GardenShed", "--public"},
        {"set-network", "GardenShed", "--local"},
        {"password"},
        {"password", kStationMac, "QWER-TYUI-ASDF-GHJK", "extra"},
        {"password", "00:B0:52:00:11", "QWER-TYUI-ASDF-GHJK"},
        {"password", "not-a-mac", "QWER-TYUI-ASDF-GHJK"},
        {"add-device"},
        {"add-device", "Attic", "QWER-TYUI-ASDF-GHJK", "--cycles", "0"},
        {"add-device", "Attic", "QWER-TYUI-ASDF-GHJK", "extra"},
        {"rename", kStationMac},
        {"rename", "00:B0:52:00:00:1G", "Attic"},
        {"remove"},
        {"remove", kStationMac, "--force"},
    };
    for (const auto& args : cases) {
        const CliRun r = corvel(args);
        EXPECT_EQ(r.status, 2) << ::testing::PrintToString(args) << r.err;
        EXPECT_NE(r.err.find("Usage: corvel"), std::string::npos) << r.err;
        EXPECT_EQ(r.out, "");
    }
}

TEST_F(DeviceCommands, InputRefusedBeforeAnythingIsSentExitsOneWithItsMessage) {
    const std::string nameCharacters =
        "corvel: the network name 'Garden\\x09Shed' holds a character that is not printable "
        "ASCII (a control character or a byte above 0x7F); use letters, digits, spaces and ASCII "
        "punctuation\n";
    const struct {
        std::vector<std::string> args;
        std::string err;
    } cases[] = {
        {{"set-network", "abc"}, networkNameLength("'abc'", 3)},
        {{"set-network", std::string(25, 'n'), "--local-only"},
         networkNameLength("'" + std::string(25, 'n') + "'", 25)},
        {{"set-network", "Garden\tShed", "--yes"}, nameCharacters},
        {{"set-network", ""}, networkNameLength("''", 0)},
        {{"password", "00:B0:52:00:00:99", "QWER-TYUI-ASDF-GHJK"},
         "corvel: 00:B0:52:00:00:99 is not in the device list (corvel devices lists it)\n"},
        {{"password", kOtherMac, "PASS-WORD-GOES-HERE"}, kPlaceholder},
        {{"password", kOtherMac, "QWERTYUIASDFGHJK"}, kPasswordFormat},
        {{"password", kOtherMac, "qwer-tyui-asdf-ghj"}, kPasswordFormat},
        {{"add-device", "", "QWER-TYUI-ASDF-GHJK"},
         "corvel: the device name is empty; give 1 to 31 characters\n"},
        {{"add-device", "   ", "QWER-TYUI-ASDF-GHJK"},
         "corvel: the device name holds only spaces; give 1 to 31 characters that show\n"},
        {{"add-device", "Kitchen", "QWER-TYUI-ASDF-GHJK"}, kKitchenTaken},
        {{"add-device", std::string(32, 'a'), "QWER-TYUI-ASDF-GHJK"},
         "corvel: the device name has 32 characters; at most 31 are allowed\n"},
        {{"add-device", "Attic", "PASS-WORD-GOES-HERE"}, kPlaceholder},
        {{"add-device", "Attic", "QWER-TYUI-ASDF_GHJK"}, kPasswordFormat},
    };
    const std::string before = devices();
    for (const auto& c : cases) {
        const CliRun r = run(c.args);
        EXPECT_EQ(r.status, 1) << ::testing::PrintToString(c.args);
        EXPECT_EQ(r.err, c.err) << ::testing::PrintToString(c.args);
        EXPECT_EQ(r.out, "");
    }
    EXPECT_EQ(devices(), before);
}

// Standard input stands for a pipe for the scope of a test.
class StandardInputFrom {
public:
    explicit StandardInputFrom(const std::string& text) : saved_(::dup(STDIN_FILENO)) {
        int ends[2];
        EXPECT_EQ(::pipe(ends), 0);
        EXPECT_EQ(::write(ends[1], text.data(), text.size()), ssize_t(text.size()));
        ::close(ends[1]);
        ::dup2(ends[0], STDIN_FILENO);
        ::close(ends[0]);
    }
    ~StandardInputFrom() {
        ::dup2(saved_, STDIN_FILENO);
        ::close(saved_);
    }
    StandardInputFrom(const StandardInputFrom&) = delete;
    StandardInputFrom& operator=(const StandardInputFrom&) = delete;

private:
    int saved_;
};

// `password MAC -` and `add-device NAME -` read the password as one line of standard input, so
// that it never shows in the process list; it then meets the same checks as one given on the
// command line, and an empty line is refused before anything is sent.
TEST_F(DeviceCommands, PasswordFromStandardInputMeetsTheSameChecks) {
    const struct {
        std::string input;
        std::string err;
    } cases[] = {
        {"\n", "corvel: no password was entered; nothing was checked\n"},
        {"", "corvel: no password was entered; nothing was checked\n"},
        {"qwer-tyui-asdf-ghj\n", kPasswordFormat},
        {"PASS-WORD-GOES-HERE\r\nQWER-TYUI-ASDF-GHJK\n", kPlaceholder},
    };
    const std::vector<std::string> commands[] = {{"password", kOtherMac, "-"},
                                                 {"add-device", "Attic", "-"}};
    const std::string before = devices();
    for (const auto& command : commands)
        for (const auto& c : cases) {
            SCOPED_TRACE(command[0] + ": " + c.input);
            StandardInputFrom input(c.input);
            const CliRun r = run(command);
            EXPECT_EQ(r.status, 1);
            EXPECT_EQ(r.err, c.err);
            EXPECT_EQ(r.out, "");
        }
    // The name is checked before the password is read: standard input is left for later.
    StandardInputFrom input("QWER-TYUI-ASDF-GHJK\n");
    EXPECT_EQ(run({"add-device", "Kitchen", "-"}).err, kKitchenTaken);
    char next[32] = {};
    EXPECT_EQ(::read(STDIN_FILENO, next, sizeof next), 20);
    EXPECT_EQ(devices(), before);
}

// A new name is refused as add-device refuses one, with the reason: empty, only spaces, too
// long (refused with the limit, never cut), or another device's (named); the list is unchanged.
TEST_F(DeviceCommands, RenameRefusesWhatAddDeviceRefusesAndSaysWhy) {
    const struct {
        std::string name;
        std::string err;
    } refused[] = {
        {"", "corvel: the device name is empty; give 1 to 31 characters\n"},
        {"   ", "corvel: the device name holds only spaces; give 1 to 31 characters that show\n"},
        {std::string(32, 'w'), "corvel: the device name has 32 characters; at most 31 are allowed\n"},
        {std::string(40, 'w'), "corvel: the device name has 40 characters; at most 31 are allowed\n"},
        {"Kitchen", kKitchenTaken},
    };
    const std::string before = devices();
    for (const auto& c : refused) {
        SCOPED_TRACE(c.name);
        const CliRun r = run({"rename", kOtherMac, c.name});
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.err, c.err);
        EXPECT_EQ(r.out, "");
    }
    EXPECT_EQ(devices(), before);

    CliRun r = run({"rename", kOtherMac, std::string(31, 'w')});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.out, "Renamed Garage (00:B0:52:00:00:12) to " + std::string(31, 'w') + "\n");
    EXPECT_NE(devices().find(std::string(31, 'w') + " "), std::string::npos);

    r = run({"rename", "00-b0-52-00-00-11", " Attic "});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "Renamed Kitchen (00:B0:52:00:00:11) to  Attic \n");

    r = run({"rename", "00:B0:52:00:00:99", "Cellar"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err,
              "corvel: 00:B0:52:00:00:99 is not in the device list (corvel devices lists it)\n");
}

// Removing a device whose password has been entered is asked y/N on a terminal; without one it
// needs --yes, and the refusal says so. A device without a password is removed without asking.
TEST_F(DeviceCommands, RemoveOfADeviceWithAPasswordAsksOrNeedsYes) {
    const std::string question =
        "corvel: remove Kitchen (00:B0:52:00:00:11), whose password has been entered, from the "
        "device list? [y/N] ";
    CliRun r = run({"remove", kStationMac});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err,
              "corvel: removing Kitchen (00:B0:52:00:00:11) needs confirmation and there is no "
              "terminal to ask on: add --yes to confirm it; nothing was changed\n");
    EXPECT_NE(devices().find("Kitchen"), std::string::npos);

    for (const char* answer : {"n\n", "\n", "yess\n"}) {
        SCOPED_TRACE(answer);
        test::TerminalInput terminal(answer);
        r = run({"remove", kStationMac});
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.err, question +
                             "corvel: removing Kitchen (00:B0:52:00:00:11) was not confirmed; "
                             "nothing was changed\n");
        EXPECT_EQ(r.out, "");
    }
    EXPECT_NE(devices().find("Kitchen"), std::string::npos);

    {
        test::TerminalInput terminal("Y\n");
        r = run({"remove", kStationMac});
    }
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, question);
    EXPECT_EQ(r.out, "Removed Kitchen (00:B0:52:00:00:11) from the device list\n");
    EXPECT_EQ(devices().find("Kitchen"), std::string::npos);

    // Without a password nothing is asked.
    r = run({"remove", kOtherMac});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    const std::string left = devices();
    EXPECT_EQ(left.find("Garage"), std::string::npos);
    EXPECT_NE(left.find("Device 1"), std::string::npos);
}

TEST_F(DeviceCommands, RemoveWithYesAsksNothing) {
    test::TerminalInput terminal("n\n");
    const CliRun r = run({"remove", kStationMac, "--yes"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(devices().find("Kitchen"), std::string::npos);
}

TEST_F(DeviceCommands, RemovingTheLastDeviceSavesAnEmptyList) {
    for (const std::string& mac : {kStationMac, kOtherMac, std::string("00:B0:52:00:00:10")})
        EXPECT_EQ(run({"remove", mac, "--yes"}).status, 0) << mac;
    EXPECT_EQ(fs::file_size(dir / "Corvel Utility.data"), databaseFileSize(0));
    const CliRun listed = run({"devices", "--json"});
    EXPECT_EQ(listed.status, 0) << listed.err;
    EXPECT_EQ(listed.out, "{\"devices\":[]}\n");
    EXPECT_EQ(listed.err, "");
}

// A command that changed the list but could not save it says where and why, prints no success
// line and exits 1; the file on disk stays as it was.
TEST_F(DeviceCommands, ASaveThatFailsIsReportedWithThePathAndTheReason) {
    const std::vector<std::vector<std::string>> commands = {
        {"rename", kOtherMac, "Cellar"},
        {"remove", kOtherMac},
    };
    const fs::path file = dir / "Corvel Utility.data";
    for (const auto& command : commands) {
        SCOPED_TRACE(command[0]);
        const uintmax_t size = fs::file_size(file);
        // As an ordinary user who owns the directory but may not write it.
        ASSERT_EQ(::chown(dir.c_str(), 65534, 65534), 0);
        ASSERT_EQ(::chown(file.c_str(), 65534, 65534), 0);
        ::chmod(dir.c_str(), 0555);
        ASSERT_EQ(::seteuid(65534), 0);
        const CliRun r = run(command);
        ASSERT_EQ(::seteuid(0), 0);
        ::chmod(dir.c_str(), 0755);
        // Back to root's: a run as root refuses a directory another user owns.
        ASSERT_EQ(::chown(dir.c_str(), 0, 0), 0);
        ASSERT_EQ(::chown(file.c_str(), 0, 0), 0);
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.out, "");
        EXPECT_NE(r.err.find("corvel: the device list was not saved: " + file.string() +
                             ": Permission denied\n"),
                  std::string::npos)
            << r.err;
        EXPECT_EQ(fs::file_size(file), size);
        EXPECT_NE(devices().find("Garage"), std::string::npos);
    }
}

TEST_F(DeviceCommands, NamesThatAreNotUtf8AreShownWithReplacementCharacters) {
    loadPreferences();
    setDataDirectory(dir.string());
    loadDatabase();
    copyText(core.devices[2].name, "Caf\xE9 \xFF\xFE");
    ASSERT_TRUE(saveDatabase());
    setDataDirectory("");

    const CliRun json = run({"devices", "--json"});
    EXPECT_EQ(json.status, 0) << json.err;
    const auto parsed = nlohmann::json::parse(json.out, nullptr, false);
    ASSERT_FALSE(parsed.is_discarded()) << json.out;
    EXPECT_EQ(parsed["devices"][2]["name"], "Caf\uFFFD \uFFFD\uFFFD");

    const CliRun text = run({"devices"});
    EXPECT_EQ(text.status, 0) << text.err;
    EXPECT_NE(text.out.find("Caf\xEF\xBF\xBD \xEF\xBF\xBD\xEF\xBF\xBD"), std::string::npos)
        << text.out;
}

// Listing the devices only reads: a damaged file is reported and left where it is, and the exit
// status says that the list shown is not the whole file's.
TEST_F(DeviceCommands, DevicesNeverRenamesADamagedFileAndExitsOne) {
    const fs::path file = dir / "Corvel Utility.data";
    fs::resize_file(file, 1000);
    const CliRun r = run({"devices"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "corvel: The device database " + file.string() +
                         " is damaged; it was left as it is.\n");
    EXPECT_EQ(fs::file_size(file), 1000u);
    EXPECT_FALSE(fs::exists(file.string() + ".bad"));
}

TEST_F(DeviceCommands, DevicesOfADataDirectoryThatIsAFileOrEmpty) {
    const fs::path plain = dir.string() + "-file";
    std::ofstream(plain) << "not a directory";
    for (const bool json : {false, true}) {
        SCOPED_TRACE(json);
        std::vector<std::string> args = {"devices", "--data-dir", plain.string()};
        if (json) args.push_back("--json");
        const CliRun r = corvel(args);
        EXPECT_EQ(r.status, 1);
        const std::string said = "--data-dir " + plain.string() + " is not a directory";
        EXPECT_NE((json ? r.out : r.err).find(said), std::string::npos) << r.out << r.err;
    }
    fs::remove(plain);

    const fs::path empty = dir.string() + "-empty";
    fs::create_directories(empty);
    CliRun r = corvel({"devices", "--data-dir", empty.string()});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "No devices in the device list (" + (empty / "Corvel Utility.data").string() +
                         ")\n");
    r = corvel({"devices", "--json", "--data-dir", empty.string()});
    EXPECT_EQ(r.out, "{\"devices\":[]}\n");
    fs::remove_all(empty);
}

// The mark of the password check stays apart from the password: verified, refused, or not
// checked (null, as for no password).
TEST_F(DeviceCommands, DevicesKeepsTheVerificationMarkApartFromThePassword) {
    loadPreferences();
    setDataDirectory(dir.string());
    loadDatabase();
    copyText(core.devices[0].password, "CHECK QWER-TYUI-ASDF-GHJ1");
    copyText(core.devices[2].password, "Not QWER-TYUI-ASDF-GHJ2");
    ASSERT_TRUE(saveDatabase());
    setDataDirectory("");
    resetCoreState();

    const CliRun r = run({"devices", "--json"});
    ASSERT_EQ(r.status, 0) << r.err;
    const nlohmann::json listed = nlohmann::json::parse(r.out)["devices"];
    const struct {
        const char* password;
        nlohmann::json verified;
        const char* shown;
    } expected[] = {
        {"QWER-TYUI-ASDF-GHJ1", nullptr, "not checked"},
        {"QWER-TYUI-ASDF-GHJK", true, "yes"},
        {"QWER-TYUI-ASDF-GHJ2", false, "refused"},
    };
    ASSERT_EQ(listed.size(), 3u);
    const std::string text = devices();
    for (size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(listed[i]["password"], expected[i].password);
        EXPECT_EQ(listed[i]["passwordVerified"], expected[i].verified);
        const size_t row = text.find(expected[i].password);
        ASSERT_NE(row, std::string::npos) << text;
        EXPECT_EQ(text.substr(row + 21, std::string(expected[i].shown).size()), expected[i].shown)
            << text;
    }
}

// A privileged run (the tests run as root) keeps its device list only where no other user can
// change it: a --data-dir that breaks a rule is refused with the rule, exit 1, before any file is
// read or written; the directory is left exactly as it was.
TEST_F(DeviceCommands, ADataDirectoryAnotherUserControlsIsRefusedBeforeAnythingIsRead) {
    if (!runsPrivileged()) GTEST_SKIP() << "the rules hold for privileged runs";
    if (::geteuid() != 0) GTEST_SKIP() << "giving a directory to another user needs root";
    const fs::path link = dir.string() + "-link";
    const std::string tail =
        "; a program running with privileges keeps the device list only where no other user "
        "can change it";
    const struct {
        const char* what;
        std::function<fs::path()> prepare;  // the --data-dir to give
        std::string rule;
    } cases[] = {
        {"symbolic link",
         [&] {
             fs::create_directory_symlink(dir, link);
             return link;
         },
         "it is a symbolic link"},
        {"owned by another user",
         [&] {
             EXPECT_EQ(::chown(dir.c_str(), 65534, 0), 0);
             return dir;
         },
         "it is owned by user nobody (uid 65534), neither you nor root"},
        {"world-writable",
         [&] {
             ::chmod(dir.c_str(), 0777);
             return dir;
         },
         "it is writable by every user"},
        {"group-writable by another group than corvel",
         [&] {
             EXPECT_EQ(::chown(dir.c_str(), 0, 65534), 0);
             ::chmod(dir.c_str(), 0770);
             return dir;
         },
         "it is writable by group nogroup (gid 65534), not by group corvel"},
    };
    const fs::path file = dir / "Corvel Utility.data";
    const std::vector<uint8_t> saved = readFile(file);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const fs::path given = c.prepare();
        const std::string refusal = "--data-dir " + given.string() + " refused: " + c.rule + tail;
        for (const std::vector<std::string>& args :
             {std::vector<std::string>{"devices"}, {"rename", kOtherMac, "Cellar"}}) {
            std::vector<std::string> line = args;
            line.insert(line.end(), {"--data-dir", given.string()});
            const CliRun r = corvel(line);
            EXPECT_EQ(r.status, 1) << args[0];
            EXPECT_EQ(r.err, "corvel: " + refusal + "\n") << args[0];
            EXPECT_EQ(r.out, "");
        }
        const CliRun json = corvel({"devices", "--json", "--data-dir", given.string()});
        EXPECT_EQ(json.status, 1);
        EXPECT_EQ(json.out, nlohmann::json({{"error", refusal}, {"status", 1}}).dump() + "\n");
        EXPECT_EQ(readFile(file), saved);
        EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 1)
            << "nothing made beside the database";
        fs::remove(link);
        ASSERT_EQ(::chown(dir.c_str(), 0, 0), 0);
        ::chmod(dir.c_str(), 0755);
    }
    EXPECT_NE(devices().find("Garage"), std::string::npos) << "accepted again once it is safe";
}

}  // namespace
}  // namespace corvel
