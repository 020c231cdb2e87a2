// SPDX-License-Identifier: MIT
#pragma once

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

}  // namespace corvel
