// Basic Win32 types and constants with their Windows sizes and numeric values, so the
// subsystems speak the terms the program was designed in.
//
// Where the Win32 stand-in stops (each header of this folder details its part):
// Done:
//  - Windows over SDL2 on X11 (window.h): classes; message-only, popup (full-screen when it
//    covers a monitor), captioned and child windows, the parent being ours, a foreign X11
//    window or the root; rectangles, focus, visibility, window data, cursor, FindWindowA
//    across this user's processes. SDL events become the messages window.h lists.
//  - The message queue (messages.h): post, send, peek, get, dispatch, WM_QUIT, WM_PAINT,
//    timers with or without a callback, TranslateMessage, DefWindowProcA; system suspend
//    as WM_POWERBROADCAST; SIGTERM, SIGINT and SIGHUP as a clean end (signals.h).
//  - Modal dialogs from templates with a GTK 3 backend and an in-memory one that tests drive
//    (dialog.h); message boxes in GTK or on stderr (msgbox.h); ShellExecuteA via xdg-open.
//  - HKEY_CURRENT_USER in one file with DWORD, string and raw values, locked atomic writes
//    (registry.h); resources embedded at link time and read in place (resources.h).
//  - The part of GDI the program paints with (gdi.h): stock and solid brushes, bitmaps from
//    resources or pixels, BeginPaint/EndPaint, memory DCs, BitBlt, FillRect, GetPixel.
//  - Displays and their modes from SDL (monitors.h); clocks with a manual mode (clock.h);
//    the C runtime's rand (crt_rand.h); temporary files and LoadLibraryA over dlopen
//    (files.h); Windows-1251 texts shown as UTF-8 (codepage.h).
// Partly:
//  - Only the ANSI ("A") calls, with 8-bit Windows-1251 or UTF-8 texts.
//  - One message queue per process; PostThreadMessageA reaches only the calling thread.
//  - Dialog controls are buttons (push, check, radio, group box), statics (text, bitmap),
//    drop-down list combo boxes and track bars, answering the messages dialog.h lists.
//  - Stock cursors all show as the system pointer; icons come from group-icon resources.
//  - Display modes are listed, never changed; the registry's other roots hold no keys, and
//    keys can be neither enumerated nor deleted.
// Left out: double-click messages, menus, edit and list controls, GDI text and pens,
//  clipboard, printing, the Unicode ("W") calls.
#pragma once

#include <cstddef>
#include <cstdint>

namespace win32 {

using BYTE = std::uint8_t;
using WORD = std::uint16_t;
using DWORD = std::uint32_t;
using UINT = std::uint32_t;
using INT = std::int32_t;
using LONG = std::int32_t;
using ULONG = std::uint32_t;
using BOOL = std::int32_t;
using HRESULT = std::int32_t;
using LRESULT = std::intptr_t;
using WPARAM = std::uintptr_t;
using LPARAM = std::intptr_t;
using UINT_PTR = std::uintptr_t;
using LONGLONG = std::int64_t;
using CHAR = char;
using LPSTR = char*;
using LPCSTR = const char*;
using LPVOID = void*;
using LPCVOID = const void*;

struct WindowObject;
struct ModuleObject;
using HWND = WindowObject*;
using HINSTANCE = ModuleObject*;
using HMODULE = ModuleObject*;
using HANDLE = void*;
using HGLOBAL = const void*;
using FARPROC = void (*)();

constexpr BOOL TRUE = 1;
constexpr BOOL FALSE = 0;

union LARGE_INTEGER {
  struct {
    DWORD LowPart;
    LONG HighPart;
  } u;
  LONGLONG QuadPart;
};

struct RECT {
  LONG left, top, right, bottom;
};

struct POINT {
  LONG x, y;
};

struct SYSTEMTIME {
  WORD wYear, wMonth, wDayOfWeek, wDay, wHour, wMinute, wSecond, wMilliseconds;
};

// Result codes shared by the stand-ins.
constexpr HRESULT S_OK = 0;
constexpr HRESULT S_FALSE = 1;
constexpr HRESULT E_FAIL = static_cast<HRESULT>(0x80004005u);
constexpr HRESULT E_OUTOFMEMORY = static_cast<HRESULT>(0x8007000Eu);
constexpr HRESULT E_INVALIDARG = static_cast<HRESULT>(0x80070057u);
constexpr HRESULT E_NOTIMPL = static_cast<HRESULT>(0x80004001u);
constexpr HRESULT E_NOINTERFACE = static_cast<HRESULT>(0x80004002u);

constexpr bool SUCCEEDED(HRESULT hr) { return hr >= 0; }
constexpr bool FAILED(HRESULT hr) { return hr < 0; }

constexpr DWORD MAX_PATH = 260;

// Integer resource ids and types.
inline LPCSTR MAKEINTRESOURCEA(unsigned id) {
  return reinterpret_cast<LPCSTR>(static_cast<std::uintptr_t>(id & 0xFFFFu));
}
inline bool IS_INTRESOURCE(LPCSTR p) { return reinterpret_cast<std::uintptr_t>(p) < 0x10000u; }

inline const LPCSTR RT_BITMAP = MAKEINTRESOURCEA(2);
inline const LPCSTR RT_ICON = MAKEINTRESOURCEA(3);
inline const LPCSTR RT_DIALOG = MAKEINTRESOURCEA(5);
inline const LPCSTR RT_RCDATA = MAKEINTRESOURCEA(10);
inline const LPCSTR RT_GROUP_ICON = MAKEINTRESOURCEA(14);

constexpr WORD LOWORD(std::uintptr_t v) { return static_cast<WORD>(v & 0xFFFF); }
constexpr WORD HIWORD(std::uintptr_t v) { return static_cast<WORD>((v >> 16) & 0xFFFF); }
constexpr BYTE LOBYTE(std::uintptr_t v) { return static_cast<BYTE>(v & 0xFF); }
constexpr DWORD MAKELONG(WORD lo, WORD hi) { return static_cast<DWORD>(lo) | (static_cast<DWORD>(hi) << 16); }

}  // namespace win32
