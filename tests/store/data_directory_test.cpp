// SPDX-License-Identifier: MIT
#include "store/data_directory.h"

#include <gtest/gtest.h>
#include <grp.h>
#include <sys/stat.h>

#include <functional>

#include "platform/notifier.h"
#include "tests/store/store_test_support.h"

namespace corvel::test {
namespace {

TEST(UserDataHome, FollowsXdgWhenAbsoluteElseTheHomeDirectory) {
    struct Case {
        std::optional<std::string> xdg;
        std::optional<std::string> home;
        std::string expected;
    };
    const Case cases[] = {
        {"/xdg/data", "/home/u", "/xdg/data"},
        {"relative/data", "/home/u", "/home/u/.local/share"},  // a relative value is invalid
        {"", "/home/u", "/home/u/.local/share"},
        {std::nullopt, "/home/v", "/home/v/.local/share"},
    };
    for (const Case& c : cases) {
        ScopedEnvironment xdg("XDG_DATA_HOME", c.xdg);
        ScopedEnvironment home("HOME", c.home);
        EXPECT_EQ(userDataHome(), c.expected) << c.xdg.value_or("(unset)");
    }
    ScopedEnvironment xdg("XDG_DATA_HOME", std::nullopt);
    ScopedEnvironment home("HOME", std::nullopt);
    const std::string fromPasswordDatabase = userDataHome();
    EXPECT_EQ(fromPasswordDatabase.front(), '/') << fromPasswordDatabase;
}

class DataDirectory : public ::testing::Test {
protected:
    void SetUp() override {
        root = scratch.path.string();
        prepareDataPaths(root);
    }
    void TearDown() override {
        prepareDataPaths();
        setDataDirectory("");
    }

    ScratchDirectory scratch;
    ScopedEnvironment xdg{"XDG_DATA_HOME", "/xdg"};
    std::string root;
    RecordingNotifier recorder;
    ScopedNotifier notifierScope{recorder};
};

TEST_F(DataDirectory, CandidatePathsLieUnderTheInjectedRoot) {
    const DataPaths& p = dataPaths();
    EXPECT_EQ(p.publicApplicationData, root + "/var/lib");
    EXPECT_EQ(p.publicProductDirectory, root + "/var/lib/corvel-utility");
    EXPECT_EQ(p.vendorRoot, root + "/xdg/Veltrix_Apps");
    EXPECT_EQ(p.vendorProductDirectory, root + "/xdg/Veltrix_Apps/QPT");
}

TEST_F(DataDirectory, ChoosesTheProductDirectoryOrFallsBackWithAMessage) {
    struct Case {
        const char* name;
        std::function<void(const fs::path& root)> prepare;
        bool fallback;
    };
    const Case cases[] = {
        {"product directory exists",
         [](const fs::path& r) { fs::create_directories(r / "var/lib/corvel-utility"); }, false},
        {"product directory is created",
         [](const fs::path& r) { fs::create_directories(r / "var/lib"); }, false},
        {"application data and product directory are created",
         [](const fs::path& r) { fs::create_directories(r / "var"); }, false},
        {"product directory cannot be created",
         [](const fs::path& r) {
             fs::create_directories(r / "var/lib");
             writeText(r / "var/lib/corvel-utility", "a file in the way");
         },
         true},
        {"application data cannot be created",
         [](const fs::path& r) { writeText(r / "var", "a file in the way"); }, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove_all(scratch.path);
        fs::create_directories(scratch.path);
        recorder.messages.clear();
        c.prepare(scratch.path);

        const std::string chosen = chooseDataDirectory();
        EXPECT_EQ(dataDirectory(), chosen);
        EXPECT_TRUE(fs::is_directory(chosen));
        if (!c.fallback) {
            EXPECT_EQ(chosen, root + "/var/lib/corvel-utility");
            EXPECT_TRUE(recorder.messages.empty());
            continue;
        }
        EXPECT_EQ(chosen, root + "/xdg/Veltrix_Apps/QPT");
        ASSERT_EQ(recorder.messages.size(), 1u);
        EXPECT_EQ(recorder.messages[0].title, "Information");
        EXPECT_EQ(recorder.messages[0].icon, Icon::Information);
        EXPECT_EQ(recorder.messages[0].text,
                  "Unable to create Corvel Utility.data file at location: " + root +
                      "/var/lib/corvel-utility, Creating Corvel Utility.data file at location: " +
                      root + "/xdg/Veltrix_Apps/QPT");
    }
}

// Shared by root and group corvel only, setgid so that the database made inside keeps the group.
TEST_F(DataDirectory, ACreatedProductDirectoryIsSharedWithTheGroupOnly) {
    fs::create_directories(scratch.path / "var/lib");
    const mode_t old = ::umask(022);
    EXPECT_EQ(chooseDataDirectory(), root + "/var/lib/corvel-utility");
    ::umask(old);
    struct stat info {};
    ASSERT_EQ(::stat((root + "/var/lib/corvel-utility").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 02770u);
    if (const group* corvel = ::getgrnam("corvel")) {
        EXPECT_EQ(info.st_gid, corvel->gr_gid);
    }
}

// The fallback is said when the user's own directory is made, not again on every command.
TEST_F(DataDirectory, FallbackMessageIsShownOnceWhenTheDirectoryIsMade) {
    writeText(scratch.path / "var", "a file in the way");
    for (size_t run : {1, 2, 3}) {
        SCOPED_TRACE(run);
        EXPECT_EQ(chooseDataDirectory(), root + "/xdg/Veltrix_Apps/QPT");
        EXPECT_EQ(recorder.messages.size(), 1u);
    }
    struct stat info {};
    ASSERT_EQ(::stat((root + "/xdg/Veltrix_Apps/QPT").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0002, 0u) << "not world-writable";
}

// A directory named on the command line: made when missing, with 0770 less the umask; one that
// cannot be made is reported and still used, so that the first save names the failure.
TEST_F(DataDirectory, ANamedDirectoryIsMadeOrReported) {
    struct Case {
        const char* name;
        std::string directory;
        std::function<void()> prepare;
        bool reported;
        mode_t mode;  // 0: no directory afterwards
    };
    const std::string named = root + "/named";
    const Case cases[] = {
        {"missing: made", named, [] {}, false, 0750},
        {"present: kept as it is",
         named,
         [&] {
             fs::create_directory(named);
             fs::permissions(named, fs::perms::owner_all);
         },
         false, 0700},
        {"parent missing: reported", root + "/absent/named", [] {}, true, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove_all(scratch.path);
        fs::create_directories(scratch.path);
        recorder.messages.clear();
        c.prepare();
        const mode_t old = ::umask(022);
        useNamedDataDirectory(c.directory);
        ::umask(old);
        EXPECT_EQ(dataDirectory(), c.directory);
        struct stat info {};
        const bool exists = ::stat(c.directory.c_str(), &info) == 0;
        EXPECT_EQ(exists, c.mode != 0);
        if (exists) {
            EXPECT_TRUE(S_ISDIR(info.st_mode));
            EXPECT_EQ(info.st_mode & 07777, c.mode);
        }
        if (!c.reported) {
            EXPECT_TRUE(recorder.messages.empty());
            continue;
        }
        ASSERT_EQ(recorder.messages.size(), 1u);
        EXPECT_EQ(recorder.messages[0].title, "Problem Occurred");
        EXPECT_EQ(recorder.messages[0].icon, Icon::Error);
        EXPECT_EQ(recorder.messages[0].text, c.directory + ": cannot be created");
    }
}

}  // namespace
}  // namespace corvel::test
