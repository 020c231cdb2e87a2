// SPDX-License-Identifier: MIT
#include "store/data_directory.h"

#include <gtest/gtest.h>
#include <grp.h>
#include <linux/capability.h>
#include <pwd.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <functional>
#include <initializer_list>

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

// ---------------------------------------------------------------------------------------------
// A --data-dir in a privileged run

// Runs `body` in a child process that has become user and group nobody, keeping the capabilities
// in `effective` (none: an ordinary user). The child's exit status is returned: body's result.
int asNobody(std::initializer_list<int> effective, const std::function<int()>& body) {
    const pid_t child = ::fork();
    if (child == 0) {
        if (effective.size() > 0) ::prctl(PR_SET_KEEPCAPS, 1, 0, 0, 0);
        if (::setgroups(0, nullptr) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0)
            ::_exit(100);
        if (effective.size() > 0) {
            __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
            __user_cap_data_struct sets[_LINUX_CAPABILITY_U32S_3]{};
            if (::syscall(SYS_capget, &header, sets) != 0) ::_exit(101);
            for (int cap : effective) sets[cap / 32].effective |= 1u << (cap % 32);
            if (::syscall(SYS_capset, &header, sets) != 0) ::_exit(102);
        }
        ::_exit(body());
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(RunsPrivileged, RootOrAnyEffectiveCapabilityButNotAnOrdinaryUser) {
    if (::geteuid() != 0) {
        EXPECT_FALSE(runsPrivileged()) << "the tests run without capabilities";
        GTEST_SKIP() << "becoming another user needs root";
    }
    EXPECT_TRUE(runsPrivileged());
    auto privileged = [] { return runsPrivileged() ? 1 : 0; };
    EXPECT_EQ(asNobody({}, privileged), 0);
    EXPECT_EQ(asNobody({CAP_NET_RAW}, privileged), 1);
    EXPECT_EQ(asNobody({CAP_NET_ADMIN}, privileged), 1);
    EXPECT_EQ(asNobody({CAP_NET_RAW, CAP_NET_ADMIN}, privileged), 1) << "as the installed program";
}

std::string refusalText(const fs::path& path, const std::string& rule) {
    return "--data-dir " + path.string() + " refused: " + rule +
           "; a program running with privileges keeps the device list only where no other user "
           "can change it";
}

std::string groupName(gid_t gid) {
    const group* entry = ::getgrgid(gid);
    return (entry != nullptr ? "group " + std::string(entry->gr_name) + " (" : "(") + "gid " +
           std::to_string(gid) + ")";
}

// Each directory is made fresh under the scratch directory; the trust is the caller's and a
// shared group of the test's choosing, so that no rule depends on the system's own groups. A
// directory owned by another user is made with chown as root; without root the same rule is met
// by a caller other than the directory's owner.
class DataDirectoryRule : public ::testing::Test {
public:
    void SetUp() override {
        root = fs::canonical(scratch.path);
        trust.caller = ::getuid();
        trust.sharedGroup = ::getgid();
    }
    // Gives `path` to another user: nobody as root, or else the caller becomes someone else.
    void foreignOwner(const fs::path& path) {
        if (::geteuid() == 0)
            ASSERT_EQ(::chown(path.c_str(), 65534, uid_t(-1)), 0);
        else
            trust.caller = ::getuid() + 1;
    }
    std::string owner() const {
        return ::geteuid() == 0
                   ? "user nobody (uid 65534)"
                   : "user " + userName() + " (uid " + std::to_string(::getuid()) + ")";
    }
    static std::string userName() {
        const passwd* entry = ::getpwuid(::getuid());
        return entry != nullptr ? entry->pw_name : "";
    }

    ScratchDirectory scratch;
    fs::path root;
    DirectoryTrust trust;
};

TEST_F(DataDirectoryRule, TheCallersOrRootsDirectoryThatNoOtherUserCanWriteIsAccepted) {
    struct Case {
        const char* what;
        std::function<fs::path(const fs::path& root)> make;  // the --data-dir given
        std::string full;                                    // relative to root
    };
    auto withMode = [](mode_t mode) {
        return [mode](const fs::path& r) {
            fs::create_directory(r / "d");
            EXPECT_EQ(::chmod((r / "d").c_str(), mode), 0);
            return r / "d";
        };
    };
    const Case cases[] = {
        {"owner only", withMode(0700), "d"},
        {"readable by all", withMode(0755), "d"},
        {"group-writable by the shared group", withMode(02770), "d"},
        {"trailing slash",
         [](const fs::path& r) {
             fs::create_directory(r / "d");
             return fs::path(r.string() + "/d/");
         },
         "d"},
        {"not made yet", [](const fs::path& r) { return r / "new"; }, "new"},
        {"under a sticky directory all may write",
         [](const fs::path& r) {
             fs::create_directories(r / "tmp/d");
             fs::permissions(r / "tmp", fs::perms(01777));
             return r / "tmp/d";
         },
         "tmp/d"},
        {"reached through a link above it",
         [](const fs::path& r) {
             fs::create_directories(r / "real/d");
             fs::create_directory_symlink(r / "real", r / "link");
             return r / "link/d";
         },
         "real/d"},
        {"not made yet, through a link",
         [](const fs::path& r) {
             fs::create_directories(r / "real");
             fs::create_directory_symlink(r / "real", r / "link");
             return r / "link/new";
         },
         "real/new"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        fs::remove_all(root);
        fs::create_directories(root);
        const fs::path given = c.make(root);
        std::string full;
        EXPECT_EQ(dataDirectoryRefusal(given.string(), trust, &full), std::nullopt);
        EXPECT_EQ(full, (root / c.full).string()) << "the path without links";
    }
}

TEST_F(DataDirectoryRule, ADirectoryAnotherUserControlsIsRefusedWithTheRuleItBreaks) {
    using Make = std::function<fs::path(DataDirectoryRule&, const fs::path&)>;
    using Rule = std::function<std::string(const fs::path&)>;
    struct Case {
        const char* what;
        Make make;
        Rule rule;
    };
    auto made = [](const fs::path& path, mode_t mode) {
        fs::create_directories(path);
        EXPECT_EQ(::chmod(path.c_str(), mode), 0);
        return path;
    };
    // The data directory "d" with its mode, or "above/d" (or the missing "above/new") with the
    // mode of the directory above it.
    auto itself = [&](mode_t mode) -> Make {
        return [=](DataDirectoryRule&, const fs::path& r) { return made(r / "d", mode); };
    };
    auto inside = [&](mode_t aboveMode, const char* name = "d") -> Make {
        return [=](DataDirectoryRule&, const fs::path& r) {
            if (std::string(name) == "d") made(r / "above/d", 0700);
            made(r / "above", aboveMode);
            return r / "above" / name;
        };
    };
    auto itIs = [](const std::string& rule) -> Rule {
        return [=](const fs::path&) { return "it is " + rule; };
    };
    auto aboveIs = [](const std::string& rule) -> Rule {
        return [=](const fs::path& r) {
            return "the directory " + (r / "above").string() + " above it is " + rule;
        };
    };
    const std::string ownGroup = groupName(::getgid());
    const Case cases[] = {
        {"symbolic link to a good directory",
         [&](DataDirectoryRule&, const fs::path& r) {
             made(r / "real", 0700);
             fs::create_directory_symlink(r / "real", r / "d");
             return r / "d";
         },
         itIs("a symbolic link")},
        {"dangling symbolic link",
         [](DataDirectoryRule&, const fs::path& r) {
             fs::create_directory_symlink(r / "nowhere", r / "d");
             return r / "d";
         },
         itIs("a symbolic link")},
        {"a file",
         [](DataDirectoryRule&, const fs::path& r) {
             writeText(r / "d", "x");
             return r / "d";
         },
         itIs("not a directory")},
        {"owned by another user",
         [&](DataDirectoryRule& t, const fs::path& r) {
             t.foreignOwner(made(r / "d", 0700));
             return r / "d";
         },
         [this](const fs::path&) {
             return "it is owned by " + owner() + ", neither you nor root";
         }},
        {"world-writable", itself(0777), itIs("writable by every user")},
        {"world-writable and sticky", itself(01777), itIs("writable by every user")},
        {"group-writable, group not the shared one",
         [&](DataDirectoryRule& t, const fs::path& r) {
             t.trust.sharedGroup = ::getgid() + 1;
             return made(r / "d", 0770);
         },
         itIs("writable by " + ownGroup + ", not by group corvel")},
        {"group-writable, no shared group on the system",
         [&](DataDirectoryRule& t, const fs::path& r) {
             t.trust.sharedGroup.reset();
             return made(r / "d", 0770);
         },
         itIs("writable by " + ownGroup + ", not by group corvel")},
        {"a directory above it owned by another user",
         [&](DataDirectoryRule&, const fs::path& r) {
             made(r / "above/d", 0700);
             // Only root can give a directory away; without it this case is left out below.
             if (::geteuid() == 0) {
                 EXPECT_EQ(::chown((r / "above").c_str(), 65534, 65534), 0);
             }
             return r / "above/d";
         },
         aboveIs("owned by user nobody (uid 65534), neither you nor root")},
        {"a directory above it writable by every user", inside(0777),
         aboveIs("writable by every user")},
        {"a directory above it writable by the shared group", inside(02770),
         aboveIs("writable by " + ownGroup)},
        {"not made yet, under a directory all may write", inside(0777, "new"),
         aboveIs("writable by every user")},
        {"through a link into a directory all may write",
         [&](DataDirectoryRule&, const fs::path& r) {
             made(r / "above/d", 0700);
             made(r / "above", 0777);
             fs::create_directory_symlink(r / "above", r / "link");
             return r / "link/d";
         },
         aboveIs("writable by every user")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        if (::geteuid() != 0 && std::string(c.what).find("above it owned") != std::string::npos)
            continue;
        fs::remove_all(root);
        fs::create_directories(root);
        trust.caller = ::getuid();
        trust.sharedGroup = ::getgid();
        const fs::path given = c.make(*this, root);
        std::string full = "untouched";
        EXPECT_EQ(dataDirectoryRefusal(given.string(), trust, &full),
                  refusalText(given, c.rule(root)));
        EXPECT_EQ(full, "untouched");
    }
}

// The rule as the program applies it: in a privileged run (the tests run as root) the directory
// is checked before anything is made, a directory made for the run passes the rule the next time,
// and an ordinary user's own run checks nothing, as before.
class UseDataDirectory : public ::testing::Test {
protected:
    void SetUp() override {
        if (!runsPrivileged()) GTEST_SKIP() << "a privileged run needs root or capabilities";
        root = fs::canonical(scratch.path);
    }
    void TearDown() override { setDataDirectory(""); }

    ScratchDirectory scratch;
    fs::path root;
};

TEST_F(UseDataDirectory, ARefusedDirectoryIsNeitherUsedNorChanged) {
    const fs::path open = root / "open";
    fs::create_directory(open);
    ::chmod(open.c_str(), 0777);
    setDataDirectory("before");
    std::string error;
    EXPECT_EQ(useDataDirectory((open / "new").string(), error), DirectoryUse::Refused);
    EXPECT_EQ(error, refusalText(open / "new", "the directory " + open.string() +
                                                   " above it is writable by every user"));
    EXPECT_FALSE(fs::exists(open / "new")) << "nothing is made";
    EXPECT_EQ(dataDirectory(), "before");

    EXPECT_EQ(useDataDirectory(open.string(), error), DirectoryUse::Refused);
    EXPECT_EQ(error, refusalText(open, "it is writable by every user"));
    EXPECT_TRUE(fs::is_empty(open));
}

TEST_F(UseDataDirectory, ADirectoryMadeForAPrivilegedRunIsAcceptedByTheNext) {
    fs::create_directories(root / "real");
    fs::create_directory_symlink(root / "real", root / "link");
    const mode_t old = ::umask(002);
    std::string error;
    const DirectoryUse first = useDataDirectory((root / "link/data").string(), error);
    ::umask(old);
    ASSERT_EQ(first, DirectoryUse::Used) << error;
    EXPECT_EQ(dataDirectory(), (root / "real/data").string()) << "kept without links";
    struct stat info {};
    ASSERT_EQ(::stat((root / "real/data").c_str(), &info), 0);
    const std::optional<gid_t> shared = directoryTrust().sharedGroup;
    EXPECT_EQ(info.st_mode & 07777, info.st_gid == shared ? 0770u : 0750u);

    setDataDirectory("");
    EXPECT_EQ(useDataDirectory((root / "link/data").string(), error), DirectoryUse::Used) << error;
    EXPECT_EQ(dataDirectory(), (root / "real/data").string());
}

TEST_F(UseDataDirectory, AMissingDirectoryThatCannotBeMadeIsSaid) {
    std::string error;
    const fs::path missing = root / "no/such/data";
    EXPECT_EQ(useDataDirectory(missing.string(), error), DirectoryUse::NotCreated);
    EXPECT_EQ(error, missing.string() + ": cannot create the data directory");
}

TEST_F(UseDataDirectory, AnOrdinaryUsersRunKeepsItsOwnDirectoryAsItIs) {
    if (::geteuid() != 0) GTEST_SKIP() << "becoming another user needs root";
    const fs::path open = root / "open";
    fs::create_directory(open);
    ::chmod(root.c_str(), 0755);
    ::chmod(open.c_str(), 0777);
    // An ordinary user, and the same user holding the capture capabilities.
    const int ordinary = asNobody({}, [&] {
        std::string error;
        return useDataDirectory(open.string(), error) == DirectoryUse::Used &&
                       dataDirectory() == open.string()
                   ? 0
                   : 1;
    });
    EXPECT_EQ(ordinary, 0);
    const int capable = asNobody({CAP_NET_RAW, CAP_NET_ADMIN}, [&] {
        std::string error;
        return useDataDirectory(open.string(), error) == DirectoryUse::Refused ? 0 : 1;
    });
    EXPECT_EQ(capable, 0);
}

}  // namespace
}  // namespace corvel::test
