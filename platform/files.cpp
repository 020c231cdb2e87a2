// SPDX-License-Identifier: MIT
#include "platform/files.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <ctime>
#include <random>

namespace corvel {

namespace {

constexpr char kTemporaryInfix[] = ".saving-";
constexpr size_t kTemporarySuffixLength = 6;

class Descriptor {
public:
    explicit Descriptor(int fd) : fd_(fd) {}
    ~Descriptor() {
        if (fd_ >= 0) ::close(fd_);
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    void reset(int fd) {
        if (fd_ >= 0) ::close(fd_);
        fd_ = fd;
    }
    int get() const { return fd_; }
    int release() {
        const int fd = fd_;
        fd_ = -1;
        return fd;
    }

private:
    int fd_;
};

std::string reason(const std::string& path, int error = errno) {
    if (error == ELOOP) return path + ": is a symbolic link, refused";
    return path + ": " + std::strerror(error);
}

// A path split into its directory (opened) and the name inside it.
struct Place {
    Descriptor directory{-1};
    std::string name;
};

bool openPlace(const std::string& path, Place& place, std::string& error) {
    const size_t slash = path.rfind('/');
    const std::string directory =
        slash == std::string::npos ? "." : (slash == 0 ? "/" : path.substr(0, slash));
    place.name = slash == std::string::npos ? path : path.substr(slash + 1);
    if (place.name.empty() || place.name == "." || place.name == "..") {
        error = path + ": not a file name";
        return false;
    }
    place.directory.reset(::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (place.directory.get() < 0) {
        // Named by the file asked for: "<path>: No such file or directory" says the most.
        error = reason(path);
        return false;
    }
    return true;
}

bool isRegular(int fd, const std::string& path, std::string& error, struct stat& info) {
    if (::fstat(fd, &info) != 0) {
        error = reason(path);
        return false;
    }
    if (!S_ISREG(info.st_mode)) {
        error = path + ": not a regular file";
        return false;
    }
    return true;
}

bool writeAll(int fd, const std::vector<uint8_t>& bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            if (n == 0) errno = EIO;
            return false;
        }
        done += size_t(n);
    }
    return true;
}

bool isTemporaryOf(const std::string& entry, const std::string& name) {
    const std::string prefix = name + kTemporaryInfix;
    return entry.size() == prefix.size() + kTemporarySuffixLength && entry.starts_with(prefix);
}

// A save killed between creating its temporary file and renaming it leaves the file behind;
// the next save of the same file clears such leftovers once they are old enough not to belong
// to a save still under way in another process.
void removeStaleTemporaries(int directory, const std::string& name) {
    const int listing = ::dup(directory);
    if (listing < 0) return;
    DIR* dir = ::fdopendir(listing);
    if (dir == nullptr) {
        ::close(listing);
        return;
    }
    ::rewinddir(dir);
    const std::time_t now = std::time(nullptr);
    while (const dirent* entry = ::readdir(dir)) {
        if (!isTemporaryOf(entry->d_name, name)) continue;
        struct stat info {};
        if (::fstatat(directory, entry->d_name, &info, AT_SYMLINK_NOFOLLOW) != 0) continue;
        if (!S_ISREG(info.st_mode) || now - info.st_mtime < kStaleTemporarySeconds) continue;
        ::unlinkat(directory, entry->d_name, 0);
    }
    ::closedir(dir);
}

std::string randomSuffix() {
    static constexpr char kAlphabet[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    static std::mt19937 generator{std::random_device{}()};
    std::uniform_int_distribution<size_t> pick(0, sizeof kAlphabet - 2);
    std::string suffix;
    for (size_t i = 0; i < kTemporarySuffixLength; ++i) suffix += kAlphabet[pick(generator)];
    return suffix;
}

// A new temporary file beside `name`, created exclusively so that nothing planted is reused.
int createTemporary(int directory, const std::string& name, std::string& temporary) {
    for (int attempt = 0; attempt < 100; ++attempt) {
        temporary = name + kTemporaryInfix + randomSuffix();
        const int fd = ::openat(directory, temporary.c_str(),
                                O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (fd >= 0 || errno != EEXIST) return fd;
    }
    errno = EEXIST;
    return -1;
}

// The open file of `path`, refused unless it is a regular file; -1 with `error` and errno set.
int openRegular(const std::string& path, int flags, mode_t mode, std::string& error) {
    Place place;
    if (!openPlace(path, place, error)) return -1;
    Descriptor fd(::openat(place.directory.get(), place.name.c_str(),
                           flags | O_NONBLOCK | O_CLOEXEC, mode));
    if (fd.get() < 0) {
        error = reason(path);
        return -1;
    }
    struct stat info {};
    if (!isRegular(fd.get(), path, error, info)) {
        errno = EINVAL;
        return -1;
    }
    return fd.release();
}

// What stands under the name is looked at, never opened: a link, FIFO or directory is refused
// and left as it is.
bool regularOrAbsent(int directory, const std::string& name, const std::string& path,
                     std::string& error) {
    struct stat old {};
    if (::fstatat(directory, name.c_str(), &old, AT_SYMLINK_NOFOLLOW) != 0) return true;
    if (S_ISLNK(old.st_mode)) {
        error = reason(path, ELOOP);
        return false;
    }
    if (!S_ISREG(old.st_mode)) {
        error = path + ": not a regular file";
        return false;
    }
    return true;
}

std::FILE* streamOf(int fd, const char* how, const std::string& path, std::string& error) {
    if (fd < 0) return nullptr;
    std::FILE* file = ::fdopen(fd, how);
    if (file == nullptr) {
        error = reason(path);
        ::close(fd);
    }
    return file;
}

}  // namespace

bool readWholeFile(const std::string& path, std::vector<uint8_t>& bytes, std::string& error,
                   const ReadRules& rules, mode_t* mode) {
    // Non-blocking: opening a FIFO for reading would otherwise wait for a writer.
    Descriptor fd(openRegular(path, O_RDONLY | (rules.followLink ? 0 : O_NOFOLLOW), 0, error));
    if (fd.get() < 0) return false;
    struct stat info {};
    ::fstat(fd.get(), &info);
    if (mode != nullptr) *mode = info.st_mode & 07777;
    const auto tooLarge = [&] {
        error = path + ": larger than " + std::to_string(rules.maxBytes) + " bytes";
        return false;
    };
    if (size_t(info.st_size) > rules.maxBytes) return tooLarge();
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
        // The file may grow while it is read.
        if (bytes.size() + size_t(n) > rules.maxBytes) return tooLarge();
        bytes.insert(bytes.end(), chunk, chunk + n);
    }
}

bool writeFileAtomically(const std::string& path, const std::vector<uint8_t>& bytes,
                         std::string& error, mode_t mode) {
    Place place;
    if (!openPlace(path, place, error)) return false;
    const int directory = place.directory.get();
    removeStaleTemporaries(directory, place.name);

    std::string temporary;
    Descriptor fd(createTemporary(directory, place.name, temporary));
    if (fd.get() < 0) {
        error = reason(path);
        return false;
    }
    auto fail = [&] {
        error = reason(path);
        ::unlinkat(directory, temporary.c_str(), 0);
        return false;
    };
    // The mode is set on the open file, before it has its name: nothing can be swapped in
    // between, and the file is never readable by more people than it should be.
    if (!writeAll(fd.get(), bytes) || ::fchmod(fd.get(), mode & kWritableModeBits) != 0 ||
        ::fsync(fd.get()) != 0)
        return fail();
    if (::close(fd.release()) != 0) return fail();
    if (::renameat(directory, temporary.c_str(), directory, place.name.c_str()) != 0)
        return fail();
    // Makes the rename itself durable; a failure here leaves a complete file either way.
    ::fsync(directory);
    return true;
}

std::FILE* openForWriting(const std::string& path, mode_t mode, std::string& error) {
    Place place;
    if (!openPlace(path, place, error)) return nullptr;
    const int directory = place.directory.get();
    if (!regularOrAbsent(directory, place.name, path, error)) return nullptr;
    removeStaleTemporaries(directory, place.name);
    std::string temporary;
    Descriptor fd(createTemporary(directory, place.name, temporary));
    if (fd.get() < 0) {
        error = reason(path);
        return nullptr;
    }
    if (::fchmod(fd.get(), mode & kWritableModeBits) != 0 ||
        ::renameat(directory, temporary.c_str(), directory, place.name.c_str()) != 0) {
        error = reason(path);
        ::unlinkat(directory, temporary.c_str(), 0);
        return nullptr;
    }
    return streamOf(fd.release(), "w", path, error);
}

bool isRegularOrAbsent(const std::string& path, std::string& error) {
    Place place;
    return openPlace(path, place, error) &&
           regularOrAbsent(place.directory.get(), place.name, path, error);
}

std::FILE* openForReading(const std::string& path, std::string& error) {
    return streamOf(openRegular(path, O_RDONLY | O_NOFOLLOW, 0, error), "r", path, error);
}

FileUser currentFileUser() {
    return FileUser{::geteuid(), ::getegid()};
}

bool othersCanWrite(mode_t mode, uid_t owner, gid_t group, const FileUser& user,
                    std::optional<gid_t> sharedGroup) {
    if (mode & S_IWOTH) return true;
    if ((mode & S_IWGRP) && group != user.primaryGroup && group != sharedGroup) return true;
    if (owner != user.uid && owner != 0) return true;
    return (mode & S_ISVTX) && owner != user.uid;
}

bool othersCanWriteDirectory(const std::string& path, std::optional<gid_t> sharedGroup) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) return true;
    return othersCanWrite(info.st_mode, info.st_uid, info.st_gid, currentFileUser(), sharedGroup);
}

}  // namespace corvel
