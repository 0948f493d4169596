#include "platform/d3d8/resources.h"

#include <algorithm>
#include <cstring>

#include "platform/d3d8/formats.h"

namespace d3d8 {
namespace {

constexpr int kScratchUnit = GlState::kUnits - 1;  // texture unit used for uploads

bool ValidRect(const RECT& r, UINT width, UINT height) {
  return r.left >= 0 && r.top >= 0 && r.left < r.right && r.top < r.bottom && static_cast<UINT>(r.right) <= width &&
         static_cast<UINT>(r.bottom) <= height;
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Shared resource behaviour

template <class Interface>
HRESULT ResourceBase<Interface>::DeviceOf(IDirect3DDevice8** device) {
  if (!device) return D3DERR_INVALIDCALL;
  *device = core_->device;
  if (!*device) return D3DERR_INVALIDCALL;
  (*device)->AddRef();
  return D3D_OK;
}

template class ResourceBase<IDirect3DSurface8>;
template class ResourceBase<IDirect3DTexture8>;
template class ResourceBase<IDirect3DVertexBuffer8>;
template class ResourceBase<IDirect3DIndexBuffer8>;

// ---------------------------------------------------------------------------------------------
// Surfaces

Surface::Surface(CorePtr core, SurfaceKind kind, UINT width, UINT height, D3DFORMAT format, UINT samples,
                 bool lockable, bool counted)
    : ResourceBase(std::move(core), kind == SurfaceKind::Image ? D3DPOOL_SYSTEMMEM : D3DPOOL_DEFAULT, counted),
      kind_(kind),
      width_(width),
      height_(height),
      format_(format),
      samples_(samples),
      lockable_(lockable) {}

Surface::Surface(CorePtr core, Texture* container, UINT level)
    : ResourceBase(std::move(core), container->Pool(), false),
      kind_(SurfaceKind::TextureLevel),
      width_(container->LevelWidth(level)),
      height_(container->LevelHeight(level)),
      format_(container->Format()),
      samples_(0),
      lockable_(!container->IsRenderTarget()),
      container_(container),
      level_(level) {}

HRESULT Surface::Create(CorePtr core, SurfaceKind kind, UINT width, UINT height, D3DFORMAT format, UINT samples,
                        bool lockable, bool counted, Surface** out) {
  if (!out) return D3DERR_INVALIDCALL;
  *out = nullptr;
  const FormatInfo& info = GetFormatInfo(format);
  if (width == 0 || height == 0 || !info.supported) return D3DERR_INVALIDCALL;
  if (static_cast<int>(std::max(width, height)) > core->limits.maxTextureSize) return D3DERR_OUTOFVIDEOMEMORY;
  if (kind == SurfaceKind::DepthStencil && !info.depth) return D3DERR_INVALIDCALL;
  if ((kind == SurfaceKind::RenderTarget || kind == SurfaceKind::BackBuffer) && !info.renderTarget)
    return D3DERR_INVALIDCALL;
  if (kind == SurfaceKind::Image && (info.depth || info.compressed)) return D3DERR_INVALIDCALL;
  auto* s = new Surface(core, kind, width, height, format, samples, lockable, counted);
  if (kind == SurfaceKind::Image) {
    s->memory_.assign(static_cast<size_t>(RowPitch(format, width)) * RowCount(format, height), 0);
  } else {
    core->MakeCurrent();
    DrainGlErrors();
    // Colour targets are stored as RGBA8 whatever their format: blending and read-back then
    // work at full precision.
    GLenum internal = info.depth ? info.internalFormat : GL_RGBA8;
    glGenRenderbuffers(1, &s->renderbuffer_);
    glBindRenderbuffer(GL_RENDERBUFFER, s->renderbuffer_);
    if (samples > 0)
      glRenderbufferStorageMultisample(GL_RENDERBUFFER, static_cast<GLsizei>(samples), internal,
                                       static_cast<GLsizei>(width), static_cast<GLsizei>(height));
    else
      glRenderbufferStorage(GL_RENDERBUFFER, internal, static_cast<GLsizei>(width), static_cast<GLsizei>(height));
    glBindRenderbuffer(GL_RENDERBUFFER, 0);
    if (glGetError() != GL_NO_ERROR) {
      delete s;
      return D3DERR_OUTOFVIDEOMEMORY;
    }
  }
  *out = s;
  return D3D_OK;
}

Surface::~Surface() {
  if (renderbuffer_) {
    core_->MakeCurrent();
    glDeleteRenderbuffers(1, &renderbuffer_);
  }
}

ULONG Surface::AddRef() { return container_ ? container_->AddRef() : ResourceBase::AddRef(); }
ULONG Surface::Release() { return container_ ? container_->Release() : ResourceBase::Release(); }

bool Surface::OnGpu() const { return kind_ != SurfaceKind::Image; }

UINT Surface::Pitch() const { return RowPitch(format_, width_); }

HRESULT Surface::GetDesc(D3DSURFACE_DESC* desc) {
  if (!desc) return D3DERR_INVALIDCALL;
  if (container_) return container_->GetLevelDesc(level_, desc);
  desc->Format = format_;
  desc->Type = D3DRTYPE_SURFACE;
  desc->Usage = kind_ == SurfaceKind::DepthStencil ? D3DUSAGE_DEPTHSTENCIL
                : kind_ == SurfaceKind::Image    ? 0
                                                 : D3DUSAGE_RENDERTARGET;
  desc->Pool = pool_;
  desc->Size = RowPitch(format_, width_) * RowCount(format_, height_);
  desc->MultiSampleType = static_cast<D3DMULTISAMPLE_TYPE>(samples_);
  desc->Width = width_;
  desc->Height = height_;
  return D3D_OK;
}

void Surface::Attach(GLenum target) const {
  if (container_) {
    glFramebufferTexture2D(target, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, container_->Prepare(),
                           static_cast<GLint>(level_));
    return;
  }
  if (kind_ == SurfaceKind::DepthStencil) {
    const bool stencil = GetFormatInfo(format_).internalFormat == GL_DEPTH24_STENCIL8;
    glFramebufferRenderbuffer(target, stencil ? GL_DEPTH_STENCIL_ATTACHMENT : GL_DEPTH_ATTACHMENT, GL_RENDERBUFFER,
                              renderbuffer_);
  } else {
    glFramebufferRenderbuffer(target, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, renderbuffer_);
  }
}

HRESULT Surface::LockRect(D3DLOCKED_RECT* locked, const RECT* rect, DWORD flags) {
  if (container_) return container_->LockRect(level_, locked, rect, flags);
  if (!locked || locked_) return D3DERR_INVALIDCALL;
  if (kind_ == SurfaceKind::DepthStencil || !lockable_) return D3DERR_INVALIDCALL;
  RECT r = rect ? *rect : RECT{0, 0, static_cast<LONG>(width_), static_cast<LONG>(height_)};
  if (!ValidRect(r, width_, height_)) return D3DERR_INVALIDCALL;
  const UINT pitch = Pitch();
  const UINT bpp = GetFormatInfo(format_).bytesPerPixel;
  if (kind_ != SurfaceKind::Image) {
    // A lockable render target: bring its pixels into memory for the caller.
    memory_.assign(static_cast<size_t>(pitch) * height_, 0);
    std::vector<std::uint8_t> rgba;
    RECT all{0, 0, static_cast<LONG>(width_), static_cast<LONG>(height_)};
    if (!core_->ReadRgba(this, all, rgba)) return D3DERR_INVALIDCALL;
    for (UINT y = 0; y < height_; ++y)
      RowFromRgba8(format_, rgba.data() + static_cast<size_t>(y) * width_ * 4, memory_.data() + y * pitch, width_);
  }
  locked->Pitch = static_cast<INT>(pitch);
  locked->pBits = memory_.data() + static_cast<size_t>(r.top) * pitch + static_cast<size_t>(r.left) * bpp;
  locked_ = true;
  lockRect_ = r;
  lockFlags_ = flags;
  return D3D_OK;
}

HRESULT Surface::UnlockRect() {
  if (container_) return container_->UnlockRect(level_);
  if (!locked_) return D3DERR_INVALIDCALL;
  locked_ = false;
  if (kind_ != SurfaceKind::Image && !(lockFlags_ & D3DLOCK_READONLY)) {
    const UINT w = static_cast<UINT>(lockRect_.right - lockRect_.left);
    const UINT h = static_cast<UINT>(lockRect_.bottom - lockRect_.top);
    const UINT bpp = GetFormatInfo(format_).bytesPerPixel;
    std::vector<std::uint8_t> rgba(static_cast<size_t>(w) * h * 4);
    for (UINT y = 0; y < h; ++y)
      RowToRgba8(format_, memory_.data() + (lockRect_.top + y) * Pitch() + lockRect_.left * bpp,
                 rgba.data() + static_cast<size_t>(y) * w * 4, w);
    core_->WriteRgba(this, lockRect_.left, lockRect_.top, w, h, rgba.data());
  }
  if (kind_ != SurfaceKind::Image) std::vector<std::uint8_t>().swap(memory_);
  return D3D_OK;
}

// ---------------------------------------------------------------------------------------------
// Textures

HRESULT Texture::Create(CorePtr core, UINT width, UINT height, UINT levels, DWORD usage, D3DFORMAT format,
                        D3DPOOL pool, Texture** out) {
  if (!out) return D3DERR_INVALIDCALL;
  *out = nullptr;
  const FormatInfo& info = GetFormatInfo(format);
  if (width == 0 || height == 0 || !info.supported || info.depth) return D3DERR_INVALIDCALL;
  if (info.compressed && !core->limits.s3tc) return D3DERR_INVALIDCALL;
  if (usage & D3DUSAGE_RENDERTARGET) {
    if (pool != D3DPOOL_DEFAULT || !info.renderTarget) return D3DERR_INVALIDCALL;
  }
  if (usage & D3DUSAGE_DEPTHSTENCIL) return D3DERR_INVALIDCALL;
  if (static_cast<int>(std::max(width, height)) > core->limits.maxTextureSize) return D3DERR_INVALIDCALL;
  UINT full = 1;
  for (UINT w = width, h = height; w > 1 || h > 1; w = std::max(1u, w / 2), h = std::max(1u, h / 2)) ++full;
  const UINT count = levels == 0 ? full : std::min(levels, full);

  auto* t = new Texture(core, pool);
  t->usage_ = usage;
  t->format_ = format;
  t->levels_.resize(count);
  core->MakeCurrent();
  DrainGlErrors();
  glGenTextures(1, &t->texture_);
  core->gl.SelectTexture(kScratchUnit, t->texture_);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_BASE_LEVEL, 0);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, static_cast<GLint>(count - 1));
  glTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_SWIZZLE_RGBA, info.swizzle);
  const bool renderTarget = (usage & D3DUSAGE_RENDERTARGET) != 0;
  for (UINT i = 0; i < count; ++i) {
    Level& level = t->levels_[i];
    level.width = std::max(1u, width >> i);
    level.height = std::max(1u, height >> i);
    const size_t bytes = static_cast<size_t>(RowPitch(format, level.width)) * RowCount(format, level.height);
    if (renderTarget) {
      glTexImage2D(GL_TEXTURE_2D, static_cast<GLint>(i), GL_RGBA8, static_cast<GLsizei>(level.width),
                   static_cast<GLsizei>(level.height), 0, GL_RGBA, GL_UNSIGNED_BYTE, nullptr);
      level.inGl = true;
    } else {
      // GL storage comes with the first upload (Prepare or the managed hand-over).
      level.memory.assign(bytes);
      if (level.memory.empty()) {
        t->Release();
        return D3DERR_OUTOFVIDEOMEMORY;
      }
    }
    level.dirty = !renderTarget;
  }
  t->dirty_ = !renderTarget;
  if (glGetError() != GL_NO_ERROR) {
    t->Release();
    return D3DERR_OUTOFVIDEOMEMORY;
  }
  for (UINT i = 0; i < count; ++i) t->levels_[i].surface = std::make_unique<Surface>(core, t, i);
  *out = t;
  return D3D_OK;
}

Texture::~Texture() {
  levels_.clear();
  if (texture_) {
    core_->MakeCurrent();
    core_->gl.Forget(texture_, 0);
    glDeleteTextures(1, &texture_);
  }
}

DWORD Texture::SetPriority(DWORD priority) {
  DWORD old = priority_;
  priority_ = priority;
  return old;
}

DWORD Texture::SetLOD(DWORD lod) {
  DWORD old = lod_;
  if (pool_ != D3DPOOL_MANAGED) return 0;
  lod_ = std::min<DWORD>(lod, static_cast<DWORD>(levels_.size() - 1));
  core_->MakeCurrent();
  core_->gl.SelectTexture(kScratchUnit, texture_);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_BASE_LEVEL, static_cast<GLint>(lod_));
  return old;
}

UINT Texture::LevelPitch(UINT level) const { return RowPitch(format_, levels_[level].width); }

HRESULT Texture::GetLevelDesc(UINT level, D3DSURFACE_DESC* desc) {
  if (!desc || level >= levels_.size()) return D3DERR_INVALIDCALL;
  desc->Format = format_;
  desc->Type = D3DRTYPE_SURFACE;
  desc->Usage = usage_;
  desc->Pool = pool_;
  desc->Size = RowPitch(format_, levels_[level].width) * RowCount(format_, levels_[level].height);
  desc->MultiSampleType = D3DMULTISAMPLE_NONE;
  desc->Width = levels_[level].width;
  desc->Height = levels_[level].height;
  return D3D_OK;
}

HRESULT Texture::GetSurfaceLevel(UINT level, IDirect3DSurface8** surface) {
  if (!surface || level >= levels_.size()) return D3DERR_INVALIDCALL;
  *surface = levels_[level].surface.get();
  AddRef();
  return D3D_OK;
}

HRESULT Texture::LockRect(UINT index, D3DLOCKED_RECT* locked, const RECT* rect, DWORD flags) {
  if (!locked || index >= levels_.size() || IsRenderTarget()) return D3DERR_INVALIDCALL;
  Level& level = levels_[index];
  if (level.locked) return D3DERR_INVALIDCALL;
  RECT r = rect ? *rect : RECT{0, 0, static_cast<LONG>(level.width), static_cast<LONG>(level.height)};
  if (!ValidRect(r, level.width, level.height)) return D3DERR_INVALIDCALL;
  const FormatInfo& info = GetFormatInfo(format_);
  const UINT pitch = LevelPitch(index);
  size_t offset;
  if (info.compressed)
    offset = static_cast<size_t>(r.top / 4) * pitch + static_cast<size_t>(r.left / 4) * info.bytesPerPixel;
  else
    offset = static_cast<size_t>(r.top) * pitch + static_cast<size_t>(r.left) * info.bytesPerPixel;
  RestoreMemory(index);
  if (level.memory.empty()) return D3DERR_INVALIDCALL;
  locked->Pitch = static_cast<INT>(pitch);
  locked->pBits = level.memory.data() + offset;
  level.locked = true;
  level.lockFlags = flags;
  return D3D_OK;
}

HRESULT Texture::UnlockRect(UINT index) {
  if (index >= levels_.size() || !levels_[index].locked) return D3DERR_INVALIDCALL;
  Level& level = levels_[index];
  level.locked = false;
  const bool written = !(level.lockFlags & D3DLOCK_READONLY);
  if (written) level.dirty = dirty_ = true;
  if (Pool() != D3DPOOL_MANAGED || level.keepMemory) return D3D_OK;
  if (level.restored) {
    level.keepMemory = true;  // locked again after the hand-over: keep it rather than read back each time
    return D3D_OK;
  }
  // GL takes the level now and holds the only copy.
  core_->MakeCurrent();
  core_->gl.SelectTexture(kScratchUnit, texture_);
  if (level.dirty) UploadLevel(index);
  level.memory.reset();
  level.onlyInGl = true;
  return D3D_OK;
}

void Texture::RestoreMemory(UINT index) {
  Level& level = levels_[index];
  if (!level.onlyInGl) return;
  const FormatInfo& info = GetFormatInfo(format_);
  const size_t bytes = static_cast<size_t>(RowPitch(format_, level.width)) * RowCount(format_, level.height);
  level.memory.assign(bytes);
  if (level.memory.empty()) return;  // out of memory: the lock fails
  core_->MakeCurrent();
  core_->gl.SelectTexture(kScratchUnit, texture_);
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  if (info.compressed)
    glGetCompressedTexImage(GL_TEXTURE_2D, static_cast<GLint>(index), level.memory.data());
  else
    glGetTexImage(GL_TEXTURE_2D, static_cast<GLint>(index), info.format, info.type, level.memory.data());
  level.onlyInGl = false;
  level.restored = true;
}

HRESULT Texture::AddDirtyRect(const RECT*) {
  for (Level& level : levels_) level.dirty = true;
  dirty_ = !IsRenderTarget();
  return D3D_OK;
}

void Texture::UploadLevel(UINT index) {
  Level& level = levels_[index];
  const FormatInfo& info = GetFormatInfo(format_);
  glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
  if (info.compressed) {
    glCompressedTexImage2D(GL_TEXTURE_2D, static_cast<GLint>(index), info.internalFormat,
                           static_cast<GLsizei>(level.width), static_cast<GLsizei>(level.height), 0,
                           static_cast<GLsizei>(level.memory.size()), level.memory.data());
  } else if (!level.inGl) {
    glTexImage2D(GL_TEXTURE_2D, static_cast<GLint>(index), static_cast<GLint>(info.internalFormat),
                 static_cast<GLsizei>(level.width), static_cast<GLsizei>(level.height), 0, info.format, info.type,
                 level.memory.data());
  } else {
    glTexSubImage2D(GL_TEXTURE_2D, static_cast<GLint>(index), 0, 0, static_cast<GLsizei>(level.width),
                    static_cast<GLsizei>(level.height), info.format, info.type, level.memory.data());
  }
  level.inGl = true;
  level.dirty = false;
}

GLuint Texture::Prepare() {
  if (dirty_) {
    core_->MakeCurrent();
    core_->gl.SelectTexture(kScratchUnit, texture_);
    for (UINT i = 0; i < levels_.size(); ++i)
      if (levels_[i].dirty && !levels_[i].memory.empty()) UploadLevel(i);
    dirty_ = false;
  }
  return texture_;
}

// ---------------------------------------------------------------------------------------------
// Buffers

template <class Interface>
BufferBase<Interface>::BufferBase(CorePtr core, UINT length, DWORD usage, D3DPOOL pool)
    : ResourceBase<Interface>(std::move(core), pool, true), length_(length), usage_(usage), memory_(length, 0) {
  this->core_->MakeCurrent();
  DrainGlErrors();
  glGenBuffers(1, &buffer_);
  glBindBuffer(GL_COPY_WRITE_BUFFER, buffer_);
  glBufferData(GL_COPY_WRITE_BUFFER, static_cast<GLsizeiptr>(length_), memory_.data(),
               (usage & D3DUSAGE_DYNAMIC) ? GL_DYNAMIC_DRAW : GL_STATIC_DRAW);
  if (glGetError() != GL_NO_ERROR) {
    glDeleteBuffers(1, &buffer_);
    buffer_ = 0;
  }
}

template <class Interface>
BufferBase<Interface>::~BufferBase() {
  if (buffer_) {
    this->core_->MakeCurrent();
    this->core_->gl.Forget(0, buffer_);
    glDeleteBuffers(1, &buffer_);
  }
}

template <class Interface>
HRESULT BufferBase<Interface>::Lock(UINT offset, UINT size, BYTE** data, DWORD flags) {
  if (!data || offset > length_) return D3DERR_INVALIDCALL;
  if (size == 0 || size > length_ - offset) size = length_ - offset;
  *data = memory_.data() + offset;
  if (!(flags & D3DLOCK_READONLY) && size > 0) {
    if (dirtyBegin_ == dirtyEnd_) {
      dirtyBegin_ = offset;
      dirtyEnd_ = offset + size;
    } else {
      dirtyBegin_ = std::min(dirtyBegin_, offset);
      dirtyEnd_ = std::max(dirtyEnd_, offset + size);
    }
    if (flags & D3DLOCK_DISCARD) discard_ = true;
  }
  ++lockCount_;
  return D3D_OK;
}

template <class Interface>
HRESULT BufferBase<Interface>::Unlock() {
  if (lockCount_ == 0) return D3DERR_INVALIDCALL;
  if (--lockCount_ > 0 || dirtyBegin_ == dirtyEnd_) return D3D_OK;
  this->core_->MakeCurrent();
  glBindBuffer(GL_COPY_WRITE_BUFFER, buffer_);
  if (discard_ || (dirtyBegin_ == 0 && dirtyEnd_ == length_)) {
    // Whole contents replaced: give GL fresh storage instead of waiting for draws in flight.
    glBufferData(GL_COPY_WRITE_BUFFER, static_cast<GLsizeiptr>(length_), memory_.data(),
                 (usage_ & D3DUSAGE_DYNAMIC) ? GL_DYNAMIC_DRAW : GL_STATIC_DRAW);
  } else {
    glBufferSubData(GL_COPY_WRITE_BUFFER, static_cast<GLintptr>(dirtyBegin_),
                    static_cast<GLsizeiptr>(dirtyEnd_ - dirtyBegin_), memory_.data() + dirtyBegin_);
  }
  dirtyBegin_ = dirtyEnd_ = 0;
  discard_ = false;
  ++version_;
  return D3D_OK;
}

template class BufferBase<IDirect3DVertexBuffer8>;
template class BufferBase<IDirect3DIndexBuffer8>;

HRESULT VertexBuffer::GetDesc(D3DVERTEXBUFFER_DESC* desc) {
  if (!desc) return D3DERR_INVALIDCALL;
  desc->Format = D3DFMT_VERTEXDATA;
  desc->Type = D3DRTYPE_VERTEXBUFFER;
  desc->Usage = usage_;
  desc->Pool = pool_;
  desc->Size = length_;
  desc->FVF = fvf_;
  return D3D_OK;
}

std::uint32_t IndexBuffer::MaxIndex(UINT first, UINT count) const {
  std::uint32_t best = 0;
  const UINT size = IndexSize();
  const UINT end = std::min<std::uint64_t>(static_cast<std::uint64_t>(first) + count, length_ / size);
  for (UINT i = first; i < end; ++i) {
    std::uint32_t v = 0;
    std::memcpy(&v, memory_.data() + static_cast<size_t>(i) * size, size);
    best = std::max(best, v);
  }
  return best;
}

std::uint32_t IndexBuffer::MaxIndex() const {
  if (maxIndexVersion_ != version_) {
    maxIndex_ = MaxIndex(0, length_ / IndexSize());
    maxIndexVersion_ = version_;
  }
  return maxIndex_;
}

HRESULT IndexBuffer::GetDesc(D3DINDEXBUFFER_DESC* desc) {
  if (!desc) return D3DERR_INVALIDCALL;
  desc->Format = format_;
  desc->Type = D3DRTYPE_INDEXBUFFER;
  desc->Usage = usage_;
  desc->Pool = pool_;
  desc->Size = length_;
  return D3D_OK;
}

}  // namespace d3d8
