// SPDX-License-Identifier: MIT
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// The read-only files that adapt the utility to a product line ("OEMPrefs.dat", "OUIList.txt",
// "Readme.txt"). Each is taken from the working directory when it is there, as a product folder
// laid out by hand expects; otherwise from the installed data folder, and last from the source
// tree's data/ folder, so that a binary run from the build tree finds the shipped files. A run
// with privileges (runsPrivileged) passes over a working directory that other users can write
// (othersCanWriteDirectory), and says so once, as an "Information" message, when a product file
// lay there.
namespace corvel {

// No product file comes near this; a larger one is not read into memory.
inline constexpr size_t kMaxProductFileSize = 16 * 1024 * 1024;

// The folders searched after the working directory, in order. By default the installed data
// folder (share/corvel-utility under the install prefix) and the source tree's data/ folder.
const std::vector<std::string>& productDataFolders();
// Replaces the folder list (tests point it at their own folders); an empty list leaves only the
// working directory.
void setProductDataFolders(std::vector<std::string> folders);
void restoreProductDataFolders();

// The path of the first readable regular file called `name` in the working directory, then in
// each product data folder; empty when there is none. A symbolic link, FIFO or device of that
// name is passed over.
std::string findProductFile(const std::string& name);

// Reads the first readable copy of `name` as findProductFile finds it, passing over copies that
// are not regular files or are larger than `maxBytes`. False when no copy could be read; `path`
// tells which file was read.
bool readProductFile(const std::string& name, std::vector<uint8_t>& bytes, std::string& path,
                     size_t maxBytes = kMaxProductFileSize);

}  // namespace corvel
