// The vertex-buffer pool of the screen overlays: write-only managed vertex buffers of
// pre-transformed vertices, addressed by small integer handles, with one helper that writes
// a textured quad in viewport fractions as a four-vertex triangle strip.
#pragma once

#include <vector>

#include "host/host_types.h"
#include "platform/d3d8/d3d8.h"

// Flexible vertex format 0x144: x, y, z, 1/w, diffuse ARGB, u, v (28 bytes).
struct ScreenQuadVertex {
  float x, y, z, rhw;
  DWORD color;
  float u, v;
};
static_assert(sizeof(ScreenQuadVertex) == 28);

constexpr DWORD kScreenQuadFvf = 0x144;

// Vertex size of the formats the pool knows (0x144 28, 0x152 36, 0x252 44); 0 otherwise.
UINT PoolVertexSize(DWORD fvf);

class QuadPool {
 public:
  static constexpr std::size_t kCapacity = 64;

  // Stores the device and reads its viewport.
  void Bind(d3d8::IDirect3DDevice8* device, win32::HWND window);
  // Creates a buffer of count vertices of the format. A handle of -1, or of an existing
  // buffer, gets a new buffer appended and *handle set to its index; any other value (or a
  // full pool, an unknown format, a failed creation) fails and leaves *handle unchanged.
  HRESULT CreateBuffer(int* handle, DWORD fvf, UINT vertexCount);
  // Fills the four vertices: (x, y + h) (u0, v1), (x, y) (u0, v0), (x + w, y + h) (u1, v1),
  // (x + w, y) (u1, v0), positions as fractions of the viewport; z and 1/w stay as written.
  HRESULT WriteQuad(int handle, float x, float y, float width, float height, DWORD color, float u0, float v0, float u1,
                    float v1);
  // Sets the format and binds the buffer as stream 0.
  HRESULT Select(int handle);
  // Writes raw vertices (used for the buffers' initial contents).
  HRESULT WriteVertices(int handle, const void* vertices, UINT bytes);

  void ReleaseAll();
  const d3d8::D3DVIEWPORT8& viewport() const { return viewport_; }
  // Reads the viewport again (the loading screen does this before drawing).
  void RefreshViewport();
  std::size_t bufferCount() const { return buffers_.size(); }

 private:
  struct Buffer {
    DWORD fvf = 0;
    UINT vertexSize = 0;
    UINT vertexCount = 0;
    d3d8::IDirect3DVertexBuffer8* buffer = nullptr;
  };
  d3d8::IDirect3DDevice8* device_ = nullptr;
  win32::HWND window_ = nullptr;
  d3d8::D3DVIEWPORT8 viewport_{};
  std::vector<Buffer> buffers_;
};

// The one process-wide pool.
QuadPool& Quads();
