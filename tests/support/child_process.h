// Child processes for the end-to-end tests: starting a program with a chosen environment and
// its stderr in a file, waiting for it with a time limit, shell commands for their output, and
// temporary folders that remove themselves.
#pragma once

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace testsupport {

// Runs a shell command and returns what it wrote to stdout; *status (when given) receives its
// exit status, or -1 when it could not run or was ended by a signal.
inline std::string Capture(const std::string& cmd, int* status = nullptr) {
  std::string out;
  int result = -1;
  if (FILE* p = popen(cmd.c_str(), "r")) {
    char buf[4096];
    std::size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
    const int s = pclose(p);
    if (s != -1 && WIFEXITED(s)) result = WEXITSTATUS(s);
  }
  if (status) *status = result;
  return out;
}

// Whether a program of that name is on the PATH.
inline bool Have(const char* tool) {
  return std::system((std::string("command -v ") + tool + " >/dev/null 2>&1").c_str()) == 0;
}

inline std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

// A started program. One that is still running when its Child goes away is killed, so a test
// that stops early leaves nothing behind.
class Child {
 public:
  explicit Child(pid_t pid = 0) : pid_(pid) {}
  Child(Child&& other) noexcept : pid_(other.pid_) { other.pid_ = 0; }
  Child& operator=(Child&& other) noexcept {
    if (this != &other) {
      Kill();
      pid_ = other.pid_;
      other.pid_ = 0;
    }
    return *this;
  }
  Child(const Child&) = delete;
  Child& operator=(const Child&) = delete;
  ~Child() { Kill(); }

  // 0 once it has been waited for, or when it never started.
  pid_t pid() const { return pid_; }
  bool started() const { return pid_ > 0; }

  // Exit status (128 + the signal when one ended it), or -1 when it is still running after
  // `seconds`; it is then killed.
  int WaitExit(double seconds) {
    if (pid_ <= 0) return -1;
    const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (std::chrono::steady_clock::now() < end) {
      int status = 0;
      if (waitpid(pid_, &status, WNOHANG) == pid_) {
        pid_ = 0;
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    Kill();
    return -1;
  }

  // Whether it is still running; one that has ended is left for WaitExit to collect.
  bool Running() const {
    if (pid_ <= 0) return false;
    siginfo_t info{};
    if (waitid(P_PID, static_cast<id_t>(pid_), &info, WEXITED | WNOHANG | WNOWAIT) != 0) return false;
    return info.si_pid == 0;
  }

  void Kill() {
    if (pid_ <= 0) return;
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
    pid_ = 0;
  }

 private:
  pid_t pid_;
};

// Changes to this process's environment for a child: each name set to its value, or removed
// where the value is empty.
using EnvOverrides = std::map<std::string, std::string>;

struct SpawnOptions {
  EnvOverrides env;
  bool cleanEnv = false;  // start from an empty environment rather than this process's
  std::string errFile;    // the child's stderr, truncated; empty: this process's stderr
  bool outToErrFile = false;  // stdout into errFile as well (otherwise /dev/null once errFile is set)
};

// Starts `program` (a path) with `args`; Child::started() is false when it could not be run.
inline Child Spawn(const std::string& program, const std::vector<std::string>& args, const SpawnOptions& options) {
  std::vector<std::string> envStrings;
  if (!options.cleanEnv)
    for (char** e = environ; *e; ++e) {
      const std::string s = *e;
      if (!options.env.count(s.substr(0, s.find('=')))) envStrings.push_back(s);
    }
  for (const auto& [name, value] : options.env)
    if (!value.empty()) envStrings.push_back(name + "=" + value);
  std::vector<char*> envp, argv;
  for (auto& s : envStrings) envp.push_back(s.data());
  envp.push_back(nullptr);
  std::vector<std::string> all = {program};
  all.insert(all.end(), args.begin(), args.end());
  for (auto& s : all) argv.push_back(s.data());
  argv.push_back(nullptr);

  posix_spawn_file_actions_t fa;
  posix_spawn_file_actions_init(&fa);
  if (!options.errFile.empty()) {
    posix_spawn_file_actions_addopen(&fa, 2, options.errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (options.outToErrFile)
      posix_spawn_file_actions_adddup2(&fa, 2, 1);
    else
      posix_spawn_file_actions_addopen(&fa, 1, "/dev/null", O_WRONLY, 0);
  }
  pid_t pid = 0;
  if (posix_spawn(&pid, program.c_str(), &fa, nullptr, argv.data(), envp.data()) != 0) pid = 0;
  posix_spawn_file_actions_destroy(&fa);
  return Child(pid);
}

// The common case: this process's environment with `env` applied, stderr into errFile and
// stdout discarded.
inline Child Spawn(const std::string& program, const std::vector<std::string>& args, const EnvOverrides& env,
                   const std::string& errFile) {
  SpawnOptions options;
  options.env = env;
  options.errFile = errFile;
  return Spawn(program, args, options);
}

// A fresh folder under /tmp, removed with everything in it when this goes away (unless kept).
class TempDir {
 public:
  explicit TempDir(const std::string& name = "hoardel-e2e") {
    std::string tmpl = "/tmp/" + name + "-XXXXXX";
    if (mkdtemp(tmpl.data())) path_ = tmpl;
  }
  ~TempDir() {
    if (path_.empty() || keep_) return;
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  bool ok() const { return !path_.empty(); }
  const std::string& path() const { return path_; }
  std::string operator/(const std::string& name) const { return path_ + "/" + name; }
  // Leaves the folder in place (for a look after a failure).
  void Keep() { keep_ = true; }

 private:
  std::string path_;
  bool keep_ = false;
};

}  // namespace testsupport
