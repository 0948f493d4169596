#include "host/command_line.h"

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

// Skips non-digits; a digit then starts the number. False when the line ends first.
bool ReadNumberAfter(const char*& p, long* value) {
  while (*p && !std::isdigit(static_cast<unsigned char>(*p))) ++p;
  if (!*p) return false;
  *value = std::strtol(p, nullptr, 10);
  return true;
}

win32::HWND HandleFromNumber(long v) { return reinterpret_cast<win32::HWND>(static_cast<std::intptr_t>(v)); }

// Parses a whole unsigned number (decimal or 0x hex); false for anything else.
bool ParseUnsigned(const char* s, unsigned long long* out) {
  if (!s || !*s || *s == '-') return false;
  errno = 0;
  char* end = nullptr;
  unsigned long long v = std::strtoull(s, &end, 0);
  if (errno != 0 || end == s || *end != '\0') return false;
  *out = v;
  return true;
}

}  // namespace

RunMode ParseCommandLine(const char* line, win32::HWND* parent) {
  *parent = nullptr;
  if (!line) return RunMode::Configure;
  const char* p = line;
  if (*p == '"') {
    ++p;
    while (*p && *p != '"') ++p;
    if (*p == '"') ++p;
  } else {
    while (*p && *p != ' ') ++p;
    if (*p == ' ') ++p;
  }
  while (*p && *p != '/' && *p != '-') ++p;
  if (!*p) return RunMode::Configure;
  const char sw = static_cast<char>(std::tolower(static_cast<unsigned char>(p[1])));
  // Scanning continues two characters after the switch character (past the letter).
  const char* q = p + 1;
  if (*q) ++q;
  long number = 0;
  switch (sw) {
    case 'a':
      if (ReadNumberAfter(q, &number)) *parent = HandleFromNumber(number);
      return RunMode::ChangePassword;
    case 'c':
      *parent = ReadNumberAfter(q, &number) ? HandleFromNumber(number) : nullptr;
      return RunMode::Configure;
    case 'p':
      if (ReadNumberAfter(q, &number)) *parent = HandleFromNumber(number);
      return RunMode::Preview;
    case 't':
      return RunMode::Test;
    default:
      return RunMode::Saver;
  }
}

std::string JoinCommandLine(int argc, const char* const* argv) {
  std::string line;
  for (int i = 0; i < argc; ++i) {
    if (i) line += ' ';
    const char* a = argv[i] ? argv[i] : "";
    if (i == 0 || std::strchr(a, ' ')) {
      line += '"';
      line += a;
      line += '"';
    } else {
      line += a;
    }
  }
  return line;
}

LinuxForm ParseLinuxForm(int argc, const char* const* argv, const char* xscreensaverWindow) {
  LinuxForm form;
  auto fail = [&form](std::string message) {
    form.kind = LinuxForm::Error;
    form.error = std::move(message);
    return form;
  };
  bool windowsSwitch = false;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i] ? argv[i] : "";
    auto value = [&](const char* what) -> const char* {
      if (i + 1 >= argc) return nullptr;
      (void)what;
      return argv[++i];
    };
    if (a == "--print-settings") {
      form.kind = LinuxForm::PrintSettings;
      return form;
    }
    if (a == "-root" || a == "--root") {
      form.kind = LinuxForm::Root;
      return form;
    }
    if (a == "-window-id" || a == "--window-id") {
      const char* v = value("window id");
      unsigned long long id = 0;
      if (!ParseUnsigned(v, &id) || id == 0) return fail(a + " needs an X11 window id");
      form.kind = LinuxForm::WindowId;
      form.windowId = static_cast<unsigned long>(id);
      return form;
    }
    if (a == "--capture") {
      const char* dir = value("folder");
      if (!dir || !*dir) return fail("--capture needs a folder");
      CaptureOptions& c = form.capture;
      c.dir = dir;
      for (++i; i < argc; ++i) {
        const std::string o = argv[i] ? argv[i] : "";
        const char* v = (i + 1 < argc) ? argv[i + 1] : nullptr;
        unsigned long long n = 0;
        if (o == "--stats") {
          c.stats = true;
          continue;
        }
        if (!v) return fail(o + " needs a value");
        ++i;
        if (o == "--frames") {
          if (!ParseUnsigned(v, &n) || n < 1 || n > 1000000) return fail("--frames needs a count from 1");
          c.frames = static_cast<int>(n);
        } else if (o == "--every") {
          if (!ParseUnsigned(v, &n) || n < 1 || n > 1000000) return fail("--every needs a count from 1");
          c.every = static_cast<int>(n);
        } else if (o == "--size") {
          unsigned w = 0, h = 0;
          char tail = 0;
          if (std::sscanf(v, "%ux%u%c", &w, &h, &tail) != 2 || w < 1 || h < 1 || w > 8192 || h > 8192)
            return fail("--size needs WIDTHxHEIGHT");
          c.width = static_cast<int>(w);
          c.height = static_cast<int>(h);
        } else if (o == "--dt") {
          char* end = nullptr;
          const double d = std::strtod(v, &end);
          if (end == v || *end != '\0' || !(d >= 0.0) || d > 10.0) return fail("--dt needs seconds from 0 to 10");
          c.dt = d;
        } else if (o == "--seed") {
          if (!ParseUnsigned(v, &n) || n > 0xFFFFFFFFull) return fail("--seed needs a number");
          c.haveSeed = true;
          c.seed = static_cast<unsigned>(n);
        } else if (o == "--time") {
          int hh = -1, mm = -1, ss = -1;
          char tail = 0;
          if (std::sscanf(v, "%d:%d:%d%c", &hh, &mm, &ss, &tail) != 3 || hh < 0 || hh > 23 || mm < 0 ||
              mm > 59 || ss < 0 || ss > 59)
            return fail("--time needs HH:MM:SS");
          c.haveTime = true;
          c.hour = hh;
          c.minute = mm;
          c.second = ss;
        } else {
          return fail("unknown capture option " + o);
        }
      }
      form.kind = LinuxForm::Capture;
      return form;
    }
    if (!a.empty() && (a[0] == '/' || a[0] == '-')) windowsSwitch = true;
  }
  if (!windowsSwitch && xscreensaverWindow && *xscreensaverWindow) {
    unsigned long long id = 0;
    if (ParseUnsigned(xscreensaverWindow, &id) && id != 0) {
      form.kind = LinuxForm::WindowId;
      form.windowId = static_cast<unsigned long>(id);
    }
  }
  return form;
}
