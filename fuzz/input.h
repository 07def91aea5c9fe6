// What every fuzz target shares: the fuzzer's bytes read as a stream of values, and the check
// that stops the run when an invariant breaks.
#pragma once

#include <float.h>
#include <math.h>
#include <stddef.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

// Past the end every value reads as zero, so that any prefix of an input is an input too.
struct FuzzInput {
    const uint8_t* data;
    size_t size;
    size_t at;
};

inline bool inputLeft(const FuzzInput& in) {
    return in.at < in.size;
}

inline uint8_t takeByte(FuzzInput& in) {
    return in.at < in.size ? in.data[in.at++] : 0;
}

inline uint64_t takeBits(FuzzInput& in, int32_t bytes) {
    uint64_t value = 0;
    for (int32_t i = 0; i < bytes; i++) {
        value |= (uint64_t)takeByte(in) << (8 * i);
    }
    return value;
}

inline float floatOfBits(uint32_t bits) {
    float value;
    memcpy(&value, &bits, sizeof value);
    return value;
}

// A float chosen by a tag byte: raw bits half the time, otherwise a value of a shape the
// engine meets (small fractions, whole numbers, magnitudes near the integer limits) or one of
// the values that break arithmetic.
inline float takeFloat(FuzzInput& in) {
    static const float special[16] = {
        NAN,           -NAN,           INFINITY,      -INFINITY, 0.0f,    -0.0f,
        FLT_MAX,       -FLT_MAX,       FLT_MIN,       1.0e-45f,  1.0e10f, -1.0e10f,
        2147483648.0f, -2147483648.0f, 1073741824.0f, 1500.0f,
    };
    const uint8_t tag = takeByte(in);
    switch (tag % 8) {
        case 2:
            return special[(tag >> 3) % 16];
        case 3:
        case 4:
            return (float)(int16_t)takeBits(in, 2) / 64.0f;
        case 5:
            return (float)(int8_t)takeByte(in);
        case 6:
            return (float)(uint16_t)takeBits(in, 2) / 16.0f;
        case 7:
            return (float)(int32_t)takeBits(in, 4);
        default:
            return floatOfBits((uint32_t)takeBits(in, 4));
    }
}

inline void fuzzCheck(bool holds, const char* what) {
    if (!holds) {
        fprintf(stderr, "fuzz check failed: %s\n", what);
        abort();
    }
}
