// SPDX-License-Identifier: MIT
#pragma once

#include <string>

// One running copy of the desktop program per machine, for every user who shares the device
// list: the first copy holds an exclusive flock on the lock file "corvel-utility.lock" of the
// shared data directory for as long as it runs. The package makes that file (root:corvel 0660),
// so that root and every member of group corvel open the same file, read-only and without
// O_CREAT (which fs.protected_regular refuses on another user's file in a sticky directory), and
// never take a lock of their own elsewhere while it is there. A user kept out of the shared
// directory (not in the group) keeps a private device list and its lock beside it. The lock dies
// with its process, so no stale lock survives a crash, and refused starts leave no trace.
namespace corvel::ui {

inline constexpr char kLockFileName[] = "corvel-utility.lock";

class SingleCopyLock {
public:
    enum class State {
        Held,           // this copy is the one that runs
        HeldElsewhere,  // another copy runs: refuse
        Unusable,       // the shared lock file is there but cannot be used: refuse, with why
        Unguarded,      // no lock file can be made in the private directory: run unguarded
    };

    // The lock of `sharedDirectory` when this user can open that directory; otherwise the lock
    // of `ownDirectory` (the user's private data directory), made there when missing.
    SingleCopyLock(const std::string& sharedDirectory, const std::string& ownDirectory);
    ~SingleCopyLock();
    SingleCopyLock(const SingleCopyLock&) = delete;
    SingleCopyLock& operator=(const SingleCopyLock&) = delete;

    State state() const { return state_; }
    // False when the program must not run: another copy holds the lock, or the shared lock
    // file cannot be used.
    bool acquired() const { return state_ == State::Held || state_ == State::Unguarded; }
    // The lock file this copy used or tried.
    const std::string& path() const { return path_; }
    // Why the lock file is unusable ("is a symbolic link", "is not a regular file", ...).
    const std::string& problem() const { return problem_; }

private:
    enum class Place { Shared, Own };
    // False when `directory` cannot be opened (the shared one: this user is kept out of it).
    bool tryDirectory(const std::string& directory, Place place);

    int fd_ = -1;
    State state_ = State::Unguarded;
    std::string path_;
    std::string problem_;
};

// The refusal "<title> is already running.\nOnly one copy can run at a time.".
std::string alreadyRunningText(const std::string& productTitle);
// The refusal when the shared lock file is there but cannot be used.
std::string unusableLockText(const std::string& productTitle, const SingleCopyLock& lock);

}  // namespace corvel::ui
