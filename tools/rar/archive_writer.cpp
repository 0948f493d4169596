#include "archive_writer.h"

#include <ctime>

#include "media/crc32.h"
#include "media/media_archive.h"

namespace rarpack {

namespace {

void Put16(std::vector<std::uint8_t>& v, std::uint32_t x) {
  v.push_back(static_cast<std::uint8_t>(x));
  v.push_back(static_cast<std::uint8_t>(x >> 8));
}
void Put32(std::vector<std::uint8_t>& v, std::uint32_t x) {
  Put16(v, x & 0xFFFF);
  Put16(v, x >> 16);
}

// Appends a header whose CRC field (the first two bytes) covers everything after it.
void AppendHeader(std::vector<std::uint8_t>& out, std::vector<std::uint8_t> body) {
  std::uint32_t crc = media::Crc32(body.data(), body.size()) & 0xFFFF;
  Put16(out, crc);
  out.insert(out.end(), body.begin(), body.end());
}

}  // namespace

void AppendArchiveStart(std::vector<std::uint8_t>& out, bool solid) {
  out.insert(out.end(), std::begin(media::kRarMarker), std::end(media::kRarMarker));
  std::vector<std::uint8_t> main;
  main.push_back(media::kBlockMain);
  Put16(main, solid ? media::kMainSolid : 0);
  Put16(main, media::kMainHeaderSize);
  Put16(main, 0);
  Put32(main, 0);
  AppendHeader(out, main);
}

void AppendMemberBlock(std::vector<std::uint8_t>& out, const MemberBlock& m, const std::vector<std::uint8_t>& packed) {
  std::vector<std::uint8_t> h;
  h.push_back(media::kBlockFile);
  Put16(h, m.flags);
  Put16(h, static_cast<std::uint32_t>(media::kFileHeaderSize + m.name.size()));
  Put32(h, static_cast<std::uint32_t>(packed.size()));
  Put32(h, m.unpSize);
  h.push_back(kHostWin32);
  Put32(h, m.crc);
  Put32(h, m.dosTime);
  h.push_back(m.unpVer);
  h.push_back(m.method);
  Put16(h, static_cast<std::uint32_t>(m.name.size()));
  Put32(h, m.attributes);
  h.insert(h.end(), m.name.begin(), m.name.end());
  AppendHeader(out, h);
  out.insert(out.end(), packed.begin(), packed.end());
}

void AppendArchiveEnd(std::vector<std::uint8_t>& out) {
  std::vector<std::uint8_t> end;
  end.push_back(media::kBlockEnd);
  Put16(end, 0x4000);
  Put16(end, 7);
  AppendHeader(out, end);
}

std::uint32_t DosTime(long long unixTime) {
  std::time_t t = static_cast<std::time_t>(unixTime);
  std::tm tm{};
  localtime_r(&t, &tm);
  int year = tm.tm_year + 1900;
  if (year < 1980) return (1u << 21) | (1u << 16);  // 1980-01-01 00:00
  if (year > 2107) year = 2107;
  return (static_cast<std::uint32_t>(year - 1980) << 25) | (static_cast<std::uint32_t>(tm.tm_mon + 1) << 21) |
         (static_cast<std::uint32_t>(tm.tm_mday) << 16) | (static_cast<std::uint32_t>(tm.tm_hour) << 11) |
         (static_cast<std::uint32_t>(tm.tm_min) << 5) | (static_cast<std::uint32_t>(tm.tm_sec / 2));
}

bool BuildArchive(const std::vector<PackEntry>& entries, const PackOptions& options, PackResult* result,
                  std::string* error) {
  std::vector<std::uint8_t>& out = result->archive;
  out.clear();
  AppendArchiveStart(out, options.solid);

  bool store = options.store || options.level <= 0;
  EncoderOptions eo;
  eo.level = options.level < 1 ? 1 : options.level > 5 ? 5 : options.level;
  eo.multimedia = options.multimedia;
  Rar20Encoder encoder(eo);
  bool streamStarted = false;

  for (const PackEntry& e : entries) {
    if (e.name.empty() || e.name.size() > media::kMaxNameLength) {
      *error = "member name must have 1 to 259 bytes: '" + e.name + "'";
      return false;
    }
    if (e.data.size() >= 0xFFFFFFFFull) {
      *error = "member too large (4 GiB or more): " + e.name;
      return false;
    }
    std::uint16_t flags = media::kLongBlock;
    std::uint8_t method = media::kMethodStored;
    std::vector<std::uint8_t> packed;
    const std::vector<std::uint8_t>* payload = &e.data;
    // In a solid archive every block after the stream's start carries the solid flag,
    // stored members and directories included, or other readers restart the stream there.
    if (options.solid && streamStarted) flags |= media::kFileSolid;
    if (e.directory) {
      flags |= media::kFileDirectory;
    } else {
      flags |= kDict1M;
      if (!store && !e.data.empty()) {
        method = static_cast<std::uint8_t>(0x30 + eo.level);
        if (!options.solid) encoder.ResetStream();
        packed = encoder.EncodeMember(e.data.data(), e.data.size());
        streamStarted = true;
        payload = &packed;
      }
    }
    MemberBlock mb;
    mb.name = e.name;
    mb.flags = flags;
    mb.method = method;
    mb.unpSize = e.directory ? 0 : static_cast<std::uint32_t>(e.data.size());
    mb.crc = e.directory ? 0 : media::Crc32(e.data.data(), e.data.size());
    mb.dosTime = e.dosTime;
    mb.attributes = e.directory ? kAttrDirectory : kAttrFile;
    AppendMemberBlock(out, mb, *payload);
    result->members.push_back({e.name, static_cast<std::uint32_t>(e.data.size()),
                               static_cast<std::uint32_t>(payload->size()), method, (flags & media::kFileSolid) != 0});
    if (out.size() >= 0xFFFFFFF0ull) {
      *error = "archive too large (4 GiB or more)";
      return false;
    }
  }
  AppendArchiveEnd(out);
  result->stats = encoder.Stats();
  return true;
}

}  // namespace rarpack
