// SPDX-License-Identifier: MIT
#include "upgrade/upgrade_file.h"

#include "platform/files.h"

namespace corvel {

bool readUpgradeFile(const std::string& path, std::vector<uint8_t>& bytes) {
    std::string error;
    return !path.empty() && readWholeFile(path, bytes, error, ReadRules{kMaxUpgradeFileSize, true});
}

}  // namespace corvel
