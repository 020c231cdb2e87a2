// SPDX-License-Identifier: MIT
// The shipped example images, and what corvel's checks accept and refuse, read again by an
// independent tool: chknvm and chkpib of plc-utils. Each file is judged by both; they agree.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "keys/derive.h"
#include "platform/bytes.h"
#include "tests/e2e/netns_run.h"
#include "tests/platform/scratch_files.h"

namespace corvel::e2e {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;

constexpr char kChknvm[] = "/usr/bin/chknvm";
constexpr char kChkpib[] = "/usr/bin/chkpib";

Bytes readBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

uint32_t complementedXor(const uint8_t* bytes, size_t words) {
    uint32_t x = 0;
    for (size_t i = 0; i < words; ++i) x ^= get32le(bytes + 4 * i);
    return ~x;
}

// The header at `at` sealed again after a word of it was changed: word 10 makes the XOR of its
// eleven words all ones.
void reseal(Bytes& nvm, size_t at) {
    put32le(&nvm[at + 40], 0);
    put32le(&nvm[at + 40], complementedXor(&nvm[at], 10));
}

void resealPib(Bytes& pib) {
    put32le(&pib[8], 0);
    put32le(&pib[8], complementedXor(pib.data(), get16le(&pib[4]) / 4));
}

class ImageTools : public test::ScratchFiles {
protected:
    ImageTools() : ScratchFiles("corvel-e2e-images-") {}
    void SetUp() override {
        ASSERT_TRUE(fs::exists(kChknvm) && fs::exists(kChkpib))
            << "plc-utils-extra (chknvm, chkpib) is not installed: scripts/setup installs it";
        ScratchFiles::SetUp();
    }

    const std::string corvel = binaryPath("app/corvel");
};

TEST_F(ImageTools, TheShippedExamplesAreSoundToBoth) {
    const std::string nvm = sourcePath("data/examples/example.nvm");
    const std::string pib = sourcePath("data/examples/example.pib");
    EXPECT_EQ(runCommand({kChknvm, nvm}).status, 0) << runCommand({kChknvm, nvm}).err;
    EXPECT_EQ(runCommand({kChkpib, pib}).status, 0) << runCommand({kChkpib, pib}).err;
    const CommandResult nvmCheck = runCommand({corvel, "nvm", "check", nvm});
    EXPECT_EQ(nvmCheck.status, 0) << nvmCheck.out << nvmCheck.err;
    const CommandResult pibCheck = runCommand({corvel, "pib", "check", pib});
    EXPECT_EQ(pibCheck.status, 0) << pibCheck.out << pibCheck.err;
    EXPECT_EQ(pibCheck.err, "");
}

// The example firmware changed in the ways a damaged or tampered file is: corvel refuses exactly
// what chknvm refuses, and for an image checksum both name the same image.
TEST_F(ImageTools, NvmCheckRefusesWhatChknvmRefuses) {
    const Bytes example = readBytes(sourcePath("data/examples/example.nvm"));
    ASSERT_EQ(get32le(&example[36]), 144u);  // images behind headers at 0 and 144
    const struct {
        const char* name;
        std::function<void(Bytes&)> change;
        const char* chknvmSays;  // empty: the file is sound
        int badImage;            // the image whose checksum fails, or -1
    } cases[] = {
        {"as shipped", [](Bytes&) {}, "", -1},
        {"a bit of the first image", [](Bytes& b) { b[44 + 37] ^= 0x02; }, "bad image checksum", 0},
        {"a bit of the second image", [](Bytes& b) { b[144 + 44 + 60] ^= 0x40; },
         "bad image checksum", 1},
        {"the first image checksum, header resealed",
         [](Bytes& b) {
             put32le(&b[16], get32le(&b[16]) + 1);
             reseal(b, 0);
         },
         "bad image checksum", 0},
        {"a bit of the second header", [](Bytes& b) { b[144 + 8] ^= 0x01; },
         "bad NVM header checksum", -1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Bytes file = example;
        c.change(file);
        const std::string path = write("fw.nvm", file);
        const bool sound = *c.chknvmSays == '\0';
        const CommandResult independent = runCommand({kChknvm, path});
        EXPECT_EQ(independent.status == 0, sound) << independent.err;
        EXPECT_NE(independent.err.find(c.chknvmSays), std::string::npos) << independent.err;
        const CommandResult check = runCommand({corvel, "nvm", "check", path, "--json"});
        EXPECT_EQ(check.status == 0, sound) << check.out << check.err;
        const auto json = nlohmann::json::parse(check.out);
        EXPECT_EQ(json["valid"], sound);
        if (c.badImage < 0) continue;
        const std::string module = " module " + std::to_string(c.badImage);
        EXPECT_NE(independent.err.find(module), std::string::npos) << independent.err;
        for (size_t i = 0; i < json["images"].size(); ++i)
            EXPECT_EQ(json["images"][i]["imageValid"], int(i) != c.badImage) << i;
    }
}

// The example PIB changed: a byte under its checksum is refused by both; a preferred NID that is
// not its NMK's (the file otherwise sound) is what chkpib refuses and corvel warns of.
TEST_F(ImageTools, PibCheckSeesWhatChkpibSees) {
    const Bytes example = readBytes(sourcePath("data/examples/example.pib"));
    const NetworkId otherNid = deriveNID(deriveNMK("AnotherNetwork"));
    const struct {
        const char* name;
        std::function<void(Bytes&)> change;
        bool chkpibAccepts;
        int corvelStatus;
        bool corvelWarns;
    } cases[] = {
        {"as shipped", [](Bytes&) {}, true, 0, false},
        {"a byte of the MAC", [](Bytes& b) { b[15] ^= 0x08; }, false, 1, false},
        {"another network's NID, checksum made again",
         [&](Bytes& b) {
             std::copy(otherNid.begin(), otherNid.end(), &b[248]);
             resealPib(b);
         },
         false, 0, true},
        {"another NMK, checksum made again",
         [](Bytes& b) {
             const Key16 nmk = deriveNMK("AnotherNetwork");
             std::copy(nmk.begin(), nmk.end(), &b[100]);
             resealPib(b);
         },
         false, 0, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Bytes file = example;
        c.change(file);
        const std::string path = write("device.pib", file);
        const CommandResult independent = runCommand({kChkpib, path});
        EXPECT_EQ(independent.status == 0, c.chkpibAccepts) << independent.err;
        EXPECT_EQ(independent.err.find("wrong Preferred NID") != std::string::npos, c.corvelWarns)
            << independent.err;
        const CommandResult check = runCommand({corvel, "pib", "check", path});
        EXPECT_EQ(check.status, c.corvelStatus) << check.out << check.err;
        EXPECT_EQ(check.err.find("does not belong to the PIB's NMK") != std::string::npos,
                  c.corvelWarns)
            << check.err;
    }
}

}  // namespace
}  // namespace corvel::e2e
