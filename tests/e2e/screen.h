// Looking at a running saver on the screen and giving it real input through X.
#pragma once

#include <string>
#include <vector>

#include "tests/e2e/host.h"

RECT virtualScreen();
RECT screenRectOf(HWND window); // the client area, in screen coordinates

// Captures until the saver's corners show its background (it has drawn), or the time is up.
bool waitForFrames(const RECT& area, DWORD timeoutMs);

// count pictures of the area, gapMs apart: frames that follow each other on the screen.
std::vector<Picture> captureSeries(const RECT& area, int count, DWORD gapMs);

// The four 6 x 6 corner blocks of the picture compared with the background: in the best of the
// pictures (a star may pass a corner now and then) each block equals it nearly everywhere.
void expectBackgroundCorners(const std::vector<Picture>& pictures,
                             const std::vector<uint32_t>& background);

// Stars all over the picture, and moving: the pictures differ outside the text band.
void expectFlyingStars(const std::vector<Picture>& pictures,
                       const std::vector<uint32_t>& background);

// Steady lit pixels (text) in the band of rows 24 to 100, from column 28 to width - 28.
int32_t steadyInBand(const std::vector<Picture>& pictures, const std::vector<uint32_t>& background);

// A real key press or mouse click through X. The key goes to the window whose title matches
// the pattern (the full-screen window when it is empty), once it has the X focus.
int pressKey(const std::string& key, const std::string& titlePattern = "");
int clickAt(int32_t x, int32_t y, int button);
