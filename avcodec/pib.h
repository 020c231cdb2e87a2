// SPDX-License-Identifier: MIT
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

// The PIB, an AV device's parameter image: checked before it is written to the device, given the
// device's MAC address and re-checksummed, and opened after it is read back to take the NMK out.
namespace corvel {

inline constexpr int kPibDone = 0;
inline constexpr int kPibContentsInvalid = 2;
inline constexpr int kPibOtherVersion = 3;  // usable: only the 3.3 layout is checked
inline constexpr int kPibNoImage = 5;
inline constexpr int kPibVersionTooOld = 6;
inline constexpr int kPibBadLength = 7;
inline constexpr int kPibMacRefused = 8;

// The only PIB length whose contents are known well enough to check.
inline constexpr size_t kPibCheckedLength = 7992;
// The fixed fields end with the NMK at 100..115. A shorter image cannot carry a MAC address
// or an NMK, so it counts as no image at all and is never kept.
inline constexpr size_t kPibMinimumSize = 116;
inline constexpr size_t kPibMaxChecksumLength = 16384;

// A view of a PIB owned by the caller, who keeps the bytes alive while the object is used. Every
// operation reads and writes only inside the span given to the last pibOpen, whatever the image
// says about itself.
class PibImage {
public:
    // Remembers the image and checks it: 0 (3.3 layout and contents valid), 2, 3, 5 or 7.
    // An image shorter than kPibMinimumSize gives 5 and leaves the object without an image.
    int pibOpen(std::span<uint8_t> image);

    // Writes the MAC address into bytes 12..17: 0, 5, 6 or 8; nothing changes unless 0.
    int pibSetMac(std::span<const uint8_t, 6> mac);

    // Copies the NMK (bytes 100..115) into `nmk`: 0, 5 or 6; `nmk` is untouched unless 0.
    int pibGetNmk(std::span<uint8_t, 16> nmk) const;

    // Opens the image again and recomputes its checksum field. Returns the pibOpen code (0, 2, 3)
    // when the checksum was written; 5 or 7 leave the image exactly as it was.
    int pibUpdateChecksum(std::span<uint8_t> image);

    // Set only while the last pibOpen found a 3.3 image whose contents all pass.
    bool contentsValid() const { return contentsValid_; }

private:
    int versionGate() const;

    std::span<uint8_t> image_;
    bool contentsValid_ = false;
};

// A short English meaning of a PIB result code, for logs and messages.
const char* pibCodeMeaning(int code);

}  // namespace corvel
