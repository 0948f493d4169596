// The one place where the device learns about the windows of the Win32 stand-in.
#pragma once

#include "platform/win32/win32_types.h"

struct SDL_Window;

namespace d3d8 {

// The SDL window behind a window handle, or nullptr (no handle, no SDL window, or no
// windowing linked into this program).
SDL_Window* SdlWindowFor(win32::HWND window);

}  // namespace d3d8
