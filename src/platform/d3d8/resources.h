// Textures, surfaces, vertex and index buffers of the GL device.
#pragma once

#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <vector>

#include "platform/d3d8/d3d8.h"
#include "platform/d3d8/device_core.h"
#include "platform/d3d8/gl.h"

namespace d3d8 {

class Texture;

// Reference counting, the device link and the live-resource counters shared by all resources.
template <class Interface>
class ResourceBase : public Interface {
 public:
  ResourceBase(CorePtr core, D3DPOOL pool, bool counted) : core_(std::move(core)), pool_(pool), counted_(counted) {
    if (counted_) {
      ++core_->liveResources;
      if (pool_ == D3DPOOL_DEFAULT) ++core_->defaultPoolResources;
    }
  }
  ~ResourceBase() override {
    if (counted_) {
      --core_->liveResources;
      if (pool_ == D3DPOOL_DEFAULT) --core_->defaultPoolResources;
    }
  }
  ULONG AddRef() override { return ++refs_; }
  ULONG Release() override {
    ULONG left = --refs_;
    if (left == 0) delete this;
    return left;
  }
  DeviceCore* Core() const { return core_.get(); }
  D3DPOOL Pool() const { return pool_; }

 protected:
  HRESULT DeviceOf(IDirect3DDevice8** device);
  CorePtr core_;
  D3DPOOL pool_;
  bool counted_;
  ULONG refs_ = 1;
};

enum class SurfaceKind { TextureLevel, RenderTarget, DepthStencil, Image, BackBuffer };

class Surface final : public ResourceBase<IDirect3DSurface8> {
 public:
  // A surface of its own (render target, depth-stencil, image or back buffer).
  static HRESULT Create(CorePtr core, SurfaceKind kind, UINT width, UINT height, D3DFORMAT format, UINT samples,
                        bool lockable, bool counted, Surface** out);
  // A level of a texture; shares the texture's reference count.
  Surface(CorePtr core, Texture* container, UINT level);
  ~Surface() override;

  ULONG AddRef() override;
  ULONG Release() override;
  HRESULT GetDevice(IDirect3DDevice8** device) override { return DeviceOf(device); }
  HRESULT GetDesc(D3DSURFACE_DESC* desc) override;
  HRESULT LockRect(D3DLOCKED_RECT* locked, const RECT* rect, DWORD flags) override;
  HRESULT UnlockRect() override;

  SurfaceKind Kind() const { return kind_; }
  D3DFORMAT Format() const { return format_; }
  UINT Width() const { return width_; }
  UINT Height() const { return height_; }
  UINT Samples() const { return samples_; }
  Texture* Container() const { return container_; }
  UINT Level() const { return level_; }
  bool OnGpu() const;  // colour or depth that lives in a GL object
  bool IsDepth() const { return kind_ == SurfaceKind::DepthStencil; }
  // Attaches to the bound draw framebuffer (colour or depth as the surface is).
  void Attach(GLenum target) const;
  GLuint Renderbuffer() const { return renderbuffer_; }
  // Memory of image surfaces: rows of RowPitch bytes.
  std::vector<std::uint8_t>& Memory() { return memory_; }
  UINT Pitch() const;

 private:
  Surface(CorePtr core, SurfaceKind kind, UINT width, UINT height, D3DFORMAT format, UINT samples, bool lockable,
          bool counted);
  SurfaceKind kind_;
  UINT width_, height_;
  D3DFORMAT format_;
  UINT samples_;
  bool lockable_;
  Texture* container_ = nullptr;
  UINT level_ = 0;
  GLuint renderbuffer_ = 0;
  std::vector<std::uint8_t> memory_;
  bool locked_ = false;
  RECT lockRect_{};
  DWORD lockFlags_ = 0;
};

class Texture final : public ResourceBase<IDirect3DTexture8> {
 public:
  static HRESULT Create(CorePtr core, UINT width, UINT height, UINT levels, DWORD usage, D3DFORMAT format,
                        D3DPOOL pool, Texture** out);
  ~Texture() override;

  HRESULT GetDevice(IDirect3DDevice8** device) override { return DeviceOf(device); }
  DWORD SetPriority(DWORD priority) override;
  DWORD GetPriority() override { return priority_; }
  void PreLoad() override { Prepare(); }
  D3DRESOURCETYPE GetType() override { return D3DRTYPE_TEXTURE; }
  DWORD SetLOD(DWORD lod) override;
  DWORD GetLOD() override { return lod_; }
  DWORD GetLevelCount() override { return static_cast<DWORD>(levels_.size()); }
  HRESULT GetLevelDesc(UINT level, D3DSURFACE_DESC* desc) override;
  HRESULT GetSurfaceLevel(UINT level, IDirect3DSurface8** surface) override;
  HRESULT LockRect(UINT level, D3DLOCKED_RECT* locked, const RECT* rect, DWORD flags) override;
  HRESULT UnlockRect(UINT level) override;
  HRESULT AddDirtyRect(const RECT* rect) override;

  // Uploads changed levels; returns the GL texture.
  GLuint Prepare();
  GLuint Name() const { return texture_; }
  bool IsRenderTarget() const { return (usage_ & D3DUSAGE_RENDERTARGET) != 0; }
  D3DFORMAT Format() const { return format_; }
  DWORD Usage() const { return usage_; }
  UINT LevelWidth(UINT level) const { return levels_[level].width; }
  UINT LevelHeight(UINT level) const { return levels_[level].height; }
  UINT LevelPitch(UINT level) const;
  // Memory of a level (not for render targets), brought back from GL if it was given up.
  std::uint8_t* LevelMemory(UINT level) {
    RestoreMemory(level);
    return levels_[level].memory.data();
  }
  void MarkDirty(UINT level) { levels_[level].dirty = dirty_ = true; }

 private:
  Texture(CorePtr core, D3DPOOL pool) : ResourceBase(std::move(core), pool, true) {}
  // A level's memory, from calloc: large blocks come zeroed from the system without being
  // written here, since every picture is written over anyway.
  class ZeroedBytes {
   public:
    ZeroedBytes() = default;
    ZeroedBytes(ZeroedBytes&& o) noexcept : p_(o.p_), n_(o.n_) { o.p_ = nullptr, o.n_ = 0; }
    ZeroedBytes& operator=(ZeroedBytes&& o) noexcept {
      if (this != &o) {
        reset();
        p_ = o.p_, n_ = o.n_;
        o.p_ = nullptr, o.n_ = 0;
      }
      return *this;
    }
    ~ZeroedBytes() { reset(); }
    // n zero bytes (none when out of memory).
    void assign(std::size_t n) {
      reset();
      p_ = n ? static_cast<std::uint8_t*>(std::calloc(n, 1)) : nullptr;
      n_ = p_ ? n : 0;
    }
    void reset() {
      std::free(p_);
      p_ = nullptr, n_ = 0;
    }
    std::uint8_t* data() { return p_; }
    std::size_t size() const { return n_; }
    bool empty() const { return n_ == 0; }

   private:
    std::uint8_t* p_ = nullptr;
    std::size_t n_ = 0;
  };
  struct Level {
    UINT width = 0, height = 0;
    ZeroedBytes memory;
    // Whether GL has storage for the level. Pictures get it with their first upload, so
    // that the driver never clears storage that is written over at once.
    bool inGl = false;
    bool dirty = false;
    bool locked = false;
    DWORD lockFlags = 0;
    // Managed levels give their memory up once GL holds them: a loaded scene would otherwise
    // keep every picture twice. A level that is locked again is read back from GL once and
    // keeps its memory from then on.
    bool onlyInGl = false;
    bool restored = false;
    bool keepMemory = false;
    std::unique_ptr<Surface> surface;
  };
  void UploadLevel(UINT level);
  void RestoreMemory(UINT level);
  DWORD usage_ = 0;
  D3DFORMAT format_ = D3DFMT_UNKNOWN;
  std::vector<Level> levels_;
  GLuint texture_ = 0;
  bool dirty_ = false;
  DWORD priority_ = 0, lod_ = 0;
};

// Vertex and index buffers: a GL buffer plus a memory copy that Lock hands out.
template <class Interface>
class BufferBase : public ResourceBase<Interface> {
 public:
  BufferBase(CorePtr core, UINT length, DWORD usage, D3DPOOL pool);
  ~BufferBase() override;
  DWORD SetPriority(DWORD priority) override {
    DWORD old = priority_;
    priority_ = priority;
    return old;
  }
  DWORD GetPriority() override { return priority_; }
  void PreLoad() override {}
  HRESULT Lock(UINT offset, UINT size, BYTE** data, DWORD flags) override;
  HRESULT Unlock() override;
  HRESULT GetDevice(IDirect3DDevice8** device) override { return this->DeviceOf(device); }

  GLuint Name() const { return buffer_; }
  UINT Length() const { return length_; }
  const std::uint8_t* Memory() const { return memory_.data(); }
  bool Valid() const { return buffer_ != 0; }
  std::uint64_t Version() const { return version_; }  // bumps with every write

 protected:
  UINT length_;
  DWORD usage_;
  DWORD priority_ = 0;
  GLuint buffer_ = 0;
  std::vector<std::uint8_t> memory_;
  int lockCount_ = 0;
  UINT dirtyBegin_ = 0, dirtyEnd_ = 0;
  bool discard_ = false;
  std::uint64_t version_ = 0;
};

class VertexBuffer final : public BufferBase<IDirect3DVertexBuffer8> {
 public:
  VertexBuffer(CorePtr core, UINT length, DWORD usage, DWORD fvf, D3DPOOL pool)
      : BufferBase(std::move(core), length, usage, pool), fvf_(fvf) {}
  D3DRESOURCETYPE GetType() override { return D3DRTYPE_VERTEXBUFFER; }
  HRESULT GetDesc(D3DVERTEXBUFFER_DESC* desc) override;

 private:
  DWORD fvf_;
};

class IndexBuffer final : public BufferBase<IDirect3DIndexBuffer8> {
 public:
  IndexBuffer(CorePtr core, UINT length, DWORD usage, D3DFORMAT format, D3DPOOL pool)
      : BufferBase(std::move(core), length, usage, pool), format_(format) {}
  D3DRESOURCETYPE GetType() override { return D3DRTYPE_INDEXBUFFER; }
  HRESULT GetDesc(D3DINDEXBUFFER_DESC* desc) override;
  D3DFORMAT Format() const { return format_; }
  UINT IndexSize() const { return format_ == D3DFMT_INDEX32 ? 4 : 2; }
  // Largest index of a range (count indices from first), or of the whole buffer.
  std::uint32_t MaxIndex(UINT first, UINT count) const;
  std::uint32_t MaxIndex() const;

 private:
  D3DFORMAT format_;
  mutable std::uint32_t maxIndex_ = 0;
  mutable std::uint64_t maxIndexVersion_ = ~0ull;
};

}  // namespace d3d8
