// SPDX-License-Identifier: MIT
#pragma once

#include <optional>
#include <thread>

#include "upgrade/av_upgrade.h"

// The AV upgrade on a thread of its own, for a front end that must keep its window painted while
// the upgrade runs. The front end leaves the tables, the transport and the codec alone until
// join() has returned. One object runs one upgrade: a cancel, once asked for, stays asked.
namespace corvel {

class AvUpgradeThread {
public:
    AvUpgradeThread() = default;
    ~AvUpgradeThread();  // cancels and joins a worker still running
    AvUpgradeThread(const AvUpgradeThread&) = delete;
    AvUpgradeThread& operator=(const AvUpgradeThread&) = delete;

    // Starts upgradeWorker; false when a worker already runs or no thread could be created.
    // `control.progress` should be set before this call.
    bool start(const AvUpgradeFiles& files, UpgradeWorkerHooks hooks);
    // Stops the worker at its next frame boundary (after the front end's warning).
    void cancel() { control_.requestCancel(); }
    // Waits for the worker to end; its outcome, or nothing when none was started.
    std::optional<UpgradeOutcome> join();

    UpgradeControl& control() { return control_; }

private:
    UpgradeControl control_;
    std::thread thread_;
    UpgradeOutcome outcome_ = UpgradeOutcome::Failed;
};

}  // namespace corvel
