#include "config/settings.h"

#include <cstdio>

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

// The stored DWORD, or 0 when it is missing or not a 4-byte REG_DWORD.
DWORD QueryDword(HKEY key, const char* name) {
  DWORD value = 0;
  DWORD type = 0;
  DWORD size = sizeof value;
  if (win32::RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<win32::BYTE*>(&value), &size) !=
          win32::ERROR_SUCCESS ||
      type != win32::REG_DWORD || size != sizeof value)
    return 0;
  return value;
}

template <typename Field>
void ReadFlag(HKEY key, const char* name, Field& field) {
  DWORD v = QueryDword(key, name);
  if (v == 2) field = 1;
  if (v == 1) field = 0;
}

void ReadNumber(HKEY key, const char* name, std::int32_t& field) {
  if (DWORD v = QueryDword(key, name)) field = static_cast<std::int32_t>(v);
}

void SetDword(HKEY key, const char* name, DWORD value) {
  win32::RegSetValueExA(key, name, 0, win32::REG_DWORD, reinterpret_cast<const win32::BYTE*>(&value),
                        sizeof value);
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
  ReadFlag(key, "ShowFPS", s.ShowFPS);
  ReadFlag(key, "DigClock_24H", s.DigClock_24H);
  ReadFlag(key, "ShowTime", s.ShowTime);
  ReadFlag(key, "ExitOnMouseMove", s.ExitOnMouseMove);
  ReadFlag(key, "SFX", s.SFX);
  ReadFlag(key, "Music", s.Music);
  ReadFlag(key, "UseDesktopSettings", s.UseDesktopSettings);
  if (DWORD gamma = QueryDword(key, "GmCntrl")) s.GmCntrl = static_cast<std::uint8_t>(gamma & 0xFF);
  ReadNumber(key, "Height", s.Height);
  ReadNumber(key, "Width", s.Width);
  ReadNumber(key, "BitCount", s.BitCount);
  ReadNumber(key, "FSAA", s.FSAA);
  ReadNumber(key, "MusicVolume", s.MusicVolume);
  win32::RegCloseKey(key);
}

void WriteSettings(const SaverSettings& s) {
  HKEY key = nullptr;
  DWORD disposition = 0;
  if (win32::RegCreateKeyExA(win32::HKEY_CURRENT_USER, kSettingsKeyPath, 0, nullptr,
                             win32::REG_OPTION_NON_VOLATILE, win32::KEY_WRITE, nullptr, &key,
                             &disposition) != win32::ERROR_SUCCESS)
    return;
  SetDword(key, "ShowFPS", Flag(s.ShowFPS));
  SetDword(key, "DigClock_24H", Flag(s.DigClock_24H));
  SetDword(key, "ShowTime", Flag(s.ShowTime));
  SetDword(key, "ExitOnMouseMove", Flag(s.ExitOnMouseMove));
  SetDword(key, "SFX", Flag(s.SFX));
  SetDword(key, "Music", Flag(s.Music));
  SetDword(key, "UseDesktopSettings", Flag(s.UseDesktopSettings));
  SetDword(key, "GmCntrl", s.GmCntrl);
  SetDword(key, "Height", static_cast<DWORD>(s.Height));
  SetDword(key, "Width", static_cast<DWORD>(s.Width));
  SetDword(key, "BitCount", static_cast<DWORD>(s.BitCount));
  SetDword(key, "FSAA", static_cast<DWORD>(s.FSAA));
  SetDword(key, "MusicVolume", static_cast<DWORD>(s.MusicVolume));
  win32::RegFlushKey(key);
  win32::RegCloseKey(key);
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
