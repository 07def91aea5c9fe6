// voidrunner-test-pointer: a pointer for a compositor that has no pointer device, on
// wlr-virtual-pointer. Its arguments are steps, taken in order: "wait MS" (sends what is
// queued, then pauses), "move DX DY" (pixels), "click" (the left button), "wheel N" (discrete
// steps, positive toward the user as Wayland counts them). Exits 0 once every step is
// through, 1 without a virtual pointer.
#include <linux/input-event-codes.h>
#include <stdlib.h>
#include <string.h>
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

} // namespace

int main(int argc, char** argv) {
    wl_display* display = wl_display_connect(nullptr);
    wl_registry* registry = display ? wl_display_get_registry(display) : nullptr;
    if (!registry || wl_registry_add_listener(registry, &registryListener, nullptr) != 0 ||
        wl_display_roundtrip(display) < 0 || !manager) {
        return 1;
    }
    zwlr_virtual_pointer_v1* pointer =
        zwlr_virtual_pointer_manager_v1_create_virtual_pointer(manager, nullptr);
    // The compositor's clock is not the test's; the times need only grow.
    for (int i = 1, time = 1; i < argc; i++, time++) {
        const auto value = [&](int at) { return at < argc ? atoi(argv[at]) : 0; };
        if (strcmp(argv[i], "wait") == 0) {
            wl_display_roundtrip(display);
            usleep((useconds_t)value(++i) * 1000);
        } else if (strcmp(argv[i], "move") == 0) {
            zwlr_virtual_pointer_v1_motion(pointer, time, wl_fixed_from_int(value(i + 1)),
                                           wl_fixed_from_int(value(i + 2)));
            i += 2;
        } else if (strcmp(argv[i], "click") == 0) {
            zwlr_virtual_pointer_v1_button(pointer, time, BTN_LEFT,
                                           WL_POINTER_BUTTON_STATE_PRESSED);
            zwlr_virtual_pointer_v1_frame(pointer);
            zwlr_virtual_pointer_v1_button(pointer, time, BTN_LEFT,
                                           WL_POINTER_BUTTON_STATE_RELEASED);
        } else if (strcmp(argv[i], "wheel") == 0) {
            const int steps = value(++i);
            zwlr_virtual_pointer_v1_axis_source(pointer, WL_POINTER_AXIS_SOURCE_WHEEL);
            zwlr_virtual_pointer_v1_axis_discrete(pointer, time, WL_POINTER_AXIS_VERTICAL_SCROLL,
                                                  wl_fixed_from_int(15 * steps), steps);
        }
        zwlr_virtual_pointer_v1_frame(pointer);
    }
    zwlr_virtual_pointer_v1_destroy(pointer);
    zwlr_virtual_pointer_manager_v1_destroy(manager);
    wl_registry_destroy(registry);
    wl_display_roundtrip(display);
    wl_display_disconnect(display);
    return 0;
}
