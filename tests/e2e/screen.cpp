#include "tests/e2e/screen.h"

#include <wchar.h>

#include <algorithm>

// A pixel counts as lit by a star or a glyph when one channel lies this far above the
// background; the background itself never rises above 77.
const int32_t litThreshold = 48;

RECT virtualScreen() {
    const int32_t x = GetSystemMetrics(SM_XVIRTUALSCREEN), y = GetSystemMetrics(SM_YVIRTUALSCREEN);
    return RECT{x, y, x + GetSystemMetrics(SM_CXVIRTUALSCREEN),
                y + GetSystemMetrics(SM_CYVIRTUALSCREEN)};
}

RECT screenRectOf(HWND window) {
    RECT client{};
    GetClientRect(window, &client);
    POINT origin{0, 0};
    ClientToScreen(window, &origin);
    return RECT{origin.x, origin.y, origin.x + client.right, origin.y + client.bottom};
}

static Area cornerBlock(int32_t width, int32_t height, int corner) {
    const int32_t size = 6;
    const int32_t left = corner & 1 ? width - size : 0;
    const int32_t top = corner & 2 ? height - size : 0;
    return Area{left, top, left + size, top + size};
}

bool waitForFrames(const RECT& area, DWORD timeoutMs) {
    const std::vector<uint32_t> background =
        backgroundFor(area.right - area.left, area.bottom - area.top);
    const ULONGLONG deadline = GetTickCount64() + timeoutMs;
    for (;;) {
        const Picture picture = captureScreen(area);
        int32_t matching = 0;
        for (int corner = 0; corner < 4 && !picture.pixels.empty(); corner++) {
            const CornerCheck check =
                checkBlock(picture, background, cornerBlock(picture.width, picture.height, corner));
            matching += check.darker == 0 && check.equal >= 30;
        }
        if (matching >= 3) {
            return true;
        }
        if (GetTickCount64() >= deadline) {
            return false;
        }
        pumpFor(50);
    }
}

std::vector<Picture> captureSeries(const RECT& area, int count, DWORD gapMs) {
    std::vector<Picture> pictures;
    for (int i = 0; i < count; i++) {
        if (i) {
            pumpFor(gapMs);
        }
        pictures.push_back(captureScreen(area));
    }
    return pictures;
}

void expectBackgroundCorners(const std::vector<Picture>& pictures,
                             const std::vector<uint32_t>& background) {
    for (int corner = 0; corner < 4; corner++) {
        int32_t bestEqual = 0, darker = 0;
        for (const Picture& picture : pictures) {
            const CornerCheck check =
                checkBlock(picture, background, cornerBlock(picture.width, picture.height, corner));
            bestEqual = check.equal > bestEqual ? check.equal : bestEqual;
            darker += check.darker;
        }
        EXPECT_EQ(darker, 0) << "corner " << corner << " darker than the background";
        EXPECT_GE(bestEqual, 32) << "corner " << corner << ": of 36 pixels only " << bestEqual
                                 << " show the background word";
    }
    // Whatever the size, the top-left word is the same.
    bool topLeftSeen = false;
    for (const Picture& picture : pictures) {
        topLeftSeen = topLeftSeen || picture.pixels[0] == 0x00020309u;
    }
    EXPECT_TRUE(topLeftSeen) << "top-left pixel " << std::hex << pictures[0].pixels[0];
}

void expectFlyingStars(const std::vector<Picture>& pictures,
                       const std::vector<uint32_t>& background) {
    const Picture& first = pictures.front();
    const int32_t w = first.width, h = first.height;
    // Quadrants below the text band.
    const Area quadrants[4] = {
        {0, 110, w / 2, h / 2}, {w / 2, 110, w, h / 2}, {0, h / 2, w / 2, h}, {w / 2, h / 2, w, h}};
    for (const Area& quadrant : quadrants) {
        EXPECT_GE(countLit(first, background, quadrant, litThreshold), 10)
            << "no stars in the quadrant at " << quadrant.left << "," << quadrant.top;
    }
    Picture below = first, belowLast = pictures.back();
    const size_t bandEnd = (size_t)110 * (size_t)w;
    std::fill(below.pixels.begin(), below.pixels.begin() + bandEnd, 0u);
    std::fill(belowLast.pixels.begin(), belowLast.pixels.begin() + bandEnd, 0u);
    EXPECT_GE(countChanged(below, belowLast), 300) << "the stars stand still";
}

int32_t steadyInBand(const std::vector<Picture>& pictures,
                     const std::vector<uint32_t>& background) {
    const int32_t w = pictures.front().width;
    return countSteady(pictures, background, Area{28, 24, w - 28, 100}, litThreshold);
}

// An extended regular expression that matches exactly the title, for xdotool.
static std::string exactPattern(const wchar_t* title) {
    std::string pattern = "^";
    for (const wchar_t* c = title; *c; c++) {
        if (wcschr(L".[]()*+?{}|^$\\", *c)) {
            pattern += '\\';
        }
        pattern += (char)*c;
    }
    return pattern + "$";
}

int pressKey(const std::string& key, const std::string& titlePattern) {
    const std::string pattern = titlePattern.empty() ? exactPattern(fullScreenTitle) : titlePattern;
    // Under X without a window manager the window gets keys once it holds the X focus.
    return runUnix("w=$(xdotool search --limit 1 --name '" + pattern +
                   "' | head -n1)\n"
                   "[ -n \"$w\" ] && timeout 5 xdotool windowfocus --sync \"$w\"\n"
                   "xdotool key " +
                   key);
}

int clickAt(int32_t x, int32_t y, int button) {
    return runUnix("xdotool mousemove " + std::to_string(x) + " " + std::to_string(y) + " click " +
                   std::to_string(button));
}
