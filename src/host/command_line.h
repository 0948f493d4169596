// The command line: the screensaver switches of the system's screensaver control, and the
// Linux forms (screen-saver daemons, offscreen capture), which are recognised first.
#pragma once

#include <string>
#include <vector>

#include "platform/win32/win32_types.h"

enum class RunMode : int {
  Configure = 0,
  Preview = 1,
  Saver = 2,
  Test = 3,
  ChangePassword = 4,
};

// Parses the whole command line, program name included. Skips the program name (a quoted
// one up to its closing quote), finds the first '/' or '-', and takes the character after it:
// a = ChangePassword, c = Configure, p = Preview, t = Test, anything else = Saver; no switch
// at all = Configure. For a, c and p a decimal number found after the switch (non-digits
// skipped) becomes *parent; c without a number stores null; otherwise *parent is null.
RunMode ParseCommandLine(const char* line, win32::HWND* parent);

// Rebuilds a Windows-style command line from argv (arguments with blanks are quoted).
std::string JoinCommandLine(int argc, const char* const* argv);

// Options of the offscreen capture run.
struct CaptureOptions {
  std::string dir;
  int frames = 1;
  int every = 0;          // 0: only the last frame is written
  int width = 0;          // 0: the selected display mode's size
  int height = 0;
  double dt = 1.0 / 30.0;
  bool haveSeed = false;
  unsigned seed = 0;
  bool haveTime = false;
  int hour = 0, minute = 0, second = 0;
  bool stats = false;
};

// The Linux forms, looked for before the Windows switches.
struct LinuxForm {
  enum Kind { None, PrintSettings, Root, WindowId, Capture, Help, Version, Error } kind = None;
  unsigned long windowId = 0;  // WindowId
  CaptureOptions capture;      // Capture
  std::string error;           // Error: what was wrong
};

// argv[0] is the program. "--help"/"-h" and "--version" win over everything after them. A
// "--word" that is none of ours, or a "-word" that is neither a Windows switch ("-s", "-c:5",
// "-P123": one of the letters a, c, p, s, t, then nothing, digits or ':' and digits) nor a
// daemon form, is an Error (the Windows rule would start the saver on it). The per-run options
// must already be taken out. $XSCREENSAVER_WINDOW (the value of xscreensaverWindow, may be
// null) counts as "-window-id" when no other form and no Windows switch is given.
LinuxForm ParseLinuxForm(int argc, const char* const* argv, const char* xscreensaverWindow);

// The text of --help: every run mode, option, file and environment variable.
std::string UsageText();

// The text of --version.
std::string VersionText();
