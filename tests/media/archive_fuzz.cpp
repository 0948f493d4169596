// libFuzzer target: any bytes as an archive resource. The one-pass walker unpacks every
// member; then the first and the last member found are requested (the last one of a solid
// archive drags the whole stream through the decoder), and a name that is not there. Each
// request is made again with the solid streams kept, which must answer exactly the same.
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "media/archive_reader.h"
#include "media/archive_walk.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size > (1u << 20)) return 0;
  const auto n = static_cast<std::uint32_t>(size);
  std::vector<std::string> found;
  media::WalkArchive(data, n, true, [&](const media::WalkedMember& m) { found.emplace_back(m.block.name); });
  std::vector<std::string> names = {"no such member"};
  if (!found.empty()) names.push_back(found.front());
  if (found.size() > 1) names.push_back(found.back());
  for (const std::string& name : names) {
    MediaArchive archive{data, n, 0};
    unsigned char* buffer = nullptr;
    std::uint32_t length = 0;
    const int result = ExtractArchiveMember(&buffer, &length, name.c_str(), &archive, "pwd");
    KeepArchiveStreams(true);
    MediaArchive again{data, n, 0};
    unsigned char* keptBuffer = nullptr;
    std::uint32_t keptLength = 0;
    const int keptResult = ExtractArchiveMember(&keptBuffer, &keptLength, name.c_str(), &again, "pwd");
    KeepArchiveStreams(false);
    if (keptResult != result || keptLength != length || (length && std::memcmp(buffer, keptBuffer, length) != 0))
      __builtin_trap();
    FreeMediaBuffer(buffer);
    FreeMediaBuffer(keptBuffer);
  }
  return 0;
}
