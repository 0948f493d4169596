// The message queue, timers, dispatch and window lifecycle, driven through message-only
// windows (no display needed).
#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "platform/win32/clock.h"
#include "platform/win32/messages.h"
#include "platform/win32/window.h"

using namespace win32;

namespace {

struct Seen {
  HWND window;
  UINT message;
  WPARAM wParam;
  LPARAM lParam;
};
std::vector<Seen> g_seen;
LRESULT g_createResult = 0;
CREATESTRUCTA g_created{};  // copied during WM_CREATE: the structure lives only for the call
HWND g_destroyFromProc = nullptr;

LRESULT CALLBACK_Record(HWND w, UINT m, WPARAM wp, LPARAM lp) {
  g_seen.push_back({w, m, wp, lp});
  if (m == WM_CREATE) {
    g_created = *reinterpret_cast<CREATESTRUCTA*>(lp);
    return g_createResult;
  }
  if (m == WM_USER + 7 && g_destroyFromProc) DestroyWindow(g_destroyFromProc);
  if (m == WM_USER + 8) return 1234;
  return DefWindowProcA(w, m, wp, lp);
}

int Count(UINT message, HWND w = nullptr) {
  int n = 0;
  for (auto& s : g_seen) n += s.message == message && (!w || s.window == w);
  return n;
}

class MessageQueueTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetMessageQueueForTesting();
    g_seen.clear();
    g_createResult = 0;
    g_destroyFromProc = nullptr;
    WNDCLASSA wc{};
    wc.lpfnWndProc = CALLBACK_Record;
    wc.lpszClassName = "Test Record";
    RegisterClassA(&wc);  // may already exist from an earlier test
  }
  void TearDown() override {
    for (HWND h : made_) DestroyWindow(h);
    DisableManualClock();
    ResetMessageQueueForTesting();
  }
  HWND Make(const char* title = "w") {
    HWND h = CreateWindowExA(0, "test record", title, 0, 0, 0, 10, 10, HWND_MESSAGE, nullptr, nullptr, nullptr);
    made_.push_back(h);
    return h;
  }
  // Takes and dispatches everything that waits; returns the messages taken.
  std::vector<UINT> Drain(HWND filter = nullptr) {
    std::vector<UINT> got;
    MSG m;
    while (PeekMessageA(&m, filter, 0, 0, PM_REMOVE)) {
      got.push_back(m.message);
      if (m.message == WM_QUIT) break;
      DispatchMessageA(&m);
    }
    return got;
  }
  std::vector<HWND> made_;
};

TEST_F(MessageQueueTest, ClassRegistrationRules) {
  WNDCLASSA wc{};
  wc.lpfnWndProc = CALLBACK_Record;
  wc.lpszClassName = "TEST RECORD";
  EXPECT_EQ(RegisterClassA(&wc), 0) << "class names compare case-insensitively";
  wc.lpszClassName = "No Proc";
  wc.lpfnWndProc = nullptr;
  EXPECT_EQ(RegisterClassA(&wc), 0);
  EXPECT_EQ(CreateWindowExA(0, "Unknown Class", "", 0, 0, 0, 1, 1, HWND_MESSAGE, nullptr, nullptr, nullptr), nullptr);
  HWND h = Make();
  EXPECT_FALSE(UnregisterClassA("Test Record", nullptr)) << "class in use";
  char name[8];
  EXPECT_EQ(GetClassNameA(h, name, sizeof name), 7);
  EXPECT_STREQ(name, "Test Re") << "truncated to the buffer";
}

TEST_F(MessageQueueTest, CreationSendsNcCreateAndCreateWithParams) {
  int cookie = 5;
  HWND h = CreateWindowExA(0, "Test Record", "title", 0, 3, 4, 30, 40, HWND_MESSAGE, nullptr, nullptr, &cookie);
  made_.push_back(h);
  ASSERT_NE(h, nullptr);
  ASSERT_GE(g_seen.size(), 2u);
  EXPECT_EQ(g_seen[0].message, WM_NCCREATE);
  EXPECT_EQ(g_seen[1].message, WM_CREATE);
  EXPECT_EQ(g_created.lpCreateParams, &cookie);
  EXPECT_EQ(g_created.cx, 30);
  EXPECT_EQ(g_created.cy, 40);
  EXPECT_EQ(g_created.x, 3);
  EXPECT_STREQ(g_created.lpszName, "title");
  RECT r;
  ASSERT_TRUE(GetClientRect(h, &r));
  EXPECT_EQ(r.right, 30);
  EXPECT_EQ(r.bottom, 40);
  char t[16];
  EXPECT_EQ(GetWindowTextA(h, t, sizeof t), 5);
  EXPECT_STREQ(t, "title");
}

TEST_F(MessageQueueTest, CreateReturningMinusOneFailsAndDestroys) {
  g_createResult = -1;
  HWND h = CreateWindowExA(0, "Test Record", "", 0, 0, 0, 1, 1, HWND_MESSAGE, nullptr, nullptr, nullptr);
  EXPECT_EQ(h, nullptr);
  EXPECT_EQ(Count(WM_DESTROY), 1);
  EXPECT_EQ(Count(WM_NCDESTROY), 1);
}

TEST_F(MessageQueueTest, PostedMessagesComeInOrderAndFiltersApply) {
  HWND a = Make("a"), b = Make("b");
  ASSERT_TRUE(PostMessageA(a, WM_USER + 1, 1, 0));
  ASSERT_TRUE(PostMessageA(b, WM_USER + 2, 2, 0));
  ASSERT_TRUE(PostMessageA(a, WM_KEYDOWN, 'A', 0));
  MSG m;
  // A window filter skips other windows' messages but keeps them queued.
  ASSERT_TRUE(PeekMessageA(&m, b, 0, 0, PM_REMOVE));
  EXPECT_EQ(m.message, WM_USER + 2);
  // A range filter.
  ASSERT_TRUE(PeekMessageA(&m, nullptr, WM_KEYFIRST, WM_KEYLAST, PM_NOREMOVE));
  EXPECT_EQ(m.message, WM_KEYDOWN);
  EXPECT_EQ(Drain(), (std::vector<UINT>{WM_USER + 1, WM_KEYDOWN}));
  EXPECT_FALSE(PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE));
  // Posting to something that is not a window fails.
  EXPECT_FALSE(PostMessageA(reinterpret_cast<HWND>(&m), WM_USER, 0, 0));
}

TEST_F(MessageQueueTest, QuitComesAfterPostedMessagesAndGetMessageReturnsZero) {
  HWND a = Make();
  PostQuitMessage(3);
  PostMessageA(a, WM_USER, 0, 0);
  MSG m;
  ASSERT_EQ(GetMessageA(&m, nullptr, 0, 0), 1);
  EXPECT_EQ(m.message, WM_USER);
  // WM_QUIT is taken even by a loop restricted to one window.
  ASSERT_EQ(GetMessageA(&m, a, 0, 0), 0);
  EXPECT_EQ(m.message, WM_QUIT);
  EXPECT_EQ(m.wParam, 3u);
  EXPECT_FALSE(PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE));
  EXPECT_EQ(GetMessageA(&m, reinterpret_cast<HWND>(&m), 0, 0), -1) << "invalid filter window";
}

TEST_F(MessageQueueTest, MessagesForDestroyedWindowsAreDropped) {
  HWND a = Make();
  PostMessageA(a, WM_USER + 3, 0, 0);
  DestroyWindow(a);
  EXPECT_FALSE(IsWindow(a));
  g_seen.clear();
  Drain();
  EXPECT_EQ(Count(WM_USER + 3), 0);
  EXPECT_EQ(SendMessageA(a, WM_USER + 8, 0, 0), 0);
}

TEST_F(MessageQueueTest, SendMessageCallsTheProcedureAtOnce) {
  HWND a = Make();
  EXPECT_EQ(SendMessageA(a, WM_USER + 8, 0, 0), 1234);
  MSG m;
  EXPECT_FALSE(PeekMessageA(&m, nullptr, 0, 0, PM_NOREMOVE));
}

TEST_F(MessageQueueTest, DestroySendsDestroyToSelfThenChildren) {
  HWND other = Make("other");
  HWND self = Make("self");
  HWND kid = CreateWindowExA(0, "Test Record", "kid", WS_CHILD, 0, 0, 1, 1, self, nullptr, nullptr, nullptr);
  ASSERT_NE(kid, nullptr);
  EXPECT_EQ(GetParent(kid), self);
  g_seen.clear();
  DestroyWindow(self);
  std::vector<HWND> destroyOrder;
  for (auto& s : g_seen) {
    if (s.message == WM_DESTROY) destroyOrder.push_back(s.window);
  }
  EXPECT_EQ(destroyOrder, (std::vector<HWND>{self, kid}));
  EXPECT_EQ(Count(WM_NCDESTROY, kid), 1);
  EXPECT_FALSE(IsWindow(kid));
  EXPECT_TRUE(IsWindow(other));
}

TEST_F(MessageQueueTest, DestroyFromOwnProcedureIsSafe) {
  HWND a = Make();
  g_destroyFromProc = a;
  PostMessageA(a, WM_USER + 7, 0, 0);
  Drain();
  EXPECT_FALSE(IsWindow(a));
  EXPECT_EQ(Count(WM_DESTROY, a), 1);
  EXPECT_FALSE(DestroyWindow(a)) << "second destroy fails";
}

TEST_F(MessageQueueTest, DefaultProcedureClosesAndHandlesSysCommand) {
  HWND a = Make();
  EXPECT_EQ(DefWindowProcA(a, WM_NCCREATE, 0, 0), TRUE);
  // SC_CLOSE with low bits set still closes in the default procedure (it masks them).
  SendMessageA(a, WM_SYSCOMMAND, SC_CLOSE | 2, 0);
  EXPECT_EQ(Count(WM_CLOSE, a), 1);
  EXPECT_FALSE(IsWindow(a));
}

TEST_F(MessageQueueTest, WindowLongs) {
  HWND a = Make();
  EXPECT_EQ(SetWindowLongPtrA(a, GWLP_USERDATA, 77), 0);
  EXPECT_EQ(GetWindowLongPtrA(a, GWLP_USERDATA), 77);
  EXPECT_EQ(GetWindowLongPtrA(a, GWLP_WNDPROC), reinterpret_cast<LONG_PTR>(&CALLBACK_Record));
  EXPECT_EQ(SetWindowLongPtrA(a, GWLP_WNDPROC, 0), 0) << "a null procedure is refused";
  EXPECT_EQ(GetWindowLongPtrA(reinterpret_cast<HWND>(&g_seen), GWLP_USERDATA), 0);
}

TEST_F(MessageQueueTest, TimersTickOncePerPeriodAndDoNotPileUp) {
  EnableManualClock(10.0);
  HWND a = Make();
  ASSERT_EQ(SetTimer(a, 7, 1000, nullptr), 7u);
  MSG m;
  AdvanceManualClock(0.999);
  EXPECT_FALSE(PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE));
  AdvanceManualClock(0.001);
  ASSERT_TRUE(PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE));
  EXPECT_EQ(m.message, WM_TIMER);
  EXPECT_EQ(m.hwnd, a);
  EXPECT_EQ(m.wParam, 7u);
  EXPECT_FALSE(PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE));
  // Five periods late: one tick, not five.
  AdvanceManualClock(5.0);
  EXPECT_EQ(Drain(), (std::vector<UINT>{WM_TIMER}));
  // Re-setting restarts the period; killing stops it.
  AdvanceManualClock(0.6);
  SetTimer(a, 7, 1000, nullptr);
  AdvanceManualClock(0.6);
  EXPECT_TRUE(Drain().empty());
  AdvanceManualClock(0.4);
  EXPECT_EQ(Drain(), (std::vector<UINT>{WM_TIMER}));
  EXPECT_TRUE(KillTimer(a, 7));
  EXPECT_FALSE(KillTimer(a, 7));
  AdvanceManualClock(3.0);
  EXPECT_TRUE(Drain().empty());
}

TEST_F(MessageQueueTest, PostedMessagesGoBeforeTimersAndTimersDieWithTheWindow) {
  EnableManualClock(10.0);
  HWND a = Make();
  SetTimer(a, 1, 500, nullptr);
  AdvanceManualClock(1.0);
  PostMessageA(a, WM_USER, 0, 0);
  EXPECT_EQ(Drain(), (std::vector<UINT>{WM_USER, WM_TIMER}));
  AdvanceManualClock(1.0);
  DestroyWindow(a);
  EXPECT_TRUE(Drain().empty());
  EXPECT_EQ(SetTimer(a, 1, 500, nullptr), 0u) << "no timer on a dead window";
}

void CALLBACK_Timer(HWND, UINT message, UINT_PTR id, DWORD) { g_seen.push_back({nullptr, message, id, 0}); }

TEST_F(MessageQueueTest, ThreadTimerWithProcedure) {
  EnableManualClock(10.0);
  UINT_PTR id = SetTimer(nullptr, 0, 100, CALLBACK_Timer);
  ASSERT_NE(id, 0u);
  AdvanceManualClock(0.1);
  Drain();
  ASSERT_EQ(Count(WM_TIMER), 1);
  EXPECT_EQ(g_seen.back().wParam, id);
  KillTimer(nullptr, id);
}

TEST_F(MessageQueueTest, GetMessageWaitsForATimerInRealTime) {
  HWND a = Make();
  SetTimer(a, 1, 30, nullptr);
  DWORD t0 = timeGetTime();
  MSG m;
  ASSERT_EQ(GetMessageA(&m, nullptr, 0, 0), 1);
  EXPECT_EQ(m.message, WM_TIMER);
  DWORD waited = timeGetTime() - t0;
  EXPECT_GE(waited, 25u);
  EXPECT_LT(waited, 1000u);
}

TEST_F(MessageQueueTest, PostFromAnotherThreadWakesGetMessage) {
  HWND a = Make();
  std::thread t([a] {
    Sleep(30);
    PostMessageA(a, WM_USER + 5, 9, 0);
  });
  MSG m;
  ASSERT_EQ(GetMessageA(&m, nullptr, 0, 0), 1);
  EXPECT_EQ(m.message, WM_USER + 5);
  EXPECT_EQ(m.wParam, 9u);
  t.join();
}

TEST_F(MessageQueueTest, TranslateMakesCharactersForPrintableKeys) {
  HWND a = Make();
  MSG key{a, WM_KEYDOWN, 'Q', 1, 0, {}};
  EXPECT_TRUE(TranslateMessage(&key));
  MSG shift{a, WM_KEYDOWN, VK_SHIFT, 1, 0, {}};
  EXPECT_FALSE(TranslateMessage(&shift));
  MSG m;
  ASSERT_TRUE(PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE));
  EXPECT_EQ(m.message, WM_CHAR);
  EXPECT_EQ(m.wParam, static_cast<WPARAM>('q'));
}

TEST_F(MessageQueueTest, PaintIsPendingUntilValidated) {
  HWND a = Make();
  InvalidateRect(a, nullptr, TRUE);
  MSG m;
  ASSERT_TRUE(PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE));
  EXPECT_EQ(m.message, WM_PAINT);
  // Not removed by PM_REMOVE: painting (here the default procedure) validates.
  ASSERT_TRUE(PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE));
  EXPECT_EQ(m.message, WM_PAINT);
  DispatchMessageA(&m);
  EXPECT_FALSE(PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE));
}

TEST(AdjustWindowRectTest, ClassicFrameMetrics) {
  // The captioned test window: client (50,50)-(650,450).
  RECT r{50, 50, 650, 450};
  ASSERT_TRUE(AdjustWindowRect(&r, WS_VISIBLE | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX, FALSE));
  EXPECT_EQ(r.left, 47);
  EXPECT_EQ(r.top, 28);
  EXPECT_EQ(r.right, 653);
  EXPECT_EQ(r.bottom, 453);
  RECT c{0, 0, 320, 240};
  AdjustWindowRect(&c, WS_CHILD | WS_VISIBLE, FALSE);
  EXPECT_EQ(c.left, 0);
  EXPECT_EQ(c.right, 320);
  EXPECT_EQ(c.bottom, 240);
  RECT s{0, 0, 100, 100};
  AdjustWindowRect(&s, WS_OVERLAPPEDWINDOW, FALSE);
  EXPECT_EQ(s.left, -4);
  EXPECT_EQ(s.top, -23);
  RECT b{0, 0, 10, 10};
  AdjustWindowRectEx(&b, WS_POPUP | WS_BORDER, FALSE, WS_EX_CLIENTEDGE);
  EXPECT_EQ(b.left, -3);
  EXPECT_EQ(b.bottom, 13);
}

TEST_F(MessageQueueTest, WindowRectOfCaptionedMessageOnlyWindowKeepsFrame) {
  // Message-only windows have no frame: the client is the whole window.
  HWND h = CreateWindowExA(0, "Test Record", "", WS_CAPTION, 47, 28, 606, 425, HWND_MESSAGE, nullptr, nullptr, nullptr);
  made_.push_back(h);
  RECT c, w;
  GetClientRect(h, &c);
  GetWindowRect(h, &w);
  EXPECT_EQ(c.right, 606);
  EXPECT_EQ(w.left, 47);
  EXPECT_EQ(w.bottom, 28 + 425);
}

TEST(NoDisplayTest, NativeWindowsFailCleanlyWithoutADisplay) {
  const char* display = getenv("DISPLAY");
  if (display && *display) GTEST_SKIP() << "a display is present";
  WNDCLASSA wc{};
  wc.lpfnWndProc = DefWindowProcA;
  wc.lpszClassName = "No Display";
  RegisterClassA(&wc);
  EXPECT_FALSE(DisplayAvailable());
  EXPECT_EQ(CreateWindowExA(WS_EX_TOPMOST, "No Display", "D3D SS", WS_POPUP | WS_VISIBLE, 0, 0, 640, 480, nullptr,
                            nullptr, nullptr, nullptr),
            nullptr);
  RECT r;
  EXPECT_FALSE(GetClientRect(reinterpret_cast<HWND>(0x1200007), &r));
}

}  // namespace
