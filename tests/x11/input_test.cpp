// The pointer in the hack's own window: buttons by their X numbers, and motion as steering
// limited per report.
#include <gtest/gtest.h>

#include "engine/input.h"
#include "x11/input.h"

namespace {

// What the hack does with one motion report.
SteeringStep steerTo(PointerTrack& track, int32_t x, int32_t y) {
    const PointerMotion motion = pointerMoved(track, x, y);
    return steer(motion.dx, motion.dy);
}

TEST(Buttons, XNumbersMeanClickWheelOrNothing) {
    const ButtonRole roles[] = {ClickButton,     ClickButton, ClickButton, WheelUpButton,
                                WheelDownButton, InertButton, InertButton, ClickButton,
                                ClickButton,     ClickButton};
    for (uint32_t button = 1; button <= 10; button++) {
        EXPECT_EQ(buttonRole(button), roles[button - 1]) << "button " << button;
    }
    EXPECT_EQ(wheelDeltaOf(WheelUpButton), 120);
    EXPECT_EQ(wheelDeltaOf(WheelDownButton), -120);
    EXPECT_EQ(wheelDeltaOf(ClickButton), 0);
    EXPECT_EQ(wheelDeltaOf(InertButton), 0);
}

struct Report {
    int32_t x, y;
    float yaw, pitch;
};

TEST(Motion, EachReportIsLimitedOnItsOwn) {
    PointerTrack track{};
    pointerEntered(track, 100, 100);
    const Report reports[] = {
        {100, 100, 0.0f, 0.0f},    // no change, no steering
        {300, 100, 0.11f, 0.0f},   // 200 counts right: 0.46, limited
        {310, 100, 0.023f, 0.0f},  // 10 counts
        {310, 0, 0.0f, -0.09f},    // 100 counts up: -0.23, limited
        {310, 2, 0.0f, 0.0046f},   // 2 counts down
        {260, 140, -0.11f, 0.09f}, // both limited at once
        {259, 139, -0.0023f, -0.0023f},
    };
    for (const Report& report : reports) {
        const SteeringStep step = steerTo(track, report.x, report.y);
        EXPECT_FLOAT_EQ(step.yaw, report.yaw) << report.x << "," << report.y;
        EXPECT_FLOAT_EQ(step.pitch, report.pitch) << report.x << "," << report.y;
    }
}

TEST(Motion, TenReportsOfAHundredAddUpBeyondTheLimit) {
    PointerTrack track{};
    pointerEntered(track, 0, 0);
    float yaw = 0.0f;
    for (int32_t i = 1; i <= 10; i++) {
        yaw += steerTo(track, 100 * i, 0).yaw;
    }
    EXPECT_NEAR(yaw, 1.1f, 1e-5f);
}

TEST(Motion, NoStepUntilThePointerIsKnownAgain) {
    PointerTrack track{};
    // Never entered: the first report only sets where the pointer is.
    SteeringStep step = steerTo(track, 500, 500);
    EXPECT_EQ(step.yaw, 0.0f);
    EXPECT_EQ(step.pitch, 0.0f);
    step = steerTo(track, 510, 490);
    EXPECT_FLOAT_EQ(step.yaw, 0.023f);
    EXPECT_FLOAT_EQ(step.pitch, -0.023f);
    // Leaving and coming back elsewhere is no motion.
    pointerLeft(track);
    step = steerTo(track, 10, 10);
    EXPECT_EQ(step.yaw, 0.0f);
    EXPECT_EQ(step.pitch, 0.0f);
    pointerLeft(track);
    pointerEntered(track, 900, 900);
    step = steerTo(track, 901, 900);
    EXPECT_FLOAT_EQ(step.yaw, 0.0023f);
    EXPECT_EQ(step.pitch, 0.0f);
}

} // namespace
