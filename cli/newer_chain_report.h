// SPDX-License-Identifier: MIT
#pragma once

#include <nlohmann/json.hpp>
#include <ostream>
#include <string>

#include "avcodec/image_format.h"

// How nvm check and pib check show a file of the newer image format: the chain of 96-byte headers
// walked and listed, whether it is sound and why not, and what the upgrade makes of it.
namespace corvel {

// "0x0010F000": a 32-bit word as the listings show addresses.
std::string hex32(uint32_t value);

// "1.1": the version words of the chain's first header.
std::string newerChainVersion(const NewerChain& chain);

// One line per header: offset, module type (number and public name), load address, length,
// entry point, next header, header and image checksums.
void printNewerImages(const NewerChain& chain, std::ostream& out);
// "chain valid", or "chain INVALID: " and the reason.
void printNewerVerdict(const NewerChain& chain, std::ostream& out);

// The headers as a JSON array, fields as in the text.
nlohmann::ordered_json newerImagesJson(const NewerChain& chain);

}  // namespace corvel
