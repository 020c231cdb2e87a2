// SPDX-License-Identifier: MIT
#include "platform/files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace corvel {

namespace {
std::string reason(const std::string& path) { return path + ": " + std::strerror(errno); }

class Descriptor {
public:
    explicit Descriptor(int fd) : fd_(fd) {}
    ~Descriptor() {
        if (fd_ >= 0) ::close(fd_);
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int get() const { return fd_; }
    int release() {
        const int fd = fd_;
        fd_ = -1;
        return fd;
    }

private:
    int fd_;
};

bool writeAll(int fd, const std::vector<uint8_t>& bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += size_t(n);
    }
    return true;
}
// Makes the rename itself durable; a failure here leaves a complete file either way.
void syncDirectoryOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    const std::string directory = slash == std::string::npos ? "." : path.substr(0, slash + 1);
    Descriptor fd(::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (fd.get() >= 0) ::fsync(fd.get());
}
}  // namespace

bool readWholeFile(const std::string& path, std::vector<uint8_t>& bytes, std::string& error) {
    Descriptor fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (fd.get() < 0) {
        error = reason(path);
        return false;
    }
    struct stat info {};
    if (::fstat(fd.get(), &info) != 0) {
        error = reason(path);
        return false;
    }
    if (!S_ISREG(info.st_mode)) {
        error = path + ": not a regular file";
        return false;
    }
    bytes.clear();
    uint8_t chunk[65536];
    for (;;) {
        const ssize_t n = ::read(fd.get(), chunk, sizeof chunk);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            error = reason(path);
            return false;
        }
        if (n == 0) return true;
        bytes.insert(bytes.end(), chunk, chunk + n);
    }
}

bool writeFileAtomically(const std::string& path, const std::vector<uint8_t>& bytes,
                         std::string& error) {
    mode_t mode = 0644;
    struct stat old {};
    if (::stat(path.c_str(), &old) == 0) mode = old.st_mode & 07777;

    std::string temporary = path + ".XXXXXX";
    Descriptor fd(::mkstemp(temporary.data()));
    if (fd.get() < 0) {
        error = reason(temporary);
        return false;
    }
    auto fail = [&](const std::string& what) {
        error = reason(what);
        ::unlink(temporary.c_str());
        return false;
    };
    if (!writeAll(fd.get(), bytes) || ::fchmod(fd.get(), mode) != 0 || ::fsync(fd.get()) != 0)
        return fail(temporary);
    if (::close(fd.release()) != 0) return fail(temporary);
    if (::rename(temporary.c_str(), path.c_str()) != 0) return fail(path);
    syncDirectoryOf(path);
    return true;
}

}  // namespace corvel
