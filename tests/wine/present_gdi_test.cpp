// The overlay drawn by the real GDI into a real DIB section and copied by a real BitBlt.
#include <gtest/gtest.h>

#include <string.h>

#include "engine/engine.h"

namespace {

const int width = 640, height = 160;

class RealText : public ::testing::Test {
  protected:
    HWND window = nullptr;
    HDC screenDc = nullptr;
    HBITMAP screenBitmap = nullptr;
    HGDIOBJ screenPrevious = nullptr;
    uint32_t* screen = nullptr;

    void SetUp() override {
        resetEngineState();
        // Never shown: it only lends its client rectangle.
        window = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, width, height, nullptr, nullptr,
                                 GetModuleHandleW(nullptr), nullptr);
        ASSERT_NE(window, nullptr);
        engine.mainWindow = window;
        engine.titleFont =
            CreateFontW(-22, 0, 0, 0, 600, 0, 0, 0, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                        CLIP_DEFAULT_PRECIS, CLEARTYPE_QUALITY, 0, L"Segoe UI");
        engine.captionFont =
            CreateFontW(-13, 0, 0, 0, 500, 0, 0, 0, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                        CLIP_DEFAULT_PRECIS, CLEARTYPE_QUALITY, 0, L"Segoe UI");
        // A second section stands for the window's surface.
        BITMAPINFO info{};
        info.bmiHeader.biSize = sizeof info.bmiHeader;
        info.bmiHeader.biWidth = width;
        info.bmiHeader.biHeight = -height;
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 32;
        info.bmiHeader.biCompression = BI_RGB;
        screenDc = CreateCompatibleDC(nullptr);
        void* bits = nullptr;
        screenBitmap = CreateDIBSection(screenDc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
        ASSERT_NE(bits, nullptr);
        screen = (uint32_t*)bits;
        screenPrevious = SelectObject(screenDc, screenBitmap);
    }
    void TearDown() override {
        releaseFrameBuffers();
        SelectObject(screenDc, screenPrevious);
        DeleteObject(screenBitmap);
        DeleteDC(screenDc);
        DeleteObject(engine.titleFont);
        DeleteObject(engine.captionFont);
        DestroyWindow(window);
        resetEngineState();
    }

    // Presents a black frame; returns the rows and columns that the text reached.
    RECT litArea() {
        rebuildFrameBuffers(width, height);
        EXPECT_NE(engine.pixels, nullptr);
        memset(engine.pixels, 0, (size_t)width * height * 4);
        memset(screen, 0xFF, (size_t)width * height * 4);
        presentFrame(screenDc);
        GdiFlush();
        EXPECT_EQ(memcmp(screen, engine.pixels, (size_t)width * height * 4), 0);
        RECT lit{width, height, -1, -1};
        for (int y = 0; y < height; y++) {
            for (int x = 0; x < width; x++) {
                if (engine.pixels[y * width + x] & 0x00FFFFFFu) {
                    lit.left = x < lit.left ? x : lit.left;
                    lit.right = x > lit.right ? x : lit.right;
                    lit.top = y < lit.top ? y : lit.top;
                    lit.bottom = y > lit.bottom ? y : lit.bottom;
                }
            }
        }
        return lit;
    }
};

TEST_F(RealText, FullScreenTextLiesInItsBand) {
    for (RunMode mode : {Default, Saver}) {
        engine.runMode = mode;
        RECT lit = litArea();
        ASSERT_GE(lit.bottom, 0) << "no text drawn in mode " << mode;
        EXPECT_GE(lit.top, 24);
        EXPECT_LT(lit.bottom, 100);
        EXPECT_GE(lit.left, 28);
        EXPECT_LT(lit.right, width - 28);
        // Both lines: something below the second line's top.
        EXPECT_GT(lit.bottom, 52);
    }
}

TEST_F(RealText, PreviewShowsNoText) {
    engine.runMode = Preview;
    RECT lit = litArea();
    EXPECT_EQ(lit.bottom, -1);
}

// Frames that copy back only what changed, beside frames that copy the whole background, with
// real text drawn into real sections: the text must never pile up.
TEST_F(RealText, RestoredFramesMatchWholeCopiesUnderRealText) {
    const int32_t frameWidth = 480, frameHeight = 200;
    EngineState changed, whole;
    engine.runMode = Saver;
    // One tick per second: every frame takes the longest step, whatever the real clock says.
    engine.counterFrequency = 1;
    engine.targetSpeed = speedCurve(100);
    rebuildFrameBuffers(frameWidth, frameHeight);
    changed = engine;
    engine.dibBitmap = nullptr; // the other engine's now
    engine.memoryDc = nullptr;
    engine.previousBitmap = nullptr;
    engine.background = nullptr;
    engine.stars = nullptr;
    engine.pixels = nullptr;
    engine.rngState = 0x8f3a19d7u;
    rebuildFrameBuffers(frameWidth, frameHeight);
    whole = engine;
    ASSERT_NE(changed.pixels, nullptr);
    ASSERT_NE(whole.pixels, nullptr);
    ASSERT_EQ(memcmp(changed.stars, whole.stars, (size_t)changed.starCount * sizeof(Star)), 0);

    const size_t bytes = (size_t)frameWidth * frameHeight * 4;
    int textPixels = 0;
    for (int frame = 0; frame < 100; frame++) {
        // Turn the field across the text band and back.
        const float yaw = frame < 50 ? 0.01f : -0.01f, pitch = frame % 20 < 10 ? 0.02f : -0.02f;
        engine = changed;
        engine.pendingYaw = yaw;
        engine.pendingPitch = pitch;
        engine.lastFrameCounter = 0;
        renderFrame(window);
        GdiFlush();
        changed = engine;

        engine = whole;
        engine.pendingYaw = yaw;
        engine.pendingPitch = pitch;
        engine.lastFrameCounter = 0;
        memcpy(engine.pixels, engine.background, bytes);
        renderFrame(window);
        GdiFlush();
        whole = engine;

        ASSERT_EQ(memcmp(changed.pixels, whole.pixels, bytes), 0) << "frame " << frame;
        textPixels = 0;
        for (int y = 24; y < 100; y++) {
            for (int x = 28; x < frameWidth - 28; x++) {
                const size_t i = (size_t)y * frameWidth + x;
                textPixels += (whole.pixels[i] & 0xFF) > (whole.background[i] & 0xFF) + 60;
            }
        }
    }
    EXPECT_GT(textPixels, 300); // the glyphs are there, every frame

    engine = whole;
    releaseFrameBuffers();
    engine = changed; // TearDown releases this one
}

} // namespace
