// Process start-up, the run step of each mode and the saver's run loop.
#include "host/screensaver_app.h"

#include <algorithm>
#include <cstdio>

#include "config/config_dialog.h"
#include "config/print_settings.h"
#include "host/frame_pacer.h"
#include "host/timer_service.h"
#include "media/archive_reader.h"
#include "platform/win32/clock.h"
#include "platform/win32/files.h"
#include "platform/win32/messages.h"
#include "platform/win32/msgbox.h"
#include "platform/win32/native_window.h"
#include "platform/win32/resources.h"
#include "platform/win32/signals.h"

using namespace d3d8;
using namespace win32;

namespace {

using PwdChangePasswordFunction = DWORD (*)(LPCSTR provider, HWND parent, DWORD reserved1, DWORD reserved2);

}  // namespace

void ScreenSaverApp::StartUp(HINSTANCE instance, const char* commandLine) {
  texts.Load();
  InitApp();
  instance_ = instance;
  if (!offscreen_ && !adoptWindow_) {
    mode_ = ParseCommandLine(commandLine, &parent_);
  }
  switch (mode_) {
    case RunMode::Preview:
    case RunMode::Saver:
    case RunMode::Test: log.Open(kSaverLogFileName); break;
    case RunMode::Configure: log.Open(kConfigLogFileName); break;
    case RunMode::ChangePassword: break;
  }
  if (mode_ == RunMode::Preview || mode_ == RunMode::Saver || mode_ == RunMode::Test) StartLoadingAhead();
  // The adapters reflect the displays only once the windowing side has looked at them.
  if (!offscreen_) DisplayAvailable();
  mayRun_ = SUCCEEDED(devices.Enumerate(nullptr, &log));
  if (mayRun_ && !adoptWindow_ && !offscreen_) {
    if (FindWindowA(kSaverWindowClass, nullptr)) mayRun_ = false;
    const std::string& title = texts.configTitle();
    if (!title.empty() && FindWindowA(nullptr, title.c_str())) mayRun_ = false;
  }
  if (!mayRun_) return;
  QueryDeviceCaps();
  EnumerateMonitors();
  if (mode_ == RunMode::Preview || mode_ == RunMode::Saver || mode_ == RunMode::Test) {
    if (offscreen_) return;
    if (FAILED(CreateSaverWindows()))
      log.Write("Cannot create Saver Window!");
    else
      log.Write("Create Saver Window complete");
  }
  if (mode_ == RunMode::Preview && mainWindow_) RunPreviewPump();
}

void ScreenSaverApp::RunPreviewPump() {
  previewPump_ = true;
  PostMessageA(mainWindow_, WM_USER, 0, 0);
  MSG msg{};
  while (previewPump_) {
    const BOOL r = GetMessageA(&msg, mainWindow_, 0, 0);
    if (r == 0) {
      PostQuitMessage(0);
      break;
    }
    if (r < 0) break;
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
}

void ScreenSaverApp::PrepareDrawingRun() {
  settings.LoadDefaults();
  ReadSettings(settings.current);
  ReadExtraSettings();
  ApplyRunOptions(runOptions, settings.current);
  devices.SelectMode(static_cast<UINT>(settings.current.Width), static_cast<UINT>(settings.current.Height),
                     settings.current.BitCount, static_cast<D3DMULTISAMPLE_TYPE>(settings.current.FSAA));
  const DeviceSelection& sel = devices.selection();
  if (sel.width) {
    settings.current.Width = static_cast<std::int32_t>(sel.width);
    settings.current.Height = static_cast<std::int32_t>(sel.height);
    settings.current.BitCount = BitCountOf(sel.backBufferFormat);
    settings.current.FSAA = static_cast<std::int32_t>(sel.multisample);
  }
}

void ScreenSaverApp::InstallSignalEnd() {
  InstallTerminationSignals();
  SetTerminationCallback([this](int) {
    Teardown();
    PostQuitMessage(0);
  });
}

int ScreenSaverApp::Run() {
  if (!mayRun_) return 0;
  switch (mode_) {
    case RunMode::Configure:
      RunConfigurationDialog(*this);
      log.Close();
      break;
    case RunMode::ChangePassword: {
      if (HMODULE mpr = LoadLibraryA("MPR.DLL")) {
        if (auto change = reinterpret_cast<PwdChangePasswordFunction>(GetProcAddress(mpr, "PwdChangePasswordA")))
          change("SCRSAVE", parent_, 0, 0);
        FreeLibrary(mpr);
      }
      break;
    }
    case RunMode::Preview:
    case RunMode::Saver:
    case RunMode::Test:
      PrepareDrawingRun();
      RunSaver();
      if (mainWindow_ && IsWindow(mainWindow_)) DestroyWindow(mainWindow_);
      mainWindow_ = nullptr;
      break;
  }
  return 0;
}

bool ScreenSaverApp::LoadAll() {
  // Each solid archive is unpacked once for all the requests of the loading.
  const KeptArchiveStreams kept;
  const LoadingAheadEnd aheadEnd{this};
  const int created = CreateDevice();
  if (created == 1) {
    MessageBoxA(mainWindow_, "Cant get Desktop DisplayMode.", "Error!", MB_ICONERROR);
    return false;
  }
  if (created == 2) {
    MessageBoxA(mainWindow_, "Could not find any compatible Direct3D\ndevices.", "Error!", MB_ICONERROR);
    return false;
  }
  // A termination signal during loading ends the run right after the current step.
  if (TerminationSignal() != 0) return false;
  overlays.LoadDigits(&log);
  if (TerminationSignal() != 0) return false;
  LoadScene(device_);
  if (TerminationSignal() != 0) return false;
  LoadSceneExtra(device_);
  if (TerminationSignal() != 0) return false;
  StartSound();
  log.Write("All Data Was Loaded.");
  return true;
}

DWORD ScreenSaverApp::RunPass(MSG& msg, FramePacer& pacer, SightGate& sight) {
  if (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
    return 2;
  }
  if (mode_ == RunMode::Preview) return 2;
  const double now = static_cast<double>(timeGetTime());
  const SightGate::Change change = sight.Update(now, [this] {
    return (sightQuery ? sightQuery() : QueryWindowSight(mainWindow_)) == WindowSight::Visible;
  });
  if (change == SightGate::Change::Resumed) {
    // The time nothing was shown is not scene time: both frame clocks start from now.
    prevTime_ = static_cast<float>(timeGetTime());
    Timer().Start();
    pacer.Restart();
  }
  if (!sight.drawing()) {
    if (whileUnseen) whileUnseen();
    return kUnseenWaitMs;
  }
  FrameStep();
  return std::max<DWORD>(2, pacer.WaitAfterFrame(static_cast<double>(timeGetTime())));
}

int ScreenSaverApp::RunSaver() {
  InstallSignalEnd();
  SetUpPassword();
  if (mode_ != RunMode::Preview && !LoadAll()) {
    Teardown();
    return 0;
  }
  if (mainWindow_) SetTimer(mainWindow_, kFrameRateTimer, 1000, nullptr);
  quit_ = false;
  // No window, or one destroyed before the loop starts (a preview whose control panel closed
  // during the half-second pump), ends the run instead of leaving a loop nothing can end.
  if (!mainWindow_ || !IsWindow(mainWindow_)) quit_ = true;
  // Frames no faster than the display refreshes: where the swap does not wait for the
  // vertical blank the loop would otherwise draw as fast as the processor allows.
  FramePacer pacer;
  {
    D3DDISPLAYMODE displayMode{};
    if (device_ && FAILED(device_->GetDisplayMode(&displayMode))) displayMode.RefreshRate = 0;
    const AdapterRecord* adapter = devices.current();
    const unsigned rate =
        ChooseFrameRate(runOptions.maxFps, displayMode.RefreshRate, adapter ? adapter->identifier.Description : "");
    pacer.SetRefreshRate(rate);
    log.Write(("Frame rate: at most " + std::to_string(rate) + " a second").c_str());
  }
  SightGate sight;
  prevTime_ = static_cast<float>(timeGetTime());
  MSG msg{};
  msg.message = WM_NULL;
  while (msg.message != WM_QUIT && !quit_) Sleep(RunPass(msg, pacer, sight));
  // A run that ended from outside (window closed) still puts the gamma and the music back.
  if (!tornDown_ && (device_ || mode_ == RunMode::Preview)) Teardown();
  return 0;
}

// ---------------------------------------------------------------------------------------
// The Linux forms

int ScreenSaverApp::RunDaemon(unsigned long x11Window) {
  adoptWindow_ = x11Window;
  mode_ = RunMode::Saver;
  StartUp(GetModuleHandleA(nullptr), "");
  return Run();
}

namespace {

// Every mode but the password change needs a display; without one the run ends at once with
// status 1 and says what to do instead.
int NoDisplay() {
  const char* display = std::getenv("DISPLAY");
  if (display && *display)
    std::fprintf(stderr, "hoardel3d: no display could be opened (DISPLAY is \"%s\")\n", display);
  else
    std::fprintf(stderr, "hoardel3d: no display could be opened (DISPLAY is not set)\n");
  std::fprintf(stderr, "hoardel3d: to render without a display, use --capture DIR (see --help)\n");
  return 1;
}

}  // namespace

int ScreenSaverApp::Main(int argc, const char* const* argv) {
  const LoadingAheadEnd aheadEnd{this};
  // The per-run options come out of the command line before anything else reads it.
  const RunOptionsParse options = ExtractRunOptions(argc, argv);
  if (!options.ok()) {
    std::fprintf(stderr, "hoardel3d: %s\n%s", options.error.c_str(), RunOptionsUsage());
    return 2;
  }
  runOptions = options.options;
  argc = static_cast<int>(options.rest.size());
  argv = options.rest.data();
  const LinuxForm form = ParseLinuxForm(argc, argv, std::getenv("XSCREENSAVER_WINDOW"));
  switch (form.kind) {
    case LinuxForm::Help:
      std::fputs(UsageText().c_str(), stdout);
      return 0;
    case LinuxForm::Version:
      std::fputs(VersionText().c_str(), stdout);
      return 0;
    case LinuxForm::PrintSettings:
      return PrintSettingsWithRunOptions(runOptions, stdout);
    case LinuxForm::Error:
      std::fprintf(stderr, "hoardel3d: %s\n", form.error.c_str());
      return 2;
    case LinuxForm::Root: {
      if (!DisplayAvailable()) return NoDisplay();
      // XScreenSaver runs "-root" programs with the window it made for them in
      // $XSCREENSAVER_WINDOW (its virtual root); the real root lies hidden beneath it.
      unsigned long root = 0;
      if (const char* given = std::getenv("XSCREENSAVER_WINDOW"); given && *given) {
        char* end = nullptr;
        const unsigned long id = std::strtoul(given, &end, 0);
        if (end != given && *end == '\0') root = id;
      }
      if (!root) root = X11WindowOf(GetDesktopWindow());
      if (!root) {
        std::fprintf(stderr, "hoardel3d: the root window cannot be reached\n");
        return 1;
      }
      return RunDaemon(root);
    }
    case LinuxForm::WindowId:
      if (!DisplayAvailable()) return NoDisplay();
      return RunDaemon(form.windowId);
    case LinuxForm::Capture:
      return RunCapture(form.capture);
    case LinuxForm::None:
      break;
  }
  const std::string line = JoinCommandLine(argc, argv);
  HWND parent = nullptr;
  if (ParseCommandLine(line.c_str(), &parent) != RunMode::ChangePassword && !DisplayAvailable()) return NoDisplay();
  StartUp(GetModuleHandleA(nullptr), line.c_str());
  return Run();
}
