// Drawing a mesh container: per-subset materials and textures, and skinned meshes through
// non-indexed vertex blending with one world matrix per influence slot.
#include <cstring>

#include "model/scene_mesh.h"

namespace scene {

using namespace d3d8;
using namespace d3dx;

namespace {

void SetMaterialAndTexture(IDirect3DDevice8* device, MeshContainer* c, std::int32_t index) {
  if (index < 0 || static_cast<std::size_t>(index) >= c->materials.size()) return;
  device->SetMaterial(&c->materials[static_cast<std::size_t>(index)]);
  device->SetTexture(0, c->textures[static_cast<std::size_t>(index)]);
}

// Draws bone combinations [first, last) of `mesh`; slots is the number of influence slots
// considered.
HRESULT DrawCombinations(IDirect3DDevice8* device, MeshContainer* c, ID3DXMesh* mesh, DWORD first, DWORD last,
                         DWORD slots) {
  const D3DXBONECOMBINATION* bc = c->BoneCombinations();
  if (!bc || !mesh) return D3D_OK;
  const D3DXBONECOMBINATION* prev = nullptr;
  for (DWORD i = first; i < last; ++i) {
    for (DWORD k = 0; k < slots; ++k) {
      DWORD bone = bc[i].BoneId[k];
      if (bone == UNUSED32 || bone >= c->BoneCount()) continue;
      if (prev && prev->BoneId[k] == bone) continue;
      D3DXMATRIX m;
      const D3DXMATRIX* world = c->boneMatrixPointers[bone];
      if (world)
        D3DXMatrixMultiply(&m, c->BoneOffset(bone), world);
      else
        m = *c->BoneOffset(bone);
      device->SetTransform(D3DTS_WORLDMATRIX(k), &m);
    }
    if (!prev || prev->AttribId != bc[i].AttribId)
      SetMaterialAndTexture(device, c, static_cast<std::int32_t>(bc[i].AttribId));
    HRESULT hr = mesh->DrawSubset(i);
    if (hr < 0) return hr;
    prev = &bc[i];
  }
  return D3D_OK;
}

}  // namespace

HRESULT DrawContainer(IDirect3DDevice8* device, MeshContainer* c) {
  if (!device || !c || !c->mesh) return D3D_OK;
  if (!c->skinInfo) {
    for (DWORD i = 0; i < c->subsetCount; ++i) {
      SetMaterialAndTexture(device, c, c->subsetMaterialIndex[i]);
      if (c->visibleFlags[i] != 0) {
        HRESULT hr = c->mesh->DrawSubset(i);
        if (hr < 0) return hr;
      }
    }
    return D3D_OK;
  }
  D3DCAPS8 caps{};
  device->GetDeviceCaps(&caps);
  HRESULT hr = D3D_OK;
  if (caps.MaxVertexBlendMatrices < c->maxFaceInfluences && (c->hardwarePart || c->softwarePart)) {
    device->SetRenderState(D3DRS_VERTEXBLEND, 1);
    hr = DrawCombinations(device, c, c->hardwarePart, 0, c->splitSubsetIndex, 2);
    if (hr >= 0) {
      device->SetRenderState(D3DRS_SOFTWAREVERTEXPROCESSING, 1);
      device->SetRenderState(D3DRS_VERTEXBLEND, c->maxFaceInfluences - 1);
      hr = DrawCombinations(device, c, c->softwarePart, c->splitSubsetIndex, c->subsetCount, c->maxFaceInfluences);
    }
    device->SetRenderState(D3DRS_VERTEXBLEND, 0);
    device->SetRenderState(D3DRS_SOFTWAREVERTEXPROCESSING, 0);
    return hr;
  }
  device->SetRenderState(D3DRS_VERTEXBLEND, c->maxFaceInfluences - 1);
  hr = DrawCombinations(device, c, c->mesh, 0, c->subsetCount, c->maxFaceInfluences);
  device->SetRenderState(D3DRS_VERTEXBLEND, 0);
  return hr;
}

HRESULT Draw(const ModelFile& model, SceneMesh& mesh) {
  IDirect3DDevice8* device = model.device();
  if (!device || !mesh.frame) return D3D_OK;
  device->SetTransform(D3DTS_WORLD, &mesh.frame->world);
  return DrawContainer(device, mesh.container());
}

HRESULT DrawWithOptions(SceneMesh& mesh, IDirect3DDevice8* device, bool useMaterials, bool useTextures,
                        const D3DMATERIAL8* overrideMaterial) {
  MeshContainer* c = mesh.container();
  if (!c || !c->mesh || c->skinInfo || !device) return 1;
  for (DWORD i = 0; i < c->subsetCount; ++i) {
    std::int32_t index = c->subsetMaterialIndex[i];
    bool valid = index >= 0 && static_cast<std::size_t>(index) < c->materials.size();
    if (useMaterials) {
      if (valid) device->SetMaterial(&c->materials[static_cast<std::size_t>(index)]);
    } else if (overrideMaterial) {
      device->SetMaterial(overrideMaterial);
    }
    if (useTextures) device->SetTexture(0, valid ? c->textures[static_cast<std::size_t>(index)] : nullptr);
    if (c->visibleFlags[i] != 0) {
      HRESULT hr = c->mesh->DrawSubset(i);
      if (hr < 0) return hr;
    }
  }
  return D3D_OK;
}

}  // namespace scene
