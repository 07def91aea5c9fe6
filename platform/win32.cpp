#include "platform/win32.h"

#include <stdlib.h>
#include <string.h>
#include <time.h>
#include <wchar.h>

PlatformState platform;

// Only their addresses matter: the heap handle, and the 1 x 1 bitmap and system font
// that a new memory context holds before anything is selected into it.
static char processHeap;
static char stockObject;

void resetPlatform() {
    memset(&platform, 0, sizeof platform);
    platform.frequency = 10000000;
}

static bool failing(PlatformFailure which) {
    return platform.failure == which;
}

static void* acquire(size_t bytes) {
    void* memory = calloc(1, bytes);
    if (memory) {
        platform.liveObjects++;
    }
    return memory;
}

static void release(void* memory) {
    if (memory) {
        platform.liveObjects--;
        free(memory);
    }
}

HDC CreateCompatibleDC(HDC) {
    if (failing(FailContext)) {
        return nullptr;
    }
    HDC dc = (HDC)acquire(sizeof(HDC__));
    if (dc) {
        dc->kind = DcObject;
        dc->bkMode = OPAQUE;
    }
    return dc;
}

BOOL DeleteDC(HDC dc) {
    if (!dc || dc->kind != DcObject) {
        return FALSE;
    }
    release(dc);
    return TRUE;
}

HBITMAP CreateDIBSection(HDC, const BITMAPINFO* info, UINT usage, void** bits, HANDLE, DWORD) {
    if (bits) {
        *bits = nullptr;
    }
    const BITMAPINFOHEADER& header = info->bmiHeader;
    if (failing(FailSectionHandle) || usage != DIB_RGB_COLORS || header.biBitCount != 32 ||
        header.biWidth <= 0 || header.biHeight == 0) {
        return nullptr;
    }
    HBITMAP bitmap = (HBITMAP)acquire(sizeof(HBITMAP__));
    if (!bitmap) {
        return nullptr;
    }
    bitmap->kind = BitmapObject;
    bitmap->width = header.biWidth;
    bitmap->height = header.biHeight < 0 ? -header.biHeight : header.biHeight;
    if (!failing(FailSectionBits)) {
        // The bitmap owns its bits, so they are not counted as an object of their own.
        bitmap->bits = (uint32_t*)calloc((size_t)bitmap->width * (size_t)bitmap->height, 4);
    }
    if (bits) {
        *bits = bitmap->bits;
    }
    return bitmap;
}

HGDIOBJ SelectObject(HDC dc, HGDIOBJ object) {
    if (!dc || !object) {
        return nullptr;
    }
    if (object == &stockObject) {
        HGDIOBJ previous = dc->bitmap;
        dc->bitmap = nullptr;
        return previous;
    }
    switch (*(ObjectKind*)object) {
        case BitmapObject: {
            HGDIOBJ previous = dc->bitmap;
            dc->bitmap = (HBITMAP)object;
            return previous ? previous : (HGDIOBJ)&stockObject;
        }
        case FontObject: {
            HGDIOBJ previous = dc->font;
            dc->font = (HFONT)object;
            return previous ? previous : (HGDIOBJ)&stockObject;
        }
        default:
            return nullptr;
    }
}

BOOL DeleteObject(HGDIOBJ object) {
    if (!object || object == &stockObject) {
        return FALSE;
    }
    if (*(ObjectKind*)object == BitmapObject) {
        free(((HBITMAP)object)->bits);
    }
    release(object);
    return TRUE;
}

LPVOID VirtualAlloc(LPVOID, SIZE_T size, DWORD allocationType, DWORD protect) {
    if (failing(FailBackground) || size == 0 || allocationType != (MEM_COMMIT | MEM_RESERVE) ||
        protect != PAGE_READWRITE) {
        return nullptr;
    }
    return acquire(size);
}

BOOL VirtualFree(LPVOID address, SIZE_T size, DWORD freeType) {
    if (!address || size != 0 || freeType != MEM_RELEASE) {
        return FALSE;
    }
    release(address);
    return TRUE;
}

HANDLE GetProcessHeap() {
    return &processHeap;
}

LPVOID HeapAlloc(HANDLE heap, DWORD flags, SIZE_T bytes) {
    if (failing(FailStarArray) || heap != &processHeap || !(flags & HEAP_ZERO_MEMORY)) {
        return nullptr;
    }
    return acquire(bytes ? bytes : 1);
}

BOOL HeapFree(HANDLE heap, DWORD, LPVOID memory) {
    if (heap != &processHeap || !memory) {
        return FALSE;
    }
    release(memory);
    return TRUE;
}

BOOL QueryPerformanceCounter(LARGE_INTEGER* counter) {
    if (platform.clock != MonotonicClock) {
        counter->QuadPart = platform.counter;
        return TRUE;
    }
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    // Whole seconds and the fraction apart: nanoseconds times ten million would overflow
    // after about fifteen minutes of uptime.
    counter->QuadPart = (int64_t)now.tv_sec * platform.frequency +
                        (int64_t)now.tv_nsec * platform.frequency / 1000000000;
    return TRUE;
}

BOOL QueryPerformanceFrequency(LARGE_INTEGER* frequency) {
    frequency->QuadPart = platform.frequency;
    return TRUE;
}

// A window whose client area shows surface, rowWords words a row; owned: freed with it.
static HWND windowOver(int32_t clientWidth, int32_t clientHeight, uint32_t* surface,
                       int32_t rowWords, bool owned) {
    HWND window = (HWND)calloc(1, sizeof(HWND__));
    if (!window) {
        return nullptr;
    }
    window->kind = WindowObject;
    window->clientWidth = clientWidth;
    window->clientHeight = clientHeight;
    window->surface = surface;
    window->rowWords = rowWords;
    window->ownsSurface = owned;
    return window;
}

HWND createSurfaceWindow(int32_t clientWidth, int32_t clientHeight) {
    uint32_t* surface = (uint32_t*)calloc((size_t)clientWidth * (size_t)clientHeight + 1, 4);
    HWND window =
        surface ? windowOver(clientWidth, clientHeight, surface, clientWidth, true) : nullptr;
    if (!window) {
        free(surface);
    }
    return window;
}

HWND createWindowOverSurface(int32_t clientWidth, int32_t clientHeight, uint32_t* surface,
                             int32_t rowWords, bool canvasOrder) {
    if (!surface || clientWidth < 1 || clientHeight < 1 || rowWords < clientWidth) {
        return nullptr;
    }
    HWND window = windowOver(clientWidth, clientHeight, surface, rowWords, false);
    if (window) {
        window->canvasOrder = canvasOrder;
    }
    return window;
}

void destroySurfaceWindow(HWND window) {
    if (window) {
        if (window->ownsSurface) {
            free(window->surface);
        }
        free(window);
    }
}

HFONT createTextFont(int32_t height) {
    HFONT font = (HFONT)calloc(1, sizeof(HFONT__));
    if (!font) {
        return nullptr;
    }
    font->kind = FontObject;
    font->height = height;
    return font;
}

void deleteTextFont(HFONT font) {
    free(font);
}

HDC BeginPaint(HWND window, PAINTSTRUCT* paint) {
    memset(paint, 0, sizeof *paint);
    if (!window) {
        return nullptr;
    }
    HDC dc = (HDC)acquire(sizeof(HDC__));
    if (!dc) {
        return nullptr;
    }
    dc->kind = DcObject;
    dc->window = window;
    paint->hdc = dc;
    paint->rcPaint = RECT{0, 0, window->clientWidth, window->clientHeight};
    platform.paintsBegun++;
    return dc;
}

BOOL EndPaint(HWND, const PAINTSTRUCT* paint) {
    if (paint->hdc) {
        release(paint->hdc);
    }
    platform.paintsEnded++;
    return TRUE;
}

BOOL GetClientRect(HWND window, RECT* rect) {
    if (!window) {
        return FALSE;
    }
    *rect = RECT{0, 0, window->clientWidth, window->clientHeight};
    return TRUE;
}

int SetBkMode(HDC dc, int mode) {
    if (!dc) {
        return 0;
    }
    int previous = dc->bkMode;
    dc->bkMode = mode;
    return previous;
}

COLORREF SetTextColor(HDC dc, COLORREF colour) {
    if (!dc) {
        return 0xFFFFFFFFu;
    }
    COLORREF previous = dc->textColor;
    dc->textColor = colour;
    return previous;
}

int DrawTextW(HDC dc, LPCWSTR text, int count, RECT* rect, UINT format) {
    if (!dc || !text || !rect) {
        return 0;
    }
    if (platform.textCount < (int32_t)(sizeof platform.texts / sizeof platform.texts[0])) {
        DrawnText& record = platform.texts[platform.textCount];
        size_t length = count < 0 ? wcslen(text) : (size_t)count;
        size_t room = sizeof record.text / sizeof record.text[0] - 1;
        if (length > room) {
            length = room;
        }
        memcpy(record.text, text, length * sizeof(WCHAR));
        record.text[length] = 0;
        record.rect = *rect;
        record.colour = dc->textColor;
        record.font = dc->font;
        record.format = format;
    }
    platform.textCount++;
    HBITMAP bitmap = dc->bitmap;
    if (platform.paintText && bitmap && bitmap->bits) {
        for (LONG y = rect->top > 0 ? rect->top : 0; y < rect->bottom && y < bitmap->height; y++) {
            for (LONG x = rect->left > 0 ? rect->left : 0; x < rect->right && x < bitmap->width;
                 x++) {
                // Depends on what lies beneath, as blended glyphs do, so that text drawn
                // twice looks different from text drawn once.
                uint32_t& word = bitmap->bits[(size_t)y * bitmap->width + x];
                word = (word * 31u + dc->textColor) | 0xA5000000u;
            }
        }
    }
    return 1;
}

// The words hold blue, green, red, 0 in memory; a canvas wants them turned round and opaque.
static void copyInCanvasOrder(uint32_t* to, const uint32_t* from, int32_t count) {
    for (int32_t i = 0; i < count; i++) {
        const uint32_t word = from[i];
        to[i] = 0xFF000000u | (word & 0xFFu) << 16 | (word & 0xFF00u) | (word >> 16 & 0xFFu);
    }
}

BOOL BitBlt(HDC dest, int x, int y, int width, int height, HDC source, int sourceX, int sourceY,
            DWORD rop) {
    platform.copies++;
    platform.lastCopyWidth = width;
    platform.lastCopyHeight = height;
    if (!dest || !dest->window || !source || !source->bitmap || !source->bitmap->bits ||
        rop != SRCCOPY) {
        return FALSE;
    }
    HWND window = dest->window;
    HBITMAP bitmap = source->bitmap;
    // Clip the columns once; every row then copies one span.
    int first = 0, last = width; // columns of the copy, last exclusive
    first = first > -sourceX ? first : -sourceX;
    first = first > -x ? first : -x;
    last = last < bitmap->width - sourceX ? last : bitmap->width - sourceX;
    last = last < window->clientWidth - x ? last : window->clientWidth - x;
    for (int row = 0; row < height && first < last; row++) {
        int fromY = sourceY + row;
        int toY = y + row;
        if (fromY < 0 || fromY >= bitmap->height || toY < 0 || toY >= window->clientHeight) {
            continue;
        }
        uint32_t* to = window->surface + (size_t)toY * (size_t)window->rowWords + (x + first);
        const uint32_t* from = bitmap->bits + (size_t)fromY * bitmap->width + (sourceX + first);
        if (window->canvasOrder) {
            copyInCanvasOrder(to, from, last - first);
        } else {
            memcpy(to, from, (size_t)(last - first) * 4);
        }
    }
    return TRUE;
}
