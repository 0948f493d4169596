#include "host/run_options.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string_view>

namespace {

// Options of the other Linux forms whose next argument is a value: it is passed through
// untouched even when it looks like one of ours (a capture folder named "--fps").
constexpr const char* kForeignValueOptions[] = {"-window-id", "--window-id", "--capture", "--frames", "--every",
                                                "--size",     "--dt",        "--seed",    "--time"};

bool IsForeignValueOption(std::string_view a) {
  for (const char* o : kForeignValueOptions)
    if (a == o) return true;
  return false;
}

// A whole decimal number within [lo, hi]; no sign, no blanks, no trailing text.
bool ParsePercent(std::string_view text, int lo, int hi, int* out) {
  if (text.empty() || text.size() > 6) return false;
  int v = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    v = v * 10 + (c - '0');
  }
  if (v < lo || v > hi) return false;
  *out = v;
  return true;
}

std::string Quoted(std::string_view v) {
  std::string q(1, '"');  // appended in place: "\"" + std::string trips GCC 12's -Wrestrict at -O3
  q += v;
  q += '"';
  return q;
}

}  // namespace

RunOptionsParse ExtractRunOptions(int argc, const char* const* argv) {
  RunOptionsParse r;
  if (argc > 0) r.rest.push_back(argv[0]);
  RunOptions& o = r.options;
  for (int i = 1; i < argc; ++i) {
    const char* raw = argv[i] ? argv[i] : "";
    const std::string_view arg(raw);
    std::string_view name = arg;
    std::optional<std::string_view> inlineValue;
    if (arg.starts_with("--")) {
      const auto eq = arg.find('=');
      if (eq != std::string_view::npos) {
        name = arg.substr(0, eq);
        inlineValue = arg.substr(eq + 1);
      }
    }
    // Switches without a value.
    auto flag = [&](std::optional<bool>& field, bool value) {
      if (inlineValue) {
        r.error = std::string(name) + " takes no value";
        return;
      }
      field = value;
    };
    // The value of an option that needs one: after '=' or the next argument.
    auto takeValue = [&](std::string_view* value) -> bool {
      if (inlineValue) {
        *value = *inlineValue;
        return true;
      }
      if (i + 1 >= argc || !argv[i + 1]) return false;
      *value = argv[++i];
      return true;
    };

    if (name == "--fps") {
      flag(o.showFps, true);
    } else if (name == "--no-fps") {
      flag(o.showFps, false);
    } else if (name == "--music") {
      flag(o.music, true);
    } else if (name == "--no-music") {
      flag(o.music, false);
    } else if (name == "--exit-on-mouse-move") {
      flag(o.exitOnMouseMove, true);
    } else if (name == "--no-exit-on-mouse-move") {
      flag(o.exitOnMouseMove, false);
    } else if (name == "--clock") {
      std::string_view v;
      if (!takeValue(&v)) {
        r.error = "--clock needs 12, 24 or off";
      } else if (v == "12") {
        o.clock = ClockStyle::Hours12;
      } else if (v == "24") {
        o.clock = ClockStyle::Hours24;
      } else if (v == "off") {
        o.clock = ClockStyle::Off;
      } else {
        r.error = "--clock needs 12, 24 or off, not " + Quoted(v);
      }
    } else if (name == "--volume" || name == "--gamma" || name == "--max-fps") {
      const bool volume = name == "--volume", fps = name == "--max-fps";
      const int lo = volume ? kVolumeMin : fps ? kMaxFpsMin : kGammaMin;
      const int hi = volume ? kVolumeMax : fps ? kMaxFpsMax : kGammaMax;
      const std::string need = std::string(name) + (fps ? " needs a frame rate from " : " needs a percentage from ") +
                               std::to_string(lo) + " to " + std::to_string(hi);
      std::string_view v;
      int n = 0;
      if (!takeValue(&v))
        r.error = need;
      else if (!ParsePercent(v, lo, hi, &n))
        r.error = need + ", not " + Quoted(v);
      else
        (volume ? o.volume : fps ? o.maxFps : o.gamma) = n;
    } else {
      r.rest.push_back(raw);
      if (IsForeignValueOption(arg) && i + 1 < argc) r.rest.push_back(argv[++i]);
    }
    if (!r.error.empty()) return r;
  }
  return r;
}

void ApplyRunOptions(const RunOptions& o, SaverSettings& s) {
  if (o.showFps) s.ShowFPS = *o.showFps ? 1 : 0;
  if (o.clock) {
    s.ShowTime = *o.clock == ClockStyle::Off ? 0 : 1;
    // Off leaves the stored 12/24-hour style as it was.
    if (*o.clock != ClockStyle::Off) s.DigClock_24H = *o.clock == ClockStyle::Hours24 ? 1 : 0;
  }
  if (o.music) s.Music = *o.music ? 1 : 0;
  if (o.volume) s.MusicVolume = *o.volume;
  if (o.gamma) s.GmCntrl = static_cast<std::uint8_t>(*o.gamma);
  if (o.exitOnMouseMove) s.ExitOnMouseMove = *o.exitOnMouseMove ? 1 : 0;
}

int PrintSettingsWithRunOptions(const RunOptions& options, std::FILE* out) {
  SettingsStore store;
  store.LoadDefaults();
  ReadSettings(store.current);
  ApplyRunOptions(options, store.current);
  const std::string text = FormatSettings(store.current);
  std::fwrite(text.data(), 1, text.size(), out);
  return std::fflush(out) == 0 ? 0 : 1;
}

const char* RunOptionsUsage() {
  return "Options for one run (the stored settings are not changed):\n"
         "  --fps, --no-fps              show or hide the frame rate\n"
         "  --clock 12|24|off            clock in 12- or 24-hour style, or none\n"
         "  --music, --no-music          play the music or not\n"
         "  --volume N                   music volume, 1 to 100 percent\n"
         "  --gamma N                    gamma, 10 to 200 percent (100 is neutral)\n"
         "  --exit-on-mouse-move         mouse movement ends the saver\n"
         "  --no-exit-on-mouse-move      only keys and clicks end it\n"
         "  --max-fps N                  at most N frames a second, 1 to 240 (default: the\n"
         "                               display's refresh, 30 with software rendering)\n";
}
