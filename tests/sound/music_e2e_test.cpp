// The real saver under Xvfb with the dummy audio driver: once its music is playing (the library
// copy exists), SIGTERM ends the run cleanly, the audio stops with it and no copy is left.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "support/child_process.h"
#include "support/xvfb_server.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

std::vector<std::string> LibraryCopies(const std::string& dir) {
  std::vector<std::string> out;
  std::error_code ec;
  for (const auto& e : fs::directory_iterator(dir, ec)) {
    const std::string n = e.path().filename().string();
    if (n.rfind("bas", 0) == 0 && n.size() > 4 && n.substr(n.size() - 4) == ".tmp") out.push_back(e.path());
  }
  return out;
}

class MusicE2E : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(root_.ok());
    run_ = root_ / "run";
    ASSERT_EQ(mkdir(run_.c_str(), 0700), 0);
    fs::create_directories(root_ / "config");
    fs::create_directories(root_ / "tmp");
    xvfb_.emplace();
    ASSERT_TRUE(xvfb_->ok()) << "Xvfb did not start";
  }
  testsupport::TempDir root_{"hoardel-music-e2e"};
  std::string run_;
  std::optional<testsupport::XvfbServer> xvfb_;
};

TEST_F(MusicE2E, SigtermStopsTheMusicAndLeavesNoLibraryFile) {
  const std::string errFile = root_ / "saver.log";
  testsupport::Child saver = testsupport::Spawn(
      HOARDEL_PROGRAM, {"/s"},
      {{"DISPLAY", xvfb_->name()}, {"XDG_RUNTIME_DIR", run_}, {"XDG_CONFIG_HOME", root_ / "config"},
       {"TMPDIR", root_ / "tmp"}, {"SDL_AUDIODRIVER", "dummy"}, {"HOARDEL_MESSAGEBOX", "stderr"}},
      errFile);
  ASSERT_TRUE(saver.started());
  // Music starts after the scene has loaded.
  const auto end = Clock::now() + std::chrono::seconds(60);
  while (Clock::now() < end && LibraryCopies(run_).empty() && saver.Running())
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  if (!saver.Running()) FAIL() << "the saver ended before its music started: " << testsupport::ReadFile(errFile);
  ASSERT_EQ(LibraryCopies(run_).size(), 1u) << "no library copy within 60 s";
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  ASSERT_EQ(kill(saver.pid(), SIGTERM), 0);
  const int status = saver.WaitExit(15.0);
  ASSERT_NE(status, -1) << "the saver did not end after SIGTERM";
  EXPECT_LT(status, 128) << "ended by signal " << status - 128;
  EXPECT_TRUE(LibraryCopies(run_).empty());
  // Nothing but (empty) folders of the per-user window registry may stay behind.
  for (const auto& e : fs::recursive_directory_iterator(run_))
    EXPECT_TRUE(e.is_directory()) << "left behind: " << e.path();
  EXPECT_TRUE(fs::is_empty(root_ / "tmp"));
}

}  // namespace
