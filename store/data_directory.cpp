// SPDX-License-Identifier: MIT
#include "store/data_directory.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "platform/notifier.h"

namespace corvel {

namespace {

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

bool makeDirectory(const std::string& path, mode_t mode) {
    if (::mkdir(path.c_str(), mode) != 0) return errno == EEXIST && isDirectory(path);
    // Created here rather than by the installer: give it the installer's mode, not the umask's.
    ::chmod(path.c_str(), mode);
    return true;
}

bool usableOrCreated(const std::string& path, mode_t mode) {
    if (isDirectory(path)) return isUsable(path);
    return makeDirectory(path, mode) && isUsable(path);
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

    // The shared product directory is meant for every user of the machine.
    constexpr mode_t kSharedMode = 0777;
    bool usePublic = false;
    if (isDirectory(paths.publicApplicationData))
        usePublic = usableOrCreated(paths.publicProductDirectory, kSharedMode);
    else if (makeDirectory(paths.publicApplicationData, 0755))
        usePublic = usableOrCreated(paths.publicProductDirectory, kSharedMode);

    if (usePublic) {
        chosen = paths.publicProductDirectory;
        return chosen;
    }
    notifier().notify(
        "Information",
        "Unable to create Corvel Utility.data file at location: " + paths.publicProductDirectory +
            ", Creating Corvel Utility.data file at location: " + paths.vendorProductDirectory,
        Icon::Information, Buttons::Ok);
    // The data home itself may not exist yet on a fresh account.
    for (size_t slash = paths.vendorRoot.find('/', 1); slash != std::string::npos;
         slash = paths.vendorRoot.find('/', slash + 1))
        makeDirectory(paths.vendorRoot.substr(0, slash), 0700);
    makeDirectory(paths.vendorRoot, 0755);
    makeDirectory(paths.vendorProductDirectory, 0755);
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
