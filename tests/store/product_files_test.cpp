// SPDX-License-Identifier: MIT
#include "store/product_files.h"

#include <gtest/gtest.h>

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
