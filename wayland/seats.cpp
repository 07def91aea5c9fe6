// Seats and their devices, bound as they come and released as they go: the overlay's input.
#include <unistd.h>

#include "engine/input.h"
#include "wayland/front.h"

namespace {

Output* outputOf(Front& front, wl_surface* surface) {
    for (Output* output : front.outputs) {
        if (output->surface && output->surface == surface) {
            return output;
        }
    }
    return nullptr;
}

int64_t layoutX(const Output* output, wl_fixed_t x) {
    return (output ? (int64_t)output->x * 256 : 0) + x;
}

int64_t layoutY(const Output* output, wl_fixed_t y) {
    return (output ? (int64_t)output->y * 256 : 0) + y;
}

void onPointerEnter(void* data, wl_pointer* pointer, uint32_t serial, wl_surface* surface,
                    wl_fixed_t x, wl_fixed_t y) {
    Seat& seat = *static_cast<Seat*>(data);
    // No cursor over the flight.
    wl_pointer_set_cursor(pointer, serial, nullptr, 0, 0);
    seat.pointerOutput = outputOf(*seat.front, surface);
    pointerEnters(seat.track, layoutX(seat.pointerOutput, x), layoutY(seat.pointerOutput, y));
}

void onPointerLeave(void* data, wl_pointer*, uint32_t, wl_surface*) {
    Seat& seat = *static_cast<Seat*>(data);
    seat.pointerOutput = nullptr;
    seat.track.known = false;
}

void onMotion(void* data, wl_pointer*, uint32_t, wl_fixed_t x, wl_fixed_t y) {
    Seat& seat = *static_cast<Seat*>(data);
    const MotionCounts counts =
        pointerMoves(seat.track, layoutX(seat.pointerOutput, x), layoutY(seat.pointerOutput, y));
    if (counts.dx != 0 || counts.dy != 0) {
        const SteeringStep step = steer(counts.dx, counts.dy);
        seat.front->steeredYaw += step.yaw;
        seat.front->steeredPitch += step.pitch;
    }
}

void onButton(void* data, wl_pointer*, uint32_t, uint32_t, uint32_t, uint32_t state) {
    Seat& seat = *static_cast<Seat*>(data);
    if (state == WL_POINTER_BUTTON_STATE_PRESSED && clickEndsRunNow()) {
        seat.front->ending = true;
    }
}

void takeWheel(Seat& seat) {
    const int32_t delta = endAxisFrame(seat.wheel, seat.axis);
    if (delta != 0) {
        turnWheel((int16_t)delta);
    }
}

void onAxis(void* data, wl_pointer*, uint32_t, uint32_t axis, wl_fixed_t value) {
    Seat& seat = *static_cast<Seat*>(data);
    if (axis != WL_POINTER_AXIS_VERTICAL_SCROLL) {
        return;
    }
    seat.axis.any = true;
    seat.axis.smooth += value;
    // Before version 5 no frame event closes a group of axis events: each stands alone.
    if (seat.version < WL_POINTER_FRAME_SINCE_VERSION) {
        takeWheel(seat);
    }
}

void onFrame(void* data, wl_pointer*) {
    Seat& seat = *static_cast<Seat*>(data);
    if (seat.axis.any) {
        takeWheel(seat);
    }
    seat.axis = AxisFrame{}; // a source told without a value applies to this frame alone
}

// A high-resolution wheel, to a seat older than value120, may send the smooth value of a part
// of a notch in frames of their own, and the notch's step with its last part: only the steps
// count.
void onAxisSource(void* data, wl_pointer*, uint32_t source) {
    Seat& seat = *static_cast<Seat*>(data);
    seat.axis.wheelSource = source == WL_POINTER_AXIS_SOURCE_WHEEL;
}

void onAxisStop(void*, wl_pointer*, uint32_t, uint32_t) {}

void onAxisDiscrete(void* data, wl_pointer*, uint32_t axis, int32_t discrete) {
    Seat& seat = *static_cast<Seat*>(data);
    if (axis == WL_POINTER_AXIS_VERTICAL_SCROLL) {
        seat.axis.any = seat.axis.hasDiscrete = true;
        seat.axis.discrete += discrete;
    }
}

void onAxisValue120(void* data, wl_pointer*, uint32_t axis, int32_t value120) {
    Seat& seat = *static_cast<Seat*>(data);
    if (axis == WL_POINTER_AXIS_VERTICAL_SCROLL) {
        seat.axis.any = seat.axis.hasValue120 = true;
        seat.axis.value120 += value120;
    }
}

const wl_pointer_listener pointerListener = {
    onPointerEnter, onPointerLeave, onMotion,   onButton,       onAxis,
    onFrame,        onAxisSource,   onAxisStop, onAxisDiscrete, onAxisValue120};

void onKeymap(void*, wl_keyboard*, uint32_t, int32_t fd, uint32_t) {
    close(fd);
}

// Keys already down when the surface gets the keyboard are not pressed here: only their
// releases come, and a release ends nothing.
void onKeyboardEnter(void*, wl_keyboard*, uint32_t, wl_surface*, wl_array*) {}

void onKeyboardLeave(void*, wl_keyboard*, uint32_t, wl_surface*) {}

void onKey(void* data, wl_keyboard*, uint32_t, uint32_t, uint32_t, uint32_t state) {
    if (state == WL_KEYBOARD_KEY_STATE_PRESSED) {
        static_cast<Seat*>(data)->front->ending = true;
    }
}

void onModifiers(void*, wl_keyboard*, uint32_t, uint32_t, uint32_t, uint32_t, uint32_t) {}

void onRepeatInfo(void*, wl_keyboard*, int32_t, int32_t) {}

const wl_keyboard_listener keyboardListener = {onKeymap, onKeyboardEnter, onKeyboardLeave,
                                               onKey,    onModifiers,     onRepeatInfo};

// A touch is a click: a touch-only screen can end the flight.
void onTouchDown(void* data, wl_touch*, uint32_t, uint32_t, wl_surface*, int32_t, wl_fixed_t,
                 wl_fixed_t) {
    if (clickEndsRunNow()) {
        static_cast<Seat*>(data)->front->ending = true;
    }
}

void onTouchUp(void*, wl_touch*, uint32_t, uint32_t, int32_t) {}

void onTouchMotion(void*, wl_touch*, uint32_t, int32_t, wl_fixed_t, wl_fixed_t) {}

void onTouchFrame(void*, wl_touch*) {}

void onTouchCancel(void*, wl_touch*) {}

void onTouchShape(void*, wl_touch*, int32_t, wl_fixed_t, wl_fixed_t) {}

void onTouchOrientation(void*, wl_touch*, int32_t, wl_fixed_t) {}

// Version 3 has release requests; before it, the proxy is only destroyed.
void dropPointer(Seat& seat) {
    if (seat.pointer) {
        seat.version >= WL_POINTER_RELEASE_SINCE_VERSION ? wl_pointer_release(seat.pointer)
                                                         : wl_pointer_destroy(seat.pointer);
    }
    seat.pointer = nullptr;
    seat.pointerOutput = nullptr;
    seat.track = LayoutTrack{};
    seat.axis = AxisFrame{};
}

void dropKeyboard(Seat& seat) {
    if (seat.keyboard) {
        seat.version >= WL_KEYBOARD_RELEASE_SINCE_VERSION ? wl_keyboard_release(seat.keyboard)
                                                          : wl_keyboard_destroy(seat.keyboard);
    }
    seat.keyboard = nullptr;
}

void dropTouch(Seat& seat) {
    if (seat.touch) {
        seat.version >= WL_TOUCH_RELEASE_SINCE_VERSION ? wl_touch_release(seat.touch)
                                                       : wl_touch_destroy(seat.touch);
    }
    seat.touch = nullptr;
}

void onCapabilities(void* data, wl_seat* wlSeat, uint32_t capabilities) {
    Seat& seat = *static_cast<Seat*>(data);
    const bool pointer = capabilities & WL_SEAT_CAPABILITY_POINTER;
    const bool keyboard = capabilities & WL_SEAT_CAPABILITY_KEYBOARD;
    const bool touch = capabilities & WL_SEAT_CAPABILITY_TOUCH;
    if (pointer && !seat.pointer) {
        seat.pointer = wl_seat_get_pointer(wlSeat);
        wl_pointer_add_listener(seat.pointer, &pointerListener, &seat);
    } else if (!pointer) {
        dropPointer(seat);
    }
    if (keyboard && !seat.keyboard) {
        seat.keyboard = wl_seat_get_keyboard(wlSeat);
        wl_keyboard_add_listener(seat.keyboard, &keyboardListener, &seat);
    } else if (!keyboard) {
        dropKeyboard(seat);
    }
    if (touch && !seat.touch) {
        seat.touch = wl_seat_get_touch(wlSeat);
        wl_touch_add_listener(seat.touch, &touchListener, &seat);
    } else if (!touch) {
        dropTouch(seat);
    }
}

void onSeatName(void*, wl_seat*, const char*) {}

const wl_seat_listener seatListener = {onCapabilities, onSeatName};

} // namespace

const wl_touch_listener touchListener = {onTouchDown,       onTouchUp,     onTouchMotion,
                                         onTouchFrame,      onTouchCancel, onTouchShape,
                                         onTouchOrientation};

// The listeners above know every event up to wl_pointer's axis_value120.
const uint32_t knownSeatVersion = WL_POINTER_AXIS_VALUE120_SINCE_VERSION;

void addSeat(Front& front, uint32_t globalName, uint32_t version) {
    Seat* seat = new Seat{};
    seat->front = &front;
    seat->globalName = globalName;
    seat->version = version < knownSeatVersion ? version : knownSeatVersion;
    seat->seat = static_cast<wl_seat*>(
        wl_registry_bind(front.registry, globalName, &wl_seat_interface, seat->version));
    wl_seat_add_listener(seat->seat, &seatListener, seat);
    front.seats.push_back(seat);
}

void destroySeat(Seat* seat) {
    dropPointer(*seat);
    dropKeyboard(*seat);
    dropTouch(*seat);
    seat->version >= WL_SEAT_RELEASE_SINCE_VERSION ? wl_seat_release(seat->seat)
                                                   : wl_seat_destroy(seat->seat);
    delete seat;
}
