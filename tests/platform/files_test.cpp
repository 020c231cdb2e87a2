// SPDX-License-Identifier: MIT
#include "platform/files.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

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

}  // namespace
}  // namespace corvel
