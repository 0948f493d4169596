#include "host/run_options.h"

#include <gtest/gtest.h>

#include <initializer_list>
#include <string>
#include <vector>

namespace {

RunOptionsParse Parse(std::initializer_list<const char*> args) {
  std::vector<const char*> argv{"hoardel3d"};
  argv.insert(argv.end(), args);
  return ExtractRunOptions(static_cast<int>(argv.size()), argv.data());
}

std::vector<std::string> Rest(const RunOptionsParse& r) { return {r.rest.begin(), r.rest.end()}; }

TEST(RunOptions, TakesItsOptionsOutAndLeavesTheRestInOrder) {
  const RunOptionsParse r =
      Parse({"-root", "--no-fps", "--clock", "24", "--music", "--volume", "40", "--gamma=150", "--exit-on-mouse-move"});
  ASSERT_TRUE(r.ok()) << r.error;
  EXPECT_EQ(Rest(r), (std::vector<std::string>{"hoardel3d", "-root"}));
  EXPECT_EQ(r.options.showFps, false);
  EXPECT_EQ(r.options.clock, ClockStyle::Hours24);
  EXPECT_EQ(r.options.music, true);
  EXPECT_EQ(r.options.volume, 40);
  EXPECT_EQ(r.options.gamma, 150);
  EXPECT_EQ(r.options.exitOnMouseMove, true);

  const RunOptionsParse windows = Parse({"/s", "--fps", "--clock=off", "--no-music", "--no-exit-on-mouse-move"});
  ASSERT_TRUE(windows.ok()) << windows.error;
  EXPECT_EQ(Rest(windows), (std::vector<std::string>{"hoardel3d", "/s"}));
  EXPECT_EQ(windows.options.showFps, true);
  EXPECT_EQ(windows.options.clock, ClockStyle::Off);
  EXPECT_EQ(windows.options.music, false);
  EXPECT_EQ(windows.options.exitOnMouseMove, false);
  EXPECT_FALSE(windows.options.volume);
  EXPECT_FALSE(windows.options.gamma);
}

TEST(RunOptions, NoOptionsLeavesTheCommandLineAlone) {
  const RunOptionsParse r = Parse({"/p", "1234", "-window-id", "0x200001"});
  ASSERT_TRUE(r.ok());
  EXPECT_TRUE(r.options.empty());
  EXPECT_EQ(Rest(r), (std::vector<std::string>{"hoardel3d", "/p", "1234", "-window-id", "0x200001"}));
  EXPECT_TRUE(ExtractRunOptions(0, nullptr).rest.empty());
}

TEST(RunOptions, LaterOptionWins) {
  const RunOptionsParse r = Parse({"--fps", "--no-fps", "--volume", "10", "--volume=90", "--clock", "off", "--clock", "12"});
  ASSERT_TRUE(r.ok());
  EXPECT_EQ(r.options.showFps, false);
  EXPECT_EQ(r.options.volume, 90);
  EXPECT_EQ(r.options.clock, ClockStyle::Hours12);
}

TEST(RunOptions, ValuesOfOtherOptionsAreNotTakenForOurs) {
  const RunOptionsParse r = Parse({"--capture", "--fps", "--frames", "3", "--size", "64x48", "--no-music"});
  ASSERT_TRUE(r.ok());
  EXPECT_EQ(Rest(r), (std::vector<std::string>{"hoardel3d", "--capture", "--fps", "--frames", "3", "--size", "64x48"}));
  EXPECT_FALSE(r.options.showFps);
  EXPECT_EQ(r.options.music, false);
}

TEST(RunOptions, RangeLimitsAreInclusive) {
  EXPECT_EQ(Parse({"--volume", "1"}).options.volume, 1);
  EXPECT_EQ(Parse({"--volume", "100"}).options.volume, 100);
  EXPECT_EQ(Parse({"--gamma", "10"}).options.gamma, 10);
  EXPECT_EQ(Parse({"--gamma", "200"}).options.gamma, 200);
  EXPECT_EQ(Parse({"--max-fps=1"}).options.maxFps, 1);
  EXPECT_EQ(Parse({"--max-fps", "240"}).options.maxFps, 240);
  EXPECT_FALSE(Parse({"--max-fps", "0"}).ok());
  EXPECT_FALSE(Parse({"--max-fps", "241"}).ok());
}

TEST(RunOptions, MalformedValuesAreRefusedWithTheOptionNamed) {
  struct Case {
    std::vector<const char*> args;
    const char* expected;  // part of the message
  };
  const Case cases[] = {
      {{"--volume"}, "--volume needs a percentage from 1 to 100"},
      {{"--volume", "0"}, "not \"0\""},
      {{"--volume", "101"}, "not \"101\""},
      {{"--volume", "loud"}, "not \"loud\""},
      {{"--volume", "-5"}, "not \"-5\""},
      {{"--volume", "40%"}, "not \"40%\""},
      {{"--volume", " 40"}, "not \" 40\""},
      {{"--volume="}, "--volume needs a percentage from 1 to 100, not \"\""},
      {{"--volume", "99999999999999999999"}, "--volume needs"},
      {{"--gamma", "9"}, "--gamma needs a percentage from 10 to 200, not \"9\""},
      {{"--gamma", "201"}, "not \"201\""},
      {{"--gamma"}, "--gamma needs"},
      {{"--clock", "25"}, "--clock needs 12, 24 or off, not \"25\""},
      {{"--clock", "OFF"}, "not \"OFF\""},
      {{"--clock"}, "--clock needs 12, 24 or off"},
      {{"--fps=1"}, "--fps takes no value"},
      {{"--no-music=yes"}, "--no-music takes no value"},
  };
  for (const Case& c : cases) {
    std::vector<const char*> argv{"hoardel3d"};
    argv.insert(argv.end(), c.args.begin(), c.args.end());
    const RunOptionsParse r = ExtractRunOptions(static_cast<int>(argv.size()), argv.data());
    EXPECT_FALSE(r.ok()) << c.args[0];
    EXPECT_NE(r.error.find(c.expected), std::string::npos) << "message: " << r.error;
  }
}

TEST(RunOptions, ApplyOverridesOnlyWhatWasGiven) {
  SaverSettings stored;
  stored.ShowFPS = 0;
  stored.ShowTime = 1;
  stored.DigClock_24H = 1;
  stored.Music = 1;
  stored.MusicVolume = 70;
  stored.GmCntrl = 100;
  stored.ExitOnMouseMove = 0;
  stored.Width = 1280;
  stored.FSAA = 4;

  SaverSettings s = stored;
  ApplyRunOptions(RunOptions{}, s);
  EXPECT_EQ(s, stored);

  RunOptions o;
  o.showFps = true;
  o.volume = 35;
  ApplyRunOptions(o, s);
  SaverSettings expected = stored;
  expected.ShowFPS = 1;
  expected.MusicVolume = 35;
  EXPECT_EQ(s, expected);

  RunOptions all;
  all.showFps = false;
  all.clock = ClockStyle::Hours12;
  all.music = false;
  all.volume = 100;
  all.gamma = 200;
  all.exitOnMouseMove = true;
  s = stored;
  ApplyRunOptions(all, s);
  EXPECT_EQ(s.ShowFPS, 0);
  EXPECT_EQ(s.ShowTime, 1);
  EXPECT_EQ(s.DigClock_24H, 0);
  EXPECT_EQ(s.Music, 0);
  EXPECT_EQ(s.MusicVolume, 100);
  EXPECT_EQ(s.GmCntrl, 200);  // fits the byte field unchanged
  EXPECT_EQ(s.ExitOnMouseMove, 1);
  EXPECT_EQ(s.Width, 1280);
  EXPECT_EQ(s.FSAA, 4);
}

TEST(RunOptions, ClockStyles) {
  SaverSettings s;
  s.ShowTime = 0;
  s.DigClock_24H = 0;
  RunOptions o;
  o.clock = ClockStyle::Hours24;
  ApplyRunOptions(o, s);
  EXPECT_EQ(s.ShowTime, 1);
  EXPECT_EQ(s.DigClock_24H, 1);
  // Switching the clock off leaves the 12/24-hour style alone.
  o.clock = ClockStyle::Off;
  ApplyRunOptions(o, s);
  EXPECT_EQ(s.ShowTime, 0);
  EXPECT_EQ(s.DigClock_24H, 1);
}

}  // namespace
