#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "../platform/win32/registry_test_util.h"
#include "config/settings.h"
#include "platform/win32/msgbox.h"
#include "platform/win32/registry.h"
#include "platform/win32/registry_store.h"

using namespace win32;

namespace {

SaverSettings EffectiveDefaults() {
  SettingsStore store;
  store.LoadDefaults();
  return store.defaults();
}

void Store(const char* name, DWORD v) {
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, kSettingsKeyPath, 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr),
            ERROR_SUCCESS);
  ASSERT_EQ(RegSetValueExA(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&v), 4), ERROR_SUCCESS);
  RegCloseKey(key);
}

const regstore::Key* StoredKey(const TempConfigHome& home, regstore::Store& holder) {
  auto parsed = regstore::Parse(TempConfigHome::ReadFile(home.store()));
  if (!parsed) return nullptr;
  holder = std::move(*parsed);
  return holder.FindKey(kSettingsKeyPath);
}

}  // namespace

TEST(Settings, EmptyKeyLeavesTheEffectiveDefaults) {
  TempConfigHome home;
  SaverSettings s = EffectiveDefaults();
  ReadSettings(s);
  EXPECT_EQ(s, EffectiveDefaults());
  EXPECT_EQ(s.Width, 800);
  EXPECT_EQ(s.Height, 600);
  EXPECT_EQ(s.BitCount, 32);
  EXPECT_EQ(s.FSAA, 0);
  EXPECT_EQ(s.UseDesktopSettings, 1);
  EXPECT_EQ(s.Music, 1);
  EXPECT_EQ(s.MusicVolume, 70);
  EXPECT_EQ(s.ShowTime, 1);
  EXPECT_EQ(s.DigClock_24H, 0);
  EXPECT_EQ(s.ShowFPS, 0);
  EXPECT_EQ(s.GmCntrl, 100);
  EXPECT_EQ(s.ExitOnMouseMove, 0);
}

TEST(Settings, StoredBooleansOnlyCountAsTwoOrOne) {
  TempConfigHome home;
  const SaverSettings base = EffectiveDefaults();
  for (DWORD v : {0u, 3u, 7u, 0xFFFFFFFFu}) {
    Store("ShowFPS", v);
    Store("ShowTime", v);
    SaverSettings s = base;
    ReadSettings(s);
    EXPECT_EQ(s.ShowFPS, 0) << v;
    EXPECT_EQ(s.ShowTime, 1) << v;
  }
  Store("ShowFPS", 2);
  Store("ShowTime", 1);
  Store("DigClock_24H", 2);
  Store("UseDesktopSettings", 1);
  SaverSettings s = base;
  ReadSettings(s);
  EXPECT_EQ(s.ShowFPS, 1);
  EXPECT_EQ(s.ShowTime, 0);
  EXPECT_EQ(s.DigClock_24H, 1);
  EXPECT_EQ(s.UseDesktopSettings, 0);
}

TEST(Settings, StoredNumbersAndGammaLowByte) {
  TempConfigHome home;
  const SaverSettings base = EffectiveDefaults();
  Store("GmCntrl", 200);
  Store("Width", 0);  // zero keeps
  Store("Height", 1080);
  Store("FSAA", 0);
  SaverSettings s = base;
  ReadSettings(s);
  EXPECT_EQ(s.GmCntrl, 200);
  EXPECT_EQ(s.Width, 800);
  EXPECT_EQ(s.Height, 1080);
  EXPECT_EQ(s.FSAA, 0);

  Store("GmCntrl", 0);
  s = base;
  ReadSettings(s);
  EXPECT_EQ(s.GmCntrl, 100);
  Store("GmCntrl", 0x1C8);  // 456: past the slider's end
  ReadSettings(s);
  EXPECT_EQ(s.GmCntrl, 200);

  // A value of another type counts as missing.
  HKEY key = nullptr;
  ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, kSettingsKeyPath, 0, KEY_WRITE, &key), ERROR_SUCCESS);
  ASSERT_EQ(RegSetValueExA(key, "MusicVolume", 0, REG_SZ, reinterpret_cast<const BYTE*>("2"), 2), ERROR_SUCCESS);
  RegCloseKey(key);
  s = base;
  ReadSettings(s);
  EXPECT_EQ(s.MusicVolume, 70);
}

TEST(Settings, WriteStoresEveryValueInOrderAndReadsBack) {
  TempConfigHome home;
  SaverSettings s = EffectiveDefaults();
  s.ShowFPS = 1;
  s.ExitOnMouseMove = 5;  // any non-zero is on
  s.SFX = 0;
  s.DigClock_24H = 1;
  s.GmCntrl = 200;
  s.Width = 1280;
  s.Height = 720;
  s.BitCount = 16;
  s.FSAA = 4;
  s.MusicVolume = 33;
  s.UseDesktopSettings = 0;
  ASSERT_TRUE(WriteSettings(s).ok);

  regstore::Store holder;
  const regstore::Key* key = StoredKey(home, holder);
  ASSERT_NE(key, nullptr);
  const char* order[] = {"ShowFPS", "DigClock_24H", "ShowTime", "ExitOnMouseMove", "SFX", "Music",
                         "UseDesktopSettings", "GmCntrl", "Height", "Width", "BitCount", "FSAA", "MusicVolume"};
  ASSERT_EQ(key->values.size(), 13u);
  for (std::size_t i = 0; i < 13; ++i) {
    EXPECT_EQ(key->values[i].name, order[i]);
    EXPECT_EQ(key->values[i].type, REG_DWORD);
  }
  auto dword = [&](std::size_t i) {
    const std::string& d = key->values[i].data;
    return static_cast<unsigned char>(d[0]) | static_cast<unsigned char>(d[1]) << 8;
  };
  for (std::size_t i = 0; i < 7; ++i) EXPECT_TRUE(dword(i) == 1 || dword(i) == 2) << order[i];
  EXPECT_EQ(dword(0), 2);  // ShowFPS on
  EXPECT_EQ(dword(3), 2);  // ExitOnMouseMove 5
  EXPECT_EQ(dword(4), 1);  // SFX off
  EXPECT_EQ(dword(7), 200);

  SaverSettings back = EffectiveDefaults();
  ReadSettings(back);
  SaverSettings want = s;
  want.ExitOnMouseMove = 1;
  EXPECT_EQ(back, want);

  // All off still stores 1s, never 0.
  SaverSettings off{};
  off.ShowFPS = off.ExitOnMouseMove = off.ShowTime = off.Music = off.SFX = off.UseDesktopSettings = 0;
  off.DigClock_24H = 0;
  ASSERT_TRUE(WriteSettings(off).ok);
  key = StoredKey(home, holder);
  ASSERT_NE(key, nullptr);
  for (std::size_t i = 0; i < 7; ++i) EXPECT_EQ(dword(i), 1) << order[i];
}

TEST(Settings, UnusableStoreKeepsSettingsAndWritesNothing) {
  TempConfigHome home;
  // The configuration folder's parent is a plain file: nothing can be created there.
  TempConfigHome::WriteFile(home.root() + "/file", "x");
  setenv("XDG_CONFIG_HOME", (home.root() + "/file").c_str(), 1);
  ScopedMessageBoxCapture boxes;
  SaverSettings s = EffectiveDefaults();
  s.Width = 1234;
  SaverSettings before = s;
  ReadSettings(s);
  EXPECT_EQ(s, before);
  SettingsSaveResult saved = WriteSettings(s);
  EXPECT_FALSE(saved.ok);
  EXPECT_EQ(saved.file, home.root() + "/file/hoardel3d/registry");
  EXPECT_NE(saved.reason.find("Not a directory"), std::string::npos) << saved.reason;
  EXPECT_EQ(TempConfigHome::ReadFile(home.root() + "/file"), "x");
  EXPECT_TRUE(boxes.calls().empty());  // reporting it is the caller's business

  // Another program holding the store's lock: the save fails as a whole, after the timeout.
  setenv("XDG_CONFIG_HOME", home.root().c_str(), 1);
  ASSERT_TRUE(WriteSettings(before).ok);
  const std::string stored = TempConfigHome::ReadFile(home.store());
  int fd = open((home.dir() + "/registry.lock").c_str(), O_RDWR);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(flock(fd, LOCK_EX), 0);
  SetRegistryLockTimeout(100);
  s.Width = 640;
  saved = WriteSettings(s);
  SetRegistryLockTimeout(3000);
  close(fd);
  EXPECT_FALSE(saved.ok);
  EXPECT_NE(saved.reason.find("registry.lock"), std::string::npos) << saved.reason;
  EXPECT_EQ(TempConfigHome::ReadFile(home.store()), stored);
}

TEST(Settings, StoredValuesOutOfRangeAreBroughtIntoItAndTheFileKept) {
  TempConfigHome home;
  Store("MusicVolume", 5000);
  Store("Width", 0xFFFFFFFFu);  // -1
  Store("Height", 100000);
  Store("FSAA", 99);
  Store("GmCntrl", 5);
  Store("BitCount", 24);
  const std::string file = TempConfigHome::ReadFile(home.store());
  SaverSettings s = EffectiveDefaults();
  ReadSettings(s);
  EXPECT_EQ(s.MusicVolume, 100);
  EXPECT_EQ(s.Width, 640);
  EXPECT_EQ(s.Height, 16384);
  EXPECT_EQ(s.FSAA, 16);
  EXPECT_EQ(s.GmCntrl, 10);
  EXPECT_EQ(s.BitCount, 16);
  EXPECT_EQ(TempConfigHome::ReadFile(home.store()), file);  // until OK stores the record again
  Store("MusicVolume", 0xFFFFFFF6u);  // -10
  Store("FSAA", 1);                   // no such multisample type
  Store("GmCntrl", 300);
  Store("BitCount", 33);
  ReadSettings(s);
  EXPECT_EQ(s.MusicVolume, 1);
  EXPECT_EQ(s.FSAA, 0);
  EXPECT_EQ(s.GmCntrl, 200);
  EXPECT_EQ(s.BitCount, 32);
}

// Two records that differ in every value; a save writes all of one or the other.
TEST(Settings, ReadersAndAKilledWriterSeeOneWholeSaveOrTheOther) {
  TempConfigHome home;
  const SaverSettings base = EffectiveDefaults();
  SaverSettings a = base, b = base;
  a.ShowFPS = a.DigClock_24H = 1;
  a.ShowTime = a.ExitOnMouseMove = a.SFX = a.Music = a.UseDesktopSettings = 1;
  a.GmCntrl = 150, a.Height = 720, a.Width = 1280, a.BitCount = 16, a.FSAA = 2, a.MusicVolume = 20;
  b.ShowFPS = b.DigClock_24H = 0;
  b.ShowTime = b.ExitOnMouseMove = b.SFX = b.Music = b.UseDesktopSettings = 0;
  b.GmCntrl = 50, b.Height = 1080, b.Width = 1920, b.BitCount = 32, b.FSAA = 4, b.MusicVolume = 90;
  ASSERT_TRUE(WriteSettings(a).ok);

  int reads = 0, mixed = 0;
  auto check = [&] {
    SaverSettings s = base;
    ReadSettings(s);
    ++reads;
    if (!(s == a || s == b)) ++mixed;
  };
  for (int round = 0; round < 12; ++round) {
    pid_t writer = fork();
    ASSERT_GE(writer, 0);
    if (writer == 0) {
      for (;;) {
        if (!WriteSettings(b).ok || !WriteSettings(a).ok) _exit(1);
      }
    }
    for (int i = 0; i < 15 + round; ++i) check();
    kill(writer, SIGKILL);
    int status = 0;
    ASSERT_EQ(waitpid(writer, &status, 0), writer);
    EXPECT_TRUE(WIFSIGNALED(status)) << "the writer stopped by itself: a save failed";
    check();  // what the killed save left behind
  }
  EXPECT_EQ(mixed, 0) << "of " << reads << " reads";
  // The next save clears what a killed one left.
  ASSERT_TRUE(WriteSettings(b).ok);
  EXPECT_FALSE(std::filesystem::exists(home.store() + ".tmp"));
  SaverSettings s = base;
  ReadSettings(s);
  EXPECT_EQ(s, b);
}

// A named pipe must not hang a start; a folder is named as what it is.
TEST(Settings, SomethingOtherThanAFileInTheStoresPlaceIsRefusedAtOnce) {
  TempConfigHome home;
  std::filesystem::create_directories(home.dir());
  ASSERT_EQ(mkfifo(home.store().c_str(), 0600), 0);
  const std::string errFile = home.root() + "/stderr";
  pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    int fd = open(errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    dup2(fd, 2);
    SaverSettings s = EffectiveDefaults();
    ReadSettings(s);
    _exit(s == EffectiveDefaults() ? 0 : 1);
  }
  int status = 0;
  pid_t done = 0;
  for (int i = 0; i < 500 && done == 0; ++i) {
    done = waitpid(child, &status, WNOHANG);
    if (done == 0) usleep(10000);
  }
  if (done == 0) {
    kill(child, SIGKILL);
    waitpid(child, &status, 0);
    FAIL() << "reading the settings hung on a named pipe";
  }
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  EXPECT_NE(TempConfigHome::ReadFile(errFile).find("named pipe"), std::string::npos)
      << TempConfigHome::ReadFile(errFile);
  SettingsSaveResult saved = WriteSettings(EffectiveDefaults());
  EXPECT_FALSE(saved.ok);
  EXPECT_NE(saved.reason.find("named pipe"), std::string::npos) << saved.reason;

  std::filesystem::remove(home.store());
  std::filesystem::create_directory(home.store());
  testing::internal::CaptureStderr();
  SaverSettings s = EffectiveDefaults();
  ReadSettings(s);
  const std::string err = testing::internal::GetCapturedStderr();
  EXPECT_NE(err.find("it is a folder"), std::string::npos) << err;
  EXPECT_EQ(err.find("No such file"), std::string::npos) << err;
}
