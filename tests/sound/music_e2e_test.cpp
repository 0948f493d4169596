// The real saver under Xvfb with the dummy audio driver: once its music is playing (the library
// copy exists), SIGTERM ends the run cleanly, the audio stops with it and no copy is left.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

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

pid_t Spawn(const std::vector<std::string>& argv, const std::vector<std::string>& env, const std::string& cwd,
            const std::string& errFile) {
  pid_t pid = fork();
  if (pid != 0) return pid;
  for (const auto& kv : env) putenv(const_cast<char*>(kv.c_str()));
  if (chdir(cwd.c_str()) != 0) _exit(126);
  int err = open(errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  if (err >= 0) {
    dup2(err, 2);
    dup2(err, 1);
  }
  std::vector<char*> args;
  for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  execv(args[0], args.data());
  _exit(127);
}

bool WaitFor(pid_t pid, int* status, double seconds) {
  const auto end = Clock::now() + std::chrono::duration<double>(seconds);
  while (Clock::now() < end) {
    if (waitpid(pid, status, WNOHANG) == pid) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return false;
}

bool ProgramPlaysMusic() {
  // The music code's log line is linked in only when the application calls it.
  std::ifstream in(HOARDEL_PROGRAM, std::ios::binary);
  std::string image{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  return image.find("SoundSys Init Comlete.") != std::string::npos;
}

class MusicE2E : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!ProgramPlaysMusic()) GTEST_SKIP() << "the saver program does not start music yet";
    char tmpl[] = "/tmp/hoardel-music-e2e-XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    root_ = tmpl;
    run_ = root_ + "/run";
    ASSERT_EQ(mkdir(run_.c_str(), 0700), 0);
    fs::create_directories(root_ + "/config");
    fs::create_directories(root_ + "/tmp");
    // A free display number for our own X server.
    for (int n = 90 + getpid() % 100; n < 400; ++n) {
      if (fs::exists("/tmp/.X11-unix/X" + std::to_string(n)) || fs::exists("/tmp/.X" + std::to_string(n) + "-lock"))
        continue;
      display_ = n;
      break;
    }
    ASSERT_GT(display_, 0);
    xvfb_ = Spawn({"/usr/bin/Xvfb", ":" + std::to_string(display_), "-screen", "0", "1024x768x24", "-nolisten", "tcp"},
                  {}, root_, root_ + "/xvfb.log");
    const auto end = Clock::now() + std::chrono::seconds(10);
    while (Clock::now() < end && !fs::exists("/tmp/.X11-unix/X" + std::to_string(display_)))
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    ASSERT_TRUE(fs::exists("/tmp/.X11-unix/X" + std::to_string(display_))) << "Xvfb did not start";
  }
  void TearDown() override {
    if (saver_ > 0) {
      kill(saver_, SIGKILL);
      waitpid(saver_, nullptr, 0);
    }
    if (xvfb_ > 0) {
      kill(xvfb_, SIGTERM);
      waitpid(xvfb_, nullptr, 0);
    }
    std::error_code ec;
    if (!root_.empty()) fs::remove_all(root_, ec);
  }
  std::string root_, run_;
  int display_ = 0;
  pid_t xvfb_ = -1;
  pid_t saver_ = -1;
};

TEST_F(MusicE2E, SigtermStopsTheMusicAndLeavesNoLibraryFile) {
  const std::string errFile = root_ + "/saver.log";
  saver_ = Spawn({HOARDEL_PROGRAM, "/s"},
                 {"DISPLAY=:" + std::to_string(display_), "XDG_RUNTIME_DIR=" + run_,
                  "XDG_CONFIG_HOME=" + root_ + "/config", "TMPDIR=" + root_ + "/tmp", "SDL_AUDIODRIVER=dummy",
                  "HOARDEL_MESSAGEBOX=stderr"},
                 root_, errFile);
  ASSERT_GT(saver_, 0);
  int status = 0;
  // Music starts after the scene has loaded.
  const auto end = Clock::now() + std::chrono::seconds(60);
  bool exited = false;
  while (Clock::now() < end && LibraryCopies(run_).empty()) {
    if (waitpid(saver_, &status, WNOHANG) == saver_) {
      exited = true;
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  if (exited) {
    saver_ = -1;
    std::ifstream in(errFile);
    std::string err{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    FAIL() << "the saver ended before its music started: " << err;
  }
  ASSERT_EQ(LibraryCopies(run_).size(), 1u) << "no library copy within 60 s";
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  ASSERT_EQ(kill(saver_, SIGTERM), 0);
  ASSERT_TRUE(WaitFor(saver_, &status, 15.0)) << "the saver did not end after SIGTERM";
  saver_ = -1;
  EXPECT_TRUE(WIFEXITED(status)) << "ended by signal " << (WIFSIGNALED(status) ? WTERMSIG(status) : 0);
  EXPECT_TRUE(LibraryCopies(run_).empty());
  // Nothing but (empty) folders of the per-user window registry may stay behind.
  for (const auto& e : fs::recursive_directory_iterator(run_))
    EXPECT_TRUE(e.is_directory()) << "left behind: " << e.path();
  EXPECT_TRUE(fs::is_empty(root_ + "/tmp"));
}

}  // namespace
