// voidrunner-render: the engine's frames without a window, through the platform layer.
#include <errno.h>
#include <stdio.h>
#include <string.h>
#include <string>
#include <time.h>
#include <unistd.h>

#include "engine/engine.h"
#include "engine/version.h"
#include "tools/render/options.h"
#include "tools/render/output.h"

namespace {

bool progressShown = false;

double secondsNow() {
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return (double)now.tv_sec + (double)now.tv_nsec * 1e-9;
}

void clearProgress() {
    if (progressShown) {
        fputs("\r\033[K", stderr);
        progressShown = false;
    }
}

int fail(std::string problem) {
    clearProgress();
    keepOneLine(problem);
    fprintf(stderr, "voidrunner-render: %s\n", problem.c_str());
    return 2;
}

// A failure while rendering, named after the option whose output or size it concerns.
int failOn(const char* option, const std::string& problem) {
    return fail(std::string(option) + ": " + problem);
}

struct RenderFonts {
    HFONT title;
    HFONT caption;
};

// What the program's start-up and its window's first WM_SIZE leave behind.
bool startEngine(const Flight& flight, RenderFonts& fonts) {
    startFlight(flight, SettableClock);
    fonts.title = createTextFont(-22);
    fonts.caption = createTextFont(-13);
    engine.titleFont = fonts.title;
    engine.captionFont = fonts.caption;
    engine.mainWindow = createSurfaceWindow(flight.width, flight.height);
    if (!engine.mainWindow) {
        return false;
    }
    rebuildFrameBuffers(flight.width, flight.height);
    return engine.pixels && engine.background && engine.stars;
}

void stopEngine(RenderFonts& fonts) {
    releaseFrameBuffers();
    destroySurfaceWindow(engine.mainWindow);
    deleteTextFont(fonts.title);
    deleteTextFont(fonts.caption);
    resetEngineState();
}

std::string frameFileName(const std::string& dir, int64_t frame) {
    char name[32];
    snprintf(name, sizeof name, "/frame-%05lld.png", (long long)frame);
    return dir + name;
}

// A failed sequence takes back every frame it wrote, and its folder if it made it.
void removeSequence(const std::string& dir, int64_t written, bool createdDir) {
    for (int64_t frame = 1; frame <= written; frame++) {
        unlink(frameFileName(dir, frame).c_str());
    }
    if (createdDir) {
        rmdir(dir.c_str());
    }
}

struct Progress {
    bool terminal;
    double start;
    double lastShown;
};

void showProgress(Progress& progress, int64_t frame, int64_t frames) {
    if (!progress.terminal) {
        return;
    }
    const double now = secondsNow();
    if (now - progress.start < 1.0 || now - progress.lastShown < 0.1) {
        return;
    }
    progress.lastShown = now;
    fprintf(stderr, "\rframe %lld of %lld (%d%%)", (long long)frame, (long long)frames,
            (int)(frame * 100 / frames));
    progressShown = true;
}

int render(const RenderOptions& options) {
    const Flight& flight = options.flight;
    std::string problem;
    removeTemporariesOnSignal();
    OutputFile output;
    if (options.outFormat != NoImage && !openOutput(options.outPath, output, problem)) {
        return failOn("--out", problem);
    }
    bool createdDir = false;
    const bool sequence = !options.sequenceDir.empty();
    if (sequence && !prepareFolder(options.sequenceDir, createdDir, problem)) {
        abandonOutput(output);
        return failOn("--sequence", problem);
    }
    RenderFonts fonts{};
    if (!startEngine(flight, fonts)) {
        stopEngine(fonts);
        abandonOutput(output);
        removeSequence(options.sequenceDir, 0, createdDir);
        return failOn("--size", "cannot allocate the frame buffers for " +
                                    std::to_string(flight.width) + "x" +
                                    std::to_string(flight.height) + " (a smaller size)");
    }

    const uint32_t* shown = engine.mainWindow->surface;
    Progress progress{isatty(STDERR_FILENO) == 1, secondsNow(), 0.0};
    double engineSeconds = 0.0;
    for (int64_t frame = 1; frame <= flight.frames; frame++) {
        const double before = secondsNow();
        flyFrame(flight, frame);
        engineSeconds += secondsNow() - before;
        if (sequence && !writeImageFile(frameFileName(options.sequenceDir, frame), PngImage, shown,
                                        flight.width, flight.height, problem)) {
            stopEngine(fonts);
            abandonOutput(output);
            removeSequence(options.sequenceDir, frame - 1, createdDir);
            return failOn("--sequence", problem);
        }
        showProgress(progress, frame, flight.frames);
    }

    if (options.outFormat != NoImage) {
        const uint32_t* image = options.background ? engine.background : shown;
        if (!finishOutput(output, options.outFormat, image, flight.width, flight.height, problem)) {
            stopEngine(fonts);
            removeSequence(options.sequenceDir, sequence ? flight.frames : 0, createdDir);
            return failOn("--out", problem);
        }
    }
    clearProgress();

    char timing[48];
    if (flight.frames > 0) {
        snprintf(timing, sizeof timing, "%.3f ms per frame",
                 engineSeconds * 1000.0 / (double)flight.frames);
    } else {
        snprintf(timing, sizeof timing, "no frame timed");
    }
    // The speed is the setting as given, 0 to 100, not the engine's eased internal speed.
    printf("size %dx%d, mode %s, stars %d, frames %lld, speed %d, rng 0x%08x, engine %s\n",
           flight.width, flight.height, flight.mode == Preview ? "preview" : "saver",
           engine.starCount, (long long)flight.frames, flight.speedPercent, engine.rngState,
           timing);
    stopEngine(fonts);
    return fflush(stdout) == 0
               ? 0
               : fail(std::string("stdout: cannot write the summary (") + strerror(errno) + ")");
}

} // namespace

int main(int argc, char** argv) {
    RenderOptions options;
    std::string problem;
    switch (parseOptions(argc, argv, options, problem)) {
        case ParsedHelp:
            fputs(renderHelp().c_str(), stdout);
            return 0;
        case ParsedVersion:
            printf("voidrunner-render %s\n", VOIDRUNNER_VERSION_TEXT);
            return 0;
        case ParseFailed:
            return fail(problem);
        case ParsedRun:
            break;
    }
    return render(options);
}
