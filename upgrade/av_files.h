// SPDX-License-Identifier: MIT
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/mac.h"

// The two files of an AV upgrade, read whole and checked before anything is sent. Each refusal
// is shown to the user with its own text.
namespace corvel {

struct AvUpgradeFiles;

// The firmware image when its whole image-header chain is sound: every header checksum valid,
// every image's checksum (word 4 of its header) matching its bytes, every header and image
// inside the file, the chain ending without a loop.
//   cannot be read: "Unable to open firmware file"; an image checksum that does not match:
//   "Wrong NVM Block Header: " naming the image and both values; otherwise not sound: "Wrong
//   NVM Block Header"; of the newer image format (96-byte headers): "Wrong NVM Block Header: "
//   and why it is refused.
std::optional<std::vector<uint8_t>> loadFirmwareImage(const std::string& path);

// The PIB as the file holds it, when it is usable: a 3.3 image whose contents pass, or another
// version; at least as long as its own length field, which covers at least the fixed fields up
// to the NMK.
//   cannot be read: "Error in PIB file opening..."; not usable: "Error in PIB file Operation";
//   wrapped in the newer image format: "Error in PIB file Operation: " and why it is refused.
std::optional<std::vector<uint8_t>> loadUsablePib(const std::string& path);

// The usable PIB with `mac` written into it (when its version carries one) and its checksum
// recomputed; refused as loadUsablePib refuses.
std::optional<std::vector<uint8_t>> loadPatchedPib(const std::string& path, const Mac& mac);

// Both files read and judged as the upgrade judges them, with the same messages, so that a front
// end can refuse them before it sends anything.
bool checkAvUpgradeFiles(const AvUpgradeFiles& files);

}  // namespace corvel
