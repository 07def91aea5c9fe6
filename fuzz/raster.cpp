// drawStar with any star record, positions, depth, speed factor and flight time, into a
// buffer of any small size: it stays inside the buffer, only ever adds light, leaves the top
// byte of every word 0, gives the reference drawing's bits and marks every run it changes.
#include <vector>

#include "engine/engine.h"
#include "fuzz/input.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzInput in{data, size, 0};
    resetEngineState();
    const int32_t width = takeByte(in) % 49;
    const int32_t height = takeByte(in) % 49;

    Star star;
    memset(&star, 0, sizeof star);
    star.x = takeFloat(in);
    star.y = takeFloat(in);
    star.z = takeFloat(in);
    star.zPrev = takeFloat(in);
    star.size = takeFloat(in);
    star.twinklePhase = takeFloat(in);
    star.twinkleRate = takeFloat(in);
    for (uint8_t& weight : star.tint) {
        weight = takeByte(in);
    }
    const ScreenPoint at{takeFloat(in), takeFloat(in)};
    const ScreenPoint before{takeFloat(in), takeFloat(in)};
    const float z = takeFloat(in);
    const float speedFactor = takeFloat(in);
    const uint64_t timeBits = takeBits(in, 8);
    memcpy(&engine.flightTime, &timeBits, sizeof engine.flightTime);

    // Exactly width x height words, so that AddressSanitizer sees a step past either end.
    std::vector<uint32_t> pixels((size_t)width * (size_t)height);
    for (uint32_t& word : pixels) {
        word = (uint32_t)takeBits(in, 3);
    }
    const std::vector<uint32_t> start = pixels;
    engine.width = width;
    engine.height = height;

    std::vector<uint32_t> reference = pixels;
    engine.pixels = reference.data();
    drawShapeClipped(shapeStar(star, at, before, z, streakScaleFor(speedFactor)));

    const int32_t stride = changeMapStrideFor(width);
    std::vector<uint64_t> changes((size_t)height * (size_t)stride);
    engine.pixels = pixels.data();
    engine.changeMap = changes.data();
    engine.changeMapStride = stride;
    drawStar(star, at, before, z, speedFactor);

    fuzzCheck(pixels == reference, "the fast path gives the reference bits");
    for (size_t i = 0; i < pixels.size(); i++) {
        const size_t run = i % (size_t)width / changeRunPixels;
        fuzzCheck(pixels[i] == start[i] ||
                      (changes[i / (size_t)width * (size_t)stride + run / 64] >> (run % 64) & 1),
                  "every changed pixel is marked");
    }

    for (size_t i = 0; i < pixels.size(); i++) {
        fuzzCheck(pixels[i] >> 24 == 0, "bits 24 to 31 stay 0");
        for (int32_t shift = 0; shift < 24; shift += 8) {
            fuzzCheck((pixels[i] >> shift & 0xFFu) >= (start[i] >> shift & 0xFFu),
                      "a channel never loses light");
        }
    }
    resetEngineState();
    return 0;
}
