// The frame's costs beside the floor they are measured against: one block copy of a frame.
#include <benchmark/benchmark.h>

#include <string.h>
#include <vector>

#include "engine/engine.h"
#include "engine/input.h"

namespace {

const int64_t second = 10000000;
const int64_t frameTicks = 166667; // one 60th of a second

// One monitor, one 4K monitor, three 4K monitors side by side.
void addSizes(benchmark::internal::Benchmark* bench) {
    bench->ArgNames({"width", "height"})
        ->Args({1920, 1080})
        ->Args({3840, 2160})
        ->Args({11520, 2160});
}

void fillBackgroundBench(benchmark::State& state) {
    const BackgroundPath path = (BackgroundPath)state.range(0);
    const int32_t width = (int32_t)state.range(1), height = (int32_t)state.range(2);
    if (!backgroundPathAvailable(path)) {
        state.SkipWithError("this processor lacks the path");
        return;
    }
    std::vector<uint32_t> words((size_t)width * height);
    for (auto _ : state) {
        fillBackgroundOn(path, words.data(), width, height);
        benchmark::DoNotOptimize(words.data());
        benchmark::ClobberMemory();
    }
}
BENCHMARK(fillBackgroundBench)
    ->ArgNames({"path", "width", "height"})
    ->ArgsProduct({{BackgroundScalar, BackgroundSse2, BackgroundAvx2}, {1920}, {1080}})
    ->ArgsProduct({{BackgroundScalar, BackgroundSse2, BackgroundAvx2}, {3840}, {2160}})
    ->ArgsProduct({{BackgroundScalar, BackgroundSse2, BackgroundAvx2}, {11520}, {2160}})
    ->Unit(benchmark::kMillisecond);

void blockCopyBench(benchmark::State& state) {
    const size_t words = (size_t)state.range(0) * (size_t)state.range(1);
    std::vector<uint32_t> from(words, 0x00102030u), to(words);
    for (auto _ : state) {
        memcpy(to.data(), from.data(), words * 4);
        benchmark::DoNotOptimize(to.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed((int64_t)state.iterations() * (int64_t)(words * 4));
}
BENCHMARK(blockCopyBench)->Apply(addSizes)->Unit(benchmark::kMillisecond);

// A window that has flown for a second at the given setting, its speed already reached, so
// that every measured frame flies at that setting with streaks at full length.
struct BenchFlight {
    HWND window;
    int64_t counter;
};

BenchFlight flyOneSecond(int32_t width, int32_t height, int32_t percent) {
    resetEngineState();
    resetPlatform();
    engine.runMode = Saver;
    engine.counterFrequency = second;
    setSpeedSetting(percent);
    engine.currentSpeed = engine.targetSpeed;
    BenchFlight flight{createSurfaceWindow(width, height), 0};
    engine.mainWindow = flight.window;
    rebuildFrameBuffers(width, height);
    for (int frame = 0; frame < 60; frame++) {
        flight.counter += frameTicks;
        platform.counter = flight.counter;
        renderFrame(flight.window);
    }
    return flight;
}

void endBenchFlight(benchmark::State& state, BenchFlight& flight) {
    state.counters["stars"] = engine.starCount;
    releaseFrameBuffers();
    destroySurfaceWindow(flight.window);
    resetEngineState();
}

void renderFrameBench(benchmark::State& state) {
    BenchFlight flight =
        flyOneSecond((int32_t)state.range(0), (int32_t)state.range(1), (int32_t)state.range(2));
    for (auto _ : state) {
        flight.counter += frameTicks;
        platform.counter = flight.counter;
        renderFrame(flight.window);
        benchmark::DoNotOptimize(flight.window->surface);
        benchmark::ClobberMemory();
    }
    endBenchFlight(state, flight);
}
BENCHMARK(renderFrameBench)
    ->ArgNames({"width", "height", "speed"})
    ->ArgsProduct({{1920}, {1080}, {28, 100}})
    ->ArgsProduct({{3840}, {2160}, {28, 100}})
    ->ArgsProduct({{11520}, {2160}, {28, 100}})
    ->Unit(benchmark::kMillisecond);

// One frame's three parts, each measured alone on the frames of a flight.
enum FramePart : int64_t {
    Restoring = 0, // copying back what the previous frame changed
    Stars,         // stepping and drawing every star
    Presenting,    // the copy to the window
};

void framePartBench(benchmark::State& state) {
    const FramePart part = (FramePart)state.range(0);
    BenchFlight flight =
        flyOneSecond((int32_t)state.range(1), (int32_t)state.range(2), (int32_t)state.range(3));
    // What one frame leaves in the change map, laid back before every restore.
    const size_t mapWords = (size_t)engine.height * (uint32_t)engine.changeMapStride;
    std::vector<uint64_t> changes(engine.changeMap, engine.changeMap + mapWords);
    PAINTSTRUCT paint;
    HDC paintDc = BeginPaint(flight.window, &paint);
    for (auto _ : state) {
        switch (part) {
            case Restoring:
                state.PauseTiming();
                memcpy(engine.changeMap, changes.data(), mapWords * 8);
                state.ResumeTiming();
                restoreBackground();
                break;
            case Stars:
                engine.flightTime += (double)frameTicks / second;
                flyStars(makeFrameView(0.0f, 0.0f, (double)frameTicks / second));
                break;
            case Presenting:
                presentFrame(paintDc);
                break;
        }
        benchmark::DoNotOptimize(engine.pixels);
        benchmark::ClobberMemory();
    }
    EndPaint(flight.window, &paint);
    endBenchFlight(state, flight);
}
BENCHMARK(framePartBench)
    ->ArgNames({"part", "width", "height", "speed"})
    ->ArgsProduct({{Restoring, Stars, Presenting}, {1920}, {1080}, {28, 100}})
    ->ArgsProduct({{Restoring, Stars, Presenting}, {3840}, {2160}, {28}})
    ->ArgsProduct({{Restoring, Stars, Presenting}, {11520}, {2160}, {28}})
    ->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
