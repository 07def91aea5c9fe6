#include "tools/render/options.h"

#include <CLI/CLI.hpp>
#include <array>
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
    "begins with '--', and each option comes at most once. Prints one summary line on\n"
    "success. On bad input or a failed write it prints one line on stderr, OPTION: what is\n"
    "wrong (what it allows), leaves no file behind and exits with status 2.\n";

// A value as the messages show it: as typed, unless it would vanish or run into the words
// around it.
std::string shown(const std::string& value) {
    return value.empty() || value.find(' ') != std::string::npos ? "\"" + value + "\"" : value;
}

size_t skipSign(const std::string& text, size_t at) {
    return at < text.size() && (text[at] == '+' || text[at] == '-') ? at + 1 : at;
}

size_t skipDigits(const std::string& text, size_t at) {
    const size_t end = text.find_first_not_of("0123456789", at);
    return end == std::string::npos ? text.size() : end;
}

// An optional sign and decimal digits, with a fraction and an exponent where allowed: no inf
// or nan, no hex, no blanks, so that every accepted text is a number strtod reads whole.
bool isNumber(const std::string& text, bool fraction, bool exponent) {
    const size_t start = skipSign(text, 0);
    size_t end = skipDigits(text, start);
    size_t digits = end - start;
    if (fraction && end < text.size() && text[end] == '.') {
        const size_t after = skipDigits(text, end + 1);
        digits += after - end - 1;
        end = after;
    }
    if (digits == 0) {
        return false;
    }
    if (exponent && end < text.size() && (text[end] == 'e' || text[end] == 'E')) {
        const size_t power = skipSign(text, end + 1);
        end = skipDigits(text, power);
        if (end == power) {
            return false;
        }
    }
    return end == text.size();
}

// Decimal only: CLI11's own conversion would read 010 as octal and 0x10 as hex.
std::string readWhole(const std::string& value, int64_t lowest, int64_t highest, int64_t& number) {
    if (!isNumber(value, false, false)) {
        return shown(value) + " is not a whole number";
    }
    // strtoll saturates, so a long digit run is out of range too.
    number = strtoll(value.c_str(), nullptr, 10);
    return number < lowest || number > highest ? value + " is out of range" : "";
}

// The text before the first separator and the text after it; the second is empty when there
// is none.
std::array<std::string, 2> splitPair(const std::string& value, const char* separators) {
    const size_t at = value.find_first_of(separators);
    return {value.substr(0, at), at == std::string::npos ? "" : value.substr(at + 1)};
}

std::string readSize(const std::string& value, RenderOptions& options) {
    const std::array<std::string, 2> sides = splitPair(value, "xX");
    if (!isNumber(sides[0], false, false) || !isNumber(sides[1], false, false)) {
        return shown(value) + " is not a size";
    }
    int32_t* fields[2] = {&options.width, &options.height};
    const char* names[2] = {"width", "height"};
    for (int32_t i = 0; i < 2; i++) {
        const long long side = strtoll(sides[i].c_str(), nullptr, 10);
        if (side < 1 || side > largestSide) {
            return std::string(names[i]) + " " + sides[i] + " is out of range";
        }
        *fields[i] = (int32_t)side;
    }
    return "";
}

std::string readMode(const std::string& value, RenderOptions& options) {
    options.mode = value == "preview" ? Preview : Saver;
    return value == "saver" || value == "preview" ? "" : shown(value) + " is not a mode";
}

std::string readFrames(const std::string& value, RenderOptions& options) {
    return readWhole(value, 0, INT32_MAX, options.frames);
}

std::string readFps(const std::string& value, RenderOptions& options) {
    if (!isNumber(value, true, false)) {
        return shown(value) + " is not a number";
    }
    options.fps = strtod(value.c_str(), nullptr);
    // Above 10,000,000 a frame would be shorter than one tick of the counter.
    if (!(options.fps > 0.0) || options.fps > (double)renderTicksPerSecond) {
        return value + " is out of range";
    }
    return "";
}

std::string readSpeed(const std::string& value, RenderOptions& options) {
    int64_t speed = 0;
    const std::string wrong = readWhole(value, 0, 100, speed);
    options.speedPercent = (int32_t)speed;
    return wrong;
}

// Half a turn each way: a larger step per frame is the same turn the other way round.
const double steerLimit = 3.14159;

std::string readSteer(const std::string& value, RenderOptions& options) {
    const std::array<std::string, 2> parts = splitPair(value, ",");
    if (!isNumber(parts[0], true, true) || !isNumber(parts[1], true, true)) {
        return shown(value) + " is not YAW,PITCH";
    }
    float* fields[2] = {&options.steerYaw, &options.steerPitch};
    const char* names[2] = {"yaw", "pitch"};
    for (int32_t i = 0; i < 2; i++) {
        // Checked in double precision, so that a huge exponent is out of range rather than
        // infinite once it is narrowed to the steering fields' single precision.
        const double turn = strtod(parts[i].c_str(), nullptr);
        if (!(fabs(turn) <= steerLimit)) {
            return std::string(names[i]) + " " + parts[i] + " is out of range";
        }
        *fields[i] = (float)turn;
    }
    return "";
}

bool endsWith(const std::string& text, const char* suffix) {
    const size_t length = strlen(suffix);
    return text.size() > length && strcasecmp(text.c_str() + text.size() - length, suffix) == 0;
}

std::string readOut(const std::string& value, RenderOptions& options) {
    options.outPath = value;
    options.outFormat = endsWith(value, ".png") ? PngImage : RawImage;
    return endsWith(value, ".png") || endsWith(value, ".raw")
               ? ""
               : shown(value) + " is not a .png or .raw name";
}

std::string readSequence(const std::string& value, RenderOptions& options) {
    options.sequenceDir = value;
    return value.empty() ? shown(value) + " is not a folder name" : "";
}

struct ValueOption {
    const char* name;
    const char* type; // the value's name in --help
    const char* help;
    const char* allowed;  // what the value may be, in --help and in every message about it
    const char* fallback; // the value a run without the option takes; null when there is none
    std::string (*read)(const std::string& value, RenderOptions& options);
};

// clang-format off
const ValueOption valueOptions[] = {
    {"--size", "WIDTHxHEIGHT", "frame size", "WIDTHxHEIGHT, each from 1 to 65535", "1280x720", readSize},
    {"--mode", "MODE", "run mode; preview has fewer stars", "saver or preview", "saver", readMode},
    {"--frames", "N", "frames to render", "a whole number from 0 to 2147483647", "120", readFrames},
    {"--fps", "F", "frames per second of the clock", "a number above 0, at most 10000000", "60", readFps},
    {"--speed", "P", "the wheel's speed setting", "a whole number from 0 to 100", "28", readSpeed},
    {"--steer", "YAW,PITCH", "steering before every frame, at most half a turn",
     "YAW,PITCH in radians, each from -3.14159 to 3.14159", "0,0", readSteer},
    {"--out", "FILE", "write the last frame", "a name ending in .png or .raw", nullptr, readOut},
    {"--sequence", "DIR", "write every frame into DIR", "a folder, made if need be", nullptr, readSequence},
};
// clang-format on

const ValueOption* valueOptionNamed(const std::string& name) {
    for (const ValueOption& option : valueOptions) {
        if (name == option.name) {
            return &option;
        }
    }
    return nullptr;
}

// CLI11 holds each value as text, and the validators read it into RenderOptions.
struct OptionTexts {
    std::string values[sizeof valueOptions / sizeof valueOptions[0]];
};

// CLI11 handles the forms of options and their values, --help and --version. Each
// validator's message follows the option's name, which CLI11 puts before it.
void describeOptions(CLI::App& app, RenderOptions& options, OptionTexts& texts) {
    app.footer(footer);
    app.get_formatter()->column_width(36);
    app.set_help_flag("-h,--help", "show this help and exit");
    app.set_version_flag("--version", std::string("voidrunner-render ") + VOIDRUNNER_VERSION_TEXT,
                         "show the version and exit");
    // Unknown options and stray arguments are left for the caller to name in its own words.
    app.allow_extras();
    size_t i = 0;
    for (const ValueOption& row : valueOptions) {
        const ValueOption* option = &row;
        const auto read = [option, &options](std::string& value) -> std::string {
            // CLI11 takes the argument after an option as its value whatever it looks like; a
            // value that begins with "--" is the next option, and this one lacks its value.
            const std::string wrong = value.rfind("--", 0) == 0 ? "missing value before " + value
                                                                : option->read(value, options);
            return wrong.empty() ? "" : wrong + " (" + option->allowed + ")";
        };
        CLI::Option* added =
            app.add_option(row.name, texts.values[i++], std::string(row.help) + "\n" + row.allowed)
                ->type_name(row.type)
                ->check(CLI::Validator(read, ""))
                // Repeats are counted once the parse is done, so that CLI11 never stops on
                // one with a message of its own.
                ->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
        if (row.fallback) {
            added->default_str(row.fallback);
        }
    }
    // A flag's value is "true" unless one is given after '=', which this flag refuses.
    app.add_flag("--background", options.background,
                 "write the background image to --out's file, not a frame")
        ->check(CLI::Validator(
            [](std::string& value) -> std::string {
                return value == "true"
                           ? ""
                           : "unexpected value " + shown(value) + " (a flag takes no value)";
            },
            ""))
        ->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
}

// The platform layer's memory is claimed lazily, so a size beyond the machine would only fail once
// touched, far into the run.
std::string memoryProblem(int32_t width, int32_t height) {
    // Pixel buffer, background and the window's surface, plus the largest star array.
    const uint64_t needed = (uint64_t)width * (uint64_t)height * 4u * 3u + 3600u * sizeof(Star);
    const long pages = sysconf(_SC_PHYS_PAGES), pageSize = sysconf(_SC_PAGESIZE);
    const uint64_t memory = (uint64_t)pages * (uint64_t)pageSize;
    if (pages <= 0 || pageSize <= 0 || needed <= memory) {
        return "";
    }
    return "--size: " + std::to_string(width) + "x" + std::to_string(height) + " needs " +
           std::to_string(needed >> 20) + " MiB of memory (at most this machine's " +
           std::to_string(memory >> 20) + " MiB)";
}

// What the arguments leave over, an option given twice, and the rules between options, once
// each option's own value is known.
std::string combinationProblem(const CLI::App& app, RenderOptions& options) {
    for (const std::string& extra : app.remaining()) {
        // "--" only ends the options: what follows it is left over as it is.
        if (extra == "--") {
            continue;
        }
        if (extra.size() > 1 && extra[0] == '-') {
            return extra.substr(0, extra.find('=')) + ": unknown option (see --help)";
        }
        return shown(extra) + ": unexpected argument (only options; see --help)";
    }
    for (const CLI::Option* option : app.get_options()) {
        if (option->count() > 1) {
            return option->get_name() + ": given more than once (at most once)";
        }
    }
    if (options.background && options.outFormat == NoImage) {
        return "--background: no file to write it to (use it with --out FILE)";
    }
    if (options.outFormat != NoImage && !options.background && options.frames == 0) {
        return "--out: --frames 0 renders no frame to write (--frames from 1, or --background "
               "for the background image)";
    }
    const std::string memory = memoryProblem(options.width, options.height);
    if (!memory.empty()) {
        return memory;
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
    return std::string("--fps: ") + fps + " over " + std::to_string(options.frames) +
           " frames runs past the clock (at most " +
           std::to_string(INT64_MAX / renderTicksPerSecond) + " seconds of flight)";
}

ParseOutcome parseArguments(int argc, const char* const* argv, RenderOptions& options,
                            std::string& problem) {
    // The defaults --help shows are the ones a run takes.
    options = RenderOptions{};
    for (const ValueOption& row : valueOptions) {
        if (row.fallback) {
            row.read(row.fallback, options);
        }
    }
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
    } catch (const CLI::ArgumentMismatch& error) {
        // Every option takes its last value, so CLI11 raises this only when the arguments end
        // where a value should follow. It names the option first, as it read it: the last
        // argument may be a cluster such as -h-size that ends in the option.
        const std::string what = error.what();
        const std::string name = what.substr(0, what.find(':'));
        const ValueOption* option = valueOptionNamed(name);
        problem = name + ": missing value (" + (option ? option->allowed : "see --help") + ")";
        return ParseFailed;
    } catch (const CLI::Error& error) {
        problem = error.what();
        return ParseFailed;
    }
    problem = combinationProblem(app, options);
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

void keepOneLine(std::string& message) {
    for (char& c : message) {
        if ((unsigned char)c < 0x20 || c == 0x7F) {
            c = '?';
        }
    }
}

ParseOutcome parseOptions(int argc, const char* const* argv, RenderOptions& options,
                          std::string& problem) {
    const ParseOutcome outcome = parseArguments(argc, argv, options, problem);
    keepOneLine(problem);
    return outcome;
}
