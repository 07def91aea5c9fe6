#include "tests/x11/driver.h"

#include <X11/Xatom.h>
#include <X11/Xutil.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

const char hackPath[] = VOIDRUNNER_HACK_PATH;

bool readWindow(Display* display, Window window, Frame& frame) {
    XWindowAttributes attributes;
    if (!XGetWindowAttributes(display, window, &attributes)) {
        return false;
    }
    XImage* image = XGetImage(display, window, 0, 0, (unsigned)attributes.width,
                              (unsigned)attributes.height, AllPlanes, ZPixmap);
    if (!image) {
        return false;
    }
    frame.width = attributes.width;
    frame.height = attributes.height;
    frame.words.resize((size_t)frame.width * (size_t)frame.height);
    for (int32_t y = 0; y < frame.height; y++) {
        for (int32_t x = 0; x < frame.width; x++) {
            frame.words[(size_t)y * frame.width + x] = (uint32_t)XGetPixel(image, x, y) & 0xFFFFFF;
        }
    }
    XDestroyImage(image);
    return true;
}

bool waitForFlight(Display* display, Window window, int32_t width, int32_t height,
                   int32_t timeoutMs, Survey& last) {
    const std::vector<uint32_t> background = backgroundOf(width, height);
    bool seen[4] = {};
    const int64_t deadline = nowMs() + timeoutMs;
    do {
        Frame frame;
        if (readWindow(display, window, frame) && frame.width == width && frame.height == height) {
            last = survey(frame, background);
            if (looksLikeFlight(last, frame)) {
                for (int i = 0; i < 4; i++) {
                    seen[i] = seen[i] || last.cornerEqual[i];
                }
                if (seen[0] && seen[1] && seen[2] && seen[3]) {
                    return true;
                }
            }
        }
        sleepMs(40);
    } while (nowMs() < deadline);
    return false;
}

bool startVirtualDisplay(VirtualDisplay& server, int32_t width, int32_t height,
                         const std::vector<std::string>& extraArguments) {
    // Numbers well above those scripts/with-display hands out; the lock file is Xvfb's own.
    int number = 140 + (int)(getpid() % 200);
    for (int tries = 0; tries < 200; tries++, number++) {
        const std::string lock = "/tmp/.X" + std::to_string(number) + "-lock";
        const std::string socket = "/tmp/.X11-unix/X" + std::to_string(number);
        if (access(lock.c_str(), F_OK) != 0 && access(socket.c_str(), F_OK) != 0) {
            break;
        }
    }
    server.name = ":";
    server.name += std::to_string(number);
    std::vector<std::string> command = {"/usr/bin/Xvfb",
                                        server.name,
                                        "-screen",
                                        "0",
                                        std::to_string(width) + "x" + std::to_string(height) +
                                            "x24",
                                        "-nolisten",
                                        "tcp"};
    command.insert(command.end(), extraArguments.begin(), extraArguments.end());
    Child child = startProcess(command);
    server.pid = child.pid;
    const int64_t deadline = nowMs() + 10000;
    while (!server.display && nowMs() < deadline) {
        sleepMs(50);
        server.display = XOpenDisplay(server.name.c_str());
    }
    return server.display != nullptr;
}

void stopVirtualDisplay(VirtualDisplay& server) {
    if (server.display) {
        XCloseDisplay(server.display);
        server.display = nullptr;
    }
    if (server.pid > 0) {
        kill(server.pid, SIGTERM);
        waitpid(server.pid, nullptr, 0);
        server.pid = -1;
    }
}

Window makeHostWindow(Display* display, int32_t width, int32_t height) {
    const int screen = DefaultScreen(display);
    XSetWindowAttributes attributes{};
    attributes.override_redirect = True; // placed exactly, whatever window manager runs
    attributes.background_pixel = BlackPixel(display, screen);
    attributes.event_mask = StructureNotifyMask;
    Window window = XCreateWindow(display, RootWindow(display, screen), 0, 0, (unsigned)width,
                                  (unsigned)height, 0, CopyFromParent, InputOutput, CopyFromParent,
                                  CWOverrideRedirect | CWBackPixel | CWEventMask, &attributes);
    XMapRaised(display, window);
    XEvent event;
    do {
        XWindowEvent(display, window, StructureNotifyMask, &event);
    } while (event.type != MapNotify);
    XSync(display, False);
    return window;
}

// Under a window manager the hack's window is a grandchild of the root, inside its frame.
static Window windowOfProcess(Display* display, Window parentWindow, Atom pidAtom, pid_t pid,
                              int32_t depth) {
    Window root = 0, parent = 0, *children = nullptr;
    unsigned count = 0;
    Window found = 0;
    if (!XQueryTree(display, parentWindow, &root, &parent, &children, &count)) {
        return 0;
    }
    for (unsigned i = 0; i < count && !found; i++) {
        Atom type = 0;
        int format = 0;
        unsigned long items = 0, after = 0;
        unsigned char* data = nullptr;
        if (XGetWindowProperty(display, children[i], pidAtom, 0, 1, False, XA_CARDINAL, &type,
                               &format, &items, &after, &data) == Success &&
            data && items == 1 && format == 32 && (pid_t) * (long*)data == pid) {
            XWindowAttributes attributes;
            if (XGetWindowAttributes(display, children[i], &attributes) &&
                attributes.map_state == IsViewable) {
                found = children[i];
            }
        }
        if (data) {
            XFree(data);
        }
        if (!found && depth > 1) {
            found = windowOfProcess(display, children[i], pidAtom, pid, depth - 1);
        }
    }
    if (children) {
        XFree(children);
    }
    return found;
}

Window waitForWindowOf(Display* display, pid_t pid, int32_t timeoutMs) {
    const Atom pidAtom = XInternAtom(display, "_NET_WM_PID", False);
    const int64_t deadline = nowMs() + timeoutMs;
    do {
        const Window found = windowOfProcess(display, DefaultRootWindow(display), pidAtom, pid, 2);
        if (found) {
            return found;
        }
        sleepMs(20);
    } while (nowMs() < deadline);
    return 0;
}

static int ignoreXError(Display*, XErrorEvent*) {
    return 0;
}

// Windows come and go under the tests' feet (a hack's window at its end): an error about one
// must not end the test process.
int main(int argc, char** argv) {
    XSetErrorHandler(ignoreXError);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
