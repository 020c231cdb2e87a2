// SPDX-License-Identifier: MIT
// What a privileged run leaves behind where an ordinary user can reach: files planted by that
// user (uid 65534) in a world-writable sticky directory, then root's scan, PIB patch and report
// there; and the device password entered without it showing on the terminal or in the process
// list.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <regex>
#include <string>
#include <vector>

#include "keys/derive.h"
#include "sim/pib.h"
#include "tests/e2e/netns_run.h"

namespace corvel::e2e {
namespace {

namespace fs = std::filesystem;

constexpr uid_t kNobody = 65534;
constexpr char kDeviceLog[] = "Corvel Utility.log";
// What the planted file would do if root ran it.
const std::string kPlantedProgram = "#!/bin/sh\nid -u > /tmp/owned\n";

std::string readText(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

struct stat statOf(const fs::path& path) {
    struct stat info {};
    EXPECT_EQ(::lstat(path.c_str(), &info), 0) << path;
    return info;
}

// Runs a command without a shell and waits for it; its exit status, or -1.
int runCommand(const std::vector<std::string>& command) {
    const pid_t pid = ::fork();
    if (pid == 0) {
        std::vector<char*> argv;
        for (const std::string& word : command) argv.push_back(const_cast<char*>(word.c_str()));
        argv.push_back(nullptr);
        ::execvp(argv[0], argv.data());
        ::_exit(127);
    }
    int status = 0;
    if (pid < 0 || ::waitpid(pid, &status, 0) != pid) return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

size_t occurrences(const std::string& text, const std::string& part) {
    size_t count = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++count;
    return count;
}

// Files under `root` that root owns and that could be run: any set-user-id, set-group-id or
// execute bit.
std::vector<std::string> runnableFilesOfRoot(const fs::path& root) {
    std::vector<std::string> found;
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
        const struct stat info = statOf(entry.path());
        if (S_ISREG(info.st_mode) && info.st_uid == 0 &&
            (info.st_mode & (S_ISUID | S_ISGID | S_IXUSR | S_IXGRP | S_IXOTH)) != 0)
            found.push_back(entry.path().string());
    }
    return found;
}

class FilesAcrossUsers : public NamespacedTest {
protected:
    void SetUp() override {
        NamespacedTest::SetUp();
        if (IsSkipped()) return;
        shared = dir / "shared";
        fs::create_directory(shared);
        ASSERT_EQ(::chmod(shared.c_str(), 01777), 0);
    }

    // A shell script run as the unprivileged user, with its arguments as $0, $1, ...
    void asNobody(const std::string& script, const std::vector<std::string>& arguments) {
        std::vector<std::string> command = {
            "setpriv", "--reuid=65534", "--regid=65534", "--clear-groups", "sh", "-c", script};
        command.insert(command.end(), arguments.begin(), arguments.end());
        ASSERT_EQ(runCommand(command), 0) << script;
    }

    std::string scenario(const std::string& text) {
        const fs::path path = dir / "scenario.json";
        std::ofstream(path) << text;
        return path.string();
    }

    fs::path shared;
};

// A plain HomePlug 1.0 local device whose parameter block looks blank: the scan writes the
// device log. The block's first seven bytes are equal when the MAC bytes match the first byte of
// the key under key select 0, which is the device's DEK.
std::string blankBlockScenario() {
    const std::string password = "DM4R-KX7P-QB2T-WN8F";
    char byte[3];
    std::snprintf(byte, sizeof byte, "%02x", deriveHP10Key(password)[0]);
    std::string block;
    for (int i = 0; i < 50; ++i) block += byte;
    return R"({"ports": [{"interface": "plc0", "local": {"family": "hp10",
        "mac": "00:0B:3B:00:02:10", "password": ")" +
           password + R"(", "storedParams": ")" + block + R"(", "workingParams": ")" + block +
           R"("}, "stations": [{"mac": "00:0B:3B:00:02:11"}]}]})";
}

// The planted file under the device log's name, set-user-id and set-group-id, does not come back
// as root's: the log goes to the data directory with a mode of the program's own, which is said
// once, and the planted file is left as its owner made it.
TEST_F(FilesAcrossUsers, RootsScanInASharedDirectoryLeavesNoProgramOfRoots) {
    asNobody("printf '%s' \"$1\" > \"$0\" && chmod 6755 \"$0\"",
             {(shared / kDeviceLog).string(), kPlantedProgram});
    ASSERT_EQ(statOf(shared / kDeviceLog).st_mode & 07777, 06755u);

    const CommandResult run =
        runInNamespaces(scenario(blankBlockScenario()), "",
                        {"sh", "-c", "cd \"$0\" && exec \"$1\" scan --cycles 2 --data-dir \"$2\"",
                         shared.string(), binaryPath("app/corvel"), dataDir.string()});
    ASSERT_EQ(run.status, 0) << run.err << run.out;

    EXPECT_EQ(runnableFilesOfRoot(dir), std::vector<std::string>{});
    const std::string moved = "The working directory " + shared.string() +
                              " can be written by other users: the logs are written in " +
                              dataDir.string() + " instead.\n";
    EXPECT_EQ(occurrences(run.err, moved), 1u) << run.err;

    const struct stat planted = statOf(shared / kDeviceLog);
    EXPECT_EQ(planted.st_uid, kNobody);
    EXPECT_EQ(planted.st_mode & 07777, 06755u);
    EXPECT_EQ(readText(shared / kDeviceLog), kPlantedProgram);

    const fs::path log = dataDir / kDeviceLog;
    ASSERT_TRUE(fs::exists(log)) << "the blank block was logged";
    EXPECT_EQ(statOf(log).st_mode & 07777, 0640u);
    const std::string text = readText(log);
    EXPECT_EQ(text.rfind("Time ", 0), 0u) << text;
    EXPECT_NE(text.find("**EEPROM**"), std::string::npos) << text;
    EXPECT_EQ(text.find("#!/bin/sh"), std::string::npos) << text;
}

// Another user's product files in the shared directory root runs in: a title of their choosing
// with a terminal escape, and a vendor list. Root's scan reads the installed copies instead and
// says so once: its database keeps the product's own name, and nothing root writes carries the
// planted title.
TEST_F(FilesAcrossUsers, RootsScanInASharedDirectoryTakesNoPlantedProductFile) {
    std::string preferences = readText(sourcePath("data/OEMPrefs.dat"));
    ASSERT_GE(preferences.size(), 162u);
    const std::string title = "Planted by nobody\x1b[31m";
    preferences.replace(98, 64, title + std::string(64 - title.size(), '\0'));  // productTitle
    const fs::path source = dir / "OEMPrefs.dat";
    std::ofstream(source, std::ios::binary) << preferences;
    asNobody("cp \"$0\" \"$1\" && printf '00B052\\tPlanted Vendor\\n' > \"$2\"",
             {source.string(), (shared / "OEMPrefs.dat").string(),
              (shared / "OUIList.txt").string()});

    const CommandResult run = runInNamespaces(
        sourcePath("sim/scenarios/av.json"), "",
        {"sh", "-c",
         "cd \"$0\" && \"$1\" scan --data-dir \"$2\" && exec \"$1\" report --data-dir \"$2\"",
         shared.string(), binaryPath("app/corvel"), dataDir.string()});
    ASSERT_EQ(run.status, 0) << run.err << run.out;

    // Said once by each of the two runs.
    EXPECT_EQ(occurrences(run.err, "The working directory " + shared.string() +
                                       " can be written by other users: a run with privileges "
                                       "does not read its OEMPrefs.dat or any other product "
                                       "file there, but the installed ones.\n"),
              2u)
        << run.err;
    EXPECT_TRUE(fs::exists(dataDir / "Corvel Utility.data"));
    for (const auto& entry : fs::directory_iterator(dataDir))
        EXPECT_EQ(entry.path().filename().string().find("Planted"), std::string::npos)
            << entry.path();
    EXPECT_EQ(run.out.find("Planted"), std::string::npos) << run.out;
}

// Another user's PIB with every special bit, patched by root: the file written in its place
// keeps the read and write bits only, and never the write bit of all users.
TEST_F(FilesAcrossUsers, RootsPibSetMacKeepsNoSpecialOrExecuteBit) {
    const std::vector<uint8_t> image =
        sim::buildPib(Mac{0x00, 0xB0, 0x52, 0x00, 0x00, 0x10}, Key16{}, 3, 3);
    const fs::path source = dir / "source.pib";
    std::ofstream(source, std::ios::binary)
        .write(reinterpret_cast<const char*>(image.data()), std::streamsize(image.size()));
    const fs::path pib = shared / "device.pib";
    asNobody("cp \"$0\" \"$1\" && chmod 6777 \"$1\"", {source.string(), pib.string()});
    ASSERT_EQ(statOf(pib).st_mode & 07777, 06777u);

    ASSERT_EQ(
        runCommand({binaryPath("app/corvel"), "pib", "set-mac", pib.string(), "00:B0:52:AA:BB:CC"}),
        0);
    const struct stat patched = statOf(pib);
    EXPECT_EQ(patched.st_mode & 07777, 0664u);
    EXPECT_EQ(runnableFilesOfRoot(dir), std::vector<std::string>{});
    const std::string bytes = readText(pib);
    ASSERT_EQ(bytes.size(), image.size());
    EXPECT_EQ(bytes.substr(12, 6), std::string("\x00\xB0\x52\xAA\xBB\xCC", 6));
}

// Root's report into a file another user made (and still holds through a second link): the
// user's file never receives the passwords; the report is a new file only root can read.
TEST_F(FilesAcrossUsers, RootsReportNeverGoesIntoAnotherUsersFile) {
    const fs::path report = shared / "report.txt";
    const fs::path kept = shared / "kept.txt";
    asNobody("printf 'their text' > \"$0\" && chmod 666 \"$0\" && ln \"$0\" \"$1\"",
             {report.string(), kept.string()});

    const CommandResult run = runInNamespaces(
        sourcePath("sim/scenarios/av.json"), "",
        {binaryPath("app/corvel"), "report", report.string(), "--data-dir", dataDir.string()});
    ASSERT_EQ(run.status, 0) << run.err;

    EXPECT_EQ(readText(kept), "their text");
    EXPECT_EQ(statOf(kept).st_uid, kNobody);
    const struct stat saved = statOf(report);
    EXPECT_EQ(saved.st_uid, 0u);
    EXPECT_EQ(saved.st_mode & 07777, 0600u);
    EXPECT_EQ(readText(report).rfind("Diagnostics Report:", 0), 0u);
}

// The device password typed at the terminal: never echoed, never in any process's arguments,
// never in the line that says it was stored, and proved on the device as one given on the
// command line is.
class PasswordPrompt : public NamespacedTest {
protected:
    // A scan fills the device list, then `script` runs with $0 corvel, $1 the data directory,
    // $2 on_terminal.py and $3 the first station's MAC.
    CommandResult afterScan(const std::string& script) {
        const std::string line = "\"$0\" scan --data-dir \"$1\" >/dev/null || exit 9; " + script;
        return runInNamespaces(sourcePath("sim/scenarios/av.json"), "",
                               {"sh", "-c", line, binaryPath("app/corvel"), dataDir.string(),
                                sourcePath("tests/e2e/on_terminal.py"), kStation});
    }

    static constexpr char kStation[] = "00:B0:52:00:00:11";
    const std::string kTyped = "hz4n-qk8v-mb2r-xt6c";
    const std::string kVerified =
        "Password of Device 2 (00:B0:52:00:00:11) verified by the device, stored in the device "
        "list";
};

TEST_F(PasswordPrompt, TypedOnTheTerminalWithoutEchoOrTrace) {
    const CommandResult run =
        afterScan("exec \"$2\" --expect 'password for' --commands --type '" + kTyped +
                  "\\n' -- \"$0\" password \"$3\" --data-dir \"$1\"");
    ASSERT_EQ(run.status, 0) << run.out << run.err;
    EXPECT_NE(run.out.find("Device password for Device 2 (00:B0:52:00:00:11): "), std::string::npos)
        << run.out;
    EXPECT_NE(run.out.find(kVerified), std::string::npos) << run.out;
    EXPECT_EQ(run.out.find(kTyped), std::string::npos) << "echoed:\n" << run.out;
    EXPECT_EQ(run.out.find("HZ4N"), std::string::npos) << "shown:\n" << run.out;
    const size_t commands = run.out.find("command: ");
    ASSERT_NE(commands, std::string::npos) << run.out;
    EXPECT_NE(run.out.find(" password 00:B0:52:00:00:11 --data-dir", commands), std::string::npos)
        << run.out;
    EXPECT_EQ(run.out.find("hz4n", commands), std::string::npos) << run.out;
}

// Ctrl-C at the prompt ends the command as Ctrl-C does, and the terminal echoes again.
TEST_F(PasswordPrompt, CtrlCAtThePromptLeavesTheTerminalEchoing) {
    const CommandResult run = afterScan(
        "exec \"$2\" --expect 'password for' --type 'hz4n\\x03' --expect 'speed' -- "
        "/bin/sh -c 'trap : INT; \"$0\" password \"$2\" --data-dir \"$1\"; "
        "echo \"status $?\"; stty -a' \"$0\" \"$1\" \"$3\"");
    EXPECT_EQ(run.status, 0) << run.out << run.err;
    EXPECT_NE(run.out.find("status 130"), std::string::npos) << run.out;
    EXPECT_TRUE(std::regex_search(run.out, std::regex("(^|[ ;])echo([ ;\r]|$)"))) << run.out;
    EXPECT_FALSE(std::regex_search(run.out, std::regex("-echo([ ;\r]|$)"))) << run.out;
    EXPECT_EQ(run.out.find("Password of"), std::string::npos) << run.out;
}

// A script's password: one line of standard input with "-"; an empty line is refused.
TEST_F(PasswordPrompt, ReadFromStandardInputWithDash) {
    const CommandResult run = afterScan(
        "printf '\\n' | \"$0\" password \"$3\" - --data-dir \"$1\"; echo \"empty $?\"; "
        "printf '" +
        kTyped + "\\n' | \"$0\" password \"$3\" - --data-dir \"$1\"");
    EXPECT_EQ(run.status, 0) << run.out << run.err;
    EXPECT_NE(run.out.find("empty 1\n"), std::string::npos) << run.out;
    EXPECT_NE(run.err.find("corvel: no password was entered; nothing was checked\n"),
              std::string::npos)
        << run.err;
    EXPECT_NE(run.out.find(kVerified), std::string::npos) << run.out;
    EXPECT_EQ(run.out.find("HZ4N"), std::string::npos) << run.out;
}

}  // namespace
}  // namespace corvel::e2e
