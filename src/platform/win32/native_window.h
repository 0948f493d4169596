// The native side of our windows, for the code that draws into them (the Direct3D
// stand-in makes its GL context with SDL_GL_CreateContext on SdlWindowOf(window)).
#pragma once

#include "platform/win32/win32_types.h"

struct SDL_Window;

namespace win32 {

// The SDL window (created with SDL_WINDOW_OPENGL) behind one of our windows; nullptr for
// message-only windows, foreign handles and invalid handles.
SDL_Window* SdlWindowOf(HWND window);
// The X11 window id behind a handle (ours, foreign, or the desktop's root); 0 if none.
unsigned long X11WindowOf(HWND window);
// Our window for an SDL window id (SDL_GetWindowID); nullptr if none.
HWND WindowFromSdlId(std::uint32_t sdlWindowId);

// Makes an existing X11 window (the root window, or one a screen-saver daemon hands over)
// one of our windows, drawn into directly: SDL_CreateWindowFrom with
// SDL_HINT_VIDEO_FOREIGN_WINDOW_OPENGL. The class's procedure gets WM_CREATE and then the
// window's messages; DestroyWindow releases it without destroying the X11 window.
HWND AdoptNativeWindow(LPCSTR className, unsigned long x11Window, LPVOID param);

}  // namespace win32
