#include "wayland/input.h"

namespace {

// value120 x 32, or wl_fixed scrolling at 15 units a notch.
const int64_t unitsPerNotch = 3840;
// More than enough to take the speed setting from one end to the other, and within turnWheel's
// 16 bits.
const int64_t mostNotches = 40;

int32_t wholePixels(int64_t& carry, int64_t moved) {
    carry += moved;
    const int64_t whole = carry / 256; // toward zero, as the page's trunc
    carry -= whole * 256;
    return (int32_t)whole;
}

} // namespace

void pointerEnters(LayoutTrack& track, int64_t x, int64_t y) {
    track = LayoutTrack{true, x, y, 0, 0};
}

MotionCounts pointerMoves(LayoutTrack& track, int64_t x, int64_t y) {
    if (!track.known) {
        pointerEnters(track, x, y);
        return MotionCounts{0, 0};
    }
    const MotionCounts counts{wholePixels(track.carryX, x - track.x),
                              wholePixels(track.carryY, y - track.y)};
    track.x = x;
    track.y = y;
    return counts;
}

int32_t endAxisFrame(WheelRest& wheel, AxisFrame& frame) {
    int64_t step = 0;
    if (frame.hasValue120) {
        step = (int64_t)frame.value120 * 32;
    } else if (frame.hasDiscrete) {
        step = (int64_t)frame.discrete * unitsPerNotch;
    } else if (!frame.wheelSource) {
        step = frame.smooth; // 15 units of 256 each: a notch
    }
    frame = AxisFrame{};
    wheel.rest = step * wheel.rest < 0 ? step : wheel.rest + step;
    int64_t notches = wheel.rest / unitsPerNotch;
    wheel.rest -= notches * unitsPerNotch;
    notches = notches < -mostNotches ? -mostNotches : notches > mostNotches ? mostNotches : notches;
    return (int32_t)(-notches * 120);
}
