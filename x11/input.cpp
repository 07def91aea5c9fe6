#include "x11/input.h"

ButtonRole buttonRole(uint32_t button) {
    switch (button) {
        case 4:
            return WheelUpButton;
        case 5:
            return WheelDownButton;
        case 6:
        case 7:
            return InertButton;
        default:
            return ClickButton;
    }
}

int16_t wheelDeltaOf(ButtonRole role) {
    return role == WheelUpButton ? 120 : role == WheelDownButton ? -120 : 0;
}

void pointerEntered(PointerTrack& track, int32_t x, int32_t y) {
    track = PointerTrack{true, x, y};
}

void pointerLeft(PointerTrack& track) {
    track.known = false;
}

PointerMotion pointerMoved(PointerTrack& track, int32_t x, int32_t y) {
    const PointerMotion motion =
        track.known ? PointerMotion{x - track.x, y - track.y} : PointerMotion{0, 0};
    pointerEntered(track, x, y);
    return motion;
}
