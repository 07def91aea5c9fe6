// A stand-in window with the two overlay fonts, as start-up leaves them; tests that paint
// derive their fixture from it.
#pragma once

#include <gtest/gtest.h>

#include "engine/engine.h"

class StandInScene : public ::testing::Test {
  protected:
    HWND window = nullptr;
    HFONT title = nullptr, caption = nullptr;

    void openScene(int32_t clientWidth, int32_t clientHeight) {
        resetEngineState();
        standInReset();
        window = standInCreateWindow(clientWidth, clientHeight);
        engine.mainWindow = window;
        title = standInCreateFont(-22);
        caption = standInCreateFont(-13);
        engine.titleFont = title;
        engine.captionFont = caption;
    }
    // Also checks that the frame buffers leave nothing behind.
    void closeScene() {
        releaseFrameBuffers();
        EXPECT_EQ(standIn.liveObjects, 0);
        standInDestroyWindow(window);
        standInDeleteFont(title);
        standInDeleteFont(caption);
        resetEngineState();
    }
};
