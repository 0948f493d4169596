// Termination signals: the handler records the signal and wakes the queue; delivery
// (callback, or WM_CLOSE to our top-level windows and WM_QUIT) happens in the queue.
#include "platform/win32/signals.h"

#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <mutex>

#include "platform/win32/messages.h"
#include "platform/win32/window.h"
#include "platform/win32/window_internal.h"

namespace win32 {
namespace {

std::atomic<int> g_signal{0};
static_assert(std::atomic<int>::is_always_lock_free, "the handler needs a lock-free flag");
std::atomic<int> g_wakeFd{-1};
bool g_delivered = false;
std::mutex g_mutex;
std::function<void(int)> g_callback;

void OnSignal(int sig) {
  int saved = errno;
  int none = 0;
  g_signal.compare_exchange_strong(none, sig);
  int fd = g_wakeFd.load(std::memory_order_relaxed);
  if (fd >= 0) {
    char c = 2;
    ssize_t r = write(fd, &c, 1);
    (void)r;
  }
  errno = saved;
}

}  // namespace

void InstallTerminationSignals() {
  static std::once_flag once;
  std::call_once(once, [] {
    g_wakeFd = detail::WakeWriteFd();
    struct sigaction sa {};
    sa.sa_handler = OnSignal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    sigaction(SIGTERM, &sa, nullptr);
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGHUP, &sa, nullptr);
  });
}

int TerminationSignal() { return g_signal; }

void SetTerminationCallback(std::function<void(int)> callback) {
  std::lock_guard<std::mutex> lock(g_mutex);
  g_callback = std::move(callback);
}

bool PollTermination() {
  detail::DeliverPendingTermination();
  return g_signal != 0;
}

void ResetTerminationForTesting() {
  g_signal = 0;
  g_delivered = false;
}

namespace detail {

void DeliverPendingTermination() {
  int sig = g_signal.load();
  if (!sig || g_delivered) return;
  g_delivered = true;
  std::function<void(int)> cb;
  {
    std::lock_guard<std::mutex> lock(g_mutex);
    cb = g_callback;
  }
  if (cb) {
    cb(sig);
    return;
  }
  for (auto& w : AllWindows()) {
    if (!(w->style & WS_CHILD) && !w->destroying) PostMessageA(w->handle(), WM_CLOSE, 0, 0);
  }
  PostQuitMessage(128 + sig);
}

}  // namespace detail
}  // namespace win32
