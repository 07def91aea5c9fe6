// The overlay's text calls and the copy to the window, as the platform layer records them.
#include <gtest/gtest.h>

#include <wchar.h>

#include "engine/engine.h"
#include "tests/window_scene.h"

namespace {

class Present : public WindowScene {
  protected:
    PAINTSTRUCT paint{};
    HDC paintDc = nullptr;

    void SetUp() override {
        openScene(640, 360);
        paintDc = BeginPaint(window, &paint);
    }
    void TearDown() override {
        EndPaint(window, &paint);
        closeScene();
    }
};

TEST_F(Present, FullScreenModesDrawBothLines) {
    for (RunMode mode : {Default, Saver}) {
        engine.runMode = mode;
        rebuildFrameBuffers(640, 360);
        platform.textCount = 0;
        presentFrame(paintDc);
        ASSERT_EQ(platform.textCount, 2);
        const DrawnText& first = platform.texts[0];
        const DrawnText& second = platform.texts[1];
        EXPECT_STREQ(first.text, L"Voidrunner 3D v" VOIDRUNNER_EXPECTED_VERSION);
        EXPECT_STREQ(second.text, L"Mouse: steer   |   Wheel: speed   |   Any key: exit");
        EXPECT_EQ(first.font, title);
        EXPECT_EQ(second.font, caption);
        EXPECT_EQ(first.colour, 16771267u);
        EXPECT_EQ(second.colour, 11045721u);
        EXPECT_EQ(first.format, (UINT)DT_SINGLELINE);
        EXPECT_EQ(second.format, (UINT)DT_SINGLELINE);
        EXPECT_EQ(first.rect.left, 28);
        EXPECT_EQ(first.rect.top, 24);
        EXPECT_EQ(first.rect.right, 612);
        EXPECT_EQ(first.rect.bottom, 100);
        EXPECT_EQ(second.rect.left, 28);
        EXPECT_EQ(second.rect.top, 52);
        EXPECT_EQ(second.rect.right, 612);
        EXPECT_EQ(second.rect.bottom, 100);
        // The mode is put back; the caption's font and colour stay selected.
        EXPECT_EQ(engine.memoryDc->bkMode, OPAQUE);
        EXPECT_EQ(engine.memoryDc->font, caption);
        EXPECT_EQ(engine.memoryDc->textColor, 11045721u);
    }
}

TEST_F(Present, PreviewCopiesWithoutText) {
    engine.runMode = Preview;
    rebuildFrameBuffers(640, 360);
    engine.pixels[0] = 0x00123456u;
    presentFrame(paintDc);
    EXPECT_EQ(platform.textCount, 0);
    EXPECT_EQ(platform.copies, 1);
    EXPECT_EQ(window->surface[0], 0x00123456u);
}

TEST_F(Present, TheRightEdgeFollowsTheClientArea) {
    rebuildFrameBuffers(640, 360);
    window->clientWidth = 100; // resized since the buffers were built
    presentFrame(paintDc);
    ASSERT_EQ(platform.textCount, 2);
    EXPECT_EQ(platform.texts[0].rect.right, 72);
    // The copy is still the whole buffer from the top-left corner.
    EXPECT_EQ(platform.lastCopyWidth, 640);
    EXPECT_EQ(platform.lastCopyHeight, 360);
}

TEST_F(Present, NothingWithoutBuffers) {
    for (PlatformFailure failure : {FailContext, FailSectionHandle, FailSectionBits}) {
        platform.failure = failure;
        rebuildFrameBuffers(640, 360);
        presentFrame(paintDc);
        EXPECT_EQ(platform.textCount, 0) << failure;
        EXPECT_EQ(platform.copies, 0) << failure;
    }
    platform.failure = FailNothing;
}

TEST_F(Present, MissingBackgroundStillPresentsTheBuffer) {
    platform.failure = FailBackground;
    rebuildFrameBuffers(640, 360);
    platform.failure = FailNothing;
    engine.pixels[641] = 0x00ABCDEFu;
    renderFrame(window);
    EXPECT_EQ(platform.textCount, 2);
    EXPECT_EQ(platform.copies, 1);
    EXPECT_EQ(window->surface[641], 0x00ABCDEFu);
}

TEST_F(Present, MissingFontDrawsInTheCurrentOne) {
    engine.titleFont = nullptr;
    rebuildFrameBuffers(640, 360);
    presentFrame(paintDc);
    ASSERT_EQ(platform.textCount, 2);
    EXPECT_EQ(platform.texts[0].font, nullptr);
    presentFrame(paintDc);
    EXPECT_EQ(platform.texts[2].font, caption); // left over from the last frame
}

} // namespace
