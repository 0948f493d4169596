// Shared helpers of the end-to-end tests: a private Xvfb server on a free display number,
// running a shell command for its output, and checking that a tool is installed.
#pragma once

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>

namespace testsupport {

inline std::string Capture(const std::string& cmd) {
  std::string out;
  if (FILE* p = popen(cmd.c_str(), "r")) {
    char buf[256];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
    pclose(p);
  }
  return out;
}

inline bool Have(const char* tool) {
  return std::system((std::string("command -v ") + tool + " >/dev/null 2>&1").c_str()) == 0;
}

// Starts Xvfb (800x600x24) on the first free display in [first + pid % 50, last); ok() is
// false when none could be started. The server is stopped by the destructor.
class XvfbServer {
 public:
  XvfbServer(int first, int last) {
    for (int n = first + getpid() % 50; n < last && pid_ <= 0; ++n) {
      std::string socket = "/tmp/.X11-unix/X" + std::to_string(n);
      if (std::filesystem::exists(socket) || std::filesystem::exists("/tmp/.X" + std::to_string(n) + "-lock")) continue;
      pid_t pid = fork();
      if (pid == 0) {
        std::string d = ":" + std::to_string(n);
        execlp("Xvfb", "Xvfb", d.c_str(), "-nolisten", "tcp", "-screen", "0", "800x600x24", static_cast<char*>(nullptr));
        _exit(127);
      }
      for (int i = 0; i < 100 && !std::filesystem::exists(socket); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
      if (!std::filesystem::exists(socket)) {
        kill(pid, SIGTERM);
        waitpid(pid, nullptr, 0);
        continue;
      }
      pid_ = pid;
      name_ = ":" + std::to_string(n);
    }
  }
  ~XvfbServer() {
    if (pid_ > 0) {
      kill(pid_, SIGTERM);
      waitpid(pid_, nullptr, 0);
    }
  }
  XvfbServer(const XvfbServer&) = delete;
  XvfbServer& operator=(const XvfbServer&) = delete;
  bool ok() const { return pid_ > 0; }
  const std::string& name() const { return name_; }

 private:
  pid_t pid_ = -1;
  std::string name_;
};

}  // namespace testsupport
