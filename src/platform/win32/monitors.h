// Display devices and monitors, from SDL's displays: one display adapter per SDL display
// (device name "\\.\DISPLAYn", n from 1), with one monitor each.
#pragma once

#include "platform/win32/win32_types.h"

namespace win32 {

struct MonitorObject;
using HMONITOR = MonitorObject*;

constexpr DWORD DISPLAY_DEVICE_ATTACHED_TO_DESKTOP = 0x00000001;
constexpr DWORD DISPLAY_DEVICE_MULTI_DRIVER = 0x00000002;
constexpr DWORD DISPLAY_DEVICE_PRIMARY_DEVICE = 0x00000004;
constexpr DWORD DISPLAY_DEVICE_MIRRORING_DRIVER = 0x00000008;
constexpr DWORD DISPLAY_DEVICE_VGA_COMPATIBLE = 0x00000010;

struct DISPLAY_DEVICEA {
  DWORD cb;
  CHAR DeviceName[32];
  CHAR DeviceString[128];
  DWORD StateFlags;
  CHAR DeviceID[128];
  CHAR DeviceKey[128];
};

constexpr DWORD ENUM_CURRENT_SETTINGS = static_cast<DWORD>(-1);
constexpr DWORD ENUM_REGISTRY_SETTINGS = static_cast<DWORD>(-2);

constexpr DWORD DM_BITSPERPEL = 0x00040000;
constexpr DWORD DM_PELSWIDTH = 0x00080000;
constexpr DWORD DM_PELSHEIGHT = 0x00100000;
constexpr DWORD DM_DISPLAYFREQUENCY = 0x00400000;
constexpr DWORD DM_POSITION = 0x00000020;

struct POINTL {
  LONG x, y;
};

// The display fields of DEVMODEA (the printer union reduced to the display position).
struct DEVMODEA {
  BYTE dmDeviceName[32];
  WORD dmSpecVersion;
  WORD dmDriverVersion;
  WORD dmSize;
  WORD dmDriverExtra;
  DWORD dmFields;
  POINTL dmPosition;
  DWORD dmDisplayOrientation;
  DWORD dmDisplayFixedOutput;
  short dmColor;
  short dmDuplex;
  short dmYResolution;
  short dmTTOption;
  short dmCollate;
  BYTE dmFormName[32];
  WORD dmLogPixels;
  DWORD dmBitsPerPel;
  DWORD dmPelsWidth;
  DWORD dmPelsHeight;
  DWORD dmDisplayFlags;
  DWORD dmDisplayFrequency;  // 0: unknown (Xvfb)
};

// device nullptr: adapter number index. A device name ("\\.\DISPLAY1"): its monitor
// number index ("\\.\DISPLAY1\Monitor0"). FALSE past the end.
BOOL EnumDisplayDevicesA(LPCSTR device, DWORD index, DISPLAY_DEVICEA* out, DWORD flags);
// ENUM_CURRENT_SETTINGS / ENUM_REGISTRY_SETTINGS: the current mode with its desktop
// position; index 0, 1, ...: the display's modes. device nullptr is the primary display.
BOOL EnumDisplaySettingsA(LPCSTR device, DWORD modeIndex, DEVMODEA* out);

constexpr DWORD MONITOR_DEFAULTTONULL = 0;
constexpr DWORD MONITOR_DEFAULTTOPRIMARY = 1;
constexpr DWORD MONITOR_DEFAULTTONEAREST = 2;
constexpr DWORD MONITORINFOF_PRIMARY = 1;

struct MONITORINFO {
  DWORD cbSize;
  RECT rcMonitor;
  RECT rcWork;
  DWORD dwFlags;
};
struct MONITORINFOEXA : MONITORINFO {
  CHAR szDevice[32];
};

// The monitor with the largest overlap with the rectangle; without overlap, per flags.
HMONITOR MonitorFromRect(const RECT* rect, DWORD flags);
HMONITOR MonitorFromPoint(POINT point, DWORD flags);
// cbSize selects MONITORINFO or MONITORINFOEXA.
BOOL GetMonitorInfoA(HMONITOR monitor, MONITORINFO* info);

// The display list the functions above read. Filled from SDL on first use; tests install
// their own (an empty list means no display).
struct DisplayMode {
  int width = 0, height = 0, bitsPerPixel = 32, refresh = 0;
};
struct DisplayInfo {
  const char* adapterName = "";  // copied
  const char* monitorName = "";  // copied
  RECT bounds{};                  // desktop rectangle
  RECT usable{};                  // work area
  DisplayMode current;
  const DisplayMode* modes = nullptr;  // copied
  int modeCount = 0;
  bool mirror = false;
};
void SetDisplaysForTesting(const DisplayInfo* displays, int count);
void ClearDisplaysForTesting();  // back to SDL

}  // namespace win32
