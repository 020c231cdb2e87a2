// SPDX-License-Identifier: MIT
#pragma once

#include <string>

#include "avcodec/link_health.h"

namespace corvel {

// A tone map as CSV, one line per carrier under the header "index,frequencyHz,modulation,bits":
// the carrier's number, its centre frequency in Hz (exact, a multiple of 24414.0625 Hz, always
// with a fraction: 1953125.0), the modulation's name and the bits it carries a symbol.
std::string toneMapCsv(const ToneMapConfirm& map);

}  // namespace corvel
