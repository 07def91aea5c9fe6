#include "x11/options.h"

#include <string.h>

const char hackUsage[] =
    "usage: voidrunner3d [options]\n"
    "A flight through a three-dimensional star field, for XScreenSaver.\n"
    "\n"
    "  -window          fly in a window of its own (the default outside XScreenSaver);\n"
    "                   the mouse steers, the wheel sets the speed, a key ends it\n"
    "  -root            fly in the root window\n"
    "  -window-id ID    fly in window ID (decimal or 0x hex), as XSCREENSAVER_WINDOW does\n"
    "  -geometry WxH    size of its own window (default 1280x720)\n"
    "  -speed N         starting speed setting, 0 to 100 (default 28)\n"
    "  -preview         as few stars as the small preview has\n"
    "  -display NAME    the X display (default: $DISPLAY)\n"
    "  -help            this text\n"
    "\n"
    "For tests:\n"
    "  -fixed-clock     frame k shows the flight at k sixtieths of a second, exactly as\n"
    "                   voidrunner-render's frame k\n"
    "  -frames N        end after N frames\n"
    "  -report          at the end, print the frames, the speed setting and the steering\n"
    "\n"
    "Options may also start with two dashes. Exit status: 0 when ended, 1 when there is no\n"
    "display or window to fly in, 2 for a bad option.\n";

namespace {

// Digits only, no sign, no blanks; false beyond limit.
bool parseBounded(const char* text, int64_t limit, int64_t& value) {
    if (!text || !*text) {
        return false;
    }
    int64_t result = 0;
    for (const char* c = text; *c; c++) {
        if (*c < '0' || *c > '9') {
            return false;
        }
        result = result * 10 + (*c - '0');
        if (result > limit) {
            return false;
        }
    }
    value = result;
    return true;
}

bool parseGeometry(const char* text, int32_t& width, int32_t& height) {
    const char* cross = text ? strchr(text, 'x') : nullptr;
    if (!cross) {
        return false;
    }
    const std::string widthText(text, (size_t)(cross - text));
    int64_t w = 0, h = 0;
    // X sizes are 16-bit and a window's coordinates signed 16-bit.
    if (!parseBounded(widthText.c_str(), 32767, w) || !parseBounded(cross + 1, 32767, h) || w < 1 ||
        h < 1) {
        return false;
    }
    width = (int32_t)w;
    height = (int32_t)h;
    return true;
}

enum Explicit : int32_t {
    NoneChosen = 0,
    WindowChosen,
    RootChosen,
    WindowIdChosen,
};

} // namespace

bool parseWindowId(const char* text, uint64_t& id) {
    if (!text || !*text) {
        return false;
    }
    uint64_t result = 0;
    if (text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        const char* digits = text + 2;
        if (!*digits) {
            return false;
        }
        for (const char* c = digits; *c; c++) {
            uint64_t digit;
            if (*c >= '0' && *c <= '9') {
                digit = (uint64_t)(*c - '0');
            } else if (*c >= 'a' && *c <= 'f') {
                digit = (uint64_t)(*c - 'a' + 10);
            } else if (*c >= 'A' && *c <= 'F') {
                digit = (uint64_t)(*c - 'A' + 10);
            } else {
                return false;
            }
            result = result * 16 + digit;
            if (result > 0xFFFFFFFFu) {
                return false;
            }
        }
    } else {
        int64_t value = 0;
        if (!parseBounded(text, 0xFFFFFFFFll, value)) {
            return false;
        }
        result = (uint64_t)value;
    }
    if (result == 0) {
        return false;
    }
    id = result;
    return true;
}

HackParse parseHackOptions(int argc, const char* const* argv, const char* environmentWindow,
                           HackOptions& options, std::string& problem) {
    Explicit chosen = NoneChosen;
    for (int i = 1; i < argc; i++) {
        const std::string given = argv[i];
        // XScreenSaver's settings files write options with one dash or two.
        std::string name = given;
        if (name.size() > 2 && name[0] == '-' && name[1] == '-') {
            name.erase(0, 1);
        }
        const char* value = i + 1 < argc ? argv[i + 1] : nullptr;
        const bool takesValue = name == "-window-id" || name == "-geometry" || name == "-speed" ||
                                name == "-display" || name == "-frames";
        if (takesValue && !value) {
            problem = given + ": a value must follow";
            return HackBadOption;
        }
        int64_t number = 0;
        if (name == "-help" || name == "-h") {
            return HackHelp;
        } else if (name == "-window") {
            chosen = WindowChosen;
        } else if (name == "-root") {
            chosen = RootChosen;
        } else if (name == "-window-id") {
            if (!parseWindowId(value, options.windowId)) {
                problem = given + ": not a window id: " + value;
                return HackBadOption;
            }
            chosen = WindowIdChosen;
            i++;
        } else if (name == "-geometry") {
            if (!parseGeometry(value, options.width, options.height)) {
                problem = given + ": not a size WxH from 1x1 to 32767x32767: " + value;
                return HackBadOption;
            }
            i++;
        } else if (name == "-speed") {
            if (!parseBounded(value, 100, number)) {
                problem = given + ": not a whole number from 0 to 100: " + value;
                return HackBadOption;
            }
            options.speedPercent = (int32_t)number;
            i++;
        } else if (name == "-preview") {
            options.preview = true;
        } else if (name == "-display") {
            options.display = value;
            i++;
        } else if (name == "-fixed-clock") {
            options.fixedClock = true;
        } else if (name == "-frames") {
            if (!parseBounded(value, 1000000000, number) || number < 1) {
                problem = given + ": not a frame count from 1 to 1000000000: " + value;
                return HackBadOption;
            }
            options.frames = number;
            i++;
        } else if (name == "-report") {
            options.report = true;
        } else {
            problem = "unknown option " + given + " (-help lists them)";
            return HackBadOption;
        }
    }

    // An explicit window or window id wins over the daemon's variable, which in turn wins over
    // -root: the daemon starts hacks with -root and names its own window in the variable.
    const bool fromEnvironment = environmentWindow && *environmentWindow;
    if (chosen == WindowIdChosen) {
        options.target = ForeignWindow;
    } else if (chosen == WindowChosen) {
        options.target = OwnWindow;
    } else if (fromEnvironment) {
        if (!parseWindowId(environmentWindow, options.windowId)) {
            problem = std::string("XSCREENSAVER_WINDOW: not a window id: ") + environmentWindow;
            return HackBadOption;
        }
        options.target = ForeignWindow;
    } else if (chosen == RootChosen) {
        options.target = RootWindow;
    } else {
        options.target = OwnWindow;
    }
    return HackRun;
}
