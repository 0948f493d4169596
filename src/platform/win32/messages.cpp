// The message queue: posted messages, WM_QUIT, WM_PAINT, timers, and the blocking wait.
#include "platform/win32/messages.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <deque>
#include <mutex>

#include "platform/win32/clock.h"
#include "platform/win32/gdi.h"
#include "platform/win32/window.h"
#include "platform/win32/window_internal.h"

namespace win32 {
namespace {

struct Timer {
  HWND window;
  UINT_PTR id;
  UINT period;
  TIMERPROC proc;
  DWORD due;
};

struct Queue {
  std::mutex mutex;
  std::deque<MSG> posted;
  bool quitPending = false;
  int quitCode = 0;
  std::vector<Timer> timers;
  UINT_PTR nextThreadTimerId = 0x7F00;
  DWORD lastMessageTime = 0;
};

Queue& TheQueue() {
  static Queue q;
  return q;
}

std::atomic<int> g_wakeRead{-1};
std::atomic<int> g_wakeWrite{-1};
std::once_flag g_wakeOnce;

void EnsureWakePipe() {
  std::call_once(g_wakeOnce, [] {
    int fds[2];
    if (pipe2(fds, O_NONBLOCK | O_CLOEXEC) == 0) {
      g_wakeRead = fds[0];
      g_wakeWrite = fds[1];
    }
  });
}

void DrainWake() {
  int fd = g_wakeRead;
  if (fd < 0) return;
  char buf[64];
  while (read(fd, buf, sizeof buf) > 0) {
  }
}

bool InRange(UINT message, UINT lo, UINT hi) {
  if (lo == 0 && hi == 0) return true;
  return message >= lo && message <= hi;
}

bool WindowMatches(HWND msgWindow, HWND filter) {
  if (filter == nullptr) return true;
  if (filter == reinterpret_cast<HWND>(-1)) return msgWindow == nullptr;
  return msgWindow == filter;
}

// Time until the next timer is due (ms), or -1 when there is none.
int NextTimerDelay() {
  Queue& q = TheQueue();
  std::lock_guard<std::mutex> lock(q.mutex);
  if (q.timers.empty()) return -1;
  DWORD now = timeGetTime();
  int best = -1;
  for (const Timer& t : q.timers) {
    auto left = static_cast<std::int32_t>(t.due - now);
    int d = left < 0 ? 0 : left;
    if (best < 0 || d < best) best = d;
  }
  return best;
}

POINT CursorPoint() { return POINT{0, 0}; }

}  // namespace

namespace detail {

void WakeQueue() {
  int fd = g_wakeWrite.load(std::memory_order_relaxed);
  if (fd >= 0) {
    char c = 1;
    ssize_t r = write(fd, &c, 1);
    (void)r;
  }
}

int WakeWriteFd() {
  EnsureWakePipe();
  return g_wakeWrite;
}

void PostInternal(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  Queue& q = TheQueue();
  {
    std::lock_guard<std::mutex> lock(q.mutex);
    q.posted.push_back(MSG{window, message, wParam, lParam, timeGetTime(), CursorPoint()});
  }
  WakeQueue();
}

void KillTimersOf(HWND window) {
  Queue& q = TheQueue();
  std::lock_guard<std::mutex> lock(q.mutex);
  std::erase_if(q.timers, [&](const Timer& t) { return t.window == window; });
}

}  // namespace detail

BOOL PeekMessageA(MSG* msg, HWND window, UINT filterMin, UINT filterMax, UINT removeFlags) {
  if (!msg) return FALSE;
  detail::DeliverPendingTermination();
  detail::NativePump();
  detail::PowerPump();
  const bool remove = (removeFlags & PM_REMOVE) != 0;
  Queue& q = TheQueue();
  {
    std::lock_guard<std::mutex> lock(q.mutex);
    for (auto it = q.posted.begin(); it != q.posted.end(); ++it) {
      if (WindowMatches(it->hwnd, window) && InRange(it->message, filterMin, filterMax)) {
        *msg = *it;
        q.lastMessageTime = it->time;
        if (remove) q.posted.erase(it);
        return TRUE;
      }
    }
    if (q.quitPending) {
      *msg = MSG{nullptr, WM_QUIT, static_cast<WPARAM>(q.quitCode), 0, timeGetTime(), CursorPoint()};
      if (remove) q.quitPending = false;
      return TRUE;
    }
  }
  if (InRange(WM_PAINT, filterMin, filterMax)) {
    if (HWND w = detail::NextWindowNeedingPaint(window)) {
      *msg = MSG{w, WM_PAINT, 0, 0, timeGetTime(), CursorPoint()};
      return TRUE;
    }
  }
  if (InRange(WM_TIMER, filterMin, filterMax)) {
    std::lock_guard<std::mutex> lock(q.mutex);
    DWORD now = timeGetTime();
    Timer* due = nullptr;
    for (Timer& t : q.timers) {
      if (!WindowMatches(t.window, window)) continue;
      if (static_cast<std::int32_t>(now - t.due) < 0) continue;
      if (!due || static_cast<std::int32_t>(t.due - due->due) < 0) due = &t;
    }
    if (due) {
      *msg = MSG{due->window, WM_TIMER, due->id, reinterpret_cast<LPARAM>(due->proc), now, CursorPoint()};
      q.lastMessageTime = now;
      if (remove) due->due = now + due->period;
      return TRUE;
    }
  }
  return FALSE;
}

BOOL WaitMessage() {
  EnsureWakePipe();
  int delay = NextTimerDelay();
  // SDL events and the manual clock cannot wake the pipe: poll them in short steps.
  if (detail::VideoActive() || ManualClockEnabled()) delay = delay < 0 ? 5 : std::min(delay, 5);
  if (delay == 0) return TRUE;
  {
    Queue& q = TheQueue();
    std::lock_guard<std::mutex> lock(q.mutex);
    if (!q.posted.empty() || q.quitPending) return TRUE;
  }
  pollfd p[2] = {{g_wakeRead, POLLIN, 0}, {detail::PowerFd(), POLLIN, 0}};
  if (p[0].fd >= 0) {
    poll(p, p[1].fd >= 0 ? 2 : 1, delay);
    DrainWake();
  } else {
    Sleep(static_cast<DWORD>(delay < 0 ? 10 : delay));
  }
  return TRUE;
}

BOOL GetMessageA(MSG* msg, HWND window, UINT filterMin, UINT filterMax) {
  if (!msg) return -1;
  if (window && window != reinterpret_cast<HWND>(-1) && !IsWindow(window)) return -1;
  for (;;) {
    if (PeekMessageA(msg, window, filterMin, filterMax, PM_REMOVE)) return msg->message == WM_QUIT ? 0 : 1;
    if (window && window != reinterpret_cast<HWND>(-1) && !IsWindow(window)) return -1;
    WaitMessage();
  }
}

BOOL TranslateMessage(const MSG* msg) {
  if (!msg || (msg->message != WM_KEYDOWN && msg->message != WM_SYSKEYDOWN)) return FALSE;
  WPARAM vk = msg->wParam;
  char c = 0;
  if (vk >= 'A' && vk <= 'Z') c = static_cast<char>(vk - 'A' + 'a');
  else if (vk >= '0' && vk <= '9') c = static_cast<char>(vk);
  else if (vk == VK_SPACE) c = ' ';
  else if (vk == VK_RETURN) c = '\r';
  else if (vk == VK_ESCAPE) c = 0x1B;
  else if (vk == VK_BACK) c = 0x08;
  else if (vk == VK_TAB) c = '\t';
  if (!c) return FALSE;
  detail::PostInternal(msg->hwnd, msg->message == WM_KEYDOWN ? WM_CHAR : WM_SYSCHAR,
                       static_cast<WPARAM>(static_cast<unsigned char>(c)), msg->lParam);
  return TRUE;
}

LRESULT DispatchMessageA(const MSG* msg) {
  if (!msg) return 0;
  if (msg->message == WM_TIMER && msg->lParam != 0) {
    auto proc = reinterpret_cast<TIMERPROC>(msg->lParam);
    if (msg->hwnd && !IsWindow(msg->hwnd)) return 0;
    proc(msg->hwnd, WM_TIMER, msg->wParam, msg->time);
    return 0;
  }
  if (!msg->hwnd) return 0;
  auto w = detail::FindWindowObject(msg->hwnd);
  if (!w || !w->proc) return 0;
  return w->proc(msg->hwnd, msg->message, msg->wParam, msg->lParam);
}

BOOL PostMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (window && !detail::FindWindowObject(window)) return FALSE;
  detail::PostInternal(window, message, wParam, lParam);
  return TRUE;
}

BOOL PostThreadMessageA(DWORD threadId, UINT message, WPARAM wParam, LPARAM lParam) {
  if (threadId != GetCurrentThreadId()) return FALSE;
  detail::PostInternal(nullptr, message, wParam, lParam);
  return TRUE;
}

LRESULT SendMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  auto w = detail::FindWindowObject(window);
  if (!w || !w->proc) return 0;
  return w->proc(window, message, wParam, lParam);
}

void PostQuitMessage(int exitCode) {
  Queue& q = TheQueue();
  {
    std::lock_guard<std::mutex> lock(q.mutex);
    q.quitPending = true;
    q.quitCode = exitCode;
  }
  detail::WakeQueue();
}

UINT_PTR SetTimer(HWND window, UINT_PTR id, UINT elapseMs, TIMERPROC proc) {
  if (window && !detail::FindWindowObject(window)) return 0;
  // Windows clamps very short periods to USER_TIMER_MINIMUM (10 ms).
  UINT period = std::max<UINT>(elapseMs, 10);
  Queue& q = TheQueue();
  std::lock_guard<std::mutex> lock(q.mutex);
  if (!window) {
    bool known = id != 0 && std::any_of(q.timers.begin(), q.timers.end(),
                                        [&](const Timer& t) { return !t.window && t.id == id; });
    if (!known) id = q.nextThreadTimerId++;
  }
  DWORD due = timeGetTime() + period;
  for (Timer& t : q.timers) {
    if (t.window == window && t.id == id) {
      t.period = period;
      t.proc = proc;
      t.due = due;
      return window ? (id ? id : 1) : id;
    }
  }
  q.timers.push_back(Timer{window, id, period, proc, due});
  detail::WakeQueue();
  return window ? (id ? id : 1) : id;
}

BOOL KillTimer(HWND window, UINT_PTR id) {
  Queue& q = TheQueue();
  std::lock_guard<std::mutex> lock(q.mutex);
  auto n = std::erase_if(q.timers, [&](const Timer& t) { return t.window == window && t.id == id; });
  // A WM_TIMER already posted for it is not delivered any more.
  return n ? TRUE : FALSE;
}

LRESULT DefWindowProcA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  auto w = detail::FindWindowObject(window);
  if (!w) return 0;
  switch (message) {
    case WM_NCCREATE:
      return TRUE;
    case WM_CLOSE:
      DestroyWindow(window);
      return 0;
    case WM_SYSCOMMAND:
      if ((wParam & 0xFFF0) == SC_CLOSE) SendMessageA(window, WM_CLOSE, 0, 0);
      else if ((wParam & 0xFFF0) == SC_MINIMIZE) ShowWindow(window, SW_MINIMIZE);
      else if ((wParam & 0xFFF0) == SC_RESTORE) ShowWindow(window, SW_RESTORE);
      return 0;
    case WM_SYSKEYDOWN:
      if (wParam == VK_F4) PostMessageA(window, WM_SYSCOMMAND, SC_CLOSE, 0);
      return 0;
    case WM_PAINT: {
      PAINTSTRUCT ps;
      BeginPaint(window, &ps);
      EndPaint(window, &ps);
      return 0;
    }
    case WM_ERASEBKGND: {
      HBRUSH brush = w->cls ? w->cls->wc.hbrBackground : nullptr;
      COLORREF c;
      if (!BrushColor(brush, &c)) return 0;
      RECT r{0, 0, w->clientWidth(), w->clientHeight()};
      FillRect(reinterpret_cast<HDC>(wParam), &r, brush);
      return 1;
    }
    case WM_SETCURSOR:
      if (LOWORD(static_cast<std::uintptr_t>(lParam)) == HTCLIENT && w->cls && w->cls->wc.hCursor) {
        SetCursor(w->cls->wc.hCursor);
        return TRUE;
      }
      return FALSE;
    case WM_MOUSEACTIVATE:
      return 1;  // MA_ACTIVATE
    case WM_SETTEXT:
      return SetWindowTextA(window, reinterpret_cast<LPCSTR>(lParam));
    case WM_GETTEXT:
      return GetWindowTextA(window, reinterpret_cast<LPSTR>(lParam), static_cast<int>(wParam));
    case WM_GETTEXTLENGTH:
      return static_cast<LRESULT>(w->title.size());
    default:
      return 0;
  }
}

DWORD GetCurrentThreadId() { return static_cast<DWORD>(gettid()); }

DWORD GetMessageTime() {
  Queue& q = TheQueue();
  std::lock_guard<std::mutex> lock(q.mutex);
  return q.lastMessageTime;
}

void ResetMessageQueueForTesting() {
  Queue& q = TheQueue();
  std::lock_guard<std::mutex> lock(q.mutex);
  q.posted.clear();
  q.timers.clear();
  q.quitPending = false;
  q.quitCode = 0;
  DrainWake();
}

}  // namespace win32
