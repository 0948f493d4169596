#include "config/default_settings.h"

#include <limits>

#include "platform/win32/msgbox.h"
#include "platform/win32/resources.h"

namespace {

// The two messages are Windows-1251 text.
constexpr const char* kBadFormatText =
    "\xED\xE5\xEF\xF0\xE0\xE2\xE8\xEB\xFC\xED\xFB\xE9 "  // "неправильный"
    "\xF4\xEE\xF0\xEC\xE0\xF2 "                          // "формат"
    "\xF4\xE0\xE9\xEB\xE0 def_settings.txt";             // "файла"
constexpr const char* kNotFoundText =
    "\xCD\xE5 "                                      // "Не"
    "\xED\xE0\xE9\xE4\xE5\xED "                      // "найден"
    "\xEF\xE0\xF0\xE0\xEC\xE5\xF2\xF0 "              // "параметр"
    "\xE2 "                                          // "в"
    "\xF4\xE0\xE9\xEB\xE5 def_settings.txt";         // "файле"

char Lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool EqualsNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (Lower(a[i]) != Lower(b[i])) return false;
  return true;
}

}  // namespace

void DefaultSettingsTable::Load() {
  win32::ResourceBytes res = win32::FindResourceBytes("CustomData", kResourceId);
  Parse(res.data ? std::string_view(reinterpret_cast<const char*>(res.data), res.size) : std::string_view());
}

void DefaultSettingsTable::Parse(std::string_view text) {
  pairs_.clear();
  std::size_t pos = 0;
  while (pos < text.size()) {
    // A line runs to the next CR; the CR and one LF after it are stepped over.
    std::size_t cr = text.find('\r', pos);
    std::string_view raw = text.substr(pos, cr == std::string_view::npos ? std::string_view::npos : cr - pos);
    if (cr == std::string_view::npos) {
      pos = text.size();
    } else {
      pos = cr + 1;
      if (pos < text.size() && text[pos] == '\n') ++pos;
    }

    // Blanks, control characters and every byte from 128 up vanish wherever they stand.
    std::string line;
    for (char c : raw) {
      auto b = static_cast<signed char>(c);
      if (b > 32) line += c;
    }
    if (std::size_t semi = line.find(';'); semi != std::string::npos) line.resize(semi);
    if (line.empty()) continue;

    std::size_t eq = line.find('=');
    if (eq == std::string::npos) {
      win32::MessageBoxA(nullptr, kBadFormatText, "", win32::MB_OK);
      continue;
    }
    if (pairs_.size() < kMaxPairs) pairs_.push_back({line.substr(0, eq), line.substr(eq + 1)});
  }
}

std::optional<std::string> DefaultSettingsTable::Find(std::string_view key) const {
  for (const DefaultSettingsPair& p : pairs_)
    if (EqualsNoCase(p.key, key)) return p.value;
  std::string caption(key);
  win32::MessageBoxA(nullptr, kNotFoundText, caption.c_str(), win32::MB_OK);
  return std::nullopt;
}

std::string DefaultSettingsTable::Lookup(std::string_view key) const { return Find(key).value_or(std::string()); }

std::int32_t DefaultSettingsTable::LookupInt(std::string_view key) const { return SettingTextToInt(Lookup(key)); }

std::int32_t SettingTextToInt(std::string_view text) {
  if (text == "true") return 1;
  if (text == "false") return 0;
  std::size_t i = 0;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  std::int64_t v = 0;
  constexpr std::int64_t kLimit = static_cast<std::int64_t>(std::numeric_limits<std::int32_t>::max()) + 1;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    v = v * 10 + (text[i] - '0');
    if (v > kLimit) v = kLimit;
  }
  if (negative) return static_cast<std::int32_t>(-v);
  return static_cast<std::int32_t>(v > kLimit - 1 ? kLimit - 1 : v);
}
