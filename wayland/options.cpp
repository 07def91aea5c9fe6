#include "wayland/options.h"

#include "engine/messages.h"
#include "flight/arguments.h"
#include "flight/flight.h"

const char waylandUsage[] =
    "usage: voidrunner3d-wayland [options]\n"
    "A flight through a three-dimensional star field on Wayland desktops: with layer-shell,\n"
    "one field across every output; without it, in a full-screen window.\n"
    "\n"
    "  --layer LAYER   overlay (the default): a screen saver above everything; the mouse\n"
    "                  steers, the wheel sets the speed, a key ends it, and so does a\n"
    "                  click or a touch after the first 0.8 s. One per display: a second\n"
    "                  one ends at once.\n"
    "                  background: a live wallpaper beneath the windows, or behind a lock\n"
    "                  screen's prompt; it takes no input, and needs layer-shell\n"
    "  --window        fly in a window of its own, not full-screen, with the overlay's\n"
    "                  input\n"
    "  --speed N       starting speed setting, 0 to 100 (default 28)\n"
    "  --help          this text\n"
    "  --version       the version\n"
    "\n"
    "For tests:\n"
    "  --fixed-clock   step k shows the flight at k sixtieths of a second, exactly as\n"
    "                  voidrunner-render's frame k\n"
    "  --frames N      take no step after frame N, and keep showing it until ended (the\n"
    "                  hack's -frames ends the run there instead)\n"
    "  --report        say when frame N is on every output; at the end, print the frames,\n"
    "                  the speed setting and the steering\n"
    "\n"
    "Options take their value after '=' as well (--speed=70). A bad option prints one line,\n"
    "OPTION: what is wrong (what it allows).\n"
    "Exit status: 0 when ended (by input, SIGINT or SIGTERM, the compositor closing every\n"
    "surface, or another saver already flying on the display), 1 when there is no display,\n"
    "the compositor lacks what it needs, the connection fails or memory for a surface\n"
    "cannot be had, 2 for a bad option.\n";

namespace {

const ArgumentRule waylandOptions[] = {
    {"--layer", "overlay or background"},
    {"--window", nullptr},
    {"--speed", "a whole number from 0 to 100"},
    {"--fixed-clock", nullptr},
    {"--frames", "a whole number from 1 to 1000000000"},
    {"--report", nullptr},
    {"--help", nullptr},
    {"-h", nullptr},
    {"--version", nullptr},
};

} // namespace

WaylandParse parseWaylandOptions(int argc, const char* const* argv, WaylandOptions& options,
                                 std::string& problem) {
    for (int i = 1; i < argc; i++) {
        ArgumentWord word;
        if (!readArgument(argc, argv, i, waylandOptions,
                          sizeof waylandOptions / sizeof waylandOptions[0], "--help", word,
                          problem)) {
            keepOneLine(problem);
            return WaylandBadOption;
        }
        const std::string name = word.rule->name;
        const std::string& value = word.value;
        std::string wrong;
        int64_t number = 0;
        if (name == "--help" || name == "-h") {
            return WaylandHelp;
        } else if (name == "--version") {
            return WaylandVersion;
        } else if (name == "--layer") {
            if (value == "overlay" || value == "background") {
                options.layer = value == "overlay" ? OverlayLayer : BackgroundLayer;
            } else {
                wrong = shownValue(value) + " is not a layer";
            }
        } else if (name == "--window") {
            options.window = true;
        } else if (name == "--speed") {
            wrong = readWholeNumber(value, 0, 100, number);
            options.speedPercent = wrong.empty() ? (int32_t)number : options.speedPercent;
        } else if (name == "--fixed-clock") {
            options.fixedClock = true;
        } else if (name == "--frames") {
            wrong = readWholeNumber(value, 1, 1000000000, number);
            options.frames = wrong.empty() ? number : options.frames;
        } else if (name == "--report") {
            options.report = true;
        }
        if (!wrong.empty()) {
            problem = word.spelled + ": " + wrong + " (" + word.rule->allowed + ")";
            keepOneLine(problem);
            return WaylandBadOption;
        }
    }
    if (options.window && options.layer == BackgroundLayer) {
        problem = "--window: not with --layer background (a window is not a wallpaper)";
        return WaylandBadOption;
    }
    return WaylandRun;
}
