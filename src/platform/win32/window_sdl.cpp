// Native windows: SDL2 on X11. SDL makes the top-level windows (with SDL_WINDOW_OPENGL, so
// GL can be made current on them). Child windows (of foreign windows, the root or our own
// windows) are X11 windows made on a second, private Xlib connection and handed to SDL with
// SDL_CreateWindowFrom (SDL_HINT_VIDEO_FOREIGN_WINDOW_OPENGL): SDL then never waits for map
// or unmap events on them, so a parent destroyed by its owner cannot hang us. That
// connection also takes their input and exposure events, watches foreign parents for
// destruction, sets window backgrounds and puts GDI pixels on screen.
#include <SDL.h>
#include <SDL_syswm.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/dpms.h>
#include <X11/keysym.h>

#include <cstdlib>
#include <cstring>

#include "platform/win32/monitors.h"
#include "platform/win32/window_internal.h"

// Under LeakSanitizer: SDL's video start-up probes the session bus for input methods through
// libdbus, whose failed connection (no session bus in CI) leaves an allocation behind. Weak,
// so a program's own list takes precedence.
extern "C" __attribute__((weak)) const char* __lsan_default_suppressions() { return "leak:libdbus-1.so\n"; }

namespace win32::detail {
namespace {

enum class VideoState { Unknown, Ready, Failed };
VideoState g_video = VideoState::Unknown;
Display* g_x = nullptr;
bool g_cursorVisible = true;
bool g_appActive = false;

void OffsetRectBy(RECT& r, int dx, int dy) {
  r.left += dx;
  r.right += dx;
  r.top += dy;
  r.bottom += dy;
}

int g_lastXError = 0;

int IgnoreXErrors(Display*, XErrorEvent* e) {
  // Foreign windows can vanish at any moment (the control panel closes the preview, the
  // daemon kills its window): requests on them fail and are simply dropped.
  g_lastXError = e ? e->error_code : 1;
  return 0;
}

constexpr long kInputMask = ExposureMask | StructureNotifyMask | VisibilityChangeMask | ButtonPressMask |
                            ButtonReleaseMask | PointerMotionMask | KeyPressMask | KeyReleaseMask;
// Only one client may select button presses on a window; a foreign window's owner may have.
constexpr long kSharedMask =
    ExposureMask | StructureNotifyMask | VisibilityChangeMask | PointerMotionMask | KeyPressMask | KeyReleaseMask;

void SelectInput(unsigned long xid) {
  g_lastXError = 0;
  XSelectInput(g_x, xid, kInputMask);
  XSync(g_x, False);
  if (g_lastXError) XSelectInput(g_x, xid, kSharedMask);
  XFlush(g_x);
}

unsigned long XidOfSdl(SDL_Window* sdl) {
  SDL_SysWMinfo info;
  SDL_VERSION(&info.version);
  if (!SDL_GetWindowWMInfo(sdl, &info) || info.subsystem != SDL_SYSWM_X11) return 0;
  return static_cast<unsigned long>(info.info.x11.window);
}

std::shared_ptr<WindowObject> BySdlId(std::uint32_t id) {
  for (auto& w : AllWindows()) {
    if (w->sdlId == id && !w->destroying) return w;
  }
  return nullptr;
}

// Keyboard input without a window id goes to the focused or first visible top-level window.
std::shared_ptr<WindowObject> InputTarget(std::uint32_t id) {
  if (auto w = BySdlId(id)) return w;
  if (HWND f = GetFocus()) {
    if (auto w = FindWindowObject(f)) return w;
  }
  for (auto& w : AllWindows()) {
    if (w->visible && !w->messageOnly && !w->destroying && !(w->style & WS_CHILD)) return w;
  }
  for (auto& w : AllWindows()) {
    if (w->visible && !w->messageOnly && !w->destroying) return w;
  }
  return nullptr;
}

WPARAM VirtualKey(SDL_Keycode k, SDL_Scancode sc) {
  if (k >= SDLK_a && k <= SDLK_z) return 'A' + (k - SDLK_a);
  if (k >= SDLK_0 && k <= SDLK_9) return '0' + (k - SDLK_0);
  if (k >= SDLK_F1 && k <= SDLK_F12) return VK_F1 + (k - SDLK_F1);
  if (k >= SDLK_KP_1 && k <= SDLK_KP_9) return VK_NUMPAD0 + 1 + (k - SDLK_KP_1);
  switch (k) {
    case SDLK_KP_0: return VK_NUMPAD0;
    case SDLK_BACKSPACE: return VK_BACK;
    case SDLK_TAB: return VK_TAB;
    case SDLK_RETURN: case SDLK_KP_ENTER: return VK_RETURN;
    case SDLK_LSHIFT: case SDLK_RSHIFT: return VK_SHIFT;
    case SDLK_LCTRL: case SDLK_RCTRL: return VK_CONTROL;
    case SDLK_LALT: case SDLK_RALT: return VK_MENU;
    case SDLK_PAUSE: return VK_PAUSE;
    case SDLK_CAPSLOCK: return VK_CAPITAL;
    case SDLK_ESCAPE: return VK_ESCAPE;
    case SDLK_SPACE: return VK_SPACE;
    case SDLK_PAGEUP: return VK_PRIOR;
    case SDLK_PAGEDOWN: return VK_NEXT;
    case SDLK_END: return VK_END;
    case SDLK_HOME: return VK_HOME;
    case SDLK_LEFT: return VK_LEFT;
    case SDLK_UP: return VK_UP;
    case SDLK_RIGHT: return VK_RIGHT;
    case SDLK_DOWN: return VK_DOWN;
    case SDLK_PRINTSCREEN: return VK_SNAPSHOT;
    case SDLK_INSERT: return VK_INSERT;
    case SDLK_DELETE: return VK_DELETE;
    case SDLK_LGUI: return VK_LWIN;
    case SDLK_RGUI: return VK_RWIN;
    case SDLK_APPLICATION: return VK_APPS;
    case SDLK_KP_MULTIPLY: return VK_MULTIPLY;
    case SDLK_KP_PLUS: return VK_ADD;
    case SDLK_KP_MINUS: return VK_SUBTRACT;
    case SDLK_KP_PERIOD: return VK_DECIMAL;
    case SDLK_KP_DIVIDE: return VK_DIVIDE;
    case SDLK_NUMLOCKCLEAR: return VK_NUMLOCK;
    case SDLK_SCROLLLOCK: return VK_SCROLL;
    case SDLK_SEMICOLON: return VK_OEM_1;
    case SDLK_EQUALS: return VK_OEM_PLUS;
    case SDLK_COMMA: return VK_OEM_COMMA;
    case SDLK_MINUS: return VK_OEM_MINUS;
    case SDLK_PERIOD: return VK_OEM_PERIOD;
    case SDLK_SLASH: return VK_OEM_2;
    case SDLK_BACKQUOTE: return VK_OEM_3;
    case SDLK_LEFTBRACKET: return VK_OEM_4;
    case SDLK_BACKSLASH: return VK_OEM_5;
    case SDLK_RIGHTBRACKET: return VK_OEM_6;
    case SDLK_QUOTE: return VK_OEM_7;
    default: break;
  }
  // Anything else still arrives as a key press (some keys have no Windows equivalent).
  return 0xFF00u | (static_cast<unsigned>(sc) & 0xFFu);
}

WPARAM MouseKeys(Uint32 buttons) {
  WPARAM k = 0;
  if (buttons & SDL_BUTTON_LMASK) k |= MK_LBUTTON;
  if (buttons & SDL_BUTTON_RMASK) k |= MK_RBUTTON;
  if (buttons & SDL_BUTTON_MMASK) k |= MK_MBUTTON;
  SDL_Keymod m = SDL_GetModState();
  if (m & KMOD_SHIFT) k |= MK_SHIFT;
  if (m & KMOD_CTRL) k |= MK_CONTROL;
  return k;
}

LPARAM Point(int x, int y) { return MAKELPARAM(static_cast<WORD>(x), static_cast<WORD>(y)); }

void UpdateGeometryFromSdl(WindowObject& w) {
  if (!w.sdl || (w.style & WS_CHILD) || w.adopted) return;
  int x, y, cw, ch;
  SDL_GetWindowPosition(w.sdl, &x, &y);
  SDL_GetWindowSize(w.sdl, &cw, &ch);
  w.windowRect = RECT{x - w.clientInset.left, y - w.clientInset.top, x + cw + w.clientInset.right,
                      y + ch + w.clientInset.bottom};
}

void Translate(const SDL_Event& e) {
  switch (e.type) {
    case SDL_KEYDOWN:
    case SDL_KEYUP: {
      auto w = InputTarget(e.key.windowID);
      if (!w) return;
      bool down = e.type == SDL_KEYDOWN;
      WPARAM vk = VirtualKey(e.key.keysym.sym, e.key.keysym.scancode);
      bool alt = (e.key.keysym.mod & KMOD_ALT) != 0 || vk == VK_MENU || vk == VK_F10;
      UINT msg = down ? (alt ? WM_SYSKEYDOWN : WM_KEYDOWN) : (alt ? WM_SYSKEYUP : WM_KEYUP);
      std::uintptr_t lp = 1u | ((static_cast<std::uintptr_t>(e.key.keysym.scancode) & 0xFFu) << 16);
      if (alt) lp |= 1u << 29;
      if (!down || e.key.repeat) lp |= 1u << 30;
      if (!down) lp |= 1u << 31;
      PostInternal(w->handle(), msg, vk, static_cast<LPARAM>(lp));
      return;
    }
    case SDL_MOUSEMOTION: {
      auto w = BySdlId(e.motion.windowID);
      if (!w) return;
      HWND h = w->handle();
      SendMessageA(h, WM_SETCURSOR, reinterpret_cast<WPARAM>(h), MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
      PostInternal(h, WM_MOUSEMOVE, MouseKeys(e.motion.state), Point(e.motion.x, e.motion.y));
      return;
    }
    case SDL_MOUSEBUTTONDOWN:
    case SDL_MOUSEBUTTONUP: {
      auto w = BySdlId(e.button.windowID);
      if (!w) return;
      bool down = e.type == SDL_MOUSEBUTTONDOWN;
      UINT msg;
      switch (e.button.button) {
        case SDL_BUTTON_LEFT: msg = down ? WM_LBUTTONDOWN : WM_LBUTTONUP; break;
        case SDL_BUTTON_RIGHT: msg = down ? WM_RBUTTONDOWN : WM_RBUTTONUP; break;
        case SDL_BUTTON_MIDDLE: msg = down ? WM_MBUTTONDOWN : WM_MBUTTONUP; break;
        default: return;
      }
      PostInternal(w->handle(), msg, MouseKeys(SDL_GetMouseState(nullptr, nullptr)), Point(e.button.x, e.button.y));
      return;
    }
    case SDL_MOUSEWHEEL: {
      auto w = BySdlId(e.wheel.windowID);
      if (!w) return;
      int delta = e.wheel.y * 120;
      if (e.wheel.direction == SDL_MOUSEWHEEL_FLIPPED) delta = -delta;
      int mx = 0, my = 0;
      SDL_GetGlobalMouseState(&mx, &my);
      PostInternal(w->handle(), WM_MOUSEWHEEL,
                   (static_cast<WPARAM>(static_cast<WORD>(delta)) << 16) | MouseKeys(SDL_GetMouseState(nullptr, nullptr)),
                   Point(mx, my));
      return;
    }
    case SDL_WINDOWEVENT: {
      auto w = BySdlId(e.window.windowID);
      if (!w) return;
      HWND h = w->handle();
      switch (e.window.event) {
        case SDL_WINDOWEVENT_CLOSE:
          PostInternal(h, WM_CLOSE, 0, 0);
          break;
        case SDL_WINDOWEVENT_EXPOSED:
          InvalidateRect(h, nullptr, TRUE);
          break;
        case SDL_WINDOWEVENT_MOVED:
          UpdateGeometryFromSdl(*w);
          break;
        case SDL_WINDOWEVENT_SIZE_CHANGED: {
          int before = w->clientWidth() * 65536 + w->clientHeight();
          UpdateGeometryFromSdl(*w);
          if (before != w->clientWidth() * 65536 + w->clientHeight()) {
            SendMessageA(h, WM_SIZE, SIZE_RESTORED,
                         Point(w->clientWidth(), w->clientHeight()));
            InvalidateRect(h, nullptr, TRUE);
          }
          break;
        }
        default:
          break;
      }
      return;
    }
    default:
      return;
  }
}

void CheckActivation() {
  bool active = NativeAppActive();
  if (active == g_appActive) return;
  g_appActive = active;
  for (auto& w : AllWindows()) {
    if (!w->messageOnly && !(w->style & WS_CHILD) && !w->destroying)
      PostInternal(w->handle(), WM_ACTIVATEAPP, active ? TRUE : FALSE, 0);
  }
}

WPARAM XMouseKeys(unsigned state) {
  WPARAM k = 0;
  if (state & Button1Mask) k |= MK_LBUTTON;
  if (state & Button3Mask) k |= MK_RBUTTON;
  if (state & Button2Mask) k |= MK_MBUTTON;
  if (state & ShiftMask) k |= MK_SHIFT;
  if (state & ControlMask) k |= MK_CONTROL;
  return k;
}

WPARAM XVirtualKey(XKeyEvent& e) {
  KeySym s = XLookupKeysym(&e, 0);
  if (s >= XK_a && s <= XK_z) return 'A' + (s - XK_a);
  if (s >= XK_0 && s <= XK_9) return '0' + (s - XK_0);
  if (s >= XK_F1 && s <= XK_F12) return VK_F1 + (s - XK_F1);
  switch (s) {
    case XK_Escape: return VK_ESCAPE;
    case XK_Return: case XK_KP_Enter: return VK_RETURN;
    case XK_space: return VK_SPACE;
    case XK_Tab: return VK_TAB;
    case XK_BackSpace: return VK_BACK;
    case XK_Left: return VK_LEFT;
    case XK_Right: return VK_RIGHT;
    case XK_Up: return VK_UP;
    case XK_Down: return VK_DOWN;
    case XK_Shift_L: case XK_Shift_R: return VK_SHIFT;
    case XK_Control_L: case XK_Control_R: return VK_CONTROL;
    case XK_Alt_L: case XK_Alt_R: return VK_MENU;
    default: return 0xFF00u | (e.keycode & 0xFFu);
  }
}

// Events of the windows SDL does not select input on (children and adopted windows).
void TranslatePrivate(XEvent& ev) {
  std::shared_ptr<WindowObject> w;
  for (auto& c : AllWindows()) {
    if ((c->xChild || c->adopted) && c->xid == ev.xany.window && !c->destroying) w = c;
  }
  if (!w) return;
  HWND h = w->handle();
  switch (ev.type) {
    case Expose:
      if (ev.xexpose.count == 0) InvalidateRect(h, nullptr, TRUE);
      break;
    case MotionNotify:
      SendMessageA(h, WM_SETCURSOR, reinterpret_cast<WPARAM>(h), MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
      PostInternal(h, WM_MOUSEMOVE, XMouseKeys(ev.xmotion.state), Point(ev.xmotion.x, ev.xmotion.y));
      break;
    case ButtonPress:
    case ButtonRelease: {
      bool down = ev.type == ButtonPress;
      unsigned b = ev.xbutton.button;
      if ((b == 4 || b == 5) && down) {
        auto delta = static_cast<WORD>(b == 4 ? 120 : -120);
        PostInternal(h, WM_MOUSEWHEEL, (static_cast<WPARAM>(delta) << 16) | XMouseKeys(ev.xbutton.state),
                     Point(ev.xbutton.x_root, ev.xbutton.y_root));
        break;
      }
      UINT msg = b == 1 ? (down ? WM_LBUTTONDOWN : WM_LBUTTONUP)
               : b == 3 ? (down ? WM_RBUTTONDOWN : WM_RBUTTONUP)
               : b == 2 ? (down ? WM_MBUTTONDOWN : WM_MBUTTONUP) : 0;
      if (msg) PostInternal(h, msg, XMouseKeys(ev.xbutton.state), Point(ev.xbutton.x, ev.xbutton.y));
      break;
    }
    case KeyPress:
    case KeyRelease: {
      bool down = ev.type == KeyPress;
      bool alt = (ev.xkey.state & Mod1Mask) != 0;
      std::uintptr_t lp = 1u | ((static_cast<std::uintptr_t>(ev.xkey.keycode) & 0xFFu) << 16);
      if (alt) lp |= 1u << 29;
      if (!down) lp |= (1u << 30) | (1u << 31);
      PostInternal(h, down ? (alt ? WM_SYSKEYDOWN : WM_KEYDOWN) : (alt ? WM_SYSKEYUP : WM_KEYUP), XVirtualKey(ev.xkey),
                   static_cast<LPARAM>(lp));
      break;
    }
    default:
      break;
  }
}

void PumpPrivateConnection() {
  while (g_x && XPending(g_x) > 0) {
    XEvent ev;
    XNextEvent(g_x, &ev);
    if (ev.type == VisibilityNotify) {
      // Kept for the sight query: a window covered whole need not be drawn.
      for (auto& w : AllWindows())
        if (w->xid == ev.xvisibility.window) w->fullyObscured = ev.xvisibility.state == VisibilityFullyObscured;
      continue;
    }
    if (ev.type != DestroyNotify) {
      TranslatePrivate(ev);
      continue;
    }
    unsigned long gone = ev.xdestroywindow.window;
    for (auto& w : AllWindows()) {
      if (w->destroying) continue;
      if (w->xid == gone || (w->foreignParentXid && w->foreignParentXid == gone)) {
        w->nativeGone = true;
        DestroyWindow(w->handle());
      }
    }
  }
}

unsigned long BrushPixel(const WindowObject& w, bool* has) {
  COLORREF c;
  *has = w.cls && BrushColor(w.cls->wc.hbrBackground, &c);
  if (!*has) return 0;
  XWindowAttributes a;
  if (!XGetWindowAttributes(g_x, w.xid, &a) || !a.visual) return 0;
  auto place = [](unsigned long mask, unsigned v) -> unsigned long {
    if (!mask) return 0;
    int shift = 0;
    while (!((mask >> shift) & 1)) ++shift;
    unsigned long maxv = mask >> shift;
    return ((static_cast<unsigned long>(v) * maxv + 127) / 255) << shift;
  };
  return place(a.visual->red_mask, GetRValue(c)) | place(a.visual->green_mask, GetGValue(c)) |
         place(a.visual->blue_mask, GetBValue(c));
}

}  // namespace

bool VideoInit() {
  if (g_video != VideoState::Unknown) return g_video == VideoState::Ready;
  g_video = VideoState::Failed;
  const char* driver = std::getenv("SDL_VIDEODRIVER");
  if (!driver && !std::getenv("DISPLAY")) return false;  // no display: fail quietly and fast
  if (!driver) SDL_SetHint(SDL_HINT_VIDEODRIVER, "x11");
  SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
  SDL_SetHint(SDL_HINT_VIDEO_MINIMIZE_ON_FOCUS_LOSS, "0");
  SDL_SetHint(SDL_HINT_VIDEO_ALLOW_SCREENSAVER, "1");
  SDL_SetHint(SDL_HINT_VIDEO_FOREIGN_WINDOW_OPENGL, "1");
  SDL_SetHint(SDL_HINT_MOUSE_FOCUS_CLICKTHROUGH, "1");
  if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) return false;
  if (std::strcmp(SDL_GetCurrentVideoDriver(), "x11") != 0) {
    SDL_QuitSubSystem(SDL_INIT_VIDEO);
    return false;
  }
  g_x = XOpenDisplay(nullptr);
  if (!g_x) {
    SDL_QuitSubSystem(SDL_INIT_VIDEO);
    return false;
  }
  XSetErrorHandler(IgnoreXErrors);
  g_video = VideoState::Ready;
  SDL_ShowCursor(g_cursorVisible ? SDL_ENABLE : SDL_DISABLE);
  return true;
}

bool VideoActive() { return g_video == VideoState::Ready; }

unsigned long NativeRootXid() { return g_x ? DefaultRootWindow(g_x) : 0; }

namespace {

bool CreateChild(WindowObject& w, int cw, int ch) {
  int cx = w.windowRect.left + w.clientInset.left;
  int cy = w.windowRect.top + w.clientInset.top;
  unsigned long parentXid = 0;
  int rx = 0, ry = 0;
  if (auto p = FindWindowObject(w.parent)) {
    parentXid = p->xid;
    rx = cx - (p->windowRect.left + p->clientInset.left);
    ry = cy - (p->windowRect.top + p->clientInset.top);
  } else {
    parentXid = IsDesktopHandle(w.parent) ? NativeRootXid() : w.foreignParentXid;
    rx = w.windowRect.left;  // given relative to the foreign parent
    ry = w.windowRect.top;
    RECT pr;
    if (!NativeForeignRect(IsDesktopHandle(w.parent) ? 0 : parentXid, &pr)) return false;
    OffsetRectBy(w.windowRect, pr.left, pr.top);
    XSelectInput(g_x, parentXid, StructureNotifyMask);
  }
  if (!parentXid) return false;
  int screen = DefaultScreen(g_x);
  XSetWindowAttributes a{};
  a.border_pixel = 0;
  a.colormap = DefaultColormap(g_x, screen);
  a.background_pixel = BlackPixel(g_x, screen);
  g_lastXError = 0;
  Window xid = XCreateWindow(g_x, parentXid, rx, ry, static_cast<unsigned>(cw), static_cast<unsigned>(ch), 0,
                             DefaultDepth(g_x, screen), InputOutput, DefaultVisual(g_x, screen),
                             CWBorderPixel | CWColormap | CWBackPixel, &a);
  XSync(g_x, False);
  if (!xid || g_lastXError) return false;
  SelectInput(xid);
  SDL_Window* sdl = SDL_CreateWindowFrom(reinterpret_cast<const void*>(static_cast<std::uintptr_t>(xid)));
  if (!sdl) {
    XDestroyWindow(g_x, xid);
    XSync(g_x, False);
    return false;
  }
  w.sdl = sdl;
  w.xid = xid;
  w.sdlId = SDL_GetWindowID(sdl);
  w.xChild = true;
  bool has;
  unsigned long pixel = BrushPixel(w, &has);
  if (has) XSetWindowBackground(g_x, xid, pixel);
  XFlush(g_x);
  return true;
}

}  // namespace

bool NativeCreate(WindowObject& w) {
  int cx = w.windowRect.left + w.clientInset.left;
  int cy = w.windowRect.top + w.clientInset.top;
  int cw = std::max(w.clientWidth(), 1);
  int ch = std::max(w.clientHeight(), 1);
  Uint32 flags = SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN;
  bool child = (w.style & WS_CHILD) != 0;
  if (child || (w.style & WS_CAPTION) != WS_CAPTION) flags |= SDL_WINDOW_BORDERLESS;
  if (!child && (w.style & WS_THICKFRAME)) flags |= SDL_WINDOW_RESIZABLE;
  if (!child && (w.exStyle & WS_EX_TOPMOST)) flags |= SDL_WINDOW_ALWAYS_ON_TOP;
  if (!child && (w.style & WS_POPUP)) {
    flags |= SDL_WINDOW_SKIP_TASKBAR;
    // A popup that covers a monitor exactly is that monitor's full-screen window.
    HMONITOR m = MonitorFromRect(&w.windowRect, MONITOR_DEFAULTTONULL);
    MONITORINFO mi{sizeof(MONITORINFO), {}, {}, 0};
    if (m && GetMonitorInfoA(m, &mi) && std::memcmp(&mi.rcMonitor, &w.windowRect, sizeof(RECT)) == 0)
      flags |= SDL_WINDOW_FULLSCREEN_DESKTOP;
  }
  if (child) return CreateChild(w, cw, ch);
  SDL_Window* sdl = SDL_CreateWindow(w.title.c_str(), cx, cy, cw, ch, flags);
  if (!sdl) return false;
  unsigned long xid = XidOfSdl(sdl);
  if (!xid) {
    SDL_DestroyWindow(sdl);
    return false;
  }
  XSelectInput(g_x, xid, StructureNotifyMask | VisibilityChangeMask);
  w.sdl = sdl;
  w.xid = xid;
  w.sdlId = SDL_GetWindowID(sdl);
  bool has;
  unsigned long pixel = BrushPixel(w, &has);
  if (has) XSetWindowBackground(g_x, xid, pixel);
  XFlush(g_x);
  if (!child && (w.style & WS_CAPTION) == WS_CAPTION) NativeSetIcon(w);
  return true;
}

bool NativeAdopt(WindowObject& w, unsigned long xid) {
  RECT r;
  if (!NativeForeignRect(xid, &r)) return false;
  SDL_Window* sdl = SDL_CreateWindowFrom(reinterpret_cast<const void*>(static_cast<std::uintptr_t>(xid)));
  if (!sdl) return false;
  w.sdl = sdl;
  w.xid = xid;
  w.sdlId = SDL_GetWindowID(sdl);
  w.windowRect = r;
  SelectInput(xid);
  return true;
}

void NativeDestroy(WindowObject& w) {
  if (!w.sdl) return;
  SDL_DestroyWindow(w.sdl);  // for xChild and adopted windows this leaves the X11 window alone
  w.sdl = nullptr;
  w.sdlId = 0;
  if (w.xChild && !w.nativeGone && g_x) XDestroyWindow(g_x, w.xid);
  if (g_x) XSync(g_x, False);
}

void NativeShow(WindowObject& w, bool show) {
  if (!w.sdl || w.adopted) return;
  if (w.xChild) {
    if (show) XMapWindow(g_x, w.xid);
    else XUnmapWindow(g_x, w.xid);
    XFlush(g_x);
    return;
  }
  if (show) {
    SDL_ShowWindow(w.sdl);
    if (!(w.style & WS_CHILD)) {
      SDL_RaiseWindow(w.sdl);
      SDL_SetWindowInputFocus(w.sdl);
    }
  } else {
    SDL_HideWindow(w.sdl);
  }
}

void NativeMove(WindowObject& w) {
  if (!w.sdl || w.adopted) return;
  int cx = w.windowRect.left + w.clientInset.left, cy = w.windowRect.top + w.clientInset.top;
  int cw = std::max(w.clientWidth(), 1), ch = std::max(w.clientHeight(), 1);
  if (w.style & WS_CHILD) {
    int ox = 0, oy = 0;
    if (auto p = FindWindowObject(w.parent)) {
      ox = p->windowRect.left + p->clientInset.left;
      oy = p->windowRect.top + p->clientInset.top;
    } else {
      RECT pr;
      if (NativeForeignRect(IsDesktopHandle(w.parent) ? 0 : w.foreignParentXid, &pr)) {
        ox = pr.left;
        oy = pr.top;
      }
    }
    XMoveResizeWindow(g_x, w.xid, cx - ox, cy - oy, static_cast<unsigned>(cw), static_cast<unsigned>(ch));
    XFlush(g_x);
  } else {
    SDL_SetWindowPosition(w.sdl, cx, cy);
    SDL_SetWindowSize(w.sdl, cw, ch);
    SDL_SetWindowAlwaysOnTop(w.sdl, (w.exStyle & WS_EX_TOPMOST) ? SDL_TRUE : SDL_FALSE);
  }
}

void NativeSetTitle(WindowObject& w) {
  if (w.sdl && !w.adopted && !w.xChild) SDL_SetWindowTitle(w.sdl, w.title.c_str());
}

void NativePump() {
  if (g_video != VideoState::Ready) return;
  PumpPrivateConnection();
  SDL_PumpEvents();
  SDL_Event e;
  while (SDL_PollEvent(&e)) Translate(e);
  CheckActivation();
}

bool NativeForeignRect(unsigned long xid, RECT* screenRect) {
  if (!g_x) return false;
  Window target = xid ? xid : DefaultRootWindow(g_x);
  XWindowAttributes a;
  if (!XGetWindowAttributes(g_x, target, &a)) return false;
  int sx = 0, sy = 0;
  Window childReturn;
  if (!XTranslateCoordinates(g_x, target, DefaultRootWindow(g_x), 0, 0, &sx, &sy, &childReturn)) return false;
  *screenRect = RECT{sx, sy, sx + a.width, sy + a.height};
  return true;
}

bool NativeWindowHidden(const WindowObject& w) {
  if (!g_x || !w.xid || w.nativeGone) return false;
  XWindowAttributes a;
  // IsViewable needs the window and every ancestor mapped.
  if (!XGetWindowAttributes(g_x, w.xid, &a)) return false;
  return a.map_state != IsViewable || w.fullyObscured;
}

bool NativeDisplayAsleep() {
  if (!g_x) return false;
  static Display* asked = nullptr;
  static bool capable = false;
  if (asked != g_x) {
    asked = g_x;
    int eventBase = 0, errorBase = 0;
    capable = DPMSQueryExtension(g_x, &eventBase, &errorBase) && DPMSCapable(g_x);
  }
  if (!capable) return false;
  ::CARD16 level = DPMSModeOn;
  ::BOOL enabled = False;
  if (!DPMSInfo(g_x, &level, &enabled)) return false;
  return enabled && level != DPMSModeOn;
}

void NativeCursorVisible(bool visible) {
  g_cursorVisible = visible;
  if (g_video == VideoState::Ready) SDL_ShowCursor(visible ? SDL_ENABLE : SDL_DISABLE);
}

void NativePutPixels(WindowObject& w, int x, int y, int width, int height) {
  if (!g_x || !w.xid || w.nativeGone || width <= 0 || height <= 0) return;
  XWindowAttributes a;
  // GL visuals may be DirectColor; with the default ramps its masks work as TrueColor.
  if (!XGetWindowAttributes(g_x, w.xid, &a) || !a.visual) return;
  if (a.visual->c_class != TrueColor && a.visual->c_class != DirectColor) return;
  auto* data = static_cast<char*>(std::malloc(static_cast<std::size_t>(width) * height * 4));
  if (!data) return;
  XImage* img = XCreateImage(g_x, a.visual, static_cast<unsigned>(a.depth), ZPixmap, 0, data,
                             static_cast<unsigned>(width), static_cast<unsigned>(height), 32, 0);
  if (!img) {
    std::free(data);
    return;
  }
  auto place = [](unsigned long mask, unsigned v) -> unsigned long {
    if (!mask) return 0;
    int shift = 0;
    while (!((mask >> shift) & 1)) ++shift;
    unsigned long maxv = mask >> shift;
    return ((static_cast<unsigned long>(v) * maxv + 127) / 255) << shift;
  };
  for (int row = 0; row < height; ++row) {
    for (int col = 0; col < width; ++col) {
      DWORD p = w.surface[static_cast<std::size_t>(y + row) * w.surfaceW + (x + col)];
      unsigned long px = place(a.visual->red_mask, (p >> 16) & 0xFF) | place(a.visual->green_mask, (p >> 8) & 0xFF) |
                         place(a.visual->blue_mask, p & 0xFF);
      XPutPixel(img, col, row, px);
    }
  }
  GC gc = XCreateGC(g_x, w.xid, 0, nullptr);
  XPutImage(g_x, w.xid, gc, img, 0, 0, x, y, static_cast<unsigned>(width), static_cast<unsigned>(height));
  XFreeGC(g_x, gc);
  XDestroyImage(img);
  XFlush(g_x);
}

void NativeSetIcon(WindowObject& w) {
  if (!w.sdl || !w.cls || !w.cls->wc.hIcon) return;
  int iw = 0, ih = 0;
  std::vector<DWORD> argb;
  if (!DecodeIconImage(w.cls->wc.hIcon, &iw, &ih, &argb)) return;
  SDL_Surface* s = SDL_CreateRGBSurfaceWithFormatFrom(argb.data(), iw, ih, 32, iw * 4, SDL_PIXELFORMAT_ARGB8888);
  if (!s) return;
  SDL_SetWindowIcon(w.sdl, s);
  SDL_FreeSurface(s);
}

bool NativeAppActive() {
  if (g_video != VideoState::Ready) return false;
  SDL_Window* f = SDL_GetKeyboardFocus();
  return f && BySdlId(SDL_GetWindowID(f)) != nullptr;
}

}  // namespace win32::detail
