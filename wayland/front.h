// voidrunner3d-wayland's records: one for the connection and the field it flies, one for each
// output with its layer surface and buffers, one for each seat with its devices. Every
// listener gets its record as user data.
#pragma once

#include <stddef.h>
#include <stdint.h>
#include <string>
#include <vector>

#include <wayland-client.h>

#include "engine/engine.h"
#include "flight/flight.h"
#include "wayland/input.h"
#include "wayland/options.h"
// The generated layer-shell header names a parameter "namespace", a word C++ reserves.
#define namespace layerNamespace
#include "wlr-layer-shell-unstable-v1-client-protocol.h"
#undef namespace
#include "xdg-output-unstable-v1-client-protocol.h"
#include "xdg-shell-client-protocol.h"

struct Front;

struct ShmBuffer {
    wl_buffer* buffer;
    uint32_t* words; // XRGB8888: the engine's own word layout
    bool busy;       // attached and not yet released by the compositor
};

// An output with its layer surface; or the one window, which has a toplevel instead and no
// output.
struct Output {
    Front* front;
    uint32_t globalName;
    wl_output* output;
    zxdg_output_v1* xdgOutput;
    bool described; // a done came: the rectangle below is whole
    int32_t x, y;   // its logical rectangle in the layout
    int32_t width, height;
    wl_surface* surface;
    zwlr_layer_surface_v1* layerSurface;
    xdg_surface* xdgSurface;
    xdg_toplevel* toplevel;
    int32_t toplevelWidth, toplevelHeight; // the toplevel's last configure, 0 where it left it
    bool closed; // the compositor closed its surface: none is made for this output again
    // Asked when the surface was closed: an output that goes has its surface closed first, and
    // its removal comes before the answer.
    wl_callback* closeSync;
    int32_t surfaceWidth, surfaceHeight; // the last configure's; 0 before the first
    void* poolMemory;
    size_t poolBytes;
    ShmBuffer buffers[2];
    wl_callback* frameCallback;
    bool waiting;      // ready for a frame: configured, or its frame callback came
    int64_t shownStep; // the field's step in its last buffer; 0 for none, -1 before the first
};

struct Seat {
    Front* front;
    uint32_t globalName;
    wl_seat* seat;
    uint32_t version;
    wl_pointer* pointer;
    wl_keyboard* keyboard;
    wl_touch* touch;
    Output* pointerOutput; // whose surface the pointer is in
    LayoutTrack track;
    AxisFrame axis;
    WheelRest wheel;
};

struct Front {
    WaylandOptions options;
    wl_display* display;
    wl_registry* registry;
    wl_compositor* compositor;
    wl_shm* shm;
    zwlr_layer_shell_v1* layerShell;
    zxdg_output_manager_v1* outputManager;
    xdg_wm_base* wmBase;
    Output* window; // without layer-shell, or with --window: the one surface, in outputs
    std::vector<Output*> outputs;
    std::vector<Seat*> seats;
    // The field is the bounding box of the outputs in the layout; the engine's frame buffers
    // are built at its size.
    int32_t fieldX, fieldY, fieldWidth, fieldHeight;
    Flight flight;
    int64_t step; // steps taken
    int64_t due;  // monotonic ns from which the next step may be taken
    bool ending;
    std::string failure; // why it ends with 1, where not the connection
    bool lastFrameSaid;
    float steeredYaw, steeredPitch; // for --report
};

// Called by the registry listener for a wl_output of version 2 or more.
void addOutput(Front& front, uint32_t globalName, uint32_t version);

// Called once the xdg-output manager is bound, for outputs bound before it.
void describeOutput(Front& front, Output& output);

// Called when the output's global goes and at the end: its surface, buffers and objects.
void destroyOutput(Output* output);

// Called before each step and present: a layer surface for each described output that has
// none and was never closed.
void makeSurfaces(Front& front);

// Called once at the start where there is no layer-shell, or with --window: one toplevel,
// full-screen unless --window asked for a window.
void openWindow(Front& front);

// Copies the output's part of the field's newest step, from the engine's pixels, into a free
// buffer and commits it, asking for a frame callback. False when both buffers are still the
// compositor's.
bool present(Front& front, Output& output);

// Called by the registry listener for a wl_seat; only the overlay layer binds one.
void addSeat(Front& front, uint32_t globalName, uint32_t version);

// What a seat's touch screen does, for its wl_touch.
extern const wl_touch_listener touchListener;

void destroySeat(Seat* seat);
