// SPDX-License-Identifier: MIT
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// Current adapters ship their firmware, and their PIB wrapped the same way, in a newer chain of
// 96-byte headers. This utility sends only the older chain of 44-byte headers, so such files are
// recognised, walked and listed for the user, and refused by the upgrade rather than sent or
// misread.
//
// The header is 24 little-endian words, in this order (the layout public documentation gives as
// "nvm header version 1", open-plc-utils' struct nvm_header2):
//   0    major version (16 bits, 1), then minor version (16 bits, 1 in current files)
//   4    execute mask, one bit per chip generation
//   8    where the image lies in the device's flash, which a file lays out as it is
//   12   load address
//   16   image length in bytes; the image follows its header directly
//   20   image checksum: makes imageChecksum over the image's whole words 0
//   24   entry point
//   28   offset of the next header in the file; all ones ends the chain
//   32   offset of the previous header; all ones in the first
//   36   module type (the kind of image: firmware, parameters, ...)
//   40   module id and sub-id (16 bits each); 44 applet entry version; 48..91 reserved
//   92   header checksum: the complement of the XOR of the other 23 words
namespace corvel {

inline constexpr size_t kNewerHeaderSize = 96;
inline constexpr size_t kNewerHeaderWords = kNewerHeaderSize / 4;
inline constexpr uint16_t kNewerMajorVersion = 1;
inline constexpr uint16_t kNewerCurrentMinorVersion = 1;
inline constexpr uint32_t kNewerChainEnd = 0xFFFFFFFF;
// Far more than any file holds (a firmware, its applets, a PIB and a manifest); a walk stops here
// whatever the links say.
inline constexpr size_t kMaxNewerHeaders = 64;
// The module type of a parameter block (PIB) inside the chain.
inline constexpr uint32_t kNewerModulePib = 0x0F;

struct NewerImageInfo {
    uint32_t offset;  // of the header in the file
    uint16_t majorVersion;
    uint16_t minorVersion;
    uint32_t nvmAddress;  // word 2
    uint32_t loadAddress;
    uint32_t length;
    uint32_t entryPoint;
    uint32_t next;
    uint32_t previous;
    uint32_t moduleType;
    bool headerValid;
    bool imageValid;  // the image lies inside the file and its checksum holds
};

// Why a chain is not sound; the walk lists the headers up to the one concerned.
enum class NewerChainFault {
    None,
    HeaderPastEnd,   // a header does not fit whole inside the file
    HeaderChecksum,  // its checksum fails: none of its words can be trusted
    HeaderVersion,   // a header of another major version
    PreviousLink,    // its previous-header word does not name the header before it
    ImagePastEnd,    // its image runs past the end of the file
    ImageChecksum,   // its image's checksum fails (the walk goes on past it)
    Loop,            // the next header lies back along the chain or inside this image
    TooManyHeaders,
};

struct NewerChain {
    std::vector<NewerImageInfo> images;
    NewerChainFault fault = NewerChainFault::None;
    uint32_t faultOffset = 0;  // of the header the fault concerns
    uint32_t fileSize = 0;
    bool sound() const { return fault == NewerChainFault::None; }
};

// Whether the file is of the newer format: it does not begin with a valid 44-byte header, and it
// begins with a 96-byte header of major version 1 whose checksum holds, or with the version
// words 1.1 of current files (whose first header may then be broken).
bool isNewerImageFormat(const uint8_t* image, size_t size);

// Walks the chain from offset 0 and lists every header reached. Never reads outside
// [image, image + size); every next header must lie past the end of the image before it, and at
// most kMaxNewerHeaders are read, so every walk ends.
NewerChain walkNewerChain(const uint8_t* image, size_t size);

// The name public documentation gives a module type, or empty when it names none.
std::string_view newerModuleTypeName(uint32_t type);

// Why the chain is not sound, e.g. "the header at 1120 has a bad header checksum"; empty when it
// is sound.
std::string newerChainFaultText(const NewerChain& chain);

// The first image of module type `type`, or nullptr.
const NewerImageInfo* findNewerModule(const NewerChain& chain, uint32_t type);

// What the upgrade says of such files, after its own "Wrong NVM Block Header" or "Error in PIB
// file Operation".
inline constexpr const char* kNewerFirmwareRefusal =
    "the firmware file is in the newer image format (96-byte headers); this utility upgrades "
    "only with firmware of the older format (44-byte headers)";
inline constexpr const char* kNewerPibRefusal =
    "the PIB file is a parameter block wrapped in the newer image format (96-byte headers); "
    "this utility upgrades only with a bare PIB";

}  // namespace corvel
