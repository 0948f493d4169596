// Music playback with the real audio library written out of this test's resources. Output is
// driven by hand ($HOARDEL_AUDIO_MANUAL) so that the loop can be checked sample by sample.
#include <dirent.h>
#include <gtest/gtest.h>
#include <malloc.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "platform/win32/files.h"
#include "platform/win32/registry.h"
#include "platform/win32/resources.h"
#include "config/settings.h"
#include "sound/music_player.h"
#include "tone_ogg.h"

namespace {

namespace fs = std::filesystem;
using sound::MusicPlayer;

constexpr unsigned kShortMusic = 9470;    // 3 s
constexpr unsigned kDamagedMusic = 9472;  // Ogg with a wrecked header
constexpr unsigned kMissing = 9999;
constexpr int kRate = 44100;
constexpr int kFrameStep = kRate / 60;  // one video frame of output at 60 Hz

std::set<std::string> Listing(const std::string& dir) {
  std::set<std::string> names;
  std::error_code ec;
  for (const auto& e : fs::directory_iterator(dir, ec)) names.insert(e.path().filename().string());
  return names;
}

std::vector<unsigned char> ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void SetPathValue(const std::string& folder) {
  win32::HKEY key = nullptr;
  ASSERT_EQ(win32::RegCreateKeyExA(win32::HKEY_CURRENT_USER, kSettingsKeyPath, 0, nullptr, 0, win32::KEY_WRITE,
                                   nullptr, &key, nullptr),
            win32::ERROR_SUCCESS);
  ASSERT_EQ(win32::RegSetValueExA(key, "Path", 0, win32::REG_SZ, reinterpret_cast<const win32::BYTE*>(folder.c_str()),
                                  static_cast<win32::DWORD>(folder.size() + 1)),
            win32::ERROR_SUCCESS);
  win32::RegCloseKey(key);
}

template <typename F>
F Symbol(win32::HMODULE m, const char* name) {
  win32::FARPROC p = win32::GetProcAddress(m, name);
  F f = nullptr;
  std::memcpy(&f, &p, sizeof f);
  return f;
}

struct Capture {
  std::vector<std::int16_t> samples;
  static void Proc(const int16_t* p, BASS_DWORD frames, void* user) {
    auto* c = static_cast<Capture*>(user);
    c->samples.insert(c->samples.end(), p, p + frames * 2);
  }
};

class MusicPlayerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/hoardel-music-XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    root_ = tmpl;
    run_ = root_ + "/run";
    tmp_ = root_ + "/tmp";
    fs::create_directories(root_ + "/config");
    fs::create_directories(tmp_);
    ASSERT_EQ(mkdir(run_.c_str(), 0700), 0);
    setenv("XDG_CONFIG_HOME", (root_ + "/config").c_str(), 1);
    setenv("XDG_RUNTIME_DIR", run_.c_str(), 1);
    setenv("TMPDIR", tmp_.c_str(), 1);
    setenv("HOARDEL_AUDIO_MANUAL", "1", 1);
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    player_.SetLog([this](const char* line) { log_.push_back(line); });
  }
  void TearDown() override {
    player_.StopMusic();
    MusicPlayer::RemoveLibraryFileNow();
    std::error_code ec;
    fs::remove_all(root_, ec);
  }
  // Files anywhere a copy of the library could land.
  std::set<std::string> Copies() {
    std::set<std::string> all;
    for (const auto& d : {run_, tmp_})
      for (const auto& n : Listing(d)) all.insert(d + "/" + n);
    return all;
  }
  void Render(int frames) {
    auto render = Symbol<decltype(&HoardelAudio_Render)>(player_.module(), "HoardelAudio_Render");
    ASSERT_NE(render, nullptr);
    ASSERT_TRUE(render(nullptr, static_cast<BASS_DWORD>(frames)));
  }

  std::string root_, run_, tmp_;
  MusicPlayer player_;
  std::vector<std::string> log_;
};

TEST_F(MusicPlayerTest, MusicOffNeverWritesOrLoadsTheLibrary) {
  const std::string lib = root_ + "/lib";
  fs::create_directories(lib);
  for (bool withPath : {false, true}) {
    if (withPath) SetPathValue(lib);
    player_.StartMusic(nullptr, false, 70);
    player_.CheckMusicLoop();
    player_.StopMusic();
    EXPECT_EQ(player_.module(), nullptr);
    EXPECT_EQ(player_.streamA(), 0u);
    EXPECT_TRUE(Copies().empty());
    EXPECT_TRUE(Listing(lib).empty());
    EXPECT_TRUE(log_.empty());
  }
}

TEST_F(MusicPlayerTest, TemporaryCopyIsPrivatePlaysAndIsDeletedAtStop) {
  player_.StartMusic(nullptr, true, 70);
  ASSERT_NE(player_.module(), nullptr);
  const std::string path = player_.libraryPath();
  EXPECT_EQ(path.rfind(run_ + "/bas", 0), 0u) << path;
  EXPECT_EQ(Copies(), std::set<std::string>{path});
  struct stat st{};
  ASSERT_EQ(stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  EXPECT_EQ(ReadAll(path), ReadAll(HOARDEL_BASS_SO));

  const auto& fn = player_.library();
  EXPECT_NE(player_.streamA(), 0u);
  EXPECT_NE(player_.streamB(), 0u);
  EXPECT_NE(player_.streamA(), player_.streamB());
  EXPECT_FLOAT_EQ(player_.loopThreshold(), 12.0f - 5.0f);
  EXPECT_EQ(player_.savedVolume(), 100u);
  EXPECT_EQ(fn.BASS_GetVolume(), 70u);
  EXPECT_EQ(fn.BASS_ChannelIsActive(player_.streamA()), static_cast<BASS_DWORD>(BASS_ACTIVE_PLAYING));
  EXPECT_EQ(fn.BASS_ChannelIsActive(player_.streamB()), static_cast<BASS_DWORD>(BASS_ACTIVE_STOPPED));
  EXPECT_EQ(log_, std::vector<std::string>{"SoundSys Init Comlete."});
  Render(kRate / 2);
  EXPECT_EQ(fn.BASS_ChannelGetPosition(player_.streamA()), static_cast<BASS_QWORD>(kRate / 2) * 4);

  player_.StopMusic();
  EXPECT_EQ(player_.module(), nullptr);
  EXPECT_EQ(player_.streamA(), 0u);
  EXPECT_TRUE(player_.libraryPath().empty());
  EXPECT_TRUE(Copies().empty());
}

TEST_F(MusicPlayerTest, WithoutAPrivateRuntimeDirTheCopyGoesToTheTempFolder) {
  chmod(run_.c_str(), 0755);
  player_.StartMusic(nullptr, true, 50);
  ASSERT_NE(player_.module(), nullptr);
  EXPECT_EQ(player_.libraryPath().rfind(tmp_ + "/bas", 0), 0u) << player_.libraryPath();
  player_.StopMusic();
  EXPECT_TRUE(Copies().empty());
}

TEST_F(MusicPlayerTest, PathSettingUsesBassDllInThatFolderOverwrittenAndDeleted) {
  const std::string lib = root_ + "/lib";
  fs::create_directories(lib);
  { std::ofstream(lib + "/bass.dll") << "left over from an earlier run"; }
  SetPathValue(lib + "/");
  player_.StartMusic(nullptr, true, 70);
  ASSERT_NE(player_.module(), nullptr);
  EXPECT_EQ(player_.libraryPath(), lib + "/bass.dll");
  EXPECT_EQ(Listing(lib), std::set<std::string>{"bass.dll"});  // no staging name left
  EXPECT_EQ(ReadAll(lib + "/bass.dll"), ReadAll(HOARDEL_BASS_SO));
  EXPECT_TRUE(Copies().empty());
  EXPECT_NE(player_.streamA(), 0u);
  player_.StopMusic();
  EXPECT_TRUE(Listing(lib).empty());

  // A folder that cannot be written: silently no music, nothing written anywhere.
  SetPathValue(root_ + "/no/such/folder");
  player_.StartMusic(nullptr, true, 70);
  EXPECT_EQ(player_.module(), nullptr);
  EXPECT_EQ(player_.streamA(), 0u);
  EXPECT_TRUE(Copies().empty());
}

TEST_F(MusicPlayerTest, LoopIsSeamlessSampleForSample) {
  const int volume = 80;
  player_.StartMusic(nullptr, true, volume);
  ASSERT_NE(player_.streamA(), 0u);
  Capture cap;
  auto setCapture = Symbol<decltype(&HoardelAudio_SetCapture)>(player_.module(), "HoardelAudio_SetCapture");
  setCapture(&Capture::Proc, &cap);

  // Starts of each stream, in output frames.
  std::map<HSTREAM, std::vector<long>> starts;
  starts[player_.streamA()].push_back(0);
  long rendered = 0;
  const long total = 31L * kRate;
  std::vector<long> swaps;
  while (rendered < total) {
    Render(kFrameStep);
    rendered += kFrameStep;
    HSTREAM before = player_.streamA();
    player_.CheckMusicLoop();
    if (player_.streamA() != before) {
      starts[player_.streamA()].push_back(rendered);
      swaps.push_back(rendered);
    }
  }
  setCapture(nullptr, nullptr);
  ASSERT_EQ(cap.samples.size(), static_cast<std::size_t>(total) * 2);

  // The other stream starts at the first frame on which A has played past length - 5 s.
  ASSERT_EQ(swaps.size(), 4u);
  for (std::size_t i = 0; i < swaps.size(); ++i) {
    const long interval = swaps[i] - (i ? swaps[i - 1] : 0);
    EXPECT_GT(interval, 7L * kRate) << i;
    EXPECT_LE(interval, 7L * kRate + kFrameStep) << i;
  }

  // Reference: the music decoded independently, overlapped at the recorded starts.
  auto res = win32::FindResourceBytes("SOUND", sound::kMusicResource);
  std::vector<unsigned char> bytes(res.data, res.data + res.size);
  std::vector<std::int16_t> pcm;
  int rate = 0, channels = 0;
  ASSERT_TRUE(audiotest::DecodeOgg(bytes, &pcm, &rate, &channels));
  ASSERT_EQ(channels, 2);
  const long length = static_cast<long>(pcm.size() / 2);
  ASSERT_EQ(length, 12L * kRate);
  std::vector<double> expected(static_cast<std::size_t>(total) * 2, 0.0);
  for (const auto& [handle, list] : starts) {
    for (std::size_t k = 0; k < list.size(); ++k) {
      // A restart cuts the previous pass of the same stream.
      long end = std::min(list[k] + length, k + 1 < list.size() ? list[k + 1] : total);
      end = std::min(end, total);
      for (long t = list[k]; t < end; ++t)
        for (int c = 0; c < 2; ++c) expected[2 * t + c] += pcm[2 * (t - list[k]) + c];
    }
  }
  long worst = 0, silentWindows = 0;
  for (std::size_t i = 0; i < expected.size(); ++i) {
    long want = std::lround(expected[i] * volume / 100.0);
    worst = std::max(worst, std::labs(want - cap.samples[i]));
  }
  EXPECT_LE(worst, 1) << "mixed output differs from the ideal overlap";
  // Never a gap: every 10 ms of output after the first carries the music.
  for (long w = kRate / 100; w + kRate / 100 <= total; w += kRate / 100) {
    int peak = 0;
    for (long t = w; t < w + kRate / 100; ++t) peak = std::max(peak, std::abs(static_cast<int>(cap.samples[2 * t])));
    silentWindows += peak < 1000;
  }
  EXPECT_EQ(silentWindows, 0);
}

TEST_F(MusicPlayerTest, MusicShorterThanTheOverlapRestartsEveryFrameWithoutGrowing) {
  player_.SetResourceIds(kShortMusic, sound::kAudioLibraryResource);
  player_.StartMusic(nullptr, true, 70);
  ASSERT_NE(player_.streamA(), 0u);
  EXPECT_FLOAT_EQ(player_.loopThreshold(), 3.0f - 5.0f);
  const HSTREAM first = player_.streamA(), second = player_.streamB();
  for (int i = 0; i < 10; ++i) {
    Render(kFrameStep);
    player_.CheckMusicLoop();
    EXPECT_EQ(player_.streamA(), i % 2 == 0 ? second : first) << i;
    // The stream that just became A starts from its beginning.
    EXPECT_EQ(player_.library().BASS_ChannelGetPosition(player_.streamA()), 0u);
  }
  auto frames = [&](int n) {
    for (int i = 0; i < n; ++i) {
      Render(kFrameStep);
      player_.CheckMusicLoop();
    }
  };
  frames(300);
  const std::size_t before = mallinfo2().uordblks;
  frames(3000);
  const std::size_t after = mallinfo2().uordblks;
  EXPECT_LT(static_cast<long>(after) - static_cast<long>(before), 64 * 1024);
  player_.StopMusic();
  EXPECT_TRUE(Copies().empty());
}

TEST_F(MusicPlayerTest, StreamAFailingKeepsTheLibraryUntilExitButLeavesNoFile) {
  for (unsigned music : {kDamagedMusic, kMissing}) {
    MusicPlayer player;
    std::vector<std::string> log;
    player.SetLog([&](const char* l) { log.push_back(l); });
    player.SetResourceIds(music, sound::kAudioLibraryResource);
    player.StartMusic(nullptr, true, 70);
    ASSERT_NE(player.module(), nullptr) << music;
    EXPECT_EQ(player.streamA(), 0u);
    EXPECT_EQ(log, std::vector<std::string>{"SoundSys Init Comlete."});
    player.CheckMusicLoop();  // nothing to check, nothing called through a stream 0
    const std::string path = player.libraryPath();
    player.StopMusic();
    // The rule: stop does nothing, so the library stays loaded and its file stays.
    EXPECT_NE(player.module(), nullptr);
    EXPECT_EQ(access(path.c_str(), F_OK), 0);
    MusicPlayer::RemoveLibraryFileNow();
    EXPECT_NE(access(path.c_str(), F_OK), 0);
  }

  // And at the end of the process the file goes, with no teardown at all.
  int pipefd[2];
  ASSERT_EQ(pipe(pipefd), 0);
  pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    static MusicPlayer child;
    child.SetResourceIds(kDamagedMusic, sound::kAudioLibraryResource);
    child.StartMusic(nullptr, true, 70);
    std::string p = child.module() ? child.libraryPath() : std::string();
    (void)!write(pipefd[1], p.c_str(), p.size() + 1);
    std::exit(0);
  }
  close(pipefd[1]);
  char buf[512] = {};
  ASSERT_GT(read(pipefd[0], buf, sizeof buf - 1), 1);
  close(pipefd[0]);
  int status = 0;
  waitpid(pid, &status, 0);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  EXPECT_EQ(std::string(buf).rfind(run_, 0), 0u);
  EXPECT_NE(access(buf, F_OK), 0);
  EXPECT_TRUE(Copies().empty());
}

TEST_F(MusicPlayerTest, ALibraryThatIsMissingOrDoesNotLoadLeavesNothing) {
  player_.SetResourceIds(sound::kMusicResource, kMissing);
  player_.StartMusic(nullptr, true, 70);
  EXPECT_EQ(player_.module(), nullptr);
  EXPECT_TRUE(Copies().empty());
  MusicPlayer other;
  other.SetResourceIds(sound::kMusicResource, kDamagedMusic);  // not a library at all
  other.StartMusic(nullptr, true, 70);
  EXPECT_EQ(other.module(), nullptr);
  EXPECT_TRUE(other.libraryPath().empty());
  EXPECT_TRUE(Copies().empty());
  EXPECT_TRUE(log_.empty());
}

TEST_F(MusicPlayerTest, NoAudioDeviceMeansNoMusicSilently) {
  unsetenv("HOARDEL_AUDIO_MANUAL");
  setenv("SDL_AUDIODRIVER", "no-such-driver", 1);
  player_.StartMusic(nullptr, true, 70);
  EXPECT_NE(player_.module(), nullptr);
  EXPECT_EQ(player_.streamA(), 0u);
  EXPECT_TRUE(log_.empty());
  player_.CheckMusicLoop();
}

TEST_F(MusicPlayerTest, ACopyLeftByAKilledRunIsRemovedAtTheNextStart) {
  pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    static MusicPlayer child;
    child.StartMusic(nullptr, true, 70);
    raise(SIGKILL);
    _exit(1);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  ASSERT_TRUE(WIFSIGNALED(status));
  ASSERT_EQ(Copies().size(), 1u);
  const std::string stale = *Copies().begin();
  player_.StartMusic(nullptr, true, 70);
  ASSERT_NE(player_.module(), nullptr);
  EXPECT_EQ(Copies(), std::set<std::string>{player_.libraryPath()});
  EXPECT_NE(player_.libraryPath(), stale);
  player_.StopMusic();
  EXPECT_TRUE(Copies().empty());
}

}  // namespace
