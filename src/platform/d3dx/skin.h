// Skin information and the loader of a (possibly skinned) mesh from a .X Mesh data object,
// with the blended-mesh conversion for non-indexed vertex blending.
#pragma once

#include <string>
#include <vector>

#include "platform/d3dx/d3dx_math.h"
#include "platform/d3dx/image_decode.h"  // D3DXERR_INVALIDDATA
#include "platform/d3dx/mesh.h"
#include "platform/xfile/xfile.h"

namespace d3dx {

struct D3DXBONECOMBINATION {
  DWORD AttribId;
  DWORD FaceStart;
  DWORD FaceCount;
  DWORD VertexStart;
  DWORD VertexCount;
  DWORD* BoneId;  // one per influence slot, UNUSED32 for none
};

class ID3DXSkinMesh {
 public:
  virtual DWORD AddRef() = 0;
  virtual DWORD Release() = 0;
  // The mesh as loaded (no blend weights), with a reference added.
  virtual HRESULT GetOriginalMesh(ID3DXMesh** mesh) = 0;
  virtual DWORD GetNumBones() = 0;
  virtual DWORD GetNumBoneInfluences(DWORD bone) = 0;
  virtual HRESULT GetBoneInfluence(DWORD bone, DWORD* vertices, float* weights) = 0;
  virtual HRESULT GetMaxVertexInfluences(DWORD* maxVertexInfluences) = 0;
  virtual HRESULT GetMaxFaceInfluences(DWORD* maxFaceInfluences) = 0;
  // Non-indexed blending: faces grouped into bone combinations of at most the mesh's face
  // influences (at most 4) bones, a vertex format with blend weights, one subset per
  // combination (attribute id = combination index, faces and vertices contiguous per
  // combination). Adjacency, face remap and vertex remap outputs are optional.
  virtual HRESULT ConvertToBlendedMesh(DWORD options, const DWORD* adjacencyIn, DWORD* adjacencyOut,
                                       DWORD* numBoneCombinations, ID3DXBuffer** boneCombinationTable,
                                       DWORD* faceRemap, ID3DXBuffer** vertexRemap, ID3DXMesh** mesh) = 0;

 protected:
  virtual ~ID3DXSkinMesh() = default;
};
using LPD3DXSKINMESH = ID3DXSkinMesh*;

// Loads the Mesh data object: positions, faces (polygons fanned into triangles), normals,
// texture coordinates, vertex colours, the material list with materials and texture file
// names, and SkinWeights (an XSkinMeshHeader is skipped: the weights themselves say it all).
// Vertices that carry different normals per face are split. Outputs: adjacency (3 DWORDs per face), materials (D3DXMATERIAL array with
// the names stored in the same buffer), material count, bone names (char* array), bone
// offset matrices (D3DXMATRIX array), and the skin mesh. Out-of-range indices in the file
// fail the load (D3DXERR_INVALIDDATA); out-of-range skin weights are dropped.
HRESULT D3DXLoadSkinMeshFromXof(xfile::IDirectXFileData* meshData, DWORD options, d3d8::IDirect3DDevice8* device,
                                ID3DXBuffer** adjacency, ID3DXBuffer** materials, DWORD* numMaterials,
                                ID3DXBuffer** boneNames, ID3DXBuffer** boneTransforms, ID3DXSkinMesh** skinMesh);


// CPU reference of non-indexed blending for one vertex: position of a blended vertex given
// the combination's matrices (world k = offset x frame world). Used by tests and tools.
D3DXVECTOR3 BlendPosition(const float* vertex, DWORD fvf, const D3DXMATRIX* const* matrices, DWORD slots);

}  // namespace d3dx
