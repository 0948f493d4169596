// The per-run options through the real executable: refused values, the settings a run uses,
// nothing stored, and the clock they switch in a captured frame.
#include <gtest/gtest.h>
#include <png.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "support/child_process.h"

namespace fs = std::filesystem;

namespace {

struct Result {
  int status = -1;
  std::string out;
};

class RunOptionsProgram : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(tmp_.ok());
    dir_ = tmp_.path();
    fs::create_directories(dir_ / "config");
  }

  // Runs the program with a private settings folder; stdout and stderr together.
  Result Run(const std::string& args) {
    const std::string cmd = "env -u DISPLAY -u XSCREENSAVER_WINDOW XDG_CONFIG_HOME='" + (dir_ / "config").string() +
                            "' SDL_AUDIODRIVER=dummy HOARDEL_MESSAGEBOX=stderr '" + HOARDEL_EXECUTABLE + "' " + args +
                            " 2>&1";
    Result r;
    r.out = testsupport::Capture(cmd, &r.status);
    return r;
  }

  static std::map<std::string, std::string> Settings(const std::string& text) {
    std::map<std::string, std::string> m;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
      const auto eq = line.find('=');
      if (eq != std::string::npos) m[line.substr(0, eq)] = line.substr(eq + 1);
    }
    return m;
  }

  testsupport::TempDir tmp_{"hoardel-runopt"};
  fs::path dir_;
};

TEST_F(RunOptionsProgram, MalformedValueExitsWithStatusTwoAndSaysWhy) {
  const std::string out = (dir_ / "out").string();
  const std::pair<std::string, const char*> cases[] = {
      {"--volume 500", "--volume needs a percentage from 1 to 100"},
      {"-root --clock 13", "--clock needs 12, 24 or off"},
      {"/s --gamma", "--gamma needs"},
      {"--capture '" + out + "' --fps=yes", "--fps takes no value"},
  };
  for (const auto& [args, message] : cases) {
    const Result r = Run(args);
    EXPECT_EQ(r.status, 2) << args << "\n" << r.out;
    EXPECT_NE(r.out.find(message), std::string::npos) << args << "\n" << r.out;
    EXPECT_NE(r.out.find("--volume N"), std::string::npos) << "the usage follows the message";
  }
  EXPECT_FALSE(fs::exists(out)) << "a refused command line must not start a capture";
}

TEST_F(RunOptionsProgram, OverridesShowInTheSettingsOfTheRunAndAreNotStored) {
  const Result plain = Run("--print-settings");
  ASSERT_EQ(plain.status, 0) << plain.out;
  const auto base = Settings(plain.out);
  ASSERT_EQ(base.at("Music"), "1");
  // Reading the settings creates nothing; what the store holds must not change.
  const fs::path store = dir_ / "config" / "hoardel3d" / "registry";
  auto storeText = [&store] {
    std::ifstream in(store, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
  };
  const std::string stored = storeText();

  const Result r = Run("--no-music --print-settings --volume=30 --clock 24 --fps --gamma 150 --exit-on-mouse-move");
  ASSERT_EQ(r.status, 0) << r.out;
  auto s = Settings(r.out);
  EXPECT_EQ(s["Music"], "0");
  EXPECT_EQ(s["MusicVolume"], "30");
  EXPECT_EQ(s["ShowTime"], "1");
  EXPECT_EQ(s["DigClock_24H"], "1");
  EXPECT_EQ(s["ShowFPS"], "1");
  EXPECT_EQ(s["GmCntrl"], "150");
  EXPECT_EQ(s["ExitOnMouseMove"], "1");
  // Fields no option names come from the stored settings unchanged.
  for (const char* f : {"Width", "Height", "BitCount", "FSAA", "UseDesktopSettings", "SFX"}) EXPECT_EQ(s[f], base.at(f)) << f;

  // A later run without options sees the stored settings again: nothing was written.
  EXPECT_EQ(Run("--print-settings").out, plain.out);
  EXPECT_EQ(storeText(), stored);
  EXPECT_EQ(stored.find("MusicVolume"), std::string::npos) << stored;
}

// The bottom-right corner of a capture, where the clock stands.
std::vector<unsigned char> ClockCorner(const fs::path& file) {
  png_image image;
  std::memset(&image, 0, sizeof image);
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_file(&image, file.c_str())) return {};
  image.format = PNG_FORMAT_RGB;
  std::vector<unsigned char> px(PNG_IMAGE_SIZE(image));
  if (!png_image_finish_read(&image, nullptr, px.data(), 0, nullptr)) return {};
  std::vector<unsigned char> corner;
  const unsigned w = image.width, h = image.height;
  for (unsigned y = h - h / 8; y < h; ++y)
    for (unsigned x = w - w / 2; x < w; ++x)
      for (int c = 0; c < 3; ++c) corner.push_back(px[(static_cast<std::size_t>(y) * w + x) * 3 + c]);
  return corner;
}

TEST_F(RunOptionsProgram, ClockOptionChangesTheCapturedFrame) {
  auto capture = [&](const std::string& name, const std::string& options) {
    const fs::path out = dir_ / name;
    const Result r = Run("--capture '" + out.string() +
                         "' --frames 1 --size 320x180 --seed 3 --time 21:45:00 --no-music " + options);
    EXPECT_EQ(r.status, 0) << options << "\n" << r.out;
    return ClockCorner(out / "frame-0001.png");
  };
  const auto off = capture("off", "--clock off");
  const auto twelve = capture("twelve", "--clock 12");
  const auto twentyFour = capture("twentyfour", "--clock 24");
  ASSERT_FALSE(off.empty());
  ASSERT_EQ(off.size(), twelve.size());
  ASSERT_EQ(off.size(), twentyFour.size());
  EXPECT_NE(off, twelve) << "no clock drawn with --clock 12";
  EXPECT_NE(twelve, twentyFour) << "9:45 PM and 21:45 look the same";
}

}  // namespace

// The Linux forms answer like a Linux command; the Windows switches still reach their modes.
using CommandLineProgram = RunOptionsProgram;

TEST_F(CommandLineProgram, HelpVersionAndUnknownWordsAnswerWithoutStartingTheSaver) {
  for (const char* help : {"--help", "-h", "/s --help"}) {
    const Result r = Run(help);
    EXPECT_EQ(r.status, 0) << help << "\n" << r.out;
    for (const char* needle : {"/s", "/c", "/p WINDOW", "-window-id", "--capture DIR", "--print-settings", "--volume N",
                               "XDG_CONFIG_HOME", "XSCREENSAVER_WINDOW", "HOARDEL_MESSAGEBOX", "registry"})
      EXPECT_NE(r.out.find(needle), std::string::npos) << help << " lacks " << needle;
  }
  const Result v = Run("--version");
  EXPECT_EQ(v.status, 0);
  EXPECT_EQ(v.out, std::string("hoardel3d ") + HOARDEL_VERSION_TEXT + "\n");
  for (const char* word : {"--bogus", "-bogus", "-x", "--frames 3", "-s5x"}) {
    const Result r = Run(word);
    EXPECT_EQ(r.status, 2) << word << "\n" << r.out;
    EXPECT_NE(r.out.find("unknown option"), std::string::npos) << word << "\n" << r.out;
    EXPECT_NE(r.out.find("try --help"), std::string::npos) << word << "\n" << r.out;
    EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 1) << "one line: " << r.out;
  }
}

TEST_F(CommandLineProgram, WithoutADisplayEveryDisplayModeExitsOneAndPointsToCapture) {
  // The Windows switches, dash forms included, still reach their modes: each needs a display.
  for (const char* mode : {"/s", "-s", "/S", "/saver", "/t", "-T", "/c", "/c:1234", "-c:1234", "", "/p 77", "-P77",
                           "-root", "-window-id 99"}) {
    const Result r = Run(mode);
    EXPECT_EQ(r.status, 1) << "'" << mode << "'\n" << r.out;
    EXPECT_NE(r.out.find("no display could be opened (DISPLAY is not set)"), std::string::npos) << mode << "\n" << r.out;
    EXPECT_NE(r.out.find("--capture"), std::string::npos) << mode;
  }
  // The password change needs none.
  EXPECT_EQ(Run("/a 5").status, 0);
}

TEST_F(CommandLineProgram, PrintSettingsLeavesAFreshHomeUntouched) {
  const Result r = Run("--print-settings");
  ASSERT_EQ(r.status, 0) << r.out;
  EXPECT_NE(r.out.find("MusicVolume="), std::string::npos) << r.out;
  EXPECT_TRUE(fs::is_empty(dir_ / "config")) << "reading the settings created " << fs::directory_iterator(dir_ / "config")->path();
}
