// SPDX-License-Identifier: MIT
#include "upgrade/av_files.h"

#include <sys/stat.h>

#include <cstdio>

#include "tests/upgrade/upgrade_sim_fixture.h"
#include "upgrade/av_upgrade.h"

namespace corvel::test {
namespace {

constexpr Mac kPibMac{0x00, 0xB0, 0x52, 0xAA, 0xBB, 0xCC};

Bytes goodPib() {
    return sim::buildPib(kPibMac, publicAvKey(), 3, 3);
}
Bytes twoImages() {
    return sim::buildNvm({{0x00100000, 1500}, {0x00200000, 3400}});
}
void reseal(Bytes& header) {
    put32le(&header[40], sim::complementedWordXor(header.data(), 40));
}

struct FileCase {
    const char* name;
    Bytes nvm;
    Bytes pib;
    std::string message;  // empty: the files are taken
};

std::string hexWord(uint32_t value) {
    char text[11];
    std::snprintf(text, sizeof text, "0x%08X", value);
    return text;
}

// A firmware file is taken only when its whole header chain is sound, and a PIB only when it is
// usable and as long as its own length field says; nothing is sent for a refused file.
std::vector<FileCase> fileCases() {
    std::vector<FileCase> cases;
    cases.push_back({"two sound images", twoImages(), goodPib(), ""});
    cases.push_back({"one sound image", sim::buildNvm({{0x00100000, 4000}}), goodPib(), ""});
    // One bit of the second image flipped, every header as it was: its checksum (word 4 of its
    // header) no longer matches its 850 words.
    Bytes flipped = twoImages();
    const size_t second = 44 + 1500 + 44;
    flipped[second + 2001] ^= 0x04;
    cases.push_back(
        {"one bit of an image flipped", flipped, goodPib(),
         "Wrong NVM Block Header: image 1 (header at 1544): its header gives the image checksum " +
             hexWord(get32le(&flipped[1544 + 16])) + ", its 850 words give " +
             hexWord(sim::complementedWordXor(&flipped[second], 3400))});
    Bytes badFirst = twoImages();
    badFirst[8] ^= 1;
    cases.push_back({"bad first header", badFirst, goodPib(), "Wrong NVM Block Header"});
    Bytes badSecond = twoImages();
    badSecond[44 + 1500 + 8] ^= 1;
    cases.push_back({"bad second header", badSecond, goodPib(), "Wrong NVM Block Header"});
    Bytes cut = twoImages();
    cut.pop_back();
    cases.push_back({"last image cut short", cut, goodPib(), "Wrong NVM Block Header"});
    Bytes loop = twoImages();
    put32le(&loop[44 + 1500 + 36], 44 + 1500);  // the second header points at itself
    Bytes header(loop.begin() + 44 + 1500, loop.begin() + 44 + 1500 + 44);
    reseal(header);
    std::copy(header.begin(), header.end(), loop.begin() + 44 + 1500);
    cases.push_back({"chain that loops", loop, goodPib(), "Wrong NVM Block Header"});
    cases.push_back({"shorter than a header", Bytes(30, 0), goodPib(), "Wrong NVM Block Header"});
    const char* newerFirmware =
        "Wrong NVM Block Header: the firmware file is in the newer image format (96-byte "
        "headers); this utility upgrades only with firmware of the older format (44-byte "
        "headers)";
    cases.push_back(
        {"newer firmware format", sim::wrapInNewerChain(twoImages()), goodPib(), newerFirmware});
    Bytes newerBroken = sim::buildNewerChain({{0x04, twoImages()}, {0x07, Bytes(100, 1)}});
    newerBroken[40] ^= 1;  // the first header's seal broken, its version words 1.1 kept
    cases.push_back({"newer format, first header broken", newerBroken, goodPib(), newerFirmware});

    Bytes badContents = goodPib();
    badContents[244] = 4;
    cases.push_back(
        {"3.3 PIB whose contents fail", twoImages(), badContents, "Error in PIB file Operation"});
    Bytes shortPib = goodPib();
    shortPib.resize(7000);
    cases.push_back({"PIB shorter than its length field", twoImages(), shortPib,
                     "Error in PIB file Operation"});
    Bytes zeroLength = sim::buildPib(kPibMac, publicAvKey(), 2, 0);
    put16le(&zeroLength[4], 0);
    cases.push_back(
        {"PIB length field of 0", twoImages(), zeroLength, "Error in PIB file Operation"});
    cases.push_back({"newer PIB format", twoImages(),
                     sim::wrapInNewerChain(goodPib(), sim::kNewerModulePib),
                     "Error in PIB file Operation: the PIB file is a parameter block wrapped in "
                     "the newer image format (96-byte headers); this utility upgrades only with "
                     "a bare PIB"});
    cases.push_back(
        {"PIB of a few bytes", twoImages(), Bytes(40, 3), "Error in PIB file Operation"});
    return cases;
}

class AvFiles : public UpgradeSim {};

TEST_F(AvFiles, EachFileIsCheckedBeforeAnythingIsSent) {
    for (const FileCase& c : fileCases()) {
        recorder.messages.clear();
        wire.clearSent();
        resetCoreState();
        if (net.portCount() == 0) start(deviceConfig(Family::Av, kAvLocal));
        core.currentAdapter = 0;
        copyMac(core.adapters[0].localMac, kAvLocal.data());
        copyText(avExchangeState().localChipName, "QRB3000");
        avExchangeState().upgradeCommits = true;
        const AvUpgradeFiles files{write("fw.nvm", c.nvm), write("fw.pib", c.pib)};
        EXPECT_EQ(runAvUpgrade(files, control),
                  c.message.empty() ? UpgradeOutcome::Upgraded : UpgradeOutcome::Failed)
            << c.name;
        if (c.message.empty()) {
            EXPECT_TRUE(recorder.messages.empty()) << c.name;
        } else {
            EXPECT_EQ(messageTexts(), std::vector<std::string>{c.message}) << c.name;
            EXPECT_TRUE(sent().empty()) << c.name;
        }
    }
}

TEST_F(AvFiles, FilesThatCannotBeReadAreNamed) {
    start(deviceConfig(Family::Av, kAvLocal));
    const std::string nvm = write("fw.nvm", twoImages());
    const std::string pib = write("fw.pib", goodPib());
    struct Case {
        AvUpgradeFiles files;
        const char* message;
    };
    const Case cases[] = {
        {{missing(), pib}, "Unable to open firmware file"},
        {{dir.string(), pib}, "Unable to open firmware file"},  // a directory
        {{nvm, missing()}, "Error in PIB file opening..."},
    };
    for (const Case& c : cases) {
        recorder.messages.clear();
        EXPECT_EQ(runAvUpgrade(c.files, control), UpgradeOutcome::Failed);
        EXPECT_EQ(messageTexts(), std::vector<std::string>{c.message});
        EXPECT_EQ(recorder.messages[0].title, "Error");
    }
    EXPECT_TRUE(sent().empty());
}

// The user may name a file through a link; a FIFO or a directory is refused without waiting.
TEST_F(AvFiles, FilesAreReadThroughLinksButOnlyRegularOnes) {
    const std::string nvm = write("fw.nvm", twoImages());
    std::filesystem::create_symlink(nvm, dir / "link.nvm");
    EXPECT_TRUE(loadFirmwareImage((dir / "link.nvm").string()).has_value());
    ASSERT_EQ(::mkfifo((dir / "fifo.nvm").c_str(), 0600), 0);
    EXPECT_FALSE(loadFirmwareImage((dir / "fifo.nvm").string()).has_value());
    EXPECT_FALSE(loadFirmwareImage(dir.string()).has_value());
    EXPECT_EQ(messageTexts(), std::vector<std::string>(2, "Unable to open firmware file"));
}

// The PIB is patched in the copy that is sent, never in the user's file.
TEST_F(AvFiles, ThePatchedPibCarriesTheDeviceMacAndAFreshChecksum) {
    const std::string path = write("fw.pib", goodPib());
    const auto pib = loadPatchedPib(path, kAvLocal);
    ASSERT_TRUE(pib.has_value());
    EXPECT_TRUE(std::equal(kAvLocal.begin(), kAvLocal.end(), pib->begin() + 12));
    EXPECT_EQ(sim::complementedWordXor(pib->data(), 7992), 0u);
    Bytes onDisk(goodPib().size());
    std::ifstream(path, std::ios::binary).read(reinterpret_cast<char*>(onDisk.data()), 7992);
    EXPECT_EQ(onDisk, goodPib());
}

}  // namespace
}  // namespace corvel::test
