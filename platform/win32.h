// platform/win32.h: the Win32 names the engine calls, on Linux and every other host that
// is not Windows. On Windows the engine includes <windows.h> instead (engine/platform.h).
//
// WHO USES IT
//   - x11/ (voidrunner3d, the XScreenSaver hack): a real program. Its windows' surfaces are
//     the memory of its X images, and its clock is the system's monotonic clock or, with
//     -fixed-clock, a counter flight/ sets.
//   - web/ (the page): a real program in WebAssembly. Its window's surface is the canvas's
//     bytes, and its clock is performance.now() or, for a recorded flight, a counter it sets.
//   - flight/ (the flight the renderer, the page and the hack share): starts the engine on
//     either clock and sets the counter before each frame of a recorded flight.
//   - tools/ (voidrunner-render, the icon maker) and bench/: whole frames without a screen.
//     A window's surface is memory of the layer's own; the clock is a counter they set.
//   - tests/: everything above, plus the controls below.
//
// WHAT IT COVERS
//   Memory device contexts and DIB sections (CreateCompatibleDC, CreateDIBSection,
//   SelectObject, DeleteObject, DeleteDC), VirtualAlloc/VirtualFree, the process heap, the
//   performance counter, BeginPaint/EndPaint, GetClientRect, SetBkMode, SetTextColor, DrawTextW
//   and BitBlt: nothing else. Pixel memory has the DIB layout (32-bit words, rows top-down)
//   and lives exactly as long as its bitmap. Text calls are recorded and not drawn (no front
//   end on this layer shows the overlay), unless a test asks for a pattern in their place.
//
// WINDOWS
//   A window is a surface of 32-bit words that BitBlt copies into: createSurfaceWindow
//   allocates one, createWindowOverSurface takes the caller's memory (with its own row
//   stride and, for a canvas, its own byte order), so that a front end's presentation is the
//   one copy into what it shows.
//
// CLOCK
//   QueryPerformanceCounter reads platform.counter (SettableClock, the default) or the
//   monotonic clock (MonotonicClock), in ticks of platform.frequency per second either way.
//
// CONTROLS
//   The `platform` record holds what tests set and read in place of a real system: the settable
//   counter, one acquisition made to fail, the number of live objects, and the text drawn.
#pragma once

#include <stddef.h>
#include <stdint.h>

typedef int32_t BOOL;
typedef uint8_t BYTE;
typedef uint16_t WORD;
typedef uint32_t DWORD;
typedef uint32_t UINT;
typedef int32_t LONG;
typedef int64_t LONGLONG;
typedef size_t SIZE_T;
typedef void* LPVOID;
typedef void* HANDLE;
typedef void* HGDIOBJ;
typedef wchar_t WCHAR;
typedef const WCHAR* LPCWSTR;
typedef uint32_t COLORREF;

#define TRUE 1
#define FALSE 0

#define MEM_COMMIT 0x00001000u
#define MEM_RESERVE 0x00002000u
#define MEM_RELEASE 0x00008000u
#define PAGE_READWRITE 0x04u
#define HEAP_ZERO_MEMORY 0x08u
#define BI_RGB 0
#define DIB_RGB_COLORS 0
#define TRANSPARENT 1
#define OPAQUE 2
#define DT_SINGLELINE 0x00000020u
#define SRCCOPY 0x00CC0020u

#define RGB(r, g, b)                                                                               \
    ((COLORREF)(((BYTE)(r)) | ((WORD)((BYTE)(g)) << 8) | (((DWORD)(BYTE)(b)) << 16)))

union LARGE_INTEGER {
    struct {
        DWORD LowPart;
        LONG HighPart;
    };
    LONGLONG QuadPart;
};

struct RECT {
    LONG left;
    LONG top;
    LONG right;
    LONG bottom;
};

struct BITMAPINFOHEADER {
    DWORD biSize;
    LONG biWidth;
    LONG biHeight;
    WORD biPlanes;
    WORD biBitCount;
    DWORD biCompression;
    DWORD biSizeImage;
    LONG biXPelsPerMeter;
    LONG biYPelsPerMeter;
    DWORD biClrUsed;
    DWORD biClrImportant;
};

struct RGBQUAD {
    BYTE rgbBlue;
    BYTE rgbGreen;
    BYTE rgbRed;
    BYTE rgbReserved;
};

struct BITMAPINFO {
    BITMAPINFOHEADER bmiHeader;
    RGBQUAD bmiColors[1];
};

enum ObjectKind : int32_t {
    DcObject = 1,
    BitmapObject,
    FontObject,
    WindowObject,
};

struct HBITMAP__ {
    ObjectKind kind;
    int32_t width;
    int32_t height;
    uint32_t* bits;
};

struct HFONT__ {
    ObjectKind kind;
    int32_t height;
};

struct HWND__ {
    ObjectKind kind;
    int32_t clientWidth;
    int32_t clientHeight;
    uint32_t* surface; // what the window shows: clientHeight rows of clientWidth words
    int32_t rowWords;  // from one row of the surface to the next, at least clientWidth
    bool ownsSurface;  // false when the caller provided it
    bool canvasOrder;  // its words hold red, green, blue, 255 in memory, as a canvas takes them
};

struct HDC__ {
    ObjectKind kind;
    HBITMAP__* bitmap; // the selected bitmap of a memory context
    HFONT__* font;
    HWND__* window; // the window of a paint context
    COLORREF textColor;
    int32_t bkMode;
};

typedef HDC__* HDC;
typedef HBITMAP__* HBITMAP;
typedef HFONT__* HFONT;
typedef HWND__* HWND;

struct PAINTSTRUCT {
    HDC hdc;
    BOOL fErase;
    RECT rcPaint;
};

HDC CreateCompatibleDC(HDC dc);
BOOL DeleteDC(HDC dc);
HBITMAP CreateDIBSection(HDC dc, const BITMAPINFO* info, UINT usage, void** bits, HANDLE section,
                         DWORD offset);
HGDIOBJ SelectObject(HDC dc, HGDIOBJ object);
BOOL DeleteObject(HGDIOBJ object);
LPVOID VirtualAlloc(LPVOID address, SIZE_T size, DWORD allocationType, DWORD protect);
BOOL VirtualFree(LPVOID address, SIZE_T size, DWORD freeType);
HANDLE GetProcessHeap();
LPVOID HeapAlloc(HANDLE heap, DWORD flags, SIZE_T bytes);
BOOL HeapFree(HANDLE heap, DWORD flags, LPVOID memory);
BOOL QueryPerformanceCounter(LARGE_INTEGER* counter);
BOOL QueryPerformanceFrequency(LARGE_INTEGER* frequency);
HDC BeginPaint(HWND window, PAINTSTRUCT* paint);
BOOL EndPaint(HWND window, const PAINTSTRUCT* paint);
BOOL GetClientRect(HWND window, RECT* rect);
int SetBkMode(HDC dc, int mode);
COLORREF SetTextColor(HDC dc, COLORREF colour);
int DrawTextW(HDC dc, LPCWSTR text, int count, RECT* rect, UINT format);
BOOL BitBlt(HDC dest, int x, int y, int width, int height, HDC source, int sourceX, int sourceY,
            DWORD rop);

enum PlatformFailure : int32_t {
    FailNothing = 0,
    FailContext,       // CreateCompatibleDC returns null
    FailSectionHandle, // CreateDIBSection returns a null handle
    FailSectionBits,   // CreateDIBSection returns a handle but no bits
    FailBackground,    // VirtualAlloc returns null
    FailStarArray,     // HeapAlloc returns null
};

struct DrawnText {
    WCHAR text[96];
    RECT rect;
    COLORREF colour;
    HFONT font;
    UINT format;
};

enum PlatformClock : int32_t {
    SettableClock = 0, // QueryPerformanceCounter reports platform.counter
    MonotonicClock,    // it reads CLOCK_MONOTONIC, converted to ticks of platform.frequency
};

struct PlatformState {
    PlatformClock clock;
    int64_t counter;   // what QueryPerformanceCounter reports with the settable clock
    int64_t frequency; // what QueryPerformanceFrequency reports
    PlatformFailure failure;
    int32_t liveObjects; // contexts, bitmaps, virtual and heap blocks not yet freed
    int32_t paintsBegun;
    int32_t paintsEnded;
    int32_t copies;
    int32_t lastCopyWidth;
    int32_t lastCopyHeight;
    int32_t textCount;
    DrawnText texts[8]; // the first eight DrawTextW calls since the last reset
    // When set, DrawTextW also paints its rectangle's pixels (clipped to the selected bitmap)
    // with a pattern whose top bytes are not 0, in place of real glyphs.
    bool paintText;
};

extern PlatformState platform;

// Clears the controls and records: the settable clock, restarting at 0, at 10,000,000 ticks
// per second.
void resetPlatform();

// A window whose surface the layer allocates (and zeroes) and frees with it.
HWND createSurfaceWindow(int32_t clientWidth, int32_t clientHeight);

// A window over the caller's surface: clientHeight rows of clientWidth words, rowWords apart.
// The memory must outlive the window; destroying the window leaves it alone. Null when
// the sizes do not fit (rowWords below clientWidth, or either size below 1). With
// canvasOrder, BitBlt turns each word it copies into a canvas's order: red, green, blue, 255.
HWND createWindowOverSurface(int32_t clientWidth, int32_t clientHeight, uint32_t* surface,
                             int32_t rowWords, bool canvasOrder = false);
void destroySurfaceWindow(HWND window);
HFONT createTextFont(int32_t height);
void deleteTextFont(HFONT font);
