#include "platform/d3d8/window_link.h"

#include "platform/win32/monitors.h"
#include "platform/win32/native_window.h"

namespace d3d8 {

SDL_Window* SdlWindowFor(win32::HWND window) { return window ? win32::SdlWindowOf(window) : nullptr; }

bool ConnectDisplay() {
  // The display enumeration opens the windowing's connection (with its own settings) when
  // a display is configured, and fails quietly otherwise.
  win32::DISPLAY_DEVICEA device{};
  device.cb = sizeof device;
  return win32::EnumDisplayDevicesA(nullptr, 0, &device, 0) != win32::FALSE;
}

}  // namespace d3d8
