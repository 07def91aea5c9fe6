// PNG writing for the native tools, through libpng.
#pragma once

#include <stddef.h>
#include <stdint.h>
#include <stdio.h>

enum PngPixels : int32_t {
    PngEngineWords,  // the engine's pixel words (blue, green, red, 0 in memory), written as RGB
    PngStraightRgba, // red, green, blue, alpha bytes, written as RGBA
};

// Writes width x height pixels of 4 bytes each, rows top-down, to file. compressionLevel is
// zlib's 0 to 9, or -1 for libpng's default. On failure message holds the encoder's reason.
bool writePng(FILE* file, const void* pixels, int32_t width, int32_t height, PngPixels layout,
              int32_t compressionLevel, char* message, size_t messageSize);
