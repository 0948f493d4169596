// libFuzzer target: the text table. Whatever the bytes, the table keeps at most 200 lines
// without line-end or NUL bytes, and every key line answers its own key (with its own value
// line or that of an earlier line of the same key).
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "media/text_table.h"

namespace {

const char* const kProgramKeys[] = {"video_mode_selection", "ok", "about", "samples", "none",
                                    "screensaver_configuration", "about_window_text"};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  TextTable table;
  table.LoadFromText(std::string_view(reinterpret_cast<const char*>(data), size));
  const auto& lines = table.lines();
  if (lines.size() > TextTable::kMaxLines) __builtin_trap();
  for (const std::string& line : lines)
    if (line.find_first_of(std::string_view("\r\n\0", 3)) != std::string::npos) __builtin_trap();
  for (const std::string& about : table.aboutLines())
    if (about.find('%') != std::string::npos) __builtin_trap();
  if (table.configTitle() != table.Lookup("screensaver_configuration")) __builtin_trap();
  for (const char* key : kProgramKeys) {
    const std::string& v = table.Lookup(key);
    if (!v.empty() && (&v < &lines.front() || &v > &lines.back())) __builtin_trap();
  }

  // Key lines answer their own key; bounded so that a table of 200 key lines stays fast.
  int checked = 0;
  for (std::size_t i = 0; i + 1 < lines.size() && checked < 16; ++i) {
    const std::string& line = lines[i];
    if (line.size() < 2 || line.front() != '#') continue;
    ++checked;
    const std::string& v = table.Lookup(std::string_view(line).substr(1, line.size() - 2));
    if (&v <= &lines.front() || &v > &lines[i + 1]) __builtin_trap();
  }
  return 0;
}
