#include <gtest/gtest.h>

#include <string>

#include "config/default_settings.h"
#include "config/settings.h"
#include "platform/win32/codepage.h"
#include "platform/win32/msgbox.h"
#include "platform/win32/resources.h"

using win32::ScopedMessageBoxCapture;

TEST(DefaultSettings, GeneratedResourceGivesTheEffectiveDefaultsSilently) {
  ScopedMessageBoxCapture boxes;
  SettingsStore store;
  store.LoadDefaults();
  EXPECT_TRUE(boxes.calls().empty());
  const SaverSettings& d = store.defaults();
  EXPECT_EQ(d.ShowFPS, 0);
  EXPECT_EQ(d.ExitOnMouseMove, 0);
  EXPECT_EQ(d.ShowTime, 1);
  EXPECT_EQ(d.Music, 1);
  EXPECT_EQ(d.SFX, 1);
  EXPECT_EQ(d.MusicVolume, 70);
  EXPECT_EQ(d.Width, 800);
  EXPECT_EQ(d.Height, 600);
  EXPECT_EQ(d.BitCount, 32);
  EXPECT_EQ(d.FSAA, 0);
  EXPECT_EQ(d.UseDesktopSettings, 1);
  EXPECT_EQ(d.DigClock_24H, 0);
  EXPECT_EQ(d.GmCntrl, 100);
  EXPECT_EQ(store.current, d);
  EXPECT_EQ(store.defaultTable().Lookup("main_web_site_url").rfind("https://", 0), 0u);
  EXPECT_TRUE(boxes.calls().empty());

  win32::ResourceBytes raw = win32::FindResourceBytes("CustomData", DefaultSettingsTable::kResourceId);
  ASSERT_NE(raw.data, nullptr);
  std::string text(reinterpret_cast<const char*>(raw.data), raw.size);
  EXPECT_NE(text.find("MusicVolume\t\t= 70;\r\n"), std::string::npos);
  for (std::size_t i = 0; i < text.size(); ++i)
    if (text[i] == '\n') {
      EXPECT_TRUE(i > 0 && text[i - 1] == '\r') << "bare LF at " << i;
    }
}

TEST(DefaultSettings, LinesLoseBlanksHighBytesAndComments) {
  ScopedMessageBoxCapture boxes;
  DefaultSettingsTable t;
  t.Parse("MusicVolume\t= 70;\r\n"
          "   ; only a comment\r\n"
          "\r\n"
          "; \xCA\xEE\xEC\xEC\xE5\xED\xF2\xE0\xF0\xE8\xE9\r\n"   // a Cyrillic comment
          "Na\xE9me \t = va lue ; trailing\r"                       // CR alone ends a line
          "main_web_site_url = https://x.example/a=b;\r\n"
          "no equals sign here\r\n"
          "last=1");
  ASSERT_EQ(t.count(), 4u);
  EXPECT_EQ(t.pairs()[0].key, "MusicVolume");
  EXPECT_EQ(t.pairs()[0].value, "70");
  EXPECT_EQ(t.pairs()[1].key, "Name");
  EXPECT_EQ(t.pairs()[1].value, "value");
  EXPECT_EQ(t.Lookup("MAIN_WEB_SITE_URL"), "https://x.example/a=b");
  EXPECT_EQ(t.Lookup("last"), "1");

  // The line without "=" showed the format message, in Windows-1251, with an empty caption.
  ASSERT_EQ(boxes.calls().size(), 1u);
  EXPECT_EQ(win32::Cp1251ToUtf8(boxes.calls()[0].text), "неправильный формат файла def_settings.txt");
  EXPECT_EQ(boxes.calls()[0].caption, "");
  EXPECT_EQ(boxes.calls()[0].type, win32::MB_OK);
}

TEST(DefaultSettings, LookupsFoldCaseAndMissingKeysAreReported) {
  ScopedMessageBoxCapture boxes;
  DefaultSettingsTable t;
  t.Parse("MusicVolume = 70;\r\nFlag = True;\r\nMusicVolume = 5;\r\n");
  EXPECT_EQ(t.LookupInt("musicvolume"), 70);  // first match wins
  EXPECT_EQ(t.LookupInt("flag"), 0);          // "True" is not "true"
  EXPECT_TRUE(boxes.calls().empty());
  EXPECT_EQ(t.Lookup("Absent"), "");
  EXPECT_EQ(t.LookupInt("Absent"), 0);
  ASSERT_EQ(boxes.calls().size(), 2u);
  EXPECT_EQ(win32::Cp1251ToUtf8(boxes.calls()[0].text), "Не найден параметр в файле def_settings.txt");
  EXPECT_EQ(boxes.calls()[0].caption, "Absent");

  std::string big;
  for (int i = 0; i < 120; ++i) {
    const std::string n = std::to_string(i);
    big.append("k").append(n).append("=").append(n).append(";\r\n");
  }
  t.Parse(big);
  EXPECT_EQ(t.count(), DefaultSettingsTable::kMaxPairs);
  EXPECT_EQ(t.LookupInt("k99"), 99);
}

TEST(DefaultSettings, TextToInt) {
  EXPECT_EQ(SettingTextToInt("true"), 1);
  EXPECT_EQ(SettingTextToInt("false"), 0);
  EXPECT_EQ(SettingTextToInt("TRUE"), 0);
  EXPECT_EQ(SettingTextToInt("70"), 70);
  EXPECT_EQ(SettingTextToInt("70px"), 70);
  EXPECT_EQ(SettingTextToInt("px70"), 0);
  EXPECT_EQ(SettingTextToInt(""), 0);
  EXPECT_EQ(SettingTextToInt("-12"), -12);
  EXPECT_EQ(SettingTextToInt("99999999999"), 2147483647);
  EXPECT_EQ(SettingTextToInt("-99999999999"), -2147483647 - 1);
}

TEST(DefaultSettings, FillingConvertsAndKeepsFieldsOfMissingKeys) {
  ScopedMessageBoxCapture boxes;
  SettingsStore store;
  store.LoadDefaultsFromText("GammControl = 300;\r\nDigClock_24H = 5;\r\nMW = 1024;\r\nShowFPS = true;\r\n");
  const SaverSettings& d = store.defaults();
  EXPECT_EQ(d.GmCntrl, 300 & 0xFF);
  EXPECT_EQ(d.DigClock_24H, 1);
  EXPECT_EQ(d.Width, 1024);
  EXPECT_EQ(d.ShowFPS, 1);
  // The other nine keys are missing: each is reported once, in lookup order, and its field
  // keeps the built-in value.
  EXPECT_EQ(d.ExitOnMouseMove, 1);
  EXPECT_EQ(d.MusicVolume, 60);
  EXPECT_EQ(d.Height, 600);
  ASSERT_EQ(boxes.calls().size(), 9u);
  const char* order[] = {"ExitOnMouseMove", "FSAA", "MBitCount", "MH", "Music", "SFX", "MusicVolume", "ShowTime",
                         "UseDktpSet"};
  for (std::size_t i = 0; i < 9; ++i) EXPECT_EQ(boxes.calls()[i].caption, order[i]);

  store.current.Width = 1;
  store.RestoreDefaults();
  EXPECT_EQ(store.current, store.defaults());
}
