#include "engine/engine.h"

#include <math.h>

int32_t toCoordinate(float value) {
    // Written so that NaN fails the test too.
    if (!(value > -1073741824.0f && value < 1073741824.0f)) {
        return outsideCoordinate;
    }
    return (int32_t)value;
}

void addPixel(int32_t x, int32_t y, float intensity, float red, float green, float blue) {
    // One unsigned comparison per axis rejects negative coordinates too.
    if ((uint32_t)x >= (uint32_t)engine.width || (uint32_t)y >= (uint32_t)engine.height) {
        return;
    }
    uint32_t& word = engine.pixels[(size_t)y * (uint32_t)engine.width + (uint32_t)x];
    int32_t r = (int32_t)(word >> 16 & 0xFFu) + (int32_t)(intensity * red);
    int32_t g = (int32_t)(word >> 8 & 0xFFu) + (int32_t)(intensity * green);
    int32_t b = (int32_t)(word & 0xFFu) + (int32_t)(intensity * blue);
    r = r >= 255 ? 255 : r;
    g = g >= 255 ? 255 : g;
    b = b >= 255 ? 255 : b;
    word = (uint32_t)r << 16 | (uint32_t)g << 8 | (uint32_t)b;
}

float streakScaleFor(float speedFactor) {
    return 7.8f * powf(speedFactor, 0.76f) + 2.1f;
}

// Written so that NaN, from a depth, size or twinkle that is not a number, becomes the lower
// limit and never reaches a float-to-int conversion; every number clamps as before.
static float clampFloat(float value, float low, float high) {
    return !(value >= low) ? low : value > high ? high : value;
}

static void drawStreak(const Star& star, ScreenPoint at, ScreenPoint before, float brightness,
                       float apparentRadius, float streakScale) {
    const float tx = at.x - (at.x - before.x) * streakScale;
    const float ty = at.y - (at.y - before.y) * streakScale;
    const float dx = at.x - tx;
    const float dy = at.y - ty;
    if (!(fabsf(dx) + fabsf(dy) > 1.1f)) {
        return;
    }
    // Clamped as a float, so that a streak longer than any integer still takes 110 samples.
    const float longest = ceilf(fmaxf(fabsf(dx), fabsf(dy)));
    const int32_t sampleCount = (int32_t)clampFloat(longest, 1.0f, 110.0f);
    const bool thick = clampFloat(apparentRadius * 0.72f, 0.45f, 3.4f) > 2.2f;
    const float red = star.tint[0], green = star.tint[1], blue = star.tint[2];
    for (int32_t j = 0; j <= sampleCount; j++) {
        const float t = (float)j / (float)sampleCount;
        const float m = brightness * t * t * 0.72f;
        const int32_t x = toCoordinate(dx * t + tx);
        const int32_t y = toCoordinate(t * dy + ty);
        addPixel(x, y, m, red, green, blue);
        if (thick) {
            const float side = m * 0.32f;
            addPixel(x + 1, y, side, red, green, blue);
            addPixel(x - 1, y, side, red, green, blue);
            addPixel(x, y + 1, side, red, green, blue);
            addPixel(x, y - 1, side, red, green, blue);
        }
    }
}

static void drawDisc(const Star& star, int32_t cx, int32_t cy, float brightness,
                     float apparentRadius) {
    const int32_t discRadius = (int32_t)clampFloat(ceilf(apparentRadius), 1.0f, 8.0f);
    const float r2 = apparentRadius * apparentRadius;
    const float denominator = r2 + 0.001f;
    const float red = star.tint[0], green = star.tint[1], blue = star.tint[2];
    for (int32_t v = -discRadius; v <= discRadius; v++) {
        for (int32_t u = -discRadius; u <= discRadius; u++) {
            const float d2 = (float)(u * u + v * v);
            if (d2 > r2) {
                continue;
            }
            addPixel(cx + u, cy + v, (1.0f - d2 / denominator) * brightness, red, green, blue);
        }
    }
}

static void drawArms(int32_t cx, int32_t cy, float brightness, float apparentRadius) {
    const float red = 210.0f, green = 235.0f, blue = 255.0f;
    const int32_t horizontal = (int32_t)(apparentRadius * 3.2f);
    const float horizontalBase = brightness * 0.22f;
    const float horizontalSpan = apparentRadius * 3.2f + 1.0f;
    for (int32_t l = 1; l <= horizontal; l++) {
        const float w = (1.0f - (float)l / horizontalSpan) * horizontalBase;
        addPixel(cx + l, cy, w, red, green, blue);
        addPixel(cx - l, cy, w, red, green, blue);
    }
    const int32_t vertical = (int32_t)(apparentRadius * 2.4f);
    const float verticalBase = brightness * 0.18f;
    const float verticalSpan = apparentRadius * 2.4f + 1.0f;
    for (int32_t l = 1; l <= vertical; l++) {
        const float w = (1.0f - (float)l / verticalSpan) * verticalBase;
        addPixel(cx, cy + l, w, red, green, blue);
        addPixel(cx, cy - l, w, red, green, blue);
    }
}

StarLook starLook(const Star& star, float z) {
    const float depthFactor = 1.0f - z / 1500.0f;
    const float phase = (float)engine.flightTime * star.twinkleRate + star.twinklePhase;
    const float twinkle = 0.17f * sinf(phase) + 0.83f;
    StarLook look;
    look.brightness = clampFloat(twinkle * (0.92f * depthFactor + 0.14f), 0.05f, 1.0f);
    look.apparentRadius = clampFloat((2.8f * depthFactor + 0.42f) * star.size, 0.55f, 7.5f);
    return look;
}

void drawStar(const Star& star, ScreenPoint screenPos, ScreenPoint prevScreenPos, float z,
              float speedFactor) {
    drawStarScaled(star, screenPos, prevScreenPos, z, streakScaleFor(speedFactor));
}

void drawStarScaled(const Star& star, ScreenPoint screenPos, ScreenPoint prevScreenPos, float z,
                    float streakScale) {
    const StarLook look = starLook(star, z);
    const float brightness = look.brightness;
    const float apparentRadius = look.apparentRadius;
    const int32_t cx = toCoordinate(screenPos.x);
    const int32_t cy = toCoordinate(screenPos.y);

    drawStreak(star, screenPos, prevScreenPos, brightness, apparentRadius, streakScale);
    drawDisc(star, cx, cy, brightness, apparentRadius);
    addPixel(cx, cy, clampFloat(brightness * 1.6f, 0.0f, 1.0f), 255.0f, 255.0f, 255.0f);
    if (apparentRadius > 3.2f) {
        drawArms(cx, cy, brightness, apparentRadius);
    }
}
