#include "tests/x11/driver.h"

#include <X11/Xatom.h>
#include <X11/Xutil.h>

#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "engine/engine.h"

extern char** environ;

const char hackPath[] = VOIDRUNNER_HACK_PATH;
const char renderPath[] = VOIDRUNNER_RENDER_PATH;

namespace {

int64_t nowMs() {
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return (int64_t)now.tv_sec * 1000 + now.tv_nsec / 1000000;
}

void removeScratch() {
    std::error_code ignored;
    std::filesystem::remove_all(scratchFolder(), ignored);
}

int outputCount = 0;

} // namespace

const std::string& scratchFolder() {
    static std::string folder;
    if (folder.empty()) {
        char name[] = "/tmp/voidrunner-x11-XXXXXX";
        if (mkdtemp(name)) {
            folder = name;
            chmod(name, 0755); // the daemon test's user must reach the copy of the hack
            atexit(removeScratch);
        }
    }
    return folder;
}

void sleepMs(int32_t ms) {
    timespec pause{ms / 1000, (long)(ms % 1000) * 1000000};
    while (nanosleep(&pause, &pause) != 0 && errno == EINTR) {
    }
}

Child startProcess(const std::vector<std::string>& command,
                   const std::vector<std::string>& extraEnvironment) {
    Child child;
    const std::string stem = scratchFolder() + "/process-" + std::to_string(++outputCount);
    child.outPath = stem + ".out";
    child.errPath = stem + ".err";

    std::vector<std::string> environment;
    for (char** entry = environ; *entry; entry++) {
        const std::string text = *entry;
        const std::string name = text.substr(0, text.find('='));
        bool replaced = name == "XSCREENSAVER_WINDOW";
        for (const std::string& extra : extraEnvironment) {
            replaced = replaced || extra.substr(0, extra.find('=')) == name;
        }
        if (!replaced) {
            environment.push_back(text);
        }
    }
    environment.insert(environment.end(), extraEnvironment.begin(), extraEnvironment.end());
    std::vector<char*> argv, envp;
    for (const std::string& part : command) {
        argv.push_back(const_cast<char*>(part.c_str()));
    }
    argv.push_back(nullptr);
    for (const std::string& entry : environment) {
        envp.push_back(const_cast<char*>(entry.c_str()));
    }
    envp.push_back(nullptr);

    child.pid = fork();
    if (child.pid == 0) {
        const int out = open(child.outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const int err = open(child.errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const int in = open("/dev/null", O_RDONLY);
        if (out < 0 || err < 0 || in < 0) {
            _exit(126);
        }
        dup2(in, 0);
        dup2(out, 1);
        dup2(err, 2);
        execve(argv[0], argv.data(), envp.data());
        _exit(127);
    }
    return child;
}

bool waitForEnd(Child& child, int32_t timeoutMs, int& status) {
    if (child.pid <= 0) {
        return false;
    }
    const int64_t deadline = nowMs() + timeoutMs;
    for (;;) {
        int raw = 0;
        const pid_t done = waitpid(child.pid, &raw, WNOHANG);
        if (done == child.pid) {
            child.pid = -1;
            status = WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
            return true;
        }
        if (done < 0 || nowMs() >= deadline) {
            return false;
        }
        sleepMs(5);
    }
}

bool stillRunning(Child& child) {
    int status = 0;
    return child.pid > 0 && !waitForEnd(child, 0, status);
}

void stopProcess(Child& child) {
    if (child.pid > 0) {
        kill(child.pid, SIGKILL);
        waitpid(child.pid, nullptr, 0);
        child.pid = -1;
    }
}

std::string readText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

int runCommand(const std::string& command) {
    const int raw = system(command.c_str());
    return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
}

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

std::vector<uint32_t> backgroundOf(int32_t width, int32_t height) {
    std::vector<uint32_t> words((size_t)width * (size_t)height);
    fillBackground(words.data(), width, height);
    return words;
}

Survey survey(const Frame& frame, const std::vector<uint32_t>& background) {
    Survey result;
    if (background.size() != frame.words.size()) {
        result.darker = (int64_t)frame.words.size();
        return result;
    }
    for (size_t i = 0; i < frame.words.size(); i++) {
        const uint32_t pixel = frame.words[i], base = background[i];
        if (pixel == base) {
            result.equal++;
        }
        int32_t most = -255;
        for (int shift = 0; shift < 24; shift += 8) {
            const int32_t gain = (int32_t)(pixel >> shift & 0xFF) - (int32_t)(base >> shift & 0xFF);
            if (gain < 0) {
                result.darker++;
                break;
            }
            most = gain > most ? gain : most;
        }
        if (most >= 96) {
            result.lit++;
        }
    }
    const size_t w = (size_t)frame.width, h = (size_t)frame.height;
    const size_t corners[4] = {0, w - 1, (h - 1) * w, h * w - 1};
    for (int i = 0; i < 4; i++) {
        result.cornerEqual[i] = frame.words[corners[i]] == background[corners[i]];
    }
    return result;
}

bool looksLikeFlight(const Survey& survey, const Frame& frame) {
    const int64_t pixels = (int64_t)frame.words.size();
    return pixels > 0 && survey.darker == 0 && survey.equal * 10 >= pixels * 6 && survey.lit >= 20;
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
    server.name = ":" + std::to_string(number);
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
