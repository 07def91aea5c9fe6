// What a Wayland seat's input does, as plain arithmetic apart from the protocol objects that
// carry it: pointer motion in the layout and the wheel's frames of axis events.
#pragma once

#include <stdint.h>

// Where the pointer was at its last event, in the layout, in wl_fixed units (1/256 pixel), and
// the fractions of a pixel not yet handed on as steering.
struct LayoutTrack {
    bool known;
    int64_t x, y;
    int64_t carryX, carryY;
};

// Called when the pointer enters a surface at layout position (x, y), wl_fixed units: the next
// motion is measured from there, with nothing carried.
void pointerEnters(LayoutTrack& track, int64_t x, int64_t y);

// Called on each motion event: the whole pixels moved since the last event, as counts for the
// engine's steering; the fractions carry to the next event.
struct MotionCounts {
    int32_t dx;
    int32_t dy;
};
MotionCounts pointerMoves(LayoutTrack& track, int64_t x, int64_t y);

// The vertical axis events of one wl_pointer frame. Wayland's axis is positive toward the user.
struct AxisFrame {
    bool any;
    int64_t smooth; // scrolling (a touchpad) as wl_fixed's raw value; 15 units a notch
    int32_t discrete;
    bool hasDiscrete;
    int32_t value120; // 120 a notch, finer for high-resolution wheels
    bool hasValue120;
    bool wheelSource; // a wheel said so: its smooth value only echoes its steps
};

// A wheel's position between notches, in 1/3840 of a notch, so that every kind of report adds
// up exactly.
struct WheelRest {
    int64_t rest;
};

// Called at the end of a frame of axis events (at each axis event before wl_pointer version
// 5): the frame's steps, value120 where given, else discrete steps, else smooth scrolling from
// anything but a wheel, add up to the rest; a turn the other way starts afresh. Returns the whole
// notches in WM_MOUSEWHEEL's units (120 a notch, positive away from the user) for turnWheel, and
// clears the frame.
int32_t endAxisFrame(WheelRest& wheel, AxisFrame& frame);
