// The renderer's option parsing with any argument vector, in-process: it either gives a run
// whose every value lies in its documented range, or help, or version, or one line naming a
// problem; it never writes a file.
#include <string>
#include <unistd.h>
#include <vector>

#include "fuzz/input.h"
#include "tools/render/options.h"

namespace {

// Every argument, and the text after '=' in each, read as a path: whatever the parsing made
// would be named by one of them.
std::vector<std::string> pathsNamedBy(const std::vector<std::string>& arguments) {
    std::vector<std::string> paths;
    for (const std::string& argument : arguments) {
        paths.push_back(argument);
        const size_t equals = argument.find('=');
        if (equals != std::string::npos) {
            paths.push_back(argument.substr(equals + 1));
        }
    }
    return paths;
}

bool exists(const std::string& path) {
    return access(path.c_str(), F_OK) == 0;
}

bool endsWithFolded(const std::string& text, const char* suffix) {
    const size_t length = strlen(suffix);
    if (text.size() <= length) {
        return false;
    }
    for (size_t i = 0; i < length; i++) {
        const char c = text[text.size() - length + i];
        if ((c >= 'A' && c <= 'Z' ? c + ('a' - 'A') : c) != suffix[i]) {
            return false;
        }
    }
    return true;
}

void checkRun(const RenderOptions& options) {
    const Flight& flight = options.flight;
    fuzzCheck(flight.width >= 1 && flight.width <= 65535, "width in range");
    fuzzCheck(flight.height >= 1 && flight.height <= 65535, "height in range");
    fuzzCheck(flight.mode == Saver || flight.mode == Preview, "mode is saver or preview");
    fuzzCheck(flight.frames >= 0 && flight.frames <= INT32_MAX, "frames in range");
    fuzzCheck(flight.fps > 0.0 && flight.fps <= 10000000.0, "fps in range");
    fuzzCheck(flight.frameTicks >= 1, "a frame lasts at least one tick");
    fuzzCheck(flight.frames == 0 || flight.frameTicks <= INT64_MAX / flight.frames,
              "the last frame's stamp fits the counter");
    fuzzCheck(flight.speedPercent >= 0 && flight.speedPercent <= 100, "speed in range");
    fuzzCheck(fabsf(flight.steerYaw) <= 3.14159f && fabsf(flight.steerPitch) <= 3.14159f,
              "steering at most half a turn each way");
    switch (options.outFormat) {
        case NoImage:
            fuzzCheck(options.outPath.empty() && !options.background, "no output, no path");
            break;
        case PngImage:
            fuzzCheck(endsWithFolded(options.outPath, ".png"), "a PNG path ends in .png");
            break;
        case RawImage:
            fuzzCheck(endsWithFolded(options.outPath, ".raw"), "a raw path ends in .raw");
            break;
        default:
            fuzzCheck(false, "the output format is one of the three");
    }
    fuzzCheck(options.outFormat == NoImage || options.background || flight.frames > 0,
              "an image output has a frame or the background to write");
}

} // namespace

// Arguments are separated by zero bytes, as they lie in a process's argument block.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<std::string> arguments{"voidrunner-render"};
    if (size > 0) {
        arguments.emplace_back();
        for (size_t i = 0; i < size; i++) {
            if (data[i] == 0) {
                arguments.emplace_back();
            } else {
                arguments.back().push_back((char)data[i]);
            }
        }
    }
    std::vector<const char*> argv;
    for (const std::string& argument : arguments) {
        argv.push_back(argument.c_str());
    }
    argv.push_back(nullptr);

    const std::vector<std::string> paths = pathsNamedBy(arguments);
    std::vector<bool> existed;
    for (const std::string& path : paths) {
        existed.push_back(exists(path));
    }

    RenderOptions options;
    std::string problem;
    const ParseOutcome outcome = parseOptions((int)arguments.size(), argv.data(), options, problem);
    switch (outcome) {
        case ParsedRun:
            checkRun(options);
            break;
        case ParsedHelp:
        case ParsedVersion:
            break;
        case ParseFailed:
            fuzzCheck(!problem.empty(), "a failure names its problem");
            fuzzCheck(problem.find_first_of("\n\r") == std::string::npos,
                      "the problem is one line");
            fuzzCheck(problem.find(": ") != std::string::npos && problem.back() == ')',
                      "the problem reads OPTION: what is wrong (what is allowed)");
            break;
        default:
            fuzzCheck(false, "the outcome is one of the four");
    }
    for (size_t i = 0; i < paths.size(); i++) {
        fuzzCheck(existed[i] || !exists(paths[i]), "parsing writes no file");
    }
    return 0;
}
