// libFuzzer target: the defaults table (key/value text). Whatever the bytes: at most 100
// pairs of printable ASCII without ';', keys without '='; every key finds a value without a
// "not found" box; numbers convert as strtoll does, saturated to 32 bits; the defaults record
// fills without undefined behaviour.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <string>
#include <string_view>

#include "config/default_settings.h"
#include "config/settings.h"
#include "platform/win32/msgbox.h"

namespace {

bool Clean(const std::string& s) {
  for (char c : s) {
    const auto b = static_cast<unsigned char>(c);
    if (b <= 32 || b >= 128 || c == ';') return false;
  }
  return true;
}

// The conversion's expected answer, by the C library.
std::int32_t ExpectedInt(const std::string& text) {
  if (text == "true") return 1;
  if (text == "false") return 0;
  const long long v = std::strtoll(text.c_str(), nullptr, 10);
  if (v > std::numeric_limits<std::int32_t>::max()) return std::numeric_limits<std::int32_t>::max();
  if (v < std::numeric_limits<std::int32_t>::min()) return std::numeric_limits<std::int32_t>::min();
  return static_cast<std::int32_t>(v);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  win32::ScopedMessageBoxCapture boxes;
  DefaultSettingsTable table;
  table.Parse(std::string_view(reinterpret_cast<const char*>(data), size));
  if (table.count() > DefaultSettingsTable::kMaxPairs) __builtin_trap();
  for (const DefaultSettingsPair& p : table.pairs()) {
    if (!Clean(p.key) || !Clean(p.value) || p.key.find('=') != std::string::npos) __builtin_trap();
    if (SettingTextToInt(p.value) != ExpectedInt(p.value)) __builtin_trap();
  }

  boxes.clear();
  for (const DefaultSettingsPair& p : table.pairs())
    if (!table.Find(p.key)) __builtin_trap();
  if (!boxes.calls().empty()) __builtin_trap();

  SaverSettings defaults;
  FillDefaultSettings(table, defaults);
  return 0;
}
