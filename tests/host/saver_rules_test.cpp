// The saver window's message rules, the end request with the Windows 9x password path, the
// teardown order, and the overlay glyph layout.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "host/overlays.h"
#include "host/screensaver_app.h"
#include "platform/win32/clock.h"
#include "platform/win32/messages.h"
#include "platform/win32/window.h"

using namespace win32;

namespace {

class RecordingApp : public ScreenSaverApp {
 public:
  std::vector<std::string> calls;
  std::vector<UINT> defaulted;
  void StopSound() override { calls.push_back("StopSound"); }
  HRESULT DeleteSceneObjects() override {
    calls.push_back("DeleteSceneObjects");
    return 0;
  }
  LRESULT DefaultWindowProc(HWND, UINT message, WPARAM, LPARAM) override {
    defaulted.push_back(message);
    return 0;
  }
  LRESULT Send(UINT message, WPARAM w = 0, LPARAM l = 0) { return WindowProc(nullptr, message, w, l); }
};

int g_verifyCalls = 0;
BOOL RefuseThenAccept(HWND) { return ++g_verifyCalls >= 2; }

TEST(SaverRules, KeysAndClicksEndTheSaverAtOnce) {
  for (UINT m : {WM_KEYDOWN, WM_LBUTTONDOWN, WM_RBUTTONDOWN, WM_MBUTTONDOWN}) {
    RecordingApp app;
    app.setMode(RunMode::Saver);
    EXPECT_EQ(app.Send(m), 1);
    EXPECT_TRUE(app.tornDown());
    EXPECT_TRUE(app.quit());
    EXPECT_EQ(app.calls, (std::vector<std::string>{"StopSound", "DeleteSceneObjects"}));
    EXPECT_TRUE(app.defaulted.empty());
    // A second request after the end does not tear down again.
    EXPECT_EQ(app.Send(m), 1);
    EXPECT_EQ(app.calls.size(), 2u);
  }
}

TEST(SaverRules, MouseMovesAreCountedDown) {
  RecordingApp app;
  app.setMode(RunMode::Saver);
  app.settings.current.ExitOnMouseMove = 1;
  for (int i = 0; i < 30; ++i) {
    ASSERT_EQ(app.Send(WM_MOUSEMOVE), 0);
    ASSERT_FALSE(app.tornDown()) << i;
  }
  EXPECT_EQ(app.mouseMoveCountdown(), 0);
  EXPECT_EQ(app.defaulted.size(), 30u);
  EXPECT_EQ(app.Send(WM_MOUSEMOVE), 1);
  EXPECT_TRUE(app.tornDown());

  RecordingApp off;
  off.setMode(RunMode::Saver);
  off.settings.current.ExitOnMouseMove = 0;
  for (int i = 0; i < 100; ++i) off.Send(WM_MOUSEMOVE);
  EXPECT_FALSE(off.tornDown());
  EXPECT_EQ(off.mouseMoveCountdown(), 30);
  EXPECT_EQ(off.Send(WM_LBUTTONDOWN), 1);  // clicks still end it
}

TEST(SaverRules, TestModeEndsOnlyByMouseMovement) {
  RecordingApp app;
  app.setMode(RunMode::Test);
  app.settings.current.ExitOnMouseMove = 1;
  for (UINT m : {WM_KEYDOWN, WM_LBUTTONDOWN, WM_RBUTTONDOWN, WM_MBUTTONDOWN}) EXPECT_EQ(app.Send(m), 0);
  EXPECT_EQ(app.Send(WM_ACTIVATEAPP, 0), 0);
  EXPECT_EQ(app.Send(WM_SYSCOMMAND, SC_SCREENSAVE), 0);
  EXPECT_FALSE(app.tornDown());
  for (int i = 0; i < 30; ++i) app.Send(WM_MOUSEMOVE);
  EXPECT_FALSE(app.tornDown());
  EXPECT_EQ(app.Send(WM_MOUSEMOVE), 1);
  EXPECT_TRUE(app.tornDown());
}

TEST(SaverRules, PreviewInputNeverEndsAnything) {
  RecordingApp app;
  app.setMode(RunMode::Preview);
  app.settings.current.ExitOnMouseMove = 1;
  for (int i = 0; i < 40; ++i) app.Send(WM_MOUSEMOVE);
  for (UINT m : {WM_KEYDOWN, WM_LBUTTONDOWN}) app.Send(m);
  app.Send(WM_ACTIVATEAPP, 0);
  app.Send(WM_POWERBROADCAST, PBT_APMSUSPEND);
  EXPECT_FALSE(app.tornDown());
  EXPECT_EQ(app.mouseMoveCountdown(), 30);
  EXPECT_EQ(app.EndRequest(), 0);
  // Destruction of the window (the control panel closing it) ends the loop.
  EXPECT_EQ(app.Send(WM_DESTROY), 1);
  EXPECT_TRUE(app.quit());
  EXPECT_FALSE(app.tornDown());
}

TEST(SaverRules, SystemCommandsCompareExactly) {
  for (WPARAM sc : {SC_CLOSE, SC_NEXTWINDOW, SC_PREVWINDOW, SC_SCREENSAVE}) {
    RecordingApp app;
    app.setMode(RunMode::Saver);
    EXPECT_EQ(app.Send(WM_SYSCOMMAND, sc), 1);
    EXPECT_TRUE(app.tornDown());
  }
  RecordingApp app;
  app.setMode(RunMode::Saver);
  EXPECT_EQ(app.Send(WM_SYSCOMMAND, SC_CLOSE | 2), 0);
  EXPECT_EQ(app.Send(WM_SYSCOMMAND, SC_MINIMIZE), 0);
  EXPECT_EQ(app.defaulted, (std::vector<UINT>{WM_SYSCOMMAND, WM_SYSCOMMAND}));
  EXPECT_FALSE(app.tornDown());
}

TEST(SaverRules, DeactivationSuspendCloseAndCursor) {
  RecordingApp app;
  app.setMode(RunMode::Saver);
  EXPECT_EQ(app.Send(WM_ACTIVATEAPP, 1), 0);
  EXPECT_EQ(app.Send(WM_SETCURSOR), 1);
  EXPECT_EQ(app.Send(WM_POWERBROADCAST, PBT_APMQUERYSUSPEND), 0);
  EXPECT_FALSE(app.tornDown());
  EXPECT_EQ(app.Send(WM_ACTIVATEAPP, 0), 1);
  EXPECT_TRUE(app.tornDown());

  RecordingApp suspended;
  suspended.setMode(RunMode::Saver);
  EXPECT_EQ(suspended.Send(WM_POWERBROADCAST, PBT_APMSUSPEND), 1);
  EXPECT_TRUE(suspended.tornDown());

  // Closing leaves the loop without teardown.
  RecordingApp closed;
  closed.setMode(RunMode::Saver);
  EXPECT_EQ(closed.Send(WM_CLOSE), 1);
  EXPECT_TRUE(closed.quit());
  EXPECT_FALSE(closed.tornDown());
  EXPECT_TRUE(closed.calls.empty());

  RecordingApp test;
  test.setMode(RunMode::Test);
  EXPECT_EQ(test.Send(WM_SETCURSOR), 0);  // only the full-screen saver keeps it hidden
}

TEST(SaverRules, RefusedPasswordKeepsTheSaverRunning) {
  g_verifyCalls = 0;
  RecordingApp app;
  app.setMode(RunMode::Saver);
  app.settings.current.ExitOnMouseMove = 1;
  app.SetPasswordCheckForTesting(true, RefuseThenAccept);
  for (int i = 0; i < 5; ++i) app.Send(WM_MOUSEMOVE);
  app.setFrameParity(0);
  app.setPreviousFrameTime(-5000.0f);
  EXPECT_EQ(app.Send(WM_KEYDOWN), 0);
  EXPECT_EQ(g_verifyCalls, 1);
  EXPECT_FALSE(app.tornDown());
  EXPECT_EQ(app.mouseMoveCountdown(), 0);
  EXPECT_EQ(app.frameParity(), 1);
  EXPECT_GE(app.previousFrameTime(), 0.0f);  // a fresh reading: the dialog's time is not counted
  // With a password function, suspend does not end the saver.
  EXPECT_EQ(app.Send(WM_POWERBROADCAST, PBT_APMSUSPEND), 0);
  EXPECT_EQ(g_verifyCalls, 1);
  // The next mouse move asks again; this time the password is right.
  EXPECT_EQ(app.Send(WM_MOUSEMOVE), 1);
  EXPECT_EQ(g_verifyCalls, 2);
  EXPECT_TRUE(app.tornDown());

  // In test mode the password is never asked.
  g_verifyCalls = 0;
  RecordingApp test;
  test.setMode(RunMode::Test);
  test.settings.current.ExitOnMouseMove = 1;
  test.SetPasswordCheckForTesting(true, RefuseThenAccept);
  for (int i = 0; i < 31; ++i) test.Send(WM_MOUSEMOVE);
  EXPECT_EQ(g_verifyCalls, 0);
  EXPECT_TRUE(test.tornDown());
}

TEST(SaverRules, TimersAndPreviewPump) {
  RecordingApp app;
  app.setMode(RunMode::Saver);
  app.overlays.frameCounter = 57;
  app.Send(WM_TIMER, kFrameRateTimer);
  EXPECT_EQ(app.overlays.frameRateShown, 57);
  EXPECT_EQ(app.overlays.frameCounter, 0);
  EXPECT_EQ(app.defaulted, (std::vector<UINT>{WM_TIMER}));  // then default processing
  app.Send(WM_TIMER, 3);
  EXPECT_EQ(app.overlays.frameRateShown, 57);
}

TEST(SaverRules, PreviewPumpLastsHalfASecond) {
  ResetMessageQueueForTesting();
  ScreenSaverApp app;  // the system's default procedure answers creation
  app.setMode(RunMode::Preview);
  WNDCLASSA wc{};
  wc.lpfnWndProc = SaverWindowProc;
  wc.lpszClassName = "pump test";
  ASSERT_NE(RegisterClassA(&wc), 0);
  HWND w = CreateWindowExA(0, "pump test", "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
  ASSERT_NE(w, nullptr);
  PostMessageA(w, WM_USER, 0, 0);
  MSG msg{};
  const DWORD start = timeGetTime();
  // Timer 1 is started by WM_USER; its first tick ends the pump.
  bool sawUser = false;
  while (timeGetTime() - start < 3000) {
    if (GetMessageA(&msg, w, 0, 0) <= 0) break;
    sawUser = sawUser || msg.message == WM_USER;
    DispatchMessageA(&msg);
    if (msg.message == WM_TIMER) break;
  }
  const DWORD took = timeGetTime() - start;
  EXPECT_TRUE(sawUser);
  EXPECT_EQ(msg.message, WM_TIMER);
  EXPECT_EQ(msg.wParam, kPreviewPumpTimer);
  EXPECT_GE(took, 450u);
  EXPECT_LT(took, 2500u);
  EXPECT_FALSE(app.previewPump());
  DestroyWindow(w);
  UnregisterClassA("pump test", nullptr);
}

std::string Glyphs(const std::vector<GlyphPlacement>& v) {
  // Position and glyph as "p:g" pairs, glyphs over 9 as letters of their slot.
  std::string s;
  for (const auto& g : v) {
    const char* names = "0123456789:.AMP";
    s += std::to_string(g.position) + names[g.glyph] + " ";
  }
  return s;
}

TEST(Overlays, ClockStrings) {
  EXPECT_EQ(Glyphs(ClockGlyphs(0, 5, 9, false)), "01 12 2: 30 45 5: 60 79 8A 9M ");
  EXPECT_EQ(Glyphs(ClockGlyphs(13, 0, 0, false)), "11 2: 30 40 5: 60 70 8P 9M ");
  EXPECT_EQ(Glyphs(ClockGlyphs(12, 30, 0, false)), "01 12 2: 33 40 5: 60 70 8P 9M ");
  EXPECT_EQ(Glyphs(ClockGlyphs(9, 30, 0, false)), "19 2: 33 40 5: 60 70 8A 9M ");
  EXPECT_EQ(Glyphs(ClockGlyphs(23, 59, 59, false)), "01 11 2: 35 49 5: 65 79 8P 9M ");
  EXPECT_EQ(Glyphs(ClockGlyphs(0, 5, 9, true)), "00 10 2: 30 45 5: 60 79 ");
  EXPECT_EQ(Glyphs(ClockGlyphs(9, 30, 0, true)), "00 19 2: 33 40 5: 60 70 ");
  EXPECT_EQ(Glyphs(ClockGlyphs(13, 0, 0, true)), "01 13 2: 30 40 5: 60 70 ");
}

TEST(Overlays, FrameRateStrings) {
  EXPECT_EQ(Glyphs(FrameRateGlyphs(0)), "00 ");
  EXPECT_EQ(Glyphs(FrameRateGlyphs(125)), "01 12 25 ");
  EXPECT_EQ(Glyphs(FrameRateGlyphs(-3)), "0. 13 ");  // the sign shows as the dot
}

}  // namespace
