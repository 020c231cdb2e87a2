// SPDX-License-Identifier: MIT
#include "ui/single_copy.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace corvel::ui {
namespace {

// The shared lock is the group's (the directory's setgid bit gives it group corvel); a private
// one is the user's alone.
constexpr mode_t kSharedLockMode = 0660;
constexpr mode_t kOwnLockMode = 0600;

// Read-only is enough for flock. A planted symlink is not followed, a planted FIFO not waited on.
constexpr int kOpenFlags = O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC;

}  // namespace

SingleCopyLock::SingleCopyLock(const std::string& sharedDirectory,
                               const std::string& ownDirectory) {
    if (!sharedDirectory.empty() && tryDirectory(sharedDirectory, Place::Shared)) return;
    if (!ownDirectory.empty()) tryDirectory(ownDirectory, Place::Own);
}

SingleCopyLock::~SingleCopyLock() {
    if (fd_ >= 0) ::close(fd_);
}

bool SingleCopyLock::tryDirectory(const std::string& directory, Place place) {
    const bool shared = place == Place::Shared;
    path_ = directory + "/" + kLockFileName;
    // Missing, or not searchable by this user (not in the group): not this user's place.
    const int dir = ::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir < 0) {
        state_ = State::Unguarded;
        return false;
    }
    // The lock as found: opened without O_CREAT, so that fs.protected_regular has nothing to
    // refuse and another user's file is never taken over.
    int fd = ::openat(dir, kLockFileName, kOpenFlags);
    if (fd < 0 && errno == ENOENT) {
        // Not made by the package (an install without it): made here, once, by whoever comes
        // first; a copy that loses the race opens the winner's file.
        fd = ::openat(dir, kLockFileName, kOpenFlags | O_CREAT | O_EXCL,
                      shared ? kSharedLockMode : kOwnLockMode);
        if (fd >= 0)
            ::fchmod(fd, shared ? kSharedLockMode : kOwnLockMode);  // the umask would narrow it
        else if (errno == EEXIST)
            fd = ::openat(dir, kLockFileName, kOpenFlags);
        else if (shared) {
            // A shared directory without a lock that this user cannot add to is one this user
            // does not keep the device list in either (the data directory needs write access).
            ::close(dir);
            return false;
        }
    }
    const int openError = errno;
    ::close(dir);
    if (fd < 0) {
        problem_ = openError == ELOOP
                       ? "is a symbolic link"
                       : std::string("cannot be opened: ") + std::strerror(openError);
        state_ = shared ? State::Unusable : State::Unguarded;
        return true;
    }
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        problem_ = "is not a regular file";
        state_ = shared ? State::Unusable : State::Unguarded;
        return true;
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int lockError = errno;
        ::close(fd);
        if (lockError == EWOULDBLOCK) {
            state_ = State::HeldElsewhere;
        } else {
            problem_ = std::string("cannot be locked: ") + std::strerror(lockError);
            state_ = shared ? State::Unusable : State::Unguarded;
        }
        return true;
    }
    fd_ = fd;
    state_ = State::Held;
    return true;
}

std::string alreadyRunningText(const std::string& productTitle) {
    return productTitle + " is already running.\nOnly one copy can run at a time.";
}

std::string unusableLockText(const std::string& productTitle, const SingleCopyLock& lock) {
    return productTitle + " cannot make sure that no other copy is running: its lock file " +
           lock.path() + " " + lock.problem() +
           ".\nAsk the administrator to remove it and reinstall the package, which makes it "
           "again.";
}

}  // namespace corvel::ui
