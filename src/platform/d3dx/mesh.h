// D3DX meshes: vertex data in a flexible vertex format, 16- or 32-bit indices, one attribute
// id per face, the attribute table, attribute sorting, adjacency, per-subset drawing and
// cloning. The mesh keeps its data in system memory and uploads it to device buffers when
// drawn; a mesh without a device works for everything but drawing.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/d3d8/d3d8.h"

namespace d3dx {

using d3d8::BYTE;
using d3d8::DWORD;
using d3d8::HRESULT;
using d3d8::UINT;

// Mesh options.
constexpr DWORD D3DXMESH_32BIT = 0x001;
constexpr DWORD D3DXMESH_DONOTCLIP = 0x002;
constexpr DWORD D3DXMESH_POINTS = 0x004;
constexpr DWORD D3DXMESH_RTPATCHES = 0x008;
constexpr DWORD D3DXMESH_NPATCHES = 0x4000;
constexpr DWORD D3DXMESH_VB_SYSTEMMEM = 0x010;
constexpr DWORD D3DXMESH_VB_MANAGED = 0x020;
constexpr DWORD D3DXMESH_VB_WRITEONLY = 0x040;
constexpr DWORD D3DXMESH_VB_DYNAMIC = 0x080;
constexpr DWORD D3DXMESH_VB_SOFTWAREPROCESSING = 0x8000;
constexpr DWORD D3DXMESH_IB_SYSTEMMEM = 0x100;
constexpr DWORD D3DXMESH_IB_MANAGED = 0x200;
constexpr DWORD D3DXMESH_IB_WRITEONLY = 0x400;
constexpr DWORD D3DXMESH_IB_DYNAMIC = 0x800;
constexpr DWORD D3DXMESH_IB_SOFTWAREPROCESSING = 0x10000;
constexpr DWORD D3DXMESH_VB_SHARE = 0x1000;
constexpr DWORD D3DXMESH_USEHWONLY = 0x2000;
constexpr DWORD D3DXMESH_SYSTEMMEM = 0x110;
constexpr DWORD D3DXMESH_MANAGED = 0x220;
constexpr DWORD D3DXMESH_WRITEONLY = 0x440;
constexpr DWORD D3DXMESH_DYNAMIC = 0x880;
constexpr DWORD D3DXMESH_SOFTWAREPROCESSING = 0x18000;

// OptimizeInplace flags.
constexpr DWORD D3DXMESHOPT_COMPACT = 0x01000000;
constexpr DWORD D3DXMESHOPT_ATTRSORT = 0x02000000;
constexpr DWORD D3DXMESHOPT_VERTEXCACHE = 0x04000000;
constexpr DWORD D3DXMESHOPT_STRIPREORDER = 0x08000000;
constexpr DWORD D3DXMESHOPT_IGNOREVERTS = 0x10000000;

constexpr DWORD UNUSED32 = 0xFFFFFFFFu;

struct D3DXATTRIBUTERANGE {
  DWORD AttribId;
  DWORD FaceStart;
  DWORD FaceCount;
  DWORD VertexStart;
  DWORD VertexCount;
};

struct D3DXMATERIAL {
  d3d8::D3DMATERIAL8 MatD3D;
  char* pTextureFilename;
};

// A block of bytes handed out by D3DX calls.
class ID3DXBuffer {
 public:
  virtual DWORD AddRef() = 0;
  virtual DWORD Release() = 0;
  virtual void* GetBufferPointer() = 0;
  virtual DWORD GetBufferSize() = 0;

 protected:
  virtual ~ID3DXBuffer() = default;
};
using LPD3DXBUFFER = ID3DXBuffer*;

HRESULT D3DXCreateBuffer(DWORD numBytes, ID3DXBuffer** buffer);

class ID3DXMesh {
 public:
  virtual DWORD AddRef() = 0;
  virtual DWORD Release() = 0;

  virtual HRESULT DrawSubset(DWORD attribId) = 0;
  virtual DWORD GetNumFaces() = 0;
  virtual DWORD GetNumVertices() = 0;
  virtual DWORD GetFVF() = 0;
  virtual DWORD GetOptions() = 0;
  virtual HRESULT GetDevice(d3d8::IDirect3DDevice8** device) = 0;
  // Device buffers, created (and filled) on first request; null without a device.
  virtual HRESULT GetVertexBuffer(d3d8::IDirect3DVertexBuffer8** vb) = 0;
  virtual HRESULT GetIndexBuffer(d3d8::IDirect3DIndexBuffer8** ib) = 0;
  virtual HRESULT LockVertexBuffer(DWORD flags, BYTE** data) = 0;
  virtual HRESULT UnlockVertexBuffer() = 0;
  virtual HRESULT LockIndexBuffer(DWORD flags, BYTE** data) = 0;
  virtual HRESULT UnlockIndexBuffer() = 0;
  virtual HRESULT LockAttributeBuffer(DWORD flags, DWORD** data) = 0;
  virtual HRESULT UnlockAttributeBuffer() = 0;
  // table null: *size receives the number of ranges.
  virtual HRESULT GetAttributeTable(D3DXATTRIBUTERANGE* table, DWORD* size) = 0;
  virtual HRESULT SetAttributeTable(const D3DXATTRIBUTERANGE* table, DWORD size) = 0;
  // Three neighbour faces per face (UNUSED32 for an open edge). Vertices closer than
  // epsilon in position count as the same point.
  virtual HRESULT GenerateAdjacency(float epsilon, DWORD* adjacency) = 0;
  virtual HRESULT ConvertPointRepsToAdjacency(const DWORD* pointReps, DWORD* adjacency) = 0;
  // Sorts faces by attribute (stable), builds the attribute table, and with VERTEXCACHE
  // also orders vertices by first use. Outputs are optional.
  virtual HRESULT OptimizeInplace(DWORD flags, const DWORD* adjacencyIn, DWORD* adjacencyOut, DWORD* faceRemap,
                                  ID3DXBuffer** vertexRemap) = 0;
  virtual HRESULT CloneMeshFVF(DWORD options, DWORD fvf, d3d8::IDirect3DDevice8* device, ID3DXMesh** clone) = 0;

 protected:
  virtual ~ID3DXMesh() = default;
};
using LPD3DXMESH = ID3DXMesh*;

HRESULT D3DXCreateMeshFVF(DWORD numFaces, DWORD numVertices, DWORD options, DWORD fvf,
                          d3d8::IDirect3DDevice8* device, ID3DXMesh** mesh);

// Size in bytes of one vertex of the format (same as D3DXGetFVFVertexSize).
UINT FVFVertexSize(DWORD fvf);
// Number of blend weights in a vertex format (0 for D3DFVF_XYZ).
UINT FVFBlendWeights(DWORD fvf);

}  // namespace d3dx
