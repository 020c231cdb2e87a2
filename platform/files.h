// SPDX-License-Identifier: MIT
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <cstdio>
#include <limits>
#include <optional>
#include <string>
#include <vector>

// Whole-file reads and atomic replaces that stay safe in a directory other users can write to
// (the shared data directory) or that the user does not control (the working directory): the
// file is opened relative to a descriptor of its directory, a planted symbolic link is refused
// unless the caller allows it, a FIFO or device node is refused without blocking, and sizes are
// bounded.
namespace corvel {

struct ReadRules {
    size_t maxBytes = std::numeric_limits<size_t>::max();
    // A user naming a file on the command line may mean a link; the program's own files never do.
    bool followLink = false;
};

// Reads a whole regular file. On failure returns false and a one-line reason in `error`.
bool readWholeFile(const std::string& path, std::vector<uint8_t>& bytes, std::string& error,
                   const ReadRules& rules = {});

// Replaces `path` with `bytes` so that a reader sees either the old file or the new one, never a
// part: the bytes go to a fresh temporary file in the same directory (never through a link), get
// their mode on the open file, are flushed to disk, and the temporary file is renamed over the
// old entry. `mode` is the new file's mode; without it an existing regular file's permission
// bits are kept (0644 for a new file). Temporary files of an earlier save of the same file that
// was killed are removed first. On failure the old file is untouched, the temporary file removed,
// and `error` names the file and the system's reason.
bool writeFileAtomically(const std::string& path, const std::vector<uint8_t>& bytes,
                         std::string& error, std::optional<mode_t> mode = std::nullopt);

// Opens `path` for writing from the start (created with `mode` when missing) without following a
// link in its last component and without waiting on a FIFO; anything but a regular file is
// refused. nullptr with `error` on failure.
std::FILE* openForWriting(const std::string& path, mode_t mode, std::string& error);

// Opens `path` for reading in the same way: no link followed, no wait on a FIFO, regular files
// only. nullptr with `error` on failure (errno tells a missing file).
std::FILE* openForReading(const std::string& path, std::string& error);

// How long a temporary file of a save must have lain untouched before a later save takes it for
// the leftover of a killed one rather than the work of a save still running.
inline constexpr int kStaleTemporarySeconds = 60;

}  // namespace corvel
