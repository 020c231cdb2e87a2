// SPDX-License-Identifier: MIT
#include "avcodec/chunk_cursor.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <functional>
#include <vector>

#include "avcodec/frame.h"

namespace corvel {
namespace {

TEST(ChunkCursor, OpenRefusesMissingImageSizeOrChunkSize) {
    const std::vector<uint8_t> image(100);
    struct Case {
        const char* name;
        const uint8_t* image;
        uint32_t size;
        uint32_t chunkSize;
    };
    const Case cases[] = {
        {"no image", nullptr, 100, 1024},
        {"size 0", image.data(), 0, 1024},
        {"chunk size 0", image.data(), 100, 0},
    };
    for (const Case& c : cases) {
        errno = 0;
        EXPECT_EQ(cursorOpen(c.image, c.size, c.chunkSize), nullptr) << c.name;
        EXPECT_EQ(errno, kAvErrInvalidValue) << c.name;
    }
    const auto cursor = cursorOpen(image.data(), 100, 1024);
    ASSERT_NE(cursor, nullptr);
    EXPECT_EQ(cursor->current, image.data());
    EXPECT_EQ(cursor->end, image.data() + 100);
    EXPECT_EQ(cursor->index, 0u);
}

TEST(ChunkCursor, SeekCutsTheImageIntoChunks) {
    struct Case {
        uint32_t size;
        uint32_t n;
        uint32_t length;  // 0: past the end
        uint32_t offset;
    };
    const Case cases[] = {
        {2500, 0, 1024, 0},
        {2500, 1, 1024, 1024},
        {2500, 2, 452, 2048},
        {2500, 3, 0, 2500},
        {2048, 1, 1024, 1024},
        {2048, 2, 0, 2048},
        {1, 0, 1, 0},
        {1, 1, 0, 1},
        // n × chunk size overflows 32 bits: still past the end, never a chunk inside.
        {2500, 0x00400001, 0, 2500},
        {2500, 0xFFFFFFFF, 0, 2500},
    };
    for (const Case& c : cases) {
        const std::vector<uint8_t> image(c.size);
        auto cursor = cursorOpen(image.data(), c.size, 1024);
        ASSERT_NE(cursor, nullptr);
        const uint8_t* position = nullptr;
        errno = 0;
        EXPECT_EQ(cursorSeek(cursor.get(), c.n, &position), c.length) << c.size << " " << c.n;
        EXPECT_EQ(position, image.data() + c.offset) << c.size << " " << c.n;
        EXPECT_EQ(cursor->current, image.data() + c.offset) << c.size << " " << c.n;
        EXPECT_EQ(errno, c.length == 0 ? kAvErrBufferTooSmall : 0) << c.size << " " << c.n;
        if (c.length != 0) {
            EXPECT_EQ(cursor->index, c.n);
        }
    }
}

TEST(ChunkCursor, NextOffsetAndReachesEndWalkTheImage) {
    const std::vector<uint8_t> image(2500);
    auto cursor = cursorOpen(image.data(), 2500, 1024);
    ASSERT_NE(cursor, nullptr);
    EXPECT_FALSE(cursorReachesEnd(cursor.get(), 1024));
    EXPECT_EQ(cursorNext(cursor.get(), nullptr), 1024u);
    EXPECT_EQ(cursorOffset(cursor.get()), 1024u);
    EXPECT_EQ(cursorNext(cursor.get(), nullptr), 452u);
    EXPECT_EQ(cursorOffset(cursor.get()), 2048u);
    EXPECT_FALSE(cursorReachesEnd(cursor.get(), 451));
    EXPECT_TRUE(cursorReachesEnd(cursor.get(), 452));
    EXPECT_TRUE(cursorReachesEnd(cursor.get(), 0xFFFFFFFFu));
    errno = 0;
    EXPECT_EQ(cursorNext(cursor.get(), nullptr), 0u);
    EXPECT_EQ(errno, kAvErrBufferTooSmall);
    EXPECT_EQ(cursorOffset(cursor.get()), 2500u);
}

TEST(ChunkCursor, MissingCursorGives22AndNothing) {
    const std::pair<const char*, std::function<uint64_t()>> operations[] = {
        {"seek", [] { return uint64_t(cursorSeek(nullptr, 0, nullptr)); }},
        {"next", [] { return uint64_t(cursorNext(nullptr, nullptr)); }},
        {"offset", [] { return uint64_t(cursorOffset(nullptr)); }},
        {"reaches end", [] { return uint64_t(cursorReachesEnd(nullptr, 0)); }},
        {"close",
         [] {
             std::unique_ptr<ChunkCursor> none;
             cursorClose(none);
             return uint64_t(0);
         }},
    };
    for (const auto& [name, operation] : operations) {
        errno = 0;
        EXPECT_EQ(operation(), 0u) << name;
        EXPECT_EQ(errno, kAvErrInvalidValue) << name;
    }
}

TEST(ChunkCursor, CloseReleasesTheCursorNotTheImage) {
    std::vector<uint8_t> image(10, 0xAB);
    auto cursor = cursorOpen(image.data(), 10, 4);
    cursorClose(cursor);
    EXPECT_EQ(cursor, nullptr);
    EXPECT_EQ(image, std::vector<uint8_t>(10, 0xAB));
}

}  // namespace
}  // namespace corvel
