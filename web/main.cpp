// The web page's front end: the engine through the platform layer, driven by web/page.js. The
// page hands browser events in as plain numbers and copies each finished frame out of the
// canvas bytes; the engine never sees the browser.
#include <emscripten/emscripten.h>
#include <stdlib.h>
#include <zlib.h>

#include <string>

#include "engine/engine.h"
#include "engine/input.h"
#include "flight/flight.h"

namespace {

// Each pixel costs 12 bytes over the canvas bytes (the window's surface), the pixel buffer and
// the background: under a fifth of WebAssembly's 2 GiB, so that a size the page cannot hold is
// refused before any allocation, whose byte counts are 32-bit here.
const uint64_t largestArea = (uint64_t)1 << 25;

struct Page {
    int32_t width;
    int32_t height;
    uint8_t* canvas; // the window's surface, in the canvas's order: red, green, blue, 255
    // The query's flight, read as voidrunner-render reads its options; the live page takes its
    // mode and speed.
    Flight flight;
    int64_t framesFlown;
    std::string value;   // where page.js writes an option's value as UTF-8
    std::string problem; // what was wrong with the last one, for page.js to show
};

Page page;

} // namespace

extern "C" {

// page.js, for 0, 1 and so on: the name of each of the flight's options, then null.
EMSCRIPTEN_KEEPALIVE const char* webFlightOption(int32_t option) {
    return option >= 0 && option < flightOptionCount ? flightOptions[option].name : nullptr;
}

// page.js before it reads a query: every option of the flight at its fallback.
EMSCRIPTEN_KEEPALIVE void webDefaultFlight() {
    page.flight = defaultFlight();
}

// page.js before webReadFlightOption: room for a value of that many UTF-8 bytes and the
// terminator it writes after them.
EMSCRIPTEN_KEEPALIVE char* webValueRoom(int32_t bytes) {
    page.value.assign(bytes > 0 ? (size_t)bytes : 0u, '\0');
    return page.value.data();
}

// page.js with the value it wrote: the line that names what is wrong with it, or null. The
// value is read whole, a zero byte in it included, as a query can carry one.
EMSCRIPTEN_KEEPALIVE const char* webReadFlightOption(int32_t index) {
    const FlightOption& option = flightOptions[index];
    const std::string wrong = option.read(page.value, page.flight);
    page.problem = std::string(option.name) + ": " + wrong + " (" + option.allowed + ")";
    keepOneLine(page.problem);
    return wrong.empty() ? nullptr : page.problem.c_str();
}

// page.js once every option of a recorded flight is read: what breaks the rules between them,
// or null once the flight's frame ticks are set.
EMSCRIPTEN_KEEPALIVE const char* webCheckFlight() {
    if (page.flight.frames == 0) {
        page.problem = "frames: 0 renders no frame to show (frames from 1)";
        return page.problem.c_str();
    }
    const std::string clock = setFrameTicks(page.flight);
    page.problem = "fps: " + clock;
    return clock.empty() ? nullptr : page.problem.c_str();
}

// page.js: the flight's width in pixels.
EMSCRIPTEN_KEEPALIVE int32_t webFlightWidth() {
    return page.flight.width;
}

// page.js: the flight's height in pixels.
EMSCRIPTEN_KEEPALIVE int32_t webFlightHeight() {
    return page.flight.height;
}

// page.js: how many frames a recorded flight has.
EMSCRIPTEN_KEEPALIVE int32_t webFlightFrames() {
    return (int32_t)page.flight.frames; // at most INT32_MAX, as read
}

// page.js: 1 for the preview's star count, 0 for the saver's.
EMSCRIPTEN_KEEPALIVE int32_t webFlightPreview() {
    return page.flight.mode == Preview;
}

// page.js, first for the live page: the flight's mode and speed on the page's clock, the
// layer's monotonic one, which is performance.now here.
EMSCRIPTEN_KEEPALIVE void webStartLive() {
    startFlight(page.flight, MonotonicClock);
}

// page.js, first for a recorded flight: its mode and speed on the settable counter, from 0.
EMSCRIPTEN_KEEPALIVE void webStartRecorded() {
    startFlight(page.flight, SettableClock);
    page.framesFlown = 0;
}

// page.js on each new canvas size in device pixels, as WM_SIZE: the canvas bytes' address, or 0.
EMSCRIPTEN_KEEPALIVE uint8_t* webResize(int32_t width, int32_t height) {
    if (width == page.width && height == page.height) {
        return page.canvas; // every rebuild spawns new stars: only a real change rebuilds
    }
    releaseFrameBuffers(); // before the new allocations, so that the old ones are not held twice
    destroySurfaceWindow(engine.mainWindow);
    engine.mainWindow = nullptr;
    free(page.canvas);
    page.canvas = nullptr;
    page.width = page.height = 0;
    // Without buffers the flight stands still until a size that can be held.
    if (width < 1 || height < 1 || (uint64_t)width * (uint64_t)height > largestArea) {
        return nullptr;
    }
    // Presenting a frame is then the one copy, turned into the canvas's order on the way.
    page.canvas = (uint8_t*)malloc((size_t)width * (size_t)height * 4u);
    engine.mainWindow =
        page.canvas ? createWindowOverSurface(width, height, (uint32_t*)page.canvas, width, true)
                    : nullptr;
    if (engine.mainWindow) {
        rebuildFrameBuffers(width, height);
    }
    if (!engine.pixels || !engine.background || !engine.stars) {
        destroySurfaceWindow(engine.mainWindow); // no frames to show: no canvas to show them
        engine.mainWindow = nullptr;
        free(page.canvas);
        page.canvas = nullptr;
        return nullptr;
    }
    page.width = width;
    page.height = height;
    return page.canvas;
}

// page.js once per animation frame: one frame on the page's clock, into the canvas bytes.
EMSCRIPTEN_KEEPALIVE void webFrame() {
    renderFrame(engine.mainWindow);
}

// page.js on pointer motion: movementX and movementY, taken as a raw mouse report's counts.
EMSCRIPTEN_KEEPALIVE void webSteer(int32_t dx, int32_t dy) {
    steer(dx, dy);
}

// page.js on a wheel report, in WM_MOUSEWHEEL's units: 120 a notch, positive away from the user.
EMSCRIPTEN_KEEPALIVE void webWheel(int32_t delta) {
    const int32_t clamped = delta < INT16_MIN ? INT16_MIN : delta > INT16_MAX ? INT16_MAX : delta;
    turnWheel((int16_t)clamped);
}

// page.js for its caption, and the page's tests: the speed setting, 0 to 100.
EMSCRIPTEN_KEEPALIVE int32_t webSpeedSetting() {
    return engine.speedPercent;
}

// page.js after webStartLive when the user asked for reduced motion and the query gave no
// speed: no speed set and none flown, until the wheel sets one.
EMSCRIPTEN_KEEPALIVE void webStartAtRest() {
    setSpeedSetting(0);
    engine.currentSpeed = 0.0f;
}

// page.js when full-screen begins: the click rule's 0.8 s count from now, as from a saver's start.
EMSCRIPTEN_KEEPALIVE void webFullScreenBegins() {
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    engine.startCounter = now.QuadPart;
}

// page.js on a button press in full-screen: 1 when it ends the full-screen run.
EMSCRIPTEN_KEEPALIVE int32_t webClickEnds() {
    return clickEndsRunNow();
}

// page.js: the overlay's title, as UTF-32 text.
EMSCRIPTEN_KEEPALIVE const wchar_t* webOverlayTitle() {
    return overlayTitle;
}

// page.js: the overlay's caption, as UTF-32 text.
EMSCRIPTEN_KEEPALIVE const wchar_t* webOverlayCaption() {
    return overlayCaption;
}

// page.js: the recorded flight's next frames, each flown as voidrunner-render flies it.
EMSCRIPTEN_KEEPALIVE void webFly(int32_t frames) {
    for (int32_t i = 0; i < frames; i++) {
        flyFrame(page.flight, ++page.framesFlown);
    }
}

// page.js before the benchmark's frames: at its set speed from the start, as the native one flies.
EMSCRIPTEN_KEEPALIVE void webReachSpeed() {
    engine.currentSpeed = engine.targetSpeed;
}

// page.js after a recorded flight: zlib's CRC-32 of the last frame's words as a .raw file holds
// them, which are the pixel buffer's: the window got a copy of it, in the canvas's order.
EMSCRIPTEN_KEEPALIVE uint32_t webFrameCrc() {
    if (!page.canvas) {
        return 0;
    }
    const size_t bytes = (size_t)page.width * (size_t)page.height * 4u;
    return (uint32_t)crc32(0L, (const Bytef*)engine.pixels, (uInt)bytes);
}

} // extern "C"
