// The small part of GDI the program uses: stock brushes, bitmaps from resources (type #2),
// painting with BeginPaint/EndPaint, memory device contexts and BitBlt into a window.
// A device context is a plain 32-bit pixel surface; for a native window the painted pixels
// are put onto the X11 window when painting ends (no GL context is involved, so windows
// that Direct3D renders into are never disturbed by GDI).
#pragma once

#include "platform/win32/win32_types.h"

namespace win32 {

struct GdiObject;
struct DeviceContext;
using HGDIOBJ = GdiObject*;
using HBRUSH = GdiObject*;
using HBITMAP = GdiObject*;
using HDC = DeviceContext*;
using COLORREF = DWORD;

constexpr COLORREF RGB(BYTE r, BYTE g, BYTE b) {
  return static_cast<COLORREF>(r) | (static_cast<COLORREF>(g) << 8) | (static_cast<COLORREF>(b) << 16);
}
constexpr BYTE GetRValue(COLORREF c) { return static_cast<BYTE>(c & 0xFF); }
constexpr BYTE GetGValue(COLORREF c) { return static_cast<BYTE>((c >> 8) & 0xFF); }
constexpr BYTE GetBValue(COLORREF c) { return static_cast<BYTE>((c >> 16) & 0xFF); }

// Stock objects.
constexpr int WHITE_BRUSH = 0;
constexpr int LTGRAY_BRUSH = 1;
constexpr int GRAY_BRUSH = 2;
constexpr int DKGRAY_BRUSH = 3;
constexpr int BLACK_BRUSH = 4;
constexpr int NULL_BRUSH = 5;
HGDIOBJ GetStockObject(int which);

HBRUSH CreateSolidBrush(COLORREF color);
BOOL DeleteObject(HGDIOBJ object);
// The colour of a brush (for backends); false for a null brush or something else.
bool BrushColor(HBRUSH brush, COLORREF* color);

// Bitmaps. LoadBitmapA reads resource type #2 (RT_BITMAP) with that id: a packed DIB
// (BITMAPINFOHEADER/BITMAPCOREHEADER, palette, rows) or a whole .bmp file. 1, 4, 8, 16,
// 24 and 32 bits, uncompressed and BI_BITFIELDS; damaged data gives nullptr.
HBITMAP LoadBitmapA(HINSTANCE instance, LPCSTR name);
// Decodes DIB/.bmp bytes; for LoadBitmapA and tests.
HBITMAP CreateBitmapFromDib(const void* data, std::size_t size);
// Pixels in 0x00RRGGBB rows, top row first.
HBITMAP CreateBitmapFromPixels(int width, int height, const DWORD* pixels);

struct BITMAP {
  LONG bmType;
  LONG bmWidth;
  LONG bmHeight;
  LONG bmWidthBytes;
  WORD bmPlanes;
  WORD bmBitsPixel;
  LPVOID bmBits;
};
int GetObjectA(HGDIOBJ object, int size, LPVOID out);

struct PAINTSTRUCT {
  HDC hdc;
  BOOL fErase;
  RECT rcPaint;
  BOOL fRestore;
  BOOL fIncUpdate;
  BYTE rgbReserved[32];
};

// Painting. BeginPaint validates the window (no further WM_PAINT until invalidated) and
// erases with the class brush when the update asked for it.
HDC BeginPaint(HWND window, PAINTSTRUCT* paint);
BOOL EndPaint(HWND window, const PAINTSTRUCT* paint);
HDC GetDC(HWND window);
int ReleaseDC(HWND window, HDC dc);
BOOL InvalidateRect(HWND window, const RECT* rect, BOOL erase);
BOOL ValidateRect(HWND window, const RECT* rect);
BOOL UpdateWindow(HWND window);

HDC CreateCompatibleDC(HDC dc);
BOOL DeleteDC(HDC dc);
HGDIOBJ SelectObject(HDC dc, HGDIOBJ object);
int FillRect(HDC dc, const RECT* rect, HBRUSH brush);

constexpr DWORD SRCCOPY = 0x00CC0020;
constexpr DWORD BLACKNESS = 0x00000042;
constexpr DWORD WHITENESS = 0x00FF0062;
BOOL BitBlt(HDC dest, int x, int y, int width, int height, HDC src, int srcX, int srcY, DWORD rop);

// The pixel of a device context (0x00RRGGBB), CLR_INVALID outside. Window DCs keep the
// last painted pixels, so tests can check what a window was given.
constexpr COLORREF CLR_INVALID = 0xFFFFFFFF;
COLORREF GetPixel(HDC dc, int x, int y);

}  // namespace win32
