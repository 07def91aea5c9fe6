// The frame's costs beside the floor they are measured against: one block copy of a frame.
#include <benchmark/benchmark.h>

#include <string.h>
#include <vector>

#include "engine/engine.h"

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
    ->Args({BackgroundScalar, 3840, 2160})
    ->Args({BackgroundSse2, 3840, 2160})
    ->Args({BackgroundAvx2, 3840, 2160})
    ->Args({BackgroundScalar, 11520, 2160})
    ->Args({BackgroundSse2, 11520, 2160})
    ->Args({BackgroundAvx2, 11520, 2160})
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

void renderFrameBench(benchmark::State& state) {
    const int32_t width = (int32_t)state.range(0), height = (int32_t)state.range(1);
    const int32_t percent = (int32_t)state.range(2);
    resetEngineState();
    standInReset();
    engine.runMode = Saver;
    engine.counterFrequency = second;
    engine.speedPercent = percent;
    engine.targetSpeed = speedCurve(percent);
    // Already at speed, so that every measured frame flies at the named setting.
    engine.currentSpeed = engine.targetSpeed;
    HWND window = standInCreateWindow(width, height);
    engine.mainWindow = window;
    rebuildFrameBuffers(width, height);
    int64_t counter = 0;
    // A second of flight first: the population leaves its spawn and streaks reach full length.
    for (int frame = 0; frame < 60; frame++) {
        counter += frameTicks;
        standIn.counter = counter;
        renderFrame(window);
    }
    for (auto _ : state) {
        counter += frameTicks;
        standIn.counter = counter;
        renderFrame(window);
        benchmark::DoNotOptimize(window->surface);
        benchmark::ClobberMemory();
    }
    state.counters["stars"] = engine.starCount;
    releaseFrameBuffers();
    standInDestroyWindow(window);
    resetEngineState();
}
BENCHMARK(renderFrameBench)
    ->ArgNames({"width", "height", "speed"})
    ->Args({1920, 1080, 28})
    ->Args({1920, 1080, 100})
    ->Args({3840, 2160, 28})
    ->Args({3840, 2160, 100})
    ->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
