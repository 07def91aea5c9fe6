// voidrunner-test-pointer: a pointer for a compositor that has no pointer device, on
// wlr-virtual-pointer. Its arguments are steps, taken in order:
//   wait MS       send what is queued, then pause
//   move DX DY    relative motion in pixels
//   click         the left button pressed and released
//   wheel N       N discrete wheel steps, positive toward the user as Wayland counts them
// Exits 0 once every step is through, 1 without a virtual pointer or on a bad step.
#include <linux/input-event-codes.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>
#include <unistd.h>

#include <wayland-client.h>

#include "wlr-virtual-pointer-unstable-v1-client-protocol.h"

namespace {

zwlr_virtual_pointer_manager_v1* manager = nullptr;

void onGlobal(void*, wl_registry* registry, uint32_t name, const char* interface, uint32_t) {
    if (strcmp(interface, zwlr_virtual_pointer_manager_v1_interface.name) == 0) {
        manager = static_cast<zwlr_virtual_pointer_manager_v1*>(
            wl_registry_bind(registry, name, &zwlr_virtual_pointer_manager_v1_interface, 1));
    }
}

void onGlobalRemove(void*, wl_registry*, uint32_t) {}

const wl_registry_listener registryListener = {onGlobal, onGlobalRemove};

uint32_t nowMs() {
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return (uint32_t)(now.tv_sec * 1000 + now.tv_nsec / 1000000);
}

} // namespace

int main(int argc, char** argv) {
    wl_display* display = wl_display_connect(nullptr);
    if (!display) {
        return 1;
    }
    wl_registry* registry = wl_display_get_registry(display);
    wl_registry_add_listener(registry, &registryListener, nullptr);
    wl_display_roundtrip(display);
    if (!manager) {
        return 1;
    }
    zwlr_virtual_pointer_v1* pointer =
        zwlr_virtual_pointer_manager_v1_create_virtual_pointer(manager, nullptr);
    wl_display_roundtrip(display);
    for (int i = 1; i < argc; i++) {
        const char* step = argv[i];
        const int values = strcmp(step, "move") == 0                                 ? 2
                           : strcmp(step, "wait") == 0 || strcmp(step, "wheel") == 0 ? 1
                                                                                     : 0;
        if (argc - 1 - i < values) {
            return 1;
        }
        if (strcmp(step, "wait") == 0) {
            wl_display_roundtrip(display);
            usleep((useconds_t)atoi(argv[++i]) * 1000);
        } else if (strcmp(step, "move") == 0) {
            const int dx = atoi(argv[i + 1]), dy = atoi(argv[i + 2]);
            i += 2;
            zwlr_virtual_pointer_v1_motion(pointer, nowMs(), wl_fixed_from_int(dx),
                                           wl_fixed_from_int(dy));
        } else if (strcmp(step, "click") == 0) {
            zwlr_virtual_pointer_v1_button(pointer, nowMs(), BTN_LEFT,
                                           WL_POINTER_BUTTON_STATE_PRESSED);
            zwlr_virtual_pointer_v1_frame(pointer);
            zwlr_virtual_pointer_v1_button(pointer, nowMs(), BTN_LEFT,
                                           WL_POINTER_BUTTON_STATE_RELEASED);
        } else if (strcmp(step, "wheel") == 0) {
            const int notches = atoi(argv[++i]);
            zwlr_virtual_pointer_v1_axis_source(pointer, WL_POINTER_AXIS_SOURCE_WHEEL);
            zwlr_virtual_pointer_v1_axis_discrete(pointer, nowMs(), WL_POINTER_AXIS_VERTICAL_SCROLL,
                                                  wl_fixed_from_int(15 * notches), notches);
        } else {
            fprintf(stderr, "voidrunner-test-pointer: unknown step %s\n", step);
            return 1;
        }
        zwlr_virtual_pointer_v1_frame(pointer);
    }
    wl_display_roundtrip(display);
    zwlr_virtual_pointer_v1_destroy(pointer);
    zwlr_virtual_pointer_manager_v1_destroy(manager);
    wl_registry_destroy(registry);
    wl_display_roundtrip(display);
    wl_display_disconnect(display);
    return 0;
}
