// The command line of voidrunner-render.
#pragma once

#include <stdint.h>
#include <string>

#include "flight/flight.h"

enum ImageFormat : int32_t {
    NoImage = 0,
    PngImage,
    RawImage,
};

struct RenderOptions {
    Flight flight = defaultFlight();
    std::string outPath;
    ImageFormat outFormat = NoImage;
    bool background = false;
    std::string sequenceDir;
};

enum ParseOutcome : int32_t {
    ParsedRun = 0,
    ParsedHelp,
    ParsedVersion,
    ParseFailed,
};

// Called by main and by the fuzz target with the process's arguments; writes nothing. On
// ParseFailed, problem holds one line (without newline): the option, a colon, what is wrong
// and, in parentheses, what the option allows.
ParseOutcome parseOptions(int argc, const char* const* argv, RenderOptions& options,
                          std::string& problem);

// The --help text: every option with what it allows and its default.
std::string renderHelp();
