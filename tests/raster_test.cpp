#include <gtest/gtest.h>

#include <math.h>
#include <vector>

#include "engine/engine.h"

namespace {

struct Rgb {
    int r, g, b;
    bool operator==(const Rgb&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Rgb& c) {
    return out << c.r << "," << c.g << "," << c.b;
}

class Raster : public ::testing::Test {
  protected:
    std::vector<uint32_t> buffer;

    void SetUp() override {
        resetEngineState();
        canvas(200, 200);
    }
    void TearDown() override {
        resetEngineState();
    }
    void canvas(int32_t width, int32_t height, uint32_t fill = 0) {
        buffer.assign((size_t)width * height, fill);
        engine.width = width;
        engine.height = height;
        engine.pixels = buffer.data();
    }
    Rgb at(int x, int y) const {
        uint32_t word = buffer[(size_t)y * engine.width + x];
        return Rgb{(int)(word >> 16 & 0xFF), (int)(word >> 8 & 0xFF), (int)(word & 0xFF)};
    }
    int litCount() const {
        int lit = 0;
        for (uint32_t word : buffer) {
            lit += word != 0;
        }
        return lit;
    }
};

Star warmStar(float size = 1.0f, float twinklePhase = 0.0f) {
    Star star{};
    star.size = size;
    star.twinklePhase = twinklePhase;
    star.twinkleRate = 1.0f;
    star.tint[0] = 255;
    star.tint[1] = 237;
    star.tint[2] = 205;
    return star;
}

// The sine of this phase is 1 in single precision.
const float quarterTurn = 1.57079637f;

TEST_F(Raster, StillStarOnBlack) {
    const ScreenPoint at{100.5f, 100.5f};
    drawStar(warmStar(), at, at, 750.0f, 0.0f);
    EXPECT_EQ(this->at(100, 100), (Rgb{255, 255, 255}));
    for (auto [x, y] : {std::pair{99, 100}, {101, 100}, {100, 99}, {100, 101}}) {
        EXPECT_EQ(this->at(x, y), (Rgb{88, 82, 71})) << x << ", " << y;
    }
    for (auto [x, y] : {std::pair{99, 99}, {101, 99}, {99, 101}, {101, 101}}) {
        EXPECT_EQ(this->at(x, y), (Rgb{50, 46, 40})) << x << ", " << y;
    }
    EXPECT_EQ(litCount(), 9);
}

TEST_F(Raster, MovingStarDrawsItsStreakDownColumn100) {
    drawStar(warmStar(), ScreenPoint{100.5f, 100.5f}, ScreenPoint{100.5f, 96.5f}, 750.0f, 0.0f);
    const Rgb column[] = {{0, 0, 0},       {5, 5, 3},    {10, 9, 8},   {18, 16, 14},
                          {28, 26, 22},    {40, 37, 32}, {55, 51, 44}, {160, 149, 129},
                          {255, 255, 255}, {88, 82, 71}};
    for (int row = 92; row <= 101; row++) {
        EXPECT_EQ(at(100, row), column[row - 92]) << "row " << row;
    }
    EXPECT_EQ(at(99, 100), (Rgb{88, 82, 71}));
    EXPECT_EQ(at(101, 101), (Rgb{50, 46, 40}));
    EXPECT_EQ(at(99, 98), (Rgb{0, 0, 0}));
}

TEST_F(Raster, ShortStreaksAreNotDrawn) {
    struct Case {
        ScreenPoint before;
        bool streak;
    } cases[] = {
        {{100.5f, 100.5f}, false},   {{100.5f, 100.0f}, false}, // 0.5 x 2.1 = 1.05
        {{100.25f, 100.25f}, false},                            // 0.525 + 0.525
        {{100.5f, 99.9f}, true},                                // 1.26
        {{100.0f, 100.0f}, true},                               // 2.1
    };
    std::vector<uint32_t> still;
    for (const Case& c : cases) {
        canvas(200, 200);
        drawStar(warmStar(), ScreenPoint{100.5f, 100.5f}, c.before, 750.0f, 0.0f);
        if (still.empty()) {
            still = buffer;
        }
        EXPECT_EQ(buffer != still, c.streak) << c.before.x << ", " << c.before.y;
    }
}

TEST_F(Raster, StreakScaleGrowsWithSpeed) {
    EXPECT_FLOAT_EQ(streakScaleFor(0.0f), 2.1f);
    EXPECT_FLOAT_EQ(streakScaleFor(1.0f), 9.9f);
    EXPECT_NEAR(streakScaleFor(5.0f), 28.604f, 0.001f);
}

TEST_F(Raster, LongStreakIsDottedWith111Samples) {
    canvas(800, 40);
    // A dim blue star: only the tint's blue channel shows, so the samples stay countable.
    Star star = warmStar(0.28f);
    star.tint[0] = 0;
    star.tint[1] = 0;
    star.tint[2] = 255;
    const ScreenPoint at{700.5f, 20.5f};
    const ScreenPoint before{700.5f - 500.0f / 2.1f, 20.5f};
    drawStar(star, at, before, 0.0f, 0.0f);
    std::vector<int> lit;
    for (int x = 0; x < 800; x++) {
        if (this->at(x, 20).b != 0) {
            lit.push_back(x);
        }
    }
    ASSERT_GE(lit.size(), 60u);
    EXPECT_LE(lit.front(), 200 + 110); // the dim early samples add nothing
    EXPECT_EQ(lit.back(), 700);        // a radius of 0.9 lights the centre pixel alone
    // Away from the disc, lit pixels stand 4 or 5 columns apart: 500 / 110.
    for (size_t i = 1; i + 3 < lit.size(); i++) {
        int gap = lit[i] - lit[i - 1];
        EXPECT_TRUE(gap == 4 || gap == 5) << "gap " << gap << " before column " << lit[i];
    }
    // Every sample that lights a pixel lands on its own pixel: 111 samples at most.
    EXPECT_LE(lit.size(), 111u + 2u);
}

TEST_F(Raster, AddPixelSaturatesTruncatesAndClearsTheTopByte) {
    canvas(4, 1, 0xFF000000u | 250u << 16 | 10u << 8 | 0u);
    addPixel(0, 0, 1.0f, 20.0f, 20.0f, 0.9f);
    EXPECT_EQ(buffer[0], (255u << 16 | 30u << 8 | 0u));
    addPixel(1, 0, 0.5f, 1.5f, 1.2f, 1.9f); // every product below 1
    EXPECT_EQ(buffer[1], (250u << 16 | 10u << 8));
    addPixel(2, 0, 0.0f, 255.0f, 255.0f, 255.0f);
    EXPECT_EQ(buffer[2] >> 24, 0u);
    EXPECT_EQ(buffer[3] >> 24, 0xFFu);
    canvas(1, 1);
    addPixel(0, 0, 0.6f, 1.0f, 1.0f, 1.0f);
    addPixel(0, 0, 0.6f, 1.0f, 1.0f, 1.0f);
    EXPECT_EQ(buffer[0], 0u); // two contributions of 0.6 add nothing
    addPixel(0, 0, 1.0f, 255.0f, 255.0f, 255.0f);
    addPixel(0, 0, 1.0f, 255.0f, 255.0f, 255.0f);
    EXPECT_EQ(buffer[0], 0x00FFFFFFu); // no wrap
}

TEST_F(Raster, AddPixelSkipsEverythingOutsideTheBuffer) {
    canvas(3, 2);
    const int32_t outside[][2] = {
        {-1, 0}, {3, 0}, {0, -1}, {0, 2}, {INT32_MIN, 0}, {0, INT32_MAX}, {outsideCoordinate, 1}};
    for (const auto& p : outside) {
        addPixel(p[0], p[1], 1.0f, 255.0f, 255.0f, 255.0f);
    }
    EXPECT_EQ(litCount(), 0);
    addPixel(2, 1, 1.0f, 255.0f, 0.0f, 0.0f);
    EXPECT_EQ(buffer[5], 0x00FF0000u);
}

TEST_F(Raster, CoordinatesTruncateTowardZeroAndFarValuesFallOutside) {
    struct Case {
        float value;
        int32_t coordinate;
    } cases[] = {
        {-0.7f, 0},
        {2.9f, 2},
        {-1.2f, -1},
        {65535.9f, 65535},
        {1e9f, 1000000000},
        {-1e9f, -1000000000},
        {3e9f, outsideCoordinate},
        {-3e9f, outsideCoordinate},
        {1e30f, outsideCoordinate},
        {INFINITY, outsideCoordinate},
        {-INFINITY, outsideCoordinate},
        {NAN, outsideCoordinate},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(toCoordinate(c.value), c.coordinate) << c.value;
    }
}

TEST_F(Raster, FarOffAndHugeScreenPositionsDrawNothingAndStaySafe) {
    const ScreenPoint distant[] = {{1e10f, 50.0f},
                                   {-1e10f, -1e10f},
                                   {50.0f, 3e38f},
                                   {-2.2e9f, 50.0f},
                                   {2147483520.0f, 2147483520.0f}};
    for (ScreenPoint at : distant) {
        drawStar(warmStar(2.78f), at, ScreenPoint{100.0f, 100.0f}, 3.0f, 5.0f);
        drawStar(warmStar(2.78f), at, at, 3.0f, 5.0f);
    }
    // Each streak runs from the far point back through the canvas, so only streak light lands.
    canvas(200, 200);
    drawStar(warmStar(2.78f), ScreenPoint{-1e10f, 100.5f}, ScreenPoint{-1e10f, 100.5f}, 3.0f, 5.0f);
    EXPECT_EQ(litCount(), 0);
}

struct EdgeCase {
    float x;
    float size; // 1.72 makes a thick streak without arms at depth 750
    bool column0;
};

TEST_F(Raster, StreakClipsPixelByPixelAtTheLeftEdge) {
    const EdgeCase cases[] = {
        {-0.7f, 1.0f, true},  // lands in column 0
        {-1.2f, 1.0f, false}, // column -1 is skipped
        {-1.2f, 1.72f, true}, // but a thick streak's right-hand neighbour is column 0
    };
    for (const EdgeCase& c : cases) {
        canvas(20, 100);
        // Straight down the column, far above the disc.
        drawStar(warmStar(c.size), ScreenPoint{c.x, 80.5f}, ScreenPoint{c.x, 60.5f}, 750.0f, 0.0f);
        bool lit = false;
        for (int y = 40; y < 70; y++) {
            lit = lit || at(0, y) != Rgb{0, 0, 0};
            EXPECT_EQ(at(1, y), (Rgb{0, 0, 0})) << "row " << y;
        }
        EXPECT_EQ(lit, c.column0) << "x " << c.x << " size " << c.size;
    }
}

TEST_F(Raster, StreakIsThickFromRadiusAbout3Point06) {
    // A thick sample lights its neighbours: a vertical streak then spreads into column x + 1.
    struct Case {
        float size;
        bool thick;
    } cases[] = {{3.0f / 1.82f, false}, {3.06f / 1.82f, true}, {1.0f, false}};
    for (auto c : cases) {
        canvas(40, 100);
        drawStar(warmStar(c.size), ScreenPoint{10.5f, 80.5f}, ScreenPoint{10.5f, 60.5f}, 750.0f,
                 0.0f);
        bool side = false;
        for (int y = 40; y < 70; y++) {
            side = side || at(11, y) != Rgb{0, 0, 0};
        }
        EXPECT_EQ(side, c.thick) << "radius " << starLook(warmStar(c.size), 750.0f).apparentRadius;
    }
}

TEST_F(Raster, ArmsAppearOnlyAboveRadius3Point2) {
    const float exactly = 0.993788838f; // (2.8 + 0.42) x size = 3.2 at depth 0
    ASSERT_EQ(starLook(warmStar(exactly), 0.0f).apparentRadius, 3.2f);
    canvas(100, 100);
    drawStar(warmStar(exactly), ScreenPoint{50.5f, 50.5f}, ScreenPoint{50.5f, 50.5f}, 0.0f, 0.0f);
    EXPECT_EQ(at(55, 50), (Rgb{0, 0, 0}));

    canvas(100, 100);
    drawStar(warmStar(nextafterf(exactly, 1.0f)), ScreenPoint{50.5f, 50.5f},
             ScreenPoint{50.5f, 50.5f}, 0.0f, 0.0f);
    EXPECT_NE(at(60, 50), (Rgb{0, 0, 0})); // trunc(3.2 x 3.2) = 10 pixels each way
    EXPECT_NE(at(40, 50), (Rgb{0, 0, 0}));
    EXPECT_EQ(at(61, 50), (Rgb{0, 0, 0}));
    EXPECT_NE(at(50, 57), (Rgb{0, 0, 0})); // trunc(3.2 x 2.4) = 7
    EXPECT_EQ(at(50, 58), (Rgb{0, 0, 0}));
}

TEST_F(Raster, LargestStarWithFullBrightness) {
    canvas(100, 100);
    Star star = warmStar(2.78f, quarterTurn);
    ASSERT_EQ(starLook(star, 2.0f).apparentRadius, 7.5f);
    ASSERT_EQ(starLook(star, 2.0f).brightness, 1.0f);
    drawStar(star, ScreenPoint{50.5f, 50.5f}, ScreenPoint{50.5f, 50.5f}, 2.0f, 0.0f);
    // The disc reaches 7 pixels off the axes' ends: 8 x 8 exceeds 7.5 x 7.5.
    EXPECT_NE(at(57, 51), (Rgb{0, 0, 0}));
    EXPECT_EQ(at(58, 51), (Rgb{0, 0, 0}));
    EXPECT_EQ(at(51, 58), (Rgb{0, 0, 0}));
    // Arm tips: 24 pixels sideways (span 25), 18 up and down (span 19).
    EXPECT_EQ(at(74, 50), (Rgb{1, 2, 2}));
    EXPECT_EQ(at(26, 50), (Rgb{1, 2, 2}));
    EXPECT_EQ(at(75, 50), (Rgb{0, 0, 0}));
    EXPECT_EQ(at(50, 68), (Rgb{1, 2, 2}));
    EXPECT_EQ(at(50, 32), (Rgb{1, 2, 2}));
    EXPECT_EQ(at(50, 69), (Rgb{0, 0, 0}));
    // Beyond the disc only the arm lights the axis: (1 - 8/25) x 0.22 and (1 - 8/19) x 0.18.
    EXPECT_EQ(at(58, 50), (Rgb{31, 35, 38}));
    EXPECT_EQ(at(50, 42), (Rgb{21, 24, 26}));
}

TEST_F(Raster, ArmLightNextToTheCentre) {
    // A black tint leaves out the disc, whose light would saturate these pixels; the arms keep
    // their own colour.
    Star star = warmStar(2.78f, quarterTurn);
    star.tint[0] = star.tint[1] = star.tint[2] = 0; // no disc or streak light at all
    canvas(100, 100);
    drawStar(star, ScreenPoint{50.5f, 50.5f}, ScreenPoint{50.5f, 50.5f}, 2.0f, 0.0f);
    EXPECT_EQ(at(51, 50), (Rgb{44, 49, 53}));
    EXPECT_EQ(at(49, 50), (Rgb{44, 49, 53}));
    EXPECT_EQ(at(50, 51), (Rgb{35, 40, 43}));
    EXPECT_EQ(at(50, 49), (Rgb{35, 40, 43}));
    EXPECT_EQ(at(50, 50), (Rgb{255, 255, 255})); // the core, and no arm light
}

TEST_F(Raster, SmallestStarIsItsCentrePixelAlone) {
    canvas(20, 20);
    Star star = warmStar(0.28f);
    ASSERT_EQ(starLook(star, 1500.0f).apparentRadius, 0.55f);
    drawStar(star, ScreenPoint{10.5f, 10.5f}, ScreenPoint{10.5f, 10.5f}, 1500.0f, 0.0f);
    EXPECT_EQ(litCount(), 1);
    EXPECT_NE(at(10, 10), (Rgb{0, 0, 0}));
}

struct LookCase {
    float z;
    float phase; // the sine of the twinkle: 0 at phase 0
    float size;
    float brightness;
    float radius;
};

TEST_F(Raster, BrightnessAndRadiusFollowDepthAndTwinkle) {
    const LookCase cases[] = {
        {750.0f, 0.0f, 1.0f, 0.498f, 1.82f},         {1500.0f, 0.0f, 1.0f, 0.1162f, 0.55f},
        {1500.0f, quarterTurn, 1.0f, 0.14f, 0.55f},  {1500.0f, -quarterTurn, 1.0f, 0.0924f, 0.55f},
        {2.0f, quarterTurn, 1.0f, 1.0f, 3.2163f},    {1730.0f, quarterTurn, 2.78f, 0.05f, 0.55f},
        {5000.0f, quarterTurn, 2.78f, 0.05f, 0.55f},
    };
    for (const LookCase& c : cases) {
        StarLook look = starLook(warmStar(c.size, c.phase), c.z);
        EXPECT_NEAR(look.brightness, c.brightness, 1e-5f) << "z " << c.z;
        EXPECT_NEAR(look.apparentRadius, c.radius, 1e-4f) << "z " << c.z;
    }
    EXPECT_EQ(starLook(warmStar(2.78f, quarterTurn), 1730.0f).brightness, 0.05f);
}

TEST_F(Raster, CoreAddsTheSameToEveryChannel) {
    struct Case {
        float z;
        int added;
    } cases[] = {{5000.0f, 20}, {2.0f, 255}};
    for (auto c : cases) {
        canvas(20, 20, 0x00102030u);
        Star star = warmStar(0.28f, quarterTurn);
        star.tint[0] = star.tint[1] = star.tint[2] = 0;
        drawStar(star, ScreenPoint{10.5f, 10.5f}, ScreenPoint{10.5f, 10.5f}, c.z, 0.0f);
        auto clip = [](int v) { return v > 255 ? 255 : v; };
        EXPECT_EQ(at(10, 10),
                  (Rgb{clip(0x10 + c.added), clip(0x20 + c.added), clip(0x30 + c.added)}))
            << "z " << c.z;
    }
}

TEST_F(Raster, TouchedPixelsLoseTheirTopByte) {
    canvas(60, 60, 0xFF000000u);
    drawStar(warmStar(2.78f), ScreenPoint{30.5f, 30.5f}, ScreenPoint{29.0f, 20.0f}, 10.0f, 1.0f);
    int touched = 0;
    for (uint32_t word : buffer) {
        if (word >> 24 == 0) {
            touched++;
        } else {
            EXPECT_EQ(word, 0xFF000000u);
        }
    }
    EXPECT_GT(touched, 100);
}

} // namespace

namespace {

// A depth, size or twinkle that is not a number must not reach a float-to-int conversion: a
// look value that is not a number counts as its lower limit. Each such star draws exactly
// what a finite star at those limits draws.
TEST_F(Raster, StarValuesThatAreNotNumbersDrawAsTheirLowerLimits) {
    struct Case {
        const char* what;
        float z, size, twinkleRate, twinklePhase;
        float sameZ, sameSize; // a finite star with the same look
    } cases[] = {
        // Both looks at their limits, as for any star beyond a depth of 1730.
        {"depth NaN", NAN, 1.0f, 1.0f, 0.0f, 2000.0f, 1.0f},
        // The radius at its limit, as for a size of 0.
        {"size NaN", 750.0f, NAN, 1.0f, 0.0f, 750.0f, 0.0f},
        // The sine of an infinite phase is NaN: the brightness at its limit, as far away.
        {"phase infinite", 1800.0f, 2.78f, 1.0f, INFINITY, 1800.0f, 2.78f},
        {"rate NaN", 1800.0f, 2.78f, NAN, 0.0f, 1800.0f, 2.78f},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Star star = warmStar(c.size, c.twinklePhase);
        star.twinkleRate = c.twinkleRate;
        // With a streak, so that its samples take the brightness too.
        canvas(40, 40, 0x00102030u);
        drawStar(star, ScreenPoint{20.5f, 20.5f}, ScreenPoint{14.5f, 17.5f}, c.z, 1.0f);
        const std::vector<uint32_t> drawn = buffer;
        canvas(40, 40, 0x00102030u);
        drawStar(warmStar(c.sameSize), ScreenPoint{20.5f, 20.5f}, ScreenPoint{14.5f, 17.5f},
                 c.sameZ, 1.0f);
        EXPECT_EQ(drawn, buffer);
    }
}

} // namespace
