// libFuzzer target: any bytes as an archive resource. The one-pass walker unpacks every
// member; then the first and the last member found are requested (the last one of a solid
// archive drags the whole stream through the decoder). The same requests are then made
// with the solid streams kept (one pass over the stream serves them all), which must
// answer exactly the same, and so must a name that is not there: it fails.
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "media/archive_reader.h"
#include "media/archive_walk.h"

namespace {

struct Answer {
  int result = 0;
  unsigned char* buffer = nullptr;
  std::uint32_t length = 0;
};

Answer Request(const std::uint8_t* data, std::uint32_t size, const std::string& name) {
  MediaArchive archive{data, size, 0};
  Answer a;
  a.result = ExtractArchiveMember(&a.buffer, &a.length, name.c_str(), &archive, "pwd");
  return a;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size > (1u << 20)) return 0;
  const auto n = static_cast<std::uint32_t>(size);
  std::vector<std::string> found;
  media::WalkArchive(data, n, true, [&](const media::WalkedMember& m) { found.emplace_back(m.block.name); });
  const std::string missing = "no such member";
  std::vector<std::string> names = {missing};
  if (!found.empty()) names.push_back(found.front());
  if (found.size() > 1) names.push_back(found.back());
  // The walk saw every member a request can reach: unless one of them bears the missing
  // name, the plain request fails without a buffer (and need not unpack a solid stream to
  // say so).
  bool missingIsThere = false;
  for (const std::string& f : found) missingIsThere |= MediaNamesMatch(f.c_str(), missing.c_str());
  std::vector<Answer> plain;
  for (const std::string& name : names)
    plain.push_back(name == missing && !missingIsThere ? Answer{} : Request(data, n, name));
  KeepArchiveStreams(true);
  for (std::size_t i = 0; i < names.size(); ++i) {
    const Answer kept = Request(data, n, names[i]);
    const Answer& want = plain[i];
    if (kept.result != want.result || kept.length != want.length ||
        (want.length && std::memcmp(want.buffer, kept.buffer, want.length) != 0))
      __builtin_trap();
    FreeMediaBuffer(kept.buffer);
    FreeMediaBuffer(want.buffer);
  }
  KeepArchiveStreams(false);
  return 0;
}
