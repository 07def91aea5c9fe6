// A flight read from its options' text, started and flown as the renderer, the page and the hack
// start and fly theirs: the engine's steered flight must give its recorded picture.
#include <gtest/gtest.h>

#include <zlib.h>

#include "flight/flight.h"

namespace {

TEST(FlightOptions, SteeredFlightReadAndFlownGivesTheRecordedPicture) {
    Flight flight = defaultFlight();
    EXPECT_EQ(flightOptions[0].read("320x240", flight), "");     // size
    EXPECT_EQ(flightOptions[2].read("+90", flight), "");         // frames
    EXPECT_EQ(flightOptions[5].read("2e-3,-0.001", flight), ""); // steer
    ASSERT_EQ(setFrameTicks(flight), "");
    startFlight(flight, SettableClock);
    engine.mainWindow = createSurfaceWindow(flight.width, flight.height);
    rebuildFrameBuffers(flight.width, flight.height);
    for (int64_t frame = 1; frame <= flight.frames; frame++) {
        flyFrame(flight, frame);
    }
    // engine_tests' golden value for the same flight, stepped by hand without a window.
    EXPECT_EQ(crc32(0L, (const Bytef*)engine.pixels, 320u * 240u * 4u), 0x0ECC2663u);
    releaseFrameBuffers();
    destroySurfaceWindow(engine.mainWindow);
    resetEngineState();
}

} // namespace
