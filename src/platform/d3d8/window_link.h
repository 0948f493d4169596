// The one place where the device learns about the windows of the Win32 stand-in.
#pragma once

#include "platform/win32/win32_types.h"

struct SDL_Window;

namespace d3d8 {

// The SDL window behind a window handle, or nullptr (no handle, no SDL window, or no
// windowing linked into this program).
SDL_Window* SdlWindowFor(win32::HWND window);

// Connects the windowing to the display, if there is one, so that adapters and modes can be
// read from it before the first window exists. False without a display.
bool ConnectDisplay();

}  // namespace d3d8
