#include "engine/engine.h"

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
    engine.background =
        (uint32_t*)VirtualAlloc(nullptr, (SIZE_T)backgroundAllocationBytes(width, height),
                                MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
    if (!engine.background) {
        return;
    }
    attachChangeMap();
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
    engine.changeMap = nullptr;
    engine.changeMapStride = 0;
    engine.changeMapValid = false;
}
