// The offscreen capture run: the saver's start-up and frame loop without windows, on a
// manual clock that advances by a fixed step per frame, writing the presented frames as PNG
// files.
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <future>
#include <string>
#include <system_error>

#include "host/screensaver_app.h"
#include "media/archive_reader.h"
#include "platform/win32/clock.h"
#include "platform/win32/resources.h"
#include "platform/win32/signals.h"

using namespace d3d8;

namespace {

bool WriteFrame(IDirect3DDevice8* device, const std::string& path) {
  std::vector<std::uint8_t> rgba;
  UINT w = 0, h = 0;
  if (FAILED(ReadPresentedFrame(device, rgba, w, h)) || FAILED(WriteRgbaPng(path, rgba, w, h))) {
    std::fprintf(stderr, "hoardel3d: cannot write %s\n", path.c_str());
    return false;
  }
  return true;
}

double Percentile(std::vector<double> v, double p) {
  if (v.empty()) return 0.0;
  std::sort(v.begin(), v.end());
  const std::size_t i = std::min(v.size() - 1, static_cast<std::size_t>(p * static_cast<double>(v.size() - 1) + 0.5));
  return v[i];
}

void PrintTimings(const char* what, const std::vector<double>& v) {
  std::printf("%-12s median %8.3f ms   p95 %8.3f ms\n", what, Percentile(v, 0.5) * 1000.0,
              Percentile(v, 0.95) * 1000.0);
}

// Says how far an interrupted capture got; the exit status is the shell's 128 + signal.
int Interrupted(int signal, int written, int rendered) {
  std::fprintf(stderr, "hoardel3d: capture stopped by signal %d after %d frame%s; %d frame file%s written\n",
               signal, rendered, rendered == 1 ? "" : "s", written, written == 1 ? "" : "s");
  return 128 + signal;
}

double SecondsSinceStart() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - ProcessStartTime()).count();
}

}  // namespace

int ScreenSaverApp::RunCapture(const CaptureOptions& options) {
  std::error_code ec;
  std::filesystem::create_directories(options.dir, ec);
  if (!std::filesystem::is_directory(options.dir, ec)) {
    std::fprintf(stderr, "hoardel3d: cannot create the folder %s\n", options.dir.c_str());
    return 1;
  }
  offscreen_ = true;
  mode_ = RunMode::Saver;
  forcedWidth_ = static_cast<UINT>(options.width);
  forcedHeight_ = static_cast<UINT>(options.height);
  haveSeed_ = options.haveSeed;
  seed_ = options.seed;
  if (options.haveTime) win32::SetFixedLocalTime(options.hour, options.minute, options.second);
  win32::EnableManualClock(1000.0);
  collectTimings = options.stats;

  StartUp(win32::GetModuleHandleA(nullptr), "");
  if (!mayRun_) return 1;
  PrepareDrawingRun();
  if (!forcedWidth_) {
    // Without --size the selected display mode gives the picture's size.
    forcedWidth_ = static_cast<UINT>(settings.current.Width);
    forcedHeight_ = static_cast<UINT>(settings.current.Height);
  }
  win32::InstallTerminationSignals();
  const bool loaded = LoadAllForCapture(options);
  if (!loaded || win32::TerminationSignal() != 0) {
    Teardown();
    win32::DisableManualClock();
    if (const int sig = win32::TerminationSignal())
      return Interrupted(sig, 0, 0);
    return 1;
  }
  const double toLoadingScreen = firstPresentSeconds_;
  prevTime_ = static_cast<float>(win32::timeGetTime());
  quit_ = false;
  bool ok = true;
  double sinceTick = 0.0;
  double toFirstFrame = 0.0;
  int rendered = 0, written = 0;
  for (int frame = 1; frame <= options.frames && !quit_; ++frame) {
    if (win32::PollTermination()) break;
    win32::AdvanceManualClock(options.dt);
    // The frame-rate timer ticks on the capture's own clock.
    sinceTick += options.dt;
    while (sinceTick >= 1.0) {
      overlays.Tick();
      sinceTick -= 1.0;
    }
    FrameStep();
    if (frame == 1) toFirstFrame = SecondsSinceStart();
    const bool write = frame == options.frames || (options.every > 0 && frame % options.every == 0);
    if (write && device_) {
      char name[32];
      std::snprintf(name, sizeof name, "frame-%04d.png", frame);
      const bool wrote = WriteFrame(device_, (std::filesystem::path(options.dir) / name).string());
      written += wrote ? 1 : 0;
      ok = wrote && ok;
    }
    rendered = frame;
  }
  if (options.stats) {
    std::printf("frames %d at %dx%d, dt %.4f s\n", static_cast<int>(timings.frameStep.size()),
                static_cast<int>(presentParams_.BackBufferWidth), static_cast<int>(presentParams_.BackBufferHeight),
                options.dt);
    PrintTimings("frame step", timings.frameStep);
    PrintTimings("FrameMove", timings.frameMove);
    PrintTimings("Render", timings.render);
    std::printf("start to first present (loading screen) %.1f ms\n", toLoadingScreen * 1000.0);
    std::printf("start to first frame %.1f ms\n", toFirstFrame * 1000.0);
  }
  Teardown();
  win32::DisableManualClock();
  // A capture cut short by a signal is not a finished one, whatever it wrote so far.
  if (rendered < options.frames && win32::TerminationSignal() != 0)
    return Interrupted(win32::TerminationSignal(), written, rendered);
  return ok ? 0 : 1;
}

bool ScreenSaverApp::LoadAllForCapture(const CaptureOptions& options) {
  // Same order as a windowed run; the loading screen is kept as its own picture.
  const KeptArchiveStreams kept;
  const LoadingAheadEnd aheadEnd{this};
  const int created = CreateDevice();
  if (created != 0) {
    std::fprintf(stderr, "hoardel3d: no offscreen Direct3D device (%d)\n", created);
    return false;
  }
  firstPresentSeconds_ = SecondsSinceStart();
  // The loading screen is read back now and compressed on a worker while the scene loads;
  // the worker is joined when this function returns, on every path.
  std::future<void> loadingPicture;
  {
    std::vector<std::uint8_t> rgba;
    UINT w = 0, h = 0;
    std::string path = (std::filesystem::path(options.dir) / "loading.png").string();
    if (FAILED(ReadPresentedFrame(device_, rgba, w, h)))
      std::fprintf(stderr, "hoardel3d: cannot write %s\n", path.c_str());
    else
      loadingPicture = std::async(std::launch::async, [path = std::move(path), rgba = std::move(rgba), w, h] {
        if (FAILED(WriteRgbaPng(path, rgba, w, h))) std::fprintf(stderr, "hoardel3d: cannot write %s\n", path.c_str());
      });
  }
  // A termination signal ends the loading after the current step, as in a windowed run.
  if (win32::TerminationSignal() != 0) return false;
  overlays.LoadDigits(&log);
  if (win32::TerminationSignal() != 0) return false;
  LoadScene(device_);
  if (win32::TerminationSignal() != 0) return false;
  LoadSceneExtra(device_);
  if (win32::TerminationSignal() != 0) return false;
  StartSound();
  log.Write("All Data Was Loaded.");
  return true;
}
