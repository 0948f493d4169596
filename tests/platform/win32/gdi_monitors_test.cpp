// GDI (bitmap decoding, memory DCs, BitBlt, window painting) and the monitor functions
// over an installed display list.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "platform/win32/gdi.h"
#include "platform/win32/monitors.h"
#include "platform/win32/window.h"
#include "platform/win32/window_internal.h"

using namespace win32;

namespace {

void Put16(std::vector<BYTE>& v, unsigned x) {
  v.push_back(static_cast<BYTE>(x));
  v.push_back(static_cast<BYTE>(x >> 8));
}
void Put32(std::vector<BYTE>& v, std::uint32_t x) {
  Put16(v, x & 0xFFFF);
  Put16(v, x >> 16);
}

// A packed DIB: BITMAPINFOHEADER, masks (bitfields), palette, rows padded to 4 bytes.
// pixel(x, y) gives the raw value for row y counted from the top.
template <typename F>
std::vector<BYTE> Dib(int w, int h, int bpp, bool topDown, const std::vector<DWORD>& palette, F pixel,
                      const std::vector<std::uint32_t>& masks = {}) {
  std::vector<BYTE> v;
  Put32(v, 40);
  Put32(v, static_cast<std::uint32_t>(w));
  Put32(v, static_cast<std::uint32_t>(topDown ? -h : h));
  Put16(v, 1);
  Put16(v, static_cast<unsigned>(bpp));
  Put32(v, masks.empty() ? 0 : 3);
  Put32(v, 0);
  Put32(v, 0);
  Put32(v, 0);
  Put32(v, static_cast<std::uint32_t>(palette.size()));
  Put32(v, 0);
  for (auto m : masks) Put32(v, m);
  for (DWORD c : palette) Put32(v, c);  // stored as B, G, R, 0
  std::size_t stride = ((static_cast<std::size_t>(w) * bpp + 31) / 32) * 4;
  for (int r = 0; r < h; ++r) {
    int y = topDown ? r : h - 1 - r;
    std::vector<BYTE> row(stride, 0);
    for (int x = 0; x < w; ++x) {
      std::uint32_t p = pixel(x, y);
      switch (bpp) {
        case 1: row[x / 8] |= static_cast<BYTE>((p & 1) << (7 - x % 8)); break;
        case 4: row[x / 2] |= static_cast<BYTE>((p & 0xF) << (x % 2 ? 0 : 4)); break;
        case 8: row[x] = static_cast<BYTE>(p); break;
        case 16: row[x * 2] = static_cast<BYTE>(p); row[x * 2 + 1] = static_cast<BYTE>(p >> 8); break;
        case 24: row[x * 3] = static_cast<BYTE>(p); row[x * 3 + 1] = static_cast<BYTE>(p >> 8); row[x * 3 + 2] = static_cast<BYTE>(p >> 16); break;
        case 32: for (int k = 0; k < 4; ++k) row[x * 4 + k] = static_cast<BYTE>(p >> (8 * k)); break;
      }
    }
    v.insert(v.end(), row.begin(), row.end());
  }
  return v;
}

// Reads a bitmap's pixel through a memory DC.
COLORREF Pixel(HBITMAP b, int x, int y) {
  HDC dc = CreateCompatibleDC(nullptr);
  SelectObject(dc, b);
  COLORREF c = GetPixel(dc, x, y);
  DeleteDC(dc);
  return c;
}

TEST(BitmapDecode, TwentyFourBitBottomUpAndTopDownAgree) {
  auto px = [](int x, int y) -> std::uint32_t { return (x == 2 && y == 0) ? 0xFF0000u : (y == 1 ? 0x00FF00u : 0x0000FFu); };
  for (bool topDown : {false, true}) {
    auto bytes = Dib(3, 2, 24, topDown, {}, px);
    HBITMAP b = CreateBitmapFromDib(bytes.data(), bytes.size());
    ASSERT_NE(b, nullptr);
    BITMAP info;
    ASSERT_EQ(GetObjectA(b, sizeof info, &info), static_cast<int>(sizeof info));
    EXPECT_EQ(info.bmWidth, 3);
    EXPECT_EQ(info.bmHeight, 2);
    EXPECT_EQ(Pixel(b, 2, 0), RGB(255, 0, 0)) << "top-right, topDown=" << topDown;
    EXPECT_EQ(Pixel(b, 0, 0), RGB(0, 0, 255));
    EXPECT_EQ(Pixel(b, 1, 1), RGB(0, 255, 0));
    DeleteObject(b);
  }
}

TEST(BitmapDecode, PalettedDepths) {
  std::vector<DWORD> pal = {0x000000, 0xFFFFFF, 0x123456, 0xABCDEF};
  auto idx = [](int x, int y) -> std::uint32_t { return static_cast<std::uint32_t>((x + y) % 2); };
  for (int bpp : {1, 4, 8}) {
    auto bytes = Dib(9, 3, bpp, false, pal, [&](int x, int y) { return bpp == 1 ? idx(x, y) : idx(x, y) + 2; });
    HBITMAP b = CreateBitmapFromDib(bytes.data(), bytes.size());
    ASSERT_NE(b, nullptr) << bpp;
    EXPECT_EQ(Pixel(b, 0, 0), bpp == 1 ? RGB(0, 0, 0) : RGB(0x12, 0x34, 0x56)) << bpp;
    EXPECT_EQ(Pixel(b, 8, 0), bpp == 1 ? RGB(0, 0, 0) : RGB(0x12, 0x34, 0x56)) << bpp;
    EXPECT_EQ(Pixel(b, 1, 0), bpp == 1 ? RGB(255, 255, 255) : RGB(0xAB, 0xCD, 0xEF)) << bpp;
    EXPECT_EQ(Pixel(b, 1, 2), bpp == 1 ? RGB(255, 255, 255) : RGB(0xAB, 0xCD, 0xEF)) << bpp;
    DeleteObject(b);
  }
}

TEST(BitmapDecode, SixteenAndThirtyTwoBitWithMasks) {
  // 16-bit default 5-5-5 and 5-6-5 bitfields; 32-bit with swapped masks.
  auto b555 = Dib(1, 1, 16, false, {}, [](int, int) { return 0x7C00u; });
  HBITMAP a = CreateBitmapFromDib(b555.data(), b555.size());
  ASSERT_NE(a, nullptr);
  EXPECT_EQ(Pixel(a, 0, 0), RGB(255, 0, 0));
  auto b565 = Dib(1, 1, 16, false, {}, [](int, int) { return 0x07E0u; }, {0xF800, 0x07E0, 0x001F});
  HBITMAP b = CreateBitmapFromDib(b565.data(), b565.size());
  ASSERT_NE(b, nullptr);
  EXPECT_EQ(Pixel(b, 0, 0), RGB(0, 255, 0));
  auto b32 = Dib(1, 1, 32, false, {}, [](int, int) { return 0x000000FFu; }, {0x000000FF, 0x0000FF00, 0x00FF0000});
  HBITMAP c = CreateBitmapFromDib(b32.data(), b32.size());
  ASSERT_NE(c, nullptr);
  EXPECT_EQ(Pixel(c, 0, 0), RGB(255, 0, 0));
  DeleteObject(a);
  DeleteObject(b);
  DeleteObject(c);
}

TEST(BitmapDecode, WholeBmpFileWithOffset) {
  auto dib = Dib(2, 1, 24, false, {}, [](int x, int) { return x ? 0x00FF00u : 0xFF0000u; });
  std::vector<BYTE> file = {'B', 'M'};
  Put32(file, static_cast<std::uint32_t>(14 + 8 + dib.size()));
  Put32(file, 0);
  Put32(file, 14 + 40 + 8);  // 8 gap bytes between header and bits
  file.insert(file.end(), dib.begin(), dib.begin() + 40);
  file.insert(file.end(), 8, 0xEE);
  file.insert(file.end(), dib.begin() + 40, dib.end());
  HBITMAP b = CreateBitmapFromDib(file.data(), file.size());
  ASSERT_NE(b, nullptr);
  EXPECT_EQ(Pixel(b, 0, 0), RGB(255, 0, 0));
  EXPECT_EQ(Pixel(b, 1, 0), RGB(0, 255, 0));
  DeleteObject(b);
}

TEST(BitmapDecode, DamagedDataIsRefused) {
  auto good = Dib(4, 4, 8, false, {0, 0xFFFFFF}, [](int, int) { return 1u; });
  HBITMAP ok = CreateBitmapFromDib(good.data(), good.size());
  ASSERT_NE(ok, nullptr);
  DeleteObject(ok);
  // Truncated rows, truncated palette, truncated header.
  EXPECT_EQ(CreateBitmapFromDib(good.data(), good.size() - 1), nullptr);
  EXPECT_EQ(CreateBitmapFromDib(good.data(), 44), nullptr);
  EXPECT_EQ(CreateBitmapFromDib(good.data(), 20), nullptr);
  // Palette count beyond 256.
  auto bad = good;
  bad[32] = 0x01;
  bad[33] = 0x10;
  EXPECT_EQ(CreateBitmapFromDib(bad.data(), bad.size()), nullptr);
  // Huge dimensions must not allocate or read out of bounds.
  bad = good;
  bad[4] = bad[5] = bad[6] = 0xFF;
  bad[7] = 0x7F;
  EXPECT_EQ(CreateBitmapFromDib(bad.data(), bad.size()), nullptr);
  // Unknown header size, unsupported depth, RLE compression.
  bad = good;
  bad[0] = 41;
  bad[1] = 1;
  EXPECT_EQ(CreateBitmapFromDib(bad.data(), bad.size()), nullptr);
  bad = good;
  bad[14] = 7;
  EXPECT_EQ(CreateBitmapFromDib(bad.data(), bad.size()), nullptr);
  bad = good;
  bad[16] = 1;
  EXPECT_EQ(CreateBitmapFromDib(bad.data(), bad.size()), nullptr);
  // A .bmp whose bit offset points past the end.
  std::vector<BYTE> file = {'B', 'M', 0, 0, 0, 0, 0, 0, 0, 0, 0xFF, 0xFF, 0, 0};
  file.insert(file.end(), good.begin(), good.end());
  EXPECT_EQ(CreateBitmapFromDib(file.data(), file.size()), nullptr);
  EXPECT_EQ(CreateBitmapFromDib(nullptr, 100), nullptr);
}

TEST(BitmapDecode, LoadBitmapFromResources) {
  // The test bundle's bitmap 432 holds text, not a bitmap: refused, not crashed.
  EXPECT_EQ(LoadBitmapA(nullptr, MAKEINTRESOURCEA(432)), nullptr);
  EXPECT_EQ(LoadBitmapA(nullptr, MAKEINTRESOURCEA(9999)), nullptr);
}

TEST(Gdi, BitBltCopiesAndClips) {
  std::vector<DWORD> src(4 * 4);
  for (int i = 0; i < 16; ++i) src[i] = static_cast<DWORD>(i * 0x010101);
  HBITMAP sb = CreateBitmapFromPixels(4, 4, src.data());
  HBITMAP db = CreateBitmapFromPixels(3, 3, nullptr);
  HDC s = CreateCompatibleDC(nullptr), d = CreateCompatibleDC(nullptr);
  SelectObject(s, sb);
  SelectObject(d, db);
  // Copy the source's (1,1)-(3,3) to (-1,1) in the destination: left column clipped.
  ASSERT_TRUE(BitBlt(d, -1, 1, 2, 2, s, 1, 1, SRCCOPY));
  EXPECT_EQ(GetPixel(d, 0, 1), RGB(6, 6, 6));
  EXPECT_EQ(GetPixel(d, 0, 2), RGB(10, 10, 10));
  EXPECT_EQ(GetPixel(d, 1, 1), RGB(0, 0, 0));
  EXPECT_EQ(GetPixel(d, 0, 0), RGB(0, 0, 0));
  // A source rectangle running past the source is cut to it.
  ASSERT_TRUE(BitBlt(d, 0, 0, 3, 3, s, 3, 3, SRCCOPY));
  EXPECT_EQ(GetPixel(d, 0, 0), RGB(15, 15, 15));
  EXPECT_EQ(GetPixel(d, 1, 0), RGB(0, 0, 0));
  EXPECT_EQ(GetPixel(d, 3, 0), CLR_INVALID);
  ASSERT_TRUE(BitBlt(d, 0, 0, 3, 3, nullptr, 0, 0, WHITENESS));
  EXPECT_EQ(GetPixel(d, 2, 2), RGB(255, 255, 255));
  EXPECT_FALSE(BitBlt(d, 0, 0, 3, 3, nullptr, 0, 0, SRCCOPY));
  DeleteDC(s);
  DeleteDC(d);
  DeleteObject(sb);
  DeleteObject(db);
}

LRESULT PaintProc(HWND w, UINT m, WPARAM wp, LPARAM lp) {
  if (m == WM_PAINT) {
    static std::vector<DWORD> pic(2 * 2, 0xFF8000);
    HBITMAP b = CreateBitmapFromPixels(2, 2, pic.data());
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(w, &ps);
    HDC mem = CreateCompatibleDC(dc);
    HGDIOBJ old = SelectObject(mem, b);
    BitBlt(dc, 0, 0, 2, 2, mem, 0, 0, SRCCOPY);
    SelectObject(mem, old);
    DeleteDC(mem);
    EndPaint(w, &ps);
    DeleteObject(b);
    return 0;
  }
  return DefWindowProcA(w, m, wp, lp);
}

TEST(Gdi, PaintEraseWithClassBrushThenPicture) {
  WNDCLASSA wc{};
  wc.lpfnWndProc = PaintProc;
  wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
  wc.lpszClassName = "Paint Test";
  RegisterClassA(&wc);
  HWND h = CreateWindowExA(0, "Paint Test", "", WS_VISIBLE, 0, 0, 5, 4, HWND_MESSAGE, nullptr, nullptr, nullptr);
  ASSERT_NE(h, nullptr);
  MSG m;
  int paints = 0;
  while (PeekMessageA(&m, h, 0, 0, PM_REMOVE)) {
    paints += m.message == WM_PAINT;
    DispatchMessageA(&m);
  }
  EXPECT_EQ(paints, 1);
  HDC dc = GetDC(h);
  EXPECT_EQ(GetPixel(dc, 0, 0), RGB(255, 128, 0)) << "the picture at the top-left, at its own size";
  EXPECT_EQ(GetPixel(dc, 1, 1), RGB(255, 128, 0));
  EXPECT_EQ(GetPixel(dc, 2, 0), RGB(255, 255, 255)) << "the rest erased with the class brush";
  EXPECT_EQ(GetPixel(dc, 4, 3), RGB(255, 255, 255));
  ReleaseDC(h, dc);
  DestroyWindow(h);
}

// --- monitors --------------------------------------------------------------------------

class Monitors : public ::testing::Test {
 protected:
  void SetUp() override {
    static const DisplayMode modes[] = {{640, 480, 32, 60}, {1024, 768, 32, 75}};
    DisplayInfo d[3] = {};
    d[0] = DisplayInfo{"Adapter A", "Monitor A", {0, 0, 1024, 768}, {0, 0, 1024, 740}, {1024, 768, 32, 0}, modes, 2, false};
    d[1] = DisplayInfo{"Mirror", "Mirror monitor", {0, 0, 1024, 768}, {0, 0, 1024, 768}, {1024, 768, 32, 0}, nullptr, 0, true};
    d[2] = DisplayInfo{"Adapter B", "Monitor B", {1024, -100, 2304, 924}, {1024, -100, 2304, 924}, {1280, 1024, 16, 60}, nullptr, 0, false};
    SetDisplaysForTesting(d, 3);
  }
  void TearDown() override { ClearDisplaysForTesting(); }
};

// Each display as a device with its flags, its one monitor, its current mode with the
// position, and a monitor handle found from its rectangle (the host's own walk over them is
// tested with the host).
TEST_F(Monitors, DevicesMonitorsModesAndHandles) {
  DISPLAY_DEVICEA dev[4] = {};
  for (DISPLAY_DEVICEA& d : dev) d.cb = sizeof d;
  ASSERT_TRUE(EnumDisplayDevicesA(nullptr, 0, &dev[0], 0));
  ASSERT_TRUE(EnumDisplayDevicesA(nullptr, 1, &dev[1], 0));
  ASSERT_TRUE(EnumDisplayDevicesA(nullptr, 2, &dev[2], 0));
  EXPECT_FALSE(EnumDisplayDevicesA(nullptr, 3, &dev[3], 0));
  EXPECT_STREQ(dev[0].DeviceString, "Adapter A");
  EXPECT_TRUE(dev[0].StateFlags & DISPLAY_DEVICE_PRIMARY_DEVICE);
  EXPECT_TRUE(dev[0].StateFlags & DISPLAY_DEVICE_ATTACHED_TO_DESKTOP);
  EXPECT_TRUE(dev[1].StateFlags & DISPLAY_DEVICE_MIRRORING_DRIVER);
  EXPECT_FALSE(dev[2].StateFlags & DISPLAY_DEVICE_PRIMARY_DEVICE);
  EXPECT_TRUE(dev[2].StateFlags & DISPLAY_DEVICE_ATTACHED_TO_DESKTOP);
  DISPLAY_DEVICEA mon{};
  mon.cb = sizeof mon;
  ASSERT_TRUE(EnumDisplayDevicesA(dev[2].DeviceName, 0, &mon, 0));
  EXPECT_STREQ(mon.DeviceString, "Monitor B");
  EXPECT_FALSE(EnumDisplayDevicesA(dev[2].DeviceName, 1, &mon, 0));
  DEVMODEA dm{};
  dm.dmSize = sizeof dm;
  ASSERT_TRUE(EnumDisplaySettingsA(dev[2].DeviceName, ENUM_CURRENT_SETTINGS, &dm));
  EXPECT_EQ(dm.dmPosition.x, 1024);
  EXPECT_EQ(dm.dmPosition.y, -100);
  EXPECT_EQ(dm.dmPelsWidth, 1280u);

  RECT primary{0, 0, 1024, 768}, second{1024, -100, 2304, 924};
  HMONITOR first = MonitorFromRect(&primary, MONITOR_DEFAULTTONULL);
  HMONITOR other = MonitorFromRect(&second, MONITOR_DEFAULTTONULL);
  ASSERT_NE(first, nullptr);
  ASSERT_NE(other, nullptr);
  EXPECT_NE(first, other);
  MONITORINFOEXA mi{};
  mi.cbSize = sizeof mi;
  ASSERT_TRUE(GetMonitorInfoA(other, &mi));
  EXPECT_EQ(mi.rcMonitor.left, 1024);
  EXPECT_EQ(mi.dwFlags, 0u);
  EXPECT_STREQ(mi.szDevice, "\\\\.\\DISPLAY3");
  MONITORINFO p{};
  p.cbSize = sizeof p;
  ASSERT_TRUE(GetMonitorInfoA(first, &p));
  EXPECT_EQ(p.dwFlags, MONITORINFOF_PRIMARY);
  EXPECT_EQ(p.rcWork.bottom, 740);
}

TEST_F(Monitors, ModesAndBadNames) {
  DEVMODEA dm{};
  ASSERT_TRUE(EnumDisplaySettingsA("\\\\.\\DISPLAY1", 1, &dm));
  EXPECT_EQ(dm.dmPelsWidth, 1024u);
  EXPECT_EQ(dm.dmDisplayFrequency, 75u);
  EXPECT_FALSE(EnumDisplaySettingsA("\\\\.\\DISPLAY1", 2, &dm));
  ASSERT_TRUE(EnumDisplaySettingsA(nullptr, ENUM_CURRENT_SETTINGS, &dm));
  EXPECT_EQ(dm.dmDisplayFrequency, 0u) << "unknown refresh stays 0";
  ASSERT_TRUE(EnumDisplaySettingsA("\\\\.\\DISPLAY3", ENUM_CURRENT_SETTINGS, &dm));
  EXPECT_EQ(dm.dmBitsPerPel, 16u);
  for (const char* bad : {"\\\\.\\DISPLAY0", "\\\\.\\DISPLAY4", "\\\\.\\DISPLAY", "DISPLAY1", "\\\\.\\DISPLAY1x",
                          "\\\\.\\DISPLAY99999999999"}) {
    EXPECT_FALSE(EnumDisplaySettingsA(bad, ENUM_CURRENT_SETTINGS, &dm)) << bad;
  }
  DISPLAY_DEVICEA dev{};
  EXPECT_FALSE(EnumDisplayDevicesA(nullptr, 3, &dev, 0));
  EXPECT_FALSE(EnumDisplayDevicesA("\\\\.\\DISPLAY1", 1, &dev, 0)) << "one monitor per adapter";
}

TEST_F(Monitors, MonitorFromRectPicksLargestOverlapOrFallsBack) {
  RECT straddle{1000, 0, 1100, 100};  // 24 px on A, 76 on B
  HMONITOR b = MonitorFromRect(&straddle, MONITOR_DEFAULTTONULL);
  MONITORINFO mi{};
  mi.cbSize = sizeof mi;
  ASSERT_TRUE(GetMonitorInfoA(b, &mi));
  EXPECT_EQ(mi.rcMonitor.left, 1024);
  RECT away{5000, 5000, 5100, 5100};
  EXPECT_EQ(MonitorFromRect(&away, MONITOR_DEFAULTTONULL), nullptr);
  HMONITOR primary = MonitorFromRect(&away, MONITOR_DEFAULTTOPRIMARY);
  ASSERT_TRUE(GetMonitorInfoA(primary, &mi));
  EXPECT_EQ(mi.dwFlags, MONITORINFOF_PRIMARY);
  HMONITOR nearest = MonitorFromRect(&away, MONITOR_DEFAULTTONEAREST);
  ASSERT_TRUE(GetMonitorInfoA(nearest, &mi));
  EXPECT_EQ(mi.rcMonitor.left, 1024);
  RECT empty{10, 10, 10, 10};
  EXPECT_EQ(MonitorFromRect(&empty, MONITOR_DEFAULTTONULL), nullptr);
  EXPECT_FALSE(GetMonitorInfoA(reinterpret_cast<HMONITOR>(2), &mi)) << "the mirror has no monitor";
  EXPECT_FALSE(GetMonitorInfoA(reinterpret_cast<HMONITOR>(77), &mi));
  mi.cbSize = 3;
  EXPECT_FALSE(GetMonitorInfoA(b, &mi));
}

TEST(MonitorsEmpty, NoDisplaysMeansNoDevices) {
  SetDisplaysForTesting(nullptr, 0);
  DISPLAY_DEVICEA dev{};
  EXPECT_FALSE(EnumDisplayDevicesA(nullptr, 0, &dev, 0));
  RECT r{0, 0, 10, 10};
  EXPECT_EQ(MonitorFromRect(&r, MONITOR_DEFAULTTOPRIMARY), nullptr);
  ClearDisplaysForTesting();
}

}  // namespace

// --- window icons ------------------------------------------------------------------------

namespace icons {

std::vector<BYTE> Group(const std::vector<std::pair<int, unsigned>>& entries) {  // size, id
  std::vector<BYTE> g;
  Put16(g, 0);
  Put16(g, 1);
  Put16(g, static_cast<unsigned>(entries.size()));
  for (auto& [size, id] : entries) {
    g.push_back(static_cast<BYTE>(size == 256 ? 0 : size));
    g.push_back(static_cast<BYTE>(size == 256 ? 0 : size));
    g.push_back(0);
    g.push_back(0);
    Put16(g, 1);
    Put16(g, 32);
    Put32(g, 0);
    Put16(g, id);
  }
  return g;
}

// An icon image: a DIB of doubled height, colour rows then the 1-bit AND mask.
std::vector<BYTE> Image(int n, int bpp, std::uint32_t color, bool maskTopLeft) {
  auto dib = Dib(n, n, bpp, false, {}, [&](int, int) { return color; });
  dib[8] = static_cast<BYTE>(n * 2);  // height field covers colour and mask
  std::size_t maskStride = ((static_cast<std::size_t>(n) + 31) / 32) * 4;
  for (int r = 0; r < n; ++r) {
    int y = n - 1 - r;  // bottom-up
    std::vector<BYTE> row(maskStride, 0);
    if (maskTopLeft && y == 0) row[0] = 0x80;
    dib.insert(dib.end(), row.begin(), row.end());
  }
  return dib;
}

}  // namespace icons

TEST(WindowIcon, PicksTheLargestDecodableImageAndAppliesAlphaOrMask) {
  using namespace icons;
  std::vector<BYTE> png = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A, 0, 0, 0, 13};
  auto small24 = Image(16, 24, 0x00FF00, true);
  auto big32 = Image(32, 32, 0x80FF0000u, false);  // alpha 0x80
  auto group = Group({{16, 1}, {256, 3}, {32, 2}});
  auto lookup = [&](unsigned id) {
    const std::vector<BYTE>* v = id == 1 ? &small24 : id == 2 ? &big32 : &png;
    return win32::ResourceBytes{v->data(), static_cast<DWORD>(v->size())};
  };
  int w = 0, h = 0;
  std::vector<DWORD> argb;
  ASSERT_TRUE(detail::DecodeIconGroup(group.data(), group.size(), lookup, &w, &h, &argb));
  EXPECT_EQ(w, 32) << "the 256 px PNG image is passed over";
  EXPECT_EQ(h, 32);
  EXPECT_EQ(argb[0], 0x80FF0000u);
  // Without the 32-bit image: the 24-bit one, transparent where its mask is set.
  auto only16 = Group({{16, 1}});
  ASSERT_TRUE(detail::DecodeIconGroup(only16.data(), only16.size(), lookup, &w, &h, &argb));
  EXPECT_EQ(w, 16);
  EXPECT_EQ(argb[0], 0x0000FF00u) << "top-left masked out";
  EXPECT_EQ(argb[1], 0xFF00FF00u);
  // A 32-bit image whose alpha is all 0 is an old-style icon: the mask decides.
  auto flat32 = Image(8, 32, 0x000000FFu, true);
  auto g8 = Group({{8, 5}});
  auto flatLookup = [&](unsigned) { return win32::ResourceBytes{flat32.data(), static_cast<DWORD>(flat32.size())}; };
  ASSERT_TRUE(detail::DecodeIconGroup(g8.data(), g8.size(), flatLookup, &w, &h, &argb));
  EXPECT_EQ(argb[0], 0x000000FFu);
  EXPECT_EQ(argb[9], 0xFF0000FFu);
  // Damaged groups and missing images fail.
  auto truncated = group;
  truncated.resize(10);
  EXPECT_FALSE(detail::DecodeIconGroup(truncated.data(), truncated.size(), lookup, &w, &h, &argb));
  auto missing = [](unsigned) { return win32::ResourceBytes{}; };
  EXPECT_FALSE(detail::DecodeIconGroup(group.data(), group.size(), missing, &w, &h, &argb));
  EXPECT_FALSE(detail::DecodeIconGroup(nullptr, 0, lookup, &w, &h, &argb));
}
