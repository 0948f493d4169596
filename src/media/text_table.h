// The text table: every user-visible text of the dialogs, looked up by key. Read from the
// resource "CustomData" 472, 8-bit Windows-1251 text with CR LF line ends:
//   #key#        a key line (key compared without regard to A..Z case)
//   value        the line right after it, taken whole
// Other lines (headings, dashes, empty lines) are kept but never answer a lookup. In the
// About text, "%" separates its seven display lines.
#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

class TextTable {
 public:
  static constexpr std::size_t kMaxLines = 200;
  static constexpr std::size_t kAboutLineCount = 7;
  static constexpr unsigned kResourceId = 472;

  // Reads resource 472; a missing resource leaves the table empty.
  void Load();
  // The same from given bytes.
  void LoadFromText(std::string_view data);

  // The line after the key's line; empty when the key has none.
  const std::string& Lookup(std::string_view key) const;

  const std::vector<std::string>& lines() const { return lines_; }
  std::size_t lineCount() const { return lines_.size(); }
  // "screensaver_configuration", kept at load: the configuration dialog's title.
  const std::string& configTitle() const { return configTitle_; }
  // "about_window_text" cut at each "%" into seven lines; excess lines are dropped.
  const std::array<std::string, kAboutLineCount>& aboutLines() const { return aboutLines_; }

 private:
  std::vector<std::string> lines_;
  std::string configTitle_;
  std::array<std::string, kAboutLineCount> aboutLines_;
};
