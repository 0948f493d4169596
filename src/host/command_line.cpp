#include "host/command_line.h"

#include "host/run_options.h"

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

// "-s", "-T", "-c:1234", "-P123", "-a": the screensaver switches written with a dash.
bool IsDashWindowsSwitch(const std::string& a) {
  if (a.size() < 2 || a[0] != '-') return false;
  const char letter = static_cast<char>(std::tolower(static_cast<unsigned char>(a[1])));
  if (!std::strchr("acpst", letter)) return false;
  std::size_t i = 2;
  if (i < a.size() && a[i] == ':') ++i;
  for (; i < a.size(); ++i)
    if (!std::isdigit(static_cast<unsigned char>(a[i]))) return false;
  return a.size() == 2 || std::isdigit(static_cast<unsigned char>(a.back()));
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
    if (a == "--help" || a == "-h") {
      form.kind = LinuxForm::Help;
      return form;
    }
    if (a == "--version") {
      form.kind = LinuxForm::Version;
      return form;
    }
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
    if (a.size() > 1 && a[0] == '-' && !IsDashWindowsSwitch(a))
      return fail("unknown option \"" + a + "\"; try --help");
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

std::string UsageText() {
  std::string text =
      "Usage: hoardel3d [RUN-OPTIONS] [/s | /t | /c[:N] | /p WINDOW | /a WINDOW]\n"
      "       hoardel3d [RUN-OPTIONS] -root | -window-id ID\n"
      "       hoardel3d [RUN-OPTIONS] --capture DIR [--frames N] [--every K] [--size WxH]\n"
      "                 [--dt SECONDS] [--seed N] [--time HH:MM:SS] [--stats]\n"
      "       hoardel3d [RUN-OPTIONS] --print-settings\n"
      "       hoardel3d --help | --version\n"
      "\n"
      "A 3D treasure-chamber screensaver.\n"
      "\n"
      "Run modes (\"/\" and \"-\" alike, letters in any case):\n"
      "  /s, -s                 full-screen saver on every monitor; a key, a click, focus\n"
      "                         loss or (when set) mouse movement ends it\n"
      "  /t                     test run in a captioned window\n"
      "  /c, /c:N, no switch    the configuration dialog\n"
      "  /p WINDOW              a still preview inside the X11 window WINDOW (decimal id)\n"
      "  /a WINDOW              password change: nothing to do here, exits at once\n"
      "  -root                  the saver drawn into the root window (screen-saver daemons)\n"
      "  -window-id ID          the saver drawn into the X11 window ID (decimal or 0x hex);\n"
      "                         also when $XSCREENSAVER_WINDOW is set and no mode is given\n"
      "  --capture DIR          no display needed: N frames (default 1) rendered offscreen at\n"
      "                         a fixed step (--dt, default 1/30 s), written as\n"
      "                         DIR/frame-0001.png ... (only the last unless --every K) after\n"
      "                         DIR/loading.png; --size picture size, --seed random seed,\n"
      "                         --time the clock's time, --stats frame timings\n"
      "  --print-settings       the stored settings with the run options applied, one\n"
      "                         Name=value line each (the display mode and antialiasing as\n"
      "                         chosen; a drawing run fits them to what the display offers)\n"
      "  -h, --help             this text\n"
      "  --version              the version\n"
      "\n";
  text += RunOptionsUsage();
  text +=
      "\n"
      "Files:\n"
      "  $XDG_CONFIG_HOME/hoardel3d/registry   the stored settings (default ~/.config/...),\n"
      "                                        written only by the dialog's OK\n"
      "  $XDG_RUNTIME_DIR/bas*.tmp             private copy of the audio library while the\n"
      "                                        music plays (TMPDIR or /tmp without it)\n"
      "\n"
      "Environment:\n"
      "  DISPLAY               the X server to draw on\n"
      "  XSCREENSAVER_WINDOW   the window a screen-saver daemon gives the saver\n"
      "  XDG_CONFIG_HOME       where the settings live\n"
      "  XDG_RUNTIME_DIR, TMPDIR   where the audio library's copy is written\n"
      "  HOARDEL_MESSAGEBOX    \"stderr\": print error messages instead of showing dialogs\n"
      "  SDL_AUDIODRIVER       the audio output (\"dummy\" plays nothing)\n"
      "  SDL_VIDEODRIVER       the video driver of the windows\n"
      "\n"
      "Exit status: 0 after a normal run, 1 when the display the mode needs cannot be\n"
      "reached, 2 for a malformed command line. Manual: man 6 hoardel3d\n";
  return text;
}

std::string VersionText() { return std::string("hoardel3d ") + HOARDEL_VERSION + "\n"; }
