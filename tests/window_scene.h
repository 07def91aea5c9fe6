// A window of the platform layer with the two overlay fonts, as start-up leaves them; tests that
// paint derive their fixture from it.
#pragma once

#include <gtest/gtest.h>

#include "engine/engine.h"

class WindowScene : public ::testing::Test {
  protected:
    HWND window = nullptr;
    HFONT title = nullptr, caption = nullptr;

    void openScene(int32_t clientWidth, int32_t clientHeight) {
        resetEngineState();
        resetPlatform();
        window = createSurfaceWindow(clientWidth, clientHeight);
        engine.mainWindow = window;
        title = createTextFont(-22);
        caption = createTextFont(-13);
        engine.titleFont = title;
        engine.captionFont = caption;
    }
    // Also checks that the frame buffers leave nothing behind.
    void closeScene() {
        releaseFrameBuffers();
        EXPECT_EQ(platform.liveObjects, 0);
        destroySurfaceWindow(window);
        deleteTextFont(title);
        deleteTextFont(caption);
        resetEngineState();
    }
};
