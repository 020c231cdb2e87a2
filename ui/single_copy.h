// SPDX-License-Identifier: MIT
#pragma once

#include <string>

// One running copy of the desktop program per machine: the first copy holds an exclusive flock
// on a machine-wide lock file for as long as it runs. The lock dies with its process, so no stale
// lock survives a crash, and refused starts leave no trace.
namespace corvel::ui {

class SingleCopyLock {
public:
    // Tries the lock in `directories` in turn (default: /run/lock, then /tmp).
    SingleCopyLock();
    explicit SingleCopyLock(const std::string& directory);
    ~SingleCopyLock();
    SingleCopyLock(const SingleCopyLock&) = delete;
    SingleCopyLock& operator=(const SingleCopyLock&) = delete;

    // False only when another copy holds the lock. A machine where no lock file can be made
    // at all runs the program unguarded rather than not at all.
    bool acquired() const { return !heldElsewhere_; }

private:
    bool tryDirectory(const std::string& directory);

    int fd_ = -1;
    bool heldElsewhere_ = false;
};

// The refusal "<title> is already running.\nOnly one copy can run at a time.".
std::string alreadyRunningText(const std::string& productTitle);

}  // namespace corvel::ui
