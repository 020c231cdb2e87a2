// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
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
#include "tests/platform/scratch_files.h"

// What the check commands say about files that are not what they seem: the newer image format,
// a chain broken early, bytes that are no PIB; and the upgrade command's choice of files.
namespace corvel {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;
using test::CliRun;
using test::corvel;

const std::string kNewerRefusal =
    "newer image format: the firmware file is in the newer image format (96-byte headers); this "
    "utility upgrades only with firmware of the older format (44-byte headers)";
const std::string kNewerPibRefusal =
    "newer image format: the PIB file is a parameter block wrapped in the newer image format "
    "(96-byte headers); this utility upgrades only with a bare PIB";

class ImageChecks : public test::ScratchFiles {
protected:
    ImageChecks() : ScratchFiles("corvel-cli-images-") {}
};

Bytes threeImages() {
    return sim::buildNvm({{0x1000, 100}, {0x2000, 200}, {0x3000, 300}});
}

// Firmware, parameters and a type no public documentation names: headers at 0, 1096 and 1896.
Bytes newerChain() {
    return sim::buildNewerChain({{0x04, sim::patternBytes(1000, 1), 0x00100000, 0x00100040},
                                 {0x0F, sim::patternBytes(704, 2), 0x01F00000, 0},
                                 {0x30, sim::patternBytes(64, 3), 0x02000000, 0}});
}

TEST_F(ImageChecks, NvmCheckListsTheNewerChainAndSaysTheUpgradeRefusesIt) {
    const std::string path = write("new.nvm", newerChain());
    CliRun run = corvel({"nvm", "check", path});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out,
              "newer image format, version 1.1 (96-byte headers)\n"
              "image 0: offset 0, module type 4 (Runtime Firmware), load address 0x00100000, "
              "length 1000, entry point 0x00100040, next 1096, header valid, image valid\n"
              "image 1: offset 1096, module type 15 (Runtime Parameters), load address "
              "0x01F00000, length 704, entry point 0x00000000, next 1896, header valid, image "
              "valid\n"
              "image 2: offset 1896, module type 48, load address 0x02000000, length 64, entry "
              "point 0x00000000, next none, header valid, image valid\n"
              "chain valid\n");
    EXPECT_NE(run.err.find(kNewerRefusal), std::string::npos) << run.err;

    run = corvel({"nvm", "check", path, "--json"});
    EXPECT_EQ(run.status, 1);
    const auto json = nlohmann::json::parse(run.out);
    EXPECT_EQ(json["format"], "newer");
    EXPECT_EQ(json["version"], "1.1");
    EXPECT_EQ(json["valid"], true);
    EXPECT_EQ(json["reason"], nullptr);
    EXPECT_EQ(json["upgradeSupported"], false);
    ASSERT_EQ(json["images"].size(), 3u);
    EXPECT_EQ(json["images"][1], (nlohmann::json{{"offset", 1096},
                                                 {"moduleType", 15},
                                                 {"moduleName", "Runtime Parameters"},
                                                 {"loadAddress", 0x01F00000},
                                                 {"length", 704},
                                                 {"entryPoint", 0},
                                                 {"next", 1896},
                                                 {"previous", 0},
                                                 {"headerValid", true},
                                                 {"imageValid", true}}));
    EXPECT_EQ(json["images"][2]["moduleName"], nullptr);
    EXPECT_NE(json["error"].get<std::string>().find(kNewerRefusal), std::string::npos);
}

struct BrokenChain {
    const char* name;
    size_t at;  // byte to change, or the file's new size when `cut`
    bool cut;
    uint32_t word;  // written at `at` and the header sealed again, when not 0
    size_t listed;
    const char* reason;
};

// A broken newer chain is listed as far as it goes and refused with its reason.
TEST_F(ImageChecks, NvmCheckRefusesABrokenNewerChainWithItsReason) {
    const BrokenChain cases[] = {
        {"bad header checksum", 1096 + 12, false, 0, 2,
         "chain INVALID: the header at 1096 has a bad header checksum"},
        {"loops back", 1896 + 28, false, 96, 3,
         "chain INVALID: the header at 1896 names 96 as the next header, back along the chain: "
         "the chain loops"},
        {"runs past the file", 1896 + 30, true, 0, 2,
         "chain INVALID: the header at 1896 runs past the end of the file (1926 bytes)"},
        {"image past the file", 2000, true, 0, 3,
         "chain INVALID: the image behind the header at 1896 (64 bytes) runs past the end of the "
         "file (2000 bytes)"},
        {"bad first header", 40, false, 0, 1,
         "chain INVALID: the header at 0 has a bad header checksum"},
    };
    for (const BrokenChain& c : cases) {
        Bytes file = newerChain();
        if (c.cut) {
            file.resize(c.at);
        } else if (c.word != 0) {
            put32le(&file[c.at], c.word);
            const size_t header = c.at < 1096 ? 0 : c.at < 1896 ? 1096 : 1896;
            sim::sealNewerHeader(&file[header]);
        } else {
            file[c.at] ^= 0x20;
        }
        const std::string path = write("broken.nvm", file);
        CliRun run = corvel({"nvm", "check", path});
        EXPECT_EQ(run.status, 1) << c.name;
        EXPECT_EQ(run.out.rfind("newer image format, version 1.1", 0), 0u) << c.name << run.out;
        EXPECT_NE(run.out.find(std::string(c.reason) + "\n"), std::string::npos)
            << c.name << ": " << run.out;
        EXPECT_NE(run.err.find(kNewerRefusal), std::string::npos) << c.name;
        run = corvel({"nvm", "check", path, "--json"});
        const auto json = nlohmann::json::parse(run.out);
        EXPECT_EQ(json["valid"], false) << c.name;
        EXPECT_EQ(json["images"].size(), c.listed) << c.name;
        EXPECT_EQ("chain INVALID: " + json["reason"].get<std::string>(), c.reason) << c.name;
    }
}

// Every image is checked against the checksum its header carries (word 4): one flipped bit in
// the middle image fails the check with both values, and the images around it still check.
TEST_F(ImageChecks, NvmCheckNamesAnImageWhoseChecksumFailsWithBothValues) {
    const Bytes sound = threeImages();
    CliRun run = corvel({"nvm", "check", write("sound.nvm", sound)});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out,
              "image 0: offset 0, load address 0x00001000, length 100, next 144, header valid, "
              "image valid\n"
              "image 1: offset 144, load address 0x00002000, length 200, next 388, header valid, "
              "image valid\n"
              "image 2: offset 388, load address 0x00003000, length 300, next 0, header valid, "
              "image valid\n"
              "chain valid\n");

    Bytes flipped = sound;
    flipped[144 + 44 + 10] ^= 0x01;
    const uint32_t stored = get32le(&sound[144 + 16]);
    const uint32_t computed = sim::complementedWordXor(&flipped[144 + 44], 200);
    char line[160];
    std::snprintf(line, sizeof line,
                  "image 1: offset 144, load address 0x00002000, length 200, next 388, header "
                  "valid, image INVALID (checksum 0x%08X in its header, 0x%08X computed)\n",
                  stored, computed);
    char verdict[160];
    std::snprintf(verdict, sizeof verdict,
                  "chain INVALID: image 1 (header at 144): its header gives the image checksum "
                  "0x%08X, its 50 words give 0x%08X\n",
                  stored, computed);
    const std::string path = write("flipped.nvm", flipped);
    run = corvel({"nvm", "check", path});
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.out.find(line), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("length 300, next 0, header valid, image valid\n"), std::string::npos);
    EXPECT_NE(run.out.find(verdict), std::string::npos) << run.out;

    run = corvel({"nvm", "check", path, "--json"});
    EXPECT_EQ(run.status, 1);
    const auto json = nlohmann::json::parse(run.out);
    EXPECT_EQ(json["valid"], false);
    EXPECT_EQ(json["images"][1], (nlohmann::json{{"offset", 144},
                                                 {"loadAddress", 0x2000},
                                                 {"length", 200},
                                                 {"next", 388},
                                                 {"headerValid", true},
                                                 {"imageChecksum", stored},
                                                 {"computedImageChecksum", computed},
                                                 {"imageValid", false}}));
    EXPECT_EQ(json["images"][2]["imageValid"], true);
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

// A PIB wrapped in the newer chain is a PIB all the same: named so, with the wrapped block's
// length, and refused because the upgrade sends only a bare one.
TEST_F(ImageChecks, PibCheckNamesAPibWrappedInTheNewerChain) {
    const Bytes pib = sim::buildPib(Mac{0x00, 0xB0, 0x52, 1, 2, 3}, publicAvKey(), 3, 3);
    const std::string path = write("new.pib", sim::wrapInNewerChain(pib, sim::kNewerModulePib));
    CliRun run = corvel({"pib", "check", path});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out.substr(0, run.out.find('\n')),
              "newer image format, version 1.1 (96-byte headers): a parameter block of 7992 bytes "
              "wrapped in a chain of 1 image (module type 15, at offset 96)");
    EXPECT_NE(run.out.find("\nchain valid\n"), std::string::npos) << run.out;
    EXPECT_NE(run.err.find(kNewerPibRefusal), std::string::npos) << run.err;
    EXPECT_EQ((run.out + run.err).find("not a PIB"), std::string::npos);
    EXPECT_EQ((run.out + run.err).find("not a usable PIB"), std::string::npos);

    run = corvel({"pib", "check", path, "--json"});
    EXPECT_EQ(run.status, 1);
    const auto json = nlohmann::json::parse(run.out);
    EXPECT_EQ(json["format"], "newer");
    EXPECT_EQ(json["wrapped"],
              (nlohmann::json{{"offset", 96}, {"length", 7992}, {"moduleType", 15}}));
    EXPECT_EQ(json["valid"], true);
    EXPECT_EQ(json["error"], kNewerPibRefusal);

    // A chain without a parameter block says so.
    run = corvel({"pib", "check", write("fw.pib", sim::wrapInNewerChain(pib))});
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.out.find("no parameter block (module type 15) among the 1 images"),
              std::string::npos)
        << run.out;

    // set-mac leaves such a file as it is.
    const Bytes before = sim::wrapInNewerChain(pib, sim::kNewerModulePib);
    run = corvel({"pib", "set-mac", path, "00:B0:52:0A:0B:0C"});
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find(kNewerPibRefusal), std::string::npos) << run.err;
    std::ifstream in(path, std::ios::binary);
    EXPECT_EQ(Bytes(std::istreambuf_iterator<char>(in), {}), before);
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
