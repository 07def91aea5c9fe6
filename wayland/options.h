// The command line of voidrunner3d-wayland.
#pragma once

#include <stdint.h>
#include <string>

enum WaylandLayer : int32_t {
    OverlayLayer = 0, // a saver above everything, which takes input
    BackgroundLayer,  // a live wallpaper beneath the windows, which takes none
};

struct WaylandOptions {
    WaylandLayer layer = OverlayLayer;
    bool window = false; // a window, not full-screen, even where there is layer-shell
    int32_t speedPercent = 28;
    // Test options.
    bool fixedClock = false;
    int64_t frames = 0; // 0: no last frame
    bool report = false;
};

enum WaylandParse : int32_t {
    WaylandRun = 0,
    WaylandHelp,
    WaylandVersion,
    WaylandBadOption,
};

// On WaylandBadOption, problem holds one line (without newline): the option, a colon, what is
// wrong and, in parentheses, what the option allows.
WaylandParse parseWaylandOptions(int argc, const char* const* argv, WaylandOptions& options,
                                 std::string& problem);

extern const char waylandUsage[];
