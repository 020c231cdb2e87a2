// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include "tests/e2e/netns_run.h"

// The programs as installed run with privileges: as root, or as a member of group corvel holding
// the capture capabilities. Such a run refuses a --data-dir another user controls before it reads
// or writes anything; an ordinary user's run keeps its own directory as before.
namespace corvel::e2e {
namespace {

namespace fs = std::filesystem;

constexpr char kTail[] =
    "; a program running with privileges keeps the device list only where no other user can "
    "change it\n";

std::string contents(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::vector<std::string> entries(const fs::path& directory) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(directory))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

class DataDirEndToEnd : public NamespacedTest {
protected:
    void SetUp() override {
        NamespacedTest::SetUp();
        if (IsSkipped()) return;
        // Reachable by nobody, for the runs as an ordinary user.
        fs::permissions(dir, fs::perms(0755));
        database = dataDir / "Corvel Utility.data";
        std::ofstream(database, std::ios::binary) << std::string(300, 'x');
    }

    // The command run as user and group nobody, from the scratch directory.
    static std::vector<std::string> asNobody(std::vector<std::string> command,
                                             const fs::path& cwd) {
        command.insert(command.begin(), {"setpriv", "--reuid=65534", "--regid=65534",
                                         "--clear-groups", "env", "--chdir=" + cwd.string()});
        return command;
    }

    fs::path database;
};

TEST_F(DataDirEndToEnd, ARootRunRefusesADirectoryAnotherUserControlsAndLeavesItAlone) {
    const fs::path link = dir / "link";
    const struct {
        const char* what;
        std::function<fs::path()> prepare;
        std::string rule;
    } cases[] = {
        {"symbolic link",
         [&] {
             fs::create_directory_symlink(dataDir, link);
             return link;
         },
         "it is a symbolic link"},
        {"owned by another user",
         [&] {
             EXPECT_EQ(::chown(dataDir.c_str(), 65534, 0), 0);
             return dataDir;
         },
         "it is owned by user nobody (uid 65534), neither you nor root"},
        {"world-writable",
         [&] {
             fs::permissions(dataDir, fs::perms(0777));
             return dataDir;
         },
         "it is writable by every user"},
        {"group-writable by another group than corvel",
         [&] {
             EXPECT_EQ(::chown(dataDir.c_str(), 0, 65534), 0);
             fs::permissions(dataDir, fs::perms(0770));
             return dataDir;
         },
         "it is writable by group nogroup (gid 65534), not by group corvel"},
        {"inside a directory another user owns",
         [&] {
             EXPECT_EQ(::chown(dir.c_str(), 65534, 65534), 0);
             return dataDir;
         },
         "the directory " + dir.string() +
             " above it is owned by user nobody (uid 65534), neither you nor root"},
    };
    const std::string before = contents(database);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const fs::path given = c.prepare();
        const std::string refusal = "--data-dir " + given.string() + " refused: " + c.rule + kTail;
        const std::vector<std::vector<std::string>> runs = {
            {binaryPath("app/corvel"), "devices", "--data-dir", given.string()},
            {binaryPath("app/corvel"), "scan", "--data-dir", given.string()},
            {binaryPath("app/corvel"), "rename", "00:B0:52:00:00:11", "Attic", "--data-dir",
             given.string()},
            {binaryPath("app/corvel-utility"), "--data-dir", given.string()},
        };
        for (const auto& command : runs) {
            const CommandResult result = runCommand(command);
            const std::string program = fs::path(command[0]).filename().string();
            EXPECT_EQ(result.status, 1) << command[1];
            EXPECT_EQ(result.err, program + ": " + refusal) << command[1];
            EXPECT_EQ(result.out, "") << command[1];
        }
        EXPECT_EQ(contents(database), before);
        EXPECT_EQ(entries(dataDir), std::vector<std::string>{"Corvel Utility.data"});
        fs::remove(link);
        ASSERT_EQ(::chown(dir.c_str(), 0, 0), 0);
        ASSERT_EQ(::chown(dataDir.c_str(), 0, 0), 0);
        fs::permissions(dataDir, fs::perms(0755));
    }
}

// The installed program carries cap_net_raw and cap_net_admin, so every run of it is privileged,
// whoever starts it: a member's own directory is fine, one all users may write is not. Without
// the capabilities the same user's run takes the directory as before.
TEST_F(DataDirEndToEnd, TheCapturePrivilegesAloneMakeARunPrivileged) {
    const fs::path capable = dir / "corvel";
    fs::copy_file(binaryPath("app/corvel"), capable);
    const CommandResult setcap =
        runCommand({"setcap", "cap_net_raw,cap_net_admin+ep", capable.string()});
    ASSERT_EQ(setcap.status, 0) << setcap.err;

    const fs::path own = dir / "own";
    const fs::path open = dir / "open";
    for (const fs::path& d : {own, open}) {
        fs::create_directory(d);
        ASSERT_EQ(::chown(d.c_str(), 65534, 65534), 0);
    }
    fs::permissions(own, fs::perms(0700));
    fs::permissions(open, fs::perms(0777));

    CommandResult r = runCommand(asNobody({capable.string(), "devices", "--data-dir", own}, dir));
    EXPECT_EQ(r.status, 0) << r.err;

    r = runCommand(asNobody({capable.string(), "devices", "--data-dir", open}, dir));
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "corvel: --data-dir " + open.string() +
                         " refused: it is writable by every user" + kTail);

    r = runCommand(
        asNobody({binaryPath("app/corvel"), "devices", "--data-dir", open.string()}, dir));
    EXPECT_EQ(r.status, 0) << "an ordinary run keeps today's behaviour: " << r.err;
}

}  // namespace
}  // namespace corvel::e2e
