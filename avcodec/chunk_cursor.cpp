// SPDX-License-Identifier: MIT
#include "avcodec/chunk_cursor.h"

#include <cerrno>
#include <new>

#include "avcodec/frame.h"

namespace corvel {

std::unique_ptr<ChunkCursor> cursorOpen(const uint8_t* image, uint32_t size, uint32_t chunkSize) {
    if (image == nullptr || size == 0 || chunkSize == 0) {
        errno = kAvErrInvalidValue;
        return nullptr;
    }
    try {
        return std::make_unique<ChunkCursor>(
            ChunkCursor{image, image, image + size, 0, size, chunkSize});
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

uint32_t cursorSeek(ChunkCursor* cursor, uint32_t n, const uint8_t** position) {
    if (cursor == nullptr) {
        errno = kAvErrInvalidValue;
        return 0;
    }
    // The offset is computed before any pointer is formed, so a chunk number far past the end
    // never makes a pointer outside the image.
    const uint64_t offset = uint64_t(n) * cursor->chunkSize;
    if (offset >= cursor->size) {
        errno = kAvErrBufferTooSmall;
        cursor->current = cursor->end;
        if (position != nullptr) *position = cursor->end;
        return 0;
    }
    cursor->current = cursor->begin + offset;
    cursor->index = n;
    if (position != nullptr) *position = cursor->current;
    const uint64_t left = cursor->size - offset;
    return left < cursor->chunkSize ? uint32_t(left) : cursor->chunkSize;
}

uint32_t cursorNext(ChunkCursor* cursor, const uint8_t** position) {
    if (cursor == nullptr) {
        errno = kAvErrInvalidValue;
        return 0;
    }
    return cursorSeek(cursor, cursor->index + 1, position);
}

uint32_t cursorOffset(const ChunkCursor* cursor) {
    if (cursor == nullptr) {
        errno = kAvErrInvalidValue;
        return 0;
    }
    return uint32_t(cursor->current - cursor->begin);
}

bool cursorReachesEnd(const ChunkCursor* cursor, uint64_t n) {
    if (cursor == nullptr) {
        errno = kAvErrInvalidValue;
        return false;
    }
    return uint64_t(cursor->current - cursor->begin) + n >= cursor->size;
}

void cursorClose(std::unique_ptr<ChunkCursor>& cursor) {
    if (cursor == nullptr) errno = kAvErrInvalidValue;
    cursor.reset();
}

}  // namespace corvel
