// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <random>
#include <string>
#include <vector>

#include "keys/derive.h"
#include "platform/bytes.h"
#include "sim/firmware_files.h"
#include "sim/pib.h"
#include "tests/cli/cli_run.h"

// What the check commands say about files that are not what they seem: the newer image format,
// a chain broken early, bytes that are no PIB; and the upgrade command's choice of files.
namespace corvel {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;
using test::CliRun;
using test::corvel;

const std::string kNewer = "newer image format, not supported by this utility";

class ImageChecks : public ::testing::Test {
protected:
    void SetUp() override {
        dir = fs::temp_directory_path() / ("corvel-cli-images-" + std::to_string(::getpid()));
        fs::create_directories(dir);
    }
    void TearDown() override { fs::remove_all(dir); }

    std::string write(const std::string& name, const Bytes& bytes) {
        const std::string path = (dir / name).string();
        std::ofstream(path, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
        return path;
    }

    fs::path dir;
};

Bytes threeImages() {
    return sim::buildNvm({{0x1000, 100}, {0x2000, 200}, {0x3000, 300}});
}

TEST_F(ImageChecks, NvmCheckNamesTheNewerFormatAndListsNothingOfIt) {
    const std::string path = write("new.nvm", sim::wrapInNewerChain(threeImages()));
    CliRun run = corvel({"nvm", "check", path});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, "");
    EXPECT_NE(run.err.find(kNewer), std::string::npos) << run.err;

    run = corvel({"nvm", "check", path, "--json"});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(
        nlohmann::json::parse(run.out),
        (nlohmann::json{{"images", nlohmann::json::array()}, {"valid", false}, {"error", kNewer}}));
}

// Past a header whose checksum fails, its next-offset word is meaningless: the listing ends with
// the bad header, whichever of the chain it is.
TEST_F(ImageChecks, NvmCheckListsNothingPastTheFirstBadHeader) {
    for (size_t bad : {0u, 1u}) {
        Bytes nvm = threeImages();
        const size_t at = bad == 0 ? 0 : 44 + 100;
        nvm[at + 8] ^= 0x40;
        const CliRun run = corvel({"nvm", "check", write("bad.nvm", nvm), "--json"});
        EXPECT_EQ(run.status, 1);
        const auto images = nlohmann::json::parse(run.out)["images"];
        ASSERT_EQ(images.size(), bad + 1);
        EXPECT_EQ(images[bad]["headerValid"], false);
    }
}

struct NotAPib {
    const char* name;
    Bytes bytes;
    const char* reason;
};

std::vector<NotAPib> notPibs() {
    std::mt19937 random(7);
    Bytes noise(3000);
    for (uint8_t& b : noise) b = uint8_t(random());
    put16le(&noise[4], 0xE123);  // what these bytes happen to hold
    Bytes zeroLength = sim::buildPib(Mac{0x00, 0xB0, 0x52, 1, 2, 3}, publicAvKey(), 3, 3);
    put16le(&zeroLength[4], 0);
    Bytes oddLength = zeroLength;
    put16le(&oddLength[4], 7990);
    Bytes cut = sim::buildPib(Mac{0x00, 0xB0, 0x52, 1, 2, 3}, publicAvKey(), 3, 3);
    cut.resize(5000);
    return {
        {"random bytes", noise, "not a usable PIB"},
        {"length field of 0", zeroLength, "less than the 116 bytes"},
        {"length not whole words", oddLength, "not a whole number of 32-bit words"},
        {"shorter than its length field", cut, "its length field says 7992"},
        {"newer format", sim::wrapInNewerChain(sim::buildPib(Mac{}, publicAvKey(), 3, 3)),
         kNewer.c_str()},
    };
}

TEST_F(ImageChecks, PibCheckSaysWhyAFileIsNoPib) {
    for (const NotAPib& c : notPibs()) {
        const std::string path = write("odd.pib", c.bytes);
        CliRun run = corvel({"pib", "check", path});
        EXPECT_EQ(run.status, 1) << c.name;
        EXPECT_EQ(run.out, "") << c.name;
        EXPECT_NE(run.err.find(c.reason), std::string::npos) << c.name << ": " << run.err;
        run = corvel({"pib", "check", path, "--json"});
        EXPECT_EQ(run.status, 1) << c.name;
        EXPECT_NE((run.out + run.err).find(c.reason), std::string::npos) << c.name;
    }
}

TEST_F(ImageChecks, UpgradeTakesOneFamilysFiles) {
    const std::vector<std::vector<std::string>> wrong{
        {"upgrade", "--nvm", "a.nvm", "--img", "a.img"},
        {"upgrade", "--nvm", "a.nvm"},
        {"upgrade", "--cfg", "a.cfg"},
        {"upgrade"},
    };
    for (const auto& args : wrong) {
        const CliRun run = corvel(args);
        EXPECT_EQ(run.status, 2) << args.size();
        EXPECT_NE(run.err.find("upgrade"), std::string::npos) << run.err;
    }
    const CliRun help = corvel({"upgrade", "--help"});
    EXPECT_EQ(help.status, 0);
    for (const char* what : {"*.NVM", "*.PIB", "*.IMG", "*.CFG"})
        EXPECT_NE(help.out.find(what), std::string::npos) << what;
}

}  // namespace
}  // namespace corvel
