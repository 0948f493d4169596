// Loading a .X model: the walk over the file's data objects, meshes with materials and
// textures, skinned meshes made ready for blending, animations and bone binding.
#include "model/model_file.h"

#include "platform/d3dx/d3dx_texture.h"

#include <cstdio>
#include <cstring>
#include <new>

namespace scene {

using namespace d3d8;
using namespace d3dx;

namespace {

constexpr HRESULT kFail = static_cast<HRESULT>(0x80004005u);
constexpr HRESULT kOutOfMemory = static_cast<HRESULT>(0x8007000Eu);
constexpr HRESULT kInvalidArg = static_cast<HRESULT>(0x80070057u);

bool IsType(xfile::IDirectXFileData* d, const xfile::GUID& g) {
  const xfile::GUID* t = nullptr;
  return d->GetType(&t) >= 0 && t && *t == g;
}

template <typename T>
void SafeRelease(T*& p) {
  if (p) p->Release();
  p = nullptr;
}

}  // namespace

// --- records ---

MeshContainer::~MeshContainer() {
  SafeRelease(mesh);
  SafeRelease(hardwarePart);
  SafeRelease(softwarePart);
  for (auto*& t : textures) SafeRelease(t);
  SafeRelease(skinInfo);
  SafeRelease(boneNames);
  SafeRelease(boneOffsets);
  SafeRelease(boneCombinationTable);
}

const char* MeshContainer::BoneName(DWORD i) const {
  if (!boneNames || i >= BoneCount()) return nullptr;
  return static_cast<char**>(boneNames->GetBufferPointer())[i];
}

const D3DXMATRIX* MeshContainer::BoneOffset(DWORD i) const {
  if (!boneOffsets || i >= BoneCount()) return nullptr;
  return static_cast<const D3DXMATRIX*>(boneOffsets->GetBufferPointer()) + i;
}

const D3DXBONECOMBINATION* MeshContainer::BoneCombinations() const {
  return boneCombinationTable ? static_cast<const D3DXBONECOMBINATION*>(boneCombinationTable->GetBufferPointer())
                              : nullptr;
}

Frame::Frame() {
  D3DXMatrixIdentity(&local);
  D3DXMatrixIdentity(&world);
}

Frame::~Frame() {
  while (meshes) {
    MeshContainer* n = meshes->next;
    delete meshes;
    meshes = n;
  }
  delete firstChild;
  // Siblings iteratively: a long sibling chain must not recurse once per frame.
  Frame* s = sibling;
  while (s) {
    Frame* n = s->sibling;
    s->sibling = nullptr;
    delete s;
    s = n;
  }
}

void Frame::AddChild(Frame* child) {
  if (!firstChild) {
    firstChild = child;
  } else {
    child->sibling = firstChild->sibling;
    firstChild->sibling = child;
  }
}

LoadedModel::LoadedModel() : root(new Frame) {}
LoadedModel::~LoadedModel() { delete root; }

// --- ModelFile ---

ModelFile::ModelFile(const char* fileName) {
  if (fileName) std::snprintf(name_, sizeof name_, "%s", fileName);
}

ModelFile::~ModelFile() {
  DeleteModels();
}

void ModelFile::DeleteModels() {
  while (models_) {
    LoadedModel* n = models_->next;
    delete models_;
    models_ = n;
  }
  current_ = nullptr;
}

HRESULT ModelFile::AttachDevice(IDirect3DDevice8* device) {
  device_ = device;
  if (name_[0] == '\0') return 0;
  return Load(name_, xfile::DXFILELOAD_FROMFILE, nullptr);
}

HRESULT ModelFile::LoadFromMemory(const void* data, DWORD size) {
  xfile::DXFILELOADMEMORY mem{data, size};
  return Load(&mem, xfile::DXFILELOAD_FROMMEMORY, data);
}

void ModelFile::ReleaseDeviceObjects() {
  device_ = nullptr;
  DeleteModels();
}

HRESULT ModelFile::Load(const void* source, DWORD options, const void* data) {
  if (options == xfile::DXFILELOAD_FROMFILE && std::strlen(static_cast<const char*>(source)) <= 1) return kFail;
  if (options == xfile::DXFILELOAD_FROMMEMORY && !data) return kFail;
  LoadedModel* model = new (std::nothrow) LoadedModel;
  if (!model) return kOutOfMemory;

  xfile::IDirectXFile* file = nullptr;
  xfile::IDirectXFileEnumObject* en = nullptr;
  HRESULT hr = xfile::DirectXFileCreate(&file);
  if (hr >= 0) {
    DWORD size = 0;
    const BYTE* templates = xfile::StandardTemplates(&size);
    hr = file->RegisterTemplates(templates, size);
  }
  if (hr >= 0) hr = file->CreateEnumObject(source, options, &en);
  while (hr >= 0) {
    xfile::IDirectXFileData* object = nullptr;
    HRESULT next = en->GetNextDataObject(&object);
    if (next == xfile::DXFILEERR_NOMOREOBJECTS) break;
    // A damaged file fails the load rather than leaving a partial model.
    if (next < 0) {
      hr = next;
      break;
    }
    hr = WalkFrame(model, object, model->root);
    object->Release();
  }
  if (en) en->Release();
  if (file) file->Release();
  if (hr < 0) {
    delete model;
    return hr;
  }

  BindBones(model);
  // The new model replaces the current one.
  if (current_) {
    LoadedModel** link = &models_;
    while (*link && *link != current_) link = &(*link)->next;
    if (*link) *link = current_->next;
    delete current_;
  }
  model->next = models_;
  models_ = model;
  current_ = model;
  ComputeBoundingSphere(model->root, &model->centre, &model->radius);
  model->time = 0;
  D3DXMatrixIdentity(&model->root->local);
  D3DXMATRIX identity;
  D3DXMatrixIdentity(&identity);
  UpdateWorldMatrices(identity);
  return 0;
}

HRESULT ModelFile::WalkFrame(LoadedModel* model, xfile::IDirectXFileData* object, Frame* parent) {
  if (IsType(object, xfile::TID_D3DRMMesh)) return LoadMesh(object, parent);
  if (IsType(object, xfile::TID_D3DRMFrameTransformMatrix)) {
    DWORD size = 0;
    const void* p = nullptr;
    if (object->GetData(nullptr, &size, &p) >= 0 && size >= 64) std::memcpy(&parent->local, p, 64);
    return 0;
  }
  if (IsType(object, xfile::TID_D3DRMAnimationSet)) {
    Frame* set = new (std::nothrow) Frame;
    if (!set) return kOutOfMemory;
    set->isAnimation = true;
    set->name = object->Name();
    set->hasName = !set->name.empty();
    parent->AddChild(set);
    xfile::IDirectXFileObject* child = nullptr;
    HRESULT hr = 0;
    while (hr >= 0 && object->GetNextObject(&child) >= 0) {
      xfile::IDirectXFileData* d = child->AsData();
      if (d && IsType(d, xfile::TID_D3DRMAnimation)) hr = LoadAnimation(model, d, set);
      child->Release();
    }
    return hr;
  }
  if (IsType(object, xfile::TID_D3DRMAnimation)) return LoadAnimation(model, object, parent);
  if (IsType(object, xfile::TID_D3DRMFrame)) {
    Frame* frame = new (std::nothrow) Frame;
    if (!frame) return kOutOfMemory;
    frame->name = object->Name();
    frame->hasName = !frame->name.empty();
    parent->AddChild(frame);
    xfile::IDirectXFileObject* child = nullptr;
    HRESULT hr = 0;
    while (hr >= 0 && object->GetNextObject(&child) >= 0) {
      if (xfile::IDirectXFileData* d = child->AsData()) hr = WalkFrame(model, d, frame);
      child->Release();
    }
    return hr;
  }
  return 0;
}

HRESULT ModelFile::LoadMesh(xfile::IDirectXFileData* object, Frame* parent) {
  auto* c = new (std::nothrow) MeshContainer;
  if (!c) return kOutOfMemory;
  c->name = object->Name();
  c->hasName = !c->name.empty();

  ID3DXBuffer* materials = nullptr;
  DWORD materialCount = 0;
  ID3DXSkinMesh* skin = nullptr;
  // No adjacency from the loader: only a skinned mesh's conversion reads it, so it is made
  // below for those alone.
  HRESULT hr = D3DXLoadSkinMeshFromXof(object, 0, device_, nullptr, &materials, &materialCount, &c->boneNames,
                                       &c->boneOffsets, &skin);
  if (hr < 0) {
    delete c;
    return hr;
  }
  DWORD bones = skin->GetNumBones();
  if (bones > 0) {
    ID3DXMesh* original = nullptr;
    if (skin->GetOriginalMesh(&original) >= 0 && original) {
      c->adjacency.resize(static_cast<std::size_t>(original->GetNumFaces()) * 3);
      original->GenerateAdjacency(0.0f, c->adjacency.data());
      original->Release();
    }
  }
  if (bones == 0) {
    skin->GetOriginalMesh(&c->mesh);
    skin->Release();
    SafeRelease(c->boneNames);
    SafeRelease(c->boneOffsets);
  } else {
    c->skinInfo = skin;
    c->boneMatrixPointers.assign(bones, nullptr);
    if ((hr = MakeBlendedMesh(c)) < 0) {
      SafeRelease(materials);
      delete c;
      return hr;
    }
  }

  // Materials and their textures; a texture that fails stays null.
  if (materialCount == 0 || !materials) {
    D3DMATERIAL8 m{};
    m.Diffuse = {0.5f, 0.5f, 0.5f, 0.0f};
    m.Specular = m.Diffuse;
    c->materials.push_back(m);
    c->textures.push_back(nullptr);
    c->materialCount = 1;
  } else {
    const auto* xm = static_cast<const D3DXMATERIAL*>(materials->GetBufferPointer());
    c->materialCount = materialCount;
    for (DWORD i = 0; i < materialCount; ++i) {
      c->materials.push_back(xm[i].MatD3D);
      IDirect3DTexture8* texture = nullptr;
      if (xm[i].pTextureFilename && xm[i].pTextureFilename[0]) {
        // Names reach the callback unchanged (no SDK media-folder lookup).
        HRESULT r = textureCallback_ ? textureCallback_(device_, xm[i].pTextureFilename, &texture)
                                     : (device_ ? D3DXCreateTextureFromFileA(device_, xm[i].pTextureFilename, &texture)
                                                : kFail);
        if (r < 0) texture = nullptr;
      }
      c->textures.push_back(texture);
    }
  }
  SafeRelease(materials);
  if (!c->skinInfo) c->subsetCount = c->materialCount;
  c->visibleFlags.assign(c->subsetCount, 1);
  c->subsetMaterialIndex.resize(c->subsetCount);
  for (DWORD i = 0; i < c->subsetCount; ++i) c->subsetMaterialIndex[i] = static_cast<std::int32_t>(i);
  c->next = parent->meshes;
  parent->meshes = c;
  return 0;
}

HRESULT ModelFile::MakeBlendedMesh(MeshContainer* c) {
  DWORD combos = 0;
  ID3DXMesh* blended = nullptr;
  HRESULT hr = c->skinInfo->ConvertToBlendedMesh(0, c->adjacency.data(), nullptr, &combos, &c->boneCombinationTable,
                                                 nullptr, nullptr, &blended);
  if (hr < 0) return hr;
  c->subsetCount = combos;
  DWORD fvf = blended->GetFVF();
  c->maxFaceInfluences = (fvf & D3DFVF_POSITION_MASK) == D3DFVF_XYZ ? 1 : FVFBlendWeights(fvf) + 1;

  D3DCAPS8 caps{};
  bool twoMatrices = device_ && device_->GetDeviceCaps(&caps) >= 0 && caps.MaxVertexBlendMatrices == 2;
  if (twoMatrices) {
    // Split at the first combination that needs more than two matrices.
    const D3DXBONECOMBINATION* bc = c->BoneCombinations();
    DWORD split = combos;
    for (DWORD i = 0; i < combos && split == combos; ++i) {
      DWORD used = 0;
      for (DWORD k = 0; k < c->maxFaceInfluences; ++k)
        if (bc[i].BoneId[k] != UNUSED32) ++used;
      if (used > 2) split = i;
    }
    c->splitSubsetIndex = split;
    DWORD hwFaces = split < combos ? bc[split].FaceStart : blended->GetNumFaces();
    DWORD hwVerts = split < combos ? bc[split].VertexStart : blended->GetNumVertices();
    DWORD stride = FVFVertexSize(fvf);
    bool wide = (blended->GetOptions() & D3DXMESH_32BIT) != 0;
    BYTE *vb = nullptr, *ib = nullptr;
    DWORD* attr = nullptr;
    blended->LockVertexBuffer(D3DLOCK_READONLY, &vb);
    blended->LockIndexBuffer(D3DLOCK_READONLY, &ib);
    blended->LockAttributeBuffer(D3DLOCK_READONLY, &attr);
    auto part = [&](DWORD f0, DWORD f1, DWORD v0, DWORD v1, DWORD options, ID3DXMesh** out) -> HRESULT {
      *out = nullptr;
      if (f1 <= f0 || v1 <= v0) return 0;
      HRESULT r = D3DXCreateMeshFVF(f1 - f0, v1 - v0, options | (wide ? D3DXMESH_32BIT : 0), fvf, device_, out);
      if (r < 0) return r;
      BYTE *dv = nullptr, *di = nullptr;
      DWORD* da = nullptr;
      (*out)->LockVertexBuffer(0, &dv);
      std::memcpy(dv, vb + static_cast<std::size_t>(v0) * stride, static_cast<std::size_t>(v1 - v0) * stride);
      (*out)->UnlockVertexBuffer();
      (*out)->LockIndexBuffer(0, &di);
      for (DWORD i = f0 * 3; i < f1 * 3; ++i) {
        DWORD idx;
        if (wide) {
          std::memcpy(&idx, ib + static_cast<std::size_t>(i) * 4, 4);
          idx -= v0;
          std::memcpy(di + static_cast<std::size_t>(i - f0 * 3) * 4, &idx, 4);
        } else {
          std::uint16_t s;
          std::memcpy(&s, ib + static_cast<std::size_t>(i) * 2, 2);
          s = static_cast<std::uint16_t>(s - v0);
          std::memcpy(di + static_cast<std::size_t>(i - f0 * 3) * 2, &s, 2);
        }
      }
      (*out)->UnlockIndexBuffer();
      (*out)->LockAttributeBuffer(0, &da);
      std::memcpy(da, attr + f0, static_cast<std::size_t>(f1 - f0) * 4);
      (*out)->UnlockAttributeBuffer();
      return (*out)->OptimizeInplace(D3DXMESHOPT_ATTRSORT | D3DXMESHOPT_IGNOREVERTS, nullptr, nullptr, nullptr,
                                     nullptr);
    };
    hr = part(0, hwFaces, 0, hwVerts, D3DXMESH_WRITEONLY, &c->hardwarePart);
    if (hr >= 0)
      hr = part(hwFaces, blended->GetNumFaces(), hwVerts, blended->GetNumVertices(),
                D3DXMESH_SYSTEMMEM | (blended->GetOptions() & ~D3DXMESH_32BIT), &c->softwarePart);
    blended->UnlockAttributeBuffer();
    blended->UnlockIndexBuffer();
    blended->UnlockVertexBuffer();
    c->mesh = blended;
    return hr;
  }
  hr = blended->OptimizeInplace(D3DXMESHOPT_VERTEXCACHE, c->adjacency.empty() ? nullptr : c->adjacency.data(),
                                nullptr, nullptr, nullptr);
  if (hr >= 0) {
    ID3DXMesh* clone = nullptr;
    hr = blended->CloneMeshFVF(blended->GetOptions() | D3DXMESH_WRITEONLY, fvf, device_, &clone);
    if (hr >= 0) {
      blended->Release();
      blended = clone;
    }
  }
  c->mesh = blended;
  c->splitSubsetIndex = combos;
  return hr;
}

HRESULT ModelFile::LoadAnimation(LoadedModel* model, xfile::IDirectXFileData* object, Frame* parent) {
  Frame* anim = new (std::nothrow) Frame;
  if (!anim) return kOutOfMemory;
  anim->isAnimation = true;
  parent->AddChild(anim);
  anim->nextAnimated = model->animatedFrames;
  model->animatedFrames = anim;

  xfile::IDirectXFileObject* child = nullptr;
  HRESULT hr = 0;
  while (hr >= 0 && object->GetNextObject(&child) >= 0) {
    if (xfile::IDirectXFileDataReference* ref = child->AsReference()) {
      Frame* target = anim->animatedFrame ? nullptr : FindFrameIn(model->root, ref->Name(), MatchMode::Exact);
      if (!target) hr = kInvalidArg;
      anim->animatedFrame = target;
    } else if (xfile::IDirectXFileData* d = child->AsData()) {
      if (IsType(d, xfile::TID_D3DRMAnimationKey)) {
        DWORD size = 0;
        const void* p = nullptr;
        d->GetData(nullptr, &size, &p);
        const auto* b = static_cast<const BYTE*>(p);
        std::size_t pos = 0;
        auto dword = [&](DWORD* v) {
          if (size - pos < 4 || pos > size) return false;
          std::memcpy(v, b + pos, 4);
          pos += 4;
          return true;
        };
        auto floats = [&](float* out, DWORD n) {
          if ((size - pos) / 4 < n || pos > size) return false;
          std::memcpy(out, b + pos, 4u * n);
          pos += 4u * n;
          return true;
        };
        DWORD type = 0, count = 0;
        if (!dword(&type) || !dword(&count)) {
          hr = kInvalidArg;
        } else if ((type == 0 && !anim->rotationKeys.empty()) || (type == 1 && !anim->scaleKeys.empty()) ||
                   (type == 2 && !anim->positionKeys.empty()) || (type == 4 && !anim->matrixKeys.empty()) ||
                   (type != 0 && type != 1 && type != 2 && type != 4)) {
          hr = kInvalidArg;
        } else {
          DWORD need = type == 0 ? 4 : type == 4 ? 16 : 3;
          for (DWORD i = 0; i < count && hr >= 0; ++i) {
            DWORD time = 0, n = 0;
            float v[16] = {};
            if (!dword(&time) || !dword(&n) || n < need || !floats(v, need)) {
              hr = kInvalidArg;
              break;
            }
            pos += 4u * (n - need);  // extra values of a key are skipped
            if (type == 0) {
              anim->rotationKeys.push_back({time, D3DXQUATERNION(v[1], v[2], v[3], v[0])});
            } else if (type == 1) {
              anim->scaleKeys.push_back({time, D3DXVECTOR3(v[0], v[1], v[2])});
            } else if (type == 2) {
              anim->positionKeys.push_back({time, D3DXVECTOR3(v[0], v[1], v[2])});
            } else {
              anim->matrixKeys.push_back({time, D3DXMATRIX(v)});
            }
          }
        }
      } else if (IsType(d, xfile::TID_D3DRMFrame)) {
        hr = WalkFrame(model, d, anim);
      }
    }
    child->Release();
  }
  return hr;
}

void ModelFile::BindBones(LoadedModel* model) {
  // Every mesh container with skin information, wherever it stands in the tree.
  std::vector<Frame*> stack{model->root};
  while (!stack.empty()) {
    Frame* f = stack.back();
    stack.pop_back();
    for (MeshContainer* c = f->meshes; c; c = c->next) {
      if (!c->skinInfo) continue;
      for (DWORD i = 0; i < c->BoneCount(); ++i) {
        Frame* bone = FindFrameIn(model->root, c->BoneName(i), MatchMode::Exact);
        c->boneMatrixPointers[i] = bone ? &bone->world : nullptr;
      }
    }
    if (f->sibling) stack.push_back(f->sibling);
    if (f->firstChild) stack.push_back(f->firstChild);
  }
}

}  // namespace scene
