// A private configuration folder for one test: XDG_CONFIG_HOME points into a fresh
// temporary directory, removed afterwards.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

class TempConfigHome {
 public:
  TempConfigHome() {
    char tmpl[] = "/tmp/hoardel-reg-XXXXXX";
    const char* made = mkdtemp(tmpl);
    EXPECT_NE(made, nullptr);
    root_ = made ? made : "/tmp";
    if (const char* old = std::getenv("XDG_CONFIG_HOME")) saved_ = old, hadSaved_ = true;
    setenv("XDG_CONFIG_HOME", root_.c_str(), 1);
  }
  ~TempConfigHome() {
    if (hadSaved_)
      setenv("XDG_CONFIG_HOME", saved_.c_str(), 1);
    else
      unsetenv("XDG_CONFIG_HOME");
    std::error_code ec;
    std::filesystem::remove_all(root_, ec);
  }
  const std::string& root() const { return root_; }
  std::string dir() const { return root_ + "/hoardel3d"; }
  std::string store() const { return dir() + "/registry"; }

  static std::string ReadFile(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    std::ostringstream s;
    s << f.rdbuf();
    return s.str();
  }
  static void WriteFile(const std::string& path, const std::string& text) {
    std::ofstream f(path, std::ios::binary | std::ios::trunc);
    f << text;
  }

 private:
  std::string root_;
  std::string saved_;
  bool hadSaved_ = false;
};
