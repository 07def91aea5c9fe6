// Whole frames through the platform layer: its counter is the clock and its window the screen.
#include <gtest/gtest.h>

#include <math.h>
#include <string.h>
#include <vector>

#include "engine/engine.h"
#include "engine/rounded.h"
#include "tests/window_scene.h"

namespace {

const int64_t second = 10000000;

class WholeFrame : public WindowScene {
  protected:
    void SetUp() override {
        openScene(320, 240);
        engine.counterFrequency = second;
        engine.targetSpeed = speedCurve(engine.speedPercent);
    }
    void TearDown() override {
        closeScene();
    }
    void paintAt(int64_t counter) {
        platform.counter = counter;
        renderFrame(window);
    }
    std::vector<Star> stars() const {
        return std::vector<Star>(engine.stars, engine.stars + engine.starCount);
    }
};

TEST_F(WholeFrame, FirstFrameShowsTheBackgroundWithStars) {
    rebuildFrameBuffers(320, 240);
    paintAt(second / 60);
    EXPECT_EQ(platform.paintsBegun, 1);
    EXPECT_EQ(platform.paintsEnded, 1);
    EXPECT_EQ(platform.copies, 1);
    int differ = 0;
    for (size_t i = 0; i < 320 * 240; i++) {
        differ += window->surface[i] != engine.background[i];
        ASSERT_EQ(window->surface[i], engine.pixels[i]);
    }
    EXPECT_GT(differ, 500); // stars
    EXPECT_LT(differ, 320 * 240 / 2);
    EXPECT_EQ(engine.lastFrameCounter, second / 60);
}

TEST_F(WholeFrame, AbsentBuffersChangeOnlyTheCounterStamp) {
    for (PlatformFailure failure : {FailContext, FailBackground, FailStarArray}) {
        SCOPED_TRACE(testing::Message() << "failure " << failure);
        platform.failure = failure;
        rebuildFrameBuffers(320, 240);
        platform.failure = FailNothing;
        engine.pendingYaw = 0.3f;
        engine.pendingPitch = -0.2f;
        EngineState before = engine;
        paintAt(engine.lastFrameCounter + second / 10);
        EngineState after = engine;
        EXPECT_EQ(after.lastFrameCounter, before.lastFrameCounter + second / 10);
        after.lastFrameCounter = before.lastFrameCounter;
        EXPECT_EQ(memcmp(&before, &after, sizeof before), 0);
        EXPECT_EQ(platform.paintsBegun, platform.paintsEnded);
    }
}

TEST_F(WholeFrame, SteeringWaitsForTheFirstFrameThatRuns) {
    platform.failure = FailStarArray;
    rebuildFrameBuffers(320, 240);
    platform.failure = FailNothing;
    engine.pendingYaw = 0.1f;
    paintAt(second / 60);
    engine.pendingYaw += 0.1f;
    EXPECT_FLOAT_EQ(engine.pendingYaw, 0.2f);

    rebuildFrameBuffers(320, 240);
    std::vector<Star> before = stars();
    paintAt(engine.lastFrameCounter - 5); // a counter that went backwards: no time passes
    EXPECT_EQ(engine.pendingYaw, 0.0f);
    // The whole accumulated turn at once, and no forward motion.
    const float c = roundedCos(0.2f), s = roundedSin(0.2f);
    for (size_t i = 0; i < before.size(); i += 97) {
        const Star& was = before[i];
        const Star& now = engine.stars[i];
        if (now.zPrev != was.z) {
            continue; // placed anew
        }
        EXPECT_FLOAT_EQ(now.x, c * was.x - s * was.z);
        EXPECT_FLOAT_EQ(now.z, s * was.x + c * was.z);
    }
}

TEST_F(WholeFrame, BackwardsCounterStillCopiesTheBackground) {
    rebuildFrameBuffers(320, 240);
    platform.counter = 1000;
    engine.lastFrameCounter = 1000;
    engine.flightTime = 3.0;
    memset(engine.pixels, 0xAB, 320 * 240 * 4);
    std::vector<Star> before = stars();
    const float speed = engine.currentSpeed;
    paintAt(500);
    EXPECT_EQ(engine.flightTime, 3.0);
    EXPECT_EQ(engine.currentSpeed, speed);
    EXPECT_EQ(engine.lastFrameCounter, 500);
    for (int32_t i = 0; i < engine.starCount; i++) {
        // Stars off screen and near are still placed anew; the others stand still.
        if (engine.stars[i].zPrev == before[i].z) {
            ASSERT_EQ(engine.stars[i].z, before[i].z);
        }
    }
    // No 0xAB bytes survive: the background went in first.
    for (size_t i = 0; i < 320 * 240; i++) {
        ASSERT_EQ(engine.pixels[i] >> 24, 0u);
    }
}

TEST_F(WholeFrame, LongGapCountsAsATwentiethOfASecond) {
    rebuildFrameBuffers(320, 240);
    engine.targetSpeed = engine.currentSpeed;
    std::vector<Star> before = stars();
    paintAt(2 * second);
    EXPECT_DOUBLE_EQ(engine.flightTime, 0.05);
    const float step = engine.currentSpeed * 0.05f;
    int moved = 0;
    for (int32_t i = 0; i < engine.starCount; i++) {
        const Star& now = engine.stars[i];
        if (now.zPrev == before[i].z) {
            EXPECT_EQ(now.z, before[i].z - step);
            moved++;
        }
    }
    EXPECT_GT(moved, engine.starCount / 2);
}

TEST_F(WholeFrame, FirstFrameMeasuresFromStartUp) {
    rebuildFrameBuffers(320, 240);
    engine.lastFrameCounter = engine.startCounter = 7 * second;
    paintAt(7 * second + second / 50);
    EXPECT_DOUBLE_EQ(engine.flightTime, 0.02);
}

TEST_F(WholeFrame, ZeroStarsStillEaseTimeAndSteering) {
    rebuildFrameBuffers(320, 240);
    engine.starCount = 0;
    engine.pendingYaw = 0.4f;
    engine.pendingPitch = 0.2f;
    engine.targetSpeed = 930.0f;
    memset(engine.pixels, 0, 320 * 240 * 4);
    paintAt(second / 20);
    EXPECT_FLOAT_EQ(engine.currentSpeed, 166.75f);
    EXPECT_DOUBLE_EQ(engine.flightTime, 0.05);
    EXPECT_EQ(engine.pendingYaw, 0.0f);
    EXPECT_EQ(engine.pendingPitch, 0.0f);
    EXPECT_EQ(memcmp(engine.pixels, engine.background, 320 * 240 * 4), 0);
    engine.starCount = starCountFor(320 * 240); // so that the release frees the array
}

TEST_F(WholeFrame, ZeroFrequencyNeverMakesTimeNaN) {
    rebuildFrameBuffers(320, 240);
    engine.counterFrequency = 0;
    paintAt(0); // 0 / 0
    EXPECT_EQ(engine.flightTime, 0.0);
    EXPECT_EQ(engine.currentSpeed, 70.0f);
    paintAt(12345); // an endless step is capped like any long one
    EXPECT_DOUBLE_EQ(engine.flightTime, 0.05);
}

TEST_F(WholeFrame, FarJumpsOfTheCounterDoNotOverflow) {
    rebuildFrameBuffers(320, 240);
    engine.lastFrameCounter = INT64_MIN + 5;
    paintAt(INT64_MAX - 5);
    EXPECT_EQ(engine.flightTime, 0.0); // the wrapped difference is negative
    paintAt(INT64_MIN + 5);            // wraps round to 11 ticks later
    EXPECT_DOUBLE_EQ(engine.flightTime, 11.0 / second);
}

} // namespace
