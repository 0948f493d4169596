#include "platform/d3d8/window_link.h"

#include "platform/win32/native_window.h"

// Weak, so that programs and tests without the windowing part still link; they draw offscreen.
namespace win32 {
SDL_Window* SdlWindowOf(HWND window) __attribute__((weak));
}

namespace d3d8 {

SDL_Window* SdlWindowFor(win32::HWND window) {
  if (!window || !win32::SdlWindowOf) return nullptr;
  return win32::SdlWindowOf(window);
}

}  // namespace d3d8
