// The texture service: textures created from image files in memory, kept in a table under a
// name and a folder text and handed out as small handles. A failed load is retried at a
// reduced size in a fallback format; a texture that cannot be made at all leaves a valid
// handle with no texture and, once per process, a warning box.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "host/host_types.h"
#include "platform/d3d8/d3d8.h"

class Log;

struct TextureHandle {
  char name[128] = {};
  char folder[128] = {};
  std::int32_t index = -1;
};

class TextureService {
 public:
  static constexpr std::size_t kMaxEntries = 1000;

  // The creation call; D3DXCreateTextureFromFileInMemoryEx unless a test replaces it.
  using CreateFunction = std::function<HRESULT(d3d8::IDirect3DDevice8* device, const void* data, UINT size, UINT width,
                                               UINT height, d3d8::D3DFORMAT format, d3d8::IDirect3DTexture8** out)>;

  // Stores the device and window, reads the maximum texture width and chooses the fallback
  // format. A null device leaves the service as it was.
  void Bind(d3d8::IDirect3D8* d3d, d3d8::IDirect3DDevice8* device, d3d8::D3DFORMAT backBufferFormat,
            win32::HWND window);
  TextureHandle LoadFromMemory(const void* data, UINT size, const char* name, const char* folder);
  void SetTexture(DWORD stage, const TextureHandle& handle);
  void ReleaseAll();

  void SetLog(Log* log) { log_ = log; }
  void SetCreateFunctionForTesting(CreateFunction f) { create_ = std::move(f); }
  // Back to the unbound state with an empty table (for tests and a new run).
  void Reset();

  bool bound() const { return device_ != nullptr; }
  std::size_t entryCount() const { return entries_.size(); }
  d3d8::IDirect3DTexture8* textureAt(std::size_t index) const {
    return index < entries_.size() ? entries_[index].texture : nullptr;
  }
  bool loadedAt(std::size_t index) const { return index < entries_.size() && entries_[index].loaded; }
  d3d8::D3DFORMAT fallbackFormat() const { return fallback_; }
  UINT maxTextureWidth() const { return maxWidth_; }
  bool warningShown() const { return warningShown_; }

 private:
  struct Entry {
    d3d8::IDirect3DTexture8* texture = nullptr;
    std::array<char, 128> name{};
    std::array<char, 128> folder{};
    bool loaded = false;
  };

  d3d8::IDirect3DDevice8* device_ = nullptr;
  win32::HWND window_ = nullptr;
  d3d8::D3DFORMAT fallback_ = d3d8::D3DFMT_R5G6B5;
  UINT maxWidth_ = 0;
  std::vector<Entry> entries_;
  bool warningShown_ = false;
  Log* log_ = nullptr;
  CreateFunction create_;
};

// The one process-wide service.
TextureService& Textures();
