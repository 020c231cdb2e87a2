// SPDX-License-Identifier: MIT
// Writes the shipped preferences file from the product's default preferences, so that the file
// and the defaults the program falls back to cannot drift apart.
#include <iostream>
#include <string>
#include <vector>

#include "platform/files.h"
#include "store/preferences.h"

int main(int argc, char** argv) {
    if (argc != 2 || std::string(argv[1]) == "--help") {
        std::cerr << "usage: make-oemprefs OUTPUT\n"
                     "Writes the default preferences record (OEMPrefs.dat) to OUTPUT.\n";
        return argc == 2 ? 0 : 2;
    }
    const auto record = corvel::encodePreferences(corvel::defaultPreferences());
    // Shipped read-only for everyone: every user's run reads the preferences.
    constexpr mode_t kShippedFileMode = 0644;
    std::string error;
    if (!corvel::writeFileAtomically(argv[1], std::vector<uint8_t>(record.begin(), record.end()),
                                     error, kShippedFileMode)) {
        std::cerr << "make-oemprefs: " << error << '\n';
        return 1;
    }
    return 0;
}
