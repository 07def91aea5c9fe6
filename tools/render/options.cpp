#include "tools/render/options.h"

#include <math.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <strings.h>

const char renderUsage[] =
    "Usage: voidrunner-render [OPTION]...\n"
    "Flies the star field headless, through the engine's own code, and writes what the\n"
    "window would show (without the title text).\n"
    "\n"
    "  --size WIDTHxHEIGHT  frame size, each side 1 to 65535 (default 1280x720)\n"
    "  --mode saver|preview run mode; preview has fewer stars (default saver)\n"
    "  --frames N           frames to render, 0 or more (default 120)\n"
    "  --fps F              frames per second of the clock, above 0 and at most 10000000;\n"
    "                       frame k paints at k x round(10000000 / F) ticks (default 60)\n"
    "  --speed P            speed setting 0 to 100 (default 28)\n"
    "  --steer YAW,PITCH    radians of steering added before every frame (default 0,0)\n"
    "  --out FILE           write the last frame: FILE.png (8-bit RGB) or FILE.raw (the\n"
    "                       pixel words as they lie in memory: blue, green, red, 0)\n"
    "  --background         with --out, write the background image instead of a frame\n"
    "  --sequence DIR       write every frame as DIR/frame-00001.png and so on; DIR is\n"
    "                       created when it does not exist\n"
    "  --help, -h           show this help\n"
    "  --version            show the version\n"
    "\n"
    "Options take their value as the next argument or after '=' (--size=640x480).\n"
    "Prints one summary line on success. On bad input or a failed write it prints one\n"
    "line on stderr, leaves no file behind and exits with status 2.\n";

namespace {

enum OptionId : int32_t {
    OptionSize,
    OptionMode,
    OptionFrames,
    OptionFps,
    OptionSpeed,
    OptionSteer,
    OptionOut,
    OptionBackground,
    OptionSequence,
    OptionHelp,
    OptionVersion,
    OptionCount,
};

struct OptionName {
    const char* name;
    OptionId id;
    bool takesValue;
};

const OptionName optionNames[] = {
    {"--size", OptionSize, true},
    {"--mode", OptionMode, true},
    {"--frames", OptionFrames, true},
    {"--fps", OptionFps, true},
    {"--speed", OptionSpeed, true},
    {"--steer", OptionSteer, true},
    {"--out", OptionOut, true},
    {"--background", OptionBackground, false},
    {"--sequence", OptionSequence, true},
    {"--help", OptionHelp, false},
    {"-h", OptionHelp, false},
    {"--version", OptionVersion, false},
};

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

// An optional sign and one or more digits; values beyond +-10^15 saturate there, which
// every range check below rejects.
bool parseWhole(const std::string& text, int64_t& value) {
    size_t i = 0;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        i++;
    }
    if (i == text.size()) {
        return false;
    }
    const int64_t ceiling = 1000000000000000;
    int64_t magnitude = 0;
    for (; i < text.size(); i++) {
        if (!isDigit(text[i])) {
            return false;
        }
        if (magnitude < ceiling) {
            magnitude = magnitude * 10 + (text[i] - '0');
        }
    }
    if (magnitude > ceiling) {
        magnitude = ceiling;
    }
    value = negative ? -magnitude : magnitude;
    return true;
}

// An optional sign, digits and an optional fraction: no exponent, no inf or nan, so that
// every accepted text is a plain finite number.
bool isDecimal(const std::string& text) {
    size_t i = 0;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        i++;
    }
    size_t digits = 0;
    for (; i < text.size() && isDigit(text[i]); i++) {
        digits++;
    }
    if (i < text.size() && text[i] == '.') {
        for (i++; i < text.size() && isDigit(text[i]); i++) {
            digits++;
        }
    }
    return digits > 0 && i == text.size();
}

bool endsWith(const std::string& text, const char* suffix) {
    const size_t length = strlen(suffix);
    return text.size() > length && strcasecmp(text.c_str() + text.size() - length, suffix) == 0;
}

std::string quoted(const std::string& text) {
    return "'" + text + "'";
}

bool parseSize(const std::string& value, RenderOptions& options, std::string& problem) {
    const size_t cross = value.find_first_of("xX");
    int64_t width = 0, height = 0;
    if (cross == std::string::npos || !parseWhole(value.substr(0, cross), width) ||
        !parseWhole(value.substr(cross + 1), height)) {
        problem = "--size: " + quoted(value) + " is not WIDTHxHEIGHT";
        return false;
    }
    const char* side = nullptr;
    int64_t wrong = 0;
    if (width < 1 || width > largestSide) {
        side = "width";
        wrong = width;
    } else if (height < 1 || height > largestSide) {
        side = "height";
        wrong = height;
    }
    if (side) {
        problem = std::string("--size: ") + side + " " + std::to_string(wrong) +
                  " is outside 1 to " + std::to_string(largestSide);
        return false;
    }
    options.width = (int32_t)width;
    options.height = (int32_t)height;
    return true;
}

bool parseBounded(const char* name, const std::string& value, int64_t low, int64_t high,
                  int64_t& result, std::string& problem) {
    int64_t number = 0;
    if (!parseWhole(value, number)) {
        problem = std::string(name) + ": " + quoted(value) + " is not a whole number";
        return false;
    }
    if (number < low || number > high) {
        problem = std::string(name) + ": " + value + " is outside " + std::to_string(low) + " to " +
                  std::to_string(high);
        return false;
    }
    result = number;
    return true;
}

bool parseFps(const std::string& value, RenderOptions& options, std::string& problem) {
    if (!isDecimal(value)) {
        problem = "--fps: " + quoted(value) + " is not a number";
        return false;
    }
    const double fps = strtod(value.c_str(), nullptr);
    // Above 10,000,000 a frame would be shorter than one tick of the counter.
    if (!(fps > 0.0) || fps > (double)renderTicksPerSecond) {
        problem = "--fps: " + value + " is not above 0 and at most " +
                  std::to_string(renderTicksPerSecond);
        return false;
    }
    options.fps = fps;
    return true;
}

bool parseSteer(const std::string& value, RenderOptions& options, std::string& problem) {
    const size_t comma = value.find(',');
    const std::string yaw = comma == std::string::npos ? value : value.substr(0, comma);
    const std::string pitch = comma == std::string::npos ? "" : value.substr(comma + 1);
    if (comma == std::string::npos || !isDecimal(yaw) || !isDecimal(pitch)) {
        problem = "--steer: " + quoted(value) + " is not YAW,PITCH (two numbers in radians)";
        return false;
    }
    // Straight to single precision, the type the steering fields hold.
    options.steerYaw = strtof(yaw.c_str(), nullptr);
    options.steerPitch = strtof(pitch.c_str(), nullptr);
    if (!isfinite(options.steerYaw) || !isfinite(options.steerPitch)) {
        problem = "--steer: " + quoted(value) + " is too large";
        return false;
    }
    return true;
}

bool applyOption(OptionId id, const std::string& value, RenderOptions& options,
                 std::string& problem) {
    int64_t number = 0;
    switch (id) {
        case OptionSize:
            return parseSize(value, options, problem);
        case OptionMode:
            if (value == "saver" || value == "preview") {
                options.mode = value == "saver" ? Saver : Preview;
                return true;
            }
            problem = "--mode: " + quoted(value) + " is neither saver nor preview";
            return false;
        case OptionFrames:
            if (!parseBounded("--frames", value, 0, INT32_MAX, number, problem)) {
                return false;
            }
            options.frames = number;
            return true;
        case OptionFps:
            return parseFps(value, options, problem);
        case OptionSpeed:
            if (!parseBounded("--speed", value, 0, 100, number, problem)) {
                return false;
            }
            options.speedPercent = (int32_t)number;
            return true;
        case OptionSteer:
            return parseSteer(value, options, problem);
        case OptionOut:
            if (!endsWith(value, ".png") && !endsWith(value, ".raw")) {
                problem = "--out: " + quoted(value) + " does not end in .png or .raw";
                return false;
            }
            options.outPath = value;
            options.outFormat = endsWith(value, ".png") ? PngImage : RawImage;
            return true;
        case OptionSequence:
            if (value.empty()) {
                problem = "--sequence needs a folder name";
                return false;
            }
            options.sequenceDir = value;
            return true;
        case OptionBackground:
            options.background = true;
            return true;
        default:
            return true;
    }
}

// Rules between options, once all of them are known.
bool checkCombination(RenderOptions& options, std::string& problem) {
    if (options.background && options.outFormat == NoImage) {
        problem = "--background needs --out FILE to write the background to";
        return false;
    }
    if (options.outFormat != NoImage && !options.background && options.frames == 0) {
        problem = "--out: --frames 0 renders no frame to write (--background writes the "
                  "background image)";
        return false;
    }
    // The last frame's stamp, frames x frameTicks, must fit the signed 64-bit counter; the
    // quotient is checked before it is rounded, since a clock slow enough to overrun it with
    // one frame would overflow the rounding itself.
    const double ticks = (double)renderTicksPerSecond / options.fps;
    const int64_t last = options.frames > 0 ? options.frames : 1;
    bool fits = ticks < 9223372036854775808.0 / (double)last;
    if (fits) {
        options.frameTicks = llround(ticks);
        fits = options.frameTicks <= INT64_MAX / last;
    }
    if (!fits) {
        char fps[32];
        snprintf(fps, sizeof fps, "%g", options.fps);
        problem = std::string("--fps: ") + fps + " frames per second over " +
                  std::to_string(options.frames) + " frames overruns the clock";
        return false;
    }
    return true;
}

ParseOutcome parseArguments(int argc, const char* const* argv, RenderOptions& options,
                            std::string& problem) {
    options = RenderOptions{};
    bool seen[OptionCount] = {};
    for (int i = 1; i < argc; i++) {
        const std::string argument = argv[i];
        const size_t equals = argument.find('=');
        const std::string name = argument.substr(0, equals);
        const OptionName* option = nullptr;
        for (const OptionName& candidate : optionNames) {
            if (name == candidate.name) {
                option = &candidate;
            }
        }
        if (!option) {
            problem = argument.size() > 1 && argument[0] == '-'
                          ? "unknown option " + quoted(name) + " (see --help)"
                          : "unexpected argument " + quoted(argument) + " (see --help)";
            return ParseFailed;
        }
        if (option->id == OptionHelp) {
            return ParsedHelp;
        }
        if (option->id == OptionVersion) {
            return ParsedVersion;
        }
        if (seen[option->id]) {
            problem = name + " is given more than once";
            return ParseFailed;
        }
        seen[option->id] = true;
        std::string value;
        if (!option->takesValue) {
            if (equals != std::string::npos) {
                problem = name + " takes no value";
                return ParseFailed;
            }
        } else if (equals != std::string::npos) {
            value = argument.substr(equals + 1);
        } else if (i + 1 < argc && strncmp(argv[i + 1], "--", 2) != 0) {
            // No value begins with "--": that is the next option, and this one lacks its value.
            value = argv[++i];
        } else {
            problem = name + " needs a value";
            return ParseFailed;
        }
        if (!applyOption(option->id, value, options, problem)) {
            return ParseFailed;
        }
    }
    return checkCombination(options, problem) ? ParsedRun : ParseFailed;
}

} // namespace

ParseOutcome parseOptions(int argc, const char* const* argv, RenderOptions& options,
                          std::string& problem) {
    const ParseOutcome outcome = parseArguments(argc, argv, options, problem);
    // The problem quotes what it was given, which may hold line breaks or other controls:
    // the message stays one line.
    for (char& c : problem) {
        if ((unsigned char)c < 0x20 || c == 0x7F) {
            c = '?';
        }
    }
    return outcome;
}
