// The command line: the Windows switches with their exact scanning rules, and the Linux forms.
#include <gtest/gtest.h>

#include "host/command_line.h"

namespace {

RunMode Parse(const char* line, long* parent) {
  win32::HWND h = reinterpret_cast<win32::HWND>(static_cast<std::intptr_t>(-99));
  RunMode m = ParseCommandLine(line, &h);
  *parent = static_cast<long>(reinterpret_cast<std::intptr_t>(h));
  return m;
}

TEST(CommandLine, WindowsSwitches) {
  long parent = 0;
  struct Case {
    const char* line;
    RunMode mode;
    long parent;
  } cases[] = {
      {"saver.scr", RunMode::Configure, 0},
      {"saver.scr ", RunMode::Configure, 0},
      {"saver.scr /c", RunMode::Configure, 0},
      {"saver.scr /c:123", RunMode::Configure, 123},
      {"saver.scr /s", RunMode::Saver, 0},
      {"saver.scr -S", RunMode::Saver, 0},
      {"saver.scr /x", RunMode::Saver, 0},
      {"saver.scr /saver", RunMode::Saver, 0},
      {"saver.scr /t", RunMode::Test, 0},
      {"saver.scr /p 1234", RunMode::Preview, 1234},
      {"saver.scr /p:1234", RunMode::Preview, 1234},
      {"saver.scr -P1234", RunMode::Preview, 1234},
      {"saver.scr /p", RunMode::Preview, 0},
      {"saver.scr /a 77", RunMode::ChangePassword, 77},
      {"saver.scr /A", RunMode::ChangePassword, 0},
      // The number is read after the letter: "/p1" keeps its digit.
      {"saver.scr /p1", RunMode::Preview, 1},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Parse(c.line, &parent), c.mode) << c.line;
    EXPECT_EQ(parent, c.parent) << c.line;
  }
}

TEST(CommandLine, ProgramNameIsSkippedWhole) {
  long parent = 0;
  // Slashes and dashes inside the quoted path are not switches.
  EXPECT_EQ(Parse("\"C:/Program Files/my-saver/s.scr\" /p 55", &parent), RunMode::Preview);
  EXPECT_EQ(parent, 55);
  EXPECT_EQ(Parse("\"C:/Program Files/my-saver/s.scr\"", &parent), RunMode::Configure);
  // An unquoted name ends at the first blank; a '/' inside it would be a switch if it were
  // not skipped.
  EXPECT_EQ(Parse("/usr/bin/hoardel3d /t", &parent), RunMode::Test);
  EXPECT_EQ(Parse("/usr/bin/hoardel3d", &parent), RunMode::Configure);
  // An unclosed quote swallows the whole line.
  EXPECT_EQ(Parse("\"prog /s", &parent), RunMode::Configure);
  // Only the first switch counts; its number scan runs on over the rest of the line.
  EXPECT_EQ(Parse("prog /c /p 9", &parent), RunMode::Configure);
  EXPECT_EQ(parent, 9);
}

TEST(CommandLine, JoinQuotesProgramAndBlanks) {
  const char* argv[] = {"/opt/my dir/hoardel3d", "/p", "12"};
  EXPECT_EQ(JoinCommandLine(3, argv), "\"/opt/my dir/hoardel3d\" /p 12");
  long parent = 0;
  EXPECT_EQ(Parse(JoinCommandLine(3, argv).c_str(), &parent), RunMode::Preview);
  EXPECT_EQ(parent, 12);
}

LinuxForm Form(std::initializer_list<const char*> args, const char* env = nullptr) {
  std::vector<const char*> argv = {"hoardel3d"};
  argv.insert(argv.end(), args.begin(), args.end());
  return ParseLinuxForm(static_cast<int>(argv.size()), argv.data(), env);
}

TEST(CommandLine, LinuxForms) {
  EXPECT_EQ(Form({"--print-settings"}).kind, LinuxForm::PrintSettings);
  EXPECT_EQ(Form({"-root"}).kind, LinuxForm::Root);
  LinuxForm f = Form({"-window-id", "0x1a00003"});
  EXPECT_EQ(f.kind, LinuxForm::WindowId);
  EXPECT_EQ(f.windowId, 0x1a00003ul);
  EXPECT_EQ(Form({"--window-id", "4242"}).windowId, 4242ul);
  EXPECT_EQ(Form({"--window-id"}).kind, LinuxForm::Error);
  EXPECT_EQ(Form({"--window-id", "12ab"}).kind, LinuxForm::Error);
  EXPECT_EQ(Form({"--window-id", "0"}).kind, LinuxForm::Error);
  // The daemon's variable counts only when no switch is given.
  f = Form({}, "777");
  EXPECT_EQ(f.kind, LinuxForm::WindowId);
  EXPECT_EQ(f.windowId, 777ul);
  EXPECT_EQ(Form({"/s"}, "777").kind, LinuxForm::None);
  EXPECT_EQ(Form({}, "junk").kind, LinuxForm::None);
  EXPECT_EQ(Form({"/p", "5"}).kind, LinuxForm::None);
  // Help and version win; a dash word is a Windows switch only in its short forms.
  EXPECT_EQ(Form({"/s", "--help"}).kind, LinuxForm::Help);
  EXPECT_EQ(Form({"--version", "--bogus"}).kind, LinuxForm::Version);
  for (const char* ok : {"-s", "-T", "-c:12", "-P123", "-a", "/x", "/saver"}) EXPECT_EQ(Form({ok}).kind, LinuxForm::None) << ok;
  for (const char* bad : {"-x", "-saver", "-c:", "-p12a", "--s", "--fps"}) EXPECT_EQ(Form({bad}).kind, LinuxForm::Error) << bad;
}

TEST(CommandLine, CaptureOptions) {
  LinuxForm f = Form({"--capture", "out"});
  ASSERT_EQ(f.kind, LinuxForm::Capture);
  EXPECT_EQ(f.capture.dir, "out");
  EXPECT_EQ(f.capture.frames, 1);
  EXPECT_EQ(f.capture.every, 0);
  EXPECT_DOUBLE_EQ(f.capture.dt, 1.0 / 30.0);
  EXPECT_FALSE(f.capture.haveSeed);
  EXPECT_FALSE(f.capture.haveTime);

  f = Form({"--capture", "d", "--frames", "600", "--every", "60", "--size", "1280x720", "--dt", "0.02", "--seed",
            "42", "--time", "13:05:09", "--stats"});
  ASSERT_EQ(f.kind, LinuxForm::Capture) << f.error;
  EXPECT_EQ(f.capture.frames, 600);
  EXPECT_EQ(f.capture.every, 60);
  EXPECT_EQ(f.capture.width, 1280);
  EXPECT_EQ(f.capture.height, 720);
  EXPECT_DOUBLE_EQ(f.capture.dt, 0.02);
  EXPECT_TRUE(f.capture.haveSeed);
  EXPECT_EQ(f.capture.seed, 42u);
  EXPECT_TRUE(f.capture.haveTime);
  EXPECT_EQ(f.capture.hour, 13);
  EXPECT_EQ(f.capture.minute, 5);
  EXPECT_EQ(f.capture.second, 9);
  EXPECT_TRUE(f.capture.stats);

  for (auto bad : std::vector<std::vector<const char*>>{{"--capture"},
                                                        {"--capture", "d", "--frames", "0"},
                                                        {"--capture", "d", "--frames", "-3"},
                                                        {"--capture", "d", "--size", "640"},
                                                        {"--capture", "d", "--size", "0x480"},
                                                        {"--capture", "d", "--size", "640x480junk"},
                                                        {"--capture", "d", "--dt", "-1"},
                                                        {"--capture", "d", "--dt", "abc"},
                                                        {"--capture", "d", "--time", "24:00:00"},
                                                        {"--capture", "d", "--time", "12:60"},
                                                        {"--capture", "d", "--every"},
                                                        {"--capture", "d", "--bogus", "1"}}) {
    std::vector<const char*> argv = {"hoardel3d"};
    argv.insert(argv.end(), bad.begin(), bad.end());
    LinuxForm e = ParseLinuxForm(static_cast<int>(argv.size()), argv.data(), nullptr);
    EXPECT_EQ(e.kind, LinuxForm::Error) << bad.back();
    EXPECT_FALSE(e.error.empty());
  }
}

}  // namespace
