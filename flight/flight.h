// A flight from its options: the engine started with a mode and a speed setting and flown on a
// clock, with the same steering before every frame. voidrunner-render writes such a flight,
// the web page shows it and the hack flies it on its fixed clock; all three read their options
// from text by these rules, so that they fly the same flights and refuse the same ones.
#pragma once

#include <stdint.h>
#include <string>

#include "engine/engine.h"
#include "engine/messages.h"

const int64_t flightTicksPerSecond = 10000000;

struct Flight {
    int32_t width;
    int32_t height;
    RunMode mode;
    int64_t frames;
    double fps;
    int64_t frameTicks; // round(flightTicksPerSecond / fps), once setFrameTicks succeeds
    int32_t speedPercent;
    float steerYaw;
    float steerPitch;
};

struct FlightOption {
    const char* name;     // as the page's query has it; the renderer's option is "--" and this
    const char* type;     // the value's name in --help
    const char* help;     // what the option does, in --help
    const char* allowed;  // what the value may be, in --help and in every message about it
    const char* fallback; // the value a flight without the option takes
    // Reads the value into the flight; returns what is wrong with it, or nothing.
    std::string (*read)(const std::string& value, Flight& flight);
};

const int32_t flightOptionCount = 6;
extern const FlightOption flightOptions[flightOptionCount];

// Called by every option that takes a whole number (the flight's, the hack's): an optional
// sign and decimal digits, nothing else, from lowest to highest. Returns what is wrong with the
// value, "... is not a whole number" or "... is out of range", or nothing.
std::string readWholeNumber(const std::string& value, int64_t lowest, int64_t highest,
                            int64_t& number);

// Called by the renderer, the page and the hack before they read a flight's options: each at
// its fallback.
Flight defaultFlight();

// Called by the renderer, the page and the hack once every option is read: sets frameTicks
// from fps and returns nothing, or returns how fps and frames overrun the counter.
std::string setFrameTicks(Flight& flight);

// Called by the renderer, the page and the hack before the first frame and the first size: a
// fresh engine and platform layer, the flight's mode and speed setting, and the start stamp
// on the given clock (the settable counter starts at 0).
void startFlight(const Flight& flight, PlatformClock clock);

// Called by the renderer, the page and the hack for frames 1, 2 and so on of a flight started
// on the settable clock, with the engine's window set up: the frame's steering, its stamp
// (frame x frameTicks) and its drawing into the window.
void flyFrame(const Flight& flight, int64_t frame);
