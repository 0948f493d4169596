#include "host/texture_service.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "host/log.h"
#include "platform/d3dx/d3dx_texture.h"
#include "platform/win32/msgbox.h"
#include "platform/win32/window.h"

using namespace d3d8;

namespace {

void CopyName(char* dst, const char* src) {
  std::snprintf(dst, 128, "%s", src ? src : "");
}

HRESULT CreateWithD3DX(IDirect3DDevice8* device, const void* data, UINT size, UINT width, UINT height,
                       D3DFORMAT format, IDirect3DTexture8** out) {
  return d3dx::D3DXCreateTextureFromFileInMemoryEx(device, data, size, width, height, 0, 0, format, D3DPOOL_MANAGED,
                                                   d3dx::D3DX_DEFAULT, d3dx::D3DX_DEFAULT, 0, nullptr, nullptr, out);
}

}  // namespace

void TextureService::Bind(IDirect3D8* d3d, IDirect3DDevice8* device, D3DFORMAT backBufferFormat, win32::HWND window) {
  if (!device) return;
  device_ = device;
  window_ = window;
  D3DCAPS8 caps{};
  maxWidth_ = SUCCEEDED(device->GetDeviceCaps(&caps)) ? caps.MaxTextureWidth : 0;
  fallback_ = D3DFMT_R5G6B5;
  if (d3d && SUCCEEDED(d3d->CheckDeviceFormat(0, D3DDEVTYPE_HAL, backBufferFormat, 0, D3DRTYPE_TEXTURE,
                                              D3DFMT_A1R5G5B5)))
    fallback_ = D3DFMT_A1R5G5B5;
}

void TextureService::Reset() {
  ReleaseAll();
  entries_.clear();
  device_ = nullptr;
  window_ = nullptr;
  warningShown_ = false;
  maxWidth_ = 0;
}

TextureHandle TextureService::LoadFromMemory(const void* data, UINT size, const char* name, const char* folder) {
  TextureHandle handle;
  CopyName(handle.name, name);
  CopyName(handle.folder, folder);
  if (!device_) return handle;
  for (std::size_t i = 0; i < entries_.size(); ++i) {
    if (std::strcmp(entries_[i].name.data(), handle.name) == 0 &&
        std::strcmp(entries_[i].folder.data(), handle.folder) == 0) {
      handle.index = static_cast<std::int32_t>(i);
      return handle;
    }
  }
  // A full table hands out no texture; the program never comes near it.
  if (entries_.size() >= kMaxEntries) return handle;
  Entry entry;
  CopyName(entry.name.data(), handle.name);
  CopyName(entry.folder.data(), handle.folder);
  entries_.push_back(entry);
  const std::size_t index = entries_.size() - 1;

  const CreateFunction& create = create_ ? create_ : CreateFunction(CreateWithD3DX);
  IDirect3DTexture8* texture = nullptr;
  HRESULT hr = data && size ? create(device_, data, size, 0, 0, D3DFMT_UNKNOWN, &texture) : D3DERR_INVALIDCALL;
  if (FAILED(hr)) {
    texture = nullptr;
    const UINT side = maxWidth_ && maxWidth_ < 256 ? maxWidth_ : 256;
    hr = data && size ? create(device_, data, size, side, side, fallback_, &texture) : D3DERR_INVALIDCALL;
  }
  if (FAILED(hr)) {
    entries_[index].texture = nullptr;
    entries_[index].loaded = false;
    if (!warningShown_) {
      warningShown_ = true;
      const char* text = hr == D3DERR_OUTOFVIDEOMEMORY
                             ? "Not enought video memory. There why some objects will be white color."
                             : "Some textures was not loaded. There why some objects will be white color.";
      win32::MessageBoxA(window_, text, "Warning!", win32::MB_ICONWARNING);
      win32::SetCursor(nullptr);
    }
  } else {
    entries_[index].texture = texture;
    entries_[index].loaded = true;
    if (log_) log_->Write(std::string("Texture ") + handle.name + " was Loaded.");
  }
  handle.index = static_cast<std::int32_t>(index);
  return handle;
}

void TextureService::SetTexture(DWORD stage, const TextureHandle& handle) {
  if (!device_ || stage > 7) return;
  if (handle.index == -1) {
    device_->SetTexture(stage, nullptr);
    return;
  }
  if (handle.index < 0 || static_cast<std::size_t>(handle.index) >= entries_.size()) return;
  device_->SetTexture(stage, entries_[static_cast<std::size_t>(handle.index)].texture);
}

void TextureService::ReleaseAll() {
  for (Entry& e : entries_) {
    if (e.texture) {
      e.texture->Release();
      e.texture = nullptr;
      e.loaded = false;
    }
  }
}

TextureService& Textures() {
  static TextureService service;
  return service;
}
