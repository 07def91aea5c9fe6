#include "x11/screen.h"

#include <stdlib.h>
#include <sys/ipc.h>
#include <sys/shm.h>

static int32_t xErrors = 0;

static int recordXError(Display*, XErrorEvent*) {
    xErrors++;
    return 0;
}

void trapXErrors() {
    XSetErrorHandler(recordXError);
}

int32_t takeXErrors() {
    const int32_t seen = xErrors;
    xErrors = 0;
    return seen;
}

bool visualFits(const Visual* visual, int32_t depth) {
    // Depth 32 would take the words' zero top byte as alpha: transparent under a compositor.
    return visual && visual->c_class == TrueColor && depth == 24 && visual->red_mask == 0xFF0000 &&
           visual->green_mask == 0x00FF00 && visual->blue_mask == 0x0000FF;
}

// The server writes shared images in its own byte order, which must be the frame's.
static bool sharedImage(Display* display, Visual* visual, int32_t depth, int32_t width,
                        int32_t height, Surface& surface) {
    if (ImageByteOrder(display) != LSBFirst) {
        return false;
    }
    XShmSegmentInfo& segment = surface.segment;
    XImage* image = XShmCreateImage(display, visual, (unsigned)depth, ZPixmap, nullptr, &segment,
                                    (unsigned)width, (unsigned)height);
    if (!image) {
        return false;
    }
    if (image->bits_per_pixel != 32) {
        XDestroyImage(image);
        return false;
    }
    segment.shmid =
        shmget(IPC_PRIVATE, (size_t)image->bytes_per_line * (size_t)height, IPC_CREAT | 0600);
    if (segment.shmid < 0) {
        XDestroyImage(image);
        return false;
    }
    segment.shmaddr = (char*)shmat(segment.shmid, nullptr, 0);
    if (segment.shmaddr == (char*)-1) {
        shmctl(segment.shmid, IPC_RMID, nullptr);
        XDestroyImage(image);
        return false;
    }
    image->data = segment.shmaddr;
    segment.readOnly = False;
    // A server on another machine, or one that may not see this process's memory, refuses
    // the attach with an error, which arrives only after a round trip.
    takeXErrors();
    const Status attached = XShmAttach(display, &segment);
    XSync(display, False);
    const bool failed = !attached || takeXErrors() > 0;
    // Marked for removal at once: the segment goes with the last detach, also if this
    // process is killed.
    shmctl(segment.shmid, IPC_RMID, nullptr);
    if (failed) {
        shmdt(segment.shmaddr);
        XDestroyImage(image); // a shared image's destroy leaves its data alone
        return false;
    }
    surface.image = image;
    surface.shared = true;
    return true;
}

static bool plainImage(Display* display, Visual* visual, int32_t depth, int32_t width,
                       int32_t height, Surface& surface) {
    char* data = (char*)calloc((size_t)width * (size_t)height, 4);
    if (!data) {
        return false;
    }
    XImage* image = XCreateImage(display, visual, (unsigned)depth, ZPixmap, 0, data,
                                 (unsigned)width, (unsigned)height, 32, width * 4);
    if (!image) {
        free(data);
        return false;
    }
    if (image->bits_per_pixel != 32) {
        XDestroyImage(image); // frees data too
        return false;
    }
    // The frame's words lie in memory blue first; Xlib swaps for a server of the other order.
    image->byte_order = LSBFirst;
    surface.image = image;
    surface.shared = false;
    return true;
}

bool createSurface(Display* display, Visual* visual, int32_t depth, int32_t width, int32_t height,
                   bool tryShared, Surface& surface) {
    surface = Surface{};
    if (!(tryShared && sharedImage(display, visual, depth, width, height, surface)) &&
        !plainImage(display, visual, depth, width, height, surface)) {
        surface = Surface{};
        return false;
    }
    surface.width = width;
    surface.height = height;
    surface.window = createWindowOverSurface(width, height, (uint32_t*)surface.image->data,
                                             surface.image->bytes_per_line / 4);
    if (!surface.window) {
        destroySurface(display, surface);
        return false;
    }
    return true;
}

void destroySurface(Display* display, Surface& surface) {
    destroySurfaceWindow(surface.window);
    if (surface.image && surface.shared) {
        XShmDetach(display, &surface.segment);
        XSync(display, False);
        shmdt(surface.segment.shmaddr);
    }
    if (surface.image) {
        XDestroyImage(surface.image);
    }
    surface = Surface{};
}

void showSurface(Display* display, Drawable drawable, GC gc, const Surface& surface) {
    if (!surface.image) {
        return;
    }
    const unsigned width = (unsigned)surface.width, height = (unsigned)surface.height;
    if (surface.shared) {
        XShmPutImage(display, drawable, gc, surface.image, 0, 0, 0, 0, width, height, False);
    } else {
        XPutImage(display, drawable, gc, surface.image, 0, 0, 0, 0, width, height);
    }
    XSync(display, False);
}
