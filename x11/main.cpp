// voidrunner3d for X11: the engine's flight in an XScreenSaver hack. It draws into the
// daemon's window (XSCREENSAVER_WINDOW), a window named with -window-id, the root window, or
// a window of its own, where the Windows saver's input rules hold.
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XShm.h>

#include <poll.h>
#include <stdio.h>
#include <stdlib.h>
#include <string>

#include "engine/engine.h"
#include "engine/input.h"
#include "engine/messages.h"
#include "engine/version.h"
#include "flight/flight.h"
#include "platform/loop.h"
#include "x11/input.h"
#include "x11/options.h"
#include "x11/screen.h"

namespace {

// Everything the front end holds between frames.
struct Front {
    Display* display;
    Window window;  // where the frames go
    bool ownWindow; // made here; the only kind that takes input
    Atom deleteWindow;
    Cursor blankCursor;
    Visual* visual;
    int32_t depth;
    GC gc;
    bool sharedMemory; // the server offers MIT-SHM
    Surface surface;
    PointerTrack pointer;
    bool focused;
    int64_t frames;
    Flight flight;    // what the fixed clock flies
    float steeredYaw; // all the steering input added, for -report
    float steeredPitch;
    bool ending;
};

// What WM_SIZE does on Windows, plus a new image: only a real change of size rebuilds, since
// every rebuild spawns a new population of stars.
void resize(Front& front, int32_t width, int32_t height) {
    if (width < 1 || height < 1 ||
        (front.surface.width == width && front.surface.height == height)) {
        return;
    }
    destroySurface(front.display, front.surface);
    if (!createSurface(front.display, front.visual, front.depth, width, height, front.sharedMemory,
                       front.surface)) {
        fprintf(stderr, "voidrunner3d: no image of %dx%d for the frames\n", width, height);
    }
    engine.mainWindow = front.surface.window;
    rebuildFrameBuffers(width, height);
}

Cursor makeBlankCursor(Display* display, Window window) {
    static const char nothing[1] = {0};
    Pixmap empty = XCreateBitmapFromData(display, window, nothing, 1, 1);
    XColor black{};
    Cursor cursor = XCreatePixmapCursor(display, empty, empty, &black, &black, 0, 0);
    XFreePixmap(display, empty);
    return cursor;
}

bool openOwnWindow(Front& front, const HackOptions& options) {
    Display* display = front.display;
    const int screen = DefaultScreen(display);
    front.visual = DefaultVisual(display, screen);
    front.depth = DefaultDepth(display, screen);
    if (!visualFits(front.visual, front.depth)) {
        return false;
    }
    // No background: like the Windows window, it is never erased between frames.
    XSetWindowAttributes attributes{};
    attributes.background_pixmap = None;
    attributes.event_mask = KeyPressMask | ButtonPressMask | PointerMotionMask | EnterWindowMask |
                            LeaveWindowMask | StructureNotifyMask;
    // A negative offset counts from the screen's far edge to the window's, as X has it.
    const WindowPlace& place = options.place;
    const int32_t x =
        place.fromRight ? DisplayWidth(display, screen) + place.x - options.width : place.x;
    const int32_t y =
        place.fromBottom ? DisplayHeight(display, screen) + place.y - options.height : place.y;
    front.window =
        XCreateWindow(display, RootWindow(display, screen), x, y, (unsigned)options.width,
                      (unsigned)options.height, 0, CopyFromParent, InputOutput, CopyFromParent,
                      CWBackPixmap | CWEventMask, &attributes);
    if (!front.window) {
        return false;
    }
    front.ownWindow = true;
    XStoreName(display, front.window, VOIDRUNNER_NAME " v" VOIDRUNNER_VERSION_TEXT);
    XClassHint classHint{(char*)"voidrunner3d", (char*)"Voidrunner3D"};
    XSetClassHint(display, front.window, &classHint);
    XSizeHints* sizeHints = XAllocSizeHints();
    if (sizeHints) {
        sizeHints->flags = PSize;
        sizeHints->width = options.width;
        sizeHints->height = options.height;
        // A place the user gave is one the window manager should keep; the gravity tells it
        // which corner of its frame the offset holds to.
        if (place.given) {
            sizeHints->flags |= USPosition | PWinGravity;
            sizeHints->x = x;
            sizeHints->y = y;
            sizeHints->win_gravity = place.fromRight
                                         ? (place.fromBottom ? SouthEastGravity : NorthEastGravity)
                                         : (place.fromBottom ? SouthWestGravity : NorthWestGravity);
        }
        XSetWMNormalHints(display, front.window, sizeHints);
        XFree(sizeHints);
    }
    const long pid = (long)getpid();
    XChangeProperty(display, front.window, XInternAtom(display, "_NET_WM_PID", False), XA_CARDINAL,
                    32, PropModeReplace, (const unsigned char*)&pid, 1);
    front.deleteWindow = XInternAtom(display, "WM_DELETE_WINDOW", False);
    XSetWMProtocols(display, front.window, &front.deleteWindow, 1);
    front.blankCursor = makeBlankCursor(display, front.window);
    XDefineCursor(display, front.window, front.blankCursor);
    XMapWindow(display, front.window);
    return true;
}

// False when there is no such window; otherwise its size goes to width and height.
bool useForeignWindow(Front& front, Window window, int32_t& width, int32_t& height) {
    XWindowAttributes attributes;
    if (!XGetWindowAttributes(front.display, window, &attributes)) {
        return false;
    }
    front.window = window;
    front.visual = attributes.visual;
    front.depth = attributes.depth;
    width = attributes.width;
    height = attributes.height;
    // Size changes and the window's end; never input, which belongs to the daemon.
    XSelectInput(front.display, window, StructureNotifyMask);
    return true;
}

// Returns 0 when flying can begin, or the exit status.
int startFront(Front& front, const HackOptions& options) {
    Display* display = front.display;
    int32_t width = options.width, height = options.height;
    switch (options.target) {
        case OwnWindow:
            if (!openOwnWindow(front, options)) {
                fprintf(stderr, "voidrunner3d: the display's default visual is not 24-bit "
                                "true colour\n");
                return 1;
            }
            break;
        case RootWindow:
            useForeignWindow(front, DefaultRootWindow(display), width, height);
            break;
        case ForeignWindow:
            if (!useForeignWindow(front, (Window)options.windowId, width, height)) {
                fprintf(stderr, "voidrunner3d: no window 0x%llx on this display\n",
                        (unsigned long long)options.windowId);
                return 1;
            }
            break;
    }
    if (!visualFits(front.visual, front.depth)) {
        fprintf(stderr, "voidrunner3d: window 0x%lx is not 24-bit true colour\n",
                (unsigned long)front.window);
        return 1;
    }
    front.gc = XCreateGC(display, front.window, 0, nullptr);
    front.sharedMemory = XShmQueryExtension(display);

    // The renderer's flight of the same mode and speed at its 60 frames a second; the fixed
    // clock is the settable counter, which flies it frame by frame.
    front.flight = defaultFlight();
    front.flight.mode = options.preview ? Preview : Saver;
    front.flight.speedPercent = options.speedPercent;
    front.flight.frames = options.frames;
    const std::string overrun = setFrameTicks(front.flight);
    if (!overrun.empty()) {
        fprintf(stderr, "voidrunner3d: -frames: %s\n", overrun.c_str());
        return 2;
    }
    startFlight(front.flight, options.fixedClock ? SettableClock : MonotonicClock);

    resize(front, width, height);
    return 0;
}

void stopFront(Front& front) {
    releaseFrameBuffers();
    engine.mainWindow = nullptr;
    destroySurface(front.display, front.surface);
    if (front.gc) {
        XFreeGC(front.display, front.gc);
    }
    if (front.ownWindow) {
        XDestroyWindow(front.display, front.window);
        XFreeCursor(front.display, front.blankCursor);
    } else if (front.window) {
        XSelectInput(front.display, front.window, NoEventMask);
    }
    XSync(front.display, False);
}

void onButton(Front& front, uint32_t button) {
    const ButtonRole role = buttonRole(button);
    if (role == ClickButton) {
        if (clickEndsRunNow()) {
            front.ending = true;
        }
    } else if (role == WheelUpButton || role == WheelDownButton) {
        turnWheel(wheelDeltaOf(role));
    }
}

void onMotion(Front& front, int32_t x, int32_t y) {
    const PointerMotion motion = pointerMoved(front.pointer, x, y);
    const SteeringStep step = steer(motion.dx, motion.dy);
    front.steeredYaw += step.yaw;
    front.steeredPitch += step.pitch;
}

void handleEvent(Front& front, XEvent& event) {
    switch (event.type) {
        case ConfigureNotify:
            if (event.xconfigure.window == front.window) {
                resize(front, event.xconfigure.width, event.xconfigure.height);
            }
            return;
        case DestroyNotify:
            // The daemon or whoever made the window took it away: nothing left to draw on.
            if (event.xdestroywindow.window == front.window) {
                front.ending = true;
            }
            return;
        default:
            break;
    }
    if (!front.ownWindow) {
        return;
    }
    switch (event.type) {
        case MapNotify:
            // As SetFocus on window creation, so that keys reach the window.
            if (!front.focused) {
                XSetInputFocus(front.display, front.window, RevertToParent, CurrentTime);
                front.focused = true;
            }
            break;
        case KeyPress:
            front.ending = true;
            break;
        case ButtonPress:
            onButton(front, event.xbutton.button);
            break;
        case MotionNotify:
            onMotion(front, event.xmotion.x_root, event.xmotion.y_root);
            break;
        case EnterNotify:
            pointerEntered(front.pointer, event.xcrossing.x_root, event.xcrossing.y_root);
            break;
        case LeaveNotify:
            pointerLeft(front.pointer);
            break;
        case ClientMessage:
            if (event.xclient.format == 32 && (Atom)event.xclient.data.l[0] == front.deleteWindow) {
                front.ending = true;
            }
            break;
        default:
            break;
    }
}

void paintFrame(Front& front, const HackOptions& options) {
    // Without an image the flight still moves on; nothing is shown until the next size. The
    // engine's window is the image's.
    if (options.fixedClock) {
        flyFrame(front.flight, front.frames + 1);
    } else {
        renderFrame(front.surface.window);
    }
    showSurface(front.display, front.window, front.gc, front.surface);
    front.frames++;
    // An error here means, as a rule, that the window is gone before its DestroyNotify came.
    if (takeXErrors() > 0) {
        XWindowAttributes attributes;
        if (!XGetWindowAttributes(front.display, front.window, &attributes)) {
            front.ending = true;
        }
        takeXErrors();
    }
    if (options.frames > 0 && front.frames >= options.frames) {
        front.ending = true;
    }
}

void runFrames(Front& front, const HackOptions& options) {
    Display* display = front.display;
    XFlush(display);
    int64_t due = monotonicNs() + framePeriodNs;
    while (!front.ending && !endSignal) {
        while (XPending(display) > 0 && !front.ending) {
            XEvent event;
            XNextEvent(display, &event);
            handleEvent(front, event);
        }
        if (front.ending || endSignal) {
            break;
        }
        const int64_t now = monotonicNs();
        if (now >= due) {
            paintFrame(front, options);
            due = nextDue(due, now);
            continue;
        }
        pollfd waits[2] = {{ConnectionNumber(display), POLLIN, 0}, {endSignalFd(), POLLIN, 0}};
        if (poll(waits, 2, msUntil(due, now)) > 0 && (waits[1].revents & POLLIN)) {
            drainEndSignals();
        }
    }
}

} // namespace

int main(int argc, char** argv) {
    HackOptions options;
    std::string problem;
    switch (parseHackOptions(argc, argv, getenv("XSCREENSAVER_WINDOW"), options, problem)) {
        case HackHelp:
            fputs(hackUsage, stdout);
            return 0;
        case HackBadOption:
            fprintf(stderr, "voidrunner3d: %s\n", problem.c_str());
            return 2;
        case HackRun:
            break;
    }
    if (!catchEndSignals()) {
        fprintf(stderr, "voidrunner3d: cannot catch SIGTERM\n");
        return 1;
    }
    // An empty -display means $DISPLAY, and the messages name the display that was tried.
    const char* fromEnvironment = getenv("DISPLAY");
    std::string displayName = !options.display.empty() ? options.display
                              : fromEnvironment        ? fromEnvironment
                                                       : "";
    if (displayName.empty()) {
        fprintf(stderr, "voidrunner3d: no display given (use -display NAME or set DISPLAY)\n");
        return 1;
    }
    Display* display = XOpenDisplay(displayName.c_str());
    if (!display) {
        keepOneLine(displayName);
        fprintf(stderr, "voidrunner3d: cannot open display \"%s\"\n", displayName.c_str());
        return 1;
    }
    trapXErrors();

    Front front{};
    front.display = display;
    const int status = startFront(front, options);
    if (status == 0) {
        runFrames(front, options);
    }
    const int32_t speedPercent = engine.speedPercent;
    stopFront(front);
    XCloseDisplay(display);
    resetEngineState();
    if (status == 0 && options.report) {
        printf("frames %lld, speed %d, steered yaw %.6f pitch %.6f\n", (long long)front.frames,
               speedPercent, front.steeredYaw, front.steeredPitch);
    }
    return status;
}
