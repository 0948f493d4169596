#include "host/log.h"

#include <string>

#include "platform/win32/codepage.h"
#include "platform/win32/msgbox.h"

Log::~Log() {
  // A run that ends without teardown leaves the file without its closing lines.
  if (file_) std::fclose(file_);
}

void Log::Open(const char* fileName) {
  if (!enabled_) return;
  open_ = false;
  if (file_) {
    std::fclose(file_);
    file_ = nullptr;
  }
  file_ = fileName ? std::fopen(fileName, "w") : nullptr;
  if (!file_) {
    win32::MessageBoxA(nullptr, "Cant create log  file", "Warning", win32::MB_OK | win32::MB_ICONWARNING);
    return;
  }
  PutLine("Log started");
  PutLine("");
  open_ = true;
}

void Log::Write(std::string_view text) {
  if (!enabled_ || !open_) return;
  PutLine(text);
}

void Log::Close() {
  if (!enabled_ || !open_) return;
  PutLine("");
  PutLine("Log finished");
  std::fclose(file_);
  file_ = nullptr;
  open_ = false;
}

void Log::PutLine(std::string_view text) {
  std::string line = win32::AnsiToUtf8(text);
  line += '\n';
  std::fwrite(line.data(), 1, line.size(), file_);
  std::fflush(file_);
}
