// libFuzzer target: the command line. The input is the argument list, one argument per line
// (the first is the program); the last line doubles as $XSCREENSAVER_WINDOW. Checked:
// - taking the per-run options out never drops anything but those options and their values,
//   keeps the order, and leaves nothing a second pass would take;
// - the Linux forms give only values within their documented ranges;
// - the Windows switch parser takes the raw text and the rebuilt line without harm.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "host/command_line.h"
#include "host/run_options.h"

namespace {

constexpr std::size_t kMaxArgs = 40;

bool TakesValue(std::string_view a) {
  return a == "--clock" || a == "--volume" || a == "--gamma" || a == "--max-fps";
}

void CheckExtraction(const std::vector<const char*>& argv, const RunOptionsParse& r) {
  // rest is argv's own pointers, in argv's order, starting with the program.
  std::vector<bool> kept(argv.size(), false);
  std::size_t at = 0;
  for (const char* p : r.rest) {
    while (at < argv.size() && argv[at] != p) ++at;
    if (at == argv.size()) __builtin_trap();
    kept[at++] = true;
  }
  if (!kept[0]) __builtin_trap();
  // What was dropped is an option ("--...") or the value right after a dropped --clock,
  // --volume, --gamma or --max-fps.
  for (std::size_t i = 1; i < argv.size(); ++i) {
    if (kept[i]) continue;
    const std::string_view a(argv[i]);
    const bool option = a.starts_with("--");
    const bool value = !kept[i - 1] && TakesValue(argv[i - 1]);
    if (!option && !value) __builtin_trap();
  }
  // A second pass finds nothing more.
  RunOptionsParse again = ExtractRunOptions(static_cast<int>(r.rest.size()), r.rest.data());
  if (!again.ok() || !again.options.empty() || again.rest != r.rest) __builtin_trap();
}

void CheckLinuxForm(const LinuxForm& f) {
  switch (f.kind) {
    case LinuxForm::WindowId:
      if (f.windowId == 0) __builtin_trap();
      break;
    case LinuxForm::Capture: {
      const CaptureOptions& c = f.capture;
      if (c.dir.empty() || c.frames < 1 || c.frames > 1000000 || c.every < 0 || c.every > 1000000) __builtin_trap();
      if ((c.width == 0) != (c.height == 0) || c.width < 0 || c.width > 8192 || c.height < 0 || c.height > 8192)
        __builtin_trap();
      if (!(c.dt >= 0 && c.dt <= 10)) __builtin_trap();
      if (c.haveTime && (c.hour > 23 || c.minute > 59 || c.second > 59 || c.hour < 0 || c.minute < 0 || c.second < 0))
        __builtin_trap();
      break;
    }
    case LinuxForm::Error:
      if (f.error.empty()) __builtin_trap();
      break;
    default:
      break;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);  // NUL-terminated copy
  std::vector<std::string> args;
  std::size_t pos = 0;
  while (args.size() < kMaxArgs) {
    const std::size_t nl = text.find('\n', pos);
    args.push_back(text.substr(pos, nl == std::string::npos ? std::string::npos : nl - pos));
    if (nl == std::string::npos) break;
    pos = nl + 1;
  }
  std::vector<const char*> argv;
  for (const std::string& a : args) argv.push_back(a.c_str());  // may hold NULs: C strings end there

  win32::HWND parent = nullptr;
  const int mode = static_cast<int>(ParseCommandLine(text.c_str(), &parent));
  if (mode < 0 || mode > 4) __builtin_trap();

  const RunOptionsParse r = ExtractRunOptions(static_cast<int>(argv.size()), argv.data());
  if (!r.ok()) return 0;
  CheckExtraction(argv, r);
  CheckLinuxForm(ParseLinuxForm(static_cast<int>(r.rest.size()), r.rest.data(), args.back().c_str()));
  const std::string line = JoinCommandLine(static_cast<int>(r.rest.size()), r.rest.data());
  ParseCommandLine(line.c_str(), &parent);
  return 0;
}
