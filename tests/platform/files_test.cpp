// SPDX-License-Identifier: MIT
#include "platform/files.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace corvel {
namespace {

namespace fs = std::filesystem;

class Files : public ::testing::Test {
protected:
    void SetUp() override {
        dir = fs::temp_directory_path() /
              ("corvel-files-" + std::to_string(::getpid()) + "-" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir);
        fs::create_directories(dir);
    }
    void TearDown() override { fs::remove_all(dir); }
    size_t entries() const {
        return size_t(std::distance(fs::directory_iterator(dir), fs::directory_iterator()));
    }
    fs::path dir;
};

// Sets the process's umask for the scope of a test.
class ScopedUmask {
public:
    explicit ScopedUmask(mode_t mask) : previous_(::umask(mask)) {}
    ~ScopedUmask() { ::umask(previous_); }
    ScopedUmask(const ScopedUmask&) = delete;
    ScopedUmask& operator=(const ScopedUmask&) = delete;

private:
    mode_t previous_;
};

mode_t modeOf(const fs::path& path) {
    struct stat info {};
    EXPECT_EQ(::lstat(path.c_str(), &info), 0) << path;
    return info.st_mode & 07777;
}

// Both writers, each leaving `bytes` at `path` with `mode`.
using Writer = std::function<bool(const std::string& path, const std::vector<uint8_t>& bytes,
                                  mode_t mode, std::string& error)>;
const std::pair<const char*, Writer> kWriters[] = {
    {"writeFileAtomically",
     [](const std::string& path, const std::vector<uint8_t>& bytes, mode_t mode,
        std::string& error) { return writeFileAtomically(path, bytes, error, mode); }},
    {"openForWriting",
     [](const std::string& path, const std::vector<uint8_t>& bytes, mode_t mode,
        std::string& error) {
         std::FILE* out = openForWriting(path, mode, error);
         if (out == nullptr) return false;
         std::fwrite(bytes.data(), 1, bytes.size(), out);
         return std::fclose(out) == 0;
     }},
};

// A file planted under the name with set-user-id, set-group-id, sticky or execute bits lends
// none of them to the file written in its place, whatever the umask: the mode is the caller's,
// exactly.
TEST_F(Files, WritersGiveTheChosenModeNeverTheReplacedFiles) {
    const mode_t planted[] = {06755, 06777, 04755, 01777, 0777, 0600};
    const mode_t chosen[] = {0600, 0660, 0640};
    const mode_t umasks[] = {0, 022, 077};
    const fs::path path = dir / "target";
    for (const auto& [name, write] : kWriters)
        for (mode_t old : planted)
            for (mode_t mode : chosen)
                for (mode_t mask : umasks) {
                    SCOPED_TRACE(std::string(name) + " old " + std::to_string(old) + " mode " +
                                 std::to_string(mode) + " umask " + std::to_string(mask));
                    std::ofstream(path) << "#!/bin/sh\nplanted\n";
                    ASSERT_EQ(::chmod(path.c_str(), old), 0);
                    ASSERT_EQ(modeOf(path), old);
                    ScopedUmask umask(mask);
                    std::string error;
                    ASSERT_TRUE(write(path, {9, 8}, mode, error)) << error;
                    EXPECT_EQ(modeOf(path), mode);
                    std::vector<uint8_t> read;
                    ASSERT_TRUE(readWholeFile(path, read, error)) << error;
                    EXPECT_EQ(read, (std::vector<uint8_t>{9, 8}));
                    EXPECT_EQ(entries(), 1u) << "no temporary file left";
                }
}

// Asked for more than read and write bits, a writer still writes plain data that only its
// owner and group may change.
TEST_F(Files, WritersNeverSetSpecialExecuteOrWorldWriteBits) {
    const struct {
        mode_t asked;
        mode_t written;
    } cases[] = {{06755, 0644}, {04777, 0664}, {01666, 0664}, {0750, 0640}, {0666, 0664},
                 {0602, 0600}};
    for (const auto& [name, write] : kWriters)
        for (const auto& c : cases) {
            SCOPED_TRACE(std::string(name) + " asked " + std::to_string(c.asked));
            const fs::path path = dir / "fresh";
            fs::remove(path);
            std::string error;
            ASSERT_TRUE(write(path, {1}, c.asked, error)) << error;
            EXPECT_EQ(modeOf(path), c.written);
        }
}

// The writers take the name only: a file someone else holds under the name (here through a
// second link, as its owner would keep it) keeps its inode, content and mode.
TEST_F(Files, WritersReplaceTheEntryNotTheFileBehindIt) {
    for (const auto& [name, write] : kWriters) {
        SCOPED_TRACE(name);
        const fs::path path = dir / "report.txt";
        const fs::path kept = dir / "theirs";
        fs::remove(path);
        fs::remove(kept);
        std::ofstream(kept) << "their own text";
        ::chmod(kept.c_str(), 0666);
        fs::create_hard_link(kept, path);
        std::string error;
        ASSERT_TRUE(write(path, {'n', 'e', 'w'}, 0600, error)) << error;
        std::vector<uint8_t> bytes;
        ASSERT_TRUE(readWholeFile(kept, bytes, error)) << error;
        EXPECT_EQ(std::string(bytes.begin(), bytes.end()), "their own text");
        EXPECT_EQ(modeOf(kept), 0666u);
        EXPECT_EQ(fs::hard_link_count(kept), 1u);
        ASSERT_TRUE(readWholeFile(path, bytes, error)) << error;
        EXPECT_EQ(std::string(bytes.begin(), bytes.end()), "new");
    }
}

TEST_F(Files, ReadTellsTheModeOfTheFileItRead) {
    const fs::path file = dir / "image.pib";
    std::ofstream(file) << "x";
    ASSERT_EQ(::chmod(file.c_str(), 06751), 0);
    std::vector<uint8_t> bytes;
    std::string error;
    mode_t mode = 0;
    ASSERT_TRUE(readWholeFile(file, bytes, error, {}, &mode)) << error;
    EXPECT_EQ(mode, 06751u);
}

TEST_F(Files, FailedReplaceLeavesTheOldEntryAndNoTemporary) {
    const fs::path target = dir / "busy";
    fs::create_directories(target / "inside");  // a directory cannot be replaced by a file
    std::string error;
    EXPECT_FALSE(writeFileAtomically(target, {1}, error, 0600));
    EXPECT_NE(error.find("busy"), std::string::npos) << error;
    EXPECT_TRUE(fs::is_directory(target / "inside"));
    EXPECT_EQ(entries(), 1u);

    EXPECT_FALSE(writeFileAtomically(dir / "missing" / "x", {1}, error, 0600));
}

TEST_F(Files, ReadRefusesMissingFilesAndDirectoriesWithAReason) {
    std::vector<uint8_t> bytes;
    std::string error;
    EXPECT_FALSE(readWholeFile(dir / "absent", bytes, error));
    EXPECT_NE(error.find("No such file"), std::string::npos) << error;
    EXPECT_FALSE(readWholeFile(dir, bytes, error));
    EXPECT_NE(error.find("not a regular file"), std::string::npos) << error;
}

// What a careless user or another local user may leave where the program reads or writes its
// files: none of it is followed, waited on or truncated.
TEST_F(Files, PlantedEntriesAreRefusedWithoutBlockingOrFollowing) {
    const fs::path target = dir / "target";
    std::ofstream(target) << "precious";
    struct Case {
        const char* what;
        std::function<void(const fs::path&)> plant;
        const char* reason;
    };
    const Case cases[] = {
        {"FIFO", [](const fs::path& at) { ASSERT_EQ(::mkfifo(at.c_str(), 0600), 0); },
         "not a regular file"},
        {"directory", [](const fs::path& at) { fs::create_directory(at); }, "not a regular file"},
        {"link to a file", [&](const fs::path& at) { fs::create_symlink(target, at); },
         "is a symbolic link, refused"},
        {"link to a FIFO",
         [&](const fs::path& at) {
             ASSERT_EQ(::mkfifo((dir / "fifo").c_str(), 0600), 0);
             fs::create_symlink(dir / "fifo", at);
         },
         "is a symbolic link, refused"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const fs::path at = dir / "planted";
        fs::remove_all(at);
        fs::remove(dir / "fifo");
        c.plant(at);
        std::vector<uint8_t> bytes;
        std::string error;
        EXPECT_FALSE(readWholeFile(at, bytes, error));
        EXPECT_EQ(error, at.string() + ": " + c.reason);
        error.clear();
        EXPECT_EQ(openForReading(at, error), nullptr);
        EXPECT_FALSE(error.empty());
        error.clear();
        EXPECT_EQ(openForWriting(at, 0644, error), nullptr);
        EXPECT_EQ(error, at.string() + ": " + c.reason);
        error.clear();
        EXPECT_FALSE(isRegularOrAbsent(at, error));
        EXPECT_EQ(error, at.string() + ": " + c.reason);
    }
    std::string error;
    EXPECT_TRUE(isRegularOrAbsent(target, error)) << error;
    EXPECT_TRUE(isRegularOrAbsent(dir / "absent", error)) << error;
    EXPECT_EQ(fs::file_size(target), 8u) << "never truncated through a link";
}

TEST_F(Files, ReadFollowsALinkOnlyWhenAskedAndKeepsToItsSizeLimit) {
    const fs::path file = dir / "image";
    std::ofstream(file) << "0123456789";
    fs::create_symlink(file, dir / "link");
    std::vector<uint8_t> bytes;
    std::string error;
    EXPECT_TRUE(readWholeFile(dir / "link", bytes, error, ReadRules{100, true})) << error;
    EXPECT_EQ(bytes.size(), 10u);
    EXPECT_TRUE(readWholeFile(file, bytes, error, ReadRules{10, false})) << error;
    EXPECT_FALSE(readWholeFile(file, bytes, error, ReadRules{9, false}));
    EXPECT_EQ(error, file.string() + ": larger than 9 bytes");
}

TEST_F(Files, OpenForWritingReplacesARegularFilesContent) {
    const fs::path file = dir / "report.txt";
    std::ofstream(file) << "an older and longer report";
    std::string error;
    std::FILE* out = openForWriting(file, 0644, error);
    ASSERT_NE(out, nullptr) << error;
    std::fputs("new", out);
    std::fclose(out);
    std::vector<uint8_t> bytes;
    ASSERT_TRUE(readWholeFile(file, bytes, error)) << error;
    EXPECT_EQ(std::string(bytes.begin(), bytes.end()), "new");
}

// Directories whose entries other users could add, replace or take away, for a user 1000 whose
// primary group is 1000.
TEST(DirectoryWriters, OthersCanWriteByModeOwnerAndGroup) {
    const FileUser user{1000, 1000};
    constexpr gid_t kShared = 990;
    struct Case {
        const char* what;
        mode_t mode;
        uid_t owner;
        gid_t group;
        std::optional<gid_t> sharedGroup;
        bool others;
    };
    const Case cases[] = {
        {"own 0755", 0755, 1000, 1000, {}, false},
        {"own 0700", 0700, 1000, 1000, {}, false},
        {"own 0775, own primary group", 0775, 1000, 1000, {}, false},
        {"own 0775, another group", 0775, 1000, 100, {}, true},
        {"own 0777", 0777, 1000, 1000, {}, true},
        {"own sticky 1755", 01755, 1000, 1000, {}, false},
        {"own sticky 1777", 01777, 1000, 1000, {}, true},
        {"/tmp: root's 1777", 01777, 0, 0, {}, true},
        {"root's sticky 1770, own primary group", 01770, 0, 1000, {}, true},
        {"root's 0755", 0755, 0, 0, {}, false},
        {"another user's 0755", 0755, 1001, 1001, {}, true},
        {"another user's 0700", 0700, 1001, 1000, {}, true},
        {"shared 2770 root:corvel, corvel shared", 02770, 0, kShared, kShared, false},
        {"shared 2770 root:corvel, not shared", 02770, 0, kShared, {}, true},
        {"shared group but world-writable", 02777, 0, kShared, kShared, true},
    };
    for (const Case& c : cases)
        EXPECT_EQ(othersCanWrite(c.mode, c.owner, c.group, user, c.sharedGroup), c.others)
            << c.what;

    const FileUser root{0, 0};
    EXPECT_FALSE(othersCanWrite(0775, 0, 0, root));
    EXPECT_TRUE(othersCanWrite(01777, 0, 0, root));
    EXPECT_TRUE(othersCanWrite(0755, 1000, 1000, root)) << "a user's own directory";
}

TEST_F(Files, OthersCanWriteADirectoryOnDisk) {
    for (const auto& [mode, others] : {std::pair{0755, false}, std::pair{0700, false},
                                       std::pair{0777, true}, std::pair{01777, true}}) {
        ASSERT_EQ(::chmod(dir.c_str(), mode_t(mode)), 0);
        EXPECT_EQ(othersCanWriteDirectory(dir), others) << mode;
    }
    ::chmod(dir.c_str(), 0755);
    std::ofstream(dir / "file") << "x";
    EXPECT_TRUE(othersCanWriteDirectory(dir / "file")) << "not a directory";
    EXPECT_TRUE(othersCanWriteDirectory(dir / "absent")) << "cannot be examined";
}

}  // namespace
}  // namespace corvel
