// SPDX-License-Identifier: MIT
#include "ui/single_copy.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace corvel::ui {
namespace {
constexpr char kLockName[] = "/corvel-utility.lock";
}  // namespace

SingleCopyLock::SingleCopyLock() {
    if (!tryDirectory("/run/lock")) tryDirectory("/tmp");
}

SingleCopyLock::SingleCopyLock(const std::string& directory) {
    tryDirectory(directory);
}

SingleCopyLock::~SingleCopyLock() {
    if (fd_ >= 0) ::close(fd_);
}

// Read-only is enough for flock, so the file need not be writable by every user of the machine.
// A planted symlink is not followed and a planted FIFO is not waited on.
bool SingleCopyLock::tryDirectory(const std::string& directory) {
    const std::string path = directory + kLockName;
    const int fd = ::open(path.c_str(), O_RDONLY | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC,
                          0644);
    if (fd < 0) return false;
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        return false;
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        heldElsewhere_ = errno == EWOULDBLOCK;
        ::close(fd);
        return heldElsewhere_;
    }
    fd_ = fd;
    return true;
}

std::string alreadyRunningText(const std::string& productTitle) {
    return productTitle + " is already running.\nOnly one copy can run at a time.";
}

}  // namespace corvel::ui
