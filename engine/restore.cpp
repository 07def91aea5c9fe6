#include "engine/engine.h"

#include <string.h>

// The map starts on a cache line of its own behind the image.
static uint64_t imageBytes(int32_t width, int32_t height) {
    return ((uint64_t)(uint32_t)width * (uint32_t)height * 4u + 63u) & ~(uint64_t)63u;
}

int32_t changeMapStrideFor(int32_t width) {
    const int32_t runs = (width + changeRunPixels - 1) / changeRunPixels;
    return (runs + 63) / 64;
}

uint64_t backgroundAllocationBytes(int32_t width, int32_t height) {
    return imageBytes(width, height) +
           (uint64_t)(uint32_t)height * (uint32_t)changeMapStrideFor(width) * 8u;
}

void attachChangeMap() {
    engine.changeMap =
        (uint64_t*)((uint8_t*)engine.background + imageBytes(engine.width, engine.height));
    engine.changeMapStride = changeMapStrideFor(engine.width);
    engine.changeMapValid = false;
}

void markChanged(int32_t left, int32_t top, int32_t right, int32_t bottom) {
    if (!engine.changeMap) {
        return;
    }
    left = left > 0 ? left : 0;
    top = top > 0 ? top : 0;
    right = right < engine.width - 1 ? right : engine.width - 1;
    bottom = bottom < engine.height - 1 ? bottom : engine.height - 1;
    if (left > right || top > bottom) {
        return;
    }
    uint64_t* row = engine.changeMap + (size_t)top * (uint32_t)engine.changeMapStride;
    for (int32_t y = top; y <= bottom; y++, row += engine.changeMapStride) {
        markRuns(row, left, right);
    }
}

// Copies runs first .. end - 1 of the row that starts at word rowStart back from the
// background.
static void restoreRuns(size_t rowStart, int32_t first, int32_t end) {
    const int32_t left = first * changeRunPixels;
    const int32_t right =
        end * changeRunPixels < engine.width ? end * changeRunPixels : engine.width;
    memcpy(engine.pixels + rowStart + left, engine.background + rowStart + left,
           (size_t)(right - left) * 4u);
}

void restoreBackground() {
    const int32_t stride = engine.changeMapStride;
    if (!engine.changeMapValid) {
        memcpy(engine.pixels, engine.background,
               (size_t)(uint32_t)engine.width * (uint32_t)engine.height * 4u);
        memset(engine.changeMap, 0, (size_t)(uint32_t)engine.height * (uint32_t)stride * 8u);
        engine.changeMapValid = true;
        return;
    }
    uint64_t* row = engine.changeMap;
    for (int32_t y = 0; y < engine.height; y++, row += stride) {
        const size_t rowStart = (size_t)y * (uint32_t)engine.width;
        // Runs that meet across a word boundary are copied as one.
        int32_t pendingFirst = 0, pendingEnd = -1;
        for (int32_t word = 0; word < stride; word++) {
            uint64_t bits = row[word];
            if (!bits) {
                continue;
            }
            row[word] = 0;
            while (bits) {
                const int32_t start = __builtin_ctzll(bits);
                const uint64_t from = bits >> start;
                const int32_t length = ~from ? __builtin_ctzll(~from) : 64 - start;
                const int32_t first = word * 64 + start;
                if (first != pendingEnd) {
                    if (pendingEnd >= 0) {
                        restoreRuns(rowStart, pendingFirst, pendingEnd);
                    }
                    pendingFirst = first;
                }
                pendingEnd = first + length;
                bits = length + start >= 64 ? 0 : bits & (~(uint64_t)0 << (start + length));
            }
        }
        if (pendingEnd >= 0) {
            restoreRuns(rowStart, pendingFirst, pendingEnd);
        }
    }
}
