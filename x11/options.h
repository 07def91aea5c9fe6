// The command line of voidrunner3d, after XScreenSaver's conventions for hacks.
#pragma once

#include <stdint.h>
#include <string>

enum HackTarget : int32_t {
    OwnWindow = 0, // a window of its own: the only one in which input counts
    ForeignWindow, // a window another program made: XSCREENSAVER_WINDOW or -window-id
    RootWindow,
};

// Where -geometry puts its own window, as X has it: x and y are the offsets XParseGeometry
// reads, and a negative offset (fromRight, fromBottom) counts from the screen's right or
// bottom edge to the window's.
struct WindowPlace {
    bool given = false;
    int32_t x = 0;
    int32_t y = 0;
    bool fromRight = false;
    bool fromBottom = false;
};

struct HackOptions {
    HackTarget target = OwnWindow;
    uint64_t windowId = 0; // ForeignWindow only
    int32_t width = 1280;  // its own window's size
    int32_t height = 720;
    WindowPlace place; // OwnWindow only
    int32_t speedPercent = 28;
    bool preview = false;
    std::string display; // empty: $DISPLAY
    // Test options.
    bool fixedClock = false;
    int64_t frames = 0; // 0: until something ends it
    bool report = false;
};

enum HackParse : int32_t {
    HackRun = 0,
    HackHelp,
    HackBadOption,
};

// environmentWindow is XSCREENSAVER_WINDOW's value, null when it is not set. On
// HackBadOption, problem holds one line (without newline): the option, a colon, what is wrong
// and, in parentheses, what the option allows.
HackParse parseHackOptions(int argc, const char* const* argv, const char* environmentWindow,
                           HackOptions& options, std::string& problem);

// A window id as XScreenSaver writes it: decimal, or hexadecimal after 0x; 1 .. 0xFFFFFFFF.
bool parseWindowId(const char* text, uint64_t& id);

extern const char hackUsage[];
