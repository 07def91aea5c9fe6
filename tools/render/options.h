// The command line of voidrunner-render.
#pragma once

#include <stdint.h>
#include <string>

#include "engine/engine.h"

const int64_t renderTicksPerSecond = 10000000;
const int32_t largestSide = 65535;

enum ImageFormat : int32_t {
    NoImage = 0,
    PngImage,
    RawImage,
};

struct RenderOptions {
    int32_t width = 1280;
    int32_t height = 720;
    RunMode mode = Saver;
    int64_t frames = 120;
    double fps = 60.0;
    int64_t frameTicks = 166667; // round(renderTicksPerSecond / fps)
    int32_t speedPercent = 28;
    float steerYaw = 0.0f;
    float steerPitch = 0.0f;
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

// Messages quote what they were given, which may hold line breaks or other controls: each
// becomes '?', so that a message stays one line.
void keepOneLine(std::string& message);

// The --help text: every option with what it allows and its default.
std::string renderHelp();
