// GDI as the system draws with it: fonts, text output, brushes, fills and stretching, drawn in software
// on a surface's pixels. A null device context makes every call fail harmlessly.
#pragma once

#include "platform/surface.h"
#include "platform/win32.h"

#include <vector>

// Font creation parameters the system uses.
constexpr int FW_NORMAL = 400;
constexpr int FW_BOLD = 700;
constexpr int FW_EXTRABOLD = 800;
constexpr DWORD DEFAULT_CHARSET = 1;
constexpr DWORD OUT_TT_PRECIS = 4;
constexpr DWORD CLIP_DEFAULT_PRECIS = 0;
constexpr DWORD DRAFT_QUALITY = 1;
constexpr DWORD DEFAULT_PITCH = 0;

// Background modes.
constexpr int TRANSPARENT = 1;
constexpr int OPAQUE = 2;

// DrawTextA formats.
constexpr UINT DT_TOP = 0x0;
constexpr UINT DT_CENTER = 0x1;
constexpr UINT DT_VCENTER = 0x4;
constexpr UINT DT_WORDBREAK = 0x10;
constexpr UINT DT_SINGLELINE = 0x20;
constexpr UINT DT_CALCRECT = 0x400;
constexpr UINT DT_NOPREFIX = 0x800;

// Stock objects.
constexpr int WHITE_BRUSH = 0;
constexpr int LTGRAY_BRUSH = 1;
constexpr int GRAY_BRUSH = 2;
constexpr int DKGRAY_BRUSH = 3;
constexpr int BLACK_BRUSH = 4;

// Stretching.
constexpr int COLORONCOLOR = 3;
constexpr int HALFTONE = 4;
constexpr DWORD SRCCOPY = 0x00CC0020;

// A font by face name (fontconfig, with the application's Korean face mapping) and cell height in
// pixels; null when it cannot be created.
HFONT CreateFontA(int height, int width, int escapement, int orientation, int weight, DWORD italic,
    DWORD underline, DWORD strikeOut, DWORD charSet, DWORD outPrecision, DWORD clipPrecision, DWORD quality,
    DWORD pitchAndFamily, const char* faceName);
BOOL DeleteObject(HFONT font);
// Selects font into dc and returns the font selected before (null stands for the default font).
HFONT SelectObject(HDC dc, HFONT font);
COLORREF SetTextColor(HDC dc, COLORREF colour);
COLORREF SetBkColor(HDC dc, COLORREF colour);
int SetBkMode(HDC dc, int mode);
// Text of length bytes with its cell's top-left corner at (x, y).
BOOL TextOutA(HDC dc, int x, int y, const char* text, int length);
// Text in rect with the given format; with DT_CALCRECT only measures (rect's bottom, and right when
// wider, set to the wrapped text). Returns the height of the text. Output is clipped to rect.
int DrawTextA(HDC dc, const char* text, int length, RECT* rect, UINT format);
HBRUSH GetStockObject(int object);
int FillRect(HDC dc, const RECT* rect, HBRUSH brush);
int SetStretchBltMode(HDC dc, int mode);
// Copies the source rectangle to the destination rectangle, scaling (area averaging under HALFTONE);
// a negative source height mirrors the picture top to bottom.
BOOL StretchBlt(HDC destination, int xDest, int yDest, int widthDest, int heightDest, HDC source, int xSrc,
    int ySrc, int widthSrc, int heightSrc, DWORD rop);

namespace platform {

// The fonts the player makes: a face and cell height (as CreateFontA) at a weight, upright, in the
// default character set and quality; null when it cannot be created.
HFONT createFont(int height, int weight, const char* face);
// The same face and weight as font with its height times factor; null when it cannot be made.
HFONT createScaledFont(HFONT font, double factor);
// Tells fonts apart over time, even a new one at a deleted one's address; 0 for no live font.
uint64_t fontSerial(HFONT font);

// Where DrawTextA(dc, text, length, rect, format) puts each line of the text, top to bottom: from its
// first glyph's pen position to its last non-blank character, over the line's rows. A blank line gives
// an empty rectangle. Nothing for a null device context or font.
std::vector<RECT> textLineBoxes(HDC dc, const char* text, int length, const RECT& rect, UINT format);
// colour laid over rect at opacity (0 none, 255 all), clipped to the surface.
void shadeRect(HDC dc, const RECT& rect, COLORREF colour, int opacity);

// A device context drawing on the pixels surface views, which must outlive it.
HDC createSurfaceDC(PixelView surface);
void destroySurfaceDC(HDC dc);

enum class Mirror { No, UpDown };
// The scaled rectangle copy that DirectDraw's Blt performs (both rectangles already clipped to their
// surfaces by the caller), mirrored top to bottom on request. Surfaces must share one pixel format.
void bltScaled(PixelView destination, const RECT& destinationRect, ConstPixelView source, const RECT& sourceRect,
    Mirror mirror);
// The area-averaging copy of StretchBlt under HALFTONE, between surfaces of any two formats.
void stretchAveraged(PixelView destination, const RECT& destinationRect, ConstPixelView source, const RECT& sourceRect);

}
