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

} // namespace
