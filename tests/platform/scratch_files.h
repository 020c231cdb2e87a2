// SPDX-License-Identifier: MIT
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

// A fixture with a scratch directory of its own (named after `prefix` and the process, removed
// afterwards) and the files a test writes into it: firmware and parameter images, mostly.
namespace corvel::test {

class ScratchFiles : public ::testing::Test {
protected:
    explicit ScratchFiles(const std::string& prefix)
        : dir(std::filesystem::temp_directory_path() / (prefix + std::to_string(::getpid()))) {}
    void SetUp() override { std::filesystem::create_directories(dir); }
    void TearDown() override { std::filesystem::remove_all(dir); }

    // Writes `bytes` to `name` in the directory; its path.
    std::string write(const std::string& name, const std::vector<uint8_t>& bytes) {
        const std::string path = (dir / name).string();
        std::ofstream(path, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
        return path;
    }

    std::filesystem::path dir;
};

}  // namespace corvel::test
