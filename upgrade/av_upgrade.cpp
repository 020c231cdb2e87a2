// SPDX-License-Identifier: MIT
#include "upgrade/av_upgrade.h"

#include "av/av_state.h"
#include "avcodec/transfer.h"
#include "core/tables.h"
#include "upgrade/av_files.h"
#include "upgrade/chunk_transfer.h"
#include "upgrade/upgrade_messages.h"

namespace corvel {

namespace {

// The first-generation chip writes modules and, when its configuration block says so, commits
// them; later chips commit with bit 0x10 or, without commit, load through device memory.
constexpr std::string_view kFirstGenerationChip = "QRB1000";

// Ends the codec's transfer on every way out, so that the next operation finds nothing prepared.
struct TransferGuard {
    ~TransferGuard() { resetAvOperation(); }
};

}  // namespace

uint32_t avUpgradeOptions(std::string_view chipName, bool commits) {
    if (chipName == kFirstGenerationChip) return commits ? 0x23 : 0x22;
    return commits ? 0x13 : 0x00;
}

UpgradeOutcome runAvUpgrade(const AvUpgradeFiles& files, UpgradeControl& control) {
    const Mac source = requestSourceMac();
    Mac destination{};
    copyLocalMac(destination.data());
    const AvExchangeState& av = avExchangeState();
    const uint32_t options = avUpgradeOptions(av.localChipName, av.upgradeCommits);

    const auto firmware = loadFirmwareImage(files.firmwarePath);
    if (!firmware) return UpgradeOutcome::Failed;
    auto pib = loadPatchedPib(files.pibPath, destination);
    if (!pib) return UpgradeOutcome::Failed;

    TransferGuard guard;
    if (!macIsSet(source.data()) ||
        plcapi_BeginModuleWrite(source.data(), destination.data(), uint32_t(firmware->size()),
                                firmware->data(), uint32_t(pib->size()), pib->data(),
                                options) != 0) {
        showUpgradeError("Upgrade failed. Operation aborted");
        return UpgradeOutcome::Failed;
    }
    switch (runChunkTransfer(control)) {
        case TransferEnd::Completed:
            return UpgradeOutcome::Upgraded;
        case TransferEnd::Cancelled:
            return UpgradeOutcome::Cancelled;
        case TransferEnd::Failed:
            break;
    }
    return UpgradeOutcome::Failed;
}

}  // namespace corvel
