// The application base class: process start-up and run modes, the saver windows and their
// exit rules, the Direct3D device and its frame lifecycle, the overlays, and teardown. A
// derived class (the scene) is driven through the 17 virtual operations below, declared in
// their fixed slot order.
#pragma once

#include <array>
#include <atomic>
#include <chrono>
#include <functional>
#include <future>
#include <string>
#include <vector>

#include "config/config_dialog.h"
#include "config/settings.h"
#include "host/command_line.h"
#include "host/device_table.h"
#include "host/frame_pacer.h"
#include "host/log.h"
#include "host/overlays.h"
#include "host/run_options.h"
#include "media/text_table.h"
#include "platform/d3d8/d3d8.h"
#include "platform/win32/gdi.h"
#include "platform/win32/messages.h"
#include "platform/win32/monitors.h"
#include "platform/win32/win32_types.h"
#include "platform/win32/window.h"

using win32::HWND;
using win32::LPARAM;
using win32::LRESULT;
using win32::UINT;
using win32::WPARAM;

inline constexpr const char* kSaverWindowClass = "QL D3D SS";
inline constexpr const char* kSaverWindowTitle = "D3D SS";
constexpr unsigned kIconResource = 224;
constexpr unsigned kPreviewBitmapResource = 432;
constexpr win32::UINT_PTR kPreviewPumpTimer = 1;
constexpr win32::UINT_PTR kFrameRateTimer = 7;
constexpr int kMouseMoveTolerance = 30;
constexpr int kMaxMonitors = 9;

struct MonitorEntry {
  char adapterDescription[128] = {};
  char monitorDescription[128] = {};
  win32::HMONITOR monitor = nullptr;
  win32::RECT rect{};
  HWND window = nullptr;
};

// Per-frame CPU timings of a capture run, in seconds.
struct FrameTimings {
  std::vector<double> frameStep, frameMove, render;
};

class ScreenSaverApp : public ConfigDialogHost {
 public:
  ScreenSaverApp();
  ScreenSaverApp(const ScreenSaverApp&) = delete;
  ScreenSaverApp& operator=(const ScreenSaverApp&) = delete;

  // --- the virtual operations, in slot order -------------------------------------------
  virtual void InitApp() {}
  void ReadExtraSettings() override {}
  void WriteExtraSettings() override {}
  void SetExtraDefaults() override {}
  void InitDialogExtras(HWND /*dialog*/) override {}
  std::intptr_t OnDialogCommand(HWND /*dialog*/, UINT /*message*/, WPARAM /*w*/, LPARAM /*l*/) override { return 0; }
  virtual LRESULT DefaultWindowProc(HWND window, UINT message, WPARAM w, LPARAM l);
  virtual void StartSound() {}
  virtual void StopSound() {}
  virtual void QueryDeviceCaps() {}
  virtual HRESULT RestoreDeviceObjects(d3d8::IDirect3DDevice8* device);
  virtual HRESULT ShowLoadingScreen(d3d8::IDirect3DDevice8* device);
  virtual HRESULT LoadScene(d3d8::IDirect3DDevice8* /*device*/) { return 0; }
  virtual HRESULT LoadSceneExtra(d3d8::IDirect3DDevice8* /*device*/) { return 0; }
  virtual HRESULT FrameMove(d3d8::IDirect3DDevice8* device, float elapsedMs);
  virtual HRESULT Render(d3d8::IDirect3DDevice8* device);
  virtual HRESULT DeleteSceneObjects() { return 0; }
  // --- end of the slot table -------------------------------------------------------------

  // The configuration dialog's view of the application.
  SettingsStore& DialogSettings() override { return settings; }
  const TextTable& DialogTexts() const override { return texts; }
  bool DialogOffersSoundEffects() const override { return hasSoundEffects; }
  HWND DialogOwner() const override { return mainWindow_; }
  void SetDialogWindow(HWND dialog) override { mainWindow_ = dialog; }
  void DialogLog(const char* line) override { log.Write(line); }
  void CloseDialogLog() override { log.Close(); }
  void FillDeviceLists(HWND dialog) override;
  bool OnDeviceListChoice(HWND dialog, int list) override;

  // Called before the device is reset: releases what lives in the default pool (the scene's
  // render target and depth surface), which RestoreDeviceObjects then creates again.
  virtual void ReleaseDefaultPoolObjects() {}
  virtual ~ScreenSaverApp();

  // Loading ahead: once a run is known to draw, a worker reads and decodes what the loading
  // will ask for (pictures, models) while the main thread makes the windows and the device.
  // The loading then takes the finished work; what it does not take is freed when it ends.
  // PrepareAhead runs on the worker (the loading screen's pictures here) and should stop
  // early when loadingAheadCancelled(); DropPreparedAhead frees what was prepared and runs on
  // the main thread once the worker has finished.
  virtual void PrepareAhead();
  virtual void DropPreparedAhead();
  bool loadingAheadCancelled() const { return aheadCancelled_.load(std::memory_order_relaxed); }
  void StartLoadingAhead();
  // Waits for the worker and frees what nobody took; does nothing when none was started.
  void FinishLoadingAhead();
  // Finishes the loading ahead when it goes out of scope: the end of a loading, on every path.
  struct LoadingAheadEnd {
    ScreenSaverApp* app;
    ~LoadingAheadEnd() { app->FinishLoadingAhead(); }
  };

  // Whole process: the Linux forms first, then the start-up and run steps. Returns the exit
  // code.
  int Main(int argc, const char* const* argv);
  // Start-up step and run step of the Windows-style modes.
  void StartUp(win32::HINSTANCE instance, const char* commandLine);
  int Run();

  // One frame: 0 after a drawn frame, the failure or cooperative-level code otherwise.
  HRESULT FrameStep();
  LRESULT WindowProc(HWND window, UINT message, WPARAM w, LPARAM l);
  // 1 when the saver ends (teardown has run), 0 when it goes on.
  int EndRequest();
  void Teardown();
  HRESULT CreateSaverWindows();
  void EnumerateMonitors();
  void SetUpPassword();
  // 0, 1 (desktop mode unreadable) or 2 (no device).
  int CreateDevice();
  void DrawOverlays(d3d8::IDirect3DDevice8* device);

  // The seed the scene gives the C runtime generator when it creates the room: the capture's
  // --seed, else the calendar time.
  unsigned RandomSeed() const;

  // --- state reachable by derived classes, the dialog and tests ----------------------------
  RunMode mode() const { return mode_; }
  void setMode(RunMode m) { mode_ = m; }
  HWND parentWindow() const { return parent_; }
  HWND mainWindow() const { return mainWindow_; }
  void setMainWindow(HWND w) { mainWindow_ = w; }
  bool mayRun() const { return mayRun_; }
  bool quit() const { return quit_; }
  void setQuit(bool q) { quit_ = q; }
  bool previewPump() const { return previewPump_; }
  int mouseMoveCountdown() const { return mouseMoves_; }
  int frameParity() const { return frameParity_; }
  void setFrameParity(int p) { frameParity_ = p; }
  float previousFrameTime() const { return prevTime_; }
  void setPreviousFrameTime(float t) { prevTime_ = t; }
  bool tornDown() const { return tornDown_; }
  d3d8::IDirect3DDevice8* device() const { return device_; }
  // Takes a device made elsewhere (tests); the app releases it in teardown.
  void AttachDevice(d3d8::IDirect3DDevice8* device, const d3d8::D3DPRESENT_PARAMETERS& params);
  const d3d8::D3DPRESENT_PARAMETERS& presentParameters() const { return presentParams_; }
  const std::vector<MonitorEntry>& monitors() const { return monitors_; }

  using VerifyPasswordFunction = win32::BOOL (*)(HWND);
  // The Windows 9x password path, which this platform never takes on its own.
  void SetPasswordCheckForTesting(bool windows9x, VerifyPasswordFunction verify) {
    win9x_ = windows9x;
    verifyPassword_ = verify;
  }

  SettingsStore settings;
  // Overrides of the stored settings for this run (command line), applied after they are read.
  RunOptions runOptions;
  TextTable texts;
  DeviceTable devices;
  Overlays overlays;
  Log log;
  bool hasSoundEffects = true;
  FrameTimings timings;
  bool collectTimings = false;

  // One pass of the saver's run loop: a message if one waits, else a frame while the window
  // can be seen, else only `whileUnseen`. Returns the milliseconds to sleep before the next
  // pass. Drawing that resumes after a pause starts the frame clocks afresh, so the scene
  // carries on where it stopped instead of leaping over the time nothing was shown.
  win32::DWORD RunPass(win32::MSG& msg, FramePacer& pacer, SightGate& sight);
  // Whether the saver's window can be seen now; by default the platform's answer for the
  // main window (tests script it).
  std::function<win32::WindowSight()> sightQuery;
  // Work that must go on while nothing is drawn (the music's loop check).
  std::function<void()> whileUnseen;
  // Milliseconds between passes while nothing is drawn: input still ends the saver promptly.
  static constexpr win32::DWORD kUnseenWaitMs = 50;

 protected:
  int RunSaver();
  void RunPreviewPump();
  int RunCapture(const CaptureOptions& options);
  bool LoadAllForCapture(const CaptureOptions& options);
  int RunDaemon(unsigned long x11Window);
  void PrepareDrawingRun();
  bool LoadAll();
  void InstallSignalEnd();

  RunMode mode_ = RunMode::Configure;
  HWND parent_ = nullptr;
  win32::HINSTANCE instance_ = nullptr;
  HWND mainWindow_ = nullptr;
  bool mayRun_ = false;
  bool quit_ = false;
  bool previewPump_ = false;
  bool win9x_ = false;
  win32::HMODULE passwordLibrary_ = nullptr;
  VerifyPasswordFunction verifyPassword_ = nullptr;
  int mouseMoves_ = kMouseMoveTolerance;
  std::vector<MonitorEntry> monitors_;
  win32::HBITMAP previewBitmap_ = nullptr;

  d3d8::IDirect3DDevice8* device_ = nullptr;
  d3d8::D3DPRESENT_PARAMETERS presentParams_{};
  float prevTime_ = 0.0f;
  int frameParity_ = 1;
  bool tornDown_ = false;

  // Linux forms.
  unsigned long adoptWindow_ = 0;     // an X11 window to draw into (daemon forms)
  bool offscreen_ = false;            // capture: no windows, offscreen device
  UINT forcedWidth_ = 0, forcedHeight_ = 0;
  bool haveSeed_ = false;
  unsigned seed_ = 0;
  double firstPresentSeconds_ = 0.0;

 private:
  std::future<void> ahead_;
  std::atomic<bool> aheadCancelled_{false};
};

// The one application object (set by the constructor), for window and dialog procedures.
ScreenSaverApp* TheApp();

// The saver windows' procedure: forwards to TheApp()->WindowProc.
LRESULT SaverWindowProc(HWND window, UINT message, WPARAM w, LPARAM l);

// Process start as this program measures it (static initialisation).
std::chrono::steady_clock::time_point ProcessStartTime();
