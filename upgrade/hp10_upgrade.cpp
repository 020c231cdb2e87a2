// SPDX-License-Identifier: MIT
#include "upgrade/hp10_upgrade.h"

#include <algorithm>
#include <array>
#include <optional>
#include <vector>

#include "core/tables.h"
#include "platform/clock.h"
#include "platform/notifier.h"
#include "transport/frame_io.h"
#include "upgrade/loader_link.h"
#include "upgrade/upgrade_file.h"
#include "upgrade/upgrade_messages.h"

namespace corvel {

namespace {

// The configuration file is read as one block; its option section is only there when the read
// gives exactly 960 bytes. Bytes 384..447 are never sent.
constexpr size_t kConfigBlockSize = 1024;
constexpr size_t kConfigWithOption = 960;
constexpr uint32_t kLoaderHandOverMs = 1000;
constexpr uint32_t kResetSettleMs = 500;
// The verify command's argument, sent as every loader expects it.
constexpr uint32_t kVerifyArgument = 0x40;

struct Section {
    uint32_t selector;
    size_t offset;
    size_t length;
    const char* verifyFailure;
};
constexpr Section kIdentity{kSectionIdentity, 0, 128, "Identy Section Verification Failed"};
constexpr Section kParameter{kSectionParameter, 128, 256, "Param Module Verification Failed"};
constexpr Section kOption{kSectionOption, 448, 512, "Option section Verification Failed"};

struct LoaderFiles {
    std::vector<uint8_t> image;
    bool hasConfig = false;
    // Zero past what the file holds, so that sections and their checksums never read past it.
    std::array<uint8_t, kConfigBlockSize> config{};
    size_t configRead = 0;

    std::span<const uint8_t> section(const Section& s) const {
        return {config.data() + s.offset, s.length};
    }
    // The sections written, in the order they are written.
    std::vector<Section> sections() const {
        if (!hasConfig) return {};
        if (configRead == kConfigWithOption) return {kIdentity, kParameter, kOption};
        return {kIdentity, kParameter};
    }
};

enum class Step { Done, Failed, Cancelled };

// Both files are read before the device is touched, so that a file that cannot be read never
// leaves the device waiting in its loader. An empty image is no image.
std::optional<LoaderFiles> readLoaderFiles(const Hp10UpgradeFiles& paths) {
    LoaderFiles files;
    std::string reason;
    if (!readUpgradeFile(paths.imagePath, files.image, &reason) || files.image.empty()) {
        showUpgradeFileError(MessageId::UpgradeFileUnreadable, "Can not open Image file",
                             kMacImageRole, paths.imagePath,
                             reason.empty() ? "the file is empty" : reason);
        return std::nullopt;
    }
    if (!paths.configPath.empty()) {
        std::vector<uint8_t> config;
        if (!readUpgradeFile(paths.configPath, config, &reason)) {
            showUpgradeFileError(MessageId::UpgradeFileUnreadable, "Can not open Config file",
                                 kConfigFileRole, paths.configPath, reason);
            return std::nullopt;
        }
        files.hasConfig = true;
        files.configRead = std::min(config.size(), kConfigBlockSize);
        std::copy_n(config.begin(), files.configRead, files.config.begin());
    }
    return files;
}

class BlockWriter {
public:
    BlockWriter(UpgradeControl& control, const LoaderFiles& files, bool atLoaderAddress)
        : control_(control), switched_(atLoaderAddress) {
        progress_.framesTotal =
            uint32_t((files.image.size() + kLoaderBlockSize - 1) / kLoaderBlockSize);
        progress_.bytesTotal = files.image.size();
        for (const Section& s : files.sections()) {
            ++progress_.framesTotal;
            progress_.bytesTotal += s.length;
        }
        start_ = systemClock().tickCount();
    }

    // The image in 1024-byte blocks. The first block the device leaves unanswered is sent again
    // once, to the loader's own address, which the device keeps from then on.
    Step writeImage(const std::vector<uint8_t>& image) {
        for (size_t offset = 0; offset < image.size(); offset += kLoaderBlockSize) {
            const size_t n = std::min(kLoaderBlockSize, image.size() - offset);
            const std::span<const uint8_t> block{image.data() + offset, n};
            Step step = write(kModuleMacImage, uint32_t(offset), block);
            if (step == Step::Failed && !switched_ && !sendFailed_) {
                switched_ = true;
                setLocalMac(kSecondaryLoaderMac.data());
                step = write(kModuleMacImage, uint32_t(offset), block);
            }
            if (step != Step::Done) return report(step);
        }
        return Step::Done;
    }

    Step writeSection(const Section& section, std::span<const uint8_t> data) {
        return report(write(section.selector, 0, data));
    }

private:
    Step write(uint32_t selector, uint32_t offset, std::span<const uint8_t> data) {
        if (control_.cancelRequested()) return Step::Cancelled;
        const auto frame =
            buildLoaderWrite(requestSourceMac(), loaderDestination(), selector, offset, data);
        if (!frame) return Step::Failed;
        if (!sendLoaderFrame(*frame)) return sendFailed();
        if (!awaitLoaderResponse(kBlockWaitMs, kLoaderWriteBlock)) return Step::Failed;
        ++progress_.framesDone;
        progress_.bytesDone += data.size();
        progress_.elapsedMs = systemClock().tickCount() - start_;
        if (control_.progress) control_.progress(progress_);
        return Step::Done;
    }

    // A frame that could not be sent has been reported already; it is not a silent device.
    Step sendFailed() {
        sendFailed_ = true;
        return Step::Failed;
    }

    Step report(Step step) {
        if (step == Step::Failed && !sendFailed_) showUpgradeError("Packet sent but no response");
        return step;
    }

    UpgradeControl& control_;
    UpgradeProgress progress_;
    uint64_t start_ = 0;
    bool switched_;
    bool sendFailed_ = false;
};

Step sendMacImage(const LoaderFiles& files, UpgradeControl& control, LoaderEntry entry,
                  uint32_t& mask) {
    if (!macIsSet(requestSourceMac().data())) return Step::Failed;
    BlockWriter writer(control, files, entry == LoaderEntry::Resume);
    if (const Step step = writer.writeImage(files.image); step != Step::Done) return step;
    mask |= kModuleMacImage;
    for (const Section& section : files.sections()) {
        if (const Step step = writer.writeSection(section, files.section(section));
            step != Step::Done)
            return step;
        mask |= section.selector;
    }
    return Step::Done;
}

bool verifyModules(uint32_t mask, const LoaderFiles& files) {
    if (!querySectionChecksum(kModuleMacImage, files.image)) {
        showUpgradeError("Mac Image Verification Failed");
        return false;
    }
    // Identity, option, parameter: the order the loader expects its queries in.
    for (const Section& section : {kIdentity, kOption, kParameter}) {
        if ((mask & section.selector) == 0) continue;
        if (!querySectionChecksum(section.selector, files.section(section))) {
            showUpgradeError(section.verifyFailure);
            return false;
        }
    }
    return true;
}

bool resetToSecondaryLoader() {
    const Mac source = requestSourceMac();
    if (!macIsSet(source.data())) return false;
    const LoaderFrame frame = buildLoaderReset(source, loaderDestination());
    return sendFrame(core.currentAdapter, frame.bytes.data(), uint16_t(frame.length));
}

bool hardwareReset() {
    const LoaderFrame frame = buildLoaderHardwareReset(requestSourceMac(), loaderDestination());
    return sendFrame(core.currentAdapter, frame.bytes.data(), uint16_t(frame.length));
}

int fail(const char* text) {
    showUpgradeError(text);
    return 0;
}

}  // namespace

bool checkHp10UpgradeFiles(const Hp10UpgradeFiles& files) {
    return readLoaderFiles(files).has_value();
}

int hp10UpgradeFirmware(const Hp10UpgradeFiles& paths, UpgradeControl& control, LoaderEntry entry) {
    if (paths.imagePath.empty()) {
        return fail(paths.configPath.empty() ? "No File is selected" : "No Image File is selected");
    }
    const auto files = readLoaderFiles(paths);
    if (!files) return fail("MAC Image Sending Failed");
    if (control.cancelRequested()) return 0;

    if (entry == LoaderEntry::Resume) {
        // The device waits in its loader already, answering only at the loader's address.
        setLocalMac(kSecondaryLoaderMac.data());
    } else {
        if (!resetToSecondaryLoader()) return fail("Reset Device to Secondary Loader Failed");
        systemClock().sleepMs(kLoaderHandOverMs);
    }

    uint32_t mask = 0;
    const Step written = sendMacImage(*files, control, entry, mask);
    if (written == Step::Cancelled) return 0;
    if (written == Step::Failed) return fail("MAC Image Sending Failed");
    if (control.cancelRequested()) return 0;
    if (!loaderCommand(kLoaderCommit, mask)) return fail("Commit Module Failed");
    if (!loaderCommand(kLoaderVerify, kVerifyArgument)) return fail("Verify Module Failed");
    if (!verifyModules(mask, *files) || !hardwareReset()) return fail("Hardware Reset Failed");
    systemClock().sleepMs(kResetSettleMs);
    notifier().show({MessageId::UpgradeDone, "Success", "Firmware Update Successful",
                     Icon::Information, Buttons::Ok});
    return 1;
}

}  // namespace corvel
