#include <gtest/gtest.h>

#include <string>
#include <utility>

#include "media/text_table.h"
#include "platform/win32/resources.h"

namespace {

std::string Crlf(std::initializer_list<const char*> lines) {
  std::string out;
  for (const char* l : lines) out += std::string(l) + "\r\n";
  return out;
}

}  // namespace

TEST(TextTable, GeneratedResourceHoldsEveryKeyTheDialogsAskFor) {
  TextTable t;
  t.Load();
  const std::pair<const char*, const char*> expected[] = {
      {"video_mode_selection", "Video Mode"},
      {"use_desktop_settings", "Use Desktop Settings"},
      {"sound_control", "Sound Control"},
      {"master_volume:", "Volume"},
      {"enable_music", "Enable Music"},
      {"enable_sfx", "Enable SFX"},
      {"graphics", "Graphics"},
      {"gamma_control:", "Gamma Control:"},
      {"fullscreen_antialiasing", "Fullscreen Antialiasing"},
      {"none", "None"},
      {"samples", "samples"},
      {"products", "Products"},
      {"visit_our_official_web-site_for_more_great_3d_screensavers",
       "Visit our official web-site for more great 3D screensavers"},
      {"misc_options", "Misc Options"},
      {"show_fps", "Show FPS"},
      {"show_time", "Show Time"},
      {"24h_style", "24 hrs."},
      {"12h_style", "12 hrs."},
      {"exit_on_mouse_move", "Exit on Mouse Move"},
      {"visit...", "Visit..."},
      {"about", "About"},
      {"restore_defaults", "Restore Defaults"},
      {"ok", "OK"},
      {"cancel", "Cancel"},
      {"screensaver_configuration", "Hoardel 3D Screensaver Configuration"},
  };
  for (const auto& [key, value] : expected) EXPECT_EQ(t.Lookup(key), value) << key;
  EXPECT_EQ(t.Lookup("ABOUT"), "About");
  EXPECT_EQ(t.configTitle(), "Hoardel 3D Screensaver Configuration");
  EXPECT_LE(t.lineCount(), TextTable::kMaxLines);

  // Product name, three credit lines, an empty line and two closing lines.
  const auto& about = t.aboutLines();
  EXPECT_EQ(about[0], "Hoardel 3D Screensaver");
  for (int i : {1, 2, 3, 5, 6}) EXPECT_FALSE(about[static_cast<std::size_t>(i)].empty()) << i;
  EXPECT_TRUE(about[4].empty());

  // The keys written with capitals in the file are stored folded.
  bool sawFolded = false;
  for (const auto& line : t.lines()) sawFolded |= line == "#show_fps#";
  EXPECT_TRUE(sawFolded);

  // Windows-1251 text with CR LF line ends throughout.
  win32::ResourceBytes raw = win32::FindResourceBytes("CustomData", 472);
  ASSERT_NE(raw.data, nullptr);
  std::string text(reinterpret_cast<const char*>(raw.data), raw.size);
  ASSERT_GE(text.size(), 2u);
  EXPECT_EQ(text.substr(text.size() - 2), "\r\n");
  for (std::size_t i = 0; i < text.size(); ++i)
    if (text[i] == '\n') {
      EXPECT_TRUE(i > 0 && text[i - 1] == '\r') << "bare LF at " << i;
    }
}

TEST(TextTable, KeyMatchingFollowsTheLengthRule) {
  TextTable t;
  t.LoadFromText(Crlf({"#okabc#", "too long a key", "#oka#", "three longer", "#OK#", "OK", "#About#", "About",
                      "#about_window_text#", "x%y", "#Empty#", "", "#ABC", "last char kept", "#last#"}));
  EXPECT_EQ(t.Lookup("ok"), "OK");          // "#okabc#" and "#oka#" differ by more than 2
  EXPECT_EQ(t.Lookup("About"), "About");
  EXPECT_EQ(t.Lookup("ABOUT"), "About");    // not "#about_window_text#"
  EXPECT_EQ(t.Lookup("empty"), "");
  EXPECT_EQ(t.Lookup("last"), "");         // the last line has no value line
  EXPECT_EQ(t.Lookup("nothing"), "");
  EXPECT_EQ(t.Lookup("ab"), "last char kept");  // "#abC": within 2, prefix "ab" equal
  EXPECT_EQ(t.Lookup("abc"), "");               // its last character keeps its capital
  EXPECT_EQ(t.lines()[0], "#okabc#");
  EXPECT_EQ(t.lines()[12], "#abC");
  EXPECT_EQ(t.lineCount(), 15u);
}

TEST(TextTable, LinesAreCutAtLineFeedsWithoutCrLfOrNul) {
  std::string data = "#a#\r\nvalue\r\n\r\n#b#\nbare lf\n#c#\r\nno end";
  data.insert(7, 1, '\0');
  TextTable t;
  t.LoadFromText(std::string_view(data.data(), data.size()));
  ASSERT_EQ(t.lineCount(), 7u);
  EXPECT_EQ(t.lines()[2], "");
  EXPECT_EQ(t.Lookup("a"), "value");
  EXPECT_EQ(t.Lookup("b"), "bare lf");
  EXPECT_EQ(t.Lookup("c"), "no end");

  std::string many;
  for (int i = 0; i < 150; ++i) many += "#k" + std::to_string(i) + "#\r\nv" + std::to_string(i) + "\r\n";
  t.LoadFromText(many);
  EXPECT_EQ(t.lineCount(), TextTable::kMaxLines);
  EXPECT_EQ(t.Lookup("k99"), "v99");
  EXPECT_EQ(t.Lookup("k100"), "");  // beyond the 200 lines kept

  t.LoadFromText("");
  EXPECT_EQ(t.lineCount(), 0u);
  EXPECT_EQ(t.Lookup("ok"), "");
}

TEST(TextTable, AboutTextSplitsIntoSevenLines) {
  TextTable t;
  t.LoadFromText(Crlf({"#about_window_text#", "a%b%%c", "#screensaver_configuration#", "Title"}));
  std::array<std::string, 7> want = {"a", "b", "", "c", "", "", ""};
  EXPECT_EQ(t.aboutLines(), want);
  EXPECT_EQ(t.configTitle(), "Title");

  t.LoadFromText(Crlf({"#about_window_text#", "1%2%3%4%5%6%7%8%9"}));
  want = {"1", "2", "3", "4", "5", "6", "7"};
  EXPECT_EQ(t.aboutLines(), want);
  EXPECT_EQ(t.configTitle(), "");
}
