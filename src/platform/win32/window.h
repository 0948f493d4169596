// Windows over SDL2 (X11): window classes, creation and destruction, rectangles, cursor,
// window data and FindWindowA.
//
// Kinds of window CreateWindowExA makes:
//  - parent HWND_MESSAGE: a message-only window with no native window (works without a
//    display; used for tests and for anything that only needs a window procedure);
//  - WS_POPUP: a borderless window at the given screen rectangle; one that covers a whole
//    monitor becomes a full-screen window on that monitor; WS_EX_TOPMOST keeps it on top;
//  - WS_CAPTION styles: a decorated top-level window whose client area is the window
//    rectangle less the frame AdjustWindowRect adds;
//  - WS_CHILD of one of our windows, of a foreign X11 window (an HWND whose value is the X11
//    window id, as "/p <id>" gives it) or of GetDesktopWindow() (the root window): a native
//    child X window at the given client position.
// All native windows carry SDL_WINDOW_OPENGL so a GL context can be made for them
// (native_window.h). Without a display every native creation returns nullptr.
//
// SDL events become messages: key press WM_KEYDOWN (virtual-key code, repeat flag in bit
// 30), release WM_KEYUP, buttons WM_L/R/MBUTTONDOWN and ...UP, motion WM_SETCURSOR (sent)
// then WM_MOUSEMOVE (client coordinates), wheel WM_MOUSEWHEEL, loss of focus by every window
// of the program WM_ACTIVATEAPP 0 (and gaining it WM_ACTIVATEAPP 1), close request WM_CLOSE,
// exposure WM_PAINT, resize WM_SIZE. A foreign parent that is destroyed destroys its child
// (WM_DESTROY). System suspend (logind PrepareForSleep over D-Bus, when available) sends
// WM_POWERBROADCAST PBT_APMSUSPEND to every top-level window.
//
// FindWindowA sees the top-level windows of every process of this user: each live
// top-level window is published as a small file in $XDG_RUNTIME_DIR/hoardel3d/windows
// (or a private /tmp/hoardel3d-<uid>/windows), named after the process id, holding its class,
// title and X11 id; entries of dead processes are ignored and removed.
#pragma once

#include "platform/win32/gdi.h"
#include "platform/win32/messages.h"
#include "platform/win32/win32_types.h"

namespace win32 {

struct CursorObject;
struct IconObject;
struct MonitorObject;
using HCURSOR = CursorObject*;
using HICON = IconObject*;
using HMENU = void*;
using ATOM = WORD;

// Class styles.
constexpr UINT CS_VREDRAW = 0x0001;
constexpr UINT CS_HREDRAW = 0x0002;
constexpr UINT CS_DBLCLKS = 0x0008;
constexpr UINT CS_OWNDC = 0x0020;

// Window styles.
constexpr DWORD WS_OVERLAPPED = 0x00000000;
constexpr DWORD WS_POPUP = 0x80000000;
constexpr DWORD WS_CHILD = 0x40000000;
constexpr DWORD WS_MINIMIZE = 0x20000000;
constexpr DWORD WS_VISIBLE = 0x10000000;
constexpr DWORD WS_DISABLED = 0x08000000;
constexpr DWORD WS_CLIPSIBLINGS = 0x04000000;
constexpr DWORD WS_CLIPCHILDREN = 0x02000000;
constexpr DWORD WS_MAXIMIZE = 0x01000000;
constexpr DWORD WS_BORDER = 0x00800000;
constexpr DWORD WS_DLGFRAME = 0x00400000;
constexpr DWORD WS_CAPTION = 0x00C00000;
constexpr DWORD WS_VSCROLL = 0x00200000;
constexpr DWORD WS_HSCROLL = 0x00100000;
constexpr DWORD WS_SYSMENU = 0x00080000;
constexpr DWORD WS_THICKFRAME = 0x00040000;
constexpr DWORD WS_MINIMIZEBOX = 0x00020000;
constexpr DWORD WS_MAXIMIZEBOX = 0x00010000;
constexpr DWORD WS_OVERLAPPEDWINDOW =
    WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX;
constexpr DWORD WS_POPUPWINDOW = WS_POPUP | WS_BORDER | WS_SYSMENU;

constexpr DWORD WS_EX_DLGMODALFRAME = 0x00000001;
constexpr DWORD WS_EX_TOPMOST = 0x00000008;
constexpr DWORD WS_EX_TOOLWINDOW = 0x00000080;
constexpr DWORD WS_EX_CLIENTEDGE = 0x00000200;
constexpr DWORD WS_EX_APPWINDOW = 0x00040000;

constexpr int CW_USEDEFAULT = static_cast<int>(0x80000000u);

// Special window handles.
inline HWND const HWND_TOP = reinterpret_cast<HWND>(0);
inline HWND const HWND_BOTTOM = reinterpret_cast<HWND>(1);
inline HWND const HWND_TOPMOST = reinterpret_cast<HWND>(-1);
inline HWND const HWND_NOTOPMOST = reinterpret_cast<HWND>(-2);
inline HWND const HWND_MESSAGE = reinterpret_cast<HWND>(-3);

// ShowWindow commands.
constexpr int SW_HIDE = 0;
constexpr int SW_SHOWNORMAL = 1;
constexpr int SW_SHOWMINIMIZED = 2;
constexpr int SW_SHOWMAXIMIZED = 3;
constexpr int SW_SHOWNOACTIVATE = 4;
constexpr int SW_SHOW = 5;
constexpr int SW_MINIMIZE = 6;
constexpr int SW_SHOWNA = 8;
constexpr int SW_RESTORE = 9;

// SetWindowPos flags.
constexpr UINT SWP_NOSIZE = 0x0001;
constexpr UINT SWP_NOMOVE = 0x0002;
constexpr UINT SWP_NOZORDER = 0x0004;
constexpr UINT SWP_NOACTIVATE = 0x0010;
constexpr UINT SWP_SHOWWINDOW = 0x0040;
constexpr UINT SWP_HIDEWINDOW = 0x0080;

// Get/SetWindowLongPtrA indices.
constexpr int GWLP_WNDPROC = -4;
constexpr int GWLP_HINSTANCE = -6;
constexpr int GWLP_HWNDPARENT = -8;
constexpr int GWLP_ID = -12;
constexpr int GWL_STYLE = -16;
constexpr int GWL_EXSTYLE = -20;
constexpr int GWLP_USERDATA = -21;

// Stock cursors and icons (resource ids of the system).
inline LPCSTR const IDC_ARROW = MAKEINTRESOURCEA(32512);
inline LPCSTR const IDC_WAIT = MAKEINTRESOURCEA(32514);
inline LPCSTR const IDI_APPLICATION = MAKEINTRESOURCEA(32512);

struct WNDCLASSA {
  UINT style;
  WNDPROC lpfnWndProc;
  int cbClsExtra;
  int cbWndExtra;
  HINSTANCE hInstance;
  HICON hIcon;
  HCURSOR hCursor;
  HBRUSH hbrBackground;
  LPCSTR lpszMenuName;
  LPCSTR lpszClassName;
};

struct CREATESTRUCTA {
  LPVOID lpCreateParams;
  HINSTANCE hInstance;
  HMENU hMenu;
  HWND hwndParent;
  int cy;
  int cx;
  int y;
  int x;
  LONG style;
  LPCSTR lpszName;
  LPCSTR lpszClass;
  DWORD dwExStyle;
};

// Registration. Class names compare case-insensitively. Fails (0) for a duplicate name or
// a missing procedure.
ATOM RegisterClassA(const WNDCLASSA* wc);
BOOL UnregisterClassA(LPCSTR className, HINSTANCE instance);
BOOL GetClassInfoA(HINSTANCE instance, LPCSTR className, WNDCLASSA* out);

// Sends WM_NCCREATE and WM_CREATE (lParam: CREATESTRUCTA*); WM_CREATE returning -1 (or
// WM_NCCREATE returning 0) destroys the window and returns nullptr. With WS_VISIBLE the
// window is shown and a first WM_PAINT is pending.
HWND CreateWindowExA(DWORD exStyle, LPCSTR className, LPCSTR windowName, DWORD style, int x, int y,
                     int width, int height, HWND parent, HMENU menu, HINSTANCE instance, LPVOID param);
// Destroys owned windows first, then sends WM_DESTROY, destroys the children, sends
// WM_NCDESTROY; timers of the window are killed. Safe to call from the window's own
// procedure.
BOOL DestroyWindow(HWND window);
BOOL IsWindow(HWND window);
BOOL IsWindowVisible(HWND window);
BOOL ShowWindow(HWND window, int command);
BOOL SetWindowPos(HWND window, HWND insertAfter, int x, int y, int cx, int cy, UINT flags);
BOOL MoveWindow(HWND window, int x, int y, int width, int height, BOOL repaint);
// Client rectangle: (0, 0, width, height). For a foreign X11 window (or the desktop) it is
// read from the X server.
BOOL GetClientRect(HWND window, RECT* rect);
// Window rectangle in screen coordinates (frame included).
BOOL GetWindowRect(HWND window, RECT* rect);
BOOL ClientToScreen(HWND window, POINT* point);
BOOL ScreenToClient(HWND window, POINT* point);
// Grows a client rectangle by the frame of the style (caption 19, dialog frame 3, sizing
// frame 4, border 1 pixels, as the classic Windows metrics).
BOOL AdjustWindowRect(RECT* rect, DWORD style, BOOL menu);
BOOL AdjustWindowRectEx(RECT* rect, DWORD style, BOOL menu, DWORD exStyle);
HWND GetParent(HWND window);
// The root window; a pseudo handle that is never destroyed.
HWND GetDesktopWindow();
HWND GetForegroundWindow();
BOOL SetForegroundWindow(HWND window);
HWND SetFocus(HWND window);
HWND GetFocus();
BOOL SetWindowTextA(HWND window, LPCSTR text);
int GetWindowTextA(HWND window, LPSTR buffer, int size);
int GetClassNameA(HWND window, LPSTR buffer, int size);

using LONG_PTR = std::intptr_t;
// GWLP_WNDPROC, GWLP_USERDATA, GWLP_ID, GWLP_HINSTANCE, GWLP_HWNDPARENT, GWL_STYLE and
// GWL_EXSTYLE. Setting returns the previous value.
LONG_PTR GetWindowLongPtrA(HWND window, int index);
LONG_PTR SetWindowLongPtrA(HWND window, int index, LONG_PTR value);

// Finds a top-level window of this user's session by class name and/or title (nullptr
// for either means any). Our own process's windows come back as their handles; another
// process's window comes back as its X11 window id (or a non-null token when it has none).
HWND FindWindowA(LPCSTR className, LPCSTR windowName);
// Publishes a top-level window that is not made by CreateWindowExA (a GTK dialog, say) so
// FindWindowA in any process finds it by class and title. Returns a token for
// WithdrawSessionWindow, 0 on failure.
unsigned long PublishSessionWindow(LPCSTR className, LPCSTR windowName, unsigned long x11Window);
void WithdrawSessionWindow(unsigned long token);

// Cursor: ShowCursor keeps the display counter (shown while >= 0) and returns it;
// SetCursor(nullptr) hides the pointer over our windows, a cursor handle shows it.
int ShowCursor(BOOL show);
HCURSOR SetCursor(HCURSOR cursor);
HCURSOR LoadCursorA(HINSTANCE instance, LPCSTR name);
// Icons from the program's group-icon resources (type #14) or the stock icons; used as the
// window icon of decorated windows.
HICON LoadIconA(HINSTANCE instance, LPCSTR name);

// Whether native windows can be made (a display is reachable); initialises video once.
bool DisplayAvailable();

// What the user can see of a window now, so that drawing can stop while nothing of it shows:
// Hidden when it (or a window it lies in) is unmapped or another window covers it whole,
// DisplayAsleep when the display's power saving (DPMS) has switched the screen off. Windows
// that are not on a display, and anything that cannot be asked, count as Visible. Asks the
// X server (a round trip or two), so callers check about once a second, not every frame.
enum class WindowSight { Visible, Hidden, DisplayAsleep };
WindowSight QueryWindowSight(HWND window);
// Replaces the display power query for tests (servers such as Xvfb have no DPMS); nullptr
// puts the real query back.
void SetDisplayAsleepQueryForTesting(bool (*asleep)());

}  // namespace win32
