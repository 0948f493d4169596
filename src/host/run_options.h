// Per-run options: overrides of the stored settings for one run, as a screen-saver daemon's
// settings file passes them (--fps, --no-fps, --clock 12|24|off, --music, --no-music,
// --volume N, --gamma N, --exit-on-mouse-move, --no-exit-on-mouse-move, --max-fps N). They are taken out
// of the command line before anything else looks at it, applied to the settings in memory
// after the stored values are read, and never written back.
#pragma once

#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "config/settings.h"

enum class ClockStyle { Hours12, Hours24, Off };

struct RunOptions {
  std::optional<bool> showFps;
  std::optional<ClockStyle> clock;
  std::optional<bool> music;
  std::optional<int> volume;  // percent, 1..100
  std::optional<int> gamma;   // percent, 10..200 (100 neutral)
  std::optional<bool> exitOnMouseMove;
  std::optional<int> maxFps;  // frames a second at most, 1..240; unset: see ChooseFrameRate

  bool empty() const {
    return !showFps && !clock && !music && !volume && !gamma && !exitOnMouseMove && !maxFps;
  }
  bool operator==(const RunOptions&) const = default;
};

inline constexpr int kVolumeMin = 1, kVolumeMax = 100;
inline constexpr int kGammaMin = 10, kGammaMax = 200;
inline constexpr int kMaxFpsMin = 1, kMaxFpsMax = 240;

struct RunOptionsParse {
  RunOptions options;
  // argv without the per-run options (argv[0] kept); the pointers are argv's own.
  std::vector<const char*> rest;
  // Empty when every per-run option was well formed; otherwise what was wrong, for the user.
  std::string error;
  bool ok() const { return error.empty(); }
};

// Takes the per-run options out of argv (argv[0] is the program). A value may follow as the
// next argument or after '=' (--volume 40, --volume=40). A later option overrides an earlier
// one. Everything else is left in order in rest. A missing or malformed value, or a value
// given to an option that takes none, sets error and the process should exit with status 2.
RunOptionsParse ExtractRunOptions(int argc, const char* const* argv);

// Overrides the given settings with what the options set; fields they do not name are
// untouched.
void ApplyRunOptions(const RunOptions& options, SaverSettings& settings);

// --print-settings with per-run options: the settings a drawing run would use (defaults
// resource, stored values, then the options), one "Name=value" line per field. Returns the
// exit code.
int PrintSettingsWithRunOptions(const RunOptions& options, std::FILE* out);

// The usage lines of the per-run options, for --help and error messages.
const char* RunOptionsUsage();
