#include "x11/options.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <string.h>

#include "engine/messages.h"
#include "flight/arguments.h"
#include "flight/flight.h"

const char hackUsage[] =
    "usage: voidrunner3d [options]\n"
    "A flight through a three-dimensional star field, for XScreenSaver.\n"
    "\n"
    "  -window          fly in a window of its own (the default outside XScreenSaver);\n"
    "                   the mouse steers, the wheel sets the speed, a key ends it\n"
    "  -root            fly in the root window\n"
    "  -window-id ID    fly in window ID (decimal or 0x hex), as XSCREENSAVER_WINDOW does\n"
    "  -geometry GEOM   size and place of its own window, as X writes them: WxH, WxH+X+Y\n"
    "                   or +X+Y, where -X and -Y count from the right and bottom edges\n"
    "                   (default 1280x720, placed by the window manager)\n"
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
    "Options may also start with two dashes, and take their value after '=' as well\n"
    "(-speed=70). A bad option prints one line, OPTION: what is wrong (what it allows).\n"
    "Exit status: 0 when ended, 1 when there is no display or window to fly in, 2 for a\n"
    "bad option.\n";

namespace {

// X sizes are 16-bit and a window's coordinates signed 16-bit.
const int64_t largestCoordinate = 32767;

// XParseGeometry reads its numbers into int unchecked, so every digit run is checked to fit
// a window's coordinates before it is trusted.
bool numbersFit(const std::string& text) {
    int64_t run = 0;
    for (char c : text) {
        run = c >= '0' && c <= '9' ? (run > largestCoordinate ? run : run * 10 + (c - '0')) : 0;
        if (run > largestCoordinate) {
            return false;
        }
    }
    return true;
}

// X's geometry syntax, [=][WxH][{+-}X{+-}Y], through Xlib: a size needs both sides and a
// place both offsets.
std::string readGeometry(const std::string& value, HackOptions& options) {
    int x = 0, y = 0;
    unsigned int width = 0, height = 0;
    const int given = XParseGeometry(value.c_str(), &x, &y, &width, &height);
    const int size = given & (WidthValue | HeightValue), offset = given & (XValue | YValue);
    if (given == NoValue || (size != 0 && size != (WidthValue | HeightValue)) ||
        (offset != 0 && offset != (XValue | YValue))) {
        return shownValue(value) + " is not a geometry";
    }
    if (!numbersFit(value) || (size != 0 && (width < 1 || width > largestCoordinate || height < 1 ||
                                             height > largestCoordinate))) {
        return value + " is out of range";
    }
    if (size != 0) {
        options.width = (int32_t)width;
        options.height = (int32_t)height;
    }
    if (offset != 0) {
        options.place = WindowPlace{true, x, y, (given & XNegative) != 0, (given & YNegative) != 0};
    }
    return "";
}

const char windowIdAllowed[] = "decimal or 0x hexadecimal, from 1 to 0xFFFFFFFF";

const ArgumentRule hackOptions[] = {
    {"-window", nullptr},
    {"-root", nullptr},
    {"-window-id", windowIdAllowed},
    {"-geometry", "WxH, WxH+X+Y or +X+Y; sides from 1 to 32767, offsets to 32767"},
    {"-speed", "a whole number from 0 to 100"},
    {"-preview", nullptr},
    {"-display", "an X display name such as :0"},
    {"-help", nullptr},
    {"-h", nullptr},
    {"-fixed-clock", nullptr},
    {"-frames", "a whole number from 1 to 1000000000"},
    {"-report", nullptr},
};

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
    const bool hexadecimal = text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
    const char* digits = hexadecimal ? text + 2 : text;
    const uint64_t base = hexadecimal ? 16 : 10;
    if (!*digits) {
        return false;
    }
    uint64_t result = 0;
    for (const char* c = digits; *c; c++) {
        uint64_t digit = base;
        if (*c >= '0' && *c <= '9') {
            digit = (uint64_t)(*c - '0');
        } else if (*c >= 'a' && *c <= 'f') {
            digit = (uint64_t)(*c - 'a' + 10);
        } else if (*c >= 'A' && *c <= 'F') {
            digit = (uint64_t)(*c - 'A' + 10);
        }
        // A sign, a blank or a digit beyond the base: no id.
        if (digit >= base) {
            return false;
        }
        result = result * base + digit;
        if (result > 0xFFFFFFFFu) {
            return false;
        }
    }
    if (result == 0) {
        return false;
    }
    id = result;
    return true;
}

namespace {

// What the arguments ask for, left to right; returns at the first problem or -help.
HackParse readArguments(int argc, const char* const* argv, HackOptions& options, Explicit& chosen,
                        std::string& problem) {
    for (int i = 1; i < argc; i++) {
        ArgumentWord word;
        if (!readArgument(argc, argv, i, hackOptions, sizeof hackOptions / sizeof hackOptions[0],
                          "-help", word, problem)) {
            return HackBadOption;
        }
        const std::string name = word.rule->name;
        const std::string& value = word.value;
        std::string wrong;
        int64_t number = 0;
        if (name == "-help" || name == "-h") {
            return HackHelp;
        } else if (name == "-window") {
            chosen = WindowChosen;
        } else if (name == "-root") {
            chosen = RootChosen;
        } else if (name == "-window-id") {
            if (parseWindowId(value.c_str(), options.windowId)) {
                chosen = WindowIdChosen;
            } else {
                wrong = shownValue(value) + " is not a window id";
            }
        } else if (name == "-geometry") {
            wrong = readGeometry(value, options);
        } else if (name == "-speed") {
            wrong = readWholeNumber(value, 0, 100, number);
            options.speedPercent = wrong.empty() ? (int32_t)number : options.speedPercent;
        } else if (name == "-preview") {
            options.preview = true;
        } else if (name == "-display") {
            options.display = value;
        } else if (name == "-fixed-clock") {
            options.fixedClock = true;
        } else if (name == "-frames") {
            wrong = readWholeNumber(value, 1, 1000000000, number);
            options.frames = wrong.empty() ? number : options.frames;
        } else if (name == "-report") {
            options.report = true;
        }
        if (!wrong.empty()) {
            problem = word.spelled + ": " + wrong + " (" + word.rule->allowed + ")";
            return HackBadOption;
        }
    }
    return HackRun;
}

} // namespace

HackParse parseHackOptions(int argc, const char* const* argv, const char* environmentWindow,
                           HackOptions& options, std::string& problem) {
    Explicit chosen = NoneChosen;
    const HackParse outcome = readArguments(argc, argv, options, chosen, problem);
    if (outcome != HackRun) {
        keepOneLine(problem);
        return outcome;
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
            problem = std::string("XSCREENSAVER_WINDOW: ") + shownValue(environmentWindow) +
                      " is not a window id (" + windowIdAllowed + ")";
            keepOneLine(problem);
            return HackBadOption;
        }
        options.target = ForeignWindow;
    } else if (chosen == RootChosen) {
        options.target = RootWindow;
    } else {
        options.target = OwnWindow;
    }
    // Only a window of its own is placed; the root window and another program's stay where
    // they are.
    if (options.target != OwnWindow) {
        options.place = WindowPlace{};
    }
    return HackRun;
}
