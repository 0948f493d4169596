// GDI: brushes, bitmaps (DIB decoding), device contexts, painting and BitBlt.
#include "platform/win32/gdi.h"

#include <algorithm>
#include <functional>
#include <cstring>
#include <mutex>
#include <set>
#include <vector>

#include "platform/win32/dib.h"
#include "platform/win32/little_endian.h"
#include "platform/win32/resources.h"
#include "platform/win32/window_internal.h"

namespace win32 {

struct GdiObject {
  enum Kind { Brush, Bitmap } kind = Brush;
  bool stock = false;
  bool nullBrush = false;
  COLORREF color = 0;
  int width = 0, height = 0;
  std::vector<DWORD> pixels;  // 0x00RRGGBB, top row first
  std::vector<BYTE> alpha;     // icons only
};

struct DeviceContext {
  HWND window = nullptr;  // window DC, or nullptr for a memory DC
  GdiObject* bitmap = nullptr;
  std::vector<DWORD> own;  // window DC pixels (client size)
  int width = 0, height = 0;
  RECT dirty{0, 0, 0, 0};
  bool touched = false;
  DWORD* pixels() { return bitmap ? bitmap->pixels.data() : own.data(); }
};

namespace {

std::mutex g_mutex;
std::set<GdiObject*> g_objects;
std::set<DeviceContext*> g_dcs;

GdiObject* Stock(int which) {
  static GdiObject brushes[6] = {
      {GdiObject::Brush, true, false, RGB(255, 255, 255), 0, 0, {}, {}},
      {GdiObject::Brush, true, false, RGB(192, 192, 192), 0, 0, {}, {}},
      {GdiObject::Brush, true, false, RGB(128, 128, 128), 0, 0, {}, {}},
      {GdiObject::Brush, true, false, RGB(64, 64, 64), 0, 0, {}, {}},
      {GdiObject::Brush, true, false, RGB(0, 0, 0), 0, 0, {}, {}},
      {GdiObject::Brush, true, true, 0, 0, 0, {}, {}}};
  return which >= 0 && which < 6 ? &brushes[which] : nullptr;
}

bool IsObject(HGDIOBJ o) {
  if (!o) return false;
  for (int i = 0; i < 6; ++i) {
    if (Stock(i) == o) return true;
  }
  std::lock_guard<std::mutex> lock(g_mutex);
  return g_objects.count(o) != 0;
}

bool IsDc(HDC dc) {
  std::lock_guard<std::mutex> lock(g_mutex);
  return dc && g_dcs.count(dc) != 0;
}

GdiObject* NewObject(GdiObject::Kind kind) {
  auto* o = new GdiObject;
  o->kind = kind;
  std::lock_guard<std::mutex> lock(g_mutex);
  g_objects.insert(o);
  return o;
}

DeviceContext* NewDc() {
  auto* dc = new DeviceContext;
  std::lock_guard<std::mutex> lock(g_mutex);
  g_dcs.insert(dc);
  return dc;
}

void FreeDc(DeviceContext* dc) {
  {
    std::lock_guard<std::mutex> lock(g_mutex);
    g_dcs.erase(dc);
  }
  delete dc;
}


// The window DC's picture starts as what was last painted into the window.
HDC WindowDc(WindowObject& w) {
  DeviceContext* dc = NewDc();
  dc->window = w.handle();
  dc->width = std::max(w.clientWidth(), 0);
  dc->height = std::max(w.clientHeight(), 0);
  dc->own.assign(static_cast<std::size_t>(dc->width) * dc->height, 0);
  if (w.surfaceW == dc->width && w.surfaceH == dc->height) dc->own = w.surface;
  return dc;
}

void Touch(DeviceContext* dc, int l, int t, int r, int b) {
  if (!dc->touched) {
    dc->dirty = RECT{l, t, r, b};
    dc->touched = true;
  } else {
    dc->dirty = RECT{std::min<LONG>(dc->dirty.left, l), std::min<LONG>(dc->dirty.top, t),
                     std::max<LONG>(dc->dirty.right, r), std::max<LONG>(dc->dirty.bottom, b)};
  }
}

// Hands a window DC's pixels to the window (and the screen).
void FlushWindowDc(DeviceContext* dc) {
  auto w = detail::FindWindowObject(dc->window);
  if (!w) return;
  w->surface = dc->own;
  w->surfaceW = dc->width;
  w->surfaceH = dc->height;
  if (dc->touched && !w->messageOnly) {
    detail::NativePutPixels(*w, dc->dirty.left, dc->dirty.top, dc->dirty.right - dc->dirty.left,
                            dc->dirty.bottom - dc->dirty.top);
  }
  dc->touched = false;
}

}  // namespace

HGDIOBJ GetStockObject(int which) { return Stock(which); }

HBRUSH CreateSolidBrush(COLORREF color) {
  GdiObject* o = NewObject(GdiObject::Brush);
  o->color = color & 0xFFFFFF;
  return o;
}

BOOL DeleteObject(HGDIOBJ object) {
  if (!object) return FALSE;
  if (object->stock) return TRUE;
  {
    std::lock_guard<std::mutex> lock(g_mutex);
    if (!g_objects.erase(object)) return FALSE;
    for (DeviceContext* dc : g_dcs) {
      if (dc->bitmap == object) dc->bitmap = nullptr;
    }
  }
  delete object;
  return TRUE;
}

bool BrushColor(HBRUSH brush, COLORREF* color) {
  if (!IsObject(brush) || brush->kind != GdiObject::Brush || brush->nullBrush) return false;
  if (color) *color = brush->color;
  return true;
}

HBITMAP CreateBitmapFromPixels(int width, int height, const DWORD* pixels) {
  if (width <= 0 || height <= 0 || width > 16384 || height > 16384) return nullptr;
  GdiObject* o = NewObject(GdiObject::Bitmap);
  o->width = width;
  o->height = height;
  o->pixels.assign(static_cast<std::size_t>(width) * height, 0);
  if (pixels) {
    for (std::size_t i = 0; i < o->pixels.size(); ++i) o->pixels[i] = pixels[i] & 0xFFFFFF;
  }
  return o;
}

HBITMAP CreateBitmapFromDib(const void* data, std::size_t size) {
  if (!data) return nullptr;
  DibPixels dib;
  if (!DecodeDib(static_cast<const BYTE*>(data), size, false, &dib)) return nullptr;
  GdiObject* o = NewObject(GdiObject::Bitmap);
  o->width = dib.width;
  o->height = dib.height;
  o->pixels = std::move(dib.rgb);
  return o;
}

HBITMAP LoadBitmapA(HINSTANCE instance, LPCSTR name) {
  HRSRC res = FindResourceA(instance, name, RT_BITMAP);
  if (!res) return nullptr;
  const void* bytes = LockResource(LoadResource(instance, res));
  return CreateBitmapFromDib(bytes, SizeofResource(instance, res));
}

int GetObjectA(HGDIOBJ object, int size, LPVOID out) {
  if (!IsObject(object) || object->kind != GdiObject::Bitmap) return 0;
  if (!out) return sizeof(BITMAP);
  if (size < static_cast<int>(sizeof(BITMAP))) return 0;
  BITMAP b{0, object->width, object->height, object->width * 4, 1, 32, object->pixels.data()};
  std::memcpy(out, &b, sizeof b);
  return sizeof(BITMAP);
}

HDC BeginPaint(HWND window, PAINTSTRUCT* paint) {
  auto w = detail::FindWindowObject(window);
  if (!w || !paint) return nullptr;
  HDC dc = WindowDc(*w);
  std::memset(paint, 0, sizeof *paint);
  paint->hdc = dc;
  paint->rcPaint = RECT{0, 0, dc->width, dc->height};
  bool erase = w->needsErase;
  w->needsPaint = false;
  w->needsErase = false;
  paint->fErase = erase ? FALSE : TRUE;  // TRUE: the application must erase
  if (erase) paint->fErase = SendMessageA(window, WM_ERASEBKGND, reinterpret_cast<WPARAM>(dc), 0) ? FALSE : TRUE;
  return dc;
}

BOOL EndPaint(HWND window, const PAINTSTRUCT* paint) {
  if (!paint || !IsDc(paint->hdc)) return FALSE;
  ReleaseDC(window, paint->hdc);
  return TRUE;
}

HDC GetDC(HWND window) {
  auto w = detail::FindWindowObject(window);
  return w ? WindowDc(*w) : nullptr;
}

int ReleaseDC(HWND, HDC dc) {
  if (!IsDc(dc) || !dc->window) return 0;
  FlushWindowDc(dc);
  FreeDc(dc);
  return 1;
}

BOOL InvalidateRect(HWND window, const RECT*, BOOL erase) {
  auto w = detail::FindWindowObject(window);
  if (!w) return FALSE;
  w->needsPaint = true;
  if (erase) w->needsErase = true;
  detail::WakeQueue();
  return TRUE;
}

BOOL ValidateRect(HWND window, const RECT*) {
  auto w = detail::FindWindowObject(window);
  if (!w) return FALSE;
  w->needsPaint = false;
  w->needsErase = false;
  return TRUE;
}

BOOL UpdateWindow(HWND window) {
  auto w = detail::FindWindowObject(window);
  if (!w) return FALSE;
  if (w->needsPaint) SendMessageA(window, WM_PAINT, 0, 0);
  return TRUE;
}

HDC CreateCompatibleDC(HDC) { return NewDc(); }

BOOL DeleteDC(HDC dc) {
  if (!IsDc(dc) || dc->window) return FALSE;
  FreeDc(dc);
  return TRUE;
}

HGDIOBJ SelectObject(HDC dc, HGDIOBJ object) {
  if (!IsDc(dc) || !IsObject(object)) return nullptr;
  if (object->kind != GdiObject::Bitmap) return object;  // brushes are passed to FillRect directly
  if (dc->window) return nullptr;  // only memory DCs take bitmaps
  GdiObject* old = dc->bitmap;
  dc->bitmap = object;
  dc->width = object->width;
  dc->height = object->height;
  // The stock 1x1 bitmap of a fresh memory DC has no handle of its own.
  return old ? old : Stock(BLACK_BRUSH);
}

int FillRect(HDC dc, const RECT* rect, HBRUSH brush) {
  COLORREF c;
  if (!IsDc(dc) || !rect || !BrushColor(brush, &c)) return 0;
  int l = std::max<int>(rect->left, 0), t = std::max<int>(rect->top, 0);
  int r = std::min<int>(rect->right, dc->width), b = std::min<int>(rect->bottom, dc->height);
  DWORD px = (static_cast<DWORD>(GetRValue(c)) << 16) | (GetGValue(c) << 8) | GetBValue(c);
  DWORD* p = dc->pixels();
  for (int y = t; y < b; ++y) std::fill(p + static_cast<std::size_t>(y) * dc->width + l, p + static_cast<std::size_t>(y) * dc->width + r, px);
  if (r > l && b > t) Touch(dc, l, t, r, b);
  return 1;
}

BOOL BitBlt(HDC dest, int x, int y, int width, int height, HDC src, int srcX, int srcY, DWORD rop) {
  if (!IsDc(dest)) return FALSE;
  bool fill = rop == BLACKNESS || rop == WHITENESS;
  if (!fill && (rop != SRCCOPY || !IsDc(src))) return FALSE;
  // Clip against the destination and, for copies, the source.
  if (x < 0) { srcX -= x; width += x; x = 0; }
  if (y < 0) { srcY -= y; height += y; y = 0; }
  if (!fill) {
    if (srcX < 0) { x -= srcX; width += srcX; srcX = 0; }
    if (srcY < 0) { y -= srcY; height += srcY; srcY = 0; }
    width = std::min(width, src->width - srcX);
    height = std::min(height, src->height - srcY);
  }
  width = std::min(width, dest->width - x);
  height = std::min(height, dest->height - y);
  if (width <= 0 || height <= 0) return TRUE;
  DWORD* d = dest->pixels();
  for (int row = 0; row < height; ++row) {
    DWORD* out = d + static_cast<std::size_t>(y + row) * dest->width + x;
    if (fill) {
      std::fill(out, out + width, rop == WHITENESS ? 0xFFFFFFu : 0u);
    } else {
      const DWORD* in = src->pixels() + static_cast<std::size_t>(srcY + row) * src->width + srcX;
      std::memmove(out, in, static_cast<std::size_t>(width) * sizeof(DWORD));
    }
  }
  Touch(dest, x, y, x + width, y + height);
  return TRUE;
}

COLORREF GetPixel(HDC dc, int x, int y) {
  if (!IsDc(dc) || x < 0 || y < 0 || x >= dc->width || y >= dc->height) return CLR_INVALID;
  DWORD p = dc->pixels()[static_cast<std::size_t>(y) * dc->width + x];
  return RGB(static_cast<BYTE>(p >> 16), static_cast<BYTE>(p >> 8), static_cast<BYTE>(p));
}

namespace detail {

bool DecodeIconGroup(const BYTE* group, std::size_t size, const std::function<ResourceBytes(unsigned)>& image,
                     int* width, int* height, std::vector<DWORD>* argb) {
  // GRPICONDIR: reserved, type 1, count; then 14-byte entries ending with the icon's id.
  if (!group || size < 6 || Le16(group + 2) != 1) return false;
  unsigned count = Le16(group + 4);
  std::vector<std::pair<unsigned, unsigned>> entries;  // size, id
  for (unsigned i = 0; i < count; ++i) {
    std::size_t at = 6 + i * 14u;
    if (at + 14 > size) break;
    const BYTE* e = group + at;
    entries.emplace_back(e[0] ? e[0] : 256u, Le16(e + 12));
  }
  // The largest image that decodes (PNG-compressed entries do not).
  std::stable_sort(entries.begin(), entries.end(), [](auto& a, auto& b) { return a.first > b.first; });
  for (auto& [sz, id] : entries) {
    ResourceBytes bytes = image(id);
    DibPixels dib;
    if (!bytes.data || !DecodeDib(bytes.data, bytes.size, true, &dib)) continue;
    argb->resize(dib.rgb.size());
    for (std::size_t i = 0; i < dib.rgb.size(); ++i) (*argb)[i] = (static_cast<DWORD>(dib.alpha[i]) << 24) | dib.rgb[i];
    *width = dib.width;
    *height = dib.height;
    return true;
  }
  return false;
}

bool DecodeIconImage(HICON icon, int* width, int* height, std::vector<DWORD>* argb) {
  auto id = reinterpret_cast<std::uintptr_t>(icon);
  if (!id || id >= 32512) return false;  // stock icons: the desktop's own
  ResourceBytes group = FindResourceBytes(RT_GROUP_ICON, static_cast<unsigned>(id));
  return DecodeIconGroup(group.data, group.size, [](unsigned n) { return FindResourceBytes(RT_ICON, n); }, width,
                         height, argb);
}

}  // namespace detail
}  // namespace win32
