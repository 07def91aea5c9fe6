// Frame-buffer lifetimes through the platform layer, which can refuse any one acquisition and
// counts what is still alive.
#include <gtest/gtest.h>

#include <string.h>

#include "engine/engine.h"

namespace {

class Buffers : public ::testing::Test {
  protected:
    void SetUp() override {
        resetEngineState();
        resetPlatform();
    }
    void TearDown() override {
        platform.failure = FailNothing;
        releaseFrameBuffers();
        EXPECT_EQ(platform.liveObjects, 0);
    }
};

struct FailureRow {
    PlatformFailure failure;
    bool memoryDc, dibBitmap, previousBitmap, pixels, background, stars;
    int32_t starCount;
    int32_t liveObjects;
};

TEST_F(Buffers, EachFailingAcquisitionLeavesItsRowsState) {
    const FailureRow rows[] = {
        {FailContext, false, false, false, false, false, false, 0, 0},
        {FailSectionHandle, true, false, false, false, false, false, 0, 1},
        {FailSectionBits, true, true, false, false, false, false, 0, 2},
        {FailBackground, true, true, true, true, false, false, 0, 2},
        {FailStarArray, true, true, true, true, true, false, 1008, 3},
        {FailNothing, true, true, true, true, true, true, 1008, 4},
    };
    for (const FailureRow& row : rows) {
        SCOPED_TRACE(testing::Message() << "failure " << row.failure);
        // Start each row from a complete earlier size, which the rebuild must release.
        platform.failure = FailNothing;
        rebuildFrameBuffers(64, 48);
        platform.failure = row.failure;
        const uint32_t rngBefore = engine.rngState;
        rebuildFrameBuffers(1024, 768);

        EXPECT_EQ(engine.memoryDc != nullptr, row.memoryDc);
        EXPECT_EQ(engine.dibBitmap != nullptr, row.dibBitmap);
        EXPECT_EQ(engine.previousBitmap != nullptr, row.previousBitmap);
        EXPECT_EQ(engine.pixels != nullptr, row.pixels);
        EXPECT_EQ(engine.background != nullptr, row.background);
        EXPECT_EQ(engine.stars != nullptr, row.stars);
        EXPECT_EQ(engine.starCount, row.starCount);
        EXPECT_EQ(platform.liveObjects, row.liveObjects);
        // The new size is recorded whatever failed.
        EXPECT_EQ(engine.width, 1024);
        EXPECT_EQ(engine.height, 768);
        EXPECT_EQ(engine.bitmapInfo.bmiHeader.biWidth, 1024);
        EXPECT_EQ(engine.bitmapInfo.bmiHeader.biHeight, -768);
        // A bitmap without bits is never selected into the context.
        if (row.dibBitmap) {
            EXPECT_EQ(engine.memoryDc->bitmap == engine.dibBitmap, row.pixels);
        }
        // No star is spawned unless the whole set exists.
        EXPECT_EQ(engine.rngState != rngBefore, row.stars);

        releaseFrameBuffers();
        EXPECT_EQ(platform.liveObjects, 0);
    }
}

TEST_F(Buffers, BitmapInfoDescribesATopDownThirtyTwoBitSection) {
    memset(&engine.bitmapInfo, 0xAB, sizeof engine.bitmapInfo);
    rebuildFrameBuffers(300, 200);
    const BITMAPINFOHEADER& header = engine.bitmapInfo.bmiHeader;
    EXPECT_EQ(header.biSize, 40u);
    EXPECT_EQ(header.biWidth, 300);
    EXPECT_EQ(header.biHeight, -200);
    EXPECT_EQ(header.biPlanes, 1);
    EXPECT_EQ(header.biBitCount, 32);
    EXPECT_EQ(header.biCompression, (DWORD)BI_RGB);
    EXPECT_EQ(header.biSizeImage, 0u);
    EXPECT_EQ(header.biXPelsPerMeter, 0);
    EXPECT_EQ(header.biYPelsPerMeter, 0);
    EXPECT_EQ(header.biClrUsed, 0u);
    EXPECT_EQ(header.biClrImportant, 0u);
    const RGBQUAD& colour = engine.bitmapInfo.bmiColors[0];
    EXPECT_EQ(colour.rgbBlue | colour.rgbGreen | colour.rgbRed | colour.rgbReserved, 0);
    EXPECT_EQ(engine.pixels, engine.dibBitmap->bits);
}

TEST_F(Buffers, ReleaseLeavesNothingBehindAndKeepsTheSize) {
    rebuildFrameBuffers(320, 240);
    EXPECT_EQ(platform.liveObjects, 4);
    const BITMAPINFO info = engine.bitmapInfo;
    releaseFrameBuffers();
    EXPECT_EQ(platform.liveObjects, 0);
    EXPECT_EQ(engine.pixels, nullptr);
    EXPECT_EQ(engine.memoryDc, nullptr);
    EXPECT_EQ(engine.dibBitmap, nullptr);
    EXPECT_EQ(engine.previousBitmap, nullptr);
    EXPECT_EQ(engine.background, nullptr);
    EXPECT_EQ(engine.stars, nullptr);
    EXPECT_EQ(engine.starCount, 0);
    EXPECT_EQ(engine.width, 320);
    EXPECT_EQ(engine.height, 240);
    EXPECT_EQ(memcmp(&info, &engine.bitmapInfo, sizeof info), 0);
}

TEST_F(Buffers, SecondReleaseChangesNothing) {
    rebuildFrameBuffers(320, 240);
    releaseFrameBuffers();
    EngineState before = engine;
    const PlatformState counted = platform;
    releaseFrameBuffers();
    EXPECT_EQ(memcmp(&before, &engine, sizeof before), 0);
    EXPECT_EQ(memcmp(&counted, &platform, sizeof counted), 0);
}

TEST_F(Buffers, ReleaseOnAnEmptyStartCallsNothing) {
    releaseFrameBuffers();
    EXPECT_EQ(platform.liveObjects, 0);
    EXPECT_EQ(engine.rngState, 0x8f3a19d7u);
}

TEST_F(Buffers, RebuildTouchesNoOtherField) {
    engine.currentSpeed = 123.0f;
    engine.flightTime = 4.5;
    engine.pendingYaw = 0.25f;
    engine.speedPercent = 60;
    rebuildFrameBuffers(200, 100);
    EXPECT_EQ(engine.currentSpeed, 123.0f);
    EXPECT_EQ(engine.flightTime, 4.5);
    EXPECT_EQ(engine.pendingYaw, 0.25f);
    EXPECT_EQ(engine.speedPercent, 60);
}

TEST_F(Buffers, PixelBufferHoldsEveryWordOfTheFrame) {
    rebuildFrameBuffers(65535, 1);
    ASSERT_NE(engine.pixels, nullptr);
    engine.pixels[65534] = 0x00FFFFFFu;
    EXPECT_EQ(engine.background[65534] & 0xFF000000u, 0u);
    EXPECT_EQ(engine.starCount, 900);
}

} // namespace
