#include "config/print_settings.h"

#include <string>

#include "config/settings.h"

int PrintSettings(std::FILE* out) {
  SettingsStore store;
  store.LoadDefaults();
  ReadSettings(store.current);
  std::string text = FormatSettings(store.current);
  std::fwrite(text.data(), 1, text.size(), out);
  return std::fflush(out) == 0 ? 0 : 1;
}
