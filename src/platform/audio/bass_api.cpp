// The exported C functions of the audio library: one output device (SDL2 audio, its own
// thread) fed by the mixer.
#include <SDL.h>
#include <dlfcn.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/audio/bass.h"
#include "platform/audio/mixer.h"

#define BASS_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

using bass::Mixer;
using bass::OggStream;

// A stream read from a file is copied into memory; this bounds the copy.
constexpr long kMaxFileBytes = 512L << 20;

thread_local int tError = BASS_OK;

struct Engine {
  std::mutex mutex;  // serialises the exported calls that change the device
  bool initialised = false;
  bool manual = false;  // output advances only through HoardelAudio_Render
  SDL_AudioDeviceID device = 0;
  bool sdlAudio = false;
  std::shared_ptr<Mixer> mixer;
  std::atomic<HoardelAudioCaptureProc*> capture{nullptr};
  std::atomic<void*> captureUser{nullptr};
  std::atomic<float> cpu{0.0f};

  ~Engine() { Shutdown(); }  // at exit, stop the output thread before anything it uses goes away

  void Shutdown() {
    std::lock_guard lock(mutex);
    if (device) SDL_CloseAudioDevice(device);  // joins the output thread
    device = 0;
    if (sdlAudio) SDL_QuitSubSystem(SDL_INIT_AUDIO);
    sdlAudio = false;
    mixer.reset();
    initialised = false;
    manual = false;
  }
};

Engine& TheEngine() {
  static Engine engine;
  return engine;
}

template <typename T>
T Fail(int code, T value) {
  tError = code;
  return value;
}

template <typename T>
T Ok(T value) {
  tError = BASS_OK;
  return value;
}

void Deliver(Engine& e, Mixer& mixer, std::int16_t* out, std::size_t frames) {
  auto start = std::chrono::steady_clock::now();
  mixer.Mix(out, frames);
  double spent = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  double span = static_cast<double>(frames) / mixer.outputRate();
  if (span > 0) e.cpu.store(static_cast<float>(100.0 * spent / span), std::memory_order_relaxed);
  if (auto* proc = e.capture.load(std::memory_order_acquire))
    proc(out, static_cast<BASS_DWORD>(frames), e.captureUser.load(std::memory_order_acquire));
}

void OutputCallback(void* userdata, Uint8* stream, int len) {
  auto* mixer = static_cast<Mixer*>(userdata);
  Deliver(TheEngine(), *mixer, reinterpret_cast<std::int16_t*>(stream), static_cast<std::size_t>(len) / 4);
}

std::shared_ptr<Mixer> CurrentMixer() {
  Engine& e = TheEngine();
  std::lock_guard lock(e.mutex);
  return e.initialised ? e.mixer : nullptr;
}

std::unique_ptr<OggStream> OpenFromFile(const char* path, BASS_DWORD offset, BASS_DWORD length) {
  std::FILE* f = std::fopen(path, "rb");
  if (!f) return nullptr;
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> guard(f, std::fclose);
  if (std::fseek(f, 0, SEEK_END) != 0) return nullptr;
  long size = std::ftell(f);
  if (size < 0 || static_cast<unsigned long>(offset) > static_cast<unsigned long>(size)) return nullptr;
  long avail = size - static_cast<long>(offset);
  long want = length == 0 ? avail : std::min<long>(avail, static_cast<long>(length));
  if (want <= 0 || want > kMaxFileBytes) return nullptr;
  std::vector<unsigned char> bytes(static_cast<std::size_t>(want));
  if (std::fseek(f, static_cast<long>(offset), SEEK_SET) != 0 ||
      std::fread(bytes.data(), 1, bytes.size(), f) != bytes.size())
    return nullptr;
  return OggStream::OpenOwned(std::move(bytes));
}

}  // namespace

namespace {

// ALSA's library prints its own diagnostics to stderr when SDL probes it on a machine without
// a sound card; the outcome reaches us as SDL's result anyway. Quiet while the device is
// being found and opened, and the default handler is back before this library could be
// unloaded.
class QuietAlsaDiagnostics {
 public:
  QuietAlsaDiagnostics() {
    alsa_ = dlopen("libasound.so.2", RTLD_LAZY | RTLD_LOCAL);
    if (alsa_) set_ = reinterpret_cast<SetHandler>(dlsym(alsa_, "snd_lib_error_set_handler"));
    if (set_) set_(&Silent);
  }
  ~QuietAlsaDiagnostics() {
    if (set_) set_(nullptr);
    if (alsa_) dlclose(alsa_);
  }
  QuietAlsaDiagnostics(const QuietAlsaDiagnostics&) = delete;
  QuietAlsaDiagnostics& operator=(const QuietAlsaDiagnostics&) = delete;

 private:
  using Handler = void (*)(const char*, int, const char*, int, const char*, ...);
  using SetHandler = int (*)(Handler);
  static void Silent(const char*, int, const char*, int, const char*, ...) {}
  void* alsa_ = nullptr;
  SetHandler set_ = nullptr;
};

}  // namespace

BASS_EXPORT BASS_BOOL BASS_Init(int device, BASS_DWORD freq, BASS_DWORD flags, void* win, const void* clsid) {
  (void)flags;  // 8-bit, mono and 3D output all mix to 16-bit stereo here
  (void)win;
  (void)clsid;
  Engine& e = TheEngine();
  std::lock_guard lock(e.mutex);
  if (e.initialised) return Fail(BASS_ERROR_ALREADY, 0);
  if (device < -1) return Fail(BASS_ERROR_DEVICE, 0);
  if (freq == 0) freq = 44100;
  if (freq < 1000 || freq > 384000) return Fail(BASS_ERROR_ILLPARAM, 0);
  auto mixer = std::make_shared<Mixer>(freq);
  const char* manual = std::getenv("HOARDEL_AUDIO_MANUAL");
  if (device == 0 || (manual && *manual)) {
    // No sound: everything works, nothing is heard.
    e.manual = true;
  } else {
    // Audio brings up SDL's event subsystem, which would otherwise take SIGINT and SIGTERM
    // for itself; the program handles those. A hint set by the program still wins.
    SDL_SetHintWithPriority(SDL_HINT_NO_SIGNAL_HANDLERS, "1", SDL_HINT_DEFAULT);
    QuietAlsaDiagnostics quiet;
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) return Fail(BASS_ERROR_DRIVER, 0);
    const char* name = nullptr;
    if (device > 1) {
      name = SDL_GetAudioDeviceName(device - 1, 0);
      if (!name) {
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
        return Fail(BASS_ERROR_DEVICE, 0);
      }
    }
    SDL_AudioSpec want{};
    want.freq = static_cast<int>(freq);
    want.format = AUDIO_S16SYS;
    want.channels = 2;
    want.samples = 2048;
    want.callback = OutputCallback;
    want.userdata = mixer.get();
    SDL_AudioSpec have{};
    // No changes allowed: SDL converts to whatever the device wants.
    SDL_AudioDeviceID id = SDL_OpenAudioDevice(name, 0, &want, &have, 0);
    if (id == 0) {
      SDL_QuitSubSystem(SDL_INIT_AUDIO);
      return Fail(BASS_ERROR_DEVICE, 0);
    }
    e.sdlAudio = true;
    e.device = id;
    SDL_PauseAudioDevice(id, 0);
  }
  e.mixer = std::move(mixer);
  e.initialised = true;
  return Ok(1);
}

BASS_EXPORT BASS_BOOL BASS_Start(void) {
  Engine& e = TheEngine();
  std::lock_guard lock(e.mutex);
  if (!e.initialised) return Fail(BASS_ERROR_INIT, 0);
  if (e.device) SDL_PauseAudioDevice(e.device, 0);
  return Ok(1);
}

BASS_EXPORT BASS_BOOL BASS_Stop(void) {
  Engine& e = TheEngine();
  std::lock_guard lock(e.mutex);
  if (!e.initialised) return Fail(BASS_ERROR_INIT, 0);
  if (e.device) SDL_PauseAudioDevice(e.device, 1);
  e.mixer->StopAll();
  return Ok(1);
}

BASS_EXPORT void BASS_Free(void) {
  TheEngine().Shutdown();
  tError = BASS_OK;
}

BASS_EXPORT int BASS_ErrorGetCode(void) { return tError; }

BASS_EXPORT float BASS_GetCPU(void) { return TheEngine().cpu.load(std::memory_order_relaxed); }

BASS_EXPORT BASS_DWORD BASS_GetVolume(void) {
  auto m = CurrentMixer();
  if (!m) return Fail(BASS_ERROR_INIT, static_cast<BASS_DWORD>(-1));
  return Ok(m->Volume());
}

BASS_EXPORT BASS_BOOL BASS_SetVolume(BASS_DWORD volume) {
  auto m = CurrentMixer();
  if (!m) return Fail(BASS_ERROR_INIT, 0);
  if (volume > 100) return Fail(BASS_ERROR_ILLPARAM, 0);
  m->SetVolume(volume);
  return Ok(1);
}

BASS_EXPORT BASS_BOOL BASS_Set3DFactors(float distf, float rollf, float doppf) {
  (void)distf;  // nothing is positioned in 3D; the factors are accepted and unused
  (void)rollf;
  (void)doppf;
  if (!CurrentMixer()) return Fail(BASS_ERROR_INIT, 0);
  return Ok(1);
}

BASS_EXPORT HSTREAM BASS_StreamCreateFile(BASS_BOOL mem, const void* file, BASS_DWORD offset, BASS_DWORD length,
                                          BASS_DWORD flags) {
  auto m = CurrentMixer();
  if (!m) return Fail(BASS_ERROR_INIT, 0u);
  if (!file) return Fail(BASS_ERROR_ILLPARAM, 0u);
  std::unique_ptr<OggStream> s;
  if (mem) {
    if (length == 0) return Fail(BASS_ERROR_ILLPARAM, 0u);
    s = OggStream::Open(static_cast<const unsigned char*>(file) + offset, length);
  } else {
    std::FILE* probe = std::fopen(static_cast<const char*>(file), "rb");
    if (!probe) return Fail(BASS_ERROR_FILEOPEN, 0u);
    std::fclose(probe);
    s = OpenFromFile(static_cast<const char*>(file), offset, length);
  }
  if (!s) return Fail(BASS_ERROR_FORMAT, 0u);
  return Ok(m->Add(std::move(s), (flags & BASS_SAMPLE_LOOP) != 0));
}

BASS_EXPORT BASS_BOOL BASS_StreamPlay(HSTREAM handle, BASS_BOOL flush, BASS_DWORD flags) {
  auto m = CurrentMixer();
  if (!m) return Fail(BASS_ERROR_INIT, 0);
  if (!m->Query(handle, nullptr)) return Fail(BASS_ERROR_HANDLE, 0);
  if (!m->Play(handle, flush != 0, (flags & BASS_SAMPLE_LOOP) != 0)) return Fail(BASS_ERROR_FORMAT, 0);
  return Ok(1);
}

BASS_EXPORT void BASS_StreamFree(HSTREAM handle) {
  auto m = CurrentMixer();
  if (!m) {
    tError = BASS_ERROR_INIT;
    return;
  }
  tError = m->Free(handle) ? BASS_OK : BASS_ERROR_HANDLE;
}

BASS_EXPORT BASS_QWORD BASS_StreamGetLength(HSTREAM handle) {
  Mixer::Info info;
  auto m = CurrentMixer();
  if (!m) return Fail(BASS_ERROR_INIT, static_cast<BASS_QWORD>(-1));
  if (!m->Query(handle, &info)) return Fail(BASS_ERROR_HANDLE, static_cast<BASS_QWORD>(-1));
  return Ok<BASS_QWORD>(info.lengthBytes);
}

BASS_EXPORT BASS_QWORD BASS_ChannelGetPosition(BASS_DWORD handle) {
  Mixer::Info info;
  auto m = CurrentMixer();
  if (!m) return Fail(BASS_ERROR_INIT, static_cast<BASS_QWORD>(-1));
  if (!m->Query(handle, &info)) return Fail(BASS_ERROR_HANDLE, static_cast<BASS_QWORD>(-1));
  return Ok<BASS_QWORD>(info.positionBytes);
}

BASS_EXPORT float BASS_ChannelBytes2Seconds(BASS_DWORD handle, BASS_QWORD pos) {
  Mixer::Info info;
  auto m = CurrentMixer();
  if (!m) return Fail(BASS_ERROR_INIT, -1.0f);
  if (!m->Query(handle, &info)) return Fail(BASS_ERROR_HANDLE, -1.0f);
  const double bytesPerSecond = static_cast<double>(info.rate) * info.channels * 2.0;
  return Ok(static_cast<float>(static_cast<double>(pos) / bytesPerSecond));
}

BASS_EXPORT BASS_DWORD BASS_ChannelIsActive(BASS_DWORD handle) {
  Mixer::Info info;
  auto m = CurrentMixer();
  if (!m) return Fail(BASS_ERROR_INIT, static_cast<BASS_DWORD>(BASS_ACTIVE_STOPPED));
  if (!m->Query(handle, &info)) return Fail(BASS_ERROR_HANDLE, static_cast<BASS_DWORD>(BASS_ACTIVE_STOPPED));
  return Ok(static_cast<BASS_DWORD>(info.playing ? BASS_ACTIVE_PLAYING : BASS_ACTIVE_STOPPED));
}

BASS_EXPORT BASS_BOOL BASS_ChannelGetInfo(BASS_DWORD handle, BASS_CHANNELINFO* out) {
  Mixer::Info info;
  auto m = CurrentMixer();
  if (!m) return Fail(BASS_ERROR_INIT, 0);
  if (!out) return Fail(BASS_ERROR_ILLPARAM, 0);
  if (!m->Query(handle, &info)) return Fail(BASS_ERROR_HANDLE, 0);
  out->freq = info.rate;
  out->chans = info.channels;
  out->flags = info.loop ? BASS_SAMPLE_LOOP : 0;
  out->ctype = 0x10002;  // Ogg Vorbis stream
  return Ok(1);
}

BASS_EXPORT BASS_DWORD BASS_ChannelGetLevel(BASS_DWORD handle) {
  Mixer::Info info;
  auto m = CurrentMixer();
  if (!m) return Fail(BASS_ERROR_INIT, static_cast<BASS_DWORD>(-1));
  if (!m->Query(handle, &info)) return Fail(BASS_ERROR_HANDLE, static_cast<BASS_DWORD>(-1));
  return Ok(info.playing ? info.level : 0u);
}

BASS_EXPORT HMUSIC BASS_MusicLoad(BASS_BOOL, const void*, BASS_DWORD, BASS_DWORD, BASS_DWORD, BASS_DWORD) {
  return Fail(BASS_ERROR_NOTAVAIL, 0u);
}

BASS_EXPORT BASS_BOOL BASS_MusicPlay(HMUSIC) { return Fail(BASS_ERROR_NOTAVAIL, 0); }

BASS_EXPORT BASS_BOOL BASS_ChannelSlideAttributes(BASS_DWORD, int, int, int, BASS_DWORD) {
  return Fail(BASS_ERROR_NOTAVAIL, 0);
}

BASS_EXPORT BASS_DWORD BASS_ChannelIsSliding(BASS_DWORD) { return Fail(BASS_ERROR_NOTAVAIL, 0u); }

BASS_EXPORT HSYNC BASS_ChannelSetSync(BASS_DWORD, BASS_DWORD, BASS_QWORD, SYNCPROC*, BASS_DWORD) {
  return Fail(BASS_ERROR_NOTAVAIL, 0u);
}

BASS_EXPORT void HoardelAudio_SetCapture(HoardelAudioCaptureProc* proc, void* user) {
  Engine& e = TheEngine();
  e.capture.store(nullptr, std::memory_order_release);
  e.captureUser.store(user, std::memory_order_release);
  e.capture.store(proc, std::memory_order_release);
}

BASS_EXPORT BASS_BOOL HoardelAudio_Render(int16_t* out, BASS_DWORD frames) {
  Engine& e = TheEngine();
  std::shared_ptr<Mixer> m;
  {
    std::lock_guard lock(e.mutex);
    if (!e.initialised) return Fail(BASS_ERROR_INIT, 0);
    if (!e.manual) return Fail(BASS_ERROR_NOTAVAIL, 0);
    m = e.mixer;
  }
  std::vector<std::int16_t> scratch;
  if (!out) {
    scratch.resize(static_cast<std::size_t>(frames) * 2);
    out = scratch.data();
  }
  Deliver(e, *m, out, frames);
  return Ok(1);
}
