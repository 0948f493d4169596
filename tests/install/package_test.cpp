// The Debian package of the build (`cpack -G DEB`), unpacked with dpkg-deb into a temporary
// folder, never installed: the checks of an installation, its control fields, lintian, and
// the installed program run with a private home.
#include <string>

#include "install/installed_tree_checks.h"

namespace installcheck {
namespace {

using testsupport::Capture;
using testsupport::TempDir;

struct DebianPackage {
  std::string deb;  // the .deb file; empty when cpack made none
  InstalledTreeResult tree;

  static const DebianPackage& Made() {
    static TempDir dir("hoardel-package");
    static const DebianPackage made = [] {
      DebianPackage p;
      const std::string out = dir / "out";
      if (Shell(std::string("'") + HOARDEL_CPACK_COMMAND + "' -G DEB --config '" + HOARDEL_BINARY_DIR +
                    "/CPackConfig.cmake' -B '" + out + "'",
                &p.tree.log) != 0)
        return p;
      std::string arch = Capture("dpkg --print-architecture");
      arch.erase(arch.find_last_not_of("\n") + 1);
      const std::string deb = out + "/hoardel3d_" HOARDEL_VERSION "_" + arch + ".deb";
      if (!fs::exists(deb)) {
        p.tree.log += "\nno " + deb;
        return p;
      }
      p.deb = deb;
      std::string log;
      if (Shell("dpkg-deb -x '" + deb + "' '" + dir / "root" + "'", &log) == 0)
        p.tree.prefix = dir / "root/usr";
      else
        p.tree.log += log;
      return p;
    }();
    return made;
  }
  static const InstalledTreeResult& Tree() { return Made().tree; }

  // A control field of the package, as dpkg-deb prints it (continuation lines included).
  static std::string Field(const std::string& name) {
    std::string value = Capture("dpkg-deb -f '" + Made().deb + "' " + name);
    value.erase(value.find_last_not_of("\n") + 1);
    return value;
  }
};

class Package : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_FALSE(DebianPackage::Made().deb.empty()) << DebianPackage::Made().tree.log; }
  static fs::path P(const std::string& rel) { return fs::path(DebianPackage::Tree().prefix) / rel; }
};

}  // namespace

INSTANTIATE_TYPED_TEST_SUITE_P(Package, InstalledTree, DebianPackage);

namespace {

TEST_F(Package, ControlFieldsComeFromTheProjectAndTheBinaries) {
  EXPECT_EQ(DebianPackage::Field("Package"), "hoardel3d");
  EXPECT_EQ(DebianPackage::Field("Version"), HOARDEL_VERSION);
  EXPECT_EQ(DebianPackage::Field("Section"), "x11");
  EXPECT_NE(DebianPackage::Field("Maintainer"), "");
  const std::string description = DebianPackage::Field("Description");
  EXPECT_NE(description.find("\n "), std::string::npos) << "no long description: " << description;
  // Computed by dpkg-shlibdeps from what the binaries link: C library, SDL, GTK at least.
  const std::string depends = DebianPackage::Field("Depends");
  for (const char* lib : {"libc6 ", "libsdl2-2.0-0 ", "libgtk-3-0 "})
    EXPECT_NE(depends.find(lib), std::string::npos) << lib << " missing in Depends: " << depends;
  // The changelog's entry is this version.
  const std::string changelog = ReadGzip(P("share/doc/hoardel3d/changelog.gz"));
  EXPECT_EQ(changelog.rfind("hoardel3d (" HOARDEL_VERSION ") ", 0), 0u) << changelog;
  EXPECT_TRUE(fs::exists(P("share/doc/hoardel3d/copyright")));
}

TEST_F(Package, LintianReportsNoErrorsOrWarnings) {
  if (!Have("lintian")) GTEST_SKIP() << "lintian is not installed";
  std::string out;
  const int rc = Shell("lintian --fail-on error,warning '" + DebianPackage::Made().deb + "'", &out);
  EXPECT_EQ(rc, 0) << out;
  if (rc == 0) std::printf("%s", out.c_str());  // the warnings that remain, for the log
}

TEST_F(Package, InstalledProgramPrintsSettingsAndCapturesFrames) {
  TempDir t("hoardel-package-run");
  for (const char* d : {"home", "config", "tmp"}) fs::create_directories(t / d);
  const std::string exe = P("bin/hoardel3d");
  const testsupport::EnvOverrides env = {{"HOME", t / "home"},          {"XDG_CONFIG_HOME", t / "config"},
                                         {"TMPDIR", t / "tmp"},         {"HOARDEL_MESSAGEBOX", "stderr"},
                                         {"SDL_AUDIODRIVER", "dummy"},  {"DISPLAY", ""},
                                         {"XSCREENSAVER_WINDOW", ""}};
  testsupport::SpawnOptions options;
  options.env = env;
  options.errFile = t / "settings.out";
  options.outToErrFile = true;
  testsupport::Child settings = testsupport::Spawn(exe, {"--print-settings"}, options);
  ASSERT_EQ(settings.WaitExit(30), 0) << ReadFile(t / "settings.out");
  // The defaults come from the resources inside the installed (stripped) program.
  const std::string printed = ReadFile(t / "settings.out");
  EXPECT_EQ(printed.rfind("ShowFPS=0\n", 0), 0u) << printed;
  EXPECT_NE(printed.find("\nWidth=800\nHeight=600\n"), std::string::npos) << printed;

  const std::string frames = t / "frames";
  testsupport::Child capture = testsupport::Spawn(
      exe, {"--capture", frames, "--frames", "3", "--every", "1", "--size", "160x120", "--seed", "1"}, env,
      t / "capture.err");
  ASSERT_EQ(capture.WaitExit(120), 0) << ReadFile(t / "capture.err");
  for (const char* f : {"loading.png", "frame-0001.png", "frame-0002.png"})
    EXPECT_TRUE(fs::exists(frames + "/" + f)) << f;
  Rgba last;
  ASSERT_TRUE(ReadPng(frames + "/frame-0003.png", &last));
  EXPECT_EQ(last.width, 160u);
  EXPECT_EQ(last.height, 120u);
  int lit = 0;
  for (unsigned y = 0; y < last.height; ++y)
    for (unsigned x = 0; x < last.width; ++x) lit += last.at(x, y)[0] + last.at(x, y)[1] + last.at(x, y)[2] > 30;
  EXPECT_GT(lit, static_cast<int>(last.width * last.height / 2)) << "the room was not drawn";
}

}  // namespace
}  // namespace installcheck
