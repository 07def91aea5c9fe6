// Reading screenshots of the saver: what is background, what is star, what is text.
#pragma once

#include <stdint.h>

#include <vector>

struct Picture {
    int32_t width;
    int32_t height;
    std::vector<uint32_t> pixels; // red << 16 | green << 8 | blue, rows top-down
};

struct Area {
    int32_t left, top, right, bottom; // right and bottom exclusive
};

// The picture's own background: the engine's background words for its size.
std::vector<uint32_t> backgroundFor(int32_t width, int32_t height);

// How far the brightest channel of pixel lies above that of base; negative when darker.
int32_t excess(uint32_t pixel, uint32_t base);

// Pixels of the area lit at least threshold above the background.
int32_t countLit(const Picture& picture, const std::vector<uint32_t>& background, Area area,
                 int32_t threshold);

// Pixels of the area that are lit and carry the very same word in every picture: what does not
// move or twinkle from frame to frame, as text does.
int32_t countSteady(const std::vector<Picture>& pictures, const std::vector<uint32_t>& background,
                    Area area, int32_t threshold);

// The bounding box of those steady pixels; empty (left >= right) when there are none.
Area steadyBounds(const std::vector<Picture>& pictures, const std::vector<uint32_t>& background,
                  Area area, int32_t threshold);

// Pixels that differ between two pictures.
int32_t countChanged(const Picture& a, const Picture& b);

// Pixels of the area lit in one picture and not in the other: stars that moved.
int32_t countLitMoved(const Picture& a, const Picture& b, const std::vector<uint32_t>& background,
                      Area area, int32_t threshold);

// How a block of the picture compares with the background: light is only ever added, so no
// pixel may be darker in any channel, and where no star passes a pixel equals its word.
struct CornerCheck {
    int32_t equal;
    int32_t darker;
};
CornerCheck checkBlock(const Picture& picture, const std::vector<uint32_t>& background, Area area);

// Streaks: runs of lit pixels along rows and along columns. Light grows toward a streak's
// head, so the brighter end of a run tells which way its star moved.
struct Streaks {
    int32_t horizontal; // runs along a row at least minimum long
    int32_t vertical;   // runs along a column at least minimum long
    int32_t headsLeft;  // horizontal runs brighter at their left end
    int32_t headsRight; // ... at their right end
    int32_t headsUp;    // vertical runs brighter at their top
    int32_t headsDown;  // ... at their bottom
    int64_t litPixels;  // every lit pixel of the area
    int64_t runLength;  // the counted runs' lengths, both directions together
};
Streaks findStreaks(const Picture& picture, const std::vector<uint32_t>& background, Area area,
                    int32_t threshold, int32_t minimum);
