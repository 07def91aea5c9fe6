// The platform layer's parts for a real front end: a window over memory the caller owns, with
// its own row stride, and the monotonic clock beside the settable one.
#include <gtest/gtest.h>

#include <time.h>

#include <vector>

#include "engine/engine.h"

namespace {

const uint32_t untouched = 0xA5A5A5A5u;

// One copy from a memory context holding a width x height bitmap filled with its indices.
struct Source {
    HDC dc;
    HBITMAP bitmap;
    HGDIOBJ previous;
};

Source makeSource(int32_t width, int32_t height) {
    Source source{};
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    source.dc = CreateCompatibleDC(nullptr);
    void* bits = nullptr;
    source.bitmap = CreateDIBSection(source.dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    source.previous = SelectObject(source.dc, source.bitmap);
    uint32_t* words = (uint32_t*)bits;
    for (int32_t i = 0; i < width * height; i++) {
        words[i] = (uint32_t)i + 1;
    }
    return source;
}

void freeSource(Source& source) {
    SelectObject(source.dc, source.previous);
    DeleteObject(source.bitmap);
    DeleteDC(source.dc);
}

TEST(WindowOverCallerMemory, CopiesRowsAtItsStrideAndLeavesThePaddingAlone) {
    resetPlatform();
    const int32_t width = 5, height = 3, rowWords = 8;
    std::vector<uint32_t> memory((size_t)rowWords * height + 4, untouched);
    HWND window = createWindowOverSurface(width, height, memory.data(), rowWords);
    ASSERT_NE(window, nullptr);
    Source source = makeSource(width, height);
    PAINTSTRUCT paint;
    HDC paintDc = BeginPaint(window, &paint);
    EXPECT_TRUE(BitBlt(paintDc, 0, 0, width, height, source.dc, 0, 0, SRCCOPY));
    EndPaint(window, &paint);
    for (int32_t y = 0; y < height; y++) {
        for (int32_t x = 0; x < rowWords; x++) {
            const uint32_t expected = x < width ? (uint32_t)(y * width + x) + 1 : untouched;
            EXPECT_EQ(memory[(size_t)y * rowWords + x], expected) << x << "," << y;
        }
    }
    for (size_t i = (size_t)rowWords * height; i < memory.size(); i++) {
        EXPECT_EQ(memory[i], untouched);
    }
    freeSource(source);
    // The memory is the caller's: destroying the window must not free it (the sanitizer
    // build would report a free of vector memory).
    destroySurfaceWindow(window);
    EXPECT_EQ(memory[0], 1u);
    EXPECT_EQ(platform.liveObjects, 0);
}

TEST(WindowOverCallerMemory, ClipsACopyLargerThanTheWindow) {
    resetPlatform();
    const int32_t rowWords = 4;
    std::vector<uint32_t> memory((size_t)rowWords * 2, untouched);
    HWND window = createWindowOverSurface(3, 2, memory.data(), rowWords);
    ASSERT_NE(window, nullptr);
    Source source = makeSource(6, 4);
    PAINTSTRUCT paint;
    HDC paintDc = BeginPaint(window, &paint);
    BitBlt(paintDc, 0, 0, 6, 4, source.dc, 0, 0, SRCCOPY);
    EndPaint(window, &paint);
    const uint32_t expected[8] = {1, 2, 3, untouched, 7, 8, 9, untouched};
    for (int32_t i = 0; i < 8; i++) {
        EXPECT_EQ(memory[i], expected[i]) << i;
    }
    freeSource(source);
    destroySurfaceWindow(window);
}

// A canvas takes red, green, blue and 255 in memory: the one copy turns each word round.
TEST(WindowOverCallerMemory, CopiesInTheCanvasOrderWhenAsked) {
    resetPlatform();
    uint8_t canvas[8] = {};
    HWND window = createWindowOverSurface(2, 1, (uint32_t*)canvas, 2, true);
    ASSERT_NE(window, nullptr);
    Source source = makeSource(2, 1);
    source.bitmap->bits[1] = 0x00C08040u; // red 0xC0, green 0x80, blue 0x40
    PAINTSTRUCT paint;
    BitBlt(BeginPaint(window, &paint), 0, 0, 2, 1, source.dc, 0, 0, SRCCOPY);
    EndPaint(window, &paint);
    EXPECT_EQ(std::vector<uint8_t>(canvas, canvas + 8),
              (std::vector<uint8_t>{0, 0, 1, 255, 0xC0, 0x80, 0x40, 255}));
    freeSource(source);
    destroySurfaceWindow(window);
}

TEST(WindowOverCallerMemory, RefusesSizesThatDoNotFit) {
    uint32_t memory[16] = {};
    EXPECT_EQ(createWindowOverSurface(4, 2, memory, 3), nullptr);
    EXPECT_EQ(createWindowOverSurface(0, 2, memory, 4), nullptr);
    EXPECT_EQ(createWindowOverSurface(4, 0, memory, 4), nullptr);
    EXPECT_EQ(createWindowOverSurface(4, 2, nullptr, 4), nullptr);
}

// The same frames shown through a window of the layer's own and through one over a strided
// buffer: the rows must match word for word.
TEST(WindowOverCallerMemory, ShowsTheSameFramesAsAnOwnedWindow) {
    const int32_t width = 64, height = 40, rowWords = 70;
    std::vector<uint32_t> shown[2];
    for (int pass = 0; pass < 2; pass++) {
        resetEngineState();
        resetPlatform();
        engine.counterFrequency = platform.frequency;
        engine.targetSpeed = speedCurve(engine.speedPercent);
        std::vector<uint32_t> memory((size_t)rowWords * height, untouched);
        HWND window = pass == 0 ? createSurfaceWindow(width, height)
                                : createWindowOverSurface(width, height, memory.data(), rowWords);
        ASSERT_NE(window, nullptr);
        engine.mainWindow = window;
        rebuildFrameBuffers(width, height);
        for (int64_t frame = 1; frame <= 12; frame++) {
            platform.counter = frame * 166667;
            renderFrame(window);
        }
        const uint32_t* surface = window->surface;
        const int32_t stride = window->rowWords;
        for (int32_t y = 0; y < height; y++) {
            shown[pass].insert(shown[pass].end(), surface + (size_t)y * stride,
                               surface + (size_t)y * stride + width);
        }
        releaseFrameBuffers();
        destroySurfaceWindow(window);
        resetEngineState();
    }
    ASSERT_EQ(shown[0].size(), (size_t)(width * height));
    EXPECT_EQ(shown[0], shown[1]);
    // Not a blank surface: the background's top-left word is there.
    EXPECT_EQ(shown[1][0] & 0xFFFFFF, 0x00020309u);
}

int64_t monotonicTicks() {
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return (int64_t)now.tv_sec * 10000000 + now.tv_nsec / 100;
}

TEST(Clock, MonotonicReadsTheSystemClockInTicksOfTheFrequency) {
    resetPlatform();
    platform.counter = 42;
    LARGE_INTEGER value, frequency;
    QueryPerformanceCounter(&value);
    EXPECT_EQ(value.QuadPart, 42);

    platform.clock = MonotonicClock;
    QueryPerformanceFrequency(&frequency);
    EXPECT_EQ(frequency.QuadPart, 10000000);
    const int64_t before = monotonicTicks();
    QueryPerformanceCounter(&value);
    const int64_t after = monotonicTicks();
    EXPECT_LE(before, value.QuadPart);
    EXPECT_LE(value.QuadPart, after);
    LARGE_INTEGER later;
    QueryPerformanceCounter(&later);
    EXPECT_GE(later.QuadPart, value.QuadPart);

    resetPlatform();
    EXPECT_EQ(platform.clock, SettableClock);
    QueryPerformanceCounter(&value);
    EXPECT_EQ(value.QuadPart, 0);
}

} // namespace
