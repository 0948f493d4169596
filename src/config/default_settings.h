// The defaults of the settings: key/value text in the resource "CustomData" 485 (its
// messages call it "def_settings.txt"), one "key = value;" line each, ";" lines comments.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

struct DefaultSettingsPair {
  std::string key;
  std::string value;
};

class DefaultSettingsTable {
 public:
  static constexpr std::size_t kMaxPairs = 100;
  static constexpr unsigned kResourceId = 485;

  // Parses resource 485; a missing resource leaves the table empty.
  void Load();
  // Parses the given text, replacing the table. A line without "=" shows the format
  // message box and is skipped; pairs past the hundredth are dropped.
  void Parse(std::string_view text);

  // The first pair whose key equals key without regard to A..Z case. A missing key shows
  // the "not found" message box (caption: the key) and gives nullopt.
  std::optional<std::string> Find(std::string_view key) const;
  // Find, with the empty text for a missing key.
  std::string Lookup(std::string_view key) const;
  // Lookup converted by SettingTextToInt.
  std::int32_t LookupInt(std::string_view key) const;

  std::size_t count() const { return pairs_.size(); }
  const std::vector<DefaultSettingsPair>& pairs() const { return pairs_; }

 private:
  std::vector<DefaultSettingsPair> pairs_;
};

// "true" gives 1 and "false" 0 (exactly, lower case); any other text its leading decimal
// number, 0 when it does not begin with one. Out-of-range numbers saturate.
std::int32_t SettingTextToInt(std::string_view text);
