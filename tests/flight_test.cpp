// One steered flight through the frame step, without a window, on the renderer's clock: its last
// frame must be the picture that `voidrunner-render --size 320x240 --frames 90 --steer
// 0.002,-0.001 --out flight.raw` recorded, on every build (natively, on the Windows runtime and
// in WebAssembly), since all of them do the same single-precision arithmetic.
#include <gtest/gtest.h>

#include <zlib.h>

#include "engine/engine.h"

namespace {

TEST(Flight, SteeredFlightGivesTheRecordedPictureOnEveryBuild) {
    resetEngineState();
    engine.runMode = Saver;
    engine.counterFrequency = 10000000;
    engine.targetSpeed = speedCurve(engine.speedPercent);
    rebuildFrameBuffers(320, 240);
    ASSERT_TRUE(engine.pixels && engine.background && engine.stars);
    for (int32_t frame = 1; frame <= 90; frame++) {
        engine.pendingYaw += 0.002f;
        engine.pendingPitch += -0.001f;
        stepFrame(166667); // round(10,000,000 / 60)
    }
    // The words' bytes as they lie in memory: blue, green, red, 0.
    const uLong crc = crc32(0L, (const Bytef*)engine.pixels, 320u * 240u * 4u);
    EXPECT_EQ(crc, 0x0ECC2663u);
    releaseFrameBuffers();
    resetEngineState();
}

} // namespace
