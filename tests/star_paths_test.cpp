// The rasteriser's fast path against its reference, and the change map against the pixels.
#include <gtest/gtest.h>

#include <math.h>
#include <vector>

#include "engine/engine.h"

namespace {

// The test's own generator, so that the engine's stays untouched.
struct Dice {
    uint32_t state;
    uint32_t next() {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        return state;
    }
    float between(float low, float high) {
        return low + (high - low) * (float)(next() & 0xFFFFFF) * 0x1p-24f;
    }
};

struct Canvas {
    std::vector<uint32_t> pixels;
    std::vector<uint64_t> changes;
};

// A buffer of random colours, some near saturation, with a change map of its own.
Canvas canvasFor(int32_t width, int32_t height, Dice& dice) {
    Canvas canvas;
    canvas.pixels.resize((size_t)width * height);
    for (uint32_t& word : canvas.pixels) {
        word = dice.next() & (dice.next() & 1 ? 0x00FFFFFFu : 0x001F1F1Fu);
    }
    const int32_t stride = changeMapStrideFor(width);
    canvas.changes.assign((size_t)height * stride, 0);
    return canvas;
}

void drawInto(Canvas& canvas, int32_t width, int32_t height, const StarShape& shape, bool fast) {
    engine.width = width;
    engine.height = height;
    engine.pixels = canvas.pixels.data();
    engine.changeMap = canvas.changes.data();
    engine.changeMapStride = changeMapStrideFor(width);
    if (fast) {
        drawShapeFast(shape);
    } else {
        drawShapeClipped(shape);
    }
}

// Every pixel that differs from before lies in a run its map marks.
void expectChangesMarked(const Canvas& before, const Canvas& after, int32_t width, int32_t height) {
    const int32_t stride = changeMapStrideFor(width);
    for (int32_t y = 0; y < height; y++) {
        for (int32_t x = 0; x < width; x++) {
            if (before.pixels[(size_t)y * width + x] == after.pixels[(size_t)y * width + x]) {
                continue;
            }
            const int32_t run = x / 16;
            ASSERT_TRUE(after.changes[(size_t)y * stride + run / 64] >> (run % 64) & 1)
                << "column " << x << ", row " << y;
        }
    }
}

class StarPaths : public ::testing::Test {
  protected:
    void SetUp() override {
        resetEngineState();
    }
    void TearDown() override {
        resetEngineState();
    }
};

TEST_F(StarPaths, FastPathGivesTheReferenceBitsAndMarksWhatItChanges) {
    struct Size {
        int32_t width, height;
    } sizes[] = {{96, 80}, {1100, 40}, {7, 300}, {1, 1}, {3, 2}};
    Dice dice{0x2545F491u};
    int drawn = 0, cut = 0;
    for (const Size& size : sizes) {
        const int32_t width = size.width, height = size.height;
        for (int round = 0; round < 400; round++) {
            Star star{};
            star.size = dice.between(0.28f, 2.78f);
            star.twinklePhase = dice.between(0.0f, 6.3f);
            star.twinkleRate = dice.between(0.5f, 2.4f);
            for (uint8_t& weight : star.tint) {
                weight = (uint8_t)dice.next();
            }
            engine.flightTime = dice.between(0.0f, 500.0f);
            // Mostly on screen, some across an edge, a few far beyond one.
            const float reach = round % 10 == 0 ? 5000.0f : 40.0f;
            const ScreenPoint at{dice.between(-reach, width + reach),
                                 dice.between(-reach, height + reach)};
            const float spread = round % 3 == 0 ? 2.0f : 40.0f;
            const ScreenPoint before{at.x + dice.between(-spread, spread),
                                     at.y + dice.between(-spread, spread)};
            const float z = dice.between(2.0f, 1800.0f);
            const StarShape shape =
                shapeStar(star, at, before, z, streakScaleFor(dice.between(0.0f, 5.0f)));

            Canvas reference = canvasFor(width, height, dice);
            Canvas fast = reference;
            const Canvas untouched = reference;
            drawInto(reference, width, height, shape, false);
            drawInto(fast, width, height, shape, true);
            SCOPED_TRACE(testing::Message() << width << " x " << height << ", round " << round);
            ASSERT_EQ(fast.pixels, reference.pixels);
            expectChangesMarked(untouched, fast, width, height);
            expectChangesMarked(untouched, reference, width, height);
            drawn += fast.pixels != untouched.pixels;
            cut += at.x < 0.0f || at.y < 0.0f || at.x >= width || at.y >= height;
        }
    }
    // The rounds really drew, and also across edges.
    EXPECT_GT(drawn, 400);
    EXPECT_GT(cut, 300);
}

TEST_F(StarPaths, AStreakEndingAtTheTopEdgeStaysInside) {
    // Five samples up to row 0: the last group of four holds two lanes past the star, above
    // the buffer, which must never be touched or even addressed.
    StarShape shape{};
    shape.brightness = 1.0f;
    shape.apparentRadius = 1.0f;
    shape.tint[0] = shape.tint[1] = shape.tint[2] = 255.0f;
    shape.cx = 50;
    shape.cy = 0;
    shape.tx = 50.5f;
    shape.ty = 5.5f;
    shape.dy = -5.0f;
    shape.sampleCount = 5;
    shape.discRadius = 1;
    Dice dice{7};
    Canvas reference = canvasFor(100, 8, dice);
    Canvas fast = reference;
    drawInto(reference, 100, 8, shape, false);
    drawInto(fast, 100, 8, shape, true);
    EXPECT_EQ(fast.pixels, reference.pixels);
}

} // namespace
