#include "media/text_table.h"

#include "platform/win32/resources.h"

namespace {

char Lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

const std::string& EmptyText() {
  static const std::string empty;
  return empty;
}

}  // namespace

void TextTable::Load() {
  win32::ResourceBytes res = win32::FindResourceBytes("CustomData", kResourceId);
  LoadFromText(res.data ? std::string_view(reinterpret_cast<const char*>(res.data), res.size)
                        : std::string_view());
}

void TextTable::LoadFromText(std::string_view data) {
  lines_.clear();
  configTitle_.clear();
  aboutLines_ = {};

  std::size_t pos = 0;
  while (pos < data.size() && lines_.size() < kMaxLines) {
    std::size_t lf = data.find('\n', pos);
    std::size_t end = lf == std::string_view::npos ? data.size() : lf + 1;
    std::string line;
    line.reserve(end - pos);
    for (std::size_t i = pos; i < end; ++i) {
      char c = data[i];
      if (c != '\r' && c != '\n' && c != '\0') line += c;
    }
    // Key lines are stored in lower case, all but their first and last characters.
    if (!line.empty() && line.front() == '#') {
      for (std::size_t i = 1; i + 1 < line.size(); ++i) line[i] = Lower(line[i]);
    }
    lines_.push_back(std::move(line));
    pos = end;
  }

  configTitle_ = Lookup("screensaver_configuration");
  std::size_t index = 0;
  for (char c : Lookup("about_window_text")) {
    if (c == '%') {
      ++index;
    } else if (index < kAboutLineCount) {
      aboutLines_[index] += c;
    }
  }
}

const std::string& TextTable::Lookup(std::string_view key) const {
  std::string folded(key);
  for (char& c : folded) c = Lower(c);
  for (std::size_t i = 0; i + 1 < lines_.size(); ++i) {
    const std::string& line = lines_[i];
    if (line.empty() || line.front() != '#') continue;
    if (line.size() < folded.size() + 1 || line.compare(1, folded.size(), folded) != 0) continue;
    std::size_t diff = line.size() > folded.size() ? line.size() - folded.size() : folded.size() - line.size();
    if (diff <= 2) return lines_[i + 1];
  }
  return EmptyText();
}
