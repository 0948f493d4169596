// The settings record, its defaults and its registry form. Values live as REG_DWORDs under
// HKEY_CURRENT_USER\Software\Quillon\Hoardel 3D Screensaver. Booleans are stored as 2 (on)
// and 1 (off), never 0; a stored 0, a missing value or one of another type keeps what the
// record held, so the defaults show through.
#pragma once

#include <cstdint>
#include <string>

#include "config/default_settings.h"

inline constexpr const char* kSettingsKeyPath = "Software\\Quillon\\Hoardel 3D Screensaver";

// The member initialisers are the values before the defaults resource is read; the
// resource overrides every one of them.
struct SaverSettings {
  std::int32_t ShowFPS = 0;
  std::int32_t ExitOnMouseMove = 1;
  std::int32_t ShowTime = 1;
  std::int32_t Music = 1;
  std::int32_t SFX = 1;
  std::int32_t MusicVolume = 60;
  std::int32_t Width = 800;
  std::int32_t Height = 600;
  std::int32_t BitCount = 32;
  std::int32_t FSAA = 0;
  std::int32_t UseDesktopSettings = 1;
  std::uint8_t DigClock_24H = 0;
  std::uint8_t GmCntrl = 100;

  bool operator==(const SaverSettings&) const = default;
};

// Fills the defaults record from the table, looking the keys up in the order "DigClock_24H",
// "ExitOnMouseMove", "FSAA", "GammControl", "MBitCount", "MH", "MW", "Music", "SFX",
// "MusicVolume", "ShowFPS", "ShowTime", "UseDktpSet". A key the table lacks shows its
// message box and leaves that field as it was.
void FillDefaultSettings(const DefaultSettingsTable& table, SaverSettings& defaults);

// The ranges a stored value is brought into when read (the file itself is left as it is).
inline constexpr std::int32_t kMinVolume = 1, kMaxVolume = 100;
inline constexpr std::int32_t kMinGamma = 10, kMaxGamma = 200;
inline constexpr std::int32_t kMinWidth = 640, kMinHeight = 400, kMaxSide = 16384;
inline constexpr std::int32_t kMaxSamples = 16;

// Reads the stored values into the record, all from one reading of the store. The key is
// opened, never created; a key that cannot be opened leaves the record unchanged. Numbers out
// of range are brought into it: MusicVolume 1..100, GmCntrl 10..200, Width 640..16384,
// Height 400..16384, BitCount 16 (up to 24) or 32, FSAA 0 or 2..16.
void ReadSettings(SaverSettings& settings);

// The folder named by the stored value "Path" (where the audio library's file goes), or ""
// when there is none or it is not a string.
std::string ReadPathSetting();

// The outcome of a save; on failure, the store file and the reason in words.
struct SettingsSaveResult {
  bool ok = true;
  std::string file;
  std::string reason;
};

// Stores all thirteen values in the fixed order "ShowFPS", "DigClock_24H", "ShowTime",
// "ExitOnMouseMove", "SFX", "Music", "UseDesktopSettings", "GmCntrl", "Height", "Width",
// "BitCount", "FSAA", "MusicVolume", creating the key if need be, in one commit: all of them
// or none are stored.
[[nodiscard]] SettingsSaveResult WriteSettings(const SaverSettings& settings);

// The defaults table and record with the current settings, as the application object holds
// them.
class SettingsStore {
 public:
  // Parses resource 485, fills the defaults record and copies it into the current settings.
  void LoadDefaults();
  // The same from the given text instead of the resource.
  void LoadDefaultsFromText(std::string_view text);

  const DefaultSettingsTable& defaultTable() const { return table_; }
  const SaverSettings& defaults() const { return defaults_; }
  // Copies the whole defaults record over the current settings.
  void RestoreDefaults() { current = defaults_; }

  SaverSettings current;

 private:
  DefaultSettingsTable table_;
  SaverSettings defaults_;
};

// One "Name=value" line per field of the record, in field order.
std::string FormatSettings(const SaverSettings& settings);
