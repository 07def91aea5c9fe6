// voidrunner3d-wayland's input arithmetic and its touch listener, in-process.
#include <gtest/gtest.h>

#include "engine/engine.h"
#include "flight/flight.h"
#include "wayland/front.h"

namespace {

AxisFrame smooth(int64_t units, bool wheel = false) {
    return AxisFrame{true, units, 0, false, 0, false, wheel};
}

AxisFrame value120(int32_t value) {
    return AxisFrame{true, 0, 0, false, value, true, true};
}

struct AxisCase {
    const char* name;
    std::vector<AxisFrame> frames;
    std::vector<int32_t> deltas; // what each frame hands turnWheel
};

// Wayland counts toward the user, WM_MOUSEWHEEL away from the user; 15 units of smooth
// scrolling (3840 in wl_fixed) make a notch.
const AxisCase axisCases[] = {
    {"Value120BeforeDiscrete", {{true, 3840, 1, true, -240, true, true}}, {240}},
    {"SmoothAddsUpToNotches",
     {smooth(1280), smooth(2559), smooth(1), smooth(7685)},
     {0, 0, -120, -240}},
    {"TurnTheOtherWayStartsAfresh", {smooth(3000), smooth(-1000), smooth(-2840)}, {0, 0, 120}},
    {"HighResolutionWheel", {value120(-40), value120(-40), value120(-40)}, {0, 0, 120}},
    {"OlderSeatsHighResolutionWheel",
     {smooth(1280, true),
      smooth(1280, true),
      smooth(1280, true),
      {true, 1280, 1, true, 0, false, true}},
     {0, 0, 0, -120}},
};

TEST(Wheel, AxisFramesGiveWholeNotches) {
    for (const AxisCase& c : axisCases) {
        WheelRest wheel{};
        for (size_t i = 0; i < c.frames.size(); i++) {
            AxisFrame frame = c.frames[i];
            EXPECT_EQ(endAxisFrame(wheel, frame), c.deltas[i]) << c.name << " frame " << i;
        }
    }
}

TEST(Motion, LayoutChangesSteerInWholePixelsWithFractionsCarried) {
    LayoutTrack track{};
    EXPECT_EQ(pointerMoves(track, 1000, 1000).dx, 0); // not entered: nothing to measure from
    pointerEnters(track, 256 * 10 + 200, 0);
    const int64_t xs[] = {256 * 10 + 300, 256 * 11 + 100, 256 * 11 + 200, 256 * 9};
    // +100, +56 (156 carried), +100 (a pixel, none carried), -712 (2 pixels, -200 carried).
    const int32_t dxs[] = {0, 0, 1, -2};
    for (size_t i = 0; i < 4; i++) {
        EXPECT_EQ(pointerMoves(track, xs[i], 0).dx, dxs[i]) << i;
    }
}

// A touch-down is a click: on the flight's clock, it ends the run only more than 0.8 s after
// the start.
TEST(Touch, DownEndsOnlyAfterTheClickRulesTime) {
    startFlight(defaultFlight(), SettableClock);
    Front front{};
    Seat seat{};
    seat.front = &front;
    const int64_t counters[] = {8000000, 8000001};
    for (int64_t counter : counters) {
        platform.counter = counter;
        touchListener.down(&seat, nullptr, 0, 0, nullptr, 0, 0, 0);
        EXPECT_EQ(front.ending, counter > 8000000) << counter;
    }
}

} // namespace
