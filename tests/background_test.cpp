#include <gtest/gtest.h>

#include <vector>
#include <zlib.h>

#include "engine/engine.h"

namespace {

std::vector<uint32_t> background(int32_t width, int32_t height) {
    std::vector<uint32_t> words((size_t)width * height, 0xDEADBEEFu);
    fillBackground(words.data(), width, height);
    return words;
}

uint32_t crcOf(const std::vector<uint32_t>& words) {
    // The words' bytes as they lie in memory: blue, green, red, 0.
    return (uint32_t)crc32(0L, (const Bytef*)words.data(), (uInt)(words.size() * 4));
}

TEST(Background, WholeFourByThreeImage) {
    const uint32_t expected[3][4] = {
        {0x00020309, 0x00040610, 0x00020308, 0x00000002},
        {0x00040712, 0x000B1026, 0x00091022, 0x0002050B},
        {0x00000103, 0x00010207, 0x0002040A, 0x00010205},
    };
    std::vector<uint32_t> words = background(4, 3);
    for (int y = 0; y < 3; y++) {
        for (int x = 0; x < 4; x++) {
            EXPECT_EQ(words[y * 4 + x], expected[y][x]) << "column " << x << ", row " << y;
        }
    }
}

TEST(Background, ListedWordsOfFullHd) {
    struct Word {
        int x, y;
        uint32_t value;
    } listed[] = {
        {0, 0, 0x00020309},       {1919, 0, 0x00000002},  {0, 1079, 0x00000103},
        {1919, 1079, 0x00010205}, {960, 540, 0x000B1128},
    };
    std::vector<uint32_t> words = background(1920, 1080);
    for (const Word& w : listed) {
        EXPECT_EQ(words[(size_t)w.y * 1920 + w.x], w.value) << w.x << ", " << w.y;
    }
}

TEST(Background, TopLeftWordIsTheSameForEverySize) {
    const int32_t sizes[][2] = {{1, 1}, {2, 2}, {7, 3}, {640, 480}, {152, 112}, {3, 1000}};
    for (const auto& size : sizes) {
        EXPECT_EQ(background(size[0], size[1])[0], 0x00020309u) << size[0] << " x " << size[1];
    }
}

TEST(Background, Crc32OfWholeImages) {
    EXPECT_EQ(crcOf(background(640, 480)), 0xF3CF2CFAu);
    EXPECT_EQ(crcOf(background(1920, 1080)), 0x2512BA9Au);
}

TEST(Background, ASingleColumnOrRowSitsAtTheOrigin) {
    // With one column u is 0 throughout, so it matches column 0 of any wider image of the same
    // height; likewise a single row matches row 0.
    std::vector<uint32_t> wide = background(1920, 1080);
    std::vector<uint32_t> column = background(1, 1080);
    for (int y = 0; y < 1080; y++) {
        ASSERT_EQ(column[y], wide[(size_t)y * 1920]) << "row " << y;
    }
    std::vector<uint32_t> row = background(1920, 1);
    for (int x = 0; x < 1920; x++) {
        ASSERT_EQ(row[x], wide[x]) << "column " << x;
    }
    EXPECT_EQ(background(1, 1), std::vector<uint32_t>{0x00020309u});
}

TEST(Background, TopBytesAreZeroAndEveryWordIsWritten) {
    std::vector<uint32_t> words = background(333, 77);
    for (uint32_t word : words) {
        ASSERT_EQ(word & 0xFF000000u, 0u);
    }
}

TEST(Background, EveryVectorPathGivesTheScalarBits) {
    // Widths around the vector widths and the column block, single rows and columns, and one
    // whole screen.
    const int32_t sizes[][2] = {{1, 1},   {1, 9},   {9, 1},    {2, 2},    {3, 5},   {4, 4},
                                {7, 3},   {8, 8},   {9, 2},    {15, 4},   {17, 3},  {255, 3},
                                {256, 2}, {257, 5}, {263, 17}, {517, 37}, {2, 300}, {1920, 1080}};
    int vectorPaths = 0;
    for (BackgroundPath path : backgroundPaths) {
        if (path == BackgroundScalar || !backgroundPathAvailable(path)) {
            continue;
        }
        vectorPaths++;
        for (const auto& size : sizes) {
            const int32_t width = size[0], height = size[1];
            SCOPED_TRACE(testing::Message() << "path " << path << ", " << width << " x " << height);
            std::vector<uint32_t> expected((size_t)width * height, 0xDEADBEEFu);
            std::vector<uint32_t> actual((size_t)width * height, 0xDEADBEEFu);
            fillBackgroundOn(BackgroundScalar, expected.data(), width, height);
            fillBackgroundOn(path, actual.data(), width, height);
            for (size_t i = 0; i < expected.size(); i++) {
                ASSERT_EQ(actual[i], expected[i])
                    << "column " << i % width << ", row " << i / width;
            }
        }
    }
    // SSE2 is part of every x86-64 processor.
    EXPECT_GE(vectorPaths, 1);
}

TEST(Background, TheScalarReferenceKeepsTheGoldenSums) {
    std::vector<uint32_t> words((size_t)640 * 480);
    fillBackgroundOn(BackgroundScalar, words.data(), 640, 480);
    EXPECT_EQ(crcOf(words), 0xF3CF2CFAu);
}

} // namespace
