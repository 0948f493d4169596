// mediagen_text: writes the program's two text resources into a folder:
//   text_table.txt   the dialog texts by key (resource CustomData 472)
//   def_settings.txt the defaults of the settings (resource CustomData 485)
// Both are Windows-1251 text with CR LF line ends. The sources below are UTF-8; every
// character must exist in Windows-1251.
#include <cstdio>
#include <cstdint>
#include <fstream>
#include <iostream>
#include <string>
#include <string_view>
#include <vector>

namespace {

// One entry of the table below, too long for one source line.
constexpr char kAboutText[] =
    "Hoardel 3D Screensaver%Programming: the Hoardel 3D team%Artwork: the Hoardel 3D team"
    "%Music: the Hoardel 3D team%%Thank you for watching!%hoardel3d.example.org";

const char* const kTextTable[] = {
    "------------------------------------------------------------",
    " Hoardel 3D Screensaver: dialog texts",
    " A line #key# names a text; the line after it is the text.",
    " Lines like this one are comments and are never shown.",
    "------------------------------------------------------------",
    "",
    "------------------------------------------------------------",
    " Configuration dialog",
    "------------------------------------------------------------",
    "#screensaver_configuration#",
    "Hoardel 3D Screensaver Configuration",
    "",
    "------------------------------------------------------------",
    " Video mode",
    "------------------------------------------------------------",
    "#video_mode_selection#",
    "Video Mode",
    "",
    "#use_desktop_settings#",
    "Use Desktop Settings",
    "",
    "------------------------------------------------------------",
    " Sound",
    "------------------------------------------------------------",
    "#sound_control#",
    "Sound Control",
    "",
    "#master_volume:#",
    "Volume",
    "",
    "#enable_music#",
    "Enable Music",
    "",
    "#enable_sfx#",
    "Enable SFX",
    "",
    "------------------------------------------------------------",
    " Graphics",
    "------------------------------------------------------------",
    "#graphics#",
    "Graphics",
    "",
    "#gamma_control:#",
    "Gamma Control:",
    "",
    "#Fullscreen_antialiasing#",
    "Fullscreen Antialiasing",
    "",
    " Antialiasing list: the first entry, then \"<n> samples\"",
    "#none#",
    "None",
    "",
    "#samples#",
    "samples",
    "",
    "------------------------------------------------------------",
    " Products",
    "------------------------------------------------------------",
    "#products#",
    "Products",
    "",
    "#visit_our_official_web-site_for_more_great_3D_screensavers#",
    "Visit our official web-site for more great 3D screensavers",
    "",
    "#visit...#",
    "Visit...",
    "",
    "------------------------------------------------------------",
    " Misc options",
    "------------------------------------------------------------",
    "#misc_options#",
    "Misc Options",
    "",
    "#Show_FPS#",
    "Show FPS",
    "",
    "#Show_time#",
    "Show Time",
    "",
    "#24h_style#",
    "24 hrs.",
    "",
    "#12h_style#",
    "12 hrs.",
    "",
    "#Exit_on_mouse_move#",
    "Exit on Mouse Move",
    "",
    "------------------------------------------------------------",
    " Buttons",
    "------------------------------------------------------------",
    "#About#",
    "About",
    "",
    "#restore_defaults#",
    "Restore Defaults",
    "",
    "#OK#",
    "OK",
    "",
    "#Cancel#",
    "Cancel",
    "",
    "------------------------------------------------------------",
    " About dialog: seven lines separated by %",
    "------------------------------------------------------------",
    "#about_window_text#",
    kAboutText,
    "",
    "------------------------------------------------------------",
    " End of the dialog texts",
    "------------------------------------------------------------",
};

const char* const kDefaults[] = {
    ";------------------------------------------------------------",
    "; Hoardel 3D Screensaver: default settings (def_settings.txt)",
    "; Настройки по умолчанию",
    "; Each line reads: key = value;  values are true, false or numbers.",
    ";------------------------------------------------------------",
    "",
    "; Overlays",
    "ShowFPS\t\t\t= false;",
    "ShowTime\t\t= true;",
    "DigClock_24H\t\t= false;\t; 12-hour clock",
    "",
    "; Video mode",
    "MW\t\t\t= 800;",
    "MH\t\t\t= 600;",
    "MBitCount\t\t= 32;",
    "FSAA\t\t\t= 0;\t\t; no antialiasing",
    "UseDktpSet\t\t= true;\t\t; draw in the desktop's own mode",
    "GammControl\t\t= 100;\t\t; percent, 100 is neutral",
    "",
    "; Sound",
    "Music\t\t\t= true;",
    "SFX\t\t\t= true;",
    "MusicVolume\t\t= 70;",
    "",
    "; Behaviour",
    "ExitOnMouseMove\t\t= false;",
    "",
    "\t\t; The address the Visit... button opens",
    "main_web_site_url\t= https://hoardel3d.example.org/;",
};

// UTF-8 to Windows-1251 for ASCII and the Cyrillic letters; false on anything else.
bool ToCp1251(std::string_view utf8, std::string& out) {
  for (std::size_t i = 0; i < utf8.size();) {
    auto b = static_cast<unsigned char>(utf8[i]);
    if (b < 0x80) {
      out += static_cast<char>(b);
      ++i;
      continue;
    }
    if ((b & 0xE0) != 0xC0 || i + 1 >= utf8.size()) return false;
    std::uint32_t cp = ((b & 0x1Fu) << 6) | (static_cast<unsigned char>(utf8[i + 1]) & 0x3Fu);
    i += 2;
    if (cp >= 0x0410 && cp <= 0x044F) {
      out += static_cast<char>(0xC0 + (cp - 0x0410));
    } else if (cp == 0x0401) {
      out += static_cast<char>(0xA8);
    } else if (cp == 0x0451) {
      out += static_cast<char>(0xB8);
    } else {
      return false;
    }
  }
  return true;
}

template <std::size_t N>
bool WriteLines(const std::string& path, const char* const (&lines)[N]) {
  std::string data;
  for (const char* line : lines) {
    if (!ToCp1251(line, data)) {
      std::cerr << "mediagen_text: not representable in Windows-1251: " << line << "\n";
      return false;
    }
    data += "\r\n";
  }
  std::ofstream f(path, std::ios::binary | std::ios::trunc);
  f.write(data.data(), static_cast<std::streamsize>(data.size()));
  f.close();
  if (!f) {
    std::cerr << "mediagen_text: cannot write " << path << "\n";
    return false;
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::cerr << "usage: mediagen_text OUTPUT_DIR\n";
    return 2;
  }
  std::string dir = argv[1];
  if (!WriteLines(dir + "/text_table.txt", kTextTable)) return 1;
  if (!WriteLines(dir + "/def_settings.txt", kDefaults)) return 1;
  return 0;
}
