// Draws the screen saver's icon with the engine's own background and star drawing and writes
// it as a Windows icon file: 256 px as PNG, 128 to 16 px as 32-bit bitmaps with a mask.
// Usage: voidrunner-iconmaker OUTPUT.ico [PREVIEW.png]
#include <math.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <vector>

#include "engine/engine.h"
#include "tools/png/png.h"

namespace {

typedef std::vector<uint8_t> Bytes;

const int32_t iconSizes[] = {256, 128, 64, 48, 32, 16};

// One of the bright stars whose streaks point back at the centre.
struct Beacon {
    float angle;    // radians, clockwise from the right since y grows downward
    float distance; // from the centre, in icon widths
    float streak;   // length of the streak, in icon widths
    float radius;   // apparent radius, in icon widths
    int32_t tint;   // index into starPalette
};

const Beacon beacons[] = {
    {-0.62f, 0.30f, 0.24f, 0.040f, 2}, {2.10f, 0.27f, 0.20f, 0.034f, 1},
    {0.95f, 0.33f, 0.25f, 0.030f, 3},  {3.55f, 0.31f, 0.22f, 0.028f, 5},
    {-1.95f, 0.22f, 0.15f, 0.022f, 0},
};

const float pi = 3.14159274f;
const float speedFactor = 2.0f;

// A star at depth 4 is at full brightness; its size sets the apparent radius in pixels.
Star starWithRadius(float radius, int32_t tint) {
    Star star{};
    star.z = 4.0f;
    star.zPrev = star.z;
    const float depthFactor = 1.0f - star.z / 1500.0f;
    star.size = radius / (2.8f * depthFactor + 0.42f);
    star.twinklePhase = pi / 2.0f; // the crest of the twinkle at flight time 0
    star.tint[0] = starPalette[tint][0];
    star.tint[1] = starPalette[tint][1];
    star.tint[2] = starPalette[tint][2];
    return star;
}

// A star at (x, y) moving straight away from the centre, its streak length pixels long.
void drawRadialStar(const Star& star, float x, float y, float centre, float length) {
    const float dx = x - centre, dy = y - centre;
    const float away = sqrtf(dx * dx + dy * dy);
    const float step = away > 0.0f ? length / streakScaleFor(speedFactor) / away : 0.0f;
    const ScreenPoint at{x, y};
    const ScreenPoint before{x - dx * step, y - dy * step};
    drawStar(star, at, before, star.z, speedFactor);
}

// Whether a canvas pixel centre lies inside the rounded square of the icon's outline.
bool insideOutline(int32_t x, int32_t y, int32_t canvas) {
    const float size = (float)canvas;
    const float corner = size * 0.19f;
    float px = (float)x + 0.5f, py = (float)y + 0.5f;
    px = px < corner ? corner - px : px > size - corner ? px - (size - corner) : 0.0f;
    py = py < corner ? corner - py : py > size - corner ? py - (size - corner) : 0.0f;
    return px * px + py * py <= corner * corner;
}

// A faint blue line along the outline, so that the dark tile stands out on a dark desktop.
void drawRim(int32_t canvas) {
    const int32_t width = canvas / 64 > 1 ? canvas / 64 : 1;
    for (int32_t y = 0; y < canvas; y++) {
        for (int32_t x = 0; x < canvas; x++) {
            if (!insideOutline(x, y, canvas)) {
                continue;
            }
            bool nearEdge = false;
            for (int32_t d = 1; d <= width && !nearEdge; d++) {
                nearEdge = !insideOutline(x - d, y, canvas) || !insideOutline(x + d, y, canvas) ||
                           !insideOutline(x, y - d, canvas) || !insideOutline(x, y + d, canvas);
            }
            if (nearEdge) {
                addPixel(x, y, 0.35f, 90.0f, 150.0f, 255.0f);
            }
        }
    }
}

// The picture at canvas x canvas pixels, in the engine's pixel words.
std::vector<uint32_t> drawScene(int32_t canvas, float beaconScale, float streakScale,
                                bool fieldStars) {
    resetEngineState();
    std::vector<uint32_t> pixels((size_t)canvas * (size_t)canvas);
    engine.width = canvas;
    engine.height = canvas;
    engine.pixels = pixels.data();
    fillBackground(pixels.data(), canvas, canvas);
    const float size = (float)canvas;
    const float centre = size * 0.5f;

    if (fieldStars) {
        // Faint distant stars from the engine's own generator, all fleeing the centre.
        const int32_t count = canvas * canvas / 1400;
        for (int32_t i = 0; i < count; i++) {
            const float angle = (float)(nextRandom() & 0xFFFFu) / 65536.0f * 2.0f * pi;
            const float spread = (float)(nextRandom() & 0xFFFFu) / 65536.0f;
            const float distance = sqrtf(spread) * size * 0.62f;
            const float radius = 0.6f + (float)(nextRandom() % 100u) / 100.0f * 1.4f;
            Star star = starWithRadius(radius, (int32_t)(nextRandom() % 6u));
            star.z = 700.0f + (float)(nextRandom() % 700u);
            const float x = centre + cosf(angle) * distance;
            const float y = centre + sinf(angle) * distance;
            drawRadialStar(star, x, y, centre, distance * 0.18f);
        }
    }
    for (const Beacon& beacon : beacons) {
        const float radius = fminf(beacon.radius * beaconScale * size, 7.5f);
        const Star star = starWithRadius(radius, beacon.tint);
        const float x = centre + cosf(beacon.angle) * beacon.distance * size;
        const float y = centre + sinf(beacon.angle) * beacon.distance * size;
        drawRadialStar(star, x, y, centre, beacon.streak * streakScale * size);
    }
    // The vanishing point itself: a small white star that the streaks lead back to.
    drawRadialStar(starWithRadius(fminf(0.02f * beaconScale * size, 5.0f), 2), centre, centre,
                   centre, 0.0f);
    drawRim(canvas);

    engine.pixels = nullptr;
    resetEngineState();
    return pixels;
}

// Straight-alpha RGBA bytes, rows top-down: the scene drawn at a multiple of the size and
// averaged down, so that small sizes keep their stars and edges stay smooth.
Bytes renderIcon(int32_t size) {
    const int32_t factor = size >= 128 ? 1 : size >= 48 ? 2 : 4;
    // Small sizes: fewer, larger stars with longer streaks, so that the shape still reads.
    const float beaconScale = size >= 128 ? 1.0f : size >= 48 ? 1.3f : 1.6f;
    const float streakScale = size >= 48 ? 1.0f : 1.35f;
    const int32_t canvas = size * factor;
    const std::vector<uint32_t> scene = drawScene(canvas, beaconScale, streakScale, size >= 48);
    Bytes rgba((size_t)size * (size_t)size * 4u);
    for (int32_t y = 0; y < size; y++) {
        for (int32_t x = 0; x < size; x++) {
            uint32_t sum[3] = {0, 0, 0}, peak[3] = {0, 0, 0}, covered = 0;
            for (int32_t v = 0; v < factor; v++) {
                for (int32_t u = 0; u < factor; u++) {
                    const int32_t cx = x * factor + u, cy = y * factor + v;
                    if (!insideOutline(cx, cy, canvas)) {
                        continue;
                    }
                    const uint32_t word = scene[(size_t)cy * (size_t)canvas + (size_t)cx];
                    for (int32_t c = 0; c < 3; c++) {
                        const uint32_t value = word >> (16 - 8 * c) & 0xFFu;
                        sum[c] += value;
                        peak[c] = value > peak[c] ? value : peak[c];
                    }
                    covered++;
                }
            }
            uint8_t* out = &rgba[((size_t)y * (size_t)size + (size_t)x) * 4u];
            for (int32_t c = 0; c < 3; c++) {
                // Thin streaks keep most of their light when many pixels become one.
                const uint32_t mean = covered ? (sum[c] + covered / 2u) / covered : 0;
                const uint32_t kept = peak[c] * 3u / 4u;
                out[c] = (uint8_t)(mean > kept ? mean : kept);
            }
            out[3] = (uint8_t)((covered * 255u + (uint32_t)(factor * factor) / 2u) /
                               (uint32_t)(factor * factor));
        }
    }
    return rgba;
}

// The 256-pixel image as PNG bytes, for the icon file to hold.
bool encodePng(const Bytes& rgba, int32_t size, Bytes& out) {
    char* buffer = nullptr;
    size_t length = 0;
    FILE* memory = open_memstream(&buffer, &length);
    if (!memory) {
        return false;
    }
    char reason[160];
    const bool written =
        writePng(memory, rgba.data(), size, size, PngStraightRgba, 9, reason, sizeof reason);
    const bool closed = fclose(memory) == 0;
    if (written && closed) {
        out.assign(buffer, buffer + length);
    }
    free(buffer);
    return written && closed;
}

void put16(Bytes& out, uint32_t value) {
    out.push_back((uint8_t)value);
    out.push_back((uint8_t)(value >> 8));
}

void put32(Bytes& out, uint32_t value) {
    put16(out, value & 0xFFFFu);
    put16(out, value >> 16);
}

// A BITMAPINFOHEADER of double height, the colour rows and the AND mask, both bottom-up.
Bytes encodeDib(const Bytes& rgba, int32_t size) {
    const uint32_t maskStride = ((uint32_t)size + 31u) / 32u * 4u;
    const uint32_t colourBytes = (uint32_t)size * (uint32_t)size * 4u;
    Bytes out;
    put32(out, 40);
    put32(out, (uint32_t)size);
    put32(out, (uint32_t)size * 2u);
    put16(out, 1);
    put16(out, 32);
    put32(out, 0);
    put32(out, colourBytes + maskStride * (uint32_t)size);
    for (int32_t i = 0; i < 4; i++) {
        put32(out, 0);
    }
    for (int32_t y = size - 1; y >= 0; y--) {
        for (int32_t x = 0; x < size; x++) {
            const uint8_t* p = &rgba[((size_t)y * (size_t)size + (size_t)x) * 4u];
            out.push_back(p[2]);
            out.push_back(p[1]);
            out.push_back(p[0]);
            out.push_back(p[3]);
        }
    }
    for (int32_t y = size - 1; y >= 0; y--) {
        Bytes row(maskStride, 0);
        for (int32_t x = 0; x < size; x++) {
            if (rgba[((size_t)y * (size_t)size + (size_t)x) * 4u + 3u] == 0) {
                row[(size_t)x / 8u] |= (uint8_t)(0x80u >> (x % 8));
            }
        }
        out.insert(out.end(), row.begin(), row.end());
    }
    return out;
}

bool writeFile(const char* path, const Bytes& bytes) {
    FILE* file = fopen(path, "wb");
    if (!file) {
        return false;
    }
    const bool written = fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    return fclose(file) == 0 && written;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2 || argc > 3) {
        fprintf(stderr, "usage: %s OUTPUT.ico [PREVIEW.png]\n", argv[0]);
        return 2;
    }
    const int32_t count = (int32_t)(sizeof iconSizes / sizeof iconSizes[0]);
    std::vector<Bytes> images;
    Bytes preview;
    for (int32_t size : iconSizes) {
        const Bytes rgba = renderIcon(size);
        Bytes image;
        if (size == 256) {
            if (!encodePng(rgba, size, image)) {
                fprintf(stderr, "%s: PNG encoder failed\n", argv[0]);
                return 1;
            }
            preview = image;
        } else {
            image = encodeDib(rgba, size);
        }
        images.push_back(image);
    }

    Bytes file;
    put16(file, 0);
    put16(file, 1); // an icon, not a cursor
    put16(file, (uint32_t)count);
    uint32_t offset = 6u + 16u * (uint32_t)count;
    for (int32_t i = 0; i < count; i++) {
        file.push_back((uint8_t)(iconSizes[i] & 0xFF)); // 256 is written as 0
        file.push_back((uint8_t)(iconSizes[i] & 0xFF));
        file.push_back(0);
        file.push_back(0);
        put16(file, 1);
        put16(file, 32);
        put32(file, (uint32_t)images[(size_t)i].size());
        put32(file, offset);
        offset += (uint32_t)images[(size_t)i].size();
    }
    for (const Bytes& image : images) {
        file.insert(file.end(), image.begin(), image.end());
    }
    if (!writeFile(argv[1], file) || (argc == 3 && !writeFile(argv[2], preview))) {
        fprintf(stderr, "%s: cannot write %s\n", argv[0], argv[argc - 1]);
        return 1;
    }
    return 0;
}
