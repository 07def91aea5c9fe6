#include "engine/engine.h"

#include <emmintrin.h>
#include <xmmintrin.h>
#include <math.h>

#include "engine/rounded.h"

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
    return 7.8f * roundedPow076(speedFactor) + 2.1f;
}

// Written so that NaN, from a depth, size or twinkle that is not a number, becomes the lower
// limit and never reaches a float-to-int conversion; every number clamps as before.
static float clampFloat(float value, float low, float high) {
    return !(value >= low) ? low : value > high ? high : value;
}

StarLook starLook(const Star& star, float z) {
    const float depthFactor = 1.0f - z / 1500.0f;
    const float phase = (float)engine.flightTime * star.twinkleRate + star.twinklePhase;
    const float twinkle = 0.17f * roundedSin(phase) + 0.83f;
    StarLook look;
    look.brightness = clampFloat(twinkle * (0.92f * depthFactor + 0.14f), 0.05f, 1.0f);
    look.apparentRadius = clampFloat((2.8f * depthFactor + 0.42f) * star.size, 0.55f, 7.5f);
    return look;
}

StarShape shapeStar(const Star& star, ScreenPoint screenPos, ScreenPoint prevScreenPos, float z,
                    float streakScale) {
    StarShape shape{};
    const StarLook look = starLook(star, z);
    shape.brightness = look.brightness;
    shape.apparentRadius = look.apparentRadius;
    shape.tint[0] = star.tint[0];
    shape.tint[1] = star.tint[1];
    shape.tint[2] = star.tint[2];
    shape.cx = toCoordinate(screenPos.x);
    shape.cy = toCoordinate(screenPos.y);

    shape.tx = screenPos.x - (screenPos.x - prevScreenPos.x) * streakScale;
    shape.ty = screenPos.y - (screenPos.y - prevScreenPos.y) * streakScale;
    shape.dx = screenPos.x - shape.tx;
    shape.dy = screenPos.y - shape.ty;
    // Written so that NaN draws no streak.
    if (fabsf(shape.dx) + fabsf(shape.dy) > 1.1f) {
        // Clamped as a float, so that a streak longer than any integer still takes 110 samples.
        const float longest = ceilf(fmaxf(fabsf(shape.dx), fabsf(shape.dy)));
        shape.sampleCount = (int32_t)clampFloat(longest, 1.0f, 110.0f);
        shape.thick = clampFloat(shape.apparentRadius * 0.72f, 0.45f, 3.4f) > 2.2f;
    }
    shape.discRadius = (int32_t)clampFloat(ceilf(shape.apparentRadius), 1.0f, 8.0f);
    if (shape.apparentRadius > 3.2f) {
        shape.armLength[0] = (int32_t)(shape.apparentRadius * 3.2f);
        shape.armLength[1] = (int32_t)(shape.apparentRadius * 2.4f);
    }
    return shape;
}

static const float flareColour[3] = {210.0f, 235.0f, 255.0f};

void drawShapeClipped(const StarShape& shape) {
    const float red = shape.tint[0], green = shape.tint[1], blue = shape.tint[2];
    const float brightness = shape.brightness, apparentRadius = shape.apparentRadius;
    const int32_t cx = shape.cx, cy = shape.cy;

    const int32_t sampleCount = shape.sampleCount;
    const int32_t thick = shape.thick;
    for (int32_t j = 0; sampleCount > 0 && j <= sampleCount; j++) {
        const float t = (float)j / (float)sampleCount;
        const float m = brightness * t * t * 0.72f;
        const int32_t x = toCoordinate(shape.dx * t + shape.tx);
        const int32_t y = toCoordinate(t * shape.dy + shape.ty);
        addPixel(x, y, m, red, green, blue);
        markChanged(x - thick, y - thick, x + thick, y + thick);
        if (thick) {
            const float side = m * 0.32f;
            addPixel(x + 1, y, side, red, green, blue);
            addPixel(x - 1, y, side, red, green, blue);
            addPixel(x, y + 1, side, red, green, blue);
            addPixel(x, y - 1, side, red, green, blue);
        }
    }

    const int32_t discRadius = shape.discRadius;
    const float r2 = apparentRadius * apparentRadius;
    const float denominator = r2 + 0.001f;
    markChanged(cx - discRadius, cy - discRadius, cx + discRadius, cy + discRadius);
    for (int32_t v = -discRadius; v <= discRadius; v++) {
        for (int32_t u = -discRadius; u <= discRadius; u++) {
            const float d2 = (float)(u * u + v * v);
            if (d2 > r2) {
                continue;
            }
            addPixel(cx + u, cy + v, (1.0f - d2 / denominator) * brightness, red, green, blue);
        }
    }

    addPixel(cx, cy, clampFloat(brightness * 1.6f, 0.0f, 1.0f), 255.0f, 255.0f, 255.0f);

    const int32_t horizontal = shape.armLength[0], vertical = shape.armLength[1];
    const float horizontalBase = brightness * 0.22f;
    const float horizontalSpan = apparentRadius * 3.2f + 1.0f;
    markChanged(cx - horizontal, cy, cx + horizontal, cy);
    for (int32_t l = 1; l <= horizontal; l++) {
        const float w = (1.0f - (float)l / horizontalSpan) * horizontalBase;
        addPixel(cx + l, cy, w, flareColour[0], flareColour[1], flareColour[2]);
        addPixel(cx - l, cy, w, flareColour[0], flareColour[1], flareColour[2]);
    }
    const float verticalBase = brightness * 0.18f;
    const float verticalSpan = apparentRadius * 2.4f + 1.0f;
    markChanged(cx, cy - vertical, cx, cy + vertical);
    for (int32_t l = 1; l <= vertical; l++) {
        const float w = (1.0f - (float)l / verticalSpan) * verticalBase;
        addPixel(cx, cy + l, w, flareColour[0], flareColour[1], flareColour[2]);
        addPixel(cx, cy - l, w, flareColour[0], flareColour[1], flareColour[2]);
    }
}

// intensity x weight per channel, truncated, as one word: each lies in 0 .. 255 here.
static inline uint32_t packedLight(float intensity, const float weights[3]) {
    return (uint32_t)(int32_t)(intensity * weights[0]) << 16 |
           (uint32_t)(int32_t)(intensity * weights[1]) << 8 |
           (uint32_t)(int32_t)(intensity * weights[2]);
}

// addPixel's blend for light already packed: a saturating add of each byte, top byte 0.
static inline void blendLight(uint32_t* word, uint32_t light) {
    const __m128i sum = _mm_adds_epu8(_mm_cvtsi32_si128((int)*word), _mm_cvtsi32_si128((int)light));
    *word = (uint32_t)_mm_cvtsi128_si32(sum) & 0x00FFFFFFu;
}

static inline void blendLightAt(int32_t x, int32_t y, uint32_t light) {
    if ((uint32_t)x < (uint32_t)engine.width && (uint32_t)y < (uint32_t)engine.height) {
        blendLight(engine.pixels + (size_t)y * (uint32_t)engine.width + (uint32_t)x, light);
    }
}

// Lights one row's columns cx + first .. cx + last, clipped to the buffer; light(u) gives
// the light at column cx + u.
template <typename Light>
static inline void lightRow(int32_t cx, int32_t y, int32_t first, int32_t last, Light light) {
    if ((uint32_t)y >= (uint32_t)engine.height) {
        return;
    }
    first = first > -cx ? first : -cx;
    last = last < engine.width - 1 - cx ? last : engine.width - 1 - cx;
    if (first > last) {
        return;
    }
    uint32_t* const row = engine.pixels + (size_t)y * (uint32_t)engine.width;
    for (int32_t u = first; u <= last; u++) {
        blendLight(row + (cx + u), light(u));
    }
    if (engine.changeMap) {
        markRuns(engine.changeMap + (size_t)y * (uint32_t)engine.changeMapStride, cx + first,
                 cx + last);
    }
}

// Four streak samples from j on, worked out side by side: the same operations in the same
// order as the reference, lane by lane.
struct StreakSamples {
    int32_t x[4], y[4];
    uint32_t light[4], side[4]; // packed; side is the thick streak's neighbours' light
};

static inline __m128i coordinates4(__m128 value) {
    // toCoordinate lane by lane: NaN fails both comparisons too.
    const __m128 inside = _mm_and_ps(_mm_cmpgt_ps(value, _mm_set1_ps(-1073741824.0f)),
                                     _mm_cmplt_ps(value, _mm_set1_ps(1073741824.0f)));
    const __m128i truncated = _mm_cvttps_epi32(value);
    return _mm_or_si128(
        _mm_and_si128(_mm_castps_si128(inside), truncated),
        _mm_andnot_si128(_mm_castps_si128(inside), _mm_set1_epi32(outsideCoordinate)));
}

static inline __m128i packedLight4(__m128 intensity, const float weights[3]) {
    __m128i word = _mm_setzero_si128();
    for (int channel = 0; channel < 3; channel++) {
        const __m128i byte = _mm_cvttps_epi32(_mm_mul_ps(intensity, _mm_set1_ps(weights[channel])));
        word = _mm_or_si128(_mm_slli_epi32(word, 8), byte);
    }
    return word;
}

static inline void streakSamples(const StarShape& shape, const float tint[3], int32_t j,
                                 StreakSamples& samples) {
    const __m128 t =
        _mm_div_ps(_mm_cvtepi32_ps(_mm_add_epi32(_mm_set1_epi32(j), _mm_setr_epi32(0, 1, 2, 3))),
                   _mm_set1_ps((float)shape.sampleCount));
    const __m128 m =
        _mm_mul_ps(_mm_mul_ps(_mm_mul_ps(_mm_set1_ps(shape.brightness), t), t), _mm_set1_ps(0.72f));
    const __m128 x = _mm_add_ps(_mm_mul_ps(_mm_set1_ps(shape.dx), t), _mm_set1_ps(shape.tx));
    const __m128 y = _mm_add_ps(_mm_mul_ps(t, _mm_set1_ps(shape.dy)), _mm_set1_ps(shape.ty));
    _mm_storeu_si128((__m128i*)samples.x, coordinates4(x));
    _mm_storeu_si128((__m128i*)samples.y, coordinates4(y));
    _mm_storeu_si128((__m128i*)samples.light, packedLight4(m, tint));
    const __m128i side =
        shape.thick ? packedLight4(_mm_mul_ps(m, _mm_set1_ps(0.32f)), tint) : _mm_setzero_si128();
    _mm_storeu_si128((__m128i*)samples.side, side);
}

// Whether every sample of the streak, with its neighbours when thick, lies inside the buffer.
// Every sample lies between the first (t = 0) and the last (t = 1): its product with t never
// passes the full vector, and rounding keeps that order.
static bool streakInside(const StarShape& shape) {
    const float endX = shape.dx + shape.tx, endY = shape.dy + shape.ty;
    const float margin = shape.thick ? 1.0f : 0.0f;
    const float width = (float)engine.width - margin, height = (float)engine.height - margin;
    // Written so that NaN fails.
    return fminf(shape.tx, endX) >= margin && fmaxf(shape.tx, endX) < width &&
           fminf(shape.ty, endY) >= margin && fmaxf(shape.ty, endY) < height;
}

void drawShapeFast(const StarShape& shape) {
    const float tint[3] = {shape.tint[0], shape.tint[1], shape.tint[2]};
    const float brightness = shape.brightness, apparentRadius = shape.apparentRadius;
    const int32_t width = engine.width, height = engine.height;
    const int32_t cx = shape.cx, cy = shape.cy;
    uint32_t* const pixels = engine.pixels;
    uint64_t* const map = engine.changeMap;
    const size_t stride = (uint32_t)engine.changeMapStride;

    const int32_t sampleCount = shape.sampleCount;
    const int32_t margin = shape.thick;
    const bool inside = sampleCount > 0 && streakInside(shape);
    // Each group of samples is worked out one group ahead, so that its pixels are on their
    // way from memory while the group before is drawn: the streak's pixels lie far apart.
    StreakSamples ahead;
    if (sampleCount > 0) {
        streakSamples(shape, tint, 0, ahead);
    }
    for (int32_t j = 0; sampleCount > 0 && j <= sampleCount; j += 4) {
        const StreakSamples samples = ahead;
        if (j + 4 <= sampleCount) {
            streakSamples(shape, tint, j + 4, ahead);
            if (inside) {
                // Lanes past the last sample lie beyond the streak, perhaps outside the buffer.
                const int32_t next = sampleCount - 3 - j < 4 ? sampleCount - 3 - j : 4;
                for (int32_t k = 0; k < next; k++) {
                    _mm_prefetch((const char*)(pixels + (size_t)ahead.y[k] * (uint32_t)width +
                                               (uint32_t)ahead.x[k]),
                                 _MM_HINT_T0);
                }
            }
        }
        const int32_t count = sampleCount + 1 - j < 4 ? sampleCount + 1 - j : 4;
        for (int32_t k = 0; k < count; k++) {
            const int32_t x = samples.x[k], y = samples.y[k];
            const uint32_t light = samples.light[k], side = samples.side[k];
            if (!inside &&
                (x < margin || x >= width - margin || y < margin || y >= height - margin)) {
                // Near or beyond an edge: each pixel is tested by itself.
                blendLightAt(x, y, light);
                if (margin) {
                    blendLightAt(x + 1, y, side);
                    blendLightAt(x - 1, y, side);
                    blendLightAt(x, y + 1, side);
                    blendLightAt(x, y - 1, side);
                }
                markChanged(x - margin, y - margin, x + margin, y + margin);
                continue;
            }
            uint32_t* const pixel = pixels + (size_t)y * (uint32_t)width + (uint32_t)x;
            blendLight(pixel, light);
            if (margin) {
                blendLight(pixel + 1, side);
                blendLight(pixel - 1, side);
                blendLight(pixel + width, side);
                blendLight(pixel - width, side);
                if (map) {
                    uint64_t* const row = map + (size_t)y * stride;
                    markRun(row - stride, x);
                    markRuns(row, x - 1, x + 1);
                    markRun(row + stride, x);
                }
            } else if (map) {
                markRun(map + (size_t)y * stride, x);
            }
        }
    }

    // The disc's light depends only on the squared distance, which takes few values.
    const int32_t discRadius = shape.discRadius;
    const float r2 = apparentRadius * apparentRadius;
    const float denominator = r2 + 0.001f;
    uint32_t discLight[57]; // r2 is at most 7.5 x 7.5
    const int32_t farthest = 2 * discRadius * discRadius;
    const int32_t largest = (int32_t)r2 < farthest ? (int32_t)r2 : farthest;
    for (int32_t d2 = 0; d2 <= largest; d2++) {
        discLight[d2] = packedLight((1.0f - (float)d2 / denominator) * brightness, tint);
    }
    for (int32_t v = -discRadius; v <= discRadius; v++) {
        int32_t reach = discRadius;
        while (reach >= 0 && (float)(reach * reach + v * v) > r2) {
            reach--;
        }
        lightRow(cx, cy + v, -reach, reach, [&](int32_t u) { return discLight[u * u + v * v]; });
    }

    const uint32_t core = (uint32_t)(int32_t)(clampFloat(brightness * 1.6f, 0.0f, 1.0f) * 255.0f);
    blendLightAt(cx, cy, core * 0x010101u);

    const int32_t horizontal = shape.armLength[0], vertical = shape.armLength[1];
    if (horizontal <= 0) {
        return;
    }
    uint32_t armLight[25]; // arms reach at most 7.5 x 3.2 pixels
    const float horizontalBase = brightness * 0.22f;
    const float horizontalSpan = apparentRadius * 3.2f + 1.0f;
    for (int32_t l = 1; l <= horizontal; l++) {
        armLight[l] = packedLight((1.0f - (float)l / horizontalSpan) * horizontalBase, flareColour);
    }
    lightRow(cx, cy, 1, horizontal, [&](int32_t u) { return armLight[u]; });
    lightRow(cx, cy, -horizontal, -1, [&](int32_t u) { return armLight[-u]; });
    const float verticalBase = brightness * 0.18f;
    const float verticalSpan = apparentRadius * 2.4f + 1.0f;
    for (int32_t l = 1; l <= vertical; l++) {
        const uint32_t light =
            packedLight((1.0f - (float)l / verticalSpan) * verticalBase, flareColour);
        lightRow(cx, cy + l, 0, 0, [&](int32_t) { return light; });
        lightRow(cx, cy - l, 0, 0, [&](int32_t) { return light; });
    }
}

void drawStar(const Star& star, ScreenPoint screenPos, ScreenPoint prevScreenPos, float z,
              float speedFactor) {
    drawStarScaled(star, screenPos, prevScreenPos, z, streakScaleFor(speedFactor));
}

void drawStarScaled(const Star& star, ScreenPoint screenPos, ScreenPoint prevScreenPos, float z,
                    float streakScale) {
    drawShapeFast(shapeStar(star, screenPos, prevScreenPos, z, streakScale));
}
