// SPDX-License-Identifier: MIT
#include "store/data_directory.h"

#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

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

}  // namespace corvel
