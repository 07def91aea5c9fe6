#include "engine/engine.h"

#include "engine/version.h"

const wchar_t overlayTitle[] = VOIDRUNNER_TITLE;
const wchar_t overlayCaption[] = L"Mouse: steer   |   Wheel: speed   |   Any key: exit";

static void drawLine(HFONT font, COLORREF colour, const wchar_t* text, RECT& rect) {
    // A font that could not be made stays null; the context's current font draws instead.
    if (font) {
        SelectObject(engine.memoryDc, font);
    }
    SetTextColor(engine.memoryDc, colour);
    DrawTextW(engine.memoryDc, text, -1, &rect, DT_SINGLELINE);
}

void presentFrame(HDC paintDc) {
    if (!engine.pixels || !engine.memoryDc) {
        return;
    }
    const int previousMode = SetBkMode(engine.memoryDc, TRANSPARENT);
    RECT client{};
    GetClientRect(engine.mainWindow, &client);
    if (engine.runMode != Preview) {
        // Both lines share the band from 24 to 100 and stop 28 pixels short of the right edge.
        RECT rect{28, 24, client.right - 28, 100};
        // Anti-aliased glyphs stay inside the rectangle; its far edges are marked as well.
        markChanged(rect.left, rect.top, rect.right, rect.bottom);
        drawLine(engine.titleFont, RGB(195, 232, 255), overlayTitle, rect);
        rect.top += 28;
        drawLine(engine.captionFont, RGB(89, 139, 168), overlayCaption, rect);
    }
    SetBkMode(engine.memoryDc, previousMode);
    BitBlt(paintDc, 0, 0, engine.width, engine.height, engine.memoryDc, 0, 0, SRCCOPY);
}
