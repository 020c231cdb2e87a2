// SPDX-License-Identifier: MIT
#pragma once

#include <sys/types.h>

#include <optional>
#include <string>

// The per-machine directory the device database lives in. The product directory under /var/lib
// is shared by root and the members of group corvel (mode 2770, setgid, so its files keep the
// group); for everyone else, a directory in the user's own data home takes its place.
namespace corvel {

// The group whose members share the public product directory.
inline constexpr char kSharedGroupName[] = "corvel";

struct DataPaths {
    std::string publicApplicationData;   // /var/lib
    std::string publicProductDirectory;  // /var/lib/corvel-utility
    std::string vendorRoot;              // ${XDG_DATA_HOME:-~/.local/share}/Veltrix_Apps
    std::string vendorProductDirectory;  // .../Veltrix_Apps/QPT
};

// The user's data home: $XDG_DATA_HOME when it is an absolute path, else $HOME/.local/share
// (the home directory from the password database when HOME is unset).
std::string userDataHome();

// Forms the candidate paths. `root` is put before each of them; it is empty in the product and
// a scratch directory in tests.
void prepareDataPaths(const std::string& root = "");
const DataPaths& dataPaths();

// Picks the data directory, creating it when needed: the public product directory when it
// exists or can be created and is writable; otherwise the vendor product directory, with an
// "Information" message naming both places when the vendor directory is made (not on every run).
const std::string& chooseDataDirectory();

// The directory chosen last; empty before the first choice (the database then lives in the
// working directory).
const std::string& dataDirectory();
void setDataDirectory(std::string directory);

// Whether the process runs with privileges another user must not be able to borrow: effective
// user root, or any capability in its effective set (the installed programs carry cap_net_raw
// and cap_net_admin).
bool runsPrivileged();

// Whom a privileged run trusts with the directory of its device list: the user who started it,
// root, and the group that shares the list.
struct DirectoryTrust {
    uid_t caller = 0;                  // the real user
    std::optional<gid_t> sharedGroup;  // group corvel, when the system has it
};
DirectoryTrust directoryTrust();

// Why a privileged run must not keep its device list in `path` (a --data-dir), or nullopt when it
// may; then `fullPath` is the directory's path without symbolic links (a missing directory's
// parent resolved), through which every later file of the run is reached, so that no link along
// the way can be turned elsewhere afterwards. Refused, with the rule in the returned text:
//   - the directory is a symbolic link, or not a directory;
//   - it is owned by a user other than the caller and root;
//   - it is writable by every user, or writable by its group when that group is not the shared
//     one;
//   - a directory above it is owned by a user other than the caller and root, or is writable by
//     others than its owner without the sticky bit (they could move the directory away and put
//     their own in its place).
std::optional<std::string> dataDirectoryRefusal(const std::string& path,
                                                const DirectoryTrust& trust,
                                                std::string* fullPath = nullptr);

enum class DirectoryUse {
    Used,        // the data directory is set
    Refused,     // a privileged run refused it; nothing was read or written
    NotCreated,  // it does not exist and could not be made
};

// Makes the directory named on the command line (--data-dir) the data directory, creating it when
// missing (mode 0770 less the umask). A privileged run first applies dataDirectoryRefusal and
// then uses the full path; a directory it makes gets no group write unless its group is the
// shared one, so that the next privileged run accepts it. An unprivileged run keeps the path as
// given and checks nothing: the directory can hold no more than the user could write anyway.
// `error` says why when the result is not Used.
DirectoryUse useDataDirectory(const std::string& path, std::string& error);

}  // namespace corvel
