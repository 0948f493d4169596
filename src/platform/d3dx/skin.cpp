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
  xfile::IDirectXFileData* object = nullptr;  // whose data this is, for its string slots
  DWORD base = 0;                             // offset of p in the object's whole data
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
  // A string member: only where the object's own layout put a string, never a pointer made
  // from other bytes.
  const char* Str() {
    if (size - pos < sizeof(const char*) || pos > size || !object || !object->HoldsStringAt(base + pos)) {
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
  s.object = d;
  if (name && s.ok) {
    DWORD wholeSize = 0;
    const void* whole = nullptr;
    if (d->GetData(nullptr, &wholeSize, &whole) >= 0 && whole)
      s.base = static_cast<DWORD>(s.p - static_cast<const BYTE*>(whole));
  }
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

// What the loader has read from the Mesh object and its children, and then the triangles
// laid out from it; each step below fills its part and reads what earlier steps left.
struct MeshLoad {
  DWORD nVertices = 0;
  DWORD nFaces = 0;
  std::vector<std::vector<DWORD>> polys;  // position indices per face
  std::vector<float> normals;
  std::vector<std::vector<DWORD>> faceNormals;
  std::vector<float> uvs;
  std::vector<DWORD> colors;  // ARGB per position, when given
  std::vector<LoadedMaterial> mats;
  std::vector<DWORD> faceMaterial;
  std::vector<detail::Bone> bones;

  bool perCorner = false;   // normals are indexed per face corner
  bool hasNormals = false;
  std::vector<DWORD> origOf;    // new vertex -> position index
  std::vector<DWORD> normalOf;  // new vertex -> normal index
  std::vector<DWORD> tris;      // 3 new-vertex indices per triangle
  std::vector<DWORD> triFace;   // face each triangle comes from
};

// Positions and polygons: the position array must match its count, and every corner must
// name an existing position.
HRESULT ReadPolygons(xfile::IDirectXFileData* meshData, MeshLoad* m) {
  Span sv = Member(meshData, "vertices");
  Span snv = Member(meshData, "nVertices");
  m->nVertices = snv.Dword();
  if (!snv.ok || !sv.ok || static_cast<std::uint64_t>(m->nVertices) * 12 != sv.size) return D3DXERR_INVALIDDATA;
  Span sf = Member(meshData, "faces");
  Span snf = Member(meshData, "nFaces");
  m->nFaces = snf.Dword();
  if (!sf.ok || !snf.ok) return D3DXERR_INVALIDDATA;
  m->polys.resize(m->nFaces);
  for (auto& poly : m->polys) {
    DWORD n = sf.Dword();
    if (!sf.ok || n > (sf.size - sf.pos) / 4) return D3DXERR_INVALIDDATA;
    poly.resize(n);
    for (DWORD& corner : poly) {
      corner = sf.Dword();
      if (corner >= m->nVertices) return D3DXERR_INVALIDDATA;
    }
  }
  return D3D_OK;
}

// MeshNormals: the normals and, per face, the normal of each corner (which must exist).
HRESULT ReadNormals(xfile::IDirectXFileData* k, MeshLoad* m) {
  Span s = Member(k, nullptr);
  DWORD n = s.Dword();
  if (!s.ok || n > s.size / 12) return D3DXERR_INVALIDDATA;
  m->normals.resize(static_cast<std::size_t>(n) * 3);
  for (float& x : m->normals) x = s.Float();
  DWORD nf = s.Dword();
  if (!s.ok || nf > s.size / 4) return D3DXERR_INVALIDDATA;
  m->faceNormals.resize(nf);
  bool bad = false;
  for (auto& fn : m->faceNormals) {
    DWORD c = s.Dword();
    if (!s.ok || c > s.size / 4) {
      bad = true;
      break;
    }
    fn.resize(c);
    for (DWORD& x : fn) {
      x = s.Dword();
      if (x >= n) bad = true;
    }
  }
  return !s.ok || bad ? D3DXERR_INVALIDDATA : D3D_OK;
}

// MeshTextureCoords: one pair per position; pairs beyond the positions are ignored.
HRESULT ReadTextureCoords(xfile::IDirectXFileData* k, MeshLoad* m) {
  Span s = Member(k, nullptr);
  DWORD n = s.Dword();
  if (!s.ok || n > s.size / 8) return D3DXERR_INVALIDDATA;
  m->uvs.assign(static_cast<std::size_t>(m->nVertices) * 2, 0.0f);
  for (DWORD i = 0; i < n; ++i) {
    float u = s.Float(), v = s.Float();
    if (i < m->nVertices) {
      m->uvs[i * 2] = u;
      m->uvs[i * 2 + 1] = v;
    }
  }
  return D3D_OK;
}

// MeshVertexColors: (index, RGBA) pairs packed to ARGB; positions not named stay white.
HRESULT ReadVertexColors(xfile::IDirectXFileData* k, MeshLoad* m) {
  Span s = Member(k, nullptr);
  DWORD n = s.Dword();
  if (!s.ok || n > s.size / 20) return D3DXERR_INVALIDDATA;
  m->colors.assign(m->nVertices, 0xFFFFFFFFu);
  for (DWORD i = 0; i < n; ++i) {
    DWORD idx = s.Dword();
    float c[4] = {s.Float(), s.Float(), s.Float(), s.Float()};
    auto b = [](float x) { return static_cast<DWORD>(std::clamp(x, 0.0f, 1.0f) * 255.0f + 0.5f); };
    if (idx < m->nVertices) m->colors[idx] = (b(c[3]) << 24) | (b(c[0]) << 16) | (b(c[1]) << 8) | b(c[2]);
  }
  return D3D_OK;
}

// MeshMaterialList: the material of each face, and the Material children in order (their
// number, not the count the list states, is what the mesh uses).
HRESULT ReadMaterialList(xfile::IDirectXFileData* k, MeshLoad* m) {
  Span s = Member(k, nullptr);
  s.Dword();  // nMaterials
  DWORD ni = s.Dword();
  if (!s.ok || ni > s.size / 4) return D3DXERR_INVALIDDATA;
  m->faceMaterial.resize(ni);
  for (DWORD& x : m->faceMaterial) x = s.Dword();
  HRESULT hr = D3D_OK;
  auto ms = Children(k);
  for (auto* child : ms) {
    if (!IsType(child, xfile::TID_D3DRMMaterial)) continue;
    LoadedMaterial lm;
    if ((hr = ReadMaterial(child, &lm)) < 0) break;
    m->mats.push_back(std::move(lm));
  }
  ReleaseAll(ms);
  return hr;
}

// SkinWeights: one bone with its name, weighted vertices and offset matrix. Out-of-range
// vertex indices are dropped.
HRESULT ReadSkinWeights(xfile::IDirectXFileData* k, MeshLoad* m) {
  Span s = Member(k, nullptr);
  detail::Bone b;
  b.name = s.Str();
  DWORD n = s.Dword();
  if (!s.ok || n > s.size / 8) return D3DXERR_INVALIDDATA;
  std::vector<DWORD> idx(n);
  for (DWORD& x : idx) x = s.Dword();
  std::vector<float> w(n);
  for (float& x : w) x = s.Float();
  for (int i = 0; i < 16; ++i) (&b.offset._11)[i] = s.Float();
  if (!s.ok) return D3DXERR_INVALIDDATA;
  for (DWORD i = 0; i < n; ++i) {
    if (idx[i] < m->nVertices) {
      b.vertices.push_back(idx[i]);
      b.weights.push_back(w[i]);
    }
  }
  m->bones.push_back(std::move(b));
  return D3D_OK;
}

// The children the loader knows, in file order; others are skipped. The first damaged one
// fails the load.
HRESULT ReadChildren(xfile::IDirectXFileData* meshData, MeshLoad* m) {
  auto kids = Children(meshData);
  HRESULT hr = D3D_OK;
  for (auto* k : kids) {
    if (IsType(k, xfile::TID_D3DRMMeshNormals))
      hr = ReadNormals(k, m);
    else if (IsType(k, xfile::TID_D3DRMMeshTextureCoords))
      hr = ReadTextureCoords(k, m);
    else if (IsType(k, xfile::TID_D3DRMMeshVertexColors))
      hr = ReadVertexColors(k, m);
    else if (IsType(k, xfile::TID_D3DRMMeshMaterialList))
      hr = ReadMaterialList(k, m);
    else if (IsType(k, xfile::DXFILEOBJ_SkinWeights))
      hr = ReadSkinWeights(k, m);
    if (hr < 0) break;
  }
  ReleaseAll(kids);
  return hr;
}

// Polygons fanned into triangles, with the normal index of every corner. Vertices are split
// where one position carries different normals: positions keep their slots, extra normals
// of a position get appended copies.
void Triangulate(MeshLoad* m) {
  m->perCorner = !m->normals.empty() && m->faceNormals.size() == m->nFaces;
  if (m->perCorner)
    for (DWORD f = 0; f < m->nFaces; ++f)
      if (m->faceNormals[f].size() != m->polys[f].size()) m->perCorner = false;
  bool perVertex = !m->normals.empty() && !m->perCorner && m->normals.size() / 3 >= m->nVertices;
  m->hasNormals = m->perCorner || perVertex;

  m->origOf.resize(m->nVertices);
  m->normalOf.resize(m->nVertices);
  for (DWORD v = 0; v < m->nVertices; ++v) {
    m->origOf[v] = v;
    m->normalOf[v] = m->perCorner ? UNUSED32 : v;
  }
  std::unordered_map<std::uint64_t, DWORD> copiesByNormal;
  for (DWORD f = 0; f < m->nFaces; ++f) {
    const auto& p = m->polys[f];
    for (std::size_t i = 1; i + 1 < p.size(); ++i) {
      std::size_t c[3] = {0, i, i + 1};
      for (std::size_t k : c) {
        DWORD pos = p[k];
        DWORD v = pos;
        if (m->perCorner) {
          DWORD nrm = m->faceNormals[f][k];
          if (m->normalOf[pos] == UNUSED32) {
            m->normalOf[pos] = nrm;
          } else if (m->normalOf[pos] != nrm) {
            std::uint64_t key = (static_cast<std::uint64_t>(pos) << 32) | nrm;
            auto [it, inserted] = copiesByNormal.emplace(key, static_cast<DWORD>(m->origOf.size()));
            if (inserted) {
              m->origOf.push_back(pos);
              m->normalOf.push_back(nrm);
            }
            v = it->second;
          }
        }
        m->tris.push_back(v);
      }
      m->triFace.push_back(f);
    }
  }
}

// Vertex data in the order of `fvf` (position, normal, colour, texture coordinates), the
// indices at the width of `meshOptions`, and per triangle its face's material, clamped to
// the materials there are.
void FillMesh(ID3DXMesh* mesh, xfile::IDirectXFileData* meshData, DWORD fvf, DWORD meshOptions, const MeshLoad& m) {
  BYTE* vb = nullptr;
  mesh->LockVertexBuffer(0, &vb);
  UINT stride = FVFVertexSize(fvf);
  Span pos = Member(meshData, "vertices");
  DWORD nNew = static_cast<DWORD>(m.origOf.size());
  for (DWORD v = 0; v < nNew; ++v) {
    BYTE* d = vb + static_cast<std::size_t>(v) * stride;
    DWORD o = m.origOf[v];
    std::memcpy(d, pos.p + static_cast<std::size_t>(o) * 12, 12);
    UINT off = 12;
    if (m.hasNormals) {
      DWORD n = m.perCorner ? m.normalOf[v] : o;
      if (n != UNUSED32 && static_cast<std::size_t>(n) * 3 + 2 < m.normals.size())
        std::memcpy(d + off, &m.normals[static_cast<std::size_t>(n) * 3], 12);
      else
        std::memset(d + off, 0, 12);
      off += 12;
    }
    if (!m.colors.empty()) {
      std::memcpy(d + off, &m.colors[o], 4);
      off += 4;
    }
    if (!m.uvs.empty()) std::memcpy(d + off, &m.uvs[static_cast<std::size_t>(o) * 2], 8);
  }
  mesh->UnlockVertexBuffer();
  BYTE* ib = nullptr;
  mesh->LockIndexBuffer(0, &ib);
  for (std::size_t i = 0; i < m.tris.size(); ++i) {
    if (meshOptions & D3DXMESH_32BIT) {
      std::memcpy(ib + i * 4, &m.tris[i], 4);
    } else {
      auto s = static_cast<std::uint16_t>(m.tris[i]);
      std::memcpy(ib + i * 2, &s, 2);
    }
  }
  mesh->UnlockIndexBuffer();
  DWORD* attr = nullptr;
  mesh->LockAttributeBuffer(0, &attr);
  DWORD nm = static_cast<DWORD>(m.mats.size());
  DWORD nTris = static_cast<DWORD>(m.triFace.size());
  for (DWORD t = 0; t < nTris; ++t) {
    DWORD a = 0;
    if (!m.faceMaterial.empty()) {
      DWORD f = m.triFace[t];
      a = f < m.faceMaterial.size() ? m.faceMaterial[f] : m.faceMaterial.back();
    }
    attr[t] = nm ? std::min(a, nm - 1) : 0;
  }
  mesh->UnlockAttributeBuffer();
}

// The materials as one buffer: the D3DXMATERIAL array, then the texture names it points at.
// No materials: no buffer.
HRESULT WriteMaterials(const std::vector<LoadedMaterial>& mats, ID3DXBuffer** out) {
  *out = nullptr;
  DWORD nm = static_cast<DWORD>(mats.size());
  if (!nm) return D3D_OK;
  std::size_t bytes = sizeof(D3DXMATERIAL) * nm;
  for (const auto& m : mats)
    if (m.hasTexture) bytes += m.texture.size() + 1;
  HRESULT hr = D3DXCreateBuffer(static_cast<DWORD>(bytes), out);
  if (hr < 0) return hr;
  auto* base = static_cast<BYTE*>((*out)->GetBufferPointer());
  auto* materials = reinterpret_cast<D3DXMATERIAL*>(base);
  char* strings = reinterpret_cast<char*>(base + sizeof(D3DXMATERIAL) * nm);
  for (DWORD i = 0; i < nm; ++i) {
    materials[i].MatD3D = mats[i].mat;
    materials[i].pTextureFilename = nullptr;
    if (mats[i].hasTexture) {
      std::memcpy(strings, mats[i].texture.c_str(), mats[i].texture.size() + 1);
      materials[i].pTextureFilename = strings;
      strings += mats[i].texture.size() + 1;
    }
  }
  return D3D_OK;
}

// Skin weights follow the vertices they were given for, split copies included.
void FollowSplitVertices(MeshLoad* m) {
  std::vector<std::vector<DWORD>> copies(m->nVertices);
  for (DWORD v = 0; v < m->origOf.size(); ++v) copies[m->origOf[v]].push_back(v);
  for (auto& b : m->bones) {
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
}

// The bone names as one buffer: the char* array, then the names it points at. Without bones,
// or when the buffer cannot be made, *out stays null.
void WriteBoneNames(const std::vector<detail::Bone>& bones, ID3DXBuffer** out) {
  *out = nullptr;
  DWORD nb = static_cast<DWORD>(bones.size());
  if (!nb) return;
  std::size_t bytes = sizeof(char*) * nb;
  for (const auto& b : bones) bytes += b.name.size() + 1;
  if (D3DXCreateBuffer(static_cast<DWORD>(bytes), out) < 0) return;
  auto* base = static_cast<BYTE*>((*out)->GetBufferPointer());
  auto** names = reinterpret_cast<char**>(base);
  char* s = reinterpret_cast<char*>(base + sizeof(char*) * nb);
  for (DWORD i = 0; i < nb; ++i) {
    std::memcpy(s, bones[i].name.c_str(), bones[i].name.size() + 1);
    names[i] = s;
    s += bones[i].name.size() + 1;
  }
}

// The bones' offset matrices as one D3DXMATRIX array; null as above.
void WriteBoneTransforms(const std::vector<detail::Bone>& bones, ID3DXBuffer** out) {
  *out = nullptr;
  DWORD nb = static_cast<DWORD>(bones.size());
  if (nb && D3DXCreateBuffer(static_cast<DWORD>(sizeof(D3DXMATRIX) * nb), out) >= 0) {
    auto* m = static_cast<D3DXMATRIX*>((*out)->GetBufferPointer());
    for (DWORD i = 0; i < nb; ++i) m[i] = bones[i].offset;
  }
}

}  // namespace

HRESULT D3DXLoadSkinMeshFromXof(xfile::IDirectXFileData* meshData, DWORD options, IDirect3DDevice8* device,
                                ID3DXBuffer** adjacencyOut, ID3DXBuffer** materialsOut, DWORD* numMaterialsOut,
                                ID3DXBuffer** boneNamesOut, ID3DXBuffer** boneTransformsOut,
                                ID3DXSkinMesh** skinMeshOut) {
  if (!meshData || !skinMeshOut) return D3DERR_INVALIDCALL;
  if (!IsType(meshData, xfile::TID_D3DRMMesh)) return D3DXERR_INVALIDDATA;
  *skinMeshOut = nullptr;

  MeshLoad m;
  HRESULT hr = ReadPolygons(meshData, &m);
  if (hr < 0) return hr;
  if ((hr = ReadChildren(meshData, &m)) < 0) return hr;
  Triangulate(&m);
  DWORD nTris = static_cast<DWORD>(m.triFace.size());
  DWORD nNew = static_cast<DWORD>(m.origOf.size());
  if (nTris == 0) return D3DXERR_INVALIDDATA;

  DWORD fvf = D3DFVF_XYZ | (m.hasNormals ? D3DFVF_NORMAL : 0) | (m.colors.empty() ? 0 : D3DFVF_DIFFUSE) |
              (m.uvs.empty() ? 0 : D3DFVF_TEX1);
  DWORD meshOptions = options;
  if (nNew > 0xFFFF) meshOptions |= D3DXMESH_32BIT;
  ID3DXMesh* mesh = nullptr;
  if ((hr = D3DXCreateMeshFVF(nTris, nNew, meshOptions, fvf, device, &mesh)) < 0) return hr;
  FillMesh(mesh, meshData, fvf, meshOptions, m);

  // Outputs.
  if (adjacencyOut) {
    if ((hr = D3DXCreateBuffer(nTris * 12, adjacencyOut)) < 0) {
      mesh->Release();
      return hr;
    }
    mesh->GenerateAdjacency(0.0f, static_cast<DWORD*>((*adjacencyOut)->GetBufferPointer()));
  }
  if (materialsOut && (hr = WriteMaterials(m.mats, materialsOut)) < 0) {
    mesh->Release();
    if (adjacencyOut && *adjacencyOut) (*adjacencyOut)->Release();
    return hr;
  }
  if (numMaterialsOut) *numMaterialsOut = static_cast<DWORD>(m.mats.size());
  FollowSplitVertices(&m);
  if (boneNamesOut) WriteBoneNames(m.bones, boneNamesOut);
  if (boneTransformsOut) WriteBoneTransforms(m.bones, boneTransformsOut);
  auto* skin = new (std::nothrow) detail::SkinMesh(mesh, std::move(m.bones));
  if (!skin) {
    mesh->Release();
    return win32::E_OUTOFMEMORY;
  }
  *skinMeshOut = skin;
  return D3D_OK;
}

}  // namespace d3dx
