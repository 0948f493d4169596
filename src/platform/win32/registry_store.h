// The text form of the registry stand-in's store: every key of HKEY_CURRENT_USER with its
// typed values, in one file. Internal to the registry; tests use it to check the format.
//
//   HOARDEL3D REGISTRY 1
//   [Software\Quillon\Hoardel 3D Screensaver]
//   "ShowFPS"=dword:00000002
//   "Path"=sz:"/home/me/lib"
//   "Blob"=hex(3):01,ff
//   END
//
// Key paths escape the bytes below 0x20, 0x7F and above, '%' and ']' as %HH; value names and
// strings escape '"' and '\' with a backslash and those bytes as \xHH, so the file is ASCII.
// Parse takes only that exact form. Salvage reads a file that was edited or cut short as far
// as it goes: CR LF line ends and a missing final newline are fine, and a line that does not
// parse is skipped and named instead of spoiling the rest.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/win32/win32_types.h"

namespace win32::regstore {

struct Value {
  std::string name;  // case kept; compared without regard to ASCII case
  DWORD type = 0;
  std::string data;  // raw bytes as set
};

struct Key {
  std::string path;  // components joined by '\', no leading or trailing '\'; "" is the root
  std::vector<Value> values;
};

struct Store {
  std::vector<Key> keys;

  // An exact key (case-insensitive), or null.
  Key* FindKey(std::string_view path);
  const Key* FindKey(std::string_view path) const;
  // A key exists when it was created or when a created key lies below it; the root always.
  bool KeyExists(std::string_view path) const;
  // Finds or appends the key.
  Key& EnsureKey(std::string_view path);
};

bool EqualsNoCase(std::string_view a, std::string_view b);
Value* FindValue(Key& key, std::string_view name);
const Value* FindValue(const Key& key, std::string_view name);

std::string Serialize(const Store& store);
// nullopt when the text is not a complete, well-formed store.
std::optional<Store> Parse(std::string_view text);

struct SkippedLine {
  std::size_t number = 0;  // from 1
  std::string text;        // as it stands, without its line end
};

struct Salvaged {
  Store store;
  std::vector<SkippedLine> skipped;
  bool header = false;    // the first line is the header
  bool ended = false;     // an "END" line was seen
  bool anything = false;  // at least one key or value was taken
  bool exact = false;     // the text is exactly the written form (Parse accepts it)
};
// Every line that parses. A value line after a key line that was skipped is skipped too (it
// cannot be told which key it belongs to); of two values of one name the first counts. In a
// file without "END" whose last line has no newline, that line is taken only when its form
// shows where it ends (a key, a number, a string), not a byte list that may be cut short.
Salvaged Salvage(std::string_view text);

}  // namespace win32::regstore
