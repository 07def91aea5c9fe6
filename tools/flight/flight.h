// A recorded flight: the engine flown on a fixed clock with the same steering before every
// frame, as voidrunner-render writes it and the web page shows it. Both read its options from
// text by these rules, so that they fly the same flights and refuse the same ones.
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
    int64_t frameTicks; // round(flightTicksPerSecond / fps), once flightClockProblem passes
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

// Called by the renderer and the page before they read a flight's options: each at its fallback.
Flight defaultFlight();

// Called by the renderer and the page once every option is read: how fps and frames overrun
// the counter, or nothing once frameTicks is set.
std::string flightClockProblem(Flight& flight);

// Called by the renderer and the page for frames 1, 2 and so on, with the engine's window and
// the platform layer's settable clock set up: the frame's steering, its stamp (frame x
// frameTicks) and its drawing into the window.
void flyFrame(const Flight& flight, int64_t frame);
