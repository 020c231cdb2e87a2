// SPDX-License-Identifier: MIT
#include "upgrade/upgrade_thread.h"

#include <system_error>

namespace corvel {

AvUpgradeThread::~AvUpgradeThread() {
    if (thread_.joinable()) {
        cancel();
        thread_.join();
    }
}

bool AvUpgradeThread::start(const AvUpgradeFiles& files, UpgradeWorkerHooks hooks) {
    if (thread_.joinable()) return false;
    try {
        thread_ = std::thread([this, files, hooks = std::move(hooks)] {
            outcome_ = upgradeWorker(files, control_, hooks);
        });
    } catch (const std::system_error&) {
        return false;
    }
    return true;
}

std::optional<UpgradeOutcome> AvUpgradeThread::join() {
    if (!thread_.joinable()) return std::nullopt;
    thread_.join();
    return outcome_;
}

}  // namespace corvel
