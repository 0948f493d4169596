#include <gtest/gtest.h>

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
  Store("GmCntrl", 0x1C8);  // 456: its low byte
  ReadSettings(s);
  EXPECT_EQ(s.GmCntrl, 0xC8);

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
  WriteSettings(s);

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
  WriteSettings(off);
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
  WriteSettings(s);
  EXPECT_TRUE(boxes.calls().empty());
}
