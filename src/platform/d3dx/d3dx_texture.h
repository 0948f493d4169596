// D3DX texture creation: empty textures fitted to the device, and textures from JPEG, PNG,
// TGA, BMP and DDS files in memory or on disk, with resizing, format choice, colour keys and
// full mipmap chains. Textures are made through the Direct3D 8 device's own CreateTexture and
// filled through LockRect (default-pool textures through a system-memory copy and
// UpdateTexture).
//
// Formats: a file's own format is used when the device accepts it; 24-bit and palettised
// images become X8R8G8B8 (A8R8G8B8 with alpha); otherwise the nearest format the device
// accepts is chosen. DXT textures take a DDS file's blocks unchanged when format and size
// match, and are compressed here otherwise.
#pragma once

#include "platform/d3d8/d3d8.h"
#include "platform/d3dx/image_decode.h"
#include "platform/d3dx/image_filter.h"

namespace d3dx {

using d3d8::D3DCOLOR;
using d3d8::D3DFORMAT;
using d3d8::D3DPOOL;
using d3d8::IDirect3DDevice8;
using d3d8::IDirect3DTexture8;
using win32::HRESULT;
using UINT = std::uint32_t;
using DWORD = std::uint32_t;

// "Take it from the file / choose for me" for sizes, mip levels and filters.
constexpr UINT D3DX_DEFAULT = 0xFFFFFFFFu;

// Texture capability bits the size rules look at.
constexpr DWORD D3DPTEXTURECAPS_POW2 = 0x00000002;
constexpr DWORD D3DPTEXTURECAPS_SQUAREONLY = 0x00000020;
constexpr DWORD D3DPTEXTURECAPS_NONPOW2CONDITIONAL = 0x00000100;

struct D3DXIMAGE_INFO {
  UINT Width;
  UINT Height;
  UINT Depth;
  UINT MipLevels;
  D3DFORMAT Format;
  d3d8::D3DRESOURCETYPE ResourceType;
  D3DXIMAGE_FILEFORMAT ImageFileFormat;
};

struct PALETTEENTRY {
  std::uint8_t peRed, peGreen, peBlue, peFlags;
};

// Adjusts width, height, mip levels and format (any pointer may be null) to what the device
// can create: 0 or D3DX_DEFAULT sizes become 256, powers of two and square shapes where the
// caps demand them, sizes within the maximum, a full chain for 0 or D3DX_DEFAULT levels,
// and the closest format the device accepts for the usage and pool.
HRESULT D3DXCheckTextureRequirements(IDirect3DDevice8* device, UINT* width, UINT* height, UINT* mipLevels,
                                     DWORD usage, D3DFORMAT* format, D3DPOOL pool);

HRESULT D3DXCreateTexture(IDirect3DDevice8* device, UINT width, UINT height, UINT mipLevels, DWORD usage,
                          D3DFORMAT format, D3DPOOL pool, IDirect3DTexture8** texture);

// Default size (the file's, rounded up to powers of two), full chain, file format, managed pool.
HRESULT D3DXCreateTextureFromFileInMemory(IDirect3DDevice8* device, const void* data, UINT size,
                                          IDirect3DTexture8** texture);

// width/height: 0 or D3DX_DEFAULT = the file's, rounded up to powers of two.
// mipLevels: 0 or D3DX_DEFAULT = full chain. format: D3DFMT_UNKNOWN = the file's.
// filter: D3DX_DEFAULT = TRIANGLE | DITHER; mipFilter: D3DX_DEFAULT = BOX.
// colorKey: ARGB colour replaced by transparent black; 0 = none.
// srcInfo: receives the file's description when not null. palette: unused (never palettised).
HRESULT D3DXCreateTextureFromFileInMemoryEx(IDirect3DDevice8* device, const void* data, UINT size, UINT width,
                                            UINT height, UINT mipLevels, DWORD usage, D3DFORMAT format,
                                            D3DPOOL pool, DWORD filter, DWORD mipFilter, D3DCOLOR colorKey,
                                            D3DXIMAGE_INFO* srcInfo, PALETTEENTRY* palette,
                                            IDirect3DTexture8** texture);

// From a file on disk; a path with Windows separators is retried with '/' when not found.
HRESULT D3DXCreateTextureFromFileA(IDirect3DDevice8* device, const char* path, IDirect3DTexture8** texture);
HRESULT D3DXCreateTextureFromFileExA(IDirect3DDevice8* device, const char* path, UINT width, UINT height,
                                     UINT mipLevels, DWORD usage, D3DFORMAT format, D3DPOOL pool, DWORD filter,
                                     DWORD mipFilter, D3DCOLOR colorKey, D3DXIMAGE_INFO* srcInfo,
                                     PALETTEENTRY* palette, IDirect3DTexture8** texture);

HRESULT D3DXGetImageInfoFromFileInMemory(const void* data, UINT size, D3DXIMAGE_INFO* info);

// Rebuilds every level below `sourceLevel` from it with `filter` (D3DX_DEFAULT = BOX).
HRESULT D3DXFilterTexture(d3d8::IDirect3DBaseTexture8* texture, const PALETTEENTRY* palette, UINT sourceLevel,
                          DWORD filter);

}  // namespace d3dx
