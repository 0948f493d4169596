// Loading a mesh with its materials and skin weights from a .X Mesh data object.
#include <algorithm>
#include <cstring>
#include <unordered_map>

#include "platform/d3dx/skin_internal.h"

namespace d3dx {

using namespace d3d8;

namespace {

// Bounded reader over the laid-out data of one member.
struct Span {
  const BYTE* p = nullptr;
  DWORD size = 0;
  DWORD pos = 0;
  bool ok = true;
  DWORD Dword() {
    if (size - pos < 4 || pos > size) {
      ok = false;
      return 0;
    }
    DWORD v;
    std::memcpy(&v, p + pos, 4);
    pos += 4;
    return v;
  }
  float Float() {
    DWORD d = Dword();
    float f;
    std::memcpy(&f, &d, 4);
    return f;
  }
  WORD Word() {
    if (size - pos < 2 || pos > size) {
      ok = false;
      return 0;
    }
    WORD v;
    std::memcpy(&v, p + pos, 2);
    pos += 2;
    return v;
  }
  const char* Str() {
    if (size - pos < sizeof(const char*) || pos > size) {
      ok = false;
      return "";
    }
    const char* s;
    std::memcpy(&s, p + pos, sizeof s);
    pos += sizeof s;
    return s ? s : "";
  }
};

Span Member(xfile::IDirectXFileData* d, const char* name) {
  Span s;
  const void* p = nullptr;
  if (d->GetData(name, &s.size, &p) < 0) {
    s.ok = false;
    s.size = 0;
  }
  s.p = static_cast<const BYTE*>(p);
  return s;
}

bool IsType(xfile::IDirectXFileData* d, const xfile::GUID& g) {
  const xfile::GUID* t = nullptr;
  return d->GetType(&t) >= 0 && t && *t == g;
}

bool NameIs(const char* a, const char* b) {
  for (; *a && *b; ++a, ++b)
    if (std::tolower(static_cast<unsigned char>(*a)) != std::tolower(static_cast<unsigned char>(*b))) return false;
  return *a == *b;
}

// Children as data objects (references resolved), each with a reference the caller releases.
std::vector<xfile::IDirectXFileData*> Children(xfile::IDirectXFileData* d) {
  std::vector<xfile::IDirectXFileData*> out;
  xfile::IDirectXFileObject* c = nullptr;
  while (d->GetNextObject(&c) >= 0) {
    if (auto* data = c->AsData()) {
      data->AddRef();
      out.push_back(data);
    } else if (auto* ref = c->AsReference()) {
      xfile::IDirectXFileData* r = nullptr;
      if (ref->Resolve(&r) >= 0) out.push_back(r);
    }
    c->Release();
  }
  return out;
}

void ReleaseAll(std::vector<xfile::IDirectXFileData*>& v) {
  for (auto* d : v) d->Release();
  v.clear();
}

struct LoadedMaterial {
  D3DMATERIAL8 mat{};
  std::string texture;
  bool hasTexture = false;
};

HRESULT ReadMaterial(xfile::IDirectXFileData* d, LoadedMaterial* m) {
  Span s = Member(d, nullptr);
  m->mat.Diffuse = {s.Float(), s.Float(), s.Float(), s.Float()};
  m->mat.Power = s.Float();
  m->mat.Specular = {s.Float(), s.Float(), s.Float(), 1.0f};
  m->mat.Emissive = {s.Float(), s.Float(), s.Float(), 1.0f};
  m->mat.Ambient = {0, 0, 0, 0};
  if (!s.ok) return D3DXERR_INVALIDDATA;
  auto kids = Children(d);
  for (auto* k : kids) {
    if (IsType(k, xfile::TID_D3DRMTextureFilename) || NameIs(k->TemplateName(), "TextureFilename")) {
      Span t = Member(k, nullptr);
      const char* name = t.Str();
      if (t.ok) {
        m->texture = name;
        m->hasTexture = true;
      }
    }
  }
  ReleaseAll(kids);
  return D3D_OK;
}

}  // namespace

HRESULT D3DXLoadSkinMeshFromXof(xfile::IDirectXFileData* meshData, DWORD options, IDirect3DDevice8* device,
                                ID3DXBuffer** adjacencyOut, ID3DXBuffer** materialsOut, DWORD* numMaterialsOut,
                                ID3DXBuffer** boneNamesOut, ID3DXBuffer** boneTransformsOut,
                                ID3DXSkinMesh** skinMeshOut) {
  if (!meshData || !skinMeshOut) return D3DERR_INVALIDCALL;
  if (!IsType(meshData, xfile::TID_D3DRMMesh)) return D3DXERR_INVALIDDATA;
  *skinMeshOut = nullptr;

  // Positions and polygons.
  Span sv = Member(meshData, "vertices");
  Span snv = Member(meshData, "nVertices");
  DWORD nVertices = snv.Dword();
  if (!snv.ok || !sv.ok || static_cast<std::uint64_t>(nVertices) * 12 != sv.size) return D3DXERR_INVALIDDATA;
  Span sf = Member(meshData, "faces");
  Span snf = Member(meshData, "nFaces");
  DWORD nFaces = snf.Dword();
  if (!sf.ok || !snf.ok) return D3DXERR_INVALIDDATA;
  std::vector<std::vector<DWORD>> polys(nFaces);
  for (DWORD f = 0; f < nFaces; ++f) {
    DWORD n = sf.Dword();
    if (!sf.ok || n > (sf.size - sf.pos) / 4) return D3DXERR_INVALIDDATA;
    polys[f].resize(n);
    for (DWORD i = 0; i < n; ++i) {
      polys[f][i] = sf.Dword();
      if (polys[f][i] >= nVertices) return D3DXERR_INVALIDDATA;
    }
  }

  // Children.
  std::vector<float> normals;
  std::vector<std::vector<DWORD>> faceNormals;
  std::vector<float> uvs;
  std::vector<DWORD> colors;  // ARGB per position, when given
  std::vector<LoadedMaterial> mats;
  std::vector<DWORD> faceMaterial;
  std::vector<detail::Bone> bones;
  auto kids = Children(meshData);
  HRESULT hr = D3D_OK;
  for (auto* k : kids) {
    if (IsType(k, xfile::TID_D3DRMMeshNormals)) {
      Span s = Member(k, nullptr);
      DWORD n = s.Dword();
      if (!s.ok || n > s.size / 12) { hr = D3DXERR_INVALIDDATA; break; }
      normals.resize(static_cast<std::size_t>(n) * 3);
      for (float& x : normals) x = s.Float();
      DWORD nf = s.Dword();
      if (!s.ok || nf > s.size / 4) { hr = D3DXERR_INVALIDDATA; break; }
      faceNormals.resize(nf);
      for (auto& fn : faceNormals) {
        DWORD c = s.Dword();
        if (!s.ok || c > s.size / 4) { hr = D3DXERR_INVALIDDATA; break; }
        fn.resize(c);
        for (DWORD& x : fn) {
          x = s.Dword();
          if (x >= n) hr = D3DXERR_INVALIDDATA;
        }
      }
      if (!s.ok || hr < 0) { hr = D3DXERR_INVALIDDATA; break; }
    } else if (IsType(k, xfile::TID_D3DRMMeshTextureCoords)) {
      Span s = Member(k, nullptr);
      DWORD n = s.Dword();
      if (!s.ok || n > s.size / 8) { hr = D3DXERR_INVALIDDATA; break; }
      uvs.assign(static_cast<std::size_t>(nVertices) * 2, 0.0f);
      for (DWORD i = 0; i < n; ++i) {
        float u = s.Float(), v = s.Float();
        if (i < nVertices) {
          uvs[i * 2] = u;
          uvs[i * 2 + 1] = v;
        }
      }
    } else if (IsType(k, xfile::TID_D3DRMMeshVertexColors)) {
      Span s = Member(k, nullptr);
      DWORD n = s.Dword();
      if (!s.ok || n > s.size / 20) { hr = D3DXERR_INVALIDDATA; break; }
      colors.assign(nVertices, 0xFFFFFFFFu);
      for (DWORD i = 0; i < n; ++i) {
        DWORD idx = s.Dword();
        float c[4] = {s.Float(), s.Float(), s.Float(), s.Float()};
        auto b = [](float x) { return static_cast<DWORD>(std::clamp(x, 0.0f, 1.0f) * 255.0f + 0.5f); };
        if (idx < nVertices) colors[idx] = (b(c[3]) << 24) | (b(c[0]) << 16) | (b(c[1]) << 8) | b(c[2]);
      }
    } else if (IsType(k, xfile::TID_D3DRMMeshMaterialList)) {
      Span s = Member(k, nullptr);
      DWORD nm = s.Dword();
      DWORD ni = s.Dword();
      if (!s.ok || ni > s.size / 4) { hr = D3DXERR_INVALIDDATA; break; }
      faceMaterial.resize(ni);
      for (DWORD& x : faceMaterial) x = s.Dword();
      auto ms = Children(k);
      for (auto* m : ms) {
        if (!IsType(m, xfile::TID_D3DRMMaterial)) continue;
        LoadedMaterial lm;
        if ((hr = ReadMaterial(m, &lm)) < 0) break;
        mats.push_back(std::move(lm));
      }
      ReleaseAll(ms);
      if (hr < 0) break;
      (void)nm;
    } else if (IsType(k, xfile::DXFILEOBJ_SkinWeights)) {
      Span s = Member(k, nullptr);
      detail::Bone b;
      b.name = s.Str();
      DWORD n = s.Dword();
      if (!s.ok || n > s.size / 8) { hr = D3DXERR_INVALIDDATA; break; }
      std::vector<DWORD> idx(n);
      for (DWORD& x : idx) x = s.Dword();
      std::vector<float> w(n);
      for (float& x : w) x = s.Float();
      for (int i = 0; i < 16; ++i) (&b.offset._11)[i] = s.Float();
      if (!s.ok) { hr = D3DXERR_INVALIDDATA; break; }
      // Out-of-range vertex indices are dropped.
      for (DWORD i = 0; i < n; ++i) {
        if (idx[i] < nVertices) {
          b.vertices.push_back(idx[i]);
          b.weights.push_back(w[i]);
        }
      }
      bones.push_back(std::move(b));
    }
  }
  ReleaseAll(kids);
  if (hr < 0) return hr;

  // Normal index per face corner; vertices are split where one position carries
  // different normals.
  bool perCorner = !normals.empty() && faceNormals.size() == nFaces;
  if (perCorner)
    for (DWORD f = 0; f < nFaces; ++f)
      if (faceNormals[f].size() != polys[f].size()) perCorner = false;
  bool perVertex = !normals.empty() && !perCorner && normals.size() / 3 >= nVertices;
  bool hasNormals = perCorner || perVertex;

  // New vertex -> position index and normal index; positions keep their slots, extra
  // normals of a position get appended copies.
  std::vector<DWORD> origOf(nVertices), normalOf(nVertices);
  for (DWORD v = 0; v < nVertices; ++v) {
    origOf[v] = v;
    normalOf[v] = perCorner ? UNUSED32 : v;
  }
  std::unordered_map<std::uint64_t, DWORD> copiesByNormal;
  std::vector<DWORD> tris;  // 3 new-vertex indices per triangle
  std::vector<DWORD> triFace;
  for (DWORD f = 0; f < nFaces; ++f) {
    const auto& p = polys[f];
    for (std::size_t i = 1; i + 1 < p.size(); ++i) {
      std::size_t c[3] = {0, i, i + 1};
      for (std::size_t k : c) {
        DWORD pos = p[k];
        DWORD v = pos;
        if (perCorner) {
          DWORD nrm = faceNormals[f][k];
          if (normalOf[pos] == UNUSED32) {
            normalOf[pos] = nrm;
          } else if (normalOf[pos] != nrm) {
            std::uint64_t key = (static_cast<std::uint64_t>(pos) << 32) | nrm;
            auto [it, inserted] = copiesByNormal.emplace(key, static_cast<DWORD>(origOf.size()));
            if (inserted) {
              origOf.push_back(pos);
              normalOf.push_back(nrm);
            }
            v = it->second;
          }
        }
        tris.push_back(v);
      }
      triFace.push_back(f);
    }
  }
  DWORD nTris = static_cast<DWORD>(triFace.size());
  DWORD nNew = static_cast<DWORD>(origOf.size());
  if (nTris == 0) return D3DXERR_INVALIDDATA;

  DWORD fvf = D3DFVF_XYZ | (hasNormals ? D3DFVF_NORMAL : 0) | (colors.empty() ? 0 : D3DFVF_DIFFUSE) |
              (uvs.empty() ? 0 : D3DFVF_TEX1);
  DWORD meshOptions = options;
  if (nNew > 0xFFFF) meshOptions |= D3DXMESH_32BIT;
  ID3DXMesh* mesh = nullptr;
  if ((hr = D3DXCreateMeshFVF(nTris, nNew, meshOptions, fvf, device, &mesh)) < 0) return hr;

  BYTE* vb = nullptr;
  mesh->LockVertexBuffer(0, &vb);
  UINT stride = FVFVertexSize(fvf);
  Span pos = Member(meshData, "vertices");
  for (DWORD v = 0; v < nNew; ++v) {
    BYTE* d = vb + static_cast<std::size_t>(v) * stride;
    DWORD o = origOf[v];
    std::memcpy(d, pos.p + static_cast<std::size_t>(o) * 12, 12);
    UINT off = 12;
    if (hasNormals) {
      DWORD n = perCorner ? normalOf[v] : o;
      if (n != UNUSED32 && static_cast<std::size_t>(n) * 3 + 2 < normals.size())
        std::memcpy(d + off, &normals[static_cast<std::size_t>(n) * 3], 12);
      else
        std::memset(d + off, 0, 12);
      off += 12;
    }
    if (!colors.empty()) {
      std::memcpy(d + off, &colors[o], 4);
      off += 4;
    }
    if (!uvs.empty()) std::memcpy(d + off, &uvs[static_cast<std::size_t>(o) * 2], 8);
  }
  mesh->UnlockVertexBuffer();
  BYTE* ib = nullptr;
  mesh->LockIndexBuffer(0, &ib);
  for (std::size_t i = 0; i < tris.size(); ++i) {
    if (meshOptions & D3DXMESH_32BIT) {
      std::memcpy(ib + i * 4, &tris[i], 4);
    } else {
      auto s = static_cast<std::uint16_t>(tris[i]);
      std::memcpy(ib + i * 2, &s, 2);
    }
  }
  mesh->UnlockIndexBuffer();
  DWORD* attr = nullptr;
  mesh->LockAttributeBuffer(0, &attr);
  DWORD nm = static_cast<DWORD>(mats.size());
  for (DWORD t = 0; t < nTris; ++t) {
    DWORD a = 0;
    if (!faceMaterial.empty()) {
      DWORD f = triFace[t];
      a = f < faceMaterial.size() ? faceMaterial[f] : faceMaterial.back();
    }
    attr[t] = nm ? std::min(a, nm - 1) : 0;
  }
  mesh->UnlockAttributeBuffer();

  // Outputs.
  if (adjacencyOut) {
    if ((hr = D3DXCreateBuffer(nTris * 12, adjacencyOut)) < 0) {
      mesh->Release();
      return hr;
    }
    mesh->GenerateAdjacency(0.0f, static_cast<DWORD*>((*adjacencyOut)->GetBufferPointer()));
  }
  if (materialsOut) {
    *materialsOut = nullptr;
    if (nm) {
      std::size_t bytes = sizeof(D3DXMATERIAL) * nm;
      for (const auto& m : mats)
        if (m.hasTexture) bytes += m.texture.size() + 1;
      if ((hr = D3DXCreateBuffer(static_cast<DWORD>(bytes), materialsOut)) < 0) {
        mesh->Release();
        if (adjacencyOut && *adjacencyOut) (*adjacencyOut)->Release();
        return hr;
      }
      auto* base = static_cast<BYTE*>((*materialsOut)->GetBufferPointer());
      auto* out = reinterpret_cast<D3DXMATERIAL*>(base);
      char* strings = reinterpret_cast<char*>(base + sizeof(D3DXMATERIAL) * nm);
      for (DWORD i = 0; i < nm; ++i) {
        out[i].MatD3D = mats[i].mat;
        out[i].pTextureFilename = nullptr;
        if (mats[i].hasTexture) {
          std::memcpy(strings, mats[i].texture.c_str(), mats[i].texture.size() + 1);
          out[i].pTextureFilename = strings;
          strings += mats[i].texture.size() + 1;
        }
      }
    }
  }
  if (numMaterialsOut) *numMaterialsOut = nm;

  // Skin weights follow the vertices they were given for, duplicates included.
  std::vector<std::vector<DWORD>> copies(nVertices);
  for (DWORD v = 0; v < nNew; ++v) copies[origOf[v]].push_back(v);
  for (auto& b : bones) {
    std::vector<DWORD> vs;
    std::vector<float> ws;
    for (std::size_t i = 0; i < b.vertices.size(); ++i)
      for (DWORD c : copies[b.vertices[i]]) {
        vs.push_back(c);
        ws.push_back(b.weights[i]);
      }
    b.vertices.swap(vs);
    b.weights.swap(ws);
  }
  DWORD nb = static_cast<DWORD>(bones.size());
  if (boneNamesOut) {
    *boneNamesOut = nullptr;
    if (nb) {
      std::size_t bytes = sizeof(char*) * nb;
      for (const auto& b : bones) bytes += b.name.size() + 1;
      if (D3DXCreateBuffer(static_cast<DWORD>(bytes), boneNamesOut) >= 0) {
        auto* base = static_cast<BYTE*>((*boneNamesOut)->GetBufferPointer());
        auto** names = reinterpret_cast<char**>(base);
        char* s = reinterpret_cast<char*>(base + sizeof(char*) * nb);
        for (DWORD i = 0; i < nb; ++i) {
          std::memcpy(s, bones[i].name.c_str(), bones[i].name.size() + 1);
          names[i] = s;
          s += bones[i].name.size() + 1;
        }
      }
    }
  }
  if (boneTransformsOut) {
    *boneTransformsOut = nullptr;
    if (nb && D3DXCreateBuffer(static_cast<DWORD>(sizeof(D3DXMATRIX) * nb), boneTransformsOut) >= 0) {
      auto* m = static_cast<D3DXMATRIX*>((*boneTransformsOut)->GetBufferPointer());
      for (DWORD i = 0; i < nb; ++i) m[i] = bones[i].offset;
    }
  }
  auto* skin = new (std::nothrow) detail::SkinMesh(mesh, std::move(bones));
  if (!skin) {
    mesh->Release();
    return win32::E_OUTOFMEMORY;
  }
  *skinMeshOut = skin;
  return D3D_OK;
}

}  // namespace d3dx
