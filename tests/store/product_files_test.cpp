// SPDX-License-Identifier: MIT
#include "store/product_files.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include "platform/notifier.h"
#include "platform/process_state.h"
#include "store/data_directory.h"

#include "tests/store/store_test_support.h"

namespace corvel::test {
namespace {

class ProductFiles : public ::testing::Test {
protected:
    void SetUp() override {
        for (const fs::path& p : {work, first, second}) fs::create_directories(p);
        setProductDataFolders({first.string(), second.string()});
    }
    void TearDown() override { restoreProductDataFolders(); }

    ScratchDirectory scratch;
    fs::path work = scratch.path / "work";
    fs::path first = scratch.path / "first";
    fs::path second = scratch.path / "second";
    WorkingDirectory inWork{(fs::create_directories(work), work)};
};

TEST_F(ProductFiles, FirstRegularFileInSearchOrderWins) {
    EXPECT_EQ(findProductFile("Readme.txt"), "");
    Bytes bytes{1};
    std::string path = "unchanged";
    EXPECT_FALSE(readProductFile("Readme.txt", bytes, path));
    EXPECT_TRUE(bytes.empty());
    EXPECT_EQ(path, "");

    writeText(second / "Readme.txt", "second");
    EXPECT_EQ(findProductFile("Readme.txt"), (second / "Readme.txt").string());
    writeText(first / "Readme.txt", "first");
    EXPECT_EQ(findProductFile("Readme.txt"), (first / "Readme.txt").string());
    // A directory of that name is not the file.
    fs::create_directories(work / "Readme.txt");
    EXPECT_EQ(findProductFile("Readme.txt"), (first / "Readme.txt").string());
    ASSERT_TRUE(readProductFile("Readme.txt", bytes, path));
    EXPECT_EQ(bytes, Bytes({'f', 'i', 'r', 's', 't'}));
    EXPECT_EQ(path, (first / "Readme.txt").string());

    fs::remove(work / "Readme.txt");
    writeText(work / "Readme.txt", "work");
    EXPECT_EQ(findProductFile("Readme.txt"), "Readme.txt");
}

// Another user's files in a working directory everybody can write (as /tmp): a run with
// privileges reads the installed copies and says so once; a working directory only its owner can
// write is read as before.
TEST_F(ProductFiles, APrivilegedRunTakesNothingFromAWorkingDirectoryOthersCanWrite) {
    if (!runsPrivileged()) GTEST_SKIP() << "the rule is for runs with privileges (root here)";
    resetProcessState();
    RecordingNotifier recorder;
    ScopedNotifier notifierScope(recorder);
    for (const char* name : {"OEMPrefs.dat", "OUIList.txt"}) {
        writeText(first / name, "installed");
        writeText(work / name, "planted");
        ASSERT_EQ(::chown((work / name).c_str(), 65534, 65534), 0);
    }
    fs::permissions(work, fs::perms::all | fs::perms::sticky_bit);

    for (const char* name : {"OEMPrefs.dat", "OUIList.txt"}) {
        EXPECT_EQ(findProductFile(name), (first / name).string()) << name;
        Bytes bytes;
        std::string path;
        ASSERT_TRUE(readProductFile(name, bytes, path)) << name;
        EXPECT_EQ(std::string(bytes.begin(), bytes.end()), "installed") << name;
    }
    ASSERT_EQ(recorder.messages.size(), 1u);
    EXPECT_EQ(recorder.messages[0].title, "Information");
    EXPECT_EQ(recorder.messages[0].text,
              "The working directory " + fs::current_path().string() +
                  " can be written by other users: a run with privileges does not read its "
                  "OEMPrefs.dat or any other product file there, but the installed ones.");

    fs::permissions(work, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                              fs::perms::others_read | fs::perms::others_exec);
    EXPECT_EQ(findProductFile("OEMPrefs.dat"), "OEMPrefs.dat");
    EXPECT_EQ(recorder.messages.size(), 1u);
}

TEST_F(ProductFiles, DefaultFoldersAreTheInstalledAndTheSourceTreesDataFolders) {
    restoreProductDataFolders();
    const auto& folders = productDataFolders();
    ASSERT_EQ(folders.size(), 2u);
    EXPECT_NE(folders[0].find("share/corvel-utility"), std::string::npos) << folders[0];
    EXPECT_EQ(fs::path(folders[1]), fs::path(CORVEL_SOURCE_DIR) / "data");
    // Run from the build tree, every shipped file is found.
    for (const char* name : {"OEMPrefs.dat", "OUIList.txt", "Readme.txt"})
        EXPECT_FALSE(findProductFile(name).empty()) << name;
}

}  // namespace
}  // namespace corvel::test
