// FindWindowA across processes through the per-user window registry, and termination
// signals turned into messages.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>

#include "platform/win32/clock.h"
#include "platform/win32/messages.h"
#include "platform/win32/signals.h"
#include "platform/win32/window.h"

using namespace win32;
namespace fs = std::filesystem;

namespace {

class SessionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/hoardel-win-XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    dir_ = tmpl;
    old_ = getenv("XDG_RUNTIME_DIR") ? getenv("XDG_RUNTIME_DIR") : "";
    setenv("XDG_RUNTIME_DIR", dir_.c_str(), 1);
  }
  void TearDown() override {
    if (old_.empty()) unsetenv("XDG_RUNTIME_DIR");
    else setenv("XDG_RUNTIME_DIR", old_.c_str(), 1);
    fs::remove_all(dir_);
  }
  std::size_t Entries() {
    std::size_t n = 0;
    for (auto& e : fs::directory_iterator(dir_ + "/hoardel3d/windows")) n += e.path().filename().string()[0] != '.';
    return n;
  }
  std::string dir_, old_;
};

TEST_F(SessionTest, AnotherProcessWindowIsFoundUntilThatProcessDies) {
  int ready[2];
  ASSERT_EQ(pipe(ready), 0);
  pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    unsigned long t = PublishSessionWindow("QL D3D SS", "D3D SS", 0x1400005);
    char c = t ? 1 : 0;
    if (write(ready[1], &c, 1) != 1) _exit(2);
    pause();
    _exit(0);
  }
  char c = 0;
  ASSERT_EQ(read(ready[0], &c, 1), 1);
  ASSERT_EQ(c, 1);
  EXPECT_EQ(FindWindowA("QL D3D SS", nullptr), reinterpret_cast<HWND>(0x1400005));
  EXPECT_NE(FindWindowA("ql d3d ss", "D3D SS"), nullptr) << "class compares case-insensitively";
  EXPECT_NE(FindWindowA(nullptr, "D3D SS"), nullptr);
  EXPECT_EQ(FindWindowA("QL D3D SS", "Other"), nullptr);
  EXPECT_EQ(FindWindowA("Other", nullptr), nullptr);
  EXPECT_EQ(Entries(), 1u);
  kill(child, SIGKILL);
  waitpid(child, nullptr, 0);
  // The dead process's entry is stale: not found, and removed.
  EXPECT_EQ(FindWindowA("QL D3D SS", nullptr), nullptr);
  EXPECT_EQ(Entries(), 0u);
  close(ready[0]);
  close(ready[1]);
}

TEST_F(SessionTest, EntryOfAReusedPidIsStale) {
  // A file naming our pid with another start time is left from an earlier process.
  fs::create_directories(dir_ + "/hoardel3d/windows");
  fs::permissions(dir_ + "/hoardel3d", fs::perms::owner_all, fs::perm_options::replace);
  fs::permissions(dir_ + "/hoardel3d/windows", fs::perms::owner_all, fs::perm_options::replace);
  std::string name = dir_ + "/hoardel3d/windows/" + std::to_string(getpid()) + "-1-1";
  FILE* f = fopen(name.c_str(), "w");
  ASSERT_NE(f, nullptr);
  fputs("QL D3D SS\nD3D SS\n0\n", f);
  fclose(f);
  EXPECT_EQ(FindWindowA("QL D3D SS", nullptr), nullptr);
  EXPECT_FALSE(fs::exists(name));
}

TEST_F(SessionTest, OwnPublishedWindowAndWithdraw) {
  unsigned long t = PublishSessionWindow("#32770", "Hoardel 3D Setup", 0);
  ASSERT_NE(t, 0u);
  HWND h = FindWindowA(nullptr, "hoardel 3d setup");
  EXPECT_NE(h, nullptr);
  WithdrawSessionWindow(t);
  EXPECT_EQ(FindWindowA(nullptr, "Hoardel 3D Setup"), nullptr);
  EXPECT_EQ(Entries(), 0u);
}

TEST_F(SessionTest, RefusesADirectoryOpenToOthers) {
  fs::create_directories(dir_ + "/hoardel3d");
  fs::permissions(dir_ + "/hoardel3d", fs::perms::owner_all | fs::perms::others_all, fs::perm_options::replace);
  EXPECT_EQ(PublishSessionWindow("X", "Y", 0), 0u);
  EXPECT_EQ(FindWindowA("X", nullptr), nullptr);
}

TEST_F(SessionTest, MessageOnlyWindowsAreNotTopLevel) {
  WNDCLASSA wc{};
  wc.lpfnWndProc = DefWindowProcA;
  wc.lpszClassName = "Hidden Class";
  RegisterClassA(&wc);
  HWND h = CreateWindowExA(0, "Hidden Class", "", 0, 0, 0, 1, 1, HWND_MESSAGE, nullptr, nullptr, nullptr);
  ASSERT_NE(h, nullptr);
  EXPECT_EQ(FindWindowA("Hidden Class", nullptr), nullptr);
  DestroyWindow(h);
}

// --- signals ---------------------------------------------------------------------------

UINT g_closed = 0;
LRESULT CloseRecorder(HWND w, UINT m, WPARAM wp, LPARAM lp) {
  if (m == WM_CLOSE) ++g_closed;
  return DefWindowProcA(w, m, wp, lp);
}

class SignalTest : public ::testing::Test {
 protected:
  void SetUp() override {
    InstallTerminationSignals();
    ResetTerminationForTesting();
    ResetMessageQueueForTesting();
    SetTerminationCallback(nullptr);
    g_closed = 0;
  }
  void TearDown() override {
    SetTerminationCallback(nullptr);
    ResetTerminationForTesting();
    ResetMessageQueueForTesting();
  }
};

TEST_F(SignalTest, TermClosesWindowsThenQuits) {
  WNDCLASSA wc{};
  wc.lpfnWndProc = CloseRecorder;
  wc.lpszClassName = "Close Recorder";
  RegisterClassA(&wc);
  HWND h = CreateWindowExA(0, "Close Recorder", "", 0, 0, 0, 1, 1, HWND_MESSAGE, nullptr, nullptr, nullptr);
  ASSERT_NE(h, nullptr);
  ASSERT_EQ(raise(SIGTERM), 0);
  EXPECT_EQ(TerminationSignal(), SIGTERM);
  MSG m;
  int got;
  while ((got = GetMessageA(&m, nullptr, 0, 0)) > 0) DispatchMessageA(&m);
  EXPECT_EQ(got, 0);
  EXPECT_EQ(m.wParam, static_cast<WPARAM>(128 + SIGTERM));
  EXPECT_EQ(g_closed, 1u);
  EXPECT_FALSE(IsWindow(h)) << "the default procedure destroyed it on WM_CLOSE";
}

TEST_F(SignalTest, SignalWakesABlockedGetMessageAndRunsTheCallbackOnce) {
  int calls = 0, seen = 0;
  SetTerminationCallback([&](int sig) {
    ++calls;
    seen = sig;
    PostQuitMessage(0);
  });
  std::thread t([] {
    Sleep(50);
    kill(getpid(), SIGHUP);
  });
  MSG m;
  DWORD t0 = timeGetTime();
  EXPECT_EQ(GetMessageA(&m, nullptr, 0, 0), 0);
  EXPECT_LT(timeGetTime() - t0, 5000u);
  t.join();
  EXPECT_EQ(seen, SIGHUP);
  // A second signal neither replaces the first nor runs the callback again.
  raise(SIGINT);
  EXPECT_TRUE(PollTermination());
  EXPECT_EQ(TerminationSignal(), SIGHUP);
  EXPECT_EQ(calls, 1);
}

TEST_F(SignalTest, PollWithoutSignal) {
  EXPECT_FALSE(PollTermination());
  EXPECT_EQ(TerminationSignal(), 0);
}

}  // namespace

// --- system suspend ---------------------------------------------------------------------

UINT g_power = 0;
WPARAM g_powerEvent = 0;
LRESULT PowerRecorder(HWND w, UINT m, WPARAM wp, LPARAM lp) {
  if (m == WM_POWERBROADCAST) {
    ++g_power;
    g_powerEvent = wp;
  }
  return DefWindowProcA(w, m, wp, lp);
}

// logind's PrepareForSleep, here sent on a private bus, reaches the windows as
// WM_POWERBROADCAST.
TEST(PowerTest, PrepareForSleepBecomesSuspendBroadcast) {
  if (system("command -v dbus-daemon >/dev/null && command -v dbus-send >/dev/null") != 0)
    GTEST_SKIP() << "dbus-daemon or dbus-send missing";
  FILE* p = popen("dbus-daemon --session --fork --print-address=1 --print-pid=1", "r");
  ASSERT_NE(p, nullptr);
  char address[512] = {0}, pidText[32] = {0};
  ASSERT_NE(fgets(address, sizeof address, p), nullptr);
  ASSERT_NE(fgets(pidText, sizeof pidText, p), nullptr);
  pclose(p);
  address[strcspn(address, "\n")] = 0;
  pid_t daemon = static_cast<pid_t>(atol(pidText));
  setenv("HOARDEL_LOGIND_BUS_ADDRESS", address, 1);
  ResetMessageQueueForTesting();
  WNDCLASSA wc{};
  wc.lpfnWndProc = PowerRecorder;
  wc.lpszClassName = "Power Recorder";
  RegisterClassA(&wc);
  HWND h = CreateWindowExA(0, "Power Recorder", "", 0, 0, 0, 1, 1, HWND_MESSAGE, nullptr, nullptr, nullptr);
  ASSERT_NE(h, nullptr);
  MSG m;
  PeekMessageA(&m, nullptr, 0, 0, PM_NOREMOVE);  // connects and subscribes
  std::string send = std::string("dbus-send --bus='") + address +
                     "' --type=signal /org/freedesktop/login1 org.freedesktop.login1.Manager.PrepareForSleep ";
  ASSERT_EQ(system((send + "boolean:true").c_str()), 0);
  // A timer bounds the wait; the D-Bus socket wakes GetMessageA before it.
  SetTimer(h, 1, 3000, nullptr);
  auto waitForBroadcast = [&] {
    while (GetMessageA(&m, nullptr, 0, 0) > 0) {
      DispatchMessageA(&m);
      if (m.message == WM_POWERBROADCAST || m.message == WM_TIMER) return;
    }
  };
  DWORD t0 = timeGetTime();
  waitForBroadcast();
  EXPECT_EQ(g_power, 1u);
  EXPECT_EQ(g_powerEvent, PBT_APMSUSPEND);
  ASSERT_EQ(system((send + "boolean:false").c_str()), 0);
  waitForBroadcast();
  EXPECT_EQ(g_power, 2u);
  EXPECT_EQ(g_powerEvent, PBT_APMRESUMEAUTOMATIC);
  EXPECT_LT(timeGetTime() - t0, 2500u) << "woken by the bus, not by the timer";
  DestroyWindow(h);
  kill(daemon, SIGTERM);
  unsetenv("HOARDEL_LOGIND_BUS_ADDRESS");
  ResetMessageQueueForTesting();
}
