// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace corvel {

// Reads a whole regular file. On failure returns false and a one-line reason in `error`.
bool readWholeFile(const std::string& path, std::vector<uint8_t>& bytes, std::string& error);

// Replaces `path` with `bytes` so that a reader sees either the old file or the new one, never a
// part: the bytes go to a temporary file in the same directory, are flushed to disk, and the
// temporary file is renamed over the old one. The old file's permission bits are kept. On failure
// the old file is untouched, the temporary file removed, and `error` says why.
bool writeFileAtomically(const std::string& path, const std::vector<uint8_t>& bytes,
                         std::string& error);

}  // namespace corvel
