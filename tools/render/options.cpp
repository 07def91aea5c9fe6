#include "tools/render/options.h"

#include <CLI/CLI.hpp>
#include <math.h>
#include <stdlib.h>
#include <string.h>
#include <strings.h>
#include <unistd.h>

#include "engine/version.h"

namespace {

const char footer[] =
    "Flies the star field headless, through the engine's own code, and writes what the\n"
    "window would show (without the title text). Frame k paints at k x round(10000000 / F)\n"
    "ticks. FILE.png is 8-bit RGB; FILE.raw holds the pixel words as they lie in memory (blue,\n"
    "green, red, 0). --sequence writes DIR/frame-00001.png and so on, making DIR if need be.\n"
    "\n"
    "Options take their value as the next argument or after '=' (--size=640x480); no value\n"
    "begins with '--'. Prints one summary line on success. On bad input or a failed write it\n"
    "prints one line on stderr, leaves no file behind and exits with status 2.\n";

std::string inQuotes(const std::string& text) {
    return "'" + text + "'";
}

// An optional sign and decimal digits, with an optional fraction when allowed: no exponent,
// no inf or nan, no hex, so that every accepted text is a plain finite number.
bool isNumber(const std::string& text, bool fraction) {
    const size_t start = !text.empty() && (text[0] == '+' || text[0] == '-') ? 1 : 0;
    const size_t point = fraction ? text.find('.', start) : std::string::npos;
    const std::string digits = point == std::string::npos
                                   ? text.substr(start)
                                   : text.substr(start, point - start) + text.substr(point + 1);
    return !digits.empty() && digits.find_first_not_of("0123456789") == std::string::npos;
}

// CLI11 takes the argument after an option as its value whatever it looks like; a value that
// begins with "--" is the next option, and this one lacks its value.
std::string notAnOption(std::string& value) {
    return value.rfind("--", 0) == 0 ? "needs a value, not the option " + inQuotes(value) : "";
}

// CLI11 reads whole numbers with base detection (010 as octal, 0x10 as hex): this hands it
// plain decimal digits without their leading zeros.
std::string plainWhole(std::string& value) {
    if (!isNumber(value, false)) {
        return inQuotes(value) + " is not a whole number";
    }
    const size_t first = value.find_first_not_of("+-");
    const size_t digit = value.find_first_not_of('0', first);
    value.erase(first, (digit == std::string::npos ? value.size() - 1 : digit) - first);
    return "";
}

// The stand-in's memory is claimed lazily, so a size beyond the machine would only fail once
// touched, far into the run.
std::string memoryProblem(int32_t width, int32_t height) {
    // Pixel buffer, background and the window's surface, plus the largest star array.
    const uint64_t needed = (uint64_t)width * (uint64_t)height * 4u * 3u + 3600u * sizeof(Star);
    const long pages = sysconf(_SC_PHYS_PAGES), pageSize = sysconf(_SC_PAGESIZE);
    const uint64_t memory = (uint64_t)pages * (uint64_t)pageSize;
    if (pages <= 0 || pageSize <= 0 || needed <= memory) {
        return "";
    }
    return std::to_string(width) + "x" + std::to_string(height) + " needs " +
           std::to_string(needed >> 20) + " MiB, more than this machine's " +
           std::to_string(memory >> 20) + " MiB";
}

std::string readSize(const std::string& value, RenderOptions& options) {
    const size_t cross = value.find_first_of("xX");
    const std::string sides[2] = {value.substr(0, cross),
                                  cross == std::string::npos ? "" : value.substr(cross + 1)};
    if (!isNumber(sides[0], false) || !isNumber(sides[1], false)) {
        return inQuotes(value) + " is not WIDTHxHEIGHT";
    }
    int32_t* fields[2] = {&options.width, &options.height};
    const char* names[2] = {"width", "height"};
    for (int32_t i = 0; i < 2; i++) {
        // strtoll saturates, so a long digit run is out of range too.
        const long long side = strtoll(sides[i].c_str(), nullptr, 10);
        if (side < 1 || side > largestSide) {
            return std::string(names[i]) + " " + sides[i] + " is outside 1 to " +
                   std::to_string(largestSide);
        }
        *fields[i] = (int32_t)side;
    }
    return memoryProblem(options.width, options.height);
}

std::string readFps(const std::string& value, RenderOptions& options) {
    if (!isNumber(value, true)) {
        return inQuotes(value) + " is not a number";
    }
    options.fps = strtod(value.c_str(), nullptr);
    // Above 10,000,000 a frame would be shorter than one tick of the counter.
    if (!(options.fps > 0.0) || options.fps > (double)renderTicksPerSecond) {
        return value + " is not above 0 and at most " + std::to_string(renderTicksPerSecond);
    }
    return "";
}

std::string readSteer(const std::string& value, RenderOptions& options) {
    const size_t comma = value.find(',');
    const std::string yaw = value.substr(0, comma);
    const std::string pitch = comma == std::string::npos ? "" : value.substr(comma + 1);
    if (!isNumber(yaw, true) || !isNumber(pitch, true)) {
        return inQuotes(value) + " is not YAW,PITCH (two numbers in radians)";
    }
    // Straight to single precision, the type the steering fields hold.
    options.steerYaw = strtof(yaw.c_str(), nullptr);
    options.steerPitch = strtof(pitch.c_str(), nullptr);
    return isfinite(options.steerYaw) && isfinite(options.steerPitch)
               ? ""
               : inQuotes(value) + " is too large";
}

bool endsWith(const std::string& text, const char* suffix) {
    const size_t length = strlen(suffix);
    return text.size() > length && strcasecmp(text.c_str() + text.size() - length, suffix) == 0;
}

std::string readOut(const std::string& value, RenderOptions& options) {
    options.outFormat = endsWith(value, ".png") ? PngImage : RawImage;
    return endsWith(value, ".png") || endsWith(value, ".raw")
               ? ""
               : inQuotes(value) + " does not end in .png or .raw";
}

// A validator that reads its value into options; its description follows the type in --help.
CLI::Validator reading(std::string (*read)(const std::string&, RenderOptions&),
                       RenderOptions& options, const char* shown) {
    return CLI::Validator([read, &options](std::string& value) { return read(value, options); },
                          shown);
}

std::string noValue(std::string& value) {
    return value == "true" ? "" : "takes no value";
}

std::string folderName(std::string& value) {
    return value.empty() ? "needs a folder name" : "";
}

// The options that CLI11 holds as text, with their defaults; the validators read them into
// RenderOptions.
struct OptionTexts {
    std::string size = "1280x720";
    std::string mode = "saver";
    std::string fps = "60";
    std::string steer = "0,0";
};

// What CLI11 checks itself: the option forms, repeats, unknown names, the ranges of the whole
// numbers, the mode's two names and --background's need of --out. Validators do the rest.
void describeOptions(CLI::App& app, RenderOptions& options, OptionTexts& texts) {
    app.footer(footer);
    app.get_formatter()->column_width(40);
    app.set_help_flag("-h,--help", "show this help and exit");
    app.set_version_flag("--version", std::string("voidrunner-render ") + VOIDRUNNER_VERSION_TEXT,
                         "show the version and exit");
    const auto valueOption = [&](const char* name, auto& target, const char* type,
                                 const char* help) {
        return app.add_option(name, target, help)
            ->type_name(type)
            ->check(CLI::Validator(notAnOption, ""));
    };
    valueOption("--size", texts.size, "WIDTHxHEIGHT", "frame size")
        ->check(reading(readSize, options, "each in [1 - 65535]"))
        ->capture_default_str();
    valueOption("--mode", texts.mode, "MODE", "run mode; preview has fewer stars")
        ->check(CLI::IsMember({"saver", "preview"}))
        ->capture_default_str();
    valueOption("--frames", options.frames, "N", "frames to render")
        ->transform(CLI::Validator(plainWhole, ""))
        ->check(CLI::Range((int64_t)0, (int64_t)INT32_MAX).description("in [0 - 2147483647]"))
        ->capture_default_str();
    valueOption("--fps", texts.fps, "F", "frames per second of the clock")
        ->check(reading(readFps, options, "in (0 - 10000000]"))
        ->capture_default_str();
    valueOption("--speed", options.speedPercent, "P", "the wheel's speed setting")
        ->transform(CLI::Validator(plainWhole, ""))
        ->check(CLI::Range(0, 100).description("in [0 - 100]"))
        ->capture_default_str();
    valueOption("--steer", texts.steer, "YAW,PITCH", "radians of steering before every frame")
        ->check(reading(readSteer, options, ""))
        ->capture_default_str();
    CLI::Option* out = valueOption("--out", options.outPath, "FILE", "write the last frame")
                           ->check(reading(readOut, options, "*.png or *.raw"));
    // A flag's value is "true" unless one is given after '=', which this flag refuses.
    app.add_flag("--background", options.background, "write the background image, not a frame")
        ->check(CLI::Validator(noValue, ""))
        ->multi_option_policy(CLI::MultiOptionPolicy::Throw)
        ->needs(out);
    valueOption("--sequence", options.sequenceDir, "DIR", "write every frame into DIR")
        ->check(CLI::Validator(folderName, ""));
}

// Rules between options, once all of them are known.
std::string combinationProblem(RenderOptions& options) {
    if (options.outFormat != NoImage && !options.background && options.frames == 0) {
        return "--out: --frames 0 renders no frame to write (--background writes the "
               "background image)";
    }
    // The last frame's stamp, frames x frameTicks, must fit the signed 64-bit counter; the
    // quotient is checked before it is rounded, since a clock slow enough to overrun it with
    // one frame would overflow the rounding itself.
    const double ticks = (double)renderTicksPerSecond / options.fps;
    const int64_t last = options.frames > 0 ? options.frames : 1;
    if (ticks < 9223372036854775808.0 / (double)last) {
        options.frameTicks = llround(ticks);
        if (options.frameTicks <= INT64_MAX / last) {
            return "";
        }
    }
    char fps[32];
    snprintf(fps, sizeof fps, "%g", options.fps);
    return std::string("--fps: ") + fps + " frames per second over " +
           std::to_string(options.frames) + " frames overruns the clock";
}

ParseOutcome parseArguments(int argc, const char* const* argv, RenderOptions& options,
                            std::string& problem) {
    options = RenderOptions{};
    OptionTexts texts;
    CLI::App app("", "voidrunner-render");
    describeOptions(app, options, texts);
    // CLI11 reports through exceptions; they end here, at the boundary of the parse.
    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp&) {
        return ParsedHelp;
    } catch (const CLI::CallForVersion&) {
        return ParsedVersion;
    } catch (const CLI::ExtrasError& error) {
        problem = std::string(error.what()) + " (see --help)";
        return ParseFailed;
    } catch (const CLI::Error& error) {
        problem = error.what();
        return ParseFailed;
    }
    options.mode = texts.mode == "preview" ? Preview : Saver;
    problem = combinationProblem(options);
    return problem.empty() ? ParsedRun : ParseFailed;
}

} // namespace

std::string renderHelp() {
    RenderOptions options;
    OptionTexts texts;
    CLI::App app("", "voidrunner-render");
    describeOptions(app, options, texts);
    return app.help();
}

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
