// Window classes and window records: creation, destruction, geometry, window data,
// FindWindowA and the cursor. The native side lives in window_sdl.cpp.
#include "platform/win32/window.h"

#include <strings.h>

#include <algorithm>
#include <charconv>
#include <map>
#include <mutex>

#include "platform/win32/native_window.h"
#include "platform/win32/resources.h"
#include "platform/win32/window_internal.h"

namespace win32 {
namespace {

struct Registry {
  std::recursive_mutex mutex;
  std::map<std::string, std::shared_ptr<WindowClassRecord>> classes;  // key: lower-case name
  std::map<HWND, std::shared_ptr<WindowObject>> windows;
  std::vector<HWND> order;  // creation order, for painting and activation
  HWND focus = nullptr;
};

Registry& Reg() {
  static Registry r;
  return r;
}

// The desktop pseudo handle: a fixed address never used for a window record.
char g_desktopTag;
int g_cursorCount = 0;
HCURSOR g_cursor = nullptr;
bool g_cursorSet = false;

std::string Lower(LPCSTR s) {
  if (IS_INTRESOURCE(s)) {
    // "#n", formatted in place: assembling it from std::string pieces trips GCC 12's -Wrestrict
    // at -O3 (a false overlap inside the inlined string copy).
    char id[24] = "#";
    const auto end = std::to_chars(id + 1, id + sizeof id, reinterpret_cast<std::uintptr_t>(s)).ptr;
    return std::string(id, end);
  }
  std::string out;
  for (; *s; ++s) out.push_back(static_cast<char>(std::tolower(static_cast<unsigned char>(*s))));
  return out;
}

bool IsTopLevel(const WindowObject& w) { return !(w.style & WS_CHILD) && !w.messageOnly; }

void ApplyCursor() {
  bool visible = g_cursorCount >= 0 && (!g_cursorSet || g_cursor != nullptr);
  detail::NativeCursorVisible(visible);
}

// Frame sizes of a style, as the classic Windows metrics give them.
RECT FrameOf(DWORD style, DWORD exStyle) {
  RECT f{0, 0, 0, 0};
  int side = 0, top = 0;
  if ((style & WS_CAPTION) == WS_CAPTION) {
    side = (style & WS_THICKFRAME) ? 4 : 3;
    top = side + 19;
  } else if (style & WS_THICKFRAME) {
    side = top = 4;
  } else if (style & WS_DLGFRAME) {
    side = top = 3;
  } else if (style & WS_BORDER) {
    side = top = 1;
  }
  if (exStyle & WS_EX_CLIENTEDGE) {
    side += 2;
    top += 2;
  }
  f.left = side;
  f.right = side;
  f.bottom = side;
  f.top = top;
  return f;
}

void Unpublish(WindowObject& w) {
  if (w.sessionToken) {
    detail::SessionWithdraw(w.sessionToken);
    w.sessionToken = 0;
  }
}

}  // namespace

namespace detail {

std::shared_ptr<WindowObject> FindWindowObject(HWND window) {
  if (!window) return nullptr;
  Registry& r = Reg();
  std::lock_guard<std::recursive_mutex> lock(r.mutex);
  auto it = r.windows.find(window);
  return it == r.windows.end() ? nullptr : it->second;
}

std::vector<std::shared_ptr<WindowObject>> AllWindows() {
  Registry& r = Reg();
  std::lock_guard<std::recursive_mutex> lock(r.mutex);
  std::vector<std::shared_ptr<WindowObject>> out;
  for (HWND h : r.order) {
    auto it = r.windows.find(h);
    if (it != r.windows.end()) out.push_back(it->second);
  }
  return out;
}

HWND DesktopHandle() { return reinterpret_cast<HWND>(&g_desktopTag); }
bool IsDesktopHandle(HWND window) { return window == DesktopHandle(); }

unsigned long ForeignXid(HWND window) {
  auto v = reinterpret_cast<std::uintptr_t>(window);
  if (!window || FindWindowObject(window) || IsDesktopHandle(window)) return 0;
  if (v > 0xFFFFFFFFu) return 0;  // not an X11 resource id
  return static_cast<unsigned long>(v);
}

HWND NextWindowNeedingPaint(HWND filter) {
  for (auto& w : AllWindows()) {
    if (w->needsPaint && !w->destroying && (!filter || filter == w->handle())) return w->handle();
  }
  return nullptr;
}

void DestroyAllWindowsForTesting() {
  for (auto& w : AllWindows()) {
    if (IsWindow(w->handle())) DestroyWindow(w->handle());
  }
}

}  // namespace detail

ATOM RegisterClassA(const WNDCLASSA* wc) {
  if (!wc || !wc->lpfnWndProc || !wc->lpszClassName) return 0;
  if (!IS_INTRESOURCE(wc->lpszClassName) && !*wc->lpszClassName) return 0;
  Registry& r = Reg();
  std::lock_guard<std::recursive_mutex> lock(r.mutex);
  std::string key = Lower(wc->lpszClassName);
  if (r.classes.count(key)) return 0;  // ERROR_CLASS_ALREADY_EXISTS
  auto rec = std::make_shared<WindowClassRecord>();
  rec->name = IS_INTRESOURCE(wc->lpszClassName) ? key : std::string(wc->lpszClassName);
  rec->wc = *wc;
  rec->wc.lpszClassName = nullptr;
  rec->wc.lpszMenuName = nullptr;
  r.classes[key] = rec;
  static ATOM next = 0xC000;
  return next++;
}

BOOL UnregisterClassA(LPCSTR className, HINSTANCE) {
  if (!className) return FALSE;
  Registry& r = Reg();
  std::lock_guard<std::recursive_mutex> lock(r.mutex);
  std::string key = Lower(className);
  auto it = r.classes.find(key);
  if (it == r.classes.end()) return FALSE;
  for (auto& [h, w] : r.windows) {
    if (w->cls == it->second) return FALSE;  // class still in use
  }
  r.classes.erase(it);
  return TRUE;
}

BOOL GetClassInfoA(HINSTANCE, LPCSTR className, WNDCLASSA* out) {
  if (!className || !out) return FALSE;
  Registry& r = Reg();
  std::lock_guard<std::recursive_mutex> lock(r.mutex);
  auto it = r.classes.find(Lower(className));
  if (it == r.classes.end()) return FALSE;
  *out = it->second->wc;
  return TRUE;
}

HWND CreateWindowExA(DWORD exStyle, LPCSTR className, LPCSTR windowName, DWORD style, int x, int y,
                     int width, int height, HWND parent, HMENU menu, HINSTANCE instance, LPVOID param) {
  if (!className) return nullptr;
  std::shared_ptr<WindowClassRecord> cls;
  {
    Registry& r = Reg();
    std::lock_guard<std::recursive_mutex> lock(r.mutex);
    auto it = r.classes.find(Lower(className));
    if (it == r.classes.end()) return nullptr;
    cls = it->second;
  }
  auto w = std::make_shared<WindowObject>();
  w->cls = cls;
  w->proc = cls->wc.lpfnWndProc;
  w->title = windowName ? windowName : "";
  w->style = style;
  w->exStyle = exStyle;
  w->instance = instance;
  w->messageOnly = parent == HWND_MESSAGE;
  if (style & WS_CHILD) {
    if (!parent || parent == HWND_MESSAGE) return nullptr;  // a child needs a parent
    w->parent = parent;
    w->id = reinterpret_cast<LONG_PTR>(menu);
    auto p = detail::FindWindowObject(parent);
    if (p && p->messageOnly) w->messageOnly = true;  // children of message-only windows stay so
    if (!p && !detail::IsDesktopHandle(parent)) {
      w->foreignParentXid = detail::ForeignXid(parent);
      if (!w->foreignParentXid) return nullptr;
    }
  } else if (!w->messageOnly) {
    if (parent && !detail::FindWindowObject(parent)) return nullptr;
    w->owner = parent;
  }
  if (x == CW_USEDEFAULT) x = y = 0;
  if (width == CW_USEDEFAULT) {
    width = 640;
    height = 480;
  }
  width = std::max(width, 0);
  height = std::max(height, 0);
  w->clientInset = w->messageOnly ? RECT{0, 0, 0, 0} : FrameOf(style, exStyle);
  // Children are placed relative to the parent's client area; keep screen coordinates.
  POINT origin{x, y};
  if ((style & WS_CHILD) && detail::FindWindowObject(parent)) ClientToScreen(parent, &origin);
  w->windowRect = RECT{origin.x, origin.y, origin.x + width, origin.y + height};

  if (!w->messageOnly) {
    if (!detail::VideoInit() || !detail::NativeCreate(*w)) return nullptr;
  }
  HWND h = w->handle();
  {
    Registry& r = Reg();
    std::lock_guard<std::recursive_mutex> lock(r.mutex);
    r.windows[h] = w;
    r.order.push_back(h);
  }
  CREATESTRUCTA cs{param, instance, menu, parent, height, width, y, x, static_cast<LONG>(style), windowName,
                   className, exStyle};
  if (!SendMessageA(h, WM_NCCREATE, 0, reinterpret_cast<LPARAM>(&cs)) ||
      SendMessageA(h, WM_CREATE, 0, reinterpret_cast<LPARAM>(&cs)) == -1) {
    DestroyWindow(h);
    return nullptr;
  }
  if (!IsWindow(h)) return nullptr;
  if (IsTopLevel(*w)) w->sessionToken = detail::SessionPublish(cls->name, w->title, w->xid);
  if (style & WS_VISIBLE) {
    w->style &= ~WS_VISIBLE;
    ShowWindow(h, SW_SHOW);
  }
  return h;
}

BOOL DestroyWindow(HWND window) {
  auto w = detail::FindWindowObject(window);
  if (!w || w->destroying) return FALSE;
  w->destroying = true;
  // Owned windows go first, then this window's WM_DESTROY, then its children.
  for (auto& o : detail::AllWindows()) {
    if (o->owner == window && !o->destroying) DestroyWindow(o->handle());
  }
  if (w->visible && !w->nativeGone) detail::NativeShow(*w, false);
  Unpublish(*w);
  if (w->proc) w->proc(window, WM_DESTROY, 0, 0);
  for (auto& c : detail::AllWindows()) {
    if (c->parent == window && !c->destroying) DestroyWindow(c->handle());
  }
  detail::KillTimersOf(window);
  if (w->proc) w->proc(window, WM_NCDESTROY, 0, 0);
  detail::NativeDestroy(*w);
  Registry& r = Reg();
  std::lock_guard<std::recursive_mutex> lock(r.mutex);
  r.windows.erase(window);
  std::erase(r.order, window);
  if (r.focus == window) r.focus = nullptr;
  return TRUE;
}

BOOL IsWindow(HWND window) {
  auto w = detail::FindWindowObject(window);
  return w && !w->destroying ? TRUE : (detail::IsDesktopHandle(window) ? TRUE : FALSE);
}

namespace {
bool (*g_displayAsleepForTesting)() = nullptr;
}  // namespace

void SetDisplayAsleepQueryForTesting(bool (*asleep)()) { g_displayAsleepForTesting = asleep; }

WindowSight QueryWindowSight(HWND window) {
  auto w = detail::FindWindowObject(window);
  if (!w || w->messageOnly) return WindowSight::Visible;
  if (g_displayAsleepForTesting ? g_displayAsleepForTesting() : detail::NativeDisplayAsleep())
    return WindowSight::DisplayAsleep;
  return detail::NativeWindowHidden(*w) ? WindowSight::Hidden : WindowSight::Visible;
}

BOOL IsWindowVisible(HWND window) {
  auto w = detail::FindWindowObject(window);
  return w && w->visible ? TRUE : FALSE;
}

BOOL ShowWindow(HWND window, int command) {
  auto w = detail::FindWindowObject(window);
  if (!w) return FALSE;
  BOOL was = w->visible ? TRUE : FALSE;
  bool show = command != SW_HIDE && command != SW_MINIMIZE;
  if (show == w->visible) return was;
  if (w->proc) w->proc(window, WM_SHOWWINDOW, show ? TRUE : FALSE, 0);
  w->visible = show;
  if (show) w->style |= WS_VISIBLE;
  else w->style &= ~WS_VISIBLE;
  if (!w->messageOnly && !w->nativeGone) detail::NativeShow(*w, show);
  if (show) {
    w->needsPaint = true;
    w->needsErase = true;
    if (w->proc) w->proc(window, WM_SIZE, SIZE_RESTORED, MAKELPARAM(static_cast<WORD>(w->clientWidth()),
                                                                     static_cast<WORD>(w->clientHeight())));
  }
  return was;
}

BOOL SetWindowPos(HWND window, HWND insertAfter, int x, int y, int cx, int cy, UINT flags) {
  auto w = detail::FindWindowObject(window);
  if (!w) return FALSE;
  RECT r = w->windowRect;
  if (!(flags & SWP_NOMOVE)) {
    POINT p{x, y};
    if ((w->style & WS_CHILD) && detail::FindWindowObject(w->parent)) ClientToScreen(w->parent, &p);
    r.right += p.x - r.left;
    r.bottom += p.y - r.top;
    r.left = p.x;
    r.top = p.y;
  }
  if (!(flags & SWP_NOSIZE)) {
    r.right = r.left + std::max(cx, 0);
    r.bottom = r.top + std::max(cy, 0);
  }
  bool sized = (r.right - r.left) != (w->windowRect.right - w->windowRect.left) ||
               (r.bottom - r.top) != (w->windowRect.bottom - w->windowRect.top);
  w->windowRect = r;
  if (!(flags & SWP_NOZORDER)) {
    if (insertAfter == HWND_TOPMOST) w->exStyle |= WS_EX_TOPMOST;
    if (insertAfter == HWND_NOTOPMOST) w->exStyle &= ~WS_EX_TOPMOST;
  }
  if (!w->messageOnly && !w->nativeGone) detail::NativeMove(*w);
  if (sized && w->proc) {
    w->proc(window, WM_SIZE, SIZE_RESTORED,
            MAKELPARAM(static_cast<WORD>(w->clientWidth()), static_cast<WORD>(w->clientHeight())));
  }
  if (flags & SWP_SHOWWINDOW) ShowWindow(window, SW_SHOW);
  if (flags & SWP_HIDEWINDOW) ShowWindow(window, SW_HIDE);
  return TRUE;
}

BOOL MoveWindow(HWND window, int x, int y, int width, int height, BOOL repaint) {
  if (!SetWindowPos(window, nullptr, x, y, width, height, SWP_NOZORDER | SWP_NOACTIVATE)) return FALSE;
  if (repaint) InvalidateRect(window, nullptr, TRUE);
  return TRUE;
}

BOOL GetClientRect(HWND window, RECT* rect) {
  if (!rect) return FALSE;
  if (auto w = detail::FindWindowObject(window)) {
    *rect = RECT{0, 0, std::max(w->clientWidth(), 0), std::max(w->clientHeight(), 0)};
    return TRUE;
  }
  unsigned long xid = detail::IsDesktopHandle(window) ? 0 : detail::ForeignXid(window);
  if (!detail::IsDesktopHandle(window) && !xid) return FALSE;
  RECT s;
  if (!detail::VideoInit() || !detail::NativeForeignRect(xid, &s)) return FALSE;
  *rect = RECT{0, 0, s.right - s.left, s.bottom - s.top};
  return TRUE;
}

BOOL GetWindowRect(HWND window, RECT* rect) {
  if (!rect) return FALSE;
  if (auto w = detail::FindWindowObject(window)) {
    *rect = w->windowRect;
    return TRUE;
  }
  unsigned long xid = detail::IsDesktopHandle(window) ? 0 : detail::ForeignXid(window);
  if (!detail::IsDesktopHandle(window) && !xid) return FALSE;
  return detail::VideoInit() && detail::NativeForeignRect(xid, rect) ? TRUE : FALSE;
}

BOOL ClientToScreen(HWND window, POINT* point) {
  auto w = detail::FindWindowObject(window);
  if (!point) return FALSE;
  if (w) {
    point->x += w->windowRect.left + w->clientInset.left;
    point->y += w->windowRect.top + w->clientInset.top;
    return TRUE;
  }
  RECT r;
  if (!GetWindowRect(window, &r)) return FALSE;
  point->x += r.left;
  point->y += r.top;
  return TRUE;
}

BOOL ScreenToClient(HWND window, POINT* point) {
  POINT o{0, 0};
  if (!point || !ClientToScreen(window, &o)) return FALSE;
  point->x -= o.x;
  point->y -= o.y;
  return TRUE;
}

BOOL AdjustWindowRectEx(RECT* rect, DWORD style, BOOL menu, DWORD exStyle) {
  if (!rect) return FALSE;
  RECT f = FrameOf(style, exStyle);
  rect->left -= f.left;
  rect->top -= f.top + (menu ? 19 : 0);
  rect->right += f.right;
  rect->bottom += f.bottom;
  return TRUE;
}

BOOL AdjustWindowRect(RECT* rect, DWORD style, BOOL menu) { return AdjustWindowRectEx(rect, style, menu, 0); }

HWND GetParent(HWND window) {
  auto w = detail::FindWindowObject(window);
  if (!w) return nullptr;
  return (w->style & WS_CHILD) ? w->parent : w->owner;
}

HWND GetDesktopWindow() { return detail::DesktopHandle(); }

HWND GetForegroundWindow() {
  Registry& r = Reg();
  std::lock_guard<std::recursive_mutex> lock(r.mutex);
  return r.focus;
}

BOOL SetForegroundWindow(HWND window) { return SetFocus(window) || IsWindow(window) ? TRUE : FALSE; }

HWND SetFocus(HWND window) {
  if (window && !detail::FindWindowObject(window)) return nullptr;
  Registry& r = Reg();
  HWND old;
  {
    std::lock_guard<std::recursive_mutex> lock(r.mutex);
    old = r.focus;
    r.focus = window;
  }
  if (old != window) {
    if (old) SendMessageA(old, WM_KILLFOCUS, reinterpret_cast<WPARAM>(window), 0);
    if (window) SendMessageA(window, WM_SETFOCUS, reinterpret_cast<WPARAM>(old), 0);
  }
  return old;
}

HWND GetFocus() { return GetForegroundWindow(); }

BOOL SetWindowTextA(HWND window, LPCSTR text) {
  auto w = detail::FindWindowObject(window);
  if (!w) return FALSE;
  w->title = text ? text : "";
  if (!w->messageOnly && !w->nativeGone) detail::NativeSetTitle(*w);
  if (w->sessionToken) {
    detail::SessionWithdraw(w->sessionToken);
    w->sessionToken = detail::SessionPublish(w->cls->name, w->title, w->xid);
  }
  return TRUE;
}

int GetWindowTextA(HWND window, LPSTR buffer, int size) {
  auto w = detail::FindWindowObject(window);
  if (!w || !buffer || size <= 0) return 0;
  int n = std::min<int>(static_cast<int>(w->title.size()), size - 1);
  std::copy_n(w->title.data(), n, buffer);
  buffer[n] = 0;
  return n;
}

int GetClassNameA(HWND window, LPSTR buffer, int size) {
  auto w = detail::FindWindowObject(window);
  if (!w || !buffer || size <= 0) return 0;
  int n = std::min<int>(static_cast<int>(w->cls->name.size()), size - 1);
  std::copy_n(w->cls->name.data(), n, buffer);
  buffer[n] = 0;
  return n;
}

LONG_PTR GetWindowLongPtrA(HWND window, int index) {
  auto w = detail::FindWindowObject(window);
  if (!w) return 0;
  switch (index) {
    case GWLP_WNDPROC: return reinterpret_cast<LONG_PTR>(w->proc);
    case GWLP_HINSTANCE: return reinterpret_cast<LONG_PTR>(w->instance);
    case GWLP_HWNDPARENT: return reinterpret_cast<LONG_PTR>((w->style & WS_CHILD) ? w->parent : w->owner);
    case GWLP_ID: return w->id;
    case GWL_STYLE: return static_cast<LONG_PTR>(w->style);
    case GWL_EXSTYLE: return static_cast<LONG_PTR>(w->exStyle);
    case GWLP_USERDATA: return w->userData;
    default: return 0;
  }
}

LONG_PTR SetWindowLongPtrA(HWND window, int index, LONG_PTR value) {
  auto w = detail::FindWindowObject(window);
  if (!w) return 0;
  LONG_PTR old = GetWindowLongPtrA(window, index);
  switch (index) {
    case GWLP_WNDPROC:
      if (!value) return 0;
      w->proc = reinterpret_cast<WNDPROC>(value);
      break;
    case GWLP_ID: w->id = value; break;
    case GWLP_USERDATA: w->userData = value; break;
    case GWL_STYLE: w->style = static_cast<DWORD>(value); break;
    case GWL_EXSTYLE: w->exStyle = static_cast<DWORD>(value); break;
    default: return 0;
  }
  return old;
}

HWND FindWindowA(LPCSTR className, LPCSTR windowName) {
  std::string wantClass = className ? Lower(className) : std::string();
  for (auto& w : detail::AllWindows()) {
    if (!IsTopLevel(*w) || w->destroying) continue;
    if (className && Lower(w->cls->name.c_str()) != wantClass) continue;
    if (windowName && strcasecmp(windowName, w->title.c_str()) != 0) continue;
    return w->handle();
  }
  return detail::SessionFind(className, windowName);
}

unsigned long PublishSessionWindow(LPCSTR className, LPCSTR windowName, unsigned long x11Window) {
  return detail::SessionPublish(className ? className : "", windowName ? windowName : "", x11Window);
}

void WithdrawSessionWindow(unsigned long token) { detail::SessionWithdraw(token); }

int ShowCursor(BOOL show) {
  g_cursorCount += show ? 1 : -1;
  ApplyCursor();
  return g_cursorCount;
}

HCURSOR SetCursor(HCURSOR cursor) {
  HCURSOR old = g_cursor;
  g_cursor = cursor;
  g_cursorSet = true;
  ApplyCursor();
  return old;
}

HCURSOR LoadCursorA(HINSTANCE, LPCSTR name) {
  // Only the stock cursors exist; every one shows as the system pointer.
  if (!IS_INTRESOURCE(name)) return nullptr;
  return reinterpret_cast<HCURSOR>(const_cast<char*>(name));
}

HICON LoadIconA(HINSTANCE instance, LPCSTR name) {
  if (!IS_INTRESOURCE(name)) return nullptr;
  auto id = static_cast<unsigned>(reinterpret_cast<std::uintptr_t>(name));
  if (id >= 32512) return reinterpret_cast<HICON>(const_cast<char*>(name));  // stock icon
  if (!FindResourceA(instance, name, RT_GROUP_ICON)) return nullptr;
  return reinterpret_cast<HICON>(const_cast<char*>(name));
}

bool DisplayAvailable() { return detail::VideoInit(); }

SDL_Window* SdlWindowOf(HWND window) {
  auto w = detail::FindWindowObject(window);
  return w && !w->nativeGone ? w->sdl : nullptr;
}

unsigned long X11WindowOf(HWND window) {
  if (auto w = detail::FindWindowObject(window)) return w->nativeGone ? 0 : w->xid;
  if (detail::IsDesktopHandle(window)) return detail::VideoInit() ? detail::NativeRootXid() : 0;
  return detail::ForeignXid(window);
}

HWND WindowFromSdlId(std::uint32_t sdlWindowId) {
  if (!sdlWindowId) return nullptr;
  for (auto& w : detail::AllWindows()) {
    if (w->sdlId == sdlWindowId && !w->destroying) return w->handle();
  }
  return nullptr;
}

HWND AdoptNativeWindow(LPCSTR className, unsigned long x11Window, LPVOID param) {
  if (!className || !x11Window) return nullptr;
  std::shared_ptr<WindowClassRecord> cls;
  {
    Registry& r = Reg();
    std::lock_guard<std::recursive_mutex> lock(r.mutex);
    auto it = r.classes.find(Lower(className));
    if (it == r.classes.end()) return nullptr;
    cls = it->second;
  }
  if (!detail::VideoInit()) return nullptr;
  auto w = std::make_shared<WindowObject>();
  w->cls = cls;
  w->proc = cls->wc.lpfnWndProc;
  w->style = WS_CHILD | WS_VISIBLE;
  w->adopted = true;
  if (!detail::NativeAdopt(*w, x11Window)) return nullptr;
  HWND h = w->handle();
  {
    Registry& r = Reg();
    std::lock_guard<std::recursive_mutex> lock(r.mutex);
    r.windows[h] = w;
    r.order.push_back(h);
  }
  CREATESTRUCTA cs{param, nullptr, nullptr, nullptr, w->clientHeight(), w->clientWidth(), 0, 0,
                   static_cast<LONG>(w->style), "", className, 0};
  if (!SendMessageA(h, WM_NCCREATE, 0, reinterpret_cast<LPARAM>(&cs)) ||
      SendMessageA(h, WM_CREATE, 0, reinterpret_cast<LPARAM>(&cs)) == -1) {
    DestroyWindow(h);
    return nullptr;
  }
  w->visible = true;
  w->needsPaint = true;
  return h;
}

}  // namespace win32
