#include "engine/engine.h"

#include <math.h>

#include "engine/rounded.h"

const uint8_t starPalette[6][3] = {
    {170, 205, 255}, // light blue
    {205, 222, 255}, // pale blue
    {245, 247, 255}, // blue-white
    {255, 237, 205}, // warm white
    {255, 204, 155}, // orange
    {155, 205, 255}, // blue
};

uint32_t nextRandom() {
    uint32_t s = engine.rngState;
    s ^= s << 13;
    s ^= s >> 17;
    s ^= s << 5;
    engine.rngState = s;
    return s;
}

// The low 24 bits as a fraction: exact in single precision.
static float unitValue(uint32_t draw) {
    return (float)(draw & 0xFFFFFFu) * 0x1p-24f;
}

void spawnStar(Star& star, bool respawn) {
    const float pi = 3.14159274f;
    // 2.4 - 0.5 in single precision, one step above the float nearest 1.9.
    const float rateSpan = 2.4f - 0.5f;

    float theta = (unitValue(nextRandom()) * pi) * 2.0f;
    float radius = (float)(engine.width > engine.height ? engine.width : engine.height) * 1.28f;
    float distance = sqrtf(unitValue(nextRandom())) * radius;
    uint32_t paletteIndex = nextRandom() % 6u;
    star.x = roundedCos(theta) * distance;
    star.y = roundedSin(theta) * distance;
    float depth = unitValue(nextRandom());
    star.z = respawn ? depth * 270.0f + 1230.0f : depth * 1496.0f + 4.0f;
    star.zPrev = star.z + 1.0f;
    star.size = roundedPow5(unitValue(nextRandom())) * 2.5f + 0.28f;
    star.tint[0] = starPalette[paletteIndex][0];
    star.tint[1] = starPalette[paletteIndex][1];
    star.tint[2] = starPalette[paletteIndex][2];
    star.twinklePhase = (unitValue(nextRandom()) * pi) * 2.0f;
    star.twinkleRate = unitValue(nextRandom()) * rateSpan + 0.5f;
}
