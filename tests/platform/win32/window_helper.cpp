// A second process for the window tests: makes a saver-class window, reports its X11 id,
// and runs a message loop until a termination signal ends it cleanly.
#include <cstdio>
#include <cstring>

#include "platform/win32/messages.h"
#include "platform/win32/native_window.h"
#include "platform/win32/signals.h"
#include "platform/win32/window.h"

using namespace win32;

namespace {
int g_destroyed = 0;
LRESULT Proc(HWND w, UINT m, WPARAM wp, LPARAM lp) {
  if (m == WM_DESTROY) {
    ++g_destroyed;
    PostQuitMessage(0);
    return 0;
  }
  return DefWindowProcA(w, m, wp, lp);
}
}  // namespace

int main(int argc, char** argv) {
  InstallTerminationSignals();
  if (argc > 1 && std::strcmp(argv[1], "find") == 0) {
    std::printf("%s\n", FindWindowA("QL D3D SS", nullptr) ? "found" : "none");
    return 0;
  }
  WNDCLASSA wc{};
  wc.style = CS_HREDRAW | CS_VREDRAW;
  wc.lpfnWndProc = Proc;
  wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
  wc.lpszClassName = "QL D3D SS";
  if (!RegisterClassA(&wc)) return 2;
  HWND h = CreateWindowExA(WS_EX_TOPMOST, "QL D3D SS", "D3D SS", WS_POPUP | WS_VISIBLE, 0, 0, 200, 150, nullptr,
                           nullptr, nullptr, nullptr);
  if (!h) {
    std::printf("no window\n");
    return 3;
  }
  std::printf("ready %lu\n", X11WindowOf(h));
  std::fflush(stdout);
  MSG m;
  while (GetMessageA(&m, nullptr, 0, 0) > 0) {
    TranslateMessage(&m);
    DispatchMessageA(&m);
  }
  // The loop has ended; the program's teardown would run here.
  std::printf("clean end %d destroyed %d\n", TerminationSignal(), g_destroyed);
  return 0;
}
