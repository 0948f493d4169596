#include "config/settings.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <cstdio>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/win32/registry.h"

namespace {

using win32::DWORD;
using win32::HKEY;

template <typename Field>
void FromTable(const DefaultSettingsTable& table, const char* key, Field& field,
               Field (*convert)(std::int32_t)) {
  if (auto text = table.Find(key)) field = convert(SettingTextToInt(*text));
}

std::int32_t AsIs(std::int32_t v) { return v; }
std::uint8_t NonZeroIsOne(std::int32_t v) { return v != 0 ? 1 : 0; }
std::uint8_t LowByte(std::int32_t v) { return static_cast<std::uint8_t>(v & 0xFF); }

// The values of the settings key as one reading of the store holds them.
class StoredValues {
 public:
  explicit StoredValues(std::vector<win32::RegValue> values) : values_(std::move(values)) {}

  // The stored DWORD, or 0 when it is missing or not a 4-byte REG_DWORD.
  DWORD Dword(const char* name) const {
    for (const win32::RegValue& v : values_) {
      if (!SameName(v.name, name)) continue;
      if (v.type != win32::REG_DWORD || v.data.size() != 4) return 0;
      DWORD d = 0;
      for (int i = 3; i >= 0; --i) d = (d << 8) | static_cast<unsigned char>(v.data[static_cast<std::size_t>(i)]);
      return d;
    }
    return 0;
  }

 private:
  static bool SameName(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
      if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i]))) return false;
    return true;
  }
  std::vector<win32::RegValue> values_;
};

template <typename Field>
void ReadFlag(const StoredValues& stored, const char* name, Field& field) {
  DWORD v = stored.Dword(name);
  if (v == 2) field = 1;
  if (v == 1) field = 0;
}

// A stored number within lo..hi; one outside is brought to the nearer end, so that an edited
// or foreign store cannot ask for a silent, black or absurdly sized picture.
void ReadNumber(const StoredValues& stored, const char* name, std::int32_t& field, std::int32_t lo, std::int32_t hi) {
  if (DWORD v = stored.Dword(name)) field = std::clamp(static_cast<std::int32_t>(v), lo, hi);
}

win32::RegValue Dword(const char* name, DWORD value) {
  std::string bytes(4, '\0');
  for (std::size_t i = 0; i < 4; ++i) bytes[i] = static_cast<char>((value >> (8 * i)) & 0xFF);
  return win32::RegValue{name, win32::REG_DWORD, bytes};
}

DWORD Flag(std::int32_t v) { return v != 0 ? 2 : 1; }

}  // namespace

void FillDefaultSettings(const DefaultSettingsTable& table, SaverSettings& d) {
  FromTable(table, "DigClock_24H", d.DigClock_24H, NonZeroIsOne);
  FromTable(table, "ExitOnMouseMove", d.ExitOnMouseMove, AsIs);
  FromTable(table, "FSAA", d.FSAA, AsIs);
  FromTable(table, "GammControl", d.GmCntrl, LowByte);
  FromTable(table, "MBitCount", d.BitCount, AsIs);
  FromTable(table, "MH", d.Height, AsIs);
  FromTable(table, "MW", d.Width, AsIs);
  FromTable(table, "Music", d.Music, AsIs);
  FromTable(table, "SFX", d.SFX, AsIs);
  FromTable(table, "MusicVolume", d.MusicVolume, AsIs);
  FromTable(table, "ShowFPS", d.ShowFPS, AsIs);
  FromTable(table, "ShowTime", d.ShowTime, AsIs);
  FromTable(table, "UseDktpSet", d.UseDesktopSettings, AsIs);
}

void ReadSettings(SaverSettings& s) {
  // Opened, not created: reading leaves a fresh home without a store (only OK writes one).
  HKEY key = nullptr;
  if (win32::RegOpenKeyExA(win32::HKEY_CURRENT_USER, kSettingsKeyPath, 0, win32::KEY_READ, &key) !=
      win32::ERROR_SUCCESS)
    return;
  std::vector<win32::RegValue> values;
  const bool read = win32::RegQueryKeyValuesA(key, values) == win32::ERROR_SUCCESS;
  win32::RegCloseKey(key);
  if (!read) return;
  const StoredValues stored(std::move(values));
  ReadFlag(stored, "ShowFPS", s.ShowFPS);
  ReadFlag(stored, "DigClock_24H", s.DigClock_24H);
  ReadFlag(stored, "ShowTime", s.ShowTime);
  ReadFlag(stored, "ExitOnMouseMove", s.ExitOnMouseMove);
  ReadFlag(stored, "SFX", s.SFX);
  ReadFlag(stored, "Music", s.Music);
  ReadFlag(stored, "UseDesktopSettings", s.UseDesktopSettings);
  if (DWORD gamma = stored.Dword("GmCntrl"))
    s.GmCntrl = static_cast<std::uint8_t>(std::clamp<DWORD>(gamma, kMinGamma, kMaxGamma));
  ReadNumber(stored, "Height", s.Height, kMinHeight, kMaxSide);
  ReadNumber(stored, "Width", s.Width, kMinWidth, kMaxSide);
  if (DWORD bits = stored.Dword("BitCount")) s.BitCount = static_cast<std::int32_t>(bits) <= 24 ? 16 : 32;
  // Multisampling: 0 (none) or 2..16 samples; type 1 does not exist.
  ReadNumber(stored, "FSAA", s.FSAA, 0, kMaxSamples);
  if (s.FSAA == 1) s.FSAA = 0;
  ReadNumber(stored, "MusicVolume", s.MusicVolume, kMinVolume, kMaxVolume);
}

SettingsSaveResult WriteSettings(const SaverSettings& s) {
  const std::vector<win32::RegValue> values = {
      Dword("ShowFPS", Flag(s.ShowFPS)),
      Dword("DigClock_24H", Flag(s.DigClock_24H)),
      Dword("ShowTime", Flag(s.ShowTime)),
      Dword("ExitOnMouseMove", Flag(s.ExitOnMouseMove)),
      Dword("SFX", Flag(s.SFX)),
      Dword("Music", Flag(s.Music)),
      Dword("UseDesktopSettings", Flag(s.UseDesktopSettings)),
      Dword("GmCntrl", s.GmCntrl),
      Dword("Height", static_cast<DWORD>(s.Height)),
      Dword("Width", static_cast<DWORD>(s.Width)),
      Dword("BitCount", static_cast<DWORD>(s.BitCount)),
      Dword("FSAA", static_cast<DWORD>(s.FSAA)),
      Dword("MusicVolume", static_cast<DWORD>(s.MusicVolume)),
  };
  SettingsSaveResult result;
  // All thirteen in one commit: a reader or a crash sees the old record or the new one.
  if (win32::RegSetKeyValuesA(win32::HKEY_CURRENT_USER, kSettingsKeyPath, values, &result.reason) !=
      win32::ERROR_SUCCESS) {
    result.ok = false;
    result.file = win32::RegistryStorePath();
    if (result.reason.empty()) result.reason = "the settings store refused the values";
  }
  return result;
}

void SettingsStore::LoadDefaults() {
  table_.Load();
  defaults_ = SaverSettings{};
  FillDefaultSettings(table_, defaults_);
  current = defaults_;
}

void SettingsStore::LoadDefaultsFromText(std::string_view text) {
  table_.Parse(text);
  defaults_ = SaverSettings{};
  FillDefaultSettings(table_, defaults_);
  current = defaults_;
}

std::string FormatSettings(const SaverSettings& s) {
  std::string out;
  auto line = [&out](const char* name, long value) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%s=%ld\n", name, value);
    out += buf;
  };
  line("ShowFPS", s.ShowFPS);
  line("ExitOnMouseMove", s.ExitOnMouseMove);
  line("ShowTime", s.ShowTime);
  line("Music", s.Music);
  line("SFX", s.SFX);
  line("MusicVolume", s.MusicVolume);
  line("Width", s.Width);
  line("Height", s.Height);
  line("BitCount", s.BitCount);
  line("FSAA", s.FSAA);
  line("UseDesktopSettings", s.UseDesktopSettings);
  line("DigClock_24H", s.DigClock_24H);
  line("GmCntrl", s.GmCntrl);
  return out;
}

// The longest "Path" value taken.
constexpr win32::DWORD kMaxPathValue = 2046;

std::string ReadPathSetting() {
  win32::HKEY key = nullptr;
  if (win32::RegOpenKeyExA(win32::HKEY_CURRENT_USER, kSettingsKeyPath, 0, win32::KEY_READ, &key) !=
      win32::ERROR_SUCCESS)
    return {};
  char buffer[kMaxPathValue + 1] = {};
  win32::DWORD type = 0;
  win32::DWORD size = kMaxPathValue;
  win32::LSTATUS rc = win32::RegQueryValueExA(key, "Path", nullptr, &type,
                                              reinterpret_cast<win32::BYTE*>(buffer), &size);
  win32::RegCloseKey(key);
  // A value too long for the buffer, of another type, or empty names no usable folder.
  if (rc != win32::ERROR_SUCCESS || (type != win32::REG_SZ && type != win32::REG_EXPAND_SZ)) return {};
  buffer[size < sizeof buffer ? size : kMaxPathValue] = '\0';
  return std::string(buffer, strnlen(buffer, kMaxPathValue));
}
