// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "cli/usage_errors.h"
#include "keys/derive.h"
#include "tests/cli/cli_run.h"
#include "platform/bytes.h"
#include "platform/files.h"
#include "platform/mac.h"

namespace corvel {
namespace {

namespace fs = std::filesystem;

using test::CliRun;
using test::corvel;

uint32_t xorOfWords(const std::vector<uint8_t>& bytes, size_t words) {
    uint32_t x = 0;
    for (size_t i = 0; i < words; ++i) x ^= get32le(&bytes[4 * i]);
    return x;
}

// The smallest 3.3 PIB whose contents pass: zeros but for the version, length and one ranged word.
std::vector<uint8_t> minimalPib() {
    std::vector<uint8_t> pib(7992, 0);
    pib[0] = 3;
    pib[1] = 3;
    put16le(&pib[4], 7992);
    put32le(&pib[7824], 20);
    Key16 nmk{};
    for (int i = 0; i < 16; ++i) nmk[size_t(i)] = uint8_t(0x10 + i);
    std::copy(nmk.begin(), nmk.end(), &pib[100]);
    // The preferred NID is the NMK's, at security level 0.
    const NetworkId nid = deriveNID(nmk);
    std::copy(nid.begin(), nid.end(), &pib[248]);
    return pib;
}

// `pib` with the checksum field (offset 8) that makes the XOR of its length / 4 words all ones.
std::vector<uint8_t> withChecksum(std::vector<uint8_t> pib) {
    put32le(&pib[8], 0);
    put32le(&pib[8], ~xorOfWords(pib, get16le(&pib[4]) / 4));
    return pib;
}

std::vector<uint8_t> imageHeader(uint32_t load, uint32_t length, uint32_t next,
                                 uint32_t imageChecksum) {
    std::vector<uint8_t> header(44, 0);
    put32le(&header[8], load);
    put32le(&header[12], length);
    put32le(&header[16], imageChecksum);
    put32le(&header[36], next);
    put32le(&header[40], ~xorOfWords(header, 10));
    return header;
}

class Cli : public ::testing::Test {
protected:
    void SetUp() override {
        dir = fs::temp_directory_path() / ("corvel-cli-" + std::to_string(::getpid()));
        fs::create_directories(dir);
    }
    void TearDown() override { fs::remove_all(dir); }
    std::string write(const std::string& name, const std::vector<uint8_t>& bytes) {
        const std::string path = dir / name;
        std::ofstream(path, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
        return path;
    }
    std::vector<uint8_t> read(const std::string& path) {
        std::vector<uint8_t> bytes;
        std::string error;
        EXPECT_TRUE(readWholeFile(path, bytes, error)) << error;
        return bytes;
    }
    fs::path dir;
};

TEST_F(Cli, DerivePrintsUpperCaseHexOfTheTextAsGiven) {
    struct Case {
        const char* kind;
        const char* text;
        const char* hex;
    };
    const Case cases[] = {
        {"nmk", "HomePlugAV", "50D3E4933F855B7040784DF815AA8DB7"},
        {"nek", "HomePlug", "46D613E0F84A764C"},
        // The network identifier every adapter on the public AV network announces.
        {"nid", "HomePlugAV", "B0F2E695666B03"},
    };
    for (const Case& c : cases) {
        const CliRun run = corvel({"derive", c.kind, c.text});
        EXPECT_EQ(run.status, 0);
        EXPECT_EQ(run.out, std::string(c.hex) + "\n");
        EXPECT_EQ(run.err, "");
    }
    // Case and dashes are part of the text.
    EXPECT_NE(corvel({"derive", "nmk", "homeplugav"}).out, corvel({"derive", "nmk", "HomePlugAV"}).out);
    EXPECT_NE(corvel({"derive", "dak", "ABCD-EFGH-IJKL-MNOP"}).out,
              corvel({"derive", "dak", "ABCDEFGHIJKLMNOP"}).out);
    EXPECT_EQ(corvel({"derive", "dak", "x"}).out.size(), 33u);
}

TEST_F(Cli, UsageErrorsExitTwoWithUsageOnStandardError) {
    const std::vector<std::vector<std::string>> cases = {
        {},
        {"frobnicate"},
        {"derive", "xyz", "text"},
        {"derive", "nmk"},
        {"pib"},
        {"pib", "set-mac", "file.pib", "00:11:22:33:44"},
        {"nvm", "check"},
        {"nvm", "check", "a", "b"},
    };
    for (const auto& args : cases) {
        const CliRun run = corvel(args);
        EXPECT_EQ(run.status, 2) << ::testing::PrintToString(args);
        EXPECT_EQ(run.err.rfind("corvel: ", 0), 0u) << run.err;
        EXPECT_NE(run.err.find("Usage: corvel"), std::string::npos) << run.err;
        // The error, the usage line and the pointer to --help; not the whole help.
        EXPECT_NE(run.err.find("--help' for more information.\n"), std::string::npos) << run.err;
        EXPECT_EQ(run.err.find("Options:"), std::string::npos) << run.err;
        EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 3) << run.err;
        EXPECT_EQ(run.out, "");
    }
}

// The first line of a usage error names what was not understood, in the order it was typed,
// and the nearest word the command knows when the word looks like a slip of the keyboard.
TEST_F(Cli, UsageErrorsNameTheWordAndSuggestTheNearest) {
    const struct {
        std::vector<std::string> args;
        const char* said;
    } cases[] = {
        {{"scna"}, "unknown command 'scna'; did you mean 'scan'?"},
        {{"devics"}, "unknown command 'devics'; did you mean 'devices'?"},
        {{"frobnicate"}, "unknown command 'frobnicate'"},
        {{"-x"}, "unknown option '-x'"},
        {{"-x", "derive", "nmk", "a"}, "derive: unknown option '-x'"},
        {{"scan", "--cycle", "2"}, "scan: unknown option '--cycle'; did you mean '--cycles'?"},
        {{"scan", "--cycle=2"}, "scan: unknown option '--cycle'; did you mean '--cycles'?"},
        {{"devices", "--jsno"}, "devices: unknown option '--jsno'; did you mean '--json'?"},
        {{"remove", "00:B0:52:00:00:11", "--force"}, "remove: unknown option '--force'"},
        {{"--cycles", "2", "scan"},
         "option '--cycles' belongs to the command: give it after 'scan'"},
        {{"scan", "--cycles", "abc"}, "scan: --cycles: 'abc' is not an integer"},
        {{"scan", "--cycles", "2x"}, "scan: --cycles: '2x' is not an integer"},
        {{"add-device", "a", "-", "--cycles", "0"}, "add-device: --cycles: 0 is not in 1 to 1000"},
        {{"scan", "extra"}, "scan: unexpected argument 'extra'"},
        {{"pib", "chek", "f.pib"}, "pib: unknown command 'chek'; did you mean 'check'?"},
        {{"nvm"}, "nvm: no command given; one of: check"},
        {{}, "no command given; one of: derive, pib, nvm, interfaces, probe, scan, monitor, "
             "devices, report, set-network, password, add-device, rename, remove, upgrade, "
             "stats, tonemap, restart"},
        {{"derive", "nmk"}, "derive: text is required"},
    };
    for (const auto& c : cases) {
        const CliRun run = corvel(c.args);
        EXPECT_EQ(run.status, 2) << ::testing::PrintToString(c.args);
        EXPECT_EQ(run.err.substr(0, run.err.find('\n')), std::string("corvel: ") + c.said)
            << ::testing::PrintToString(c.args);
        EXPECT_EQ(run.out, "");
    }
}

TEST(NearestWord, OnlyASlipOfTheKeyboardIsSuggested) {
    const std::vector<std::string> commands = {"scan", "probe", "devices", "set-network"};
    const struct {
        const char* typed;
        const char* nearest;
    } cases[] = {
        {"scna", "scan"},        {"sacn", "scan"},         {"scn", "scan"},
        {"scann", "scan"},       {"prbe", "probe"},        {"device", "devices"},
        {"setnetwork", "set-network"},                    {"set-netwrk", "set-network"},
        {"xyz", ""},             {"s", ""},                {"frobnicate", ""},
        {"network", ""},
    };
    for (const auto& c : cases) EXPECT_EQ(nearestWord(c.typed, commands), c.nearest) << c.typed;
    EXPECT_EQ(nearestWord("-x", {"-h", "-i", "-q", "-v"}), "");
    EXPECT_EQ(nearestWord("--verbos", {"--verbose", "--version"}), "--verbose");
}

TEST_F(Cli, WithJsonEveryErrorIsOneObjectOnStandardOutput) {
    const struct {
        std::vector<std::string> args;
        int status;
        const char* error;
    } cases[] = {
        {{"pib", "check", "--json", "/nonexistent/file.pib"}, 1, "/nonexistent/file.pib"},
        {{"nvm", "check", "--json"}, 2, "file is required"},
        {{"interfaces", "--json", "-i", "no-such-if0"}, 1, "no Ethernet interface named no-such-if0"},
    };
    for (const auto& c : cases) {
        const CliRun run = corvel(c.args);
        EXPECT_EQ(run.status, c.status) << ::testing::PrintToString(c.args);
        const auto json = nlohmann::json::parse(run.out, nullptr, false);
        ASSERT_TRUE(json.is_object()) << run.out;
        EXPECT_EQ(json.size(), 2u) << run.out;
        EXPECT_EQ(json.value("status", -1), c.status);
        EXPECT_NE(json.value("error", "").find(c.error), std::string::npos) << run.out;
    }
}

TEST_F(Cli, VersionAndGlobalOptionsBeforeOrAfterTheCommand) {
    const CliRun version = corvel({"--version"});
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out.rfind("corvel ", 0), 0u) << version.out;
    EXPECT_EQ(std::count(version.out.begin(), version.out.end(), '\n'), 1);
    // -q and -v together make no sense.
    EXPECT_EQ(corvel({"-q", "-v", "derive", "nmk", "x"}).status, 2);
    for (const auto& args : std::vector<std::vector<std::string>>{
             {"-q", "derive", "nid", "HomePlugAV"}, {"derive", "nid", "HomePlugAV", "--quiet"}}) {
        const CliRun run = corvel(args);
        EXPECT_EQ(run.status, 0) << run.err;
        EXPECT_EQ(run.out, "B0F2E695666B03\n");
    }
}

TEST_F(Cli, MacArgumentsTakeTwelveBareHexDigits) {
    const std::string path = write("bare.pib", minimalPib());
    ASSERT_EQ(corvel({"pib", "set-mac", path, "00b0520aff01"}).status, 0);
    const std::vector<uint8_t> pib = read(path);
    EXPECT_EQ(formatMac(&pib[12]), "00:B0:52:0A:FF:01");
    EXPECT_EQ(corvel({"pib", "set-mac", path, "00b0520aff0"}).status, 2);
}

TEST_F(Cli, HelpGoesToStandardOutputWithStatusZero) {
    for (const auto& args : std::vector<std::vector<std::string>>{
             {"--help"}, {"derive", "--help"}, {"pib", "check", "--help"}, {"nvm", "check", "-h"}}) {
        const CliRun run = corvel(args);
        EXPECT_EQ(run.status, 0);
        EXPECT_NE(run.out.find("Usage: corvel"), std::string::npos) << run.out;
    }
}

TEST_F(Cli, PibCheckReportsCodeFieldsAndChecksum) {
    auto pib = withChecksum(minimalPib());
    const std::string good = write("good.pib", pib);
    CliRun run = corvel({"pib", "check", good});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out,
              "code 0: layout and contents valid\nversion 3.3\nlength 7992\n"
              "mac 00:00:00:00:00:00\nnmk 101112131415161718191A1B1C1D1E1F\n"
              "preferred nid 3D94A6A868AD0A valid\nchecksum 0x5753DA85 valid\n");
    EXPECT_EQ(run.err, "");

    run = corvel({"pib", "check", good, "--json"});
    EXPECT_EQ(run.status, 0);
    const auto json = nlohmann::json::parse(run.out);
    EXPECT_EQ(json["code"], 0);
    EXPECT_EQ(json["version"], "3.3");
    EXPECT_EQ(json["length"], 7992);
    EXPECT_EQ(json["nmk"], "101112131415161718191A1B1C1D1E1F");
    EXPECT_EQ(json["checksumValid"], true);

    pib[244] = 4;  // a content check fails: not usable
    run = corvel({"pib", "check", write("bad.pib", withChecksum(pib)), "--json"});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(nlohmann::json::parse(run.out)["code"], 2);

    auto other = minimalPib();
    other[0] = 2;
    other[1] = 0;
    put16le(&other[4], 200);  // another version is usable and nothing else is checked
    run = corvel({"pib", "check", write("v2.pib", withChecksum(other))});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out.substr(0, 7), "code 3:");
}

// A 3.3 PIB whose preferred NID is not its NMK's is refused by a device: the check says so as a
// warning with both values, at either security level, and still exits 0 for an image that is
// otherwise sound. A NID made from another NMK, or zeros, is wrong; the NMK's own NID at security
// level 1 is right.
TEST_F(Cli, PibCheckWarnsOfAPreferredNidThatIsNotTheNmks) {
    Key16 nmk{};
    for (int i = 0; i < 16; ++i) nmk[size_t(i)] = uint8_t(0x10 + i);
    const struct {
        const char* name;
        NetworkId nid;
        bool valid;
        NetworkId expected;
    } cases[] = {
        {"the NMK's own at level 0", deriveNID(nmk, 0), true, deriveNID(nmk, 0)},
        {"the NMK's own at level 1", deriveNID(nmk, 1), true, deriveNID(nmk, 1)},
        {"all zero", NetworkId{}, false, deriveNID(nmk, 0)},
        {"another NMK's at level 1", deriveNID(publicAvKey(), 1), false, deriveNID(nmk, 1)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto pib = minimalPib();
        std::copy(c.nid.begin(), c.nid.end(), &pib[248]);
        const std::string path = write("nid.pib", withChecksum(pib));
        const std::string stored = keyHex(c.nid.data(), c.nid.size());
        const std::string expected = keyHex(c.expected.data(), c.expected.size());
        const CliRun text = corvel({"pib", "check", path});
        EXPECT_EQ(text.status, 0);
        if (c.valid) {
            EXPECT_NE(text.out.find("preferred nid " + stored + " valid\n"), std::string::npos)
                << text.out;
            EXPECT_EQ(text.err, "");
        } else {
            EXPECT_NE(text.out.find("preferred nid " + stored + " wrong: the nmk gives " +
                                    expected + "\n"),
                      std::string::npos)
                << text.out;
            EXPECT_EQ(text.err, "corvel: warning: " + path + ": the preferred NID " + stored +
                                    " does not belong to the PIB's NMK, whose NID is " +
                                    expected + "; a device refuses this PIB\n");
        }
        const CliRun json = corvel({"pib", "check", path, "--json"});
        EXPECT_EQ(json.status, 0);
        const auto out = nlohmann::json::parse(json.out);
        EXPECT_EQ(out["preferredNid"], stored);
        EXPECT_EQ(out["nmkNid"], expected);
        EXPECT_EQ(out["preferredNidValid"], c.valid);
    }
}

// One byte changed anywhere the checksum covers, the field itself included, or a checksum never
// computed: the contents may still pass their range checks, but the image is not the one that
// was made, and the check fails in both outputs.
TEST_F(Cli, PibCheckFailsOnAChecksumThatDoesNotMatchTheContents) {
    const auto good = withChecksum(minimalPib());
    const struct {
        const char* name;
        std::vector<uint8_t> bytes;
        const char* storedAndExpected;
    } cases[] = {
        {"a byte of the MAC", [&] { auto p = good; p[13] ^= 0x01; return p; }(),
         "checksum 0x5753DA85 wrong: the contents give 0x5753DB85"},
        {"the last word", [&] { auto p = good; p[7991] = 0x80; return p; }(),
         "checksum 0x5753DA85 wrong: the contents give 0xD753DA85"},
        {"the checksum field", [&] { auto p = good; p[8] ^= 0xFF; return p; }(),
         "checksum 0x5753DA7A wrong: the contents give 0x5753DA85"},
        {"never computed", minimalPib(), "checksum 0x00000000 wrong: the contents give 0x5753DA85"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = write("changed.pib", c.bytes);
        const CliRun text = corvel({"pib", "check", path});
        EXPECT_EQ(text.status, 1);
        EXPECT_NE(text.out.find("code 0: layout and contents valid\n"), std::string::npos);
        EXPECT_NE(text.out.find(std::string(c.storedAndExpected) + "\n"), std::string::npos)
            << text.out;
        EXPECT_EQ(text.err, "corvel: " + path +
                                ": the checksum does not match the contents: the file was "
                                "changed or damaged\n");

        const CliRun json = corvel({"pib", "check", path, "--json"});
        EXPECT_EQ(json.status, 1);
        EXPECT_EQ(nlohmann::json::parse(json.out)["checksumValid"], false);
    }
}

TEST_F(Cli, PibCheckRefusesFilesShorterThanTheyClaim) {
    auto pib = minimalPib();
    pib.resize(7000);  // says 7992
    const CliRun run = corvel({"pib", "check", write("short.pib", pib)});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, "");
    EXPECT_NE(run.err.find("not a usable PIB"), std::string::npos) << run.err;

    EXPECT_EQ(corvel({"pib", "check", write("tiny.pib", {3, 3})}).status, 1);
    const CliRun missing = corvel({"pib", "check", (dir / "absent.pib").string()});
    EXPECT_EQ(missing.status, 1);
    EXPECT_NE(missing.err.find("No such file"), std::string::npos);
}

TEST_F(Cli, PibSetMacWritesTheMacAndAValidChecksum) {
    const std::string path = write("device.pib", minimalPib());
    ::chmod(path.c_str(), 0640);
    const CliRun run = corvel({"pib", "set-mac", path, "00:b0:52:aa:bb:cc"});
    ASSERT_EQ(run.status, 0) << run.err;
    const auto bytes = read(path);
    ASSERT_EQ(bytes.size(), 7992u);
    EXPECT_EQ(std::vector<uint8_t>(bytes.begin() + 12, bytes.begin() + 18),
              (std::vector<uint8_t>{0x00, 0xB0, 0x52, 0xAA, 0xBB, 0xCC}));
    EXPECT_EQ(xorOfWords(bytes, 1998), 0xFFFFFFFFu);
    struct stat info {};
    ::stat(path.c_str(), &info);
    EXPECT_EQ(info.st_mode & 0777, 0640u);
    EXPECT_EQ(nlohmann::json::parse(corvel({"pib", "check", path, "--json"}).out)["checksumValid"],
              true);
}

// The patched file keeps who may read and write it, and nothing more: set-user-id, set-group-id,
// sticky and execute bits of the old file never come back on the file written in its place, nor
// the write bit of all users.
TEST_F(Cli, PibSetMacKeepsOnlyTheReadAndWriteBits) {
    const struct {
        mode_t before;
        mode_t after;
    } cases[] = {
        {06777, 0664}, {06755, 0644}, {04755, 0644}, {01777, 0664},
        {0750, 0640},  {0600, 0600},  {0444, 0444},  {0666, 0664},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.before);
        const std::string path = write("planted.pib", minimalPib());
        ASSERT_EQ(::chmod(path.c_str(), c.before), 0);
        const CliRun run = corvel({"pib", "set-mac", path, "00:b0:52:aa:bb:cc"});
        ASSERT_EQ(run.status, 0) << run.err;
        struct stat info {};
        ASSERT_EQ(::stat(path.c_str(), &info), 0);
        EXPECT_EQ(info.st_mode & 07777, c.after);
        fs::remove(path);
    }
}

TEST_F(Cli, PibSetMacRefusalLeavesTheFileUntouched) {
    struct Case {
        std::vector<uint8_t> pib;
        const char* mac;
        const char* reason;
    };
    auto old = minimalPib();
    old[0] = 1;
    old[1] = 3;
    put16le(&old[4], 1024);
    auto badLength = minimalPib();
    put16le(&badLength[4], 7000);
    const Case cases[] = {
        {minimalPib(), "01:00:5E:00:00:01", "code 8"},
        {minimalPib(), "00:B0:52:00:00:02", "code 8"},
        {old, "00:B0:52:01:02:03", "code 6"},
        {badLength, "00:B0:52:01:02:03", "code 7"},
    };
    for (const Case& c : cases) {
        const std::string path = write("refused.pib", c.pib);
        const CliRun run = corvel({"pib", "set-mac", path, c.mac});
        EXPECT_EQ(run.status, 1) << c.mac;
        EXPECT_NE(run.err.find(c.reason), std::string::npos) << run.err;
        EXPECT_EQ(read(path), c.pib);
    }
}

TEST_F(Cli, NvmCheckWalksTheChainAndJudgesIt) {
    // Image checksums: the complement of the XOR of 25 words 0x5A5A5A5A, and of 16 words
    // 0xA5A5A5A5 (which XOR to 0).
    std::vector<uint8_t> nvm = imageHeader(0x00100000, 100, 144, 0xA5A5A5A5);
    nvm.resize(144, 0x5A);
    const auto second = imageHeader(0x01000000, 64, 0, 0xFFFFFFFF);
    nvm.insert(nvm.end(), second.begin(), second.end());
    nvm.resize(144 + 44 + 64, 0xA5);

    CliRun run = corvel({"nvm", "check", write("fw.nvm", nvm), "--json"});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(nlohmann::json::parse(run.out),
              nlohmann::json::parse(R"({"images":[
                {"offset":0,"loadAddress":1048576,"length":100,"next":144,"headerValid":true,
                 "imageChecksum":2779096485,"computedImageChecksum":2779096485,"imageValid":true},
                {"offset":144,"loadAddress":16777216,"length":64,"next":0,"headerValid":true,
                 "imageChecksum":4294967295,"computedImageChecksum":4294967295,"imageValid":true}],
                "valid":true})"));
    run = corvel({"nvm", "check", write("fw.nvm", nvm)});
    EXPECT_EQ(run.out,
              "image 0: offset 0, load address 0x00100000, length 100, next 144, header valid, "
              "image valid\n"
              "image 1: offset 144, load address 0x01000000, length 64, next 0, header valid, "
              "image valid\n"
              "chain valid\n");

    auto cut = nvm;
    cut.resize(nvm.size() - 1);  // the last image runs past the end
    EXPECT_EQ(corvel({"nvm", "check", write("cut.nvm", cut)}).status, 1);
    auto corrupt = nvm;
    corrupt[150] ^= 1;
    run = corvel({"nvm", "check", write("corrupt.nvm", corrupt), "--json"});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(nlohmann::json::parse(run.out)["images"][1]["headerValid"], false);
}

}  // namespace
}  // namespace corvel
