// Whole frames through the platform layer, driven as the window procedure drives them: counter
// stamps of any spacing (backwards too), steering, wheel notches, new sizes and failed
// rebuilds in any order. After every paint the speed and every star are finite, the speed
// lies between its start and the wheel's limits, every star is at least 2 deep, and every
// word shown has its top byte 0.
#include "engine/engine.h"
#include "engine/input.h"
#include "fuzz/input.h"

namespace {

const int32_t largestOps = 24;

void checkFrame(HWND window) {
    fuzzCheck(isfinite(engine.currentSpeed), "currentSpeed stays finite");
    fuzzCheck(engine.currentSpeed >= 0.0f && engine.currentSpeed <= 930.0f,
              "currentSpeed stays between 0 and the top speed");
    fuzzCheck(isfinite(engine.flightTime) && engine.flightTime >= 0.0, "flightTime stays finite");
    if (engine.stars) {
        for (int32_t i = 0; i < engine.starCount; i++) {
            const Star& star = engine.stars[i];
            fuzzCheck(isfinite(star.x) && isfinite(star.y) && isfinite(star.z) &&
                          isfinite(star.zPrev) && isfinite(star.size) &&
                          isfinite(star.twinklePhase) && isfinite(star.twinkleRate),
                      "every star stays finite");
            fuzzCheck(star.z >= 2.0f, "every star is at least 2 deep after its step");
        }
    }
    const size_t shown = (size_t)window->clientWidth * (size_t)window->clientHeight;
    for (size_t i = 0; i < shown; i++) {
        fuzzCheck(window->surface[i] >> 24 == 0, "bits 24 to 31 of the window stay 0");
    }
}

HWND resize(FuzzInput& in, HWND window) {
    const int32_t width = 1 + takeByte(in) % 160;
    const int32_t height = 1 + takeByte(in) % 160;
    const uint8_t failure = takeByte(in);
    destroySurfaceWindow(window);
    window = createSurfaceWindow(width, height);
    engine.mainWindow = window;
    // One rebuild in eight runs into a failed acquisition and leaves the buffers partial.
    platform.failure = failure % 8 <= FailStarArray ? (PlatformFailure)(failure % 8) : FailNothing;
    rebuildFrameBuffers(width, height);
    platform.failure = FailNothing;
    return window;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzInput in{data, size, 0};
    resetEngineState();
    resetPlatform();
    const uint8_t setup = takeByte(in);
    engine.runMode = setup & 1 ? Preview : Saver;
    // Mostly the usual 10 MHz counter; sometimes any frequency, zero and negative included.
    if (setup & 2) {
        platform.frequency = (int64_t)takeBits(in, 8);
    }
    engine.counterFrequency = platform.frequency;
    platform.counter = (int64_t)takeBits(in, 8);
    engine.startCounter = platform.counter;
    engine.lastFrameCounter = platform.counter;
    setSpeedSetting(takeByte(in) % 101);
    // With and without the overlay fonts: a failed font leaves the field null.
    if (setup & 4) {
        engine.titleFont = createTextFont(-22);
        engine.captionFont = createTextFont(-13);
    }
    HWND window = resize(in, nullptr);

    for (int32_t op = 0; op < largestOps && inputLeft(in); op++) {
        const uint8_t kind = takeByte(in);
        switch (kind % 5) {
            case 0:
                // Paint after any number of ticks: a few frames' worth, or any 64-bit jump.
                if (kind & 8) {
                    platform.counter = (int64_t)takeBits(in, 8);
                } else {
                    platform.counter = (int64_t)((uint64_t)platform.counter + takeBits(in, 3));
                }
                renderFrame(window);
                checkFrame(window);
                break;
            case 1: {
                // Raw mouse reports, as the handlers take them.
                const int32_t reports = 1 + takeByte(in) % 16;
                const int32_t dx = (int32_t)takeBits(in, 4), dy = (int32_t)takeBits(in, 4);
                for (int32_t i = 0; i < reports; i++) {
                    steer(dx, dy);
                }
                break;
            }
            case 2: {
                // Steering sums of any finite size, as if frames had not run for a long time.
                const float yaw = takeFloat(in), pitch = takeFloat(in);
                engine.pendingYaw = isfinite(yaw) ? yaw : 0.0f;
                engine.pendingPitch = isfinite(pitch) ? pitch : 0.0f;
                break;
            }
            case 3:
                turnWheel((int16_t)takeBits(in, 2));
                break;
            default:
                window = resize(in, window);
                break;
        }
    }

    releaseFrameBuffers();
    destroySurfaceWindow(window);
    deleteTextFont(engine.titleFont);
    deleteTextFont(engine.captionFont);
    fuzzCheck(platform.liveObjects == 0, "every buffer is freed");
    resetEngineState();
    return 0;
}
