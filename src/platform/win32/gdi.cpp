// GDI: brushes, bitmaps (DIB decoding), device contexts, painting and BitBlt.
#include "platform/win32/gdi.h"

#include <algorithm>
#include <functional>
#include <cstring>
#include <mutex>
#include <set>
#include <vector>

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

std::uint32_t U32(const BYTE* p) { return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<std::uint32_t>(p[3]) << 24); }
std::uint16_t U16(const BYTE* p) { return static_cast<std::uint16_t>(p[0] | (p[1] << 8)); }

unsigned MaskShift(std::uint32_t m) {
  unsigned s = 0;
  while (s < 32 && !((m >> s) & 1)) ++s;
  return s;
}
BYTE ByMask(std::uint32_t v, std::uint32_t m) {
  if (!m) return 0;
  unsigned s = MaskShift(m);
  std::uint32_t maxv = m >> s;
  return static_cast<BYTE>(((v & m) >> s) * 255u / maxv);
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

namespace {

// Decodes a DIB (header, optional masks, palette, rows) or a .bmp file. With andMask set
// (icon images) the height is doubled and an AND mask follows the colour rows.
bool DecodeDib(const BYTE* data, std::size_t size, bool icon, int* outW, int* outH, std::vector<DWORD>* rgb,
               std::vector<BYTE>* alpha) {
  std::size_t headerAt = 0, bitsAt = 0;
  bool file = size >= 14 && data[0] == 'B' && data[1] == 'M';
  if (file) {
    headerAt = 14;
    bitsAt = U32(data + 10);
  }
  if (size < headerAt + 12) return false;
  const BYTE* h = data + headerAt;
  std::uint32_t hsize = U32(h);
  long long width, height;
  unsigned bpp, compression = 0, paletteCount = 0;
  std::size_t paletteEntry;
  if (hsize == 12) {
    width = U16(h + 4);
    height = static_cast<std::int16_t>(U16(h + 6));
    bpp = U16(h + 10);
    paletteEntry = 3;
  } else if (hsize >= 40 && hsize <= 124) {
    if (size < headerAt + hsize) return false;
    width = static_cast<std::int32_t>(U32(h + 4));
    height = static_cast<std::int32_t>(U32(h + 8));
    bpp = U16(h + 14);
    compression = U32(h + 16);
    paletteCount = U32(h + 32);
    paletteEntry = 4;
  } else {
    return false;
  }
  bool topDown = height < 0;
  if (topDown) height = -height;
  if (icon) height /= 2;
  if (width <= 0 || height <= 0 || width > 16384 || height > 16384) return false;
  if (bpp != 1 && bpp != 4 && bpp != 8 && bpp != 16 && bpp != 24 && bpp != 32) return false;
  if (compression != 0 && compression != 3) return false;  // BI_RGB and BI_BITFIELDS only
  if (compression == 3 && bpp != 16 && bpp != 32) return false;
  std::uint32_t rm, gm, bm, am = 0;
  if (bpp == 16) {
    rm = 0x7C00;
    gm = 0x03E0;
    bm = 0x001F;
  } else {
    rm = 0xFF0000;
    gm = 0x00FF00;
    bm = 0x0000FF;
    if (bpp == 32 && icon) am = 0xFF000000u;
  }
  std::size_t after = headerAt + hsize;
  if (compression == 3) {
    const BYTE* m = h + 40;
    if (hsize == 40) {
      if (size < after + 12) return false;
      after += 12;
    }
    rm = U32(m);
    gm = U32(m + 4);
    bm = U32(m + 8);
    am = hsize >= 56 ? U32(m + 12) : 0;
    if (!rm || !gm || !bm) return false;
  }
  std::vector<DWORD> palette;
  if (bpp <= 8) {
    std::size_t count = paletteCount ? paletteCount : (1u << bpp);
    if (count > 256) return false;
    if (after + count * paletteEntry > size) return false;
    for (std::size_t i = 0; i < count; ++i) {
      const BYTE* p = data + after + i * paletteEntry;
      palette.push_back((static_cast<DWORD>(p[2]) << 16) | (p[1] << 8) | p[0]);
    }
    after += count * paletteEntry;
    palette.resize(256, 0);
  }
  if (!file) bitsAt = after;
  std::size_t stride = ((static_cast<std::size_t>(width) * bpp + 31) / 32) * 4;
  std::size_t need = stride * static_cast<std::size_t>(height);
  if (file && bitsAt < headerAt + hsize) return false;
  if (bitsAt > size || size - bitsAt < need) return false;
  std::size_t maskStride = ((static_cast<std::size_t>(width) + 31) / 32) * 4;
  bool hasMask = icon && size - bitsAt >= need + maskStride * static_cast<std::size_t>(height);
  rgb->assign(static_cast<std::size_t>(width * height), 0);
  if (alpha) alpha->assign(static_cast<std::size_t>(width * height), 255);
  for (long long y = 0; y < height; ++y) {
    const BYTE* row = data + bitsAt + stride * static_cast<std::size_t>(topDown ? y : height - 1 - y);
    DWORD* out = rgb->data() + y * width;
    for (long long x = 0; x < width; ++x) {
      DWORD px = 0;
      BYTE a = 255;
      switch (bpp) {
        case 1: px = palette[(row[x / 8] >> (7 - x % 8)) & 1]; break;
        case 4: px = palette[(row[x / 2] >> (x % 2 ? 0 : 4)) & 0xF]; break;
        case 8: px = palette[row[x]]; break;
        case 16: {
          std::uint32_t v = U16(row + x * 2);
          px = (static_cast<DWORD>(ByMask(v, rm)) << 16) | (ByMask(v, gm) << 8) | ByMask(v, bm);
          break;
        }
        case 24: px = (static_cast<DWORD>(row[x * 3 + 2]) << 16) | (row[x * 3 + 1] << 8) | row[x * 3]; break;
        case 32: {
          std::uint32_t v = U32(row + x * 4);
          px = (static_cast<DWORD>(ByMask(v, rm)) << 16) | (ByMask(v, gm) << 8) | ByMask(v, bm);
          if (am) a = ByMask(v, am);
          break;
        }
      }
      out[x] = px;
      if (alpha) (*alpha)[y * width + x] = a;
    }
  }
  if (alpha && icon) {
    // Images with an alpha channel use it; old-style ones (alpha all 0, or none) the AND mask.
    bool alphaUsed = bpp == 32 && am && std::any_of(alpha->begin(), alpha->end(), [](BYTE a) { return a != 0; });
    if (!alphaUsed) {
      std::fill(alpha->begin(), alpha->end(), 255);
      for (long long y = 0; hasMask && y < height; ++y) {
        const BYTE* mrow = data + bitsAt + need + maskStride * static_cast<std::size_t>(topDown ? y : height - 1 - y);
        for (long long x = 0; x < width; ++x) {
          if ((mrow[x / 8] >> (7 - x % 8)) & 1) (*alpha)[y * width + x] = 0;
        }
      }
    }
  }
  *outW = static_cast<int>(width);
  *outH = static_cast<int>(height);
  return true;
}

}  // namespace

HBITMAP CreateBitmapFromDib(const void* data, std::size_t size) {
  if (!data) return nullptr;
  int w, h;
  std::vector<DWORD> rgb;
  if (!DecodeDib(static_cast<const BYTE*>(data), size, false, &w, &h, &rgb, nullptr)) return nullptr;
  GdiObject* o = NewObject(GdiObject::Bitmap);
  o->width = w;
  o->height = h;
  o->pixels = std::move(rgb);
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
  if (!group || size < 6 || U16(group + 2) != 1) return false;
  unsigned count = U16(group + 4);
  std::vector<std::pair<unsigned, unsigned>> entries;  // size, id
  for (unsigned i = 0; i < count; ++i) {
    std::size_t at = 6 + i * 14u;
    if (at + 14 > size) break;
    const BYTE* e = group + at;
    entries.emplace_back(e[0] ? e[0] : 256u, U16(e + 12));
  }
  // The largest image that decodes (PNG-compressed entries do not).
  std::stable_sort(entries.begin(), entries.end(), [](auto& a, auto& b) { return a.first > b.first; });
  for (auto& [sz, id] : entries) {
    ResourceBytes bytes = image(id);
    std::vector<DWORD> rgb;
    std::vector<BYTE> alpha;
    int w, h;
    if (!bytes.data || !DecodeDib(bytes.data, bytes.size, true, &w, &h, &rgb, &alpha)) continue;
    argb->resize(rgb.size());
    for (std::size_t i = 0; i < rgb.size(); ++i) (*argb)[i] = (static_cast<DWORD>(alpha[i]) << 24) | rgb[i];
    *width = w;
    *height = h;
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
