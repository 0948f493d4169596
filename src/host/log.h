// The progress log: one plain-text file per run, written line by line and flushed at every
// line end. It has an on/off switch, off unless the application turns it on; while off,
// nothing is created or written. Texts are the program's 8-bit Windows-1251 strings; the
// file is written in UTF-8.
#pragma once

#include <cstdio>
#include <string_view>

inline constexpr const char* kSaverLogFileName = "Saver_Log.txt";
inline constexpr const char* kConfigLogFileName = "Config_Log.txt";

class Log {
 public:
  Log() = default;
  ~Log();
  Log(const Log&) = delete;
  Log& operator=(const Log&) = delete;

  void SetEnabled(bool on) { enabled_ = on; }
  bool enabled() const { return enabled_; }
  bool isOpen() const { return open_; }

  // Creates or truncates the file (no folder: the current directory) and writes the opening
  // lines. A file that cannot be created shows a warning box and leaves the log closed.
  void Open(const char* fileName);
  // Appends the text as one line.
  void Write(std::string_view text);
  // Writes the closing lines and closes the file.
  void Close();

 private:
  void PutLine(std::string_view text);

  bool enabled_ = false;
  bool open_ = false;
  std::FILE* file_ = nullptr;
};
