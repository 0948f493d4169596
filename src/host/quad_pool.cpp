#include "host/quad_pool.h"

#include <cstring>

using namespace d3d8;

UINT PoolVertexSize(DWORD fvf) {
  switch (fvf) {
    case 0x144: return 28;
    case 0x152: return 36;
    case 0x252: return 44;
    default: return 0;
  }
}

void QuadPool::Bind(IDirect3DDevice8* device, win32::HWND window) {
  device_ = device;
  window_ = window;
  RefreshViewport();
}

void QuadPool::RefreshViewport() {
  viewport_ = {};
  if (device_) device_->GetViewport(&viewport_);
}

HRESULT QuadPool::CreateBuffer(int* handle, DWORD fvf, UINT vertexCount) {
  if (!device_ || !handle || vertexCount == 0) return E_FAIL;
  if (*handle != -1 && (*handle < 0 || static_cast<std::size_t>(*handle) >= buffers_.size())) return E_FAIL;
  const UINT size = PoolVertexSize(fvf);
  if (size == 0 || buffers_.size() >= kCapacity) return E_FAIL;
  Buffer b;
  b.fvf = fvf;
  b.vertexSize = size;
  b.vertexCount = vertexCount;
  HRESULT hr = device_->CreateVertexBuffer(size * vertexCount, D3DUSAGE_WRITEONLY, fvf, D3DPOOL_MANAGED, &b.buffer);
  if (FAILED(hr)) return hr;
  buffers_.push_back(b);
  *handle = static_cast<int>(buffers_.size() - 1);
  return S_OK;
}

HRESULT QuadPool::WriteVertices(int handle, const void* vertices, UINT bytes) {
  if (handle < 0 || static_cast<std::size_t>(handle) >= buffers_.size()) return E_FAIL;
  Buffer& b = buffers_[static_cast<std::size_t>(handle)];
  if (bytes > b.vertexSize * b.vertexCount) return E_FAIL;
  BYTE* data = nullptr;
  HRESULT hr = b.buffer->Lock(0, bytes, &data, 0);
  if (FAILED(hr)) return hr;
  std::memcpy(data, vertices, bytes);
  return b.buffer->Unlock();
}

HRESULT QuadPool::WriteQuad(int handle, float x, float y, float width, float height, DWORD color, float u0,
                            float v0, float u1, float v1) {
  if (handle < 0 || static_cast<std::size_t>(handle) >= buffers_.size()) return E_FAIL;
  Buffer& b = buffers_[static_cast<std::size_t>(handle)];
  if (b.fvf != kScreenQuadFvf || b.vertexCount < 4) return E_FAIL;
  const float vw = static_cast<float>(viewport_.Width), vh = static_cast<float>(viewport_.Height);
  const float vx = static_cast<float>(viewport_.X), vy = static_cast<float>(viewport_.Y);
  const float left = vw * x + vx, right = vw * (x + width) + vx;
  const float top = vh * y + vy, bottom = vh * (y + height) + vy;
  BYTE* data = nullptr;
  HRESULT hr = b.buffer->Lock(0, 4 * sizeof(ScreenQuadVertex), &data, 0);
  if (FAILED(hr)) return hr;
  auto* v = reinterpret_cast<ScreenQuadVertex*>(data);
  const float xs[4] = {left, left, right, right};
  const float ys[4] = {bottom, top, bottom, top};
  const float us[4] = {u0, u0, u1, u1};
  const float vs[4] = {v1, v0, v1, v0};
  for (int i = 0; i < 4; ++i) {
    v[i].x = xs[i];
    v[i].y = ys[i];
    v[i].color = color;
    v[i].u = us[i];
    v[i].v = vs[i];
  }
  return b.buffer->Unlock();
}

HRESULT QuadPool::Select(int handle) {
  if (!device_ || handle < 0 || static_cast<std::size_t>(handle) >= buffers_.size()) return E_FAIL;
  const Buffer& b = buffers_[static_cast<std::size_t>(handle)];
  device_->SetVertexShader(b.fvf);
  return device_->SetStreamSource(0, b.buffer, b.vertexSize);
}

void QuadPool::ReleaseAll() {
  for (Buffer& b : buffers_)
    if (b.buffer) b.buffer->Release();
  buffers_.clear();
}

QuadPool& Quads() {
  static QuadPool pool;
  return pool;
}
