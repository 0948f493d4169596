#include "platform/d3dx/prepared_images.h"

#include <algorithm>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string_view>


namespace d3dx {

namespace {

enum class State { kPreparing, kReady, kAskedFor };

struct Entry {
  State state = State::kPreparing;
  std::vector<std::uint8_t> bytes;  // the file, to tell bytes with the same hash apart
  image_detail::PreparedImage image;
};

struct Registry {
  std::mutex mutex;
  std::condition_variable changed;
  bool open = false;
  std::size_t readyBytes = 0;  // levels made and not yet taken
  std::size_t mostBytesAhead = kPreparedBytesAhead;
  std::multimap<std::size_t, std::shared_ptr<Entry>> entries;  // by hash of the bytes
};

Registry& Prepared() {
  static auto* registry = new Registry();
  return *registry;
}

std::size_t HashOf(const void* data, std::size_t size) {
  return std::hash<std::string_view>()(std::string_view(static_cast<const char*>(data), size));
}

std::size_t LevelBytes(const image_detail::PreparedImage& image) {
  std::size_t n = 0;
  for (const ImageLevel& level : image.levels) n += level.rgba.size();
  return n;
}

std::shared_ptr<Entry> Find(Registry& r, std::size_t hash, const void* data, std::size_t size) {
  const auto range = r.entries.equal_range(hash);
  for (auto it = range.first; it != range.second; ++it) {
    const std::vector<std::uint8_t>& b = it->second->bytes;
    if (b.size() == size && (size == 0 || std::memcmp(b.data(), data, size) == 0)) return it->second;
  }
  return nullptr;
}

}  // namespace

void StartPreparingImages(std::size_t mostBytesAhead) {
  Registry& r = Prepared();
  std::lock_guard<std::mutex> lock(r.mutex);
  r.open = true;
  r.mostBytesAhead = mostBytesAhead;
}

void PrepareImageAhead(const void* data, std::size_t size) {
  if (!data || size == 0) return;
  Registry& r = Prepared();
  const std::size_t hash = HashOf(data, size);
  auto entry = std::make_shared<Entry>();
  {
    std::unique_lock<std::mutex> lock(r.mutex);
    r.changed.wait(lock, [&r] { return !r.open || r.readyBytes < r.mostBytesAhead; });
    if (!r.open || Find(r, hash, data, size)) return;
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    entry->bytes.assign(bytes, bytes + size);
    r.entries.emplace(hash, entry);
  }
  image_detail::PreparedImage prepared;
  bool ok = false;
  try {
    DecodedImage image;
    if (win32::SUCCEEDED(DecodeImage(data, size, image)) && image.levels.size() == 1 &&
        image.fileFormat != D3DXIFF_DDS) {
      // The size, levels and filters a creation call with every choice left open would use.
      using namespace image_detail;
      const std::uint32_t w = NextPow2(image.Width()), h = NextPow2(image.Height());
      prepared.levels = DefaultLevels(image.levels[0], w, h, FullChain(w, h), kDefaultFilter, kDefaultMipFilter);
      image.levels[0].rgba = std::vector<std::uint8_t>();
      prepared.file = std::move(image);
      ok = true;
    }
  } catch (const std::bad_alloc&) {
    ok = false;
  }
  std::lock_guard<std::mutex> lock(r.mutex);
  if (ok && r.open) {
    entry->image = std::move(prepared);
    entry->state = State::kReady;
    r.readyBytes += LevelBytes(entry->image);
  } else {
    entry->state = State::kAskedFor;  // a creation call decodes it and reports the failure
  }
  r.changed.notify_all();
}

void StopPreparingImages() {
  Registry& r = Prepared();
  std::lock_guard<std::mutex> lock(r.mutex);
  r.open = false;
  r.changed.notify_all();
}

void DropPreparedImages() {
  Registry& r = Prepared();
  std::lock_guard<std::mutex> lock(r.mutex);
  r.entries.clear();
  r.readyBytes = 0;
  r.open = false;
  r.changed.notify_all();
}

namespace image_detail {

std::vector<ImageLevel> DefaultLevels(const ImageLevel& file, std::uint32_t width, std::uint32_t height,
                                      std::uint32_t levels, std::uint32_t filter, std::uint32_t mipFilter) {
  std::vector<ImageLevel> out;
  out.reserve(levels);
  out.push_back(file.width != width || file.height != height ? ResizeImage(file, width, height, filter) : file);
  for (std::uint32_t level = 1; level < levels; ++level) {
    ImageLevel next = NextMipLevel(out.back(), mipFilter);
    const std::uint32_t w = std::max<std::uint32_t>(1, width >> level), h = std::max<std::uint32_t>(1, height >> level);
    if (next.width != w || next.height != h) next = ResizeImage(next, w, h, mipFilter);
    out.push_back(std::move(next));
  }
  return out;
}

bool TakePreparedImage(const void* data, std::size_t size, PreparedImage& out) {
  if (!data || size == 0) return false;
  Registry& r = Prepared();
  std::unique_lock<std::mutex> lock(r.mutex);
  if (!r.open) return false;
  const std::size_t hash = HashOf(data, size);
  std::shared_ptr<Entry> entry = Find(r, hash, data, size);
  if (!entry) {
    // Asked for before any worker came to it: a worker that comes later leaves it alone.
    entry = std::make_shared<Entry>();
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    entry->bytes.assign(bytes, bytes + size);
    entry->state = State::kAskedFor;
    r.entries.emplace(hash, std::move(entry));
    return false;
  }
  r.changed.wait(lock, [&entry] { return entry->state != State::kPreparing; });
  if (entry->state != State::kReady) return false;
  r.readyBytes -= LevelBytes(entry->image);
  out = std::move(entry->image);
  entry->image = PreparedImage();
  r.changed.notify_all();
  entry->state = State::kAskedFor;  // taken: a second request decodes as usual
  return true;
}

}  // namespace image_detail
}  // namespace d3dx
