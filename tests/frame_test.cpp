#include <gtest/gtest.h>

#include <math.h>
#include <string.h>

#include "engine/engine.h"
#include "engine/rounded.h"

namespace {

uint32_t floatBits(float value) {
    uint32_t bits;
    memcpy(&bits, &value, sizeof bits);
    return bits;
}

class Frame : public ::testing::Test {
  protected:
    void SetUp() override {
        resetEngineState();
        engine.width = 640;
        engine.height = 480;
    }
    void TearDown() override {
        resetEngineState();
    }
    // A view whose projection is the identity for a star at depth 100: screen = world.
    static FrameView flatView() {
        FrameView view{};
        view.cosYaw = view.cosPitch = 1.0f;
        view.focalLength = 100.0f;
        return view;
    }
    static Star starAt(float x, float y, float z) {
        Star star{};
        star.x = x;
        star.y = y;
        star.z = z;
        star.zPrev = -1.0f;
        star.size = 1.0f;
        return star;
    }
};

struct EaseCase {
    float current, target;
    double deltaTime;
    float expected;
};

TEST_F(Frame, SpeedEasesFasterUpThanDown) {
    const EaseCase cases[] = {
        {70.0f, 930.0f, 0.05, 166.75f}, {70.0f, 10.0f, 0.05, 65.95f},   {70.0f, 70.0f, 0.05, 70.0f},
        {70.0f, 930.0f, 0.0, 70.0f},    {70.0f, 930.0f, 1.0, 930.0f}, // the factor stops at 1
        {0.0f, 930.0f, 0.01, 20.925f},  {930.0f, 0.0f, 0.01, 917.445f},
    };
    for (const EaseCase& c : cases) {
        engine.currentSpeed = c.current;
        engine.targetSpeed = c.target;
        easeSpeed(c.deltaTime);
        EXPECT_NEAR(engine.currentSpeed, c.expected, 0.005f)
            << c.current << " -> " << c.target << " over " << c.deltaTime;
    }
}

TEST_F(Frame, SpeedFactorFollowsTheSpeedUpToFive) {
    const float speeds[][2] = {{930.0f, 4.65f}, {0.0f, 0.0f},    {200.0f, 1.0f},
                               {1000.0f, 5.0f}, {5000.0f, 5.0f}, {-50.0f, 0.0f}};
    for (const auto& s : speeds) {
        engine.currentSpeed = s[0];
        EXPECT_FLOAT_EQ(makeFrameView(0.0f, 0.0f, 0.0).speedFactor, s[1]) << s[0];
    }
}

TEST_F(Frame, ViewCentreAndFocalLengthAtFlightTimeZero) {
    engine.width = 1920;
    engine.height = 1080;
    FrameView view = makeFrameView(0.0f, 0.0f, 0.0);
    EXPECT_FLOAT_EQ(view.viewCentre.x, 960.0f);
    EXPECT_FLOAT_EQ(view.viewCentre.y, 550.8f);
    EXPECT_FLOAT_EQ(view.focalLength, 993.6f);
    engine.width = 300;
    engine.height = 900;
    view = makeFrameView(0.0f, 0.0f, 0.0);
    EXPECT_FLOAT_EQ(view.viewCentre.x, 150.0f);
    EXPECT_FLOAT_EQ(view.viewCentre.y, 459.0f);
    EXPECT_FLOAT_EQ(view.focalLength, 276.0f);
}

TEST_F(Frame, ViewCentreWobblesWithFlightTime) {
    engine.width = 1000;
    engine.height = 1000;
    // A quarter period of the sideways drift: sin(0.09 t) = 1.
    engine.flightTime = 1.5707963267948966 / 0.09;
    FrameView view = makeFrameView(0.0f, 0.0f, 0.0);
    EXPECT_NEAR(view.viewCentre.x, 512.0f, 0.001f);
    EXPECT_NEAR(view.viewCentre.y, 500.0f + 10.0f * roundedCos(0.073f * (float)engine.flightTime),
                0.001f);
}

TEST_F(Frame, RestingMouseLeavesXAndYBitForBit) {
    engine.currentSpeed = 300.0f;
    FrameView view = makeFrameView(0.0f, 0.0f, 0.02);
    Star star = starAt(123.456f, -77.125f, 800.0f);
    ScreenPoint at, before;
    stepStar(star, view, at, before);
    EXPECT_EQ(floatBits(star.x), floatBits(123.456f));
    EXPECT_EQ(floatBits(star.y), floatBits(-77.125f));
    EXPECT_EQ(star.z, 800.0f - 300.0f * 0.02f);
    EXPECT_EQ(star.zPrev, 800.0f);
}

struct SteerCase {
    float yaw, pitch;
    float x, y, z;
};

TEST_F(Frame, SteeringTurnsTheStarsAboutTheViewer) {
    engine.currentSpeed = 0.0f;
    const SteerCase cases[] = {
        {0.1f, 0.0f, -99.833f, 0.0f, 995.004f},
        {0.0f, 0.1f, 0.0f, -99.833f, 995.004f},
        {-0.1f, 0.0f, 99.833f, 0.0f, 995.004f},
        // The pitch turns the depth the yaw left: 995.004 x cos 0.1 and 995.004 x -sin 0.1.
        {0.1f, 0.1f, -99.833f, -99.335f, 990.033f},
    };
    for (const SteerCase& c : cases) {
        FrameView view = makeFrameView(c.yaw, c.pitch, 0.0);
        Star star = starAt(0.0f, 0.0f, 1000.0f);
        ScreenPoint at, before;
        stepStar(star, view, at, before);
        EXPECT_NEAR(star.x, c.x, 0.001f) << c.yaw << ", " << c.pitch;
        EXPECT_NEAR(star.y, c.y, 0.001f) << c.yaw << ", " << c.pitch;
        EXPECT_NEAR(star.z, c.z, 0.001f) << c.yaw << ", " << c.pitch;
    }
}

TEST_F(Frame, PositiveYawMovesLeftAndPositivePitchMovesUp) {
    engine.currentSpeed = 0.0f;
    const FrameView still = makeFrameView(0.0f, 0.0f, 0.0);
    const FrameView turned = makeFrameView(0.05f, 0.05f, 0.0);
    Star a = starAt(10.0f, 10.0f, 500.0f), b = a;
    ScreenPoint restAt, turnAt, before;
    ASSERT_TRUE(stepStar(a, still, restAt, before));
    ASSERT_TRUE(stepStar(b, turned, turnAt, before));
    EXPECT_LT(turnAt.x, restAt.x);
    EXPECT_LT(turnAt.y, restAt.y);
    // The streak starts where the star was before the turn, projected with this frame's view.
    EXPECT_EQ(before.x, restAt.x);
    EXPECT_EQ(before.y, restAt.y);
}

TEST_F(Frame, DepthRuleRespawnsOnlyBelowTwo) {
    engine.currentSpeed = 100.0f;
    FrameView view = flatView();
    view.motionStep = 0.01f; // one unit forward
    Star kept = starAt(0.0f, 0.0f, 3.0f);
    ScreenPoint at, before;
    const uint32_t rng = engine.rngState;
    EXPECT_TRUE(stepStar(kept, view, at, before));
    EXPECT_EQ(kept.z, 2.0f);
    EXPECT_EQ(engine.rngState, rng);

    Star renewed = starAt(0.0f, 0.0f, nextafterf(3.0f, 0.0f));
    bool visible = stepStar(renewed, view, at, before);
    EXPECT_NE(engine.rngState, rng);
    EXPECT_GE(renewed.z, 1230.0f);
    EXPECT_LE(renewed.z, 1500.0f);
    EXPECT_EQ(renewed.zPrev, renewed.z);
    if (visible) {
        // A star placed anew has no streak from where the old one was.
        EXPECT_EQ(before.x, at.x);
        EXPECT_EQ(before.y, at.y);
    }
}

TEST_F(Frame, RespawnedStarIsDrawnAtItsNewPlaceWithoutAStreak) {
    engine.width = 1920;
    engine.height = 1080;
    engine.currentSpeed = 500.0f;
    FrameView view = makeFrameView(0.0f, 0.0f, 0.05);
    // Search the generator's sequence for a respawn that lands on screen.
    for (int i = 0; i < 50; i++) {
        Star star = starAt(500.0f, 0.0f, 3.0f);
        ScreenPoint at, before;
        if (stepStar(star, view, at, before)) {
            EXPECT_EQ(before.x, at.x);
            EXPECT_EQ(before.y, at.y);
            EXPECT_EQ(star.zPrev, star.z);
            return;
        }
    }
    FAIL() << "no respawn landed on screen";
}

struct CullCase {
    float x, y;
    bool visible;
};

TEST_F(Frame, CullingMarginIs120PixelsOnEverySide) {
    const float past = 0.001f;
    const CullCase cases[] = {
        {-120.0f, 240.0f, true}, {-120.0f - past, 240.0f, false},
        {760.0f, 240.0f, true},  {760.0f + past, 240.0f, false},
        {320.0f, -120.0f, true}, {320.0f, -120.0f - past, false},
        {320.0f, 600.0f, true},  {320.0f, 600.0f + past, false},
        {-120.0f, 600.0f, true}, {320.0f, 240.0f, true},
    };
    for (const CullCase& c : cases) {
        for (float depth : {100.0f, 900.0f}) {
            // At depth 100 the flat view maps world to screen; scale for the far star.
            Star star = starAt(c.x * depth / 100.0f, c.y * depth / 100.0f, depth);
            FrameView view = flatView();
            ScreenPoint at{}, before{};
            const uint32_t rng = engine.rngState;
            EXPECT_EQ(stepStar(star, view, at, before), c.visible)
                << c.x << ", " << c.y << " at depth " << depth;
            // Only near stars that leave the view are placed anew.
            EXPECT_EQ(engine.rngState != rng, !c.visible && depth < 900.0f);
            if (c.visible || depth >= 900.0f) {
                EXPECT_EQ(star.z, depth);
            }
        }
    }
}

TEST_F(Frame, OffScreenStarJustNearerThan900IsPlacedAnew) {
    FrameView view = flatView();
    Star star = starAt(1e6f, 0.0f, nextafterf(900.0f, 0.0f));
    ScreenPoint at, before;
    EXPECT_FALSE(stepStar(star, view, at, before));
    EXPECT_GE(star.z, 1230.0f);
    EXPECT_EQ(star.zPrev, star.z);
}

} // namespace
