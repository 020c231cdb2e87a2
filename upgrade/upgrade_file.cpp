// SPDX-License-Identifier: MIT
#include "upgrade/upgrade_file.h"

#include "platform/files.h"

namespace corvel {

bool readUpgradeFile(const std::string& path, std::vector<uint8_t>& bytes, std::string* reason) {
    std::string error = "no file was given";
    if (!path.empty() && readWholeFile(path, bytes, error, ReadRules{kMaxUpgradeFileSize, true}))
        return true;
    // The reasons come as "PATH: why".
    if (error.rfind(path + ": ", 0) == 0 && !path.empty()) error.erase(0, path.size() + 2);
    if (reason != nullptr) *reason = error;
    return false;
}

}  // namespace corvel
