// The audio library as the program sees it: the shared object loaded at run time and its
// functions looked up by name.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>
#include <time.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <mutex>
#include <string>
#include <thread>

#include "platform/audio/bass.h"
#include "tone_ogg.h"

namespace {

using audiotest::EncodeToneOgg;
using audiotest::ToneSpec;

const char* const kAllNames[] = {
    "BASS_Start", "BASS_GetVolume", "BASS_Set3DFactors", "BASS_StreamGetLength", "BASS_ChannelBytes2Seconds",
    "BASS_StreamFree", "BASS_Stop", "BASS_ErrorGetCode", "BASS_Init", "BASS_Free", "BASS_GetCPU",
    "BASS_SetVolume", "BASS_MusicLoad", "BASS_MusicPlay", "BASS_StreamCreateFile", "BASS_StreamPlay",
    "BASS_ChannelIsActive", "BASS_ChannelGetInfo", "BASS_ChannelSlideAttributes", "BASS_ChannelIsSliding",
    "BASS_ChannelGetPosition", "BASS_ChannelGetLevel", "BASS_ChannelSetSync"};

struct Api {
  void* so = nullptr;
#define FN(name) decltype(&::name) name = nullptr;
  FN(BASS_Init) FN(BASS_Start) FN(BASS_Stop) FN(BASS_Free) FN(BASS_ErrorGetCode) FN(BASS_GetCPU)
  FN(BASS_GetVolume) FN(BASS_SetVolume) FN(BASS_Set3DFactors) FN(BASS_StreamCreateFile) FN(BASS_StreamPlay)
  FN(BASS_StreamFree) FN(BASS_StreamGetLength) FN(BASS_ChannelGetPosition) FN(BASS_ChannelBytes2Seconds)
  FN(BASS_ChannelIsActive) FN(BASS_ChannelGetInfo) FN(BASS_ChannelGetLevel) FN(BASS_MusicLoad)
  FN(BASS_MusicPlay) FN(BASS_ChannelSlideAttributes) FN(BASS_ChannelIsSliding) FN(BASS_ChannelSetSync)
  FN(HoardelAudio_SetCapture) FN(HoardelAudio_Render)
#undef FN
};

template <typename F>
void Get(void* so, const char* name, F& f) {
  void* p = dlsym(so, name);
  ASSERT_NE(p, nullptr) << name;
  std::memcpy(&f, &p, sizeof f);
}

class BassApi : public ::testing::Test {
 protected:
  void SetUp() override {
    a.so = dlopen(HOARDEL_BASS_SO, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(a.so, nullptr) << dlerror();
#define GET(name) Get(a.so, #name, a.name);
    GET(BASS_Init) GET(BASS_Start) GET(BASS_Stop) GET(BASS_Free) GET(BASS_ErrorGetCode) GET(BASS_GetCPU)
    GET(BASS_GetVolume) GET(BASS_SetVolume) GET(BASS_Set3DFactors) GET(BASS_StreamCreateFile)
    GET(BASS_StreamPlay) GET(BASS_StreamFree) GET(BASS_StreamGetLength) GET(BASS_ChannelGetPosition)
    GET(BASS_ChannelBytes2Seconds) GET(BASS_ChannelIsActive) GET(BASS_ChannelGetInfo) GET(BASS_ChannelGetLevel)
    GET(BASS_MusicLoad) GET(BASS_MusicPlay) GET(BASS_ChannelSlideAttributes) GET(BASS_ChannelIsSliding)
    GET(BASS_ChannelSetSync) GET(HoardelAudio_SetCapture) GET(HoardelAudio_Render)
#undef GET
    ToneSpec spec;
    spec.frames = 3 * 44100;
    music = EncodeToneOgg(spec);
  }
  void TearDown() override {
    if (a.BASS_Free) a.BASS_Free();
    unsetenv("HOARDEL_AUDIO_MANUAL");
    // The library stays mapped: SDL keeps its own state across tests in this process.
  }
  void InitManual() {
    setenv("HOARDEL_AUDIO_MANUAL", "1", 1);
    ASSERT_TRUE(a.BASS_Init(1, 44100, BASS_DEVICE_3D, nullptr, nullptr));
  }
  Api a;
  std::vector<unsigned char> music;
};

TEST_F(BassApi, ExportsEveryNameTheProgramLooksUpAndNothingInternal) {
  for (const char* name : kAllNames) EXPECT_NE(dlsym(a.so, name), nullptr) << name;
  // The decoder and mixer stay private to the library.
  EXPECT_EQ(dlsym(a.so, "_ZN4bass5Mixer3MixEPsm"), nullptr);
  EXPECT_EQ(dlsym(a.so, "_ZN4bass9OggStream4OpenEPKhm"), nullptr);
}

TEST_F(BassApi, CallsBeforeInitFailWithTheirErrorValues) {
  EXPECT_EQ(a.BASS_GetVolume(), static_cast<BASS_DWORD>(-1));
  EXPECT_EQ(a.BASS_ErrorGetCode(), BASS_ERROR_INIT);
  EXPECT_FALSE(a.BASS_SetVolume(50));
  EXPECT_EQ(a.BASS_StreamCreateFile(1, music.data(), 0, static_cast<BASS_DWORD>(music.size()), 0), 0u);
  EXPECT_EQ(a.BASS_ErrorGetCode(), BASS_ERROR_INIT);
  EXPECT_FALSE(a.BASS_Start());
  EXPECT_FALSE(a.HoardelAudio_Render(nullptr, 100));
}

TEST_F(BassApi, StreamsFromMemoryReportLengthsPositionsAndMix) {
  InitManual();
  EXPECT_FALSE(a.BASS_Init(1, 44100, 0, nullptr, nullptr));
  EXPECT_EQ(a.BASS_ErrorGetCode(), BASS_ERROR_ALREADY);
  EXPECT_TRUE(a.BASS_Start());
  EXPECT_EQ(a.BASS_GetVolume(), 100u);
  EXPECT_TRUE(a.BASS_SetVolume(70));
  EXPECT_EQ(a.BASS_GetVolume(), 70u);
  EXPECT_FALSE(a.BASS_SetVolume(101));
  EXPECT_EQ(a.BASS_ErrorGetCode(), BASS_ERROR_ILLPARAM);
  EXPECT_EQ(a.BASS_GetVolume(), 70u);
  EXPECT_TRUE(a.BASS_Set3DFactors(1.0f, 1.0f, 1.0f));

  const auto size = static_cast<BASS_DWORD>(music.size());
  HSTREAM s = a.BASS_StreamCreateFile(1, music.data(), 0, size, 0);
  ASSERT_NE(s, 0u);
  EXPECT_EQ(a.BASS_StreamGetLength(s), 3u * 44100 * 4);
  EXPECT_FLOAT_EQ(a.BASS_ChannelBytes2Seconds(s, a.BASS_StreamGetLength(s)), 3.0f);
  EXPECT_FLOAT_EQ(a.BASS_ChannelBytes2Seconds(s, 44100 * 2), 0.5f);
  BASS_CHANNELINFO info{};
  ASSERT_TRUE(a.BASS_ChannelGetInfo(s, &info));
  EXPECT_EQ(info.freq, 44100u);
  EXPECT_EQ(info.chans, 2u);
  EXPECT_EQ(a.BASS_ChannelIsActive(s), static_cast<BASS_DWORD>(BASS_ACTIVE_STOPPED));

  // Capture sees exactly what Render hands out.
  struct Capture {
    std::vector<std::int16_t> samples;
  } cap;
  a.HoardelAudio_SetCapture(
      [](const int16_t* p, BASS_DWORD frames, void* user) {
        auto* c = static_cast<Capture*>(user);
        c->samples.insert(c->samples.end(), p, p + frames * 2);
      },
      &cap);
  ASSERT_TRUE(a.BASS_StreamPlay(s, 1, 0));
  EXPECT_EQ(a.BASS_ChannelIsActive(s), static_cast<BASS_DWORD>(BASS_ACTIVE_PLAYING));
  std::vector<std::int16_t> out(4410 * 2);
  ASSERT_TRUE(a.HoardelAudio_Render(out.data(), 4410));
  a.HoardelAudio_SetCapture(nullptr, nullptr);
  EXPECT_EQ(cap.samples, out);
  EXPECT_EQ(a.BASS_ChannelGetPosition(s), 4410u * 4);
  EXPECT_NEAR(a.BASS_ChannelBytes2Seconds(s, a.BASS_ChannelGetPosition(s)), 0.1, 1e-6);
  BASS_DWORD level = a.BASS_ChannelGetLevel(s);
  // 0.4 full scale before the master volume.
  EXPECT_NEAR(level & 0xFFFF, 0.4 * 32767, 800);
  EXPECT_NEAR(level >> 16, 0.4 * 32767, 800);
  int peak = 0;
  for (auto v : out) peak = std::max(peak, std::abs(static_cast<int>(v)));
  EXPECT_NEAR(peak, 0.4 * 0.7 * 32767, 600);  // master volume 70 %

  // Flush restarts from the beginning.
  ASSERT_TRUE(a.BASS_StreamPlay(s, 1, 0));
  EXPECT_EQ(a.BASS_ChannelGetPosition(s), 0u);

  // Stop halts everything; freed handles are gone.
  EXPECT_TRUE(a.BASS_Stop());
  EXPECT_EQ(a.BASS_ChannelIsActive(s), static_cast<BASS_DWORD>(BASS_ACTIVE_STOPPED));
  a.BASS_StreamFree(s);
  EXPECT_EQ(a.BASS_ErrorGetCode(), BASS_OK);
  EXPECT_EQ(a.BASS_StreamGetLength(s), static_cast<BASS_QWORD>(-1));
  EXPECT_EQ(a.BASS_ErrorGetCode(), BASS_ERROR_HANDLE);
  EXPECT_FALSE(a.BASS_StreamPlay(s, 1, 0));
  EXPECT_LT(a.BASS_ChannelBytes2Seconds(s, 100), 0.0f);
  a.BASS_Free();
  EXPECT_EQ(a.BASS_GetVolume(), static_cast<BASS_DWORD>(-1));
}

TEST_F(BassApi, DamagedDataGivesAZeroHandleAndFilesWork) {
  InitManual();
  std::vector<unsigned char> junk(music.begin(), music.begin() + 200);
  for (std::size_t i = 28; i < 60; ++i) junk[i] ^= 0xFF;
  EXPECT_EQ(a.BASS_StreamCreateFile(1, junk.data(), 0, static_cast<BASS_DWORD>(junk.size()), 0), 0u);
  EXPECT_EQ(a.BASS_ErrorGetCode(), BASS_ERROR_FORMAT);
  EXPECT_EQ(a.BASS_StreamCreateFile(1, music.data(), 0, 0, 0), 0u);
  EXPECT_EQ(a.BASS_StreamCreateFile(1, nullptr, 0, 10, 0), 0u);
  // From a file, with an offset: the Ogg sits after 100 bytes of something else.
  std::vector<unsigned char> padded(100 + music.size(), 0xEE);
  std::memcpy(padded.data() + 100, music.data(), music.size());
  std::string path = ::testing::TempDir() + "bass_api_test.ogg";
  ASSERT_TRUE(audiotest::WriteFile(path, padded));
  HSTREAM f = a.BASS_StreamCreateFile(0, path.c_str(), 100, 0, 0);
  EXPECT_NE(f, 0u);
  EXPECT_EQ(a.BASS_StreamGetLength(f), 3u * 44100 * 4);
  // The length bounds what is read: 200 bytes of it are not a whole stream.
  EXPECT_EQ(a.BASS_StreamCreateFile(0, path.c_str(), 100, 200, 0), 0u);
  EXPECT_EQ(a.BASS_StreamCreateFile(0, path.c_str(), static_cast<BASS_DWORD>(padded.size() + 1), 0, 0), 0u);
  EXPECT_EQ(a.BASS_StreamCreateFile(0, "/nonexistent/x.ogg", 0, 0, 0), 0u);
  EXPECT_EQ(a.BASS_ErrorGetCode(), BASS_ERROR_FILEOPEN);
  std::remove(path.c_str());
  // The functions the program only looks up answer "not available".
  EXPECT_EQ(a.BASS_MusicLoad(1, music.data(), 0, 10, 0, 44100), 0u);
  EXPECT_EQ(a.BASS_ErrorGetCode(), BASS_ERROR_NOTAVAIL);
  EXPECT_FALSE(a.BASS_MusicPlay(1));
  EXPECT_FALSE(a.BASS_ChannelSlideAttributes(f, -1, 0, -101, 100));
  EXPECT_EQ(a.BASS_ChannelSetSync(f, 2, 0, nullptr, 0), 0u);
  EXPECT_EQ(a.BASS_ErrorGetCode(), BASS_ERROR_NOTAVAIL);
}

TEST_F(BassApi, NoUsableDeviceFailsInitCleanly) {
  unsetenv("HOARDEL_AUDIO_MANUAL");
  const char* old = std::getenv("SDL_AUDIODRIVER");
  std::string saved = old ? old : "";
  setenv("SDL_AUDIODRIVER", "no-such-driver", 1);
  EXPECT_FALSE(a.BASS_Init(1, 44100, BASS_DEVICE_3D, nullptr, nullptr));
  EXPECT_TRUE(a.BASS_ErrorGetCode() == BASS_ERROR_DRIVER || a.BASS_ErrorGetCode() == BASS_ERROR_DEVICE);
  setenv("SDL_AUDIODRIVER", "dummy", 1);
  EXPECT_FALSE(a.BASS_Init(99, 44100, 0, nullptr, nullptr));
  EXPECT_EQ(a.BASS_ErrorGetCode(), BASS_ERROR_DEVICE);
  EXPECT_EQ(a.BASS_GetVolume(), static_cast<BASS_DWORD>(-1));
  if (old) setenv("SDL_AUDIODRIVER", saved.c_str(), 1); else unsetenv("SDL_AUDIODRIVER");
}

// Probing ALSA without a sound card makes its library print diagnostics of its own; the
// failure is ours to report, not ALSA's to print. Run in a child: SDL's audio state and
// stderr are the process's.
TEST_F(BassApi, ProbingAlsaPrintsNothingOfItsOwn) {
  char path[] = "/tmp/hoardel-alsa-XXXXXX";
  const int fd = mkstemp(path);
  ASSERT_GE(fd, 0);
  const pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    dup2(fd, 2);
    unsetenv("HOARDEL_AUDIO_MANUAL");
    setenv("SDL_AUDIODRIVER", "alsa", 1);
    const bool ok = a.BASS_Init(-1, 44100, 0, nullptr, nullptr);
    a.BASS_Free();
    _exit(ok ? 0 : 1);  // no card (CI) or a working one: either is fine
  }
  int status = 0;
  ASSERT_EQ(waitpid(pid, &status, 0), pid);
  close(fd);
  EXPECT_TRUE(WIFEXITED(status)) << "the probe crashed";
  std::ifstream in(path);
  const std::string err((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  unlink(path);
  EXPECT_EQ(err.find("ALSA lib"), std::string::npos) << err;
}

double ProcessCpuSeconds() {
  timespec ts{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
  return ts.tv_sec + ts.tv_nsec * 1e-9;
}

TEST_F(BassApi, PositionAdvancesInRealTimeOnTheDummyDriver) {
  unsetenv("HOARDEL_AUDIO_MANUAL");
  setenv("SDL_AUDIODRIVER", "dummy", 1);
  ASSERT_TRUE(a.BASS_Init(1, 44100, BASS_DEVICE_3D, nullptr, nullptr)) << a.BASS_ErrorGetCode();
  // Opening the output leaves the process's termination signals to the program.
  for (int sig : {SIGINT, SIGTERM}) {
    struct sigaction sa{};
    ASSERT_EQ(sigaction(sig, nullptr, &sa), 0);
    EXPECT_EQ(sa.sa_handler, SIG_DFL) << sig;
  }
  struct Count {
    std::atomic<unsigned long> frames{0};
  } count;
  a.HoardelAudio_SetCapture(
      [](const int16_t*, BASS_DWORD frames, void* user) { static_cast<Count*>(user)->frames += frames; }, &count);
  const auto size = static_cast<BASS_DWORD>(music.size());
  HSTREAM s = a.BASS_StreamCreateFile(1, music.data(), 0, size, 0);
  HSTREAM t = a.BASS_StreamCreateFile(1, music.data(), 0, size, 0);
  ASSERT_TRUE(s && t);
  const double cpu0 = ProcessCpuSeconds();
  const auto t0 = std::chrono::steady_clock::now();
  ASSERT_TRUE(a.BASS_StreamPlay(s, 1, 0));
  ASSERT_TRUE(a.BASS_StreamPlay(t, 1, 0));
  std::this_thread::sleep_for(std::chrono::milliseconds(1200));
  const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  const double played = a.BASS_ChannelBytes2Seconds(s, a.BASS_ChannelGetPosition(s));
  const double cpu = ProcessCpuSeconds() - cpu0;
  a.HoardelAudio_SetCapture(nullptr, nullptr);
  // The device pulls ahead by at most a buffer or two (2048 frames, 46 ms each).
  EXPECT_NEAR(played, wall, 0.2);
  EXPECT_NEAR(static_cast<double>(count.frames.load()) / 44100.0, wall, 0.2);
  std::printf("played %.3f s in %.3f s; audio thread CPU %.2f %% of one core (mixing alone %.2f %%)\n", played,
              wall, 100.0 * cpu / wall, a.BASS_GetCPU());
  ::testing::Test::RecordProperty("audio_cpu_percent_x100", static_cast<int>(10000.0 * cpu / wall));
}

}  // namespace
