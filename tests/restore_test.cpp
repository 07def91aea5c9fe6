// The restore of what changed, on its own: which pixels it copies back, and when it copies all.
#include <gtest/gtest.h>

#include <string.h>

#include "engine/engine.h"
#include "tests/window_scene.h"

namespace {

// Pixels as the restore finds them: a background, and a pattern that is not it everywhere else.
class Restore : public WindowScene {
  protected:
    void SetUp() override {
        openScene(64, 64);
    }
    void TearDown() override {
        closeScene();
    }
    void scribble() {
        for (size_t i = 0; i < (size_t)engine.width * engine.height; i++) {
            engine.pixels[i] = ~engine.background[i];
        }
    }
};

TEST_F(Restore, CopiesBackExactlyTheMarkedRunsOfSixteenPixels) {
    struct Case {
        int32_t width, height;
        int32_t left, top, right, bottom;                   // marked
        int32_t firstColumn, lastColumn, firstRow, lastRow; // restored, inclusive
    } cases[] = {
        {100, 20, 5, 3, 5, 3, 0, 15, 3, 3},            // one pixel: its run
        {100, 20, 15, 0, 16, 1, 0, 31, 0, 1},          // two runs that meet
        {100, 20, 90, 18, 140, 40, 80, 99, 18, 19},    // cut at the far corner, short last run
        {100, 20, -30, -5, 2, 0, 0, 15, 0, 0},         // cut at the near corner
        {2100, 4, 1000, 1, 1100, 2, 992, 1103, 1, 2},  // across a word of the map
        {2100, 2, 0, 0, 2099, 0, 0, 2099, 0, 0},       // a whole row
        {1030, 3, 1023, 2, 1024, 2, 1008, 1029, 2, 2}, // last run of one word, first of the next
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.width << " x " << c.height << ", mark " << c.left
                                        << "," << c.top << " .. " << c.right << "," << c.bottom);
        rebuildFrameBuffers(c.width, c.height);
        restoreBackground(); // the first after a rebuild copies everything
        scribble();
        markChanged(c.left, c.top, c.right, c.bottom);
        restoreBackground();
        for (int32_t y = 0; y < c.height; y++) {
            for (int32_t x = 0; x < c.width; x++) {
                const bool restored =
                    x >= c.firstColumn && x <= c.lastColumn && y >= c.firstRow && y <= c.lastRow;
                const uint32_t word = engine.pixels[(size_t)y * c.width + x];
                const uint32_t back = engine.background[(size_t)y * c.width + x];
                ASSERT_EQ(word, restored ? back : ~back) << "column " << x << ", row " << y;
            }
        }
        // Nothing is left marked: a second restore copies nothing.
        scribble();
        restoreBackground();
        for (size_t i = 0; i < (size_t)c.width * c.height; i++) {
            ASSERT_EQ(engine.pixels[i], ~engine.background[i]);
        }
    }
}

TEST_F(Restore, WholeCopyAfterEveryRebuildAndSkippedStep) {
    const int64_t second = 10000000;
    engine.runMode = Saver;
    engine.counterFrequency = second;
    rebuildFrameBuffers(64, 48);
    platform.counter = second / 60;
    renderFrame(window);
    EXPECT_TRUE(engine.changeMapValid);

    // The stars' array is lost: the step is skipped and the text lands on whatever is there.
    Star* stars = engine.stars;
    engine.stars = nullptr;
    platform.counter += second / 60;
    renderFrame(window);
    EXPECT_FALSE(engine.changeMapValid);
    engine.stars = stars;
    scribble();
    restoreBackground();
    EXPECT_EQ(memcmp(engine.pixels, engine.background, 64 * 48 * 4), 0);
}

} // namespace
