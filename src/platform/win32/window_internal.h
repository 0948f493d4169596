// Shared state of the windowing stand-in: the window records, the native backend calls and
// the message-queue hooks. Not for use outside src/platform/win32.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/win32/gdi.h"
#include "platform/win32/messages.h"
#include "platform/win32/resources.h"
#include "platform/win32/window.h"

struct SDL_Window;

namespace win32 {

struct WindowClassRecord {
  std::string name;
  WNDCLASSA wc{};
  std::string menuName;
};

struct WindowObject {
  std::shared_ptr<WindowClassRecord> cls;
  WNDPROC proc = nullptr;
  std::string title;
  DWORD style = 0, exStyle = 0;
  HWND parent = nullptr;   // WS_CHILD: our window, a foreign X11 id, or the desktop
  HWND owner = nullptr;    // popups and overlapped windows: the owner given as parent
  HINSTANCE instance = nullptr;
  LONG_PTR userData = 0, id = 0;
  RECT windowRect{};       // screen coordinates, frame included
  RECT clientInset{};      // frame sizes: left, top, right, bottom
  bool visible = false;
  bool messageOnly = false;
  bool adopted = false;    // a foreign X11 window drawn into directly
  bool xChild = false;     // a child X11 window we made ourselves, wrapped by SDL_CreateWindowFrom
  bool destroying = false;
  bool nativeGone = false; // the X11 window was destroyed behind our back
  bool fullyObscured = false;  // the X server's last visibility report: covered whole
  bool needsPaint = false, needsErase = false;
  SDL_Window* sdl = nullptr;
  std::uint32_t sdlId = 0;
  unsigned long xid = 0;
  unsigned long foreignParentXid = 0;
  unsigned long sessionToken = 0;
  std::vector<DWORD> surface;  // last painted pixels (client size), 0x00RRGGBB
  int surfaceW = 0, surfaceH = 0;

  HWND handle() { return reinterpret_cast<HWND>(this); }
  int clientWidth() const { return windowRect.right - windowRect.left - clientInset.left - clientInset.right; }
  int clientHeight() const { return windowRect.bottom - windowRect.top - clientInset.top - clientInset.bottom; }
};

namespace detail {

// Window records (window.cpp). Lookup never dereferences an unknown handle.
std::shared_ptr<WindowObject> FindWindowObject(HWND window);
std::vector<std::shared_ptr<WindowObject>> AllWindows();
HWND DesktopHandle();
bool IsDesktopHandle(HWND window);
// A handle that is neither ours, nor special, read as an X11 window id (0 if impossible).
unsigned long ForeignXid(HWND window);
void DestroyAllWindowsForTesting();
HWND NextWindowNeedingPaint(HWND filter);
void KillTimersOf(HWND window);  // messages.cpp
void PostInternal(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
// Wakes a blocked GetMessageA; async-signal-safe.
void WakeQueue();
int WakeWriteFd();
void DeliverPendingTermination();  // signals.cpp, called by the queue
// System suspend notifications (window_power.cpp): polled by the queue; fd to wait on or -1.
void PowerPump();
int PowerFd();

// Native backend (window_sdl.cpp).
bool VideoInit();
bool VideoActive();
bool NativeCreate(WindowObject& w);
bool NativeAdopt(WindowObject& w, unsigned long xid);
void NativeDestroy(WindowObject& w);
void NativeShow(WindowObject& w, bool show);
void NativeMove(WindowObject& w);
void NativeSetTitle(WindowObject& w);
void NativePump();
bool NativeForeignRect(unsigned long xid, RECT* screenRect);
// Whether nothing of the window can be seen (unmapped, an ancestor unmapped, covered whole).
bool NativeWindowHidden(const WindowObject& w);
// Whether the display's power saving has the screen off.
bool NativeDisplayAsleep();
void NativeCursorVisible(bool visible);
void NativePutPixels(WindowObject& w, int x, int y, int width, int height);
void NativeSetIcon(WindowObject& w);
bool NativeAppActive();
unsigned long NativeRootXid();

// Session registry of top-level windows (window_session.cpp).
unsigned long SessionPublish(const std::string& cls, const std::string& title, unsigned long xid);
void SessionWithdraw(unsigned long token);
// Another process's window (or this process's published non-HWND one): a handle value.
HWND SessionFind(LPCSTR className, LPCSTR windowName);
std::string SessionDirectory();

// GDI helpers (gdi.cpp).
void PaintBackground(WindowObject& w);
bool DecodeIconImage(HICON icon, int* width, int* height, std::vector<DWORD>* argb);
// A group-icon resource (type #14) and its images (type #3, by id) -> ARGB, top row first.
bool DecodeIconGroup(const BYTE* group, std::size_t size, const std::function<ResourceBytes(unsigned)>& image,
                     int* width, int* height, std::vector<DWORD>* argb);

}  // namespace detail
}  // namespace win32
