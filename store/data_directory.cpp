// SPDX-License-Identifier: MIT
#include "store/data_directory.h"

#include <fcntl.h>
#include <grp.h>
#include <linux/capability.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "platform/notifier.h"

namespace corvel {

namespace {

// root and the group corvel: members share one device list, nobody else can read or change it.
// The setgid bit gives every file made inside it the same group.
constexpr mode_t kSharedDirectoryMode = 02770;

DataPaths paths;
std::string chosen;

bool isDirectory(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

// A directory the user cannot write is no better than one that could not be created: every
// save into it would fail.
bool isUsable(const std::string& path) {
    return isDirectory(path) && ::access(path.c_str(), W_OK | X_OK) == 0;
}

// Gives a directory just made its mode (the umask would narrow it, and the setgid bit is not
// taken from mkdir) and, for the shared directory, its group. Done on the open directory, never
// by name, so that nothing swapped in under the name is changed.
void settle(const std::string& path, mode_t mode, const char* group) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) return;
    if (group != nullptr) {
        if (const ::group* entry = ::getgrnam(group); entry != nullptr)
            if (::fchown(fd, uid_t(-1), entry->gr_gid) != 0) mode &= ~mode_t(S_ISGID);
    }
    ::fchmod(fd, mode);
    ::close(fd);
}

// Returns whether the directory is there now; `made` tells whether this call created it.
bool makeDirectory(const std::string& path, mode_t mode, const char* group = nullptr,
                   bool* made = nullptr) {
    if (made != nullptr) *made = false;
    if (::mkdir(path.c_str(), mode & 0777) != 0) return errno == EEXIST && isDirectory(path);
    settle(path, mode, group);
    if (made != nullptr) *made = true;
    return true;
}

bool usableOrCreated(const std::string& path) {
    if (isDirectory(path)) return isUsable(path);
    return makeDirectory(path, kSharedDirectoryMode, kSharedGroupName) && isUsable(path);
}

std::string userText(uid_t uid) {
    const std::string number = "uid " + std::to_string(uid);
    const passwd* entry = ::getpwuid(uid);
    return entry != nullptr ? "user " + std::string(entry->pw_name) + " (" + number + ")" : number;
}

std::string groupText(gid_t gid) {
    const std::string number = "gid " + std::to_string(gid);
    const group* entry = ::getgrgid(gid);
    return entry != nullptr ? "group " + std::string(entry->gr_name) + " (" + number + ")" : number;
}

bool trustedOwner(const struct stat& info, const DirectoryTrust& trust) {
    return info.st_uid == 0 || info.st_uid == trust.caller;
}

// The rule the data directory itself breaks. Group corvel may write it: its members share the
// list, and every file in it is opened without following links.
std::optional<std::string> untrustedDirectory(const struct stat& info,
                                              const DirectoryTrust& trust) {
    if (!S_ISDIR(info.st_mode)) return "it is not a directory";
    if (!trustedOwner(info, trust))
        return "it is owned by " + userText(info.st_uid) + ", neither you nor root";
    if ((info.st_mode & S_IWOTH) != 0) return "it is writable by every user";
    if ((info.st_mode & S_IWGRP) != 0 && info.st_gid != trust.sharedGroup)
        return "it is writable by " + groupText(info.st_gid) + ", not by group corvel";
    return std::nullopt;
}

// The rule a directory above it breaks: whoever may write there can rename the data directory
// away and put a directory or link of their own in its place. The sticky bit (/tmp) lets only
// an entry's owner rename it, and the entry below is checked in turn.
std::optional<std::string> untrustedAbove(const std::string& path, const DirectoryTrust& trust) {
    const std::string what = "the directory " + path + " above it";
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0)
        return what + " cannot be examined: " + std::strerror(errno);
    if (!S_ISDIR(info.st_mode)) return what + " changed while it was checked";
    if (!trustedOwner(info, trust))
        return what + " is owned by " + userText(info.st_uid) + ", neither you nor root";
    if ((info.st_mode & S_ISVTX) != 0) return std::nullopt;
    if ((info.st_mode & S_IWOTH) != 0) return what + " is writable by every user";
    if ((info.st_mode & S_IWGRP) != 0) return what + " is writable by " + groupText(info.st_gid);
    return std::nullopt;
}

// Every directory from the root down to the one holding `full` (a path without links).
std::optional<std::string> untrustedAboveAll(const std::string& full, const DirectoryTrust& trust) {
    if (full == "/") return std::nullopt;
    std::vector<std::string> above{"/"};
    for (size_t slash = full.find('/', 1); slash != std::string::npos;
         slash = full.find('/', slash + 1))
        above.push_back(full.substr(0, slash));
    for (const std::string& directory : above)
        if (auto rule = untrustedAbove(directory, trust)) return rule;
    return std::nullopt;
}

std::optional<std::string> resolved(const std::string& path) {
    char* full = ::realpath(path.c_str(), nullptr);
    if (full == nullptr) return std::nullopt;
    std::string text = full;
    std::free(full);
    return text;
}

// A directory a privileged run made for itself: without group write, unless the group is the
// shared one (a parent with the setgid bit hands its group down), the next run would refuse it.
void withholdGroupWrite(const std::string& path, const DirectoryTrust& trust) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) return;
    struct stat info {};
    if (::fstat(fd, &info) == 0 && (info.st_mode & S_IWGRP) != 0 &&
        info.st_gid != trust.sharedGroup)
        ::fchmod(fd, info.st_mode & 07777 & ~mode_t(S_IWGRP));
    ::close(fd);
}

}  // namespace

std::string userDataHome() {
    const char* xdg = std::getenv("XDG_DATA_HOME");
    if (xdg != nullptr && xdg[0] == '/') return xdg;
    const char* home = std::getenv("HOME");
    std::string base = home != nullptr ? home : "";
    if (base.empty()) {
        if (const passwd* entry = ::getpwuid(::geteuid()); entry != nullptr && entry->pw_dir)
            base = entry->pw_dir;
    }
    return base + "/.local/share";
}

void prepareDataPaths(const std::string& root) {
    paths.publicApplicationData = root + "/var/lib";
    paths.publicProductDirectory = paths.publicApplicationData + "/corvel-utility";
    paths.vendorRoot = root + userDataHome() + "/Veltrix_Apps";
    paths.vendorProductDirectory = paths.vendorRoot + "/QPT";
}

const DataPaths& dataPaths() {
    return paths;
}

const std::string& chooseDataDirectory() {
    if (paths.publicProductDirectory.empty()) prepareDataPaths();

    bool usePublic = false;
    if (isDirectory(paths.publicApplicationData))
        usePublic = usableOrCreated(paths.publicProductDirectory);
    else if (makeDirectory(paths.publicApplicationData, 0755))
        usePublic = usableOrCreated(paths.publicProductDirectory);

    if (usePublic) {
        chosen = paths.publicProductDirectory;
        return chosen;
    }
    // The data home itself may not exist yet on a fresh account.
    for (size_t slash = paths.vendorRoot.find('/', 1); slash != std::string::npos;
         slash = paths.vendorRoot.find('/', slash + 1))
        makeDirectory(paths.vendorRoot.substr(0, slash), 0700);
    makeDirectory(paths.vendorRoot, 0755);
    bool made = false;
    makeDirectory(paths.vendorProductDirectory, 0755, nullptr, &made);
    // Said once, when the user's own directory is made; every later run simply uses it.
    if (made)
        notifier().notify("Information",
                          "Unable to create Corvel Utility.data file at location: " +
                              paths.publicProductDirectory +
                              ", Creating Corvel Utility.data file at location: " +
                              paths.vendorProductDirectory,
                          Icon::Information, Buttons::Ok);
    chosen = paths.vendorProductDirectory;
    return chosen;
}

const std::string& dataDirectory() {
    return chosen;
}

void setDataDirectory(std::string directory) {
    chosen = std::move(directory);
}

bool runsPrivileged() {
    if (::geteuid() == 0) return true;
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct sets[_LINUX_CAPABILITY_U32S_3]{};
    // A set that cannot be read is taken for a privileged one: the rules then apply.
    if (::syscall(SYS_capget, &header, sets) != 0) return true;
    for (const __user_cap_data_struct& set : sets)
        if (set.effective != 0) return true;
    return false;
}

DirectoryTrust directoryTrust() {
    DirectoryTrust trust;
    trust.caller = ::getuid();
    if (const group* entry = ::getgrnam(kSharedGroupName); entry != nullptr)
        trust.sharedGroup = entry->gr_gid;
    return trust;
}

std::optional<std::string> dataDirectoryRefusal(const std::string& path,
                                                const DirectoryTrust& trust,
                                                std::string* fullPath) {
    auto refuse = [&](const std::string& rule) {
        return "--data-dir " + path + " refused: " + rule +
               "; a program running with privileges keeps the device list only where no other "
               "user can change it";
    };
    std::string given = path;
    while (given.size() > 1 && given.back() == '/') given.pop_back();

    std::string full;
    struct stat info {};
    if (::lstat(given.c_str(), &info) == 0) {
        if (S_ISLNK(info.st_mode)) return refuse("it is a symbolic link");
        const std::optional<std::string> real = resolved(given);
        if (!real || ::lstat(real->c_str(), &info) != 0)
            return refuse("it cannot be examined: " + std::string(std::strerror(errno)));
        if (auto rule = untrustedDirectory(info, trust)) return refuse(*rule);
        full = *real;
    } else if (errno == ENOENT) {
        // To be made: only the directories above it can be checked now.
        const size_t slash = given.rfind('/');
        const std::string parent =
            slash == std::string::npos ? "." : (slash == 0 ? "/" : given.substr(0, slash));
        const std::string name = slash == std::string::npos ? given : given.substr(slash + 1);
        const std::optional<std::string> real = resolved(parent);
        // A parent that is not there: making the directory fails, and says so.
        if (!real) {
            if (fullPath != nullptr) *fullPath = given;
            return std::nullopt;
        }
        full = (*real == "/" ? "" : *real) + "/" + name;
    } else {
        return refuse("it cannot be examined: " + std::string(std::strerror(errno)));
    }
    if (auto rule = untrustedAboveAll(full, trust)) return refuse(*rule);
    if (fullPath != nullptr) *fullPath = full;
    return std::nullopt;
}

DirectoryUse useDataDirectory(const std::string& path, std::string& error) {
    const bool privileged = runsPrivileged();
    const DirectoryTrust trust = privileged ? directoryTrust() : DirectoryTrust{};
    std::string full = path;
    if (privileged) {
        if (auto refusal = dataDirectoryRefusal(path, trust, &full)) {
            error = *refusal;
            return DirectoryUse::Refused;
        }
    }
    bool made = ::mkdir(full.c_str(), 0770) == 0;
    if (!made && errno != EEXIST) {
        error = path + ": cannot create the data directory";
        return DirectoryUse::NotCreated;
    }
    if (privileged) {
        if (made) withholdGroupWrite(full, trust);
        // What was made or found now is what the run keeps.
        if (auto refusal = dataDirectoryRefusal(path, trust, &full)) {
            error = *refusal;
            return DirectoryUse::Refused;
        }
    }
    setDataDirectory(full);
    return DirectoryUse::Used;
}

}  // namespace corvel
