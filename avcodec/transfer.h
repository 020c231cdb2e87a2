// SPDX-License-Identifier: MIT
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>

#include "avcodec/chunk_cursor.h"
#include "avcodec/codec.h"
#include "platform/mac.h"

// The multi-frame transfers: writing the firmware and PIB images to the local device (module
// write or memory write, finished by a commit or a start request) and reading a module back.
// A start call prepares the first frame; the caller builds and sends each prepared frame and
// decodes the answer with plcapi_DecodeFrame, which prepares the next one, until the record's
// state is 2 or a step fails. There is one transfer per process; it is not thread-safe.
namespace corvel {

// Options of plcapi_BeginModuleWrite.
inline constexpr uint32_t kWriteCommit = 0x01;      // finish with commit 0xA028, not start 0xA00C
inline constexpr uint32_t kWriteKeep = 0x02;        // kept in the flags, no effect of its own
inline constexpr uint32_t kWriteCommitFlag = 0x10;  // passed on in the commit payload
inline constexpr uint32_t kWriteModulePath = 0x20;  // module write 0xA020, not memory write
inline constexpr uint32_t kWriteOptionMask = 0x33;
// 0x01, 0x02 and 0x10 together also select the module write.
inline constexpr uint32_t kWriteModuleCombination = 0x13;
// Own flags: the first stage of a transfer is running; a second stage (the PIB after the
// firmware, or the header chain of a read) is still to come.
inline constexpr uint32_t kFlagFirstStage = 0x400;
inline constexpr uint32_t kFlagSecondStage = 0x200;

inline constexpr uint8_t kModuleFirmware = 1;
inline constexpr uint8_t kModulePib = 2;
// Device memory address of the PIB for the memory-write path.
inline constexpr uint32_t kPibLoadAddress = 0x01F00000;
inline constexpr uint8_t kTransferRetries = 3;

// The transfer frames, as frame offsets. Multi-byte fields are little-endian.
// Module-write request 0xA020: 20 module id, 21 zero, 22..23 chunk length, 24..27 offset of the
// chunk in its image, 28..31 chunk checksum, 32.. the chunk.
inline constexpr size_t kModuleWriteModuleOffset = 20;
inline constexpr size_t kModuleWriteLengthOffset = 22;
inline constexpr size_t kModuleWritePositionOffset = 24;
inline constexpr size_t kModuleWriteChecksumOffset = 28;
// Memory-write request 0xA004: 20..23 device address, 24..27 chunk length, 28.. the chunk.
inline constexpr size_t kMemoryWriteAddressOffset = 20;
inline constexpr size_t kMemoryWriteLengthOffset = 24;
// Module-read request 0xA024: 20 module id, 21 zero, 22..23 length, 24..27 offset.
inline constexpr size_t kModuleReadModuleOffset = 20;
inline constexpr size_t kModuleReadLengthOffset = 22;
inline constexpr size_t kModuleReadPositionOffset = 24;
// Start request 0xA00C: 20 = 0x01, 21..23 zero, 24..39 words 2..5 of the firmware header.
inline constexpr size_t kStartFlagOffset = 20;
inline constexpr size_t kStartWordsOffset = 24;
inline constexpr uint8_t kStartFlag = 0x01;
// Module-commit request 0xA028: 20 the modules written, with bit 0x10 as the options ask.
inline constexpr size_t kCommitModulesOffset = 20;

// Module-write confirm 0xA021: 20 status, 21 module id, 22 reserved, 23..24 length, 25..28
// offset. Memory-write confirm 0xA005: 20 status, 21..24 address, 25..28 length.
inline constexpr size_t kWriteConfirmLength = 29;
inline constexpr size_t kWriteConfirmStatusOffset = 20;
inline constexpr size_t kModuleWriteConfirmModuleOffset = 21;
inline constexpr size_t kModuleWriteConfirmLengthOffset = 23;
inline constexpr size_t kModuleWriteConfirmPositionOffset = 25;
inline constexpr size_t kMemoryWriteConfirmAddressOffset = 21;
inline constexpr size_t kMemoryWriteConfirmLengthOffset = 25;
// Module-read confirm 0xA025: 20 status, 21..23 reserved, 24 module id, 25 reserved, 26..27
// chunk length, 28..31 offset, 32..35 chunk checksum, 36.. the chunk.
inline constexpr size_t kReadConfirmLength = 36;
inline constexpr size_t kReadConfirmStatusOffset = 20;
inline constexpr size_t kReadConfirmModuleOffset = 24;
inline constexpr size_t kReadConfirmLengthOffset = 26;
inline constexpr size_t kReadConfirmPositionOffset = 28;
inline constexpr size_t kReadConfirmChecksumOffset = 32;
inline constexpr size_t kReadConfirmDataOffset = 36;

// Host-action indication 0xA062: 20 the action the device asks of the host. Its response
// 0xA063: 20 the result, 0x00, or 0x01 when the indication was too short to decode.
inline constexpr size_t kHostActionOffset = 20;
inline constexpr size_t kHostActionResultOffset = 20;

// A module-read confirmation as decoded, as payload indexes: p[0..3] the module id, p[4] 1 on
// the module's last chunk, p[5..8] the chunk length, p[9..] the chunk.
inline constexpr size_t kReadRecordModuleIndex = 0;
inline constexpr size_t kReadRecordLastChunkIndex = 4;
inline constexpr size_t kReadRecordLengthIndex = 5;
inline constexpr size_t kReadRecordChunkIndex = 9;

// Read types of plcapi_BeginModuleRead.
inline constexpr int32_t kReadFirmware = 1;  // module 1, following its image headers
inline constexpr int32_t kReadPib = 2;       // module 2
inline constexpr int32_t kReadBoth = 3;      // module 1, then module 2

// The next frame to build: the management header, `headerLength` fixed payload bytes, then
// `dataLength` bytes taken straight out of the caller's image.
struct PendingFrame {
    uint8_t ready;
    Mac destMac;
    Mac srcMac;
    uint16_t mmtype;
    uint32_t headerLength;
    std::array<uint8_t, 24> header;
    uint32_t dataLength;
    const uint8_t* data;
};

struct AvOperation {
    uint32_t flags;
    int32_t kind;  // kTransferWrite, kTransferRead, or 0
    int32_t readType;
    // Failed confirmations that may still be answered by sending the same frame again: none
    // for the first frame of a transfer, 3 after every good confirmation.
    uint8_t retriesLeft;
    uint32_t readTotal;       // bytes the module being read is known to hold so far
    uint32_t readNextHeader;  // offset of the next image header expected (0 = none)
    PendingFrame pending;
    std::unique_ptr<ChunkCursor> pibCursor;
    std::unique_ptr<ChunkCursor> firmwareCursor;
    ChunkCursor* current;  // the cursor being sent, one of the two above
    uint8_t moduleMask;    // 0x02 the PIB is written, 0x01 the firmware image too

    // Kept so that a resend or a next frame never depends on what `pending` holds, which an
    // indication's response may have replaced.
    uint8_t writeModule;  // module id of the module being written
    uint32_t writeBase;   // device address of its first byte (memory path)
    uint8_t readModule;   // the last read request
    uint32_t readOffset;
    uint32_t readLength;
    // Words 2..5 of the firmware header that the start request carries: the first header on the
    // module path, the last one on the memory path; zero when there is no firmware image.
    std::array<uint8_t, 16> startWords;
};

// The process's one transfer.
AvOperation& avOperation();
// Ends any transfer, releasing its cursors; the state is as at process start.
void resetAvOperation();

// Prepares the first frame of a write. The images stay the caller's and must outlive the
// transfer. Returns 0, or -1 with errno (14 no PIB image, no address, no firmware image on the
// memory path, or a last image that runs past the end of the file; 22 a bad image header, a
// header chain that loops, or an empty image); a failed start leaves nothing prepared.
int plcapi_BeginModuleWrite(const uint8_t* source, const uint8_t* destination,
                            uint32_t firmwareLength, const uint8_t* firmware, uint32_t pibLength,
                            const uint8_t* pib, uint32_t options);

// Prepares the first request of a read of type 1, 2 or 3. Returns 0, or -1 with errno 22 for
// another type (14 for a missing address).
int plcapi_BeginModuleRead(const uint8_t* source, const uint8_t* destination, int32_t readType);

// Writes the prepared frame into the buffer and returns its length (at least 64), or 0 when
// nothing is prepared. A missing buffer (errno 14) or one too small for the frame (errno 34)
// gives 0 and keeps the frame prepared.
int plcapi_BuildPendingFrame(size_t capacity, uint8_t* buffer);

// Whether `reply` is, by its type and fields, the confirmation of the transfer request
// `request` (a frame as plcapi_BuildPendingFrame writes it): an AV frame of the request's
// MMTYPE + 1; for a module write, one that names the chunk's module and offset; for a memory
// write, one that names the chunk's address. A late duplicate of the previous chunk's
// confirmation is not the confirmation of this one. Who sent the reply is for the caller to
// judge. Reads nothing past the end of `reply`.
bool isConfirmationOf(std::span<const uint8_t> reply, const uint8_t* request);

// Called by plcapi_DecodeFrame once the header checks have passed: the write confirmations
// 0xA005 and 0xA021, the read confirmation 0xA025, and the response that a 0xA062 indication
// asks for (result 0x00, or 0x01 when the indication was too short to decode).
int decodeWriteConfirm(const uint8_t* frame, size_t length, AvConfirm& record);
int decodeReadConfirm(const uint8_t* frame, size_t length, AvConfirm& record);
void queueHostActionResponse(const uint8_t* indication, uint8_t result);

}  // namespace corvel
