// Frames that copy back only what changed, against frames that copy the whole background:
// long flights, on the platform layer and on the real GDI alike.
#include <gtest/gtest.h>

#include <string.h>

#include "engine/engine.h"

namespace {

const int32_t windowWidth = 400, windowHeight = 300;

// What differs between the two platforms: windows, fonts, text and the clock.
#ifdef _WIN32
HWND makeWindow() {
    // Never shown: it lends its client rectangle and a paint context.
    return CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, windowWidth, windowHeight, nullptr,
                           nullptr, GetModuleHandleW(nullptr), nullptr);
}
void destroyWindow(HWND window) {
    DestroyWindow(window);
}
HFONT makeFont(int height, int weight) {
    return CreateFontW(-height, 0, 0, 0, weight, 0, 0, 0, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                       CLIP_DEFAULT_PRECIS, CLEARTYPE_QUALITY, 0, L"Segoe UI");
}
void deleteFont(HFONT font) {
    DeleteObject(font);
}
void startPlatform() {}
// The real counter cannot be set: at one tick per second every step is the longest, and a
// stamp in the future makes a step of 0.
void setStep(int64_t ticks) {
    engine.counterFrequency = 1;
    engine.lastFrameCounter = ticks > 0 ? 0 : INT64_MAX;
}
#else
HWND makeWindow() {
    return createSurfaceWindow(windowWidth, windowHeight);
}
void destroyWindow(HWND window) {
    destroySurfaceWindow(window);
}
HFONT makeFont(int height, int) {
    return createTextFont(-height);
}
void deleteFont(HFONT font) {
    deleteTextFont(font);
}
void startPlatform() {
    resetPlatform();
    platform.paintText = true; // text that changes the pixels beneath it, as glyphs do
}
void setStep(int64_t ticks) {
    engine.counterFrequency = 10000000;
    platform.counter = engine.lastFrameCounter + ticks;
}
#endif

// Two engines fly the same flight in lockstep: `changed` as the program runs, `whole` with the
// whole background copied in before every frame that runs the step, as frames were first made.
class RestoreFlight : public ::testing::Test {
  protected:
    EngineState changed{}, whole{};
    HWND changedWindow = nullptr, wholeWindow = nullptr;
    HFONT title = nullptr, caption = nullptr;
    int64_t framesCompared = 0;

    void SetUp() override {
        resetEngineState();
        startPlatform();
        changedWindow = makeWindow();
        wholeWindow = makeWindow();
        title = makeFont(22, 600);
        caption = makeFont(13, 500);
        engine.titleFont = title;
        engine.captionFont = caption;
        changed = whole = engine;
        changed.mainWindow = changedWindow;
        whole.mainWindow = wholeWindow;
    }
    void TearDown() override {
        onBoth([] { releaseFrameBuffers(); });
        destroyWindow(changedWindow);
        destroyWindow(wholeWindow);
        deleteFont(title);
        deleteFont(caption);
        resetEngineState();
    }

    template <typename Action> void onBoth(Action action) {
        engine = changed;
        action();
        changed = engine;
        engine = whole;
        action();
        whole = engine;
    }

    void paint(int64_t ticks, float yaw, float pitch) {
        engine = changed;
        engine.pendingYaw += yaw;
        engine.pendingPitch += pitch;
        setStep(ticks);
        renderFrame(changedWindow);
        changed = engine;

        engine = whole;
        engine.pendingYaw += yaw;
        engine.pendingPitch += pitch;
        setStep(ticks);
        if (engine.pixels && engine.background && engine.stars) {
            memcpy(engine.pixels, engine.background,
                   (size_t)engine.width * (size_t)engine.height * 4u);
        }
        renderFrame(wholeWindow);
        whole = engine;
#ifdef _WIN32
        GdiFlush();
#endif
        ASSERT_EQ(changed.pixels != nullptr, whole.pixels != nullptr);
        if (changed.pixels) {
            ASSERT_EQ(memcmp(changed.pixels, whole.pixels,
                             (size_t)changed.width * (size_t)changed.height * 4u),
                      0)
                << "frame " << framesCompared;
        }
        framesCompared++;
    }
};

enum Loss : int32_t {
    LoseNothing = 0,
    LoseStars,      // as after a failed star array: the step is skipped
    LoseBackground, // as after a failed background: no step and no change map
};

struct Leg {
    RunMode mode;
    int32_t width, height;
    Loss loss; // for the whole leg
    int32_t speedPercent;
    int32_t frames;
    int64_t ticks;    // per frame, of 10,000,000 a second
    float yaw, pitch; // added before every frame
};

TEST_F(RestoreFlight, LongFlightsGiveTheWholeCopysFrames) {
    const int64_t second = 10000000;
    // The windows stay 400 x 300, so the text band is cut by buffers smaller than a window and
    // ends short of the right edge of larger ones.
    const Leg legs[] = {
        {Saver, 400, 300, LoseNothing, 28, 700, second / 60, 0.0f, 0.0f},
        {Saver, 400, 300, LoseNothing, 100, 400, second / 60, 0.0f, 0.0f},
        {Saver, 400, 300, LoseNothing, 100, 120, second / 60, 0.03f, 0.0f}, // out at the left
        {Saver, 400, 300, LoseNothing, 60, 120, second / 60, -0.03f, 0.0f}, // at the right
        {Saver, 400, 300, LoseNothing, 60, 120, second / 60, 0.0f, 0.03f},  // at the top
        {Saver, 400, 300, LoseNothing, 60, 120, second / 60, 0.0f, -0.03f}, // at the bottom
        {Default, 641, 479, LoseNothing, 85, 300, second / 45, 0.011f, -0.007f},
        {Default, 641, 479, LoseNothing, 0, 120, second / 60, -0.02f, 0.02f}, // coming to rest
        {Saver, 33, 200, LoseNothing, 100, 200, second / 60, 0.004f, 0.0f},
        {Saver, 200, 33, LoseNothing, 100, 200, second / 60, 0.0f, 0.004f},
        {Saver, 1100, 90, LoseNothing, 70, 150, second / 30, -0.001f, 0.002f},
        {Saver, 400, 300, LoseStars, 28, 5, second / 60, 0.0f, 0.0f},
        {Saver, 400, 300, LoseNothing, 28, 120, 2 * second, 0.05f, 0.0f}, // long gaps
        {Saver, 400, 300, LoseBackground, 28, 3, second / 60, 0.0f, 0.0f},
        {Saver, 400, 300, LoseNothing, 28, 60, -second / 100, 0.02f, 0.01f}, // clock backwards
        {Preview, 152, 112, LoseNothing, 50, 300, second / 60, 0.0f, 0.0f},
        {Preview, 1, 1, LoseNothing, 100, 100, second / 60, 0.01f, 0.01f},
        {Preview, 3, 2, LoseNothing, 100, 100, second / 60, -0.01f, 0.0f},
        {Preview, 17, 9, LoseNothing, 100, 200, second / 60, 0.0f, 0.0f},
        {Saver, 17, 9, LoseNothing, 100, 100, second / 60, 0.0f, 0.0f},
        {Saver, 400, 300, LoseNothing, 100, 200, second / 60, 0.0f, 0.0f},
    };
    for (const Leg& leg : legs) {
        SCOPED_TRACE(testing::Message() << leg.width << " x " << leg.height << ", mode " << leg.mode
                                        << ", loss " << leg.loss);
        onBoth([&] {
            engine.runMode = leg.mode;
            rebuildFrameBuffers(leg.width, leg.height);
            engine.speedPercent = leg.speedPercent;
            engine.targetSpeed = speedCurve(leg.speedPercent);
        });
        // Held aside for the leg and put back afterwards, so that the release frees them.
        Star* stars[2] = {changed.stars, whole.stars};
        uint32_t* backgrounds[2] = {changed.background, whole.background};
        uint64_t* maps[2] = {changed.changeMap, whole.changeMap};
        if (leg.loss != LoseNothing) {
            onBoth([&] {
                engine.stars = nullptr;
                if (leg.loss == LoseBackground) {
                    engine.background = nullptr;
                    engine.changeMap = nullptr;
                }
            });
        }
        for (int32_t frame = 0; frame < leg.frames; frame++) {
            paint(leg.ticks, leg.yaw, leg.pitch);
            if (HasFatalFailure()) {
                return;
            }
        }
        changed.stars = stars[0], whole.stars = stars[1];
        changed.background = backgrounds[0], whole.background = backgrounds[1];
        changed.changeMap = maps[0], whole.changeMap = maps[1];
    }
    // The two flights never parted: same stars, same generator.
    EXPECT_EQ(changed.rngState, whole.rngState);
    EXPECT_EQ(memcmp(changed.stars, whole.stars, (size_t)changed.starCount * sizeof(Star)), 0);
    EXPECT_GT(framesCompared, 3000);
}

} // namespace
