#include "platform/d3dx/d3dx_texture.h"

#include "platform/d3dx/prepared_images.h"

#include <algorithm>
#include <cstdio>
#include <new>
#include <string>

namespace d3dx {

namespace {

using namespace d3d8;

using image_detail::FullChain;
using image_detail::kDefaultFilter;
using image_detail::kDefaultMipFilter;
using image_detail::NextPow2;
constexpr DWORD kLockReadOnly = 0x00000010;        // D3DLOCK_READONLY
constexpr std::size_t kMaxFileBytes = 256u << 20;  // larger files are refused unread

bool IsDefault(UINT v) { return v == 0 || v == D3DX_DEFAULT; }

bool IsDxt(D3DFORMAT f) {
  return f == D3DFMT_DXT1 || f == D3DFMT_DXT2 || f == D3DFMT_DXT3 || f == D3DFMT_DXT4 || f == D3DFMT_DXT5;
}

// The format itself first, then the closest substitutes.
std::vector<D3DFORMAT> FormatCandidates(D3DFORMAT f) {
  switch (f) {
    case D3DFMT_A8R8G8B8: return {D3DFMT_A8R8G8B8, D3DFMT_A4R4G4B4, D3DFMT_A1R5G5B5, D3DFMT_X8R8G8B8, D3DFMT_R5G6B5};
    case D3DFMT_X8R8G8B8: return {D3DFMT_X8R8G8B8, D3DFMT_A8R8G8B8, D3DFMT_R5G6B5, D3DFMT_X1R5G5B5, D3DFMT_A1R5G5B5};
    case D3DFMT_R8G8B8: return {D3DFMT_R8G8B8, D3DFMT_X8R8G8B8, D3DFMT_A8R8G8B8, D3DFMT_R5G6B5, D3DFMT_X1R5G5B5};
    case D3DFMT_R5G6B5: return {D3DFMT_R5G6B5, D3DFMT_X1R5G5B5, D3DFMT_A1R5G5B5, D3DFMT_X8R8G8B8, D3DFMT_A8R8G8B8};
    case D3DFMT_X1R5G5B5: return {D3DFMT_X1R5G5B5, D3DFMT_R5G6B5, D3DFMT_A1R5G5B5, D3DFMT_X8R8G8B8, D3DFMT_A8R8G8B8};
    case D3DFMT_A1R5G5B5: return {D3DFMT_A1R5G5B5, D3DFMT_A4R4G4B4, D3DFMT_A8R8G8B8, D3DFMT_X1R5G5B5, D3DFMT_R5G6B5};
    case D3DFMT_A4R4G4B4: return {D3DFMT_A4R4G4B4, D3DFMT_A8R8G8B8, D3DFMT_A1R5G5B5, D3DFMT_R5G6B5};
    case D3DFMT_X4R4G4B4: return {D3DFMT_X4R4G4B4, D3DFMT_X1R5G5B5, D3DFMT_R5G6B5, D3DFMT_X8R8G8B8};
    case D3DFMT_R3G3B2: return {D3DFMT_R3G3B2, D3DFMT_R5G6B5, D3DFMT_X8R8G8B8};
    case D3DFMT_A8R3G3B2: return {D3DFMT_A8R3G3B2, D3DFMT_A4R4G4B4, D3DFMT_A8R8G8B8};
    case D3DFMT_L8: return {D3DFMT_L8, D3DFMT_X8R8G8B8, D3DFMT_R5G6B5, D3DFMT_A8R8G8B8};
    case D3DFMT_A8L8: return {D3DFMT_A8L8, D3DFMT_A8R8G8B8, D3DFMT_A4R4G4B4};
    case D3DFMT_A4L4: return {D3DFMT_A4L4, D3DFMT_A8L8, D3DFMT_A4R4G4B4, D3DFMT_A8R8G8B8};
    case D3DFMT_A8: return {D3DFMT_A8, D3DFMT_A8R8G8B8, D3DFMT_A4R4G4B4, D3DFMT_A8L8};
    case D3DFMT_DXT1: return {D3DFMT_DXT1, D3DFMT_A8R8G8B8, D3DFMT_A1R5G5B5, D3DFMT_X8R8G8B8};
    case D3DFMT_DXT2:
    case D3DFMT_DXT3:
    case D3DFMT_DXT4:
    case D3DFMT_DXT5: return {f, D3DFMT_A8R8G8B8, D3DFMT_A4R4G4B4};
    default: return {f, D3DFMT_A8R8G8B8, D3DFMT_X8R8G8B8};
  }
}

// Whether the device's Direct3D object accepts `format` as a texture; true when it cannot be
// asked (the creation call then decides).
bool DeviceAcceptsFormat(IDirect3DDevice8* device, DWORD usage, D3DFORMAT format) {
  IDirect3D8* d3d = nullptr;
  if (win32::FAILED(device->GetDirect3D(&d3d)) || !d3d) return true;
  D3DDEVICE_CREATION_PARAMETERS params{};
  D3DDISPLAYMODE mode{};
  bool accepted = true;
  if (win32::SUCCEEDED(device->GetCreationParameters(&params)) && win32::SUCCEEDED(device->GetDisplayMode(&mode))) {
    accepted = win32::SUCCEEDED(d3d->CheckDeviceFormat(params.AdapterOrdinal, params.DeviceType, mode.Format, usage,
                                                   D3DRTYPE_TEXTURE, format));
  }
  d3d->Release();
  return accepted;
}

struct Fit {
  UINT width, height, levels;
  D3DFORMAT format;
};

// The size, level and format rules shared by every creation path. `forcePow2` rounds sizes up
// to powers of two whatever the caps say (sizes taken from a file). `packable` keeps to the
// formats this library can write.
HRESULT FitTexture(IDirect3DDevice8* device, Fit& fit, DWORD usage, bool forcePow2, bool packable) {
  D3DCAPS8 caps{};
  if (win32::FAILED(device->GetDeviceCaps(&caps))) return D3DERR_INVALIDCALL;
  if (IsDefault(fit.width)) fit.width = 256;
  if (IsDefault(fit.height)) fit.height = 256;
  if (forcePow2 || (caps.TextureCaps & D3DPTEXTURECAPS_POW2)) {
    fit.width = NextPow2(fit.width);
    fit.height = NextPow2(fit.height);
  }
  if (caps.TextureCaps & D3DPTEXTURECAPS_SQUAREONLY) fit.width = fit.height = std::max(fit.width, fit.height);
  if (caps.MaxTextureWidth && fit.width > caps.MaxTextureWidth) fit.width = caps.MaxTextureWidth;
  if (caps.MaxTextureHeight && fit.height > caps.MaxTextureHeight) fit.height = caps.MaxTextureHeight;
  if (caps.TextureCaps & D3DPTEXTURECAPS_SQUAREONLY) fit.width = fit.height = std::min(fit.width, fit.height);

  const UINT full = FullChain(fit.width, fit.height);
  fit.levels = IsDefault(fit.levels) ? full : std::min(fit.levels, full);
  if (!(caps.TextureCaps & D3DPTEXTURECAPS_MIPMAP)) fit.levels = 1;

  if (fit.format == D3DFMT_UNKNOWN) fit.format = D3DFMT_A8R8G8B8;
  const std::vector<D3DFORMAT> candidates = FormatCandidates(fit.format);
  D3DFORMAT chosen = D3DFMT_UNKNOWN;
  for (D3DFORMAT c : candidates) {
    if (packable && !CanPackFormat(c)) continue;
    if (DeviceAcceptsFormat(device, usage, c)) {
      chosen = c;
      break;
    }
  }
  if (chosen == D3DFMT_UNKNOWN) {
    // Nothing accepted: keep the first writable candidate and let creation report the failure.
    for (D3DFORMAT c : candidates)
      if (!packable || CanPackFormat(c)) {
        chosen = c;
        break;
      }
  }
  if (chosen == D3DFMT_UNKNOWN) return D3DERR_NOTAVAILABLE;
  fit.format = chosen;
  return D3D_OK;
}

// The texture format a file asks for when the caller leaves it open.
D3DFORMAT FormatFromFile(const DecodedImage& image) {
  switch (image.fileD3DFormat) {
    case D3DFMT_P8:
    case D3DFMT_A8P8: return image.hasAlpha ? D3DFMT_A8R8G8B8 : D3DFMT_X8R8G8B8;
    case D3DFMT_R8G8B8: return D3DFMT_X8R8G8B8;
    case D3DFMT_UNKNOWN: return image.hasAlpha ? D3DFMT_A8R8G8B8 : D3DFMT_X8R8G8B8;
    default: return image.fileD3DFormat;
  }
}

class TextureRef {
 public:
  TextureRef() = default;
  TextureRef(const TextureRef&) = delete;
  TextureRef& operator=(const TextureRef&) = delete;
  ~TextureRef() { Reset(); }
  IDirect3DTexture8** Out() { Reset(); return &tex_; }
  IDirect3DTexture8* Get() const { return tex_; }
  IDirect3DTexture8* Detach() { IDirect3DTexture8* t = tex_; tex_ = nullptr; return t; }
  void Reset() {
    if (tex_) tex_->Release();
    tex_ = nullptr;
  }

 private:
  IDirect3DTexture8* tex_ = nullptr;
};

HRESULT WriteLevel(IDirect3DTexture8* tex, UINT level, const ImageLevel& image, D3DFORMAT format,
                   const std::vector<std::uint8_t>* rawBlocks) {
  D3DLOCKED_RECT locked{};
  HRESULT hr = tex->LockRect(level, &locked, nullptr, 0);
  if (win32::FAILED(hr)) return hr;
  if (!locked.pBits) {
    tex->UnlockRect(level);
    return D3DERR_INVALIDCALL;
  }
  bool ok = true;
  if (rawBlocks) {
    const std::size_t rowBytes = static_cast<std::size_t>((image.width + 3) / 4) * (format == D3DFMT_DXT1 ? 8 : 16);
    const UINT blockRows = (image.height + 3) / 4;
    for (UINT r = 0; r < blockRows; ++r)
      std::copy_n(rawBlocks->data() + r * rowBytes, rowBytes,
                  static_cast<std::uint8_t*>(locked.pBits) + static_cast<std::ptrdiff_t>(r) * locked.Pitch);
  } else {
    ok = PackPixels(image, format, static_cast<std::uint8_t*>(locked.pBits), locked.Pitch);
  }
  tex->UnlockRect(level);
  return ok ? D3D_OK : D3DERR_NOTAVAILABLE;
}

// Fills every level of `tex` from the decoded file. `top` is the (keyed, resized) first level.
// Stored levels (DDS chains) are used where their size matches; DXT blocks are copied unchanged
// when `rawBlocks` allows it (not after colour keying). With `ready` (levels prepared ahead,
// one per texture level) the levels are only written.
HRESULT FillTexture(IDirect3DTexture8* tex, const DecodedImage& image, ImageLevel top, bool resized, bool rawBlocks,
                    DWORD mipFilter, const std::vector<ImageLevel>* ready) {
  const DWORD levels = tex->GetLevelCount();
  ImageLevel current = std::move(top);
  for (DWORD level = 0; level < levels; ++level) {
    D3DSURFACE_DESC desc{};
    HRESULT hr = tex->GetLevelDesc(level, &desc);
    if (win32::FAILED(hr)) return hr;
    if (ready) {
      hr = WriteLevel(tex, level, (*ready)[level], desc.Format, nullptr);
      if (win32::FAILED(hr)) return hr;
      continue;
    }
    const bool stored = !resized && level < image.levels.size() && image.levels[level].width == desc.Width &&
                        image.levels[level].height == desc.Height;
    if (level > 0) {
      current = stored ? image.levels[level] : NextMipLevel(current, mipFilter);
    }
    if (current.width != desc.Width || current.height != desc.Height)
      current = ResizeImage(current, desc.Width, desc.Height, mipFilter);
    const std::vector<std::uint8_t>* raw = nullptr;
    if (stored && rawBlocks && IsDxt(desc.Format) && desc.Format == image.fileD3DFormat &&
        level < image.compressedLevels.size())
      raw = &image.compressedLevels[level];
    hr = WriteLevel(tex, level, current, desc.Format, raw);
    if (win32::FAILED(hr)) return hr;
  }
  return D3D_OK;
}

// Whether levels prepared ahead are exactly the levels of `tex`.
bool LevelsMatch(IDirect3DTexture8* tex, const std::vector<ImageLevel>& ready) {
  if (tex->GetLevelCount() != ready.size()) return false;
  for (DWORD level = 0; level < ready.size(); ++level) {
    D3DSURFACE_DESC desc{};
    if (win32::FAILED(tex->GetLevelDesc(level, &desc)) || desc.Width != ready[level].width ||
        desc.Height != ready[level].height)
      return false;
  }
  return true;
}

// CreateFromImage's answer when the levels prepared ahead do not fit the device's texture.
constexpr HRESULT kPreparedDoNotFit = 1;

// With `ready`, the image is a description only and `ready` holds the levels made ahead for a
// default texture; kPreparedDoNotFit when the device's texture turns out different.
HRESULT CreateFromImage(IDirect3DDevice8* device, DecodedImage& image, UINT width, UINT height, UINT mipLevels,
                        DWORD usage, D3DFORMAT format, D3DPOOL pool, DWORD filter, DWORD mipFilter,
                        D3DCOLOR colorKey, IDirect3DTexture8** texture,
                        const std::vector<ImageLevel>* ready = nullptr) {
  if (filter == D3DX_DEFAULT) filter = kDefaultFilter;
  if (mipFilter == D3DX_DEFAULT) mipFilter = kDefaultMipFilter;
  if (!IsValidFilter(filter) || !IsValidFilter(mipFilter)) return D3DERR_INVALIDCALL;

  // Colour keying happens on the file's pixels, before any filtering, on every stored level;
  // a keyed image has alpha from then on.
  const bool keyed = colorKey != 0;
  if (keyed)
    for (ImageLevel& level : image.levels) image.hasAlpha |= ApplyColorKey(level, colorKey);

  const bool defaultSize = IsDefault(width) || IsDefault(height);
  D3DFORMAT wanted = format;
  if (wanted == D3DFMT_UNKNOWN) {
    wanted = FormatFromFile(image);
    if (image.hasAlpha && (wanted == D3DFMT_X8R8G8B8 || wanted == D3DFMT_R5G6B5 || wanted == D3DFMT_X1R5G5B5))
      wanted = D3DFMT_A8R8G8B8;
  }
  Fit fit{IsDefault(width) ? image.Width() : width, IsDefault(height) ? image.Height() : height, mipLevels, wanted};
  HRESULT hr = FitTexture(device, fit, usage, defaultSize, true);
  if (win32::FAILED(hr)) return hr;
  const bool resized = fit.width != image.Width() || fit.height != image.Height();
  if (ready && (ready->empty() || fit.width != ready->front().width || fit.height != ready->front().height ||
                fit.levels != ready->size()))
    return kPreparedDoNotFit;
  ImageLevel top = ready     ? ImageLevel()
                   : resized ? ResizeImage(image.levels[0], fit.width, fit.height, filter)
                             : image.levels[0];

  TextureRef target;
  hr = device->CreateTexture(fit.width, fit.height, fit.levels, usage, fit.format, pool, target.Out());
  if (win32::FAILED(hr)) return hr;
  if (!target.Get()) return D3DERR_INVALIDCALL;
  if (ready && !LevelsMatch(target.Get(), *ready)) return kPreparedDoNotFit;

  if (pool == D3DPOOL_DEFAULT) {
    // Default-pool textures are not lockable: fill a system-memory twin and upload it.
    TextureRef staging;
    if (win32::SUCCEEDED(device->CreateTexture(fit.width, fit.height, target.Get()->GetLevelCount(), 0, fit.format,
                                           D3DPOOL_SYSTEMMEM, staging.Out())) &&
        staging.Get()) {
      hr = FillTexture(staging.Get(), image, std::move(top), resized, !keyed, mipFilter, ready);
      if (win32::SUCCEEDED(hr)) hr = device->UpdateTexture(staging.Get(), target.Get());
      if (win32::FAILED(hr)) return hr;
      *texture = target.Detach();
      return D3D_OK;
    }
  }
  hr = FillTexture(target.Get(), image, std::move(top), resized, !keyed, mipFilter, ready);
  if (win32::FAILED(hr)) return hr;
  *texture = target.Detach();
  return D3D_OK;
}

void FillInfo(const DecodedImage& image, D3DXIMAGE_INFO* info) {
  if (!info) return;
  info->Width = image.Width();
  info->Height = image.Height();
  info->Depth = 1;
  info->MipLevels = static_cast<UINT>(std::max<std::size_t>(1, image.levels.size()));
  info->Format = image.fileD3DFormat;
  info->ResourceType = D3DRTYPE_TEXTURE;
  info->ImageFileFormat = image.fileFormat;
}

bool ReadWholeFile(const std::string& path, std::vector<std::uint8_t>& bytes) {
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return false;
  bool ok = std::fseek(f, 0, SEEK_END) == 0;
  const long length = ok ? std::ftell(f) : -1;
  ok = ok && length > 0 && static_cast<unsigned long>(length) <= kMaxFileBytes && std::fseek(f, 0, SEEK_SET) == 0;
  if (ok) {
    bytes.resize(static_cast<std::size_t>(length));
    ok = std::fread(bytes.data(), 1, bytes.size(), f) == bytes.size();
  }
  std::fclose(f);
  return ok;
}

bool ReadImageFile(const char* path, std::vector<std::uint8_t>& bytes) {
  if (ReadWholeFile(path, bytes)) return true;
  std::string unixPath(path);
  if (unixPath.find('\\') == std::string::npos) return false;
  std::replace(unixPath.begin(), unixPath.end(), '\\', '/');
  return ReadWholeFile(unixPath, bytes);
}

}  // namespace

HRESULT D3DXCheckTextureRequirements(IDirect3DDevice8* device, UINT* width, UINT* height, UINT* mipLevels,
                                     DWORD usage, D3DFORMAT* format, D3DPOOL /*pool*/) {
  if (!device) return D3DERR_INVALIDCALL;
  Fit fit{width ? *width : 0, height ? *height : 0, mipLevels ? *mipLevels : 0,
          format ? *format : D3DFMT_UNKNOWN};
  const HRESULT hr = FitTexture(device, fit, usage, false, false);
  if (win32::FAILED(hr)) return hr;
  if (width) *width = fit.width;
  if (height) *height = fit.height;
  if (mipLevels) *mipLevels = fit.levels;
  if (format) *format = fit.format;
  return D3D_OK;
}

HRESULT D3DXCreateTexture(IDirect3DDevice8* device, UINT width, UINT height, UINT mipLevels, DWORD usage,
                          D3DFORMAT format, D3DPOOL pool, IDirect3DTexture8** texture) {
  if (!device || !texture) return D3DERR_INVALIDCALL;
  Fit fit{width, height, mipLevels, format};
  const HRESULT hr = FitTexture(device, fit, usage, false, false);
  if (win32::FAILED(hr)) return hr;
  return device->CreateTexture(fit.width, fit.height, fit.levels, usage, fit.format, pool, texture);
}

HRESULT D3DXCreateTextureFromFileInMemory(IDirect3DDevice8* device, const void* data, UINT size,
                                          IDirect3DTexture8** texture) {
  return D3DXCreateTextureFromFileInMemoryEx(device, data, size, D3DX_DEFAULT, D3DX_DEFAULT, D3DX_DEFAULT, 0,
                                             D3DFMT_UNKNOWN, D3DPOOL_MANAGED, D3DX_DEFAULT, D3DX_DEFAULT, 0,
                                             nullptr, nullptr, texture);
}

HRESULT D3DXCreateTextureFromFileInMemoryEx(IDirect3DDevice8* device, const void* data, UINT size, UINT width,
                                            UINT height, UINT mipLevels, DWORD usage, D3DFORMAT format,
                                            D3DPOOL pool, DWORD filter, DWORD mipFilter, D3DCOLOR colorKey,
                                            D3DXIMAGE_INFO* srcInfo, PALETTEENTRY* /*palette*/,
                                            IDirect3DTexture8** texture) {
  if (!device || !data || size == 0 || !texture) return D3DERR_INVALIDCALL;
  try {
    // A file prepared ahead for a default texture needs only writing.
    const bool defaults = IsDefault(width) && IsDefault(height) && IsDefault(mipLevels) &&
                          (filter == D3DX_DEFAULT || filter == kDefaultFilter) &&
                          (mipFilter == D3DX_DEFAULT || mipFilter == kDefaultMipFilter) && colorKey == 0;
    image_detail::PreparedImage prepared;
    if (defaults && image_detail::TakePreparedImage(data, size, prepared)) {
      FillInfo(prepared.file, srcInfo);
      const HRESULT hr = CreateFromImage(device, prepared.file, width, height, mipLevels, usage, format, pool, filter,
                                         mipFilter, colorKey, texture, &prepared.levels);
      if (hr != kPreparedDoNotFit) return hr;
    }
    DecodedImage image;
    const HRESULT hr = DecodeImage(data, size, image);
    if (win32::FAILED(hr)) return hr;
    FillInfo(image, srcInfo);
    return CreateFromImage(device, image, width, height, mipLevels, usage, format, pool, filter, mipFilter,
                           colorKey, texture);
  } catch (const std::bad_alloc&) {
    return win32::E_OUTOFMEMORY;
  }
}

HRESULT D3DXCreateTextureFromFileA(IDirect3DDevice8* device, const char* path, IDirect3DTexture8** texture) {
  return D3DXCreateTextureFromFileExA(device, path, D3DX_DEFAULT, D3DX_DEFAULT, D3DX_DEFAULT, 0, D3DFMT_UNKNOWN,
                                      D3DPOOL_MANAGED, D3DX_DEFAULT, D3DX_DEFAULT, 0, nullptr, nullptr, texture);
}

HRESULT D3DXCreateTextureFromFileExA(IDirect3DDevice8* device, const char* path, UINT width, UINT height,
                                     UINT mipLevels, DWORD usage, D3DFORMAT format, D3DPOOL pool, DWORD filter,
                                     DWORD mipFilter, D3DCOLOR colorKey, D3DXIMAGE_INFO* srcInfo,
                                     PALETTEENTRY* palette, IDirect3DTexture8** texture) {
  if (!device || !path || !*path || !texture) return D3DERR_INVALIDCALL;
  try {
    std::vector<std::uint8_t> bytes;
    if (!ReadImageFile(path, bytes)) return D3DXERR_INVALIDDATA;
    return D3DXCreateTextureFromFileInMemoryEx(device, bytes.data(), static_cast<UINT>(bytes.size()), width, height,
                                               mipLevels, usage, format, pool, filter, mipFilter, colorKey, srcInfo,
                                               palette, texture);
  } catch (const std::bad_alloc&) {
    return win32::E_OUTOFMEMORY;
  }
}

HRESULT D3DXGetImageInfoFromFileInMemory(const void* data, UINT size, D3DXIMAGE_INFO* info) {
  if (!data || size == 0 || !info) return D3DERR_INVALIDCALL;
  try {
    DecodedImage image;
    const HRESULT hr = DecodeImage(data, size, image);
    if (win32::FAILED(hr)) return hr;
    FillInfo(image, info);
    return D3D_OK;
  } catch (const std::bad_alloc&) {
    return win32::E_OUTOFMEMORY;
  }
}

HRESULT D3DXFilterTexture(IDirect3DBaseTexture8* base, const PALETTEENTRY* /*palette*/, UINT sourceLevel,
                          DWORD filter) {
  if (!base || base->GetType() != D3DRTYPE_TEXTURE) return D3DERR_INVALIDCALL;
  auto* tex = static_cast<IDirect3DTexture8*>(base);
  if (filter == D3DX_DEFAULT) filter = kDefaultMipFilter;
  if (sourceLevel == D3DX_DEFAULT) sourceLevel = 0;
  if (!IsValidFilter(filter) || sourceLevel >= tex->GetLevelCount()) return D3DERR_INVALIDCALL;
  try {
    D3DSURFACE_DESC desc{};
    HRESULT hr = tex->GetLevelDesc(sourceLevel, &desc);
    if (win32::FAILED(hr)) return hr;
    ImageLevel current;
    current.width = desc.Width;
    current.height = desc.Height;
    D3DLOCKED_RECT locked{};
    hr = tex->LockRect(sourceLevel, &locked, nullptr, kLockReadOnly);
    if (win32::FAILED(hr)) return hr;
    const bool ok = locked.pBits &&
                    UnpackPixels(static_cast<const std::uint8_t*>(locked.pBits), locked.Pitch, desc.Format, current);
    tex->UnlockRect(sourceLevel);
    if (!ok) return D3DERR_NOTAVAILABLE;
    for (UINT level = sourceLevel + 1; level < tex->GetLevelCount(); ++level) {
      hr = tex->GetLevelDesc(level, &desc);
      if (win32::FAILED(hr)) return hr;
      current = NextMipLevel(current, filter);
      if (current.width != desc.Width || current.height != desc.Height)
        current = ResizeImage(current, desc.Width, desc.Height, filter);
      hr = WriteLevel(tex, level, current, desc.Format, nullptr);
      if (win32::FAILED(hr)) return hr;
    }
    return D3D_OK;
  } catch (const std::bad_alloc&) {
    return win32::E_OUTOFMEMORY;
  }
}

}  // namespace d3dx
