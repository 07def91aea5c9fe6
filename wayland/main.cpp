// voidrunner3d-wayland: the engine's flight on Wayland, as a layer-shell client. On the overlay
// layer it is a screen saver (an idle daemon starts it; a key ends it), on the background layer
// a live wallpaper. One field spans the outputs' layout, and each output shows its part.
#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <string>
#include <sys/file.h>
#include <unistd.h>

#include "engine/messages.h"
#include "engine/version.h"
#include "platform/loop.h"
#include "wayland/front.h"

namespace {

const char programName[] = "voidrunner3d-wayland";

// The largest side of a frame, as the renderer allows it.
const int64_t largestSide = 65535;

// libwayland logs to standard error by itself; its last line is kept for the one message that
// explains an end instead.
char lastLog[256];

void keepLog(const char* format, va_list arguments) {
    vsnprintf(lastLog, sizeof lastLog, format, arguments);
    lastLog[strcspn(lastLog, "\n")] = 0;
}

void say(const std::string& message) {
    std::string line = message;
    keepOneLine(line);
    fprintf(stderr, "%s: %s\n", programName, line.c_str());
}

void onPing(void*, xdg_wm_base* wmBase, uint32_t serial) {
    xdg_wm_base_pong(wmBase, serial);
}

const xdg_wm_base_listener wmBaseListener = {onPing};

void onGlobal(void* data, wl_registry* registry, uint32_t name, const char* interface,
              uint32_t version) {
    Front& front = *static_cast<Front*>(data);
    const auto bind = [&](const wl_interface* kind, uint32_t most) {
        return wl_registry_bind(registry, name, kind, version < most ? version : most);
    };
    if (strcmp(interface, wl_compositor_interface.name) == 0 && !front.compositor) {
        front.compositor = static_cast<wl_compositor*>(bind(&wl_compositor_interface, 4));
    } else if (strcmp(interface, wl_shm_interface.name) == 0 && !front.shm) {
        front.shm = static_cast<wl_shm*>(bind(&wl_shm_interface, 1));
    } else if (strcmp(interface, zwlr_layer_shell_v1_interface.name) == 0 && !front.layerShell) {
        // Version 5 adds what this program does not use.
        front.layerShell =
            static_cast<zwlr_layer_shell_v1*>(bind(&zwlr_layer_shell_v1_interface, 4));
    } else if (strcmp(interface, xdg_wm_base_interface.name) == 0 && !front.wmBase) {
        front.wmBase = static_cast<xdg_wm_base*>(bind(&xdg_wm_base_interface, 5));
        xdg_wm_base_add_listener(front.wmBase, &wmBaseListener, nullptr);
    } else if (strcmp(interface, zxdg_output_manager_v1_interface.name) == 0 &&
               !front.outputManager) {
        front.outputManager =
            static_cast<zxdg_output_manager_v1*>(bind(&zxdg_output_manager_v1_interface, 3));
        for (Output* output : front.outputs) {
            describeOutput(front, *output);
        }
    } else if (strcmp(interface, wl_output_interface.name) == 0 &&
               version >= WL_OUTPUT_DONE_SINCE_VERSION) {
        addOutput(front, name, version < 4 ? version : 4);
    } else if (strcmp(interface, wl_seat_interface.name) == 0 &&
               front.options.layer == OverlayLayer) {
        addSeat(front, name, version);
    }
}

void onGlobalRemove(void* data, wl_registry*, uint32_t name) {
    Front& front = *static_cast<Front*>(data);
    for (size_t i = 0; i < front.outputs.size(); i++) {
        Output* output = front.outputs[i];
        if (output->globalName == name) {
            for (Seat* seat : front.seats) {
                seat->pointerOutput = seat->pointerOutput == output ? nullptr : seat->pointerOutput;
            }
            front.outputs.erase(front.outputs.begin() + (ptrdiff_t)i);
            destroyOutput(output);
            return;
        }
    }
    for (size_t i = 0; i < front.seats.size(); i++) {
        if (front.seats[i]->globalName == name) {
            destroySeat(front.seats[i]);
            front.seats.erase(front.seats.begin() + (ptrdiff_t)i);
            return;
        }
    }
}

const wl_registry_listener registryListener = {onGlobal, onGlobalRemove};

// The bounding box of the described outputs that still have, or may get, a surface; a
// window's own size. Wider or taller than a frame may be, it is cut at its far sides; such a
// layout leaves the outputs beyond black.
void measureField(Front& front) {
    int64_t left = 0, top = 0, right = 0, bottom = 0;
    bool any = false;
    for (const Output* output : front.outputs) {
        if (!output->described || output->closed || output->width < 1 || output->height < 1 ||
            (front.window && output != front.window)) {
            continue;
        }
        const int64_t outputRight = (int64_t)output->x + output->width;
        const int64_t outputBottom = (int64_t)output->y + output->height;
        left = !any || output->x < left ? output->x : left;
        top = !any || output->y < top ? output->y : top;
        right = !any || outputRight > right ? outputRight : right;
        bottom = !any || outputBottom > bottom ? outputBottom : bottom;
        any = true;
    }
    front.fieldX = (int32_t)left;
    front.fieldY = (int32_t)top;
    front.fieldWidth = (int32_t)(right - left < largestSide ? right - left : largestSide);
    front.fieldHeight = (int32_t)(bottom - top < largestSide ? bottom - top : largestSide);
}

// One step of the flight. A field of another size is built first, as a window's new size is:
// a fresh population, while speed, steering and flight time carry on. A move that keeps the
// size only moves the outputs' parts.
void takeStep(Front& front) {
    if (engine.width != front.fieldWidth || engine.height != front.fieldHeight) {
        rebuildFrameBuffers(front.fieldWidth, front.fieldHeight);
    }
    front.step++;
    // No window: the outputs' buffers take their parts straight from the engine's pixels.
    if (front.options.fixedClock) {
        flyFrame(front.flight, front.step);
    } else {
        renderFrame(nullptr);
    }
}

// Whether more steps may be taken: a field to step, and frame N not yet reached.
bool stepsLeft(const Front& front) {
    return front.fieldWidth > 0 &&
           !(front.options.frames > 0 && front.step >= front.options.frames);
}

// Ready for a frame, and already showing the newest step: it waits for the next one.
bool waitsForStep(const Front& front, const Output* output) {
    return output->surface && output->waiting && output->shownStep == front.step;
}

// Steps and presents what the surfaces are ready for; returns the poll timeout in ms.
int32_t serve(Front& front) {
    makeSurfaces(front);
    measureField(front);
    bool open = false, wantsStep = false, allWait = true;
    for (const Output* output : front.outputs) {
        if (output->surface) {
            open = true;
            wantsStep = wantsStep || waitsForStep(front, output);
            allWait = allWait && waitsForStep(front, output);
        }
    }
    if (!open) {
        // The compositor closed every surface it had: nothing is left to show. Surfaces whose
        // outputs went are gone with their records, and the flight waits for outputs to come.
        for (const Output* output : front.outputs) {
            front.ending = front.ending || (output->closed && !output->closeSync);
        }
        return -1;
    }
    // Frame N is on screen everywhere once each surface's callback for it has come.
    if (front.options.frames > 0 && front.step == front.options.frames && allWait &&
        front.options.report && !front.lastFrameSaid) {
        printf("frame %lld on every output\n", (long long)front.step);
        fflush(stdout);
        front.lastFrameSaid = true;
    }
    const int64_t now = monotonicNs();
    if (wantsStep && stepsLeft(front) && now >= front.due) {
        takeStep(front);
        front.due = nextDue(front.due, now);
    }
    wantsStep = false;
    for (Output* output : front.outputs) {
        if (output->surface && output->waiting && output->shownStep < front.step) {
            present(front, *output);
        }
        wantsStep = wantsStep || waitsForStep(front, output);
    }
    return wantsStep && stepsLeft(front) ? msUntil(front.due, monotonicNs()) : -1;
}

// The one line for a connection that failed, and the status 1.
int connectionLost(Front& front) {
    const int error = wl_display_get_error(front.display);
    if (error == EPROTO) {
        const wl_interface* kind = nullptr;
        uint32_t id = 0;
        const uint32_t code = wl_display_get_protocol_error(front.display, &kind, &id);
        say(lastLog[0] ? std::string("protocol error: ") + lastLog
                       : "protocol error " + std::to_string(code) + " on " +
                             (kind ? kind->name : "an object") + " " + std::to_string(id));
    } else {
        say(std::string("lost the connection to the compositor (") +
            strerror(error ? error : EPIPE) + ")");
    }
    return 1;
}

// Returns 0 when ended by input, a signal or the compositor closing every surface; 1 when the
// connection fails or a surface cannot have its buffers.
int fly(Front& front) {
    wl_display* display = front.display;
    front.due = monotonicNs();
    while (!endSignal) {
        while (wl_display_prepare_read(display) != 0) {
            if (wl_display_dispatch_pending(display) < 0) {
                return connectionLost(front);
            }
        }
        // An end that input asked for takes no further step.
        const int32_t timeoutMs = front.ending ? 0 : serve(front);
        if (front.ending) {
            wl_display_cancel_read(display);
            break;
        }
        pollfd waits[2] = {{wl_display_get_fd(display), POLLIN, 0}, {endSignalFd(), POLLIN, 0}};
        if (wl_display_flush(display) < 0) {
            // A compositor that hung up may have said why first: reading tells, and fails.
            if (errno != EAGAIN && errno != EPIPE) {
                wl_display_cancel_read(display);
                return connectionLost(front);
            }
            waits[0].events |= errno == EAGAIN ? POLLOUT : 0;
        }
        if (poll(waits, 2, timeoutMs) < 0 && errno != EINTR) {
            wl_display_cancel_read(display);
            say(std::string("cannot wait for the compositor (") + strerror(errno) + ")");
            return 1;
        }
        if (waits[1].revents & POLLIN) {
            drainEndSignals();
        }
        if (waits[0].revents & (POLLIN | POLLHUP | POLLERR)) {
            if (wl_display_read_events(display) < 0) {
                return connectionLost(front);
            }
        } else {
            wl_display_cancel_read(display);
        }
        if (wl_display_dispatch_pending(display) < 0) {
            return connectionLost(front);
        }
        // What libwayland said before now explains no later failure.
        lastLog[0] = 0;
    }
    if (!front.failure.empty()) {
        say(front.failure);
        return 1;
    }
    return 0;
}

// What wl_display_connect(NULL) tried, for the message when it fails.
std::string triedDisplay() {
    const char* socket = getenv("WAYLAND_SOCKET");
    if (socket) {
        return std::string("cannot connect through WAYLAND_SOCKET (") + shownValue(socket) + ")";
    }
    const char* name = getenv("WAYLAND_DISPLAY");
    const std::string display = name && *name ? name : "wayland-0";
    const char* folder = getenv("XDG_RUNTIME_DIR");
    if (display[0] == '/') {
        return "cannot connect to Wayland display \"" + display + "\"";
    }
    return "cannot connect to Wayland display \"" + display + "\" " +
           (folder && *folder ? std::string("in ") + folder : "(XDG_RUNTIME_DIR is not set)");
}

// One overlay saver per named display, so that an idle daemon that fires again while one flies
// does not stack them. True when another holds the display; the lock lives as long as the
// process.
bool anotherSaverFlies() {
    const char* folder = getenv("XDG_RUNTIME_DIR");
    if (!folder || !*folder) {
        return false;
    }
    const char* name = getenv("WAYLAND_DISPLAY");
    std::string display = name && *name ? name : "wayland-0";
    display = display.substr(display.rfind('/') + 1);
    const std::string path = std::string(folder) + "/" + programName + "-" + display + ".lock";
    const int fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    return fd >= 0 && flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK;
}

void disconnect(Front& front) {
    for (Output* output : front.outputs) {
        destroyOutput(output);
    }
    for (Seat* seat : front.seats) {
        destroySeat(seat);
    }
    front.outputs.clear();
    front.seats.clear();
    if (front.layerShell && zwlr_layer_shell_v1_get_version(front.layerShell) >=
                                ZWLR_LAYER_SHELL_V1_DESTROY_SINCE_VERSION) {
        zwlr_layer_shell_v1_destroy(front.layerShell);
    } else if (front.layerShell) {
        wl_proxy_destroy(reinterpret_cast<wl_proxy*>(front.layerShell));
    }
    if (front.outputManager) {
        zxdg_output_manager_v1_destroy(front.outputManager);
    }
    if (front.wmBase) {
        xdg_wm_base_destroy(front.wmBase);
    }
    if (front.shm) {
        wl_shm_destroy(front.shm);
    }
    if (front.compositor) {
        wl_compositor_destroy(front.compositor);
    }
    wl_registry_destroy(front.registry);
    wl_display_flush(front.display);
    wl_display_disconnect(front.display);
}

} // namespace

int main(int argc, char** argv) {
    Front front{};
    std::string problem;
    switch (parseWaylandOptions(argc, argv, front.options, problem)) {
        case WaylandHelp:
            fputs(waylandUsage, stdout);
            return 0;
        case WaylandVersion:
            printf("%s %s\n", programName, VOIDRUNNER_VERSION_TEXT);
            return 0;
        case WaylandBadOption:
            say(problem);
            return 2;
        case WaylandRun:
            break;
    }
    if (!catchEndSignals()) {
        say("cannot catch SIGTERM");
        return 1;
    }
    wl_log_set_handler_client(keepLog);
    // A connection handed over is another host's (a lock screen's nested compositor), never a
    // saver's display; libwayland unsets WAYLAND_SOCKET once it has taken it.
    const bool handedOver = getenv("WAYLAND_SOCKET") != nullptr;
    front.display = wl_display_connect(nullptr);
    if (!front.display) {
        say(triedDisplay());
        return 1;
    }
    if (front.options.layer == OverlayLayer && !handedOver && anotherSaverFlies()) {
        wl_display_disconnect(front.display);
        return 0;
    }
    front.registry = wl_display_get_registry(front.display);
    wl_registry_add_listener(front.registry, &registryListener, &front);
    // The globals, then what the outputs say of themselves: the field is measured once from
    // all of them, before the first step.
    int status = 0;
    if (wl_display_roundtrip(front.display) < 0 || wl_display_roundtrip(front.display) < 0) {
        status = connectionLost(front);
    } else if (!front.compositor || !front.shm) {
        say(std::string("the compositor offers no ") +
            (!front.compositor ? "compositor (wl_compositor)" : "shared memory (wl_shm)"));
        status = 1;
    } else if (!front.layerShell && front.options.layer == BackgroundLayer) {
        say("--layer background needs layer-shell (zwlr_layer_shell_v1), which the compositor "
            "does not offer");
        status = 1;
    } else if ((!front.layerShell || front.options.window) && !front.wmBase) {
        say(front.layerShell ? "the compositor offers no windows (xdg_wm_base)"
                             : "the compositor offers neither layer-shell nor windows");
        status = 1;
    } else {
        if (!front.layerShell || front.options.window) {
            say(front.options.window ? "flying in a window"
                                     : "the compositor offers no layer-shell: flying in a "
                                       "full-screen window");
            openWindow(front);
        }
        // The renderer's flight of the same speed at its 60 frames a second; the fixed clock is
        // the settable counter, which flies it frame by frame.
        front.flight = defaultFlight();
        front.flight.speedPercent = front.options.speedPercent;
        front.flight.frames = front.options.frames;
        const std::string overrun = setFrameTicks(front.flight);
        if (!overrun.empty()) {
            say("--frames: " + overrun);
            status = 2;
        } else {
            startFlight(front.flight, front.options.fixedClock ? SettableClock : MonotonicClock);
            status = fly(front);
        }
    }
    const int32_t speedPercent = engine.speedPercent;
    releaseFrameBuffers();
    disconnect(front);
    resetEngineState();
    if (status == 0 && front.options.report) {
        printf("frames %lld, speed %d, steered yaw %.6f pitch %.6f\n", (long long)front.step,
               speedPercent, front.steeredYaw, front.steeredPitch);
    }
    return status;
}
