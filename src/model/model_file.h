// One loaded .X model: the named frame hierarchy with its meshes, materials, textures,
// skinning data and animation tracks, kept up to date over time.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/d3d8/d3d8.h"
#include "platform/d3dx/d3dx_math.h"
#include "platform/d3dx/mesh.h"
#include "platform/d3dx/skin.h"
#include "platform/xfile/xfile.h"

namespace scene {

using d3d8::DWORD;
using d3d8::HRESULT;
using d3dx::D3DXMATRIX;
using d3dx::D3DXQUATERNION;
using d3dx::D3DXVECTOR3;

// Creates a texture from a file name (zero-terminated); negative result on failure.
using TextureCallback = HRESULT (*)(d3d8::IDirect3DDevice8* device, const char* fileName,
                                    d3d8::IDirect3DTexture8** texture);

struct PositionKey {
  DWORD time;
  D3DXVECTOR3 value;
};
struct ScaleKey {
  DWORD time;
  D3DXVECTOR3 value;
};
struct RotationKey {
  DWORD time;
  D3DXQUATERNION value;  // x, y, z, w
};
struct MatrixKey {
  DWORD time;
  D3DXMATRIX value;
};

struct MeshContainer {
  MeshContainer() = default;
  MeshContainer(const MeshContainer&) = delete;
  MeshContainer& operator=(const MeshContainer&) = delete;
  ~MeshContainer();

  d3dx::ID3DXMesh* mesh = nullptr;
  d3dx::ID3DXMesh* hardwarePart = nullptr;
  d3dx::ID3DXMesh* softwarePart = nullptr;
  std::vector<d3d8::D3DMATERIAL8> materials;
  std::vector<d3d8::IDirect3DTexture8*> textures;
  DWORD materialCount = 0;
  DWORD subsetCount = 0;
  std::vector<std::int32_t> visibleFlags;
  std::vector<std::int32_t> subsetMaterialIndex;
  std::string name;
  bool hasName = false;
  d3dx::ID3DXSkinMesh* skinInfo = nullptr;
  std::vector<D3DXMATRIX*> boneMatrixPointers;
  d3dx::ID3DXBuffer* boneNames = nullptr;
  d3dx::ID3DXBuffer* boneOffsets = nullptr;
  std::vector<DWORD> adjacency;
  DWORD maxFaceInfluences = 0;
  d3dx::ID3DXBuffer* boneCombinationTable = nullptr;
  DWORD splitSubsetIndex = 0;
  MeshContainer* next = nullptr;

  DWORD BoneCount() const { return static_cast<DWORD>(boneMatrixPointers.size()); }
  const char* BoneName(DWORD i) const;
  const D3DXMATRIX* BoneOffset(DWORD i) const;
  const d3dx::D3DXBONECOMBINATION* BoneCombinations() const;
};

struct Frame {
  Frame();
  Frame(const Frame&) = delete;
  Frame& operator=(const Frame&) = delete;
  ~Frame();

  MeshContainer* meshes = nullptr;
  D3DXMATRIX local;
  D3DXMATRIX world;
  std::vector<PositionKey> positionKeys;
  std::vector<RotationKey> rotationKeys;
  std::vector<ScaleKey> scaleKeys;
  std::vector<MatrixKey> matrixKeys;
  Frame* nextAnimated = nullptr;
  Frame* animatedFrame = nullptr;
  Frame* sibling = nullptr;
  Frame* firstChild = nullptr;
  bool isAnimation = false;
  std::string name;
  bool hasName = false;

  // Inserts directly after the first child (children loaded c1..cn are visited c1, cn, ..., c2).
  void AddChild(Frame* child);
  // Samples this animation frame's tracks at time t (ticks) into the animated frame.
  void SampleAnimation(float t);
};

struct LoadedModel {
  LoadedModel();
  LoadedModel(const LoadedModel&) = delete;
  LoadedModel& operator=(const LoadedModel&) = delete;
  ~LoadedModel();

  Frame* root;
  Frame* animatedFrames = nullptr;
  D3DXVECTOR3 centre{0, 0, 0};
  float radius = 0;
  float time = 0;
  LoadedModel* next = nullptr;
};

enum class MatchMode { Exact, Substring };

// Depth-first search: the frame, its first child's subtree, then its siblings.
Frame* FindFrameIn(Frame* start, const char* name, MatchMode mode);

class ModelFile {
 public:
  explicit ModelFile(const char* fileName = nullptr);
  ModelFile(const ModelFile&) = delete;
  ModelFile& operator=(const ModelFile&) = delete;
  ~ModelFile();

  void SetTextureCallback(TextureCallback callback) { textureCallback_ = callback; }
  // Stores the device; with a file name, loads that file. 0 when there is no name.
  HRESULT AttachDevice(d3d8::IDirect3DDevice8* device);
  HRESULT LoadFromMemory(const void* data, DWORD size);
  Frame* FindFrame(const char* name, MatchMode mode) const;
  D3DXVECTOR3 ModelCentre() const;
  float ModelRadius() const;
  // Advances every model's clock by dt seconds (4800 ticks a second) and samples its tracks.
  void Advance(float dt);
  void UpdateWorldMatrices(const D3DXMATRIX& parent);
  void ReleaseDeviceObjects();

  d3d8::IDirect3DDevice8* device() const { return device_; }
  LoadedModel* currentModel() const { return current_; }
  LoadedModel* models() const { return models_; }
  int skinningMethod() const { return skinningMethod_; }
  const char* name() const { return name_; }

 private:
  HRESULT Load(const void* source, DWORD options, const void* data);
  HRESULT WalkFrame(LoadedModel* model, xfile::IDirectXFileData* object, Frame* parent);
  HRESULT LoadMesh(xfile::IDirectXFileData* object, Frame* parent);
  HRESULT LoadAnimation(LoadedModel* model, xfile::IDirectXFileData* object, Frame* parent);
  HRESULT MakeBlendedMesh(MeshContainer* container);
  void BindBones(LoadedModel* model);
  void DeleteModels();

  d3d8::IDirect3DDevice8* device_ = nullptr;
  char name_[260] = {};
  LoadedModel* models_ = nullptr;
  LoadedModel* current_ = nullptr;
  int skinningMethod_ = 0;
  TextureCallback textureCallback_ = nullptr;
};

// The bounding sphere of every mesh in the tree, vertices placed by the product of the
// local matrices down to their frame; vertices at exactly the origin are skipped.
void ComputeBoundingSphere(Frame* root, D3DXVECTOR3* centre, float* radius);

// Recomputes world = local x parent for the frame, its children and its siblings.
void UpdateFrameWorld(Frame* frame, const D3DXMATRIX& parent);

}  // namespace scene
