#include "engine/engine.h"

#include <math.h>

int32_t starCountFor(uint32_t pixelCount) {
    uint32_t count;
    if (engine.runMode == Preview) {
        count = pixelCount / 80u;
        count = count < 220u ? 220u : count > 1100u ? 1100u : count;
    } else {
        count = pixelCount / 780u;
        count = count < 900u ? 900u : count > 3600u ? 3600u : count;
    }
    return (int32_t)count;
}

static float clampUnit(float g) {
    return g < 0.0f ? 0.0f : g > 1.0f ? 1.0f : g;
}

static uint32_t channelByte(float value) {
    if (value <= 0.0f) {
        return 0;
    }
    if (value >= 255.0f) {
        return 255;
    }
    return (uint32_t)value;
}

void fillBackground(uint32_t* background, int32_t width, int32_t height) {
    const float sx = width < 2 ? 1.0f : 1.0f / (float)(width - 1);
    const float sy = height < 2 ? 1.0f : 1.0f / (float)(height - 1);
    uint32_t* out = background;
    for (int32_t y = 0; y < height; y++) {
        // The vertical halves of both glows and of the vignette are the same for a whole row.
        const float v = (float)y * sy;
        const float qA = (v - 0.68f) / 0.6f;
        const float pA = qA * qA;
        const float qB = (v - 0.34f) / 0.75f;
        const float pB = qB * qB;
        const float pV = (v - 0.5f) * (v - 0.5f) * 2.1f;
        for (int32_t x = 0; x < width; x++) {
            const float u = (float)x * sx;
            const float hA = (u - 0.76f) / 0.52f;
            const float glowA = clampUnit(1.0f - sqrtf(hA * hA + pA));
            const float hB = (u - 0.24f) / 0.62f;
            const float glowB = clampUnit(1.0f - sqrtf(hB * hB + pB));
            const float r = sqrtf((u - 0.5f) * (u - 0.5f) * 2.1f + pV);
            float vignette = r * -0.7f + 1.1f;
            vignette = vignette < 0.18f ? 0.18f : vignette > 1.0f ? 1.0f : vignette;
            const uint32_t level = (uint32_t)(7 * y + 5 * x + (x ^ y)) & 7u;
            const float dither = (float)level * 0.11f;
            const float red = ((glowA * 8.0f + (glowB * 13.0f + 1.0f)) + dither) * vignette;
            const float green = ((glowA * 15.0f + (glowB * 18.0f + 2.0f)) + dither) * vignette;
            const float blue = ((glowA * 27.0f + (glowB * 42.0f + 7.0f)) + dither) * vignette;
            *out++ = channelByte(red) << 16 | channelByte(green) << 8 | channelByte(blue);
        }
    }
}

void rebuildFrameBuffers(int32_t width, int32_t height) {
    releaseFrameBuffers();
    engine.width = width;
    engine.height = height;

    BITMAPINFOHEADER& header = engine.bitmapInfo.bmiHeader;
    engine.bitmapInfo = BITMAPINFO{};
    header.biSize = sizeof(BITMAPINFOHEADER);
    header.biWidth = width;
    header.biHeight = -height; // negative: rows run top-down
    header.biPlanes = 1;
    header.biBitCount = 32;
    header.biCompression = BI_RGB;

    engine.memoryDc = CreateCompatibleDC(nullptr);
    if (!engine.memoryDc) {
        return;
    }
    void* bits = nullptr;
    engine.dibBitmap =
        CreateDIBSection(engine.memoryDc, &engine.bitmapInfo, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (!engine.dibBitmap || !bits) {
        return;
    }
    engine.previousBitmap = SelectObject(engine.memoryDc, engine.dibBitmap);
    engine.pixels = (uint32_t*)bits;

    const uint32_t pixelCount = (uint32_t)width * (uint32_t)height;
    engine.background = (uint32_t*)VirtualAlloc(nullptr, (SIZE_T)pixelCount * 4u,
                                                MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
    if (!engine.background) {
        return;
    }
    engine.starCount = starCountFor(pixelCount);
    engine.stars = (Star*)HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY,
                                    (SIZE_T)engine.starCount * sizeof(Star));
    if (!engine.stars) {
        return;
    }
    fillBackground(engine.background, width, height);
    for (int32_t i = 0; i < engine.starCount; i++) {
        spawnStar(engine.stars[i], false);
    }
}

void releaseFrameBuffers() {
    if (engine.memoryDc && engine.previousBitmap) {
        SelectObject(engine.memoryDc, engine.previousBitmap);
    }
    if (engine.dibBitmap) {
        DeleteObject(engine.dibBitmap);
    }
    if (engine.memoryDc) {
        DeleteDC(engine.memoryDc);
    }
    if (engine.background) {
        VirtualFree(engine.background, 0, MEM_RELEASE);
    }
    if (engine.stars) {
        HeapFree(GetProcessHeap(), 0, engine.stars);
    }
    engine.pixels = nullptr;
    engine.memoryDc = nullptr;
    engine.dibBitmap = nullptr;
    engine.previousBitmap = nullptr;
    engine.background = nullptr;
    engine.stars = nullptr;
    engine.starCount = 0;
}
