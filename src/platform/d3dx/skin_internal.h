// The skin mesh object shared by the loader and the blended-mesh conversion.
#pragma once

#include <string>
#include <vector>

#include "platform/d3dx/skin.h"

namespace d3dx::detail {

struct Bone {
  std::string name;
  std::vector<DWORD> vertices;
  std::vector<float> weights;
  D3DXMATRIX offset;
};

class SkinMesh final : public ID3DXSkinMesh {
 public:
  SkinMesh(ID3DXMesh* mesh, std::vector<Bone> bones) : mesh_(mesh), bones_(std::move(bones)) {}
  DWORD AddRef() override { return ++refs_; }
  DWORD Release() override {
    DWORD r = --refs_;
    if (!r) delete this;
    return r;
  }
  HRESULT GetOriginalMesh(ID3DXMesh** mesh) override;
  DWORD GetNumBones() override { return static_cast<DWORD>(bones_.size()); }
  DWORD GetNumBoneInfluences(DWORD bone) override {
    return bone < bones_.size() ? static_cast<DWORD>(bones_[bone].vertices.size()) : 0;
  }
  HRESULT GetBoneInfluence(DWORD bone, DWORD* vertices, float* weights) override;
  HRESULT GetMaxVertexInfluences(DWORD* out) override;
  HRESULT GetMaxFaceInfluences(DWORD* out) override;
  HRESULT ConvertToBlendedMesh(DWORD options, const DWORD* adjacencyIn, DWORD* adjacencyOut,
                               DWORD* numBoneCombinations, ID3DXBuffer** boneCombinationTable, DWORD* faceRemap,
                               ID3DXBuffer** vertexRemap, ID3DXMesh** mesh) override;

  const std::vector<Bone>& bones() const { return bones_; }

 private:
  ~SkinMesh() override { mesh_->Release(); }
  // Per vertex: (bone, weight) pairs.
  std::vector<std::vector<std::pair<DWORD, float>>> Influences() const;
  ID3DXMesh* mesh_;
  std::vector<Bone> bones_;
  DWORD refs_ = 1;
};

}  // namespace d3dx::detail
