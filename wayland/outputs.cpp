// Outputs, their layer surfaces and their shared-memory buffers.
#include <errno.h>
#include <string.h>
#include <sys/mman.h>
#include <unistd.h>

#include "engine/version.h"
#include "wayland/front.h"

namespace {

void onGeometry(void*, wl_output*, int32_t, int32_t, int32_t, int32_t, int32_t, const char*,
                const char*, int32_t) {}

void onMode(void*, wl_output*, uint32_t, int32_t, int32_t, int32_t) {}

// Since xdg-output version 3 its own done is not sent: the output's applies to both.
void onOutputDone(void* data, wl_output*) {
    static_cast<Output*>(data)->described = true;
}

void onScale(void*, wl_output*, int32_t) {}

void onName(void*, wl_output*, const char*) {}

void onDescription(void*, wl_output*, const char*) {}

const wl_output_listener outputListener = {onGeometry, onMode, onOutputDone,
                                           onScale,    onName, onDescription};

void onLogicalPosition(void* data, zxdg_output_v1*, int32_t x, int32_t y) {
    Output* output = static_cast<Output*>(data);
    output->x = x;
    output->y = y;
}

void onLogicalSize(void* data, zxdg_output_v1*, int32_t width, int32_t height) {
    Output* output = static_cast<Output*>(data);
    output->width = width;
    output->height = height;
}

void onXdgDone(void* data, zxdg_output_v1*) {
    static_cast<Output*>(data)->described = true;
}

void onXdgName(void*, zxdg_output_v1*, const char*) {}

void onXdgDescription(void*, zxdg_output_v1*, const char*) {}

const zxdg_output_v1_listener xdgOutputListener = {onLogicalPosition, onLogicalSize, onXdgDone,
                                                   onXdgName, onXdgDescription};

void releaseBuffers(Output& output) {
    for (ShmBuffer& buffer : output.buffers) {
        if (buffer.buffer) {
            wl_buffer_destroy(buffer.buffer);
        }
        buffer = ShmBuffer{};
    }
    if (output.poolMemory) {
        munmap(output.poolMemory, output.poolBytes);
    }
    output.poolMemory = nullptr;
    output.poolBytes = 0;
}

void onRelease(void* data, wl_buffer*) {
    static_cast<ShmBuffer*>(data)->busy = false;
}

const wl_buffer_listener bufferListener = {onRelease};

// Two buffers of the surface's size from one pool; false when memory cannot be had, with errno
// saying why.
bool makeBuffers(Front& front, Output& output) {
    releaseBuffers(output);
    const int32_t stride = output.surfaceWidth * 4;
    const size_t oneBuffer = (size_t)stride * (size_t)output.surfaceHeight;
    if (oneBuffer * 2 > INT32_MAX) {
        errno = EOVERFLOW; // beyond what a pool's size can say
        return false;
    }
    const int fd = memfd_create("voidrunner3d-wayland", MFD_CLOEXEC);
    void* memory = fd < 0 || ftruncate(fd, (off_t)(oneBuffer * 2)) != 0
                       ? MAP_FAILED
                       : mmap(nullptr, oneBuffer * 2, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    if (memory == MAP_FAILED) {
        const int error = errno;
        if (fd >= 0) {
            close(fd);
        }
        errno = error;
        return false;
    }
    output.poolMemory = memory;
    output.poolBytes = oneBuffer * 2;
    wl_shm_pool* pool = wl_shm_create_pool(front.shm, fd, (int32_t)(oneBuffer * 2));
    for (int32_t i = 0; i < 2; i++) {
        ShmBuffer& buffer = output.buffers[i];
        buffer.buffer =
            wl_shm_pool_create_buffer(pool, (int32_t)oneBuffer * i, output.surfaceWidth,
                                      output.surfaceHeight, stride, WL_SHM_FORMAT_XRGB8888);
        buffer.words = (uint32_t*)((uint8_t*)memory + oneBuffer * (size_t)i);
        wl_buffer_add_listener(buffer.buffer, &bufferListener, &buffer);
    }
    // The buffers keep the pool's memory; the pool itself is needed no more.
    wl_shm_pool_destroy(pool);
    close(fd);
    return true;
}

void dropSurface(Output& output) {
    if (output.frameCallback) {
        wl_callback_destroy(output.frameCallback);
    }
    if (output.layerSurface) {
        zwlr_layer_surface_v1_destroy(output.layerSurface);
    }
    if (output.toplevel) {
        xdg_toplevel_destroy(output.toplevel);
    }
    if (output.xdgSurface) {
        xdg_surface_destroy(output.xdgSurface);
    }
    if (output.surface) {
        wl_surface_destroy(output.surface);
    }
    releaseBuffers(output);
    output.frameCallback = nullptr;
    output.layerSurface = nullptr;
    output.toplevel = nullptr;
    output.xdgSurface = nullptr;
    output.surface = nullptr;
    output.surfaceWidth = output.surfaceHeight = 0;
    output.waiting = false;
}

void setRegion(Front& front, Output& output, bool opaque) {
    wl_region* region = wl_compositor_create_region(front.compositor);
    if (opaque) {
        wl_region_add(region, 0, 0, output.surfaceWidth, output.surfaceHeight);
        wl_surface_set_opaque_region(output.surface, region);
    } else {
        wl_surface_set_input_region(output.surface, region);
    }
    wl_region_destroy(region);
}

// A configure's size, once acknowledged: buffers of that size, and the surface ready for a
// frame.
void takeSize(Output& output, int32_t width, int32_t height) {
    if (width < 1 || height < 1) {
        return;
    }
    // Without xdg-output the compositor's layout is unknown: the surface's size at the
    // layout's origin, as a nested compositor places its outputs. A window is its own layout.
    if (!output.xdgOutput) {
        output.width = width;
        output.height = height;
    }
    const bool resized =
        width != output.surfaceWidth || height != output.surfaceHeight || !output.buffers[0].buffer;
    if (resized) {
        output.surfaceWidth = width;
        output.surfaceHeight = height;
        if (!makeBuffers(*output.front, output)) {
            // A surface that can show nothing would leave its output bare, the saver unseen.
            output.front->failure = "cannot have shared memory for a surface of " +
                                    std::to_string(width) + " x " + std::to_string(height) + " (" +
                                    strerror(errno) + ")";
            output.front->ending = true;
            return;
        }
        setRegion(*output.front, output, true);
        output.shownStep = output.shownStep < 0 ? -1 : 0;
    }
    if (resized || !output.frameCallback) {
        output.waiting = true;
    } else {
        // The same size while a frame is on its way (compositors configure again as they
        // arrange): the acknowledgement rides on a commit of what is shown, and no step is
        // taken before the compositor asks for one, so that a hidden surface stays at rest.
        wl_surface_commit(output.surface);
    }
}

void onConfigure(void* data, zwlr_layer_surface_v1* layerSurface, uint32_t serial,
                 uint32_t givenWidth, uint32_t givenHeight) {
    Output& output = *static_cast<Output*>(data);
    zwlr_layer_surface_v1_ack_configure(layerSurface, serial);
    // Anchored to every edge, the surface is as large as the compositor says; where it says
    // nothing, as large as the output.
    takeSize(output, givenWidth > 0 && givenWidth <= 65535 ? (int32_t)givenWidth : output.width,
             givenHeight > 0 && givenHeight <= 65535 ? (int32_t)givenHeight : output.height);
}

void onCloseSettled(void* data, wl_callback* callback, uint32_t) {
    wl_callback_destroy(callback);
    static_cast<Output*>(data)->closeSync = nullptr;
}

const wl_callback_listener closeSyncListener = {onCloseSettled};

void onClosed(void* data, zwlr_layer_surface_v1*) {
    Output& output = *static_cast<Output*>(data);
    dropSurface(output);
    output.closed = true;
    output.closeSync = wl_display_sync(output.front->display);
    wl_callback_add_listener(output.closeSync, &closeSyncListener, &output);
}

const zwlr_layer_surface_v1_listener layerSurfaceListener = {onConfigure, onClosed};

void onFrameDone(void* data, wl_callback* callback, uint32_t) {
    Output& output = *static_cast<Output*>(data);
    wl_callback_destroy(callback);
    output.frameCallback = nullptr;
    output.waiting = true;
}

const wl_callback_listener frameListener = {onFrameDone};

// A size of 0 leaves it to the client: the window keeps its last size, at first the hack's
// default.
void onToplevelConfigure(void* data, xdg_toplevel*, int32_t width, int32_t height, wl_array*) {
    Output& output = *static_cast<Output*>(data);
    output.toplevelWidth = width > 0 && width <= 65535 ? width : 0;
    output.toplevelHeight = height > 0 && height <= 65535 ? height : 0;
}

// Closing the window is ending the flight, as WM_CLOSE is.
void onToplevelClose(void* data, xdg_toplevel*) {
    static_cast<Output*>(data)->front->ending = true;
}

void onConfigureBounds(void*, xdg_toplevel*, int32_t, int32_t) {}

void onCapabilities(void*, xdg_toplevel*, wl_array*) {}

const xdg_toplevel_listener toplevelListener = {onToplevelConfigure, onToplevelClose,
                                                onConfigureBounds, onCapabilities};

void onXdgSurfaceConfigure(void* data, xdg_surface* surface, uint32_t serial) {
    Output& output = *static_cast<Output*>(data);
    xdg_surface_ack_configure(surface, serial);
    takeSize(output, output.toplevelWidth ? output.toplevelWidth : output.width,
             output.toplevelHeight ? output.toplevelHeight : output.height);
}

const xdg_surface_listener xdgSurfaceListener = {onXdgSurfaceConfigure};

} // namespace

void addOutput(Front& front, uint32_t globalName, uint32_t version) {
    Output* output = new Output{};
    output->front = &front;
    output->globalName = globalName;
    output->output = static_cast<wl_output*>(
        wl_registry_bind(front.registry, globalName, &wl_output_interface, version));
    wl_output_add_listener(output->output, &outputListener, output);
    front.outputs.push_back(output);
    describeOutput(front, *output);
}

void describeOutput(Front& front, Output& output) {
    if (front.outputManager && !output.xdgOutput) {
        output.xdgOutput =
            zxdg_output_manager_v1_get_xdg_output(front.outputManager, output.output);
        zxdg_output_v1_add_listener(output.xdgOutput, &xdgOutputListener, &output);
    }
}

void destroyOutput(Output* output) {
    dropSurface(*output);
    if (output->closeSync) {
        wl_callback_destroy(output->closeSync);
    }
    if (output->xdgOutput) {
        zxdg_output_v1_destroy(output->xdgOutput);
    }
    if (output->output &&
        wl_output_get_version(output->output) >= WL_OUTPUT_RELEASE_SINCE_VERSION) {
        wl_output_release(output->output);
    } else if (output->output) {
        wl_output_destroy(output->output);
    }
    delete output;
}

void openWindow(Front& front) {
    Output* window = new Output{};
    window->front = &front;
    window->described = true;
    // A window is placed once it shows a buffer, and a tiling compositor gives it its size only
    // then: the first buffer holds no step, so that the field is built at that size.
    window->shownStep = -1;
    window->width = 1280;
    window->height = 720;
    window->surface = wl_compositor_create_surface(front.compositor);
    window->xdgSurface = xdg_wm_base_get_xdg_surface(front.wmBase, window->surface);
    xdg_surface_add_listener(window->xdgSurface, &xdgSurfaceListener, window);
    window->toplevel = xdg_surface_get_toplevel(window->xdgSurface);
    xdg_toplevel_add_listener(window->toplevel, &toplevelListener, window);
    xdg_toplevel_set_title(window->toplevel, VOIDRUNNER_NAME);
    xdg_toplevel_set_app_id(window->toplevel, "voidrunner3d");
    if (!front.options.window) {
        xdg_toplevel_set_fullscreen(window->toplevel, nullptr);
    }
    wl_surface_commit(window->surface);
    front.window = window;
    front.outputs.push_back(window);
}

void makeSurfaces(Front& front) {
    const bool overlay = front.options.layer == OverlayLayer;
    for (Output* output : front.outputs) {
        if (front.window || output->surface || output->closed || !output->described) {
            continue;
        }
        output->surface = wl_compositor_create_surface(front.compositor);
        output->layerSurface = zwlr_layer_shell_v1_get_layer_surface(
            front.layerShell, output->surface, output->output,
            overlay ? ZWLR_LAYER_SHELL_V1_LAYER_OVERLAY : ZWLR_LAYER_SHELL_V1_LAYER_BACKGROUND,
            "voidrunner3d");
        zwlr_layer_surface_v1_add_listener(output->layerSurface, &layerSurfaceListener, output);
        zwlr_layer_surface_v1_set_anchor(
            output->layerSurface,
            ZWLR_LAYER_SURFACE_V1_ANCHOR_TOP | ZWLR_LAYER_SURFACE_V1_ANCHOR_BOTTOM |
                ZWLR_LAYER_SURFACE_V1_ANCHOR_LEFT | ZWLR_LAYER_SURFACE_V1_ANCHOR_RIGHT);
        // Over panels and bars too, not beside them.
        zwlr_layer_surface_v1_set_exclusive_zone(output->layerSurface, -1);
        zwlr_layer_surface_v1_set_keyboard_interactivity(
            output->layerSurface, overlay ? ZWLR_LAYER_SURFACE_V1_KEYBOARD_INTERACTIVITY_EXCLUSIVE
                                          : ZWLR_LAYER_SURFACE_V1_KEYBOARD_INTERACTIVITY_NONE);
        if (!overlay) {
            // Clicks and the wheel go through to the desktop beneath.
            setRegion(front, *output, false);
        }
        wl_surface_commit(output->surface);
    }
}

bool present(Front& front, Output& output) {
    ShmBuffer* buffer = !output.buffers[0].busy   ? &output.buffers[0]
                        : !output.buffers[1].busy ? &output.buffers[1]
                                                  : nullptr;
    if (!buffer || !buffer->buffer) {
        return false;
    }
    // The output's part of the field; what lies outside the field (a surface larger than its
    // output) or outside frame buffers that could not be made stays black.
    const int32_t width = output.surfaceWidth, height = output.surfaceHeight;
    const int32_t fieldWidth = engine.pixels ? engine.width : 0;
    const int32_t fieldHeight = engine.pixels ? engine.height : 0;
    const int64_t left = (int64_t)output.x - front.fieldX, top = (int64_t)output.y - front.fieldY;
    const int64_t first = left < 0 ? -left : 0;
    const int64_t end = fieldWidth - left < width ? fieldWidth - left : width;
    for (int32_t row = 0; row < height; row++) {
        uint32_t* to = buffer->words + (size_t)row * (size_t)width;
        const int64_t fieldRow = top + row;
        if (fieldRow < 0 || fieldRow >= fieldHeight || first >= end) {
            memset(to, 0, (size_t)width * 4);
            continue;
        }
        memset(to, 0, (size_t)first * 4);
        memcpy(to + first, engine.pixels + (size_t)fieldRow * (size_t)fieldWidth + left + first,
               (size_t)(end - first) * 4);
        memset(to + end, 0, (size_t)(width - end) * 4);
    }
    wl_surface_attach(output.surface, buffer->buffer, 0, 0);
    if (wl_surface_get_version(output.surface) >= WL_SURFACE_DAMAGE_BUFFER_SINCE_VERSION) {
        wl_surface_damage_buffer(output.surface, 0, 0, width, height);
    } else {
        wl_surface_damage(output.surface, 0, 0, width, height);
    }
    // A configure may have asked for this frame before the last one's callback came.
    if (output.frameCallback) {
        wl_callback_destroy(output.frameCallback);
    }
    output.frameCallback = wl_surface_frame(output.surface);
    wl_callback_add_listener(output.frameCallback, &frameListener, &output);
    wl_surface_commit(output.surface);
    buffer->busy = true;
    output.waiting = false;
    output.shownStep = front.step;
    return true;
}
