#include "platform/d3d8/window_link.h"

#include "platform/win32/native_window.h"

namespace d3d8 {

SDL_Window* SdlWindowFor(win32::HWND window) { return window ? win32::SdlWindowOf(window) : nullptr; }

}  // namespace d3d8
