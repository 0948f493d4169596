// libFuzzer target: the registry's store file, the one input another process or the user may
// edit by hand. Two properties:
// - read -> write -> read keeps every key and value: a text that parses is written back as a
//   text that parses to the same store, and writing that again gives the same text;
// - every store the registry functions can build (paths of non-empty components, names without
//   NUL, any type and bytes) is written as a text that reads back to the same store.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/win32/registry_store.h"

namespace {

using win32::regstore::Key;
using win32::regstore::Store;
using win32::regstore::Value;

bool SameStore(const Store& a, const Store& b) {
  if (a.keys.size() != b.keys.size()) return false;
  for (std::size_t k = 0; k < a.keys.size(); ++k) {
    const Key& x = a.keys[k];
    const Key& y = b.keys[k];
    if (x.path != y.path || x.values.size() != y.values.size()) return false;
    for (std::size_t v = 0; v < x.values.size(); ++v) {
      const Value& p = x.values[v];
      const Value& q = y.values[v];
      if (p.name != q.name || p.type != q.type || p.data != q.data) return false;
    }
  }
  return true;
}

void CheckRoundTrip(const Store& store) {
  const std::string written = win32::regstore::Serialize(store);
  auto again = win32::regstore::Parse(written);
  if (!again || !SameStore(store, *again)) __builtin_trap();
  if (win32::regstore::Serialize(*again) != written) __builtin_trap();
}

std::string WithoutNul(std::string s) {
  std::string out;
  for (char c : s)
    if (c != '\0') out += c;
  return out;
}

// A store as RegCreateKeyExA and RegSetValueExA can leave it.
Store BuildStore(FuzzedDataProvider& in) {
  Store store;
  const int keys = in.ConsumeIntegralInRange(0, 4);
  for (int k = 0; k < keys; ++k) {
    std::string path;
    const int parts = in.ConsumeIntegralInRange(0, 3);
    for (int p = 0; p < parts; ++p) {
      std::string part;
      for (char c : WithoutNul(in.ConsumeRandomLengthString(24)))
        if (c != '\\') part += c;
      if (part.empty()) part = "k";
      if (!path.empty()) path += '\\';
      path += part;
    }
    if (store.FindKey(path)) continue;
    Key& key = store.EnsureKey(path);
    const int values = in.ConsumeIntegralInRange(0, 4);
    for (int v = 0; v < values; ++v) {
      Value value;
      value.name = WithoutNul(in.ConsumeRandomLengthString(24));
      const std::uint32_t kinds[] = {1, 4, 3, in.ConsumeIntegral<std::uint32_t>()};
      value.type = kinds[in.ConsumeIntegralInRange(0, 3)];
      value.data = in.ConsumeRandomLengthString(40);
      if (value.type == 4) value.data.resize(4);  // a REG_DWORD is always 4 bytes
      if (win32::regstore::FindValue(key, value.name)) continue;
      key.values.push_back(std::move(value));
    }
  }
  return store;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  if (auto store = win32::regstore::Parse(text)) CheckRoundTrip(*store);

  FuzzedDataProvider in(data, size);
  CheckRoundTrip(BuildStore(in));
  return 0;
}
