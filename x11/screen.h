// The hack's side of the X server apart from events: a record of X errors instead of Xlib's
// default end of the process, and the image each frame is shown through.
#pragma once

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XShm.h>

#include <stdint.h>

#include "engine/engine.h"

// Replaces Xlib's handler, which ends the process on any error: a window that vanishes
// under a hack must end it cleanly, and a failed shared-memory attach only means plain
// images.
void trapXErrors();

// Errors seen since the last call; clears the count.
int32_t takeXErrors();

// Whether frames can be written into windows of this visual as they lie in memory: 24 bits
// of true colour with red, green and blue in bits 16-23, 8-15 and 0-7.
bool visualFits(const Visual* visual, int32_t depth);

// The image a frame is shown through, and the layer's window over its memory, so that
// presentation's BitBlt writes straight into what goes to the server.
struct Surface {
    XImage* image;
    XShmSegmentInfo segment;
    bool shared; // an MIT-SHM image, shown with XShmPutImage
    HWND window;
    int32_t width;
    int32_t height;
};

// A shared-memory image when tryShared and the server can attach the segment, otherwise an
// image over ordinary memory. False (and an empty surface) when neither can be made.
bool createSurface(Display* display, Visual* visual, int32_t depth, int32_t width, int32_t height,
                   bool tryShared, Surface& surface);

// Safe on an empty surface; leaves it empty.
void destroySurface(Display* display, Surface& surface);

// Sends the whole image to the drawable and waits until the server has taken it, so that the
// next frame may write into the shared memory again.
void showSurface(Display* display, Drawable drawable, GC gc, const Surface& surface);
