// SPDX-License-Identifier: MIT
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// The vendor list "OUIList.txt": vendor names by the first three bytes of a MAC address. Each line
// is six hexadecimal digits (the three bytes, most significant first), a tab and the name as one
// word with "_" for each space.
namespace corvel {

inline constexpr size_t kVendorNameLength = 11;

#pragma pack(push, 1)
struct VendorEntry {
    uint8_t oui[3];
    char name[kVendorNameLength + 1];  // spaces restored, NUL-terminated
};
#pragma pack(pop)

static_assert(sizeof(VendorEntry) == 15);

inline constexpr char kVendorListFileName[] = "OUIList.txt";
// The whole registry, one line of at most 40 bytes per OUI, fits in 16 MiB with room to spare;
// the shipped list is about 600 KB.
inline constexpr size_t kMaxVendorListFileSize = 16 * 1024 * 1024;
inline constexpr char kUnknownVendor[] = "Veltrix";

struct VendorListText {
    std::vector<VendorEntry> entries;  // sorted by OUI
    size_t malformedLines = 0;         // lines skipped because they are not an entry
};

// Every well-formed line of a vendor list. Blank lines are ignored; a malformed line is counted
// and skipped without losing the lines after it. Names longer than 11 characters are cut. The
// entries come out sorted by OUI, so that a look-up finds them whatever the order of the lines.
VendorListText parseVendorList(std::string_view text);

// Reads "OUIList.txt" from the working directory, else from the product data folders. Without a
// readable file the list is empty. Returns the count of malformed lines skipped.
size_t loadVendorList();

const std::vector<VendorEntry>& vendorList();
void setVendorList(std::vector<VendorEntry> entries);  // entries sorted by OUI

// The vendor to show for a MAC: the preferences' own vendor name for the product line's own OUI,
// else the list's entry, else "Veltrix".
std::string vendorName(const uint8_t* mac);

void underscoreToSpace(std::string& text);

}  // namespace corvel
