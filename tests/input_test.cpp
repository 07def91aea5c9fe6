// The input rules every front end shares: the speed curve, steering, wheel notches and the
// click's grace period.
#include <gtest/gtest.h>

#include <initializer_list>
#include <utility>

#include "engine/engine.h"
#include "engine/input.h"

namespace {

TEST(Input, SpeedCurveSamples) {
    const struct {
        int32_t percent;
        float speed;
    } table[] = {{3, 10.69f}, {5, 11.98f}, {8, 15.19f}, {28, 77.68f}, {50, 232.17f}, {95, 838.17f}};
    for (const auto& row : table) {
        EXPECT_NEAR(speedCurve(row.percent), row.speed, 0.01f) << row.percent;
    }
    EXPECT_EQ(speedCurve(0), 0.0f);
    EXPECT_EQ(speedCurve(100), 930.0f);
}

TEST(Input, SteeringIsLimitedPerReport) {
    EXPECT_FLOAT_EQ(steeringStep(100, yawLimit), 0.11f);
    EXPECT_FLOAT_EQ(steeringStep(-100, yawLimit), -0.11f);
    EXPECT_FLOAT_EQ(steeringStep(-100, pitchLimit), -0.09f);
    EXPECT_FLOAT_EQ(steeringStep(10, yawLimit), 0.023f);
    EXPECT_FLOAT_EQ(steeringStep(-30, pitchLimit), -0.069f);
    EXPECT_EQ(steeringStep(0, yawLimit), 0.0f);
    EXPECT_FLOAT_EQ(steeringStep(INT32_MIN, pitchLimit), -0.09f);
    float sum = 0.0f;
    for (int i = 0; i < 10; i++) {
        sum += steeringStep(100, yawLimit);
    }
    EXPECT_NEAR(sum, 1.1f, 1e-5f);
}

TEST(Input, WheelNotches) {
    for (auto [delta, notches] : {std::pair{0, 0},
                                  {119, 0},
                                  {-119, 0},
                                  {120, 1},
                                  {-120, -1},
                                  {239, 1},
                                  {240, 2},
                                  {-239, -1},
                                  {32767, 273},
                                  {-32768, -273}}) {
        EXPECT_EQ(wheelNotches((int16_t)delta), notches) << delta;
    }
    EXPECT_EQ(speedAfterNotches(28, -273), 0);
    EXPECT_EQ(speedAfterNotches(28, 273), 100);
}

TEST(Input, ClickGraceEndsStrictlyAfterEightTenths) {
    const int64_t frequency = 10000000, start = 123456789;
    EXPECT_FALSE(clickEndsRun(start + 5000000, start, frequency));
    EXPECT_FALSE(clickEndsRun(start + 8000000, start, frequency));
    EXPECT_TRUE(clickEndsRun(start + 8000001, start, frequency));
    EXPECT_TRUE(clickEndsRun(start + 8100000, start, frequency));
    EXPECT_FALSE(clickEndsRun(start - 1, start, frequency));
    // A counter that wrapped past its top still measures the short time since start.
    EXPECT_FALSE(clickEndsRun(INT64_MIN + 100, INT64_MAX - 100, frequency));
    EXPECT_TRUE(clickEndsRun(INT64_MIN + 4000000, INT64_MAX - 4500000, frequency));
}

} // namespace
