// The star-field engine: one global state record and the free functions that read and
// write it. Everything here runs on the window's single thread.
#pragma once

#include <stdint.h>

#include "engine/platform.h"

enum RunMode : int32_t {
    Default = 0,
    Saver = 1,
    Preview = 2,
};

struct Star {
    float x;
    float y;
    float z;
    float zPrev;
    float size;
    float twinklePhase;
    float twinkleRate;
    uint8_t tint[3]; // red, green, blue: the reverse of the pixel word's byte order
};

struct ScreenPoint {
    float x;
    float y;
};

// Every field not given a value here starts at zero or null.
struct EngineState {
    // Start-up.
    RunMode runMode;
    HWND previewParent;
    int64_t counterFrequency;
    int64_t startCounter;
    int64_t lastFrameCounter;
    HFONT titleFont;
    HFONT captionFont;

    // Window and input.
    HWND mainWindow;
    uint8_t cursorHidden;
    int32_t cursorHideCalls; // what creation took from the cursor count, given back on destroy
    float pendingYaw;
    float pendingPitch;
    int32_t speedPercent = 28;
    float targetSpeed;

    // Frame buffers.
    int32_t width;
    int32_t height;
    BITMAPINFO bitmapInfo;
    HDC memoryDc;
    HBITMAP dibBitmap;
    HGDIOBJ previousBitmap;
    uint32_t* pixels;
    uint32_t* background;
    int32_t starCount;
    Star* stars;

    // What the pixel buffer holds beyond the background: one bit for each run of
    // changeRunPixels pixels of a row, set where drawing may have changed it and cleared when
    // the next frame copies it back. It shares the background's allocation.
    uint64_t* changeMap;
    int32_t changeMapStride; // words per row
    bool changeMapValid;     // false: the next frame copies the whole background

    // Random generator.
    uint32_t rngState = 0x8f3a19d7u;

    // Flight.
    float currentSpeed = 70.0f;
    double flightTime;
};

extern EngineState engine;

// The values a fresh process starts with; tests call it to begin from a known state.
void resetEngineState();

extern const uint8_t starPalette[6][3];

// Advances the xorshift32 generator by one step and returns the new state.
uint32_t nextRandom();

// Gives one star a new place, depth, size, tint and twinkle; seven draws.
void spawnStar(Star& star, bool respawn);

// Writes width x height background words; a pure function of the size. Runs on the widest
// vector unit the processor has.
void fillBackground(uint32_t* background, int32_t width, int32_t height);

// Where the background's arithmetic runs. Every path writes the scalar loop's bits.
enum BackgroundPath : int32_t {
    BackgroundScalar = 0,
    BackgroundSse2,
    BackgroundAvx2,
};
const BackgroundPath backgroundPaths[] = {BackgroundScalar, BackgroundSse2, BackgroundAvx2};

// Whether this processor can run the path.
bool backgroundPathAvailable(BackgroundPath path);

// fillBackground on the named path, which must be available.
void fillBackgroundOn(BackgroundPath path, uint32_t* background, int32_t width, int32_t height);

// Called from WM_SIZE with the new client size in pixels, each at least 1.
void rebuildFrameBuffers(int32_t width, int32_t height);

// Called at the start of every rebuild and from WM_DESTROY; safe in any state.
void releaseFrameBuffers();

// 16 pixels of 4 bytes: one cache line where the row's start is aligned to one.
const int32_t changeRunPixels = 16;

// Words of the change map for each row of a buffer width pixels wide.
int32_t changeMapStrideFor(int32_t width);

// Bytes the background's allocation needs for the image and the change map behind it.
uint64_t backgroundAllocationBytes(int32_t width, int32_t height);

// Called by rebuildFrameBuffers once the background exists: lays the change map out behind
// the image, all clear, and has the next frame copy the whole background.
void attachChangeMap();

// Marks runs left / changeRunPixels .. right / changeRunPixels of one row of the change map;
// both columns lie inside the buffer.
inline void markRuns(uint64_t* row, int32_t left, int32_t right) {
    const uint32_t first = (uint32_t)left / changeRunPixels;
    const uint32_t last = (uint32_t)right / changeRunPixels;
    const uint64_t firstMask = ~(uint64_t)0 << (first % 64);
    const uint64_t lastMask = ~(uint64_t)0 >> (63 - last % 64);
    if (first / 64 == last / 64) {
        row[first / 64] |= firstMask & lastMask;
        return;
    }
    row[first / 64] |= firstMask;
    for (uint32_t word = first / 64 + 1; word < last / 64; word++) {
        row[word] = ~(uint64_t)0;
    }
    row[last / 64] |= lastMask;
}

// Marks the run that holds column x of one row of the change map.
inline void markRun(uint64_t* row, int32_t x) {
    const uint32_t run = (uint32_t)x / changeRunPixels;
    row[run / 64] |= (uint64_t)1 << (run % 64);
}

// Called by the rasteriser and the overlay: the rectangle from (left, top) to (right, bottom),
// corners included, in pixels, may differ from the background from now on. Clipped to the
// buffer; does nothing without a change map.
void markChanged(int32_t left, int32_t top, int32_t right, int32_t bottom);

// Called at the start of every frame step: copies back from the background what the previous
// frame changed, or the whole background when the change map cannot tell.
void restoreBackground();

// Star count for an area of pixelCount pixels in the current run mode.
int32_t starCountFor(uint32_t pixelCount);

// Speed setting 0..100 to target speed in world units per second.
float speedCurve(int32_t percent);

// Truncates toward zero; a value that is not finite or lies beyond +-2^30 becomes a
// coordinate far outside any buffer, so that neighbours one pixel away stay representable.
int32_t toCoordinate(float value);
const int32_t outsideCoordinate = -(1 << 30);

// Adds intensity x weight to each channel of pixel (x, y), saturating at 255; pixels outside
// the buffer are skipped.
void addPixel(int32_t x, int32_t y, float intensity, float red, float green, float blue);

// How bright and how large a star at depth z looks at the current flight time.
struct StarLook {
    float brightness;     // 0.05 .. 1
    float apparentRadius; // pixels, 0.55 .. 7.5
};
StarLook starLook(const Star& star, float z);

// Everything drawing needs of one star in one frame, in pixels.
struct StarShape {
    float brightness;
    float apparentRadius;
    float tint[3];       // red, green, blue weights
    int32_t cx, cy;      // centre pixel
    float tx, ty;        // tail point of the streak
    float dx, dy;        // from the tail to the star
    int32_t sampleCount; // 0: no streak
    bool thick;
    int32_t discRadius;
    int32_t armLength[2]; // horizontal, vertical; 0 without flare arms
};
StarShape shapeStar(const Star& star, ScreenPoint screenPos, ScreenPoint prevScreenPos, float z,
                    float streakScale);

// The reference drawing: every pixel goes through addPixel and its bounds test.
void drawShapeClipped(const StarShape& shape);

// The one drawStarScaled uses: the reference's bits, with light packed into a word and added
// a byte at a time (brightness and radius are clamped, so every contribution is a byte), and
// with tests per row and per streak sample rather than per pixel.
void drawShapeFast(const StarShape& shape);

// 7.8 x speedFactor^0.76 + 2.1: how far behind a star its streak reaches.
float streakScaleFor(float speedFactor);

// Draws one visible star: streak, glow disc, core pixel and flare arms.
void drawStar(const Star& star, ScreenPoint screenPos, ScreenPoint prevScreenPos, float z,
              float speedFactor);

// drawStar with streakScaleFor(speedFactor) already worked out: the frame step computes the
// power once per frame instead of once per star.
void drawStarScaled(const Star& star, ScreenPoint screenPos, ScreenPoint prevScreenPos, float z,
                    float streakScale);

// What every star of one frame shares.
struct FrameView {
    float yaw;
    float pitch;
    float cosYaw, sinYaw;
    float cosPitch, sinPitch;
    float focalLength;
    ScreenPoint viewCentre;
    float speedFactor;
    float streakScale; // streakScaleFor(speedFactor)
    float motionStep;
};

// Eases currentSpeed toward targetSpeed over deltaTime seconds.
void easeSpeed(double deltaTime);

// The frame's shared values, from the eased speed and the advanced flight time.
FrameView makeFrameView(float yaw, float pitch, double deltaTime);

// Steers, moves, projects and culls one star; true when it is to be drawn at screenPos with
// its streak from prevScreenPos.
bool stepStar(Star& star, const FrameView& view, ScreenPoint& screenPos,
              ScreenPoint& prevScreenPos);

// Steps every star in array order and draws each visible one right after its step.
void flyStars(const FrameView& view);

// Called once at start-up by each front end: the counter's frequency and the start stamp,
// which the click rule and the first frame measure from.
void takeStartStamp();

// Called by renderFrame with the counter ticks since the last paint, and by tests that fly
// without a window: copies the background back, eases the speed, advances the flight time and
// takes the steering, then steps and draws every star; only the counter stamp is left to the
// caller. Without all three buffers it does nothing but have the next frame copy everything.
void stepFrame(int64_t elapsed);

// Called from WM_PAINT: advances the flight by the time since the last paint and paints it.
void renderFrame(HWND window);

// Draws the overlay text (full-screen modes only) and copies the frame to paintDc.
void presentFrame(HDC paintDc);

extern const wchar_t overlayTitle[];
extern const wchar_t overlayCaption[];
