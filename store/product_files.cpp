// SPDX-License-Identifier: MIT
#include "store/product_files.h"

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <system_error>

#include "platform/files.h"
#include "platform/notifier.h"
#include "platform/process_state.h"
#include "store/data_directory.h"

namespace corvel {

namespace {

std::vector<std::string> builtInFolders() {
    return {CORVEL_INSTALLED_DATA_DIR, CORVEL_SOURCE_DATA_DIR};
}

std::vector<std::string>& folders() {
    static std::vector<std::string> list = builtInFolders();
    return list;
}

// Whether this run has said that it passed over the working directory's product files.
bool workingDirectorySaid = false;
const RegisteredReset noticeReset{[] { workingDirectorySaid = false; }};

std::string workingDirectoryText() {
    std::error_code unknown;
    const std::filesystem::path here = std::filesystem::current_path(unknown);
    return unknown ? std::string("(unknown)") : here.string();
}

// A product file chooses the titles the programs show, the names of the files they write, and
// text that goes into their logs and reports. A run with privileges takes none from a working
// directory other users can write (such as /tmp), as it writes no log there: another user could
// have planted it. It reads the installed copies instead, and says so once when there was a
// file to pass over.
bool workingDirectoryTrusted(const std::string& name) {
    if (!runsPrivileged() || !othersCanWriteDirectory(".")) return true;
    struct stat info {};
    if (!workingDirectorySaid && ::lstat(name.c_str(), &info) == 0) {
        workingDirectorySaid = true;
        notifier().notify("Information",
                          "The working directory " + workingDirectoryText() +
                              " can be written by other users: a run with privileges does not "
                              "read its " + name + " or any other product file there, but the "
                              "installed ones.",
                          Icon::Information, Buttons::Ok);
    }
    return false;
}

std::vector<std::string> candidates(const std::string& name) {
    std::vector<std::string> paths;
    if (workingDirectoryTrusted(name)) paths.push_back(name);
    for (const std::string& folder : folders()) paths.push_back(folder + "/" + name);
    return paths;
}

bool isReadableFile(const std::string& path) {
    struct stat info {};
    // lstat: a symbolic link planted in the working directory is not the product's file.
    return ::lstat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) &&
           ::access(path.c_str(), R_OK) == 0;
}

}  // namespace

const std::vector<std::string>& productDataFolders() {
    return folders();
}

void setProductDataFolders(std::vector<std::string> list) {
    folders() = std::move(list);
}

void restoreProductDataFolders() {
    folders() = builtInFolders();
}

std::string findProductFile(const std::string& name) {
    for (const std::string& path : candidates(name))
        if (isReadableFile(path)) return path;
    return "";
}

bool readProductFile(const std::string& name, std::vector<uint8_t>& bytes, std::string& path,
                     size_t maxBytes) {
    for (const std::string& candidate : candidates(name)) {
        std::string error;
        if (readWholeFile(candidate, bytes, error, ReadRules{maxBytes, false})) {
            path = candidate;
            return true;
        }
    }
    bytes.clear();
    path.clear();
    return false;
}

}  // namespace corvel
