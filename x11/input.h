// What the pointer does in a window of the hack's own, as plain arithmetic apart from the X
// events that carry it: its motion between reports, and the meaning of each button.
#pragma once

#include <stdint.h>

enum ButtonRole : int32_t {
    ClickButton = 0, // the click rule: ends the run after the first 0.8 s
    WheelUpButton,   // one notch away from the user: +120, as WM_MOUSEWHEEL carries it
    WheelDownButton, // one notch toward the user: -120
    InertButton,     // the horizontal wheel, which Windows leaves to default handling
};

// X numbers buttons 1 to 3 left, middle and right, 4 and 5 the wheel's notches, 6 and 7 the
// horizontal wheel, 8 and up the extra buttons.
ButtonRole buttonRole(uint32_t button);

// The wheel delta of one notch: 120, -120, or 0 for a button that is not the wheel.
int16_t wheelDeltaOf(ButtonRole role);

// Where the pointer was at its last report, in root coordinates; motion is measured from it.
struct PointerTrack {
    bool known;
    int32_t x;
    int32_t y;
};

// Pointer motion in pixels, which the hack takes as a raw mouse report's counts.
struct PointerMotion {
    int32_t dx;
    int32_t dy;
};

// The pointer came into the window at (x, y): the next motion is measured from there.
void pointerEntered(PointerTrack& track, int32_t x, int32_t y);

// The pointer left: wherever it comes back, that is no motion.
void pointerLeft(PointerTrack& track);

// One motion report at (x, y): the change since the previous report; no motion for the first
// report after the pointer was lost.
PointerMotion pointerMoved(PointerTrack& track, int32_t x, int32_t y);
