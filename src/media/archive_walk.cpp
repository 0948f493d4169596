#include "media/archive_walk.h"

#include <memory>

#include "media/archive_reader.h"
#include "media/crc32.h"
#include "media/rar20_unpacker.h"

namespace media {

const char* MemberStatusText(MemberStatus s) {
  switch (s) {
    case MemberStatus::kListed: return "listed";
    case MemberStatus::kOk: return "OK";
    case MemberStatus::kCrcError: return "CRC error";
    case MemberStatus::kUnsupportedVersion: return "unsupported unpack version";
    case MemberStatus::kEncrypted: return "encrypted (not supported)";
    case MemberStatus::kDamaged: return "damaged header";
  }
  return "?";
}

bool WalkArchive(const std::uint8_t* data, std::uint32_t size, bool unpack,
                 const std::function<void(const WalkedMember&)>& fn) {
  MediaArchive archive{data, size, 0};
  WalkedMember m;
  if (!ReadArchiveStart(archive, &m.archiveSolid)) return false;
  // One window and output buffer for every walk of this thread (a walk started from inside
  // a walk's callback gets its own): fresh memory per archive would cost more than small
  // archives do.
  struct Workspace {
    std::unique_ptr<std::uint8_t[]> window;
    Rar20Unpacker unpacker;
    std::unique_ptr<std::uint8_t[]> out;
    std::uint32_t outCapacity = 0;
    bool busy = false;
  };
  thread_local std::unique_ptr<Workspace> shared;
  std::unique_ptr<Workspace> own;
  Workspace* ws = nullptr;
  std::uint8_t* window = nullptr;
  Rar20Unpacker* unpacker = nullptr;
  if (unpack) {
    std::unique_ptr<Workspace>& slot = shared && shared->busy ? own : shared;
    if (!slot) {
      slot = std::make_unique<Workspace>();
      slot->window.reset(new std::uint8_t[kRarWindowSize]);  // never read before written
    }
    slot->unpacker.Reset();
    ws = slot.get();
    ws->busy = true;
    window = ws->window.get();
    unpacker = &ws->unpacker;
  }
  struct Release {
    Workspace* ws;
    ~Release() {
      if (ws) ws->busy = false;
    }
  } release{ws};
  while (ScanNextFileBlock(archive, &m.block) == ScanResult::kFile) {
    const ArchiveFileHeader& h = m.block.header;
    m.status = MemberStatus::kListed;
    m.data = nullptr;
    m.size = 0;
    m.crc = 0;
    if (unpack && !h.IsDirectory()) {
      std::uint64_t avail = std::uint64_t{size} - m.block.dataStart;
      if (avail > h.packSize) avail = h.packSize;
      bool stored = h.method == kMethodStored;
      std::uint64_t most = stored ? avail : (avail + 1) * kMaxExpansionPerByte;
      if (h.unpVer < 13 || h.unpVer > 20) {
        m.status = MemberStatus::kUnsupportedVersion;
      } else if (h.flags & kFileEncrypted) {
        m.status = MemberStatus::kEncrypted;
      } else if (h.unpSize > most) {
        m.status = MemberStatus::kDamaged;
      } else {
        std::uint32_t written = 0;
        if (stored) {
          // Served straight from the archive's bytes.
          if (h.unpSize <= avail) written = h.unpSize;
          m.data = data + m.block.dataStart;
        } else {
          // Only the bytes written are ever read, so the buffer is not cleared.
          if (ws->outCapacity < h.unpSize) {
            ws->out.reset();
            ws->out.reset(new std::uint8_t[h.unpSize]);
            ws->outCapacity = h.unpSize;
          }
          unpacker->DecompressMember(window, archive, h.packSize, h.unpSize, (h.flags & kFileSolid) != 0,
                                     ws->out.get(), &written);
          m.data = ws->out.get();
        }
        m.size = written;
        m.crc = Crc32(m.data, written);
        m.status = written == h.unpSize && m.crc == h.fileCrc ? MemberStatus::kOk : MemberStatus::kCrcError;
      }
    }
    fn(m);
    SeekArchive(archive, m.block.next);
  }
  return true;
}

}  // namespace media
