// Display devices, modes and monitors from SDL's displays (or a list installed by tests).
#include "platform/win32/monitors.h"

#include <SDL.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#include "platform/win32/window_internal.h"

namespace win32 {
namespace {

struct Display {
  std::string adapter, monitor;
  RECT bounds{}, usable{};
  DisplayMode current;
  std::vector<DisplayMode> modes;
  bool mirror = false;
};

std::mutex g_mutex;
bool g_testing = false;
std::vector<Display> g_testDisplays;

int Bits(Uint32 format) {
  int bytes = SDL_BYTESPERPIXEL(format);
  return bytes == 4 ? 32 : SDL_BITSPERPIXEL(format);
}

std::vector<Display> ReadSdlDisplays() {
  std::vector<Display> out;
  if (!detail::VideoInit()) return out;
  int n = SDL_GetNumVideoDisplays();
  for (int i = 0; i < n; ++i) {
    Display d;
    SDL_Rect b, u;
    if (SDL_GetDisplayBounds(i, &b) != 0) continue;
    if (SDL_GetDisplayUsableBounds(i, &u) != 0) u = b;
    d.bounds = RECT{b.x, b.y, b.x + b.w, b.y + b.h};
    d.usable = RECT{u.x, u.y, u.x + u.w, u.y + u.h};
    const char* name = SDL_GetDisplayName(i);
    d.monitor = name && *name ? name : "Generic monitor";
    d.adapter = std::string(SDL_GetCurrentVideoDriver()) + " display adapter";
    SDL_DisplayMode m;
    if (SDL_GetCurrentDisplayMode(i, &m) == 0) d.current = DisplayMode{m.w, m.h, Bits(m.format), m.refresh_rate};
    else d.current = DisplayMode{b.w, b.h, 32, 0};
    int count = SDL_GetNumDisplayModes(i);
    for (int k = 0; k < count; ++k) {
      if (SDL_GetDisplayMode(i, k, &m) == 0) d.modes.push_back(DisplayMode{m.w, m.h, Bits(m.format), m.refresh_rate});
    }
    if (d.modes.empty()) d.modes.push_back(d.current);
    out.push_back(std::move(d));
  }
  return out;
}

std::vector<Display> Displays() {
  {
    std::lock_guard<std::mutex> lock(g_mutex);
    if (g_testing) return g_testDisplays;
  }
  return ReadSdlDisplays();
}

// "\\.\DISPLAYn" (n from 1) -> index, or -1.
int DeviceIndex(LPCSTR device) {
  if (!device) return 0;
  const char* prefix = "\\\\.\\DISPLAY";
  std::size_t len = std::strlen(prefix);
  if (std::strncmp(device, prefix, len) != 0) return -1;
  int n = 0;
  const char* p = device + len;
  if (!*p) return -1;
  for (; *p && *p != '\\'; ++p) {
    if (*p < '0' || *p > '9' || n > 1000) return -1;
    n = n * 10 + (*p - '0');
  }
  if (*p) return -1;  // a monitor name is not a display device
  return n >= 1 ? n - 1 : -1;
}

void CopyText(char* dst, std::size_t size, const std::string& s) {
  std::snprintf(dst, size, "%s", s.c_str());
}

HMONITOR MonitorHandle(int index) { return reinterpret_cast<HMONITOR>(static_cast<std::uintptr_t>(index + 1)); }

long long Overlap(const RECT& a, const RECT& b) {
  long long w = std::min(a.right, b.right) - std::max(a.left, b.left);
  long long h = std::min(a.bottom, b.bottom) - std::max(a.top, b.top);
  return w > 0 && h > 0 ? w * h : 0;
}

long long Distance2(const RECT& r, POINT p) {
  long long dx = p.x < r.left ? r.left - p.x : (p.x >= r.right ? p.x - r.right + 1 : 0);
  long long dy = p.y < r.top ? r.top - p.y : (p.y >= r.bottom ? p.y - r.bottom + 1 : 0);
  return dx * dx + dy * dy;
}

int PrimaryIndex(const std::vector<Display>& ds) {
  for (std::size_t i = 0; i < ds.size(); ++i) {
    if (!ds[i].mirror) return static_cast<int>(i);
  }
  return -1;
}

}  // namespace

BOOL EnumDisplayDevicesA(LPCSTR device, DWORD index, DISPLAY_DEVICEA* out, DWORD) {
  if (!out) return FALSE;
  auto ds = Displays();
  DWORD cb = out->cb;
  if (!device) {
    if (index >= ds.size()) return FALSE;
    const Display& d = ds[index];
    std::memset(out, 0, sizeof *out);
    out->cb = cb;
    CopyText(out->DeviceName, sizeof out->DeviceName, "\\\\.\\DISPLAY" + std::to_string(index + 1));
    CopyText(out->DeviceString, sizeof out->DeviceString, d.adapter);
    out->StateFlags = d.mirror ? DISPLAY_DEVICE_MIRRORING_DRIVER : DISPLAY_DEVICE_ATTACHED_TO_DESKTOP;
    if (static_cast<int>(index) == PrimaryIndex(ds)) out->StateFlags |= DISPLAY_DEVICE_PRIMARY_DEVICE;
    CopyText(out->DeviceID, sizeof out->DeviceID, "SDL\\DISPLAY" + std::to_string(index));
    return TRUE;
  }
  int di = DeviceIndex(device);
  if (di < 0 || di >= static_cast<int>(ds.size()) || index != 0) return FALSE;
  std::memset(out, 0, sizeof *out);
  out->cb = cb;
  CopyText(out->DeviceName, sizeof out->DeviceName, std::string(device) + "\\Monitor0");
  CopyText(out->DeviceString, sizeof out->DeviceString, ds[di].monitor);
  out->StateFlags = ds[di].mirror ? 0 : DISPLAY_DEVICE_ATTACHED_TO_DESKTOP;
  CopyText(out->DeviceID, sizeof out->DeviceID, "MONITOR\\SDL" + std::to_string(di));
  return TRUE;
}

BOOL EnumDisplaySettingsA(LPCSTR device, DWORD modeIndex, DEVMODEA* out) {
  if (!out) return FALSE;
  auto ds = Displays();
  int di = device ? DeviceIndex(device) : PrimaryIndex(ds);
  if (di < 0 || di >= static_cast<int>(ds.size())) return FALSE;
  const Display& d = ds[di];
  DisplayMode m;
  bool current = modeIndex == ENUM_CURRENT_SETTINGS || modeIndex == ENUM_REGISTRY_SETTINGS;
  if (current) m = d.current;
  else if (modeIndex < d.modes.size()) m = d.modes[modeIndex];
  else return FALSE;
  WORD size = out->dmSize;
  std::memset(out, 0, sizeof *out);
  out->dmSize = size ? size : static_cast<WORD>(sizeof *out);
  std::snprintf(reinterpret_cast<char*>(out->dmDeviceName), sizeof out->dmDeviceName, "%s", d.adapter.c_str());
  out->dmSpecVersion = 0x0401;
  out->dmFields = DM_BITSPERPEL | DM_PELSWIDTH | DM_PELSHEIGHT | DM_DISPLAYFREQUENCY;
  out->dmBitsPerPel = static_cast<DWORD>(m.bitsPerPixel);
  out->dmPelsWidth = static_cast<DWORD>(m.width);
  out->dmPelsHeight = static_cast<DWORD>(m.height);
  out->dmDisplayFrequency = static_cast<DWORD>(std::max(m.refresh, 0));
  if (current) {
    out->dmFields |= DM_POSITION;
    out->dmPosition = POINTL{d.bounds.left, d.bounds.top};
  }
  return TRUE;
}

HMONITOR MonitorFromRect(const RECT* rect, DWORD flags) {
  if (!rect) return nullptr;
  auto ds = Displays();
  int best = -1;
  long long bestArea = 0;
  for (std::size_t i = 0; i < ds.size(); ++i) {
    if (ds[i].mirror) continue;
    long long a = Overlap(*rect, ds[i].bounds);
    if (a > bestArea) {
      bestArea = a;
      best = static_cast<int>(i);
    }
  }
  if (best >= 0) return MonitorHandle(best);
  if (flags == MONITOR_DEFAULTTOPRIMARY) {
    int p = PrimaryIndex(ds);
    return p >= 0 ? MonitorHandle(p) : nullptr;
  }
  if (flags == MONITOR_DEFAULTTONEAREST) {
    POINT c{rect->left + (rect->right - rect->left) / 2, rect->top + (rect->bottom - rect->top) / 2};
    return MonitorFromPoint(c, MONITOR_DEFAULTTONEAREST);
  }
  return nullptr;
}

HMONITOR MonitorFromPoint(POINT point, DWORD flags) {
  auto ds = Displays();
  int best = -1;
  long long bestD = 0;
  for (std::size_t i = 0; i < ds.size(); ++i) {
    if (ds[i].mirror) continue;
    long long d = Distance2(ds[i].bounds, point);
    if (d == 0) return MonitorHandle(static_cast<int>(i));
    if (best < 0 || d < bestD) {
      best = static_cast<int>(i);
      bestD = d;
    }
  }
  if (flags == MONITOR_DEFAULTTONEAREST && best >= 0) return MonitorHandle(best);
  if (flags == MONITOR_DEFAULTTOPRIMARY) {
    int p = PrimaryIndex(ds);
    return p >= 0 ? MonitorHandle(p) : nullptr;
  }
  return nullptr;
}

BOOL GetMonitorInfoA(HMONITOR monitor, MONITORINFO* info) {
  if (!info) return FALSE;
  if (info->cbSize != sizeof(MONITORINFO) && info->cbSize != sizeof(MONITORINFOEXA)) return FALSE;
  auto ds = Displays();
  auto v = reinterpret_cast<std::uintptr_t>(monitor);
  if (v == 0 || v > ds.size() || ds[v - 1].mirror) return FALSE;
  int i = static_cast<int>(v - 1);
  info->rcMonitor = ds[i].bounds;
  info->rcWork = ds[i].usable;
  info->dwFlags = i == PrimaryIndex(ds) ? MONITORINFOF_PRIMARY : 0;
  if (info->cbSize == sizeof(MONITORINFOEXA)) {
    auto* ex = static_cast<MONITORINFOEXA*>(info);
    std::snprintf(ex->szDevice, sizeof ex->szDevice, "\\\\.\\DISPLAY%d", i + 1);
  }
  return TRUE;
}

void SetDisplaysForTesting(const DisplayInfo* displays, int count) {
  std::lock_guard<std::mutex> lock(g_mutex);
  g_testing = true;
  g_testDisplays.clear();
  for (int i = 0; i < count; ++i) {
    Display d;
    d.adapter = displays[i].adapterName ? displays[i].adapterName : "";
    d.monitor = displays[i].monitorName ? displays[i].monitorName : "";
    d.bounds = displays[i].bounds;
    d.usable = displays[i].usable;
    d.current = displays[i].current;
    for (int k = 0; k < displays[i].modeCount; ++k) d.modes.push_back(displays[i].modes[k]);
    if (d.modes.empty()) d.modes.push_back(d.current);
    d.mirror = displays[i].mirror;
    g_testDisplays.push_back(std::move(d));
  }
}

void ClearDisplaysForTesting() {
  std::lock_guard<std::mutex> lock(g_mutex);
  g_testing = false;
  g_testDisplays.clear();
}

}  // namespace win32
