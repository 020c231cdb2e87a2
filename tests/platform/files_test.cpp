// SPDX-License-Identifier: MIT
#include "platform/files.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <functional>

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

TEST_F(Files, AtomicWriteReplacesContentKeepsModeAndLeavesNoTemporary) {
    const std::string path = dir / "image.pib";
    std::string error;
    ASSERT_TRUE(writeFileAtomically(path, {1, 2, 3}, error)) << error;
    ::chmod(path.c_str(), 0600);
    ASSERT_TRUE(writeFileAtomically(path, {9, 8}, error)) << error;

    std::vector<uint8_t> read;
    ASSERT_TRUE(readWholeFile(path, read, error)) << error;
    EXPECT_EQ(read, (std::vector<uint8_t>{9, 8}));
    struct stat info {};
    ASSERT_EQ(::stat(path.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    EXPECT_EQ(entries(), 1u);
}

TEST_F(Files, FailedReplaceLeavesTheOldEntryAndNoTemporary) {
    const fs::path target = dir / "busy";
    fs::create_directories(target / "inside");  // a directory cannot be replaced by a file
    std::string error;
    EXPECT_FALSE(writeFileAtomically(target, {1}, error));
    EXPECT_NE(error.find("busy"), std::string::npos) << error;
    EXPECT_TRUE(fs::is_directory(target / "inside"));
    EXPECT_EQ(entries(), 1u);

    EXPECT_FALSE(writeFileAtomically(dir / "missing" / "x", {1}, error));
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
        EXPECT_FALSE(error.empty());
    }
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

}  // namespace
}  // namespace corvel
