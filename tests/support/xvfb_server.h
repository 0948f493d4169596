// A private Xvfb server for the end-to-end tests, on a display number the server picks itself,
// and a GoogleTest environment that runs one for a whole test program.
#pragma once

#include <gtest/gtest.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <memory>
#include <string>

#include "support/child_process.h"

namespace testsupport {

// Starts Xvfb with a width x height x 24 screen and waits until it takes clients; ok() is false
// when it could not be started (not installed, or no display number within 20 seconds). The
// server is stopped by the destructor.
class XvfbServer {
 public:
  explicit XvfbServer(int width = 1024, int height = 768) {
    int fds[2];
    if (pipe(fds) != 0) return;
    fcntl(fds[0], F_SETFD, FD_CLOEXEC);  // the server gets the write end only
    const std::string fd = std::to_string(fds[1]);
    const std::string screen = std::to_string(width) + "x" + std::to_string(height) + "x24";
    const char* argv[] = {"Xvfb", "-displayfd", fd.c_str(), "-screen", "0", screen.c_str(), "-nolisten", "tcp", nullptr};
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_addopen(&fa, 2, "/dev/null", O_WRONLY, 0);
    if (posix_spawnp(&pid_, "Xvfb", &fa, nullptr, const_cast<char**>(argv), environ) != 0) pid_ = 0;
    posix_spawn_file_actions_destroy(&fa);
    close(fds[1]);
    // The server writes its display number and a newline once it accepts connections; it
    // closes the pipe (end of file) when it fails.
    std::string number;
    bool complete = false;
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (pid_ > 0 && !complete) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
      pollfd p{fds[0], POLLIN, 0};
      char c = 0;
      if (left.count() <= 0 || poll(&p, 1, static_cast<int>(left.count())) <= 0 || read(fds[0], &c, 1) != 1) break;
      if (c == '\n')
        complete = true;
      else
        number += c;
    }
    close(fds[0]);
    if (complete && !number.empty())
      name_ = ":" + number;
    else
      Stop();
  }
  ~XvfbServer() { Stop(); }
  XvfbServer(const XvfbServer&) = delete;
  XvfbServer& operator=(const XvfbServer&) = delete;

  bool ok() const { return !name_.empty(); }
  // The display's name (":N"); empty when the server did not start.
  const std::string& name() const { return name_; }

  // Runs xdotool on this display with `args` (shell words); returns its output, its exit
  // status in *status when given.
  std::string Xdotool(const std::string& args, int* status = nullptr) const {
    return Capture("DISPLAY=" + name_ + " xdotool " + args + " 2>/dev/null", status);
  }

 private:
  void Stop() {
    if (pid_ > 0) {
      kill(pid_, SIGTERM);
      waitpid(pid_, nullptr, 0);
    }
    pid_ = 0;
  }
  pid_t pid_ = 0;
  std::string name_;
};

// One server for a whole test program, named in DISPLAY while it runs (CTest runs each test in
// a process of its own, so each test gets a fresh server). DISPLAY is unset when none started.
class XvfbEnvironment : public ::testing::Environment {
 public:
  XvfbEnvironment(int width, int height) : width_(width), height_(height) {}
  void SetUp() override {
    unsetenv("DISPLAY");
    server_ = std::make_unique<XvfbServer>(width_, height_);
    if (server_->ok()) setenv("DISPLAY", server_->name().c_str(), 1);
  }
  void TearDown() override { server_.reset(); }
  // The display's name; empty when there is no server.
  std::string display() const { return server_ ? server_->name() : std::string(); }

 private:
  int width_, height_;
  std::unique_ptr<XvfbServer> server_;
};

// Registers an XvfbEnvironment with GoogleTest, which owns it.
inline XvfbEnvironment* AddXvfbEnvironment(int width, int height) {
  auto* env = new XvfbEnvironment(width, height);
  ::testing::AddGlobalTestEnvironment(env);
  return env;
}

}  // namespace testsupport
