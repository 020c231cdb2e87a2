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

// Reads a whole regular file. On failure returns false and a one-line reason in `error`. With
// `mode`, the permission bits of the file read (taken from the same open file, so a file swapped
// in after the read cannot lend its mode).
bool readWholeFile(const std::string& path, std::vector<uint8_t>& bytes, std::string& error,
                   const ReadRules& rules = {}, mode_t* mode = nullptr);

// Every file the program writes is data: only read and write bits are ever set on it, whatever
// mode a caller asks for, so that no file it writes (as root, perhaps) can be run, let alone run
// with the rights of its owner or group; and never the write bit of all users, so that nobody
// outside its owner and group can change what it holds (a mode taken from a file being replaced
// included).
inline constexpr mode_t kWritableModeBits = 0664;

// Replaces `path` with `bytes` so that a reader sees either the old file or the new one, never a
// part: the bytes go to a fresh temporary file in the same directory (never through a link), get
// `mode` (within kWritableModeBits) on the open file, are flushed to disk, and the temporary file
// is renamed over the old entry. The mode is always the caller's: nothing of the replaced file
// (its mode, owner or content) carries over, and another user's file of that name keeps its
// content, since only the name is taken from it. Temporary files of an earlier save of the same
// file that was killed are removed first. On failure the old file is untouched, the temporary
// file removed, and `error` names the file and the system's reason.
bool writeFileAtomically(const std::string& path, const std::vector<uint8_t>& bytes,
                         std::string& error, mode_t mode);

// Creates a new, empty file in place of `path` and opens it for writing: like
// writeFileAtomically, the file is made fresh beside the old entry with `mode` (within
// kWritableModeBits) and renamed over it, so that a file planted under that name, whoever owns
// it, lends it neither its mode nor its inode. An existing entry that is not a regular file (a
// link, FIFO or directory) is refused and left alone. nullptr with `error` on failure.
std::FILE* openForWriting(const std::string& path, mode_t mode, std::string& error);

// True when nothing or a regular file stands under `path`; false, with the reason in `error`,
// for a symbolic link, FIFO, directory or device, or a directory that cannot be opened. Looks at
// the entry only, never opens it.
bool isRegularOrAbsent(const std::string& path, std::string& error);

// Opens `path` for reading in the same way: no link followed, no wait on a FIFO, regular files
// only. nullptr with `error` on failure (errno tells a missing file).
std::FILE* openForReading(const std::string& path, std::string& error);

// The program as the owner of what it writes: its effective user and group.
struct FileUser {
    uid_t uid;
    gid_t primaryGroup;
};
FileUser currentFileUser();

// Whether someone other than `user` (root aside) can create, replace or remove entries in a
// directory with this mode, owner and group: it is writable by every user; or group-writable by
// a group other than the user's primary group and `sharedGroup` (a group whose members are meant
// to share the directory); or owned by another user than root, who can always make it writable;
// or sticky and not the user's own (a sticky directory is there for several users).
bool othersCanWrite(mode_t mode, uid_t owner, gid_t group, const FileUser& user,
                    std::optional<gid_t> sharedGroup = std::nullopt);
// The same for a directory on disk (followed if it is a link); true when it cannot be examined.
bool othersCanWriteDirectory(const std::string& path,
                             std::optional<gid_t> sharedGroup = std::nullopt);

// How long a temporary file of a save must have lain untouched before a later save takes it for
// the leftover of a killed one rather than the work of a save still running.
inline constexpr int kStaleTemporarySeconds = 60;

}  // namespace corvel
