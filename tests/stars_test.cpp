#include <gtest/gtest.h>

#include <string.h>

#include "engine/engine.h"

namespace {

uint32_t floatBits(float value) {
    uint32_t bits;
    memcpy(&bits, &value, sizeof bits);
    return bits;
}

// Undoes one xorshift32 step, so a test can place any chosen draw next.
uint32_t undoShiftLeft(uint32_t value, int shift) {
    uint32_t result = value;
    for (int i = 0; i < 32 / shift + 1; i++) {
        result = value ^ (result << shift);
    }
    return result;
}

uint32_t undoShiftRight(uint32_t value, int shift) {
    uint32_t result = value;
    for (int i = 0; i < 32 / shift + 1; i++) {
        result = value ^ (result >> shift);
    }
    return result;
}

uint32_t previousState(uint32_t state) {
    return undoShiftLeft(undoShiftRight(undoShiftLeft(state, 5), 17), 13);
}

class Stars : public ::testing::Test {
  protected:
    void SetUp() override {
        resetEngineState();
    }
    void TearDown() override {
        releaseFrameBuffers();
        resetEngineState();
    }
};

TEST_F(Stars, FirstSevenDrawsFromTheInitialState) {
    const uint32_t expected[] = {0x4C136537, 0x360738CD, 0xF2C0F802, 0x55D912A2,
                                 0x862045E4, 0x5D0CD7EA, 0x39CF7652};
    for (uint32_t draw : expected) {
        EXPECT_EQ(nextRandom(), draw);
    }
}

TEST_F(Stars, UndoingAStepFindsThePreviousState) {
    EXPECT_EQ(previousState(0x4C136537u), 0x8f3a19d7u);
}

struct FirstStarCase {
    int32_t width, height;
    bool respawn;
    float x, y, z, zPrev;
};

TEST_F(Stars, FirstStarOfAPopulation) {
    const FirstStarCase cases[] = {
        {1920, 1080, false, 366.885f, 189.159f, 1272.51904296875f, 1273.51904296875f},
        {1920, 1080, true, 366.885f, 189.159f, 1458.9439697265625f, 1459.9439697265625f},
        {152, 112, false, 29.045f, 14.975f, 1272.51904296875f, 1273.51904296875f},
    };
    for (const FirstStarCase& c : cases) {
        SCOPED_TRACE(testing::Message()
                     << c.width << " x " << c.height << " respawn " << c.respawn);
        resetEngineState();
        engine.width = c.width;
        engine.height = c.height;
        Star star{};
        spawnStar(star, c.respawn);
        // The library's sine, cosine and power may differ in the last place.
        EXPECT_NEAR(star.x, c.x, 0.001f);
        EXPECT_NEAR(star.y, c.y, 0.001f);
        EXPECT_EQ(star.z, c.z);
        EXPECT_EQ(star.zPrev, c.zPrev);
        EXPECT_NEAR(star.size, 0.280080f, 2e-6f);
        EXPECT_EQ(star.tint[0], 170);
        EXPECT_EQ(star.tint[1], 205);
        EXPECT_EQ(star.tint[2], 255);
        EXPECT_NEAR(star.twinklePhase, 0.315225f, 1e-6f);
        EXPECT_NEAR(star.twinkleRate, 2.039759f, 1e-6f);
        EXPECT_EQ(engine.rngState, 0x39CF7652u);
    }
}

TEST_F(Stars, TwinkleRateUsesTheSpanOneStepAboveNearestNineteenTenths) {
    engine.width = 4;
    engine.height = 3;
    // The seventh draw is 0x00FFFFFF: the largest unit value feeds the twinkle rate.
    uint32_t state = 0x00FFFFFFu;
    for (int i = 0; i < 7; i++) {
        state = previousState(state);
    }
    engine.rngState = state;
    Star star{};
    spawnStar(star, false);
    // With the float nearest 1.9 the rate would round to 2.39999986 instead.
    EXPECT_EQ(floatBits(star.twinkleRate), 0x4019999Au);
}

TEST_F(Stars, LargestUnitDepthRoundsToTheFarLimitOnRespawn) {
    engine.width = 1920;
    engine.height = 1080;
    struct Case {
        bool respawn;
        float z;
    } cases[] = {{true, 1500.0f}, {false, 1499.9998779296875f}};
    for (const Case& c : cases) {
        // The fourth draw of the spawn is 0x00FFFFFF: its unit value is 1 - 2^-24.
        uint32_t state = 0x00FFFFFFu;
        for (int i = 0; i < 4; i++) {
            state = previousState(state);
        }
        engine.rngState = state;
        Star star{};
        spawnStar(star, c.respawn);
        EXPECT_EQ(star.z, c.z) << "respawn " << c.respawn;
    }
}

TEST_F(Stars, PaletteIndexComesFromTheWholeDraw) {
    engine.width = 1920;
    engine.height = 1080;
    Star stars[3]{};
    for (Star& star : stars) {
        spawnStar(star, false);
    }
    // 0xF2C0F802 is a multiple of 6 although its low 24 bits are not.
    EXPECT_EQ(0xF2C0F802u % 6u, 0u);
    EXPECT_EQ(memcmp(stars[0].tint, starPalette[0], 3), 0);
    EXPECT_EQ(0xF1AF8C9Du % 6u, 5u);
    EXPECT_EQ(memcmp(stars[2].tint, starPalette[5], 3), 0);
}

TEST_F(Stars, SquareFrameUsesItsSideForTheDisc) {
    engine.width = 500;
    engine.height = 500;
    Star square{};
    spawnStar(square, false);
    resetEngineState();
    engine.width = 500;
    engine.height = 20;
    Star wide{};
    spawnStar(wide, false);
    EXPECT_EQ(floatBits(square.x), floatBits(wide.x));
    EXPECT_EQ(floatBits(square.y), floatBits(wide.y));
}

TEST_F(Stars, SpawnedFieldsStayInTheirRanges) {
    engine.width = 640;
    engine.height = 480;
    const float discRadius = 640.0f * 1.28f;
    for (int i = 0; i < 20000; i++) {
        Star star{};
        bool respawn = (i & 1) != 0;
        spawnStar(star, respawn);
        ASSERT_LE(star.x * star.x + star.y * star.y, discRadius * discRadius * 1.0001f);
        ASSERT_GE(star.z, respawn ? 1230.0f : 4.0f);
        ASSERT_LE(star.z, 1500.0f);
        ASSERT_EQ(star.zPrev, star.z + 1.0f);
        ASSERT_GE(star.size, 0.28f);
        ASSERT_LE(star.size, 2.78f);
        ASSERT_GE(star.twinklePhase, 0.0f);
        ASSERT_LE(star.twinklePhase, 6.2831855f);
        ASSERT_GE(star.twinkleRate, 0.5f);
        ASSERT_LE(star.twinkleRate, 2.4f);
    }
}

struct PopulationCase {
    int32_t width, height;
    int32_t stars;
    uint32_t rngAfter;
};

TEST_F(Stars, PopulationLeavesTheGeneratorWhereExpected) {
    const PopulationCase cases[] = {{1920, 1080, 2658, 0xDD045FFBu}, {4, 3, 900, 0x578AD72Du}};
    for (const PopulationCase& c : cases) {
        resetEngineState();
        rebuildFrameBuffers(c.width, c.height);
        ASSERT_NE(engine.stars, nullptr);
        EXPECT_EQ(engine.starCount, c.stars);
        EXPECT_EQ(engine.rngState, c.rngAfter) << c.width << " x " << c.height;
        releaseFrameBuffers();
    }
}

struct CountCase {
    RunMode mode;
    int32_t width, height;
    int32_t stars;
};

TEST_F(Stars, StarCountFollowsTheAreaWithinTheModesLimits) {
    const CountCase cases[] = {
        {Saver, 1920, 1080, 2658},
        {Default, 1024, 768, 1008},
        {Saver, 800, 600, 900},
        {Default, 2560, 1440, 3600},
        {Saver, 1, 1, 900},
        {Default, 65535, 65535, 3600},
        {Preview, 152, 112, 220},
        {Preview, 320, 240, 960},
        {Preview, 400, 300, 1100},
        {Preview, 1, 1, 220},
        {Preview, 65535, 65535, 1100},
    };
    for (const CountCase& c : cases) {
        engine.runMode = c.mode;
        EXPECT_EQ(starCountFor((uint32_t)c.width * (uint32_t)c.height), c.stars)
            << c.mode << ": " << c.width << " x " << c.height;
    }
}

TEST_F(Stars, RebuildCountsStarsForTheRunMode) {
    engine.runMode = Preview;
    rebuildFrameBuffers(320, 240);
    EXPECT_EQ(engine.starCount, 960);
    engine.runMode = Saver;
    rebuildFrameBuffers(1024, 768);
    EXPECT_EQ(engine.starCount, 1008);
}

TEST_F(Stars, TwoRebuildsAtOneSizeShareTheBackgroundButNotTheStars) {
    const int32_t width = 320, height = 200;
    rebuildFrameBuffers(width, height);
    ASSERT_NE(engine.background, nullptr);
    const size_t words = (size_t)width * height;
    uint32_t* firstBackground = new uint32_t[words];
    memcpy(firstBackground, engine.background, words * 4);
    Star firstStar = engine.stars[0];
    const int32_t firstCount = engine.starCount;

    rebuildFrameBuffers(width, height);
    ASSERT_NE(engine.background, nullptr);
    EXPECT_EQ(memcmp(firstBackground, engine.background, words * 4), 0);
    EXPECT_EQ(engine.starCount, firstCount);
    EXPECT_NE(memcmp(&firstStar, &engine.stars[0], sizeof(Star)), 0);
    delete[] firstBackground;
}

} // namespace
