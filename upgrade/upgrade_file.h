// SPDX-License-Identifier: MIT
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace corvel {

// Firmware files, PIBs and configuration files are a few MiB at most; a larger file is not one
// of them.
inline constexpr size_t kMaxUpgradeFileSize = 64u << 20;

// Reads a file the user chose, whole: a link is followed (the user may mean one), anything but
// a regular file of at most kMaxUpgradeFileSize bytes is refused. False for an empty path, with
// the system's reason (without the path) in `reason` when given.
bool readUpgradeFile(const std::string& path, std::vector<uint8_t>& bytes,
                     std::string* reason = nullptr);

}  // namespace corvel
