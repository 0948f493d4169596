// The room's per-mesh records: spatial cells of a mesh with their boxes, the view frustum
// with its box test, the per-frame culling, and the draw of a mesh container.
#pragma once

#include <cstdint>
#include <vector>

#include "model/model_file.h"

namespace scene {

using d3dx::D3DXPLANE;

struct BoundingBox {
  BoundingBox() { Reset(); }
  void Reset();
  void Grow(const D3DXVECTOR3& p);
  void Grow(const BoundingBox& b);
  D3DXVECTOR3 Size() const { return max - min; }
  float LargestExtent() const;
  float Volume() const;
  D3DXVECTOR3 Centre() const { return min + Size() / 2.0f; }
  bool Contains(const D3DXVECTOR3& p) const;
  void SetSizeAroundCentre(const D3DXVECTOR3& size);
  void ScaleAboutCentre(float f) { SetSizeAroundCentre(Size() * f); }
  void Translate(const D3DXVECTOR3& v) {
    min += v;
    max += v;
  }
  // Corner i: x from bit 0 (min/max), y from bit 1, z from bit 2.
  D3DXVECTOR3 Corner(int i) const;

  D3DXVECTOR3 min, max;
};

struct MeshCell {
  std::int32_t id = 0;
  std::int32_t material = 0;
  std::int32_t faceCount = 0;
  BoundingBox box;
  D3DXVECTOR3 corners[8];
};

struct SceneMesh {
  SceneMesh();
  explicit SceneMesh(Frame* f) : SceneMesh() { frame = f; }
  Frame* frame = nullptr;
  std::vector<MeshCell> cells;
  BoundingBox box;
  D3DXMATRIX lastWorld;

  // The frame's first mesh container (null when none).
  MeshContainer* container() const { return frame ? frame->meshes : nullptr; }
};

struct ViewFrustum {
  d3d8::IDirect3DDevice8* device = nullptr;
  D3DXMATRIX camera;
  D3DXMATRIX projection;
  D3DXPLANE planes[6];
};

// Appends a SceneMesh for every frame (depth first, loader child order) whose first mesh
// container holds a mesh and, with a filter, whose name contains it. Returns the count.
int CollectSceneMeshes(const ModelFile& model, const char* filter, std::vector<SceneMesh>& out);
// Divides a mesh that is present and not skinned into cells of size cellSize; returns the
// number of cells (0 when skipped).
int DivideIntoCells(SceneMesh& mesh, float cellSize);
// Recomputes the cells' corners when the frame's world matrix changed.
void UpdateCorners(SceneMesh& mesh);
void ComputeCorners(SceneMesh& mesh, const D3DXMATRIX& world);
// Reads view and projection from the device and recomputes the planes.
void UpdateFrustum(ViewFrustum& frustum);
// Planes from a view and a projection matrix.
void ComputeFrustumPlanes(ViewFrustum& frustum, const D3DXMATRIX& view, const D3DXMATRIX& projection);
// 0 when all corners lie on the negative side of one plane, otherwise 1.
int BoxVisible(const ViewFrustum& frustum, const D3DXVECTOR3 corners[8]);
void Cull(SceneMesh& mesh, const ViewFrustum& frustum);
void SetAllVisibleFlags(SceneMesh& mesh, std::int32_t value);

// Sets the world transform to the frame's world matrix and draws its first container.
HRESULT Draw(const ModelFile& model, SceneMesh& mesh);
// Per subset: material (or the override), texture, and the draw when visible. Returns 1
// without drawing for a missing or skinned container.
HRESULT DrawWithOptions(SceneMesh& mesh, d3d8::IDirect3DDevice8* device, bool useMaterials, bool useTextures,
                        const d3d8::D3DMATERIAL8* overrideMaterial);
// The draw of one container, plain or skinned (vertex blending with the bone matrices).
HRESULT DrawContainer(d3d8::IDirect3DDevice8* device, MeshContainer* container);

}  // namespace scene
