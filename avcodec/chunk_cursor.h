// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <memory>

// A cursor that cuts an image held by the caller into transfer chunks. The cursor never owns
// the image bytes: the caller keeps them alive for as long as the cursor is used.
namespace corvel {

inline constexpr uint32_t kChunkSize = 1024;

struct ChunkCursor {
    const uint8_t* begin;
    const uint8_t* current;  // start of the chunk last positioned on
    const uint8_t* end;      // begin + size
    uint32_t index;          // number of that chunk
    uint32_t size;
    uint32_t chunkSize;
};

// A cursor on chunk 0, or nullptr: errno 22 when the image, the size or the chunk size is
// missing or zero; nullptr without errno when memory is exhausted.
std::unique_ptr<ChunkCursor> cursorOpen(const uint8_t* image, uint32_t size, uint32_t chunkSize);

// Positions the cursor on chunk n and returns its length (chunkSize, or less for the last
// chunk), storing its start in *position when position is given. A chunk that starts at or past
// the end gives 0 with errno 34, and the cursor and *position move to the end.
uint32_t cursorSeek(ChunkCursor* cursor, uint32_t n, const uint8_t** position);
uint32_t cursorNext(ChunkCursor* cursor, const uint8_t** position);
// Offset of the current chunk in the image.
uint32_t cursorOffset(const ChunkCursor* cursor);
// Whether n bytes from the current chunk's start reach the end of the image.
bool cursorReachesEnd(const ChunkCursor* cursor, uint64_t n);
// Releases the cursor (never the image).
void cursorClose(std::unique_ptr<ChunkCursor>& cursor);

// Each operation given no cursor sets errno 22 and returns 0 (false).

}  // namespace corvel
