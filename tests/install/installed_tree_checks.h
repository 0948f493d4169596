// What a desktop needs from an installed tree (a prefix such as /usr), checked the same way
// whichever way the tree was made. A test program defines a Source, a type with
//   static const InstalledTreeResult& Tree();   // made once per process
// and instantiates the checks for it:
//   namespace installcheck { INSTANTIATE_TYPED_TEST_SUITE_P(Install, InstalledTree, CmakeInstall); }
#pragma once

#include <gtest/gtest.h>
#include <png.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "host/run_options.h"
#include "support/child_process.h"

namespace installcheck {

namespace fs = std::filesystem;
using testsupport::Have;
using testsupport::ReadFile;

// Runs a shell command; returns its exit status and (merged) output.
inline int Shell(const std::string& command, std::string* output) {
  int status = -1;
  *output = testsupport::Capture(command + " 2>&1", &status);
  return status;
}

// The text of a gzip-compressed file; empty when it cannot be read.
inline std::string ReadGzip(const fs::path& file) {
  std::string text;
  gzFile in = gzopen(file.c_str(), "rb");
  if (!in) return text;
  char buf[4096];
  for (int n; (n = gzread(in, buf, sizeof buf)) > 0;) text.append(buf, static_cast<std::size_t>(n));
  gzclose(in);
  return text;
}

struct Rgba {
  unsigned width = 0, height = 0;
  std::vector<unsigned char> px;
  const unsigned char* at(unsigned x, unsigned y) const { return &px[(static_cast<std::size_t>(y) * width + x) * 4]; }
};

inline bool ReadPng(const fs::path& file, Rgba* image) {
  png_image p;
  std::memset(&p, 0, sizeof p);
  p.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_file(&p, file.c_str())) return false;
  p.format = PNG_FORMAT_RGBA;
  image->width = p.width;
  image->height = p.height;
  image->px.resize(PNG_IMAGE_SIZE(p));
  return png_image_finish_read(&p, nullptr, image->px.data(), 0, nullptr) != 0;
}

// The installed tree: prefix is the folder holding bin/, share/, ...; empty when making the
// tree failed, and log says why.
struct InstalledTreeResult {
  std::string prefix;
  std::string log;
};

template <class Source>
class InstalledTree : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_FALSE(Source::Tree().prefix.empty()) << Source::Tree().log; }
  static std::filesystem::path P(const std::string& rel) { return std::filesystem::path(Source::Tree().prefix) / rel; }
};
TYPED_TEST_SUITE_P(InstalledTree);

TYPED_TEST_P(InstalledTree, ProgramToolsAndTheLinkForXScreenSaver) {
  for (const char* exe : {"bin/hoardel3d", "bin/hoardel-rar", "bin/hoardel-xdump"}) {
    EXPECT_EQ(access(this->P(exe).c_str(), X_OK), 0) << exe;
  }
  const fs::path link = this->P("libexec/xscreensaver/hoardel3d");
  ASSERT_TRUE(fs::is_symlink(link));
  EXPECT_TRUE(fs::read_symlink(link).is_relative()) << "an absolute link breaks staged installs";
  EXPECT_EQ(fs::canonical(link), fs::canonical(this->P("bin/hoardel3d")));
  // The helper that makes the icons is a build tool, not part of the installation.
  EXPECT_FALSE(fs::exists(this->P("bin/hoardel-iconpng")));
}

TYPED_TEST_P(InstalledTree, XScreenSaverSettingsFileDrivesOurOptions) {
  const fs::path xml = this->P("share/xscreensaver/config/hoardel3d.xml");
  ASSERT_TRUE(fs::exists(xml));
  if (Have("xmllint")) {
    std::string out;
    EXPECT_EQ(Shell("xmllint --noout '" + xml.string() + "'", &out), 0) << out;
  }
  const std::string text = ReadFile(xml);
  EXPECT_NE(text.find("<screensaver name=\"hoardel3d\""), std::string::npos);
  EXPECT_NE(text.find("<command arg=\"-root\"/>"), std::string::npos);
  EXPECT_NE(text.find("<_description>"), std::string::npos);

  // Every argument a widget can produce must be one the program accepts and takes out of the
  // command line; together they must reach every per-run option.
  std::vector<std::string> args;
  const std::regex argSet(R"re(arg-(?:set|unset)="([^"]*)")re");
  for (auto it = std::sregex_iterator(text.begin(), text.end(), argSet); it != std::sregex_iterator(); ++it)
    args.push_back((*it)[1]);
  const std::regex number(R"re(<number[^>]*arg="([^"]*)"[^>]*low="(\d+)"[^>]*high="(\d+)"[^>]*default="(\d+)")re");
  int numbers = 0;
  for (auto it = std::sregex_iterator(text.begin(), text.end(), number); it != std::sregex_iterator(); ++it) {
    ++numbers;
    for (int g = 2; g <= 4; ++g) args.push_back(std::regex_replace((*it)[1].str(), std::regex("%"), (*it)[g].str()));
  }
  EXPECT_EQ(numbers, 2);
  RunOptions seen;
  std::string joined;
  for (const std::string& a : args) {
    joined += a + " ";
    std::vector<std::string> words;
    std::istringstream split(a);
    for (std::string w; split >> w;) words.push_back(w);
    std::vector<const char*> argv{"hoardel3d", "-root"};
    for (const std::string& w : words) argv.push_back(w.c_str());
    const RunOptionsParse r = ExtractRunOptions(static_cast<int>(argv.size()), argv.data());
    EXPECT_TRUE(r.ok()) << a << ": " << r.error;
    EXPECT_EQ(r.rest.size(), 2u) << a << " left arguments the program would not understand";
    EXPECT_FALSE(r.options.empty()) << a;
    if (r.options.showFps) seen.showFps = r.options.showFps;
    if (r.options.clock) seen.clock = r.options.clock;
    if (r.options.music) seen.music = r.options.music;
    if (r.options.volume) seen.volume = r.options.volume;
    if (r.options.gamma) seen.gamma = r.options.gamma;
    if (r.options.exitOnMouseMove) seen.exitOnMouseMove = r.options.exitOnMouseMove;
  }
  EXPECT_TRUE(seen.showFps && seen.clock && seen.music && seen.volume && seen.gamma && seen.exitOnMouseMove)
      << "widgets: " << joined;
  for (const char* a : {"--fps", "--no-fps", "--clock 12", "--clock 24", "--clock off", "--music", "--no-music",
                        "--exit-on-mouse-move"})
    EXPECT_NE(joined.find(std::string(a) + " "), std::string::npos) << a;
}

TYPED_TEST_P(InstalledTree, DesktopEntryOpensTheConfigurationWithTheInstalledIcon) {
  const fs::path entry = this->P("share/applications/hoardel3d.desktop");
  ASSERT_TRUE(fs::exists(entry));
  if (Have("desktop-file-validate")) {
    std::string out;
    EXPECT_EQ(Shell("desktop-file-validate '" + entry.string() + "'", &out), 0) << out;
  }
  const std::string text = ReadFile(entry);
  std::smatch m;
  ASSERT_TRUE(std::regex_search(text, m, std::regex(R"(\nExec=(\S+) ?([^\n]*))")));
  EXPECT_TRUE(fs::exists(this->P("bin/" + m[1].str()))) << m[1];
  // No switch or /c (or -c) is the configuration dialog.
  EXPECT_TRUE(m[2].str().empty() || m[2] == "-c" || m[2] == "/c") << m[2];
  ASSERT_TRUE(std::regex_search(text, m, std::regex(R"(\nIcon=([^\n]+))")));
  EXPECT_TRUE(fs::exists(this->P("share/icons/hicolor/48x48/apps/" + m[1].str() + ".png")));
}

TYPED_TEST_P(InstalledTree, IconSizesAreRoundEmblemsWithTransparentCorners) {
  for (int size : {16, 22, 24, 32, 48}) {
    const fs::path file = this->P("share/icons/hicolor/" + std::to_string(size) + "x" + std::to_string(size) +
                            "/apps/hoardel3d.png");
    Rgba image;
    ASSERT_TRUE(ReadPng(file, &image)) << file;
    EXPECT_EQ(image.width, static_cast<unsigned>(size));
    EXPECT_EQ(image.height, static_cast<unsigned>(size));
    EXPECT_EQ(image.at(0, 0)[3], 0) << size;
    EXPECT_EQ(image.at(size - 1, size - 1)[3], 0) << size;
    const unsigned char* centre = image.at(size / 2, size / 2);
    EXPECT_EQ(centre[3], 255) << size;
    EXPECT_GT(centre[0] + centre[1] + centre[2], 0) << "the emblem is not black";
  }
}

TYPED_TEST_P(InstalledTree, ManualPageDescribesEveryModeOptionAndVariable) {
  // Compressed, as Debian installs manual pages.
  const fs::path page = this->P("share/man/man6/hoardel3d.6.gz");
  ASSERT_TRUE(fs::exists(page));
  std::string text = ReadGzip(page);
  text.erase(std::remove(text.begin(), text.end(), '\\'), text.end());  // "\-\-fps" reads "--fps"
  std::vector<std::string> needed = {"/s", "/t", "/c", "/p", "/a", "-root", "-window-id", "--capture", "--frames",
                                     "--every", "--size", "--dt", "--seed", "--time", "--stats", "--print-settings",
                                     "XSCREENSAVER_WINDOW", "XDG_CONFIG_HOME", "HOARDEL_MESSAGEBOX", "TMPDIR",
                                     "DISPLAY", "registry", "Saver_Log.txt"};
  // Every option the usage text of the per-run options names.
  const std::string usage = RunOptionsUsage();
  const std::regex option("--[a-z-]+");
  for (auto it = std::sregex_iterator(usage.begin(), usage.end(), option); it != std::sregex_iterator(); ++it)
    needed.push_back(it->str());
  for (const std::string& n : needed) EXPECT_NE(text.find(n), std::string::npos) << n;
  if (Have("groff")) {
    std::string out;
    EXPECT_EQ(Shell("gzip -dc '" + page.string() + "' | groff -man -ww -z", &out), 0);
    EXPECT_EQ(out, "") << "groff warnings";
  }
}

REGISTER_TYPED_TEST_SUITE_P(InstalledTree, ProgramToolsAndTheLinkForXScreenSaver,
                            XScreenSaverSettingsFileDrivesOurOptions,
                            DesktopEntryOpensTheConfigurationWithTheInstalledIcon,
                            IconSizesAreRoundEmblemsWithTransparentCorners,
                            ManualPageDescribesEveryModeOptionAndVariable);

}  // namespace installcheck
