// SPDX-License-Identifier: MIT
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "avcodec/codec.h"

// The firmware version text of a version confirmation (0xA001) and the chip generation beside
// it. Firmware of the first generation's family names "QRB1000" in its text even when it runs
// on a later chip; the text shown names the chip the device reported instead.
namespace corvel {

inline constexpr std::string_view kFirstChipName = "QRB1000";
inline constexpr size_t kMaxVersionTextLength = 64;

// 1 "QRB1000", 2 "QRB3000", 3 "QRB4000"; nullptr for any other generation byte.
const char* chipNameOf(uint8_t generation);

// The version text of a decoded version confirmation that arrived in a frame of `frameLength`
// bytes: as many characters as its length byte says, but never more than 64, never past the
// end of the frame, and ending early at a zero byte.
std::string versionTextOf(const AvConfirm& record, size_t frameLength);

// The local device's text: the first "QRB1000" is overwritten with the chip name in place.
void normaliseLocalText(std::string& text, std::string_view chipName);

// A station's text: the first "QRB1000" is overwritten with the chip name and the text starts
// there, dropping what stood before it.
void normaliseStationText(std::string& text, std::string_view chipName);

}  // namespace corvel
