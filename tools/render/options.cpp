#include "tools/render/options.h"

#include <CLI/CLI.hpp>
#include <functional>
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

bool endsWith(const std::string& text, const char* suffix) {
    const size_t length = strlen(suffix);
    return text.size() > length && strcasecmp(text.c_str() + text.size() - length, suffix) == 0;
}

std::string readOut(const std::string& value, RenderOptions& options) {
    options.outPath = value;
    options.outFormat = endsWith(value, ".png") ? PngImage : RawImage;
    return endsWith(value, ".png") || endsWith(value, ".raw")
               ? ""
               : shownValue(value) + " is not a .png or .raw name";
}

std::string readSequence(const std::string& value, RenderOptions& options) {
    options.sequenceDir = value;
    return value.empty() ? shownValue(value) + " is not a folder name" : "";
}

// The renderer's own options beside the flight's.
struct OutputOption {
    const char* name;
    const char* type;
    const char* help;
    const char* allowed;
    std::string (*read)(const std::string& value, RenderOptions& options);
};

const OutputOption outputOptions[] = {
    {"--out", "FILE", "write the last frame", "a name ending in .png or .raw", readOut},
    {"--sequence", "DIR", "write every frame into DIR", "a folder, made if need be", readSequence},
};

// What the value of the option so named may be, or null for a name that is no option's.
const char* allowedFor(const std::string& name) {
    for (const FlightOption& option : flightOptions) {
        if (name == std::string("--") + option.name) {
            return option.allowed;
        }
    }
    for (const OutputOption& option : outputOptions) {
        if (name == option.name) {
            return option.allowed;
        }
    }
    return nullptr;
}

// CLI11 holds each value as text, and the validators read it into RenderOptions.
struct OptionTexts {
    std::string values[flightOptionCount + sizeof outputOptions / sizeof outputOptions[0]];
};

// One option with a value: its validator reads the value, and its message follows the option's
// name, which CLI11 puts before it.
CLI::Option* addValueOption(CLI::App& app, const std::string& name, const char* type,
                            const char* help, const char* allowed, std::string& text,
                            std::function<std::string(const std::string&)> read) {
    const auto check = [allowed, read](std::string& value) -> std::string {
        // CLI11 takes the argument after an option as its value whatever it looks like; a
        // value that begins with "--" is the next option, and this one lacks its value.
        const std::string wrong =
            value.rfind("--", 0) == 0 ? "missing value before " + value : read(value);
        return wrong.empty() ? "" : wrong + " (" + allowed + ")";
    };
    return app.add_option(name, text, std::string(help) + "\n" + allowed)
        ->type_name(type)
        ->check(CLI::Validator(check, ""))
        // Repeats are counted once the parse is done, so that CLI11 never stops on one with a
        // message of its own.
        ->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
}

// CLI11 handles the forms of options and their values, --help and --version.
void describeOptions(CLI::App& app, RenderOptions& options, OptionTexts& texts) {
    app.footer(footer);
    app.get_formatter()->column_width(36);
    app.set_help_flag("-h,--help", "show this help and exit");
    app.set_version_flag("--version", std::string("voidrunner-render ") + VOIDRUNNER_VERSION_TEXT,
                         "show the version and exit");
    // Unknown options and stray arguments are left for the caller to name in its own words.
    app.allow_extras();
    std::string* text = texts.values;
    for (const FlightOption& option : flightOptions) {
        const FlightOption* row = &option;
        addValueOption(
            app, std::string("--") + option.name, option.type, option.help, option.allowed, *text++,
            [row, &options](const std::string& value) { return row->read(value, options.flight); })
            ->default_str(option.fallback);
    }
    for (const OutputOption& option : outputOptions) {
        const OutputOption* row = &option;
        addValueOption(
            app, option.name, option.type, option.help, option.allowed, *text++,
            [row, &options](const std::string& value) { return row->read(value, options); });
    }
    // A flag's value is "true" unless one is given after '=', which this flag refuses.
    app.add_flag("--background", options.background,
                 "write the background image to --out's file, not a frame")
        ->check(CLI::Validator(
            [](std::string& value) -> std::string {
                return value == "true"
                           ? ""
                           : "unexpected value " + shownValue(value) + " (a flag takes no value)";
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
        return shownValue(extra) + ": unexpected argument (only options; see --help)";
    }
    for (const CLI::Option* option : app.get_options()) {
        if (option->count() > 1) {
            return option->get_name() + ": given more than once (at most once)";
        }
    }
    if (options.background && options.outFormat == NoImage) {
        return "--background: no file to write it to (use it with --out FILE)";
    }
    const Flight& flight = options.flight;
    if (options.outFormat != NoImage && !options.background && flight.frames == 0) {
        return "--out: --frames 0 renders no frame to write (--frames from 1, or --background "
               "for the background image)";
    }
    const std::string memory = memoryProblem(flight.width, flight.height);
    if (!memory.empty()) {
        return memory;
    }
    const std::string clock = setFrameTicks(options.flight);
    return clock.empty() ? "" : "--fps: " + clock;
}

ParseOutcome parseArguments(int argc, const char* const* argv, RenderOptions& options,
                            std::string& problem) {
    // The defaults --help shows are the ones a run takes.
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
    } catch (const CLI::ArgumentMismatch& error) {
        // Every option takes its last value, so CLI11 raises this only when the arguments end
        // where a value should follow. It names the option first, as it read it: the last
        // argument may be a cluster such as -h-size that ends in the option.
        const std::string what = error.what();
        const std::string name = what.substr(0, what.find(':'));
        const char* allowed = allowedFor(name);
        problem = name + ": missing value (" + (allowed ? allowed : "see --help") + ")";
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

ParseOutcome parseOptions(int argc, const char* const* argv, RenderOptions& options,
                          std::string& problem) {
    const ParseOutcome outcome = parseArguments(argc, argv, options, problem);
    keepOneLine(problem);
    return outcome;
}
