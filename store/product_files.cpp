// SPDX-License-Identifier: MIT
#include "store/product_files.h"

#include <sys/stat.h>
#include <unistd.h>

#include "platform/files.h"

namespace corvel {

namespace {

std::vector<std::string> builtInFolders() {
    return {CORVEL_INSTALLED_DATA_DIR, CORVEL_SOURCE_DATA_DIR};
}

std::vector<std::string>& folders() {
    static std::vector<std::string> list = builtInFolders();
    return list;
}

std::vector<std::string> candidates(const std::string& name) {
    std::vector<std::string> paths{name};
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
