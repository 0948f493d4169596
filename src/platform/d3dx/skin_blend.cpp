// Skin information queries and the conversion to a blended mesh (non-indexed vertex
// blending: per bone combination, up to four matrices with weights in the vertex).
#include <algorithm>
#include <cstring>
#include <map>

#include "platform/d3dx/skin_internal.h"

namespace d3dx::detail {

using namespace d3d8;

namespace {
constexpr DWORD kMaxBlend = 4;  // matrices of non-indexed blending
// Per vertex: (bone, weight) pairs.
using VertexInfluences = std::vector<std::vector<std::pair<DWORD, float>>>;
}

HRESULT SkinMesh::GetOriginalMesh(ID3DXMesh** mesh) {
  if (!mesh) return D3DERR_INVALIDCALL;
  mesh_->AddRef();
  *mesh = mesh_;
  return D3D_OK;
}

HRESULT SkinMesh::GetBoneInfluence(DWORD bone, DWORD* vertices, float* weights) {
  if (bone >= bones_.size() || !vertices || !weights) return D3DERR_INVALIDCALL;
  const Bone& b = bones_[bone];
  std::copy(b.vertices.begin(), b.vertices.end(), vertices);
  std::copy(b.weights.begin(), b.weights.end(), weights);
  return D3D_OK;
}

std::vector<std::vector<std::pair<DWORD, float>>> SkinMesh::Influences() const {
  std::vector<std::vector<std::pair<DWORD, float>>> inf(mesh_->GetNumVertices());
  for (DWORD b = 0; b < bones_.size(); ++b)
    for (std::size_t i = 0; i < bones_[b].vertices.size(); ++i)
      if (bones_[b].weights[i] != 0.0f && bones_[b].vertices[i] < inf.size())
        inf[bones_[b].vertices[i]].push_back({b, bones_[b].weights[i]});
  return inf;
}

HRESULT SkinMesh::GetMaxVertexInfluences(DWORD* out) {
  if (!out) return D3DERR_INVALIDCALL;
  std::size_t m = 0;
  for (const auto& v : Influences()) m = std::max(m, v.size());
  *out = static_cast<DWORD>(m);
  return D3D_OK;
}

namespace {

// Bones of one face, strongest first, at most kMaxBlend.
std::vector<DWORD> FaceBones(const VertexInfluences& inf, const DWORD v[3]) {
  std::map<DWORD, float> sum;
  for (int c = 0; c < 3; ++c)
    if (v[c] < inf.size())
      for (auto [b, w] : inf[v[c]]) sum[b] += w;
  std::vector<std::pair<DWORD, float>> s(sum.begin(), sum.end());
  std::stable_sort(s.begin(), s.end(), [](auto& a, auto& b) { return a.second > b.second; });
  std::vector<DWORD> out;
  for (std::size_t i = 0; i < s.size() && i < kMaxBlend; ++i) out.push_back(s[i].first);
  std::sort(out.begin(), out.end());
  return out;
}

void ReadFace(ID3DXMesh* m, const BYTE* ib, DWORD f, DWORD v[3]) {
  for (int c = 0; c < 3; ++c) {
    std::size_t i = static_cast<std::size_t>(f) * 3 + static_cast<std::size_t>(c);
    if (m->GetOptions() & D3DXMESH_32BIT) {
      std::memcpy(&v[c], ib + i * 4, 4);
    } else {
      std::uint16_t s;
      std::memcpy(&s, ib + i * 2, 2);
      v[c] = s;
    }
  }
}

}  // namespace

HRESULT SkinMesh::GetMaxFaceInfluences(DWORD* out) {
  if (!out) return D3DERR_INVALIDCALL;
  auto inf = Influences();
  BYTE* ib = nullptr;
  mesh_->LockIndexBuffer(D3DLOCK_READONLY, &ib);
  std::size_t m = 0;
  for (DWORD f = 0; f < mesh_->GetNumFaces(); ++f) {
    DWORD v[3];
    ReadFace(mesh_, ib, f, v);
    m = std::max(m, FaceBones(inf, v).size());
  }
  mesh_->UnlockIndexBuffer();
  *out = static_cast<DWORD>(m);
  return D3D_OK;
}

namespace {

// Faces of one attribute that share one set of at most `slots` bones.
struct Combo {
  DWORD attrib;
  std::vector<DWORD> bones;
  std::vector<DWORD> faces;
};

// The blended mesh as laid out before it is built.
struct BlendLayout {
  std::vector<DWORD> vremap;                 // new -> old vertex
  std::vector<std::vector<float>> vweights;  // weights per new vertex
  std::vector<DWORD> newFaces;               // indices
  std::vector<DWORD> fremap;                 // new -> old face
  std::vector<D3DXBONECOMBINATION> table;
  std::vector<DWORD> boneIds;                // `slots` per combination, UNUSED32 where unused
};

// The bones of every face; the face with the most sets the number of matrix slots (at
// least one).
std::vector<std::vector<DWORD>> BonesOfFaces(ID3DXMesh* mesh, const BYTE* ib, const VertexInfluences& inf,
                                             DWORD* slots) {
  DWORD nf = mesh->GetNumFaces();
  std::vector<std::vector<DWORD>> faceBones(nf);
  *slots = 1;
  for (DWORD f = 0; f < nf; ++f) {
    DWORD v[3];
    ReadFace(mesh, ib, f, v);
    faceBones[f] = FaceBones(inf, v);
    *slots = std::max<DWORD>(*slots, static_cast<DWORD>(faceBones[f].size()));
  }
  return faceBones;
}

// Greedy grouping per attribute: a face joins the first combination of its attribute whose
// bones together with the face's stay within the slots. The combinations come out in
// attribute order, as an attribute-sorted mesh keeps them.
std::vector<Combo> GroupFaces(const DWORD* attr, const std::vector<std::vector<DWORD>>& faceBones, DWORD slots) {
  std::vector<Combo> combos;
  std::map<DWORD, std::vector<std::size_t>> byAttrib;
  for (DWORD f = 0; f < faceBones.size(); ++f) {
    auto& list = byAttrib[attr[f]];
    bool placed = false;
    for (std::size_t ci : list) {
      Combo& c = combos[ci];
      std::vector<DWORD> u;
      std::set_union(c.bones.begin(), c.bones.end(), faceBones[f].begin(), faceBones[f].end(), std::back_inserter(u));
      if (u.size() <= slots) {
        c.bones.swap(u);
        c.faces.push_back(f);
        placed = true;
        break;
      }
    }
    if (!placed) {
      list.push_back(combos.size());
      combos.push_back({attr[f], faceBones[f], {f}});
    }
  }
  std::stable_sort(combos.begin(), combos.end(), [](const Combo& a, const Combo& b) { return a.attrib < b.attrib; });
  return combos;
}

// Weights of one vertex for a combination's slots, normalised over the bones it has there.
std::vector<float> SlotWeights(const std::vector<std::pair<DWORD, float>>& influences, const Combo& c, DWORD slots) {
  std::vector<float> w(slots, 0.0f);
  float sum = 0;
  for (auto [b, wt] : influences) {
    auto it = std::find(c.bones.begin(), c.bones.end(), b);
    if (it != c.bones.end()) {
      w[static_cast<std::size_t>(it - c.bones.begin())] += wt;
      sum += wt;
    }
  }
  if (sum > 0)
    for (float& x : w) x /= sum;
  return w;
}

// Combination by combination: its table record and bone slots, and one copy of each vertex
// it uses (in the order its faces first use them), with the indices that point at the copies.
BlendLayout LayOut(ID3DXMesh* mesh, const BYTE* ib, const VertexInfluences& inf, const std::vector<Combo>& combos,
                   DWORD slots) {
  BlendLayout l;
  l.table.resize(combos.size());
  l.boneIds.assign(combos.size() * slots, UNUSED32);
  std::vector<DWORD> local(mesh->GetNumVertices(), UNUSED32);
  for (std::size_t ci = 0; ci < combos.size(); ++ci) {
    const Combo& c = combos[ci];
    D3DXBONECOMBINATION& t = l.table[ci];
    t.AttribId = c.attrib;
    t.FaceStart = static_cast<DWORD>(l.fremap.size());
    t.FaceCount = static_cast<DWORD>(c.faces.size());
    t.VertexStart = static_cast<DWORD>(l.vremap.size());
    for (std::size_t k = 0; k < c.bones.size(); ++k) l.boneIds[ci * slots + k] = c.bones[k];
    std::fill(local.begin(), local.end(), UNUSED32);
    for (DWORD f : c.faces) {
      DWORD v[3];
      ReadFace(mesh, ib, f, v);
      for (DWORD ov : v) {
        if (local[ov] == UNUSED32) {
          local[ov] = static_cast<DWORD>(l.vremap.size());
          l.vremap.push_back(ov);
          l.vweights.push_back(SlotWeights(inf[ov], c, slots));
        }
        l.newFaces.push_back(local[ov]);
      }
      l.fremap.push_back(f);
    }
    t.VertexCount = static_cast<DWORD>(l.vremap.size()) - t.VertexStart;
  }
  return l;
}

// Vertex data (position, the `weights` blend weights, then the rest of the source vertex,
// which has no weights of its own) and the indices at the width of `meshOptions`.
void FillBlended(ID3DXMesh* m, const BYTE* srcVb, UINT srcStride, UINT dstStride, DWORD weights, DWORD meshOptions,
                 const BlendLayout& l) {
  UINT srcRest = srcStride - 12;  // after the position
  BYTE* dvb = nullptr;
  m->LockVertexBuffer(0, &dvb);
  for (DWORD v = 0; v < l.vremap.size(); ++v) {
    const BYTE* s = srcVb + static_cast<std::size_t>(l.vremap[v]) * srcStride;
    BYTE* d = dvb + static_cast<std::size_t>(v) * dstStride;
    std::memcpy(d, s, 12);
    std::memcpy(d + 12, l.vweights[v].data(), 4 * weights);
    std::memcpy(d + 12 + 4 * weights, s + 12, srcRest);
  }
  m->UnlockVertexBuffer();
  BYTE* dib = nullptr;
  m->LockIndexBuffer(0, &dib);
  for (std::size_t i = 0; i < l.newFaces.size(); ++i) {
    if (meshOptions & D3DXMESH_32BIT) {
      std::memcpy(dib + i * 4, &l.newFaces[i], 4);
    } else {
      auto s = static_cast<std::uint16_t>(l.newFaces[i]);
      std::memcpy(dib + i * 2, &s, 2);
    }
  }
  m->UnlockIndexBuffer();
}

// Attribute id = combination index, and the attribute table that says so.
void WriteAttributes(ID3DXMesh* m, const std::vector<D3DXBONECOMBINATION>& table) {
  DWORD* da = nullptr;
  m->LockAttributeBuffer(0, &da);
  std::vector<D3DXATTRIBUTERANGE> ranges(table.size());
  for (std::size_t ci = 0; ci < table.size(); ++ci) {
    for (DWORD f = 0; f < table[ci].FaceCount; ++f) da[table[ci].FaceStart + f] = static_cast<DWORD>(ci);
    ranges[ci] = {static_cast<DWORD>(ci), table[ci].FaceStart, table[ci].FaceCount, table[ci].VertexStart,
                  table[ci].VertexCount};
  }
  m->UnlockAttributeBuffer();
  m->SetAttributeTable(ranges.data(), static_cast<DWORD>(ranges.size()));
}

// The table buffer: combination records followed by their bone id slots, each record
// pointing at its slots.
HRESULT WriteCombinationTable(BlendLayout& l, DWORD slots, ID3DXBuffer** out) {
  std::size_t bytes = sizeof(D3DXBONECOMBINATION) * l.table.size() + sizeof(DWORD) * l.boneIds.size();
  HRESULT hr = D3DXCreateBuffer(static_cast<DWORD>(bytes), out);
  if (hr < 0) return hr;
  auto* base = static_cast<BYTE*>((*out)->GetBufferPointer());
  auto* ids = reinterpret_cast<DWORD*>(base + sizeof(D3DXBONECOMBINATION) * l.table.size());
  if (!l.boneIds.empty()) std::memcpy(ids, l.boneIds.data(), sizeof(DWORD) * l.boneIds.size());
  for (std::size_t ci = 0; ci < l.table.size(); ++ci) l.table[ci].BoneId = ids + ci * slots;
  if (!l.table.empty()) std::memcpy(base, l.table.data(), sizeof(D3DXBONECOMBINATION) * l.table.size());
  return D3D_OK;
}

}  // namespace

HRESULT SkinMesh::ConvertToBlendedMesh(DWORD options, const DWORD* adjacencyIn, DWORD* adjacencyOut,
                                       DWORD* numBoneCombinations, ID3DXBuffer** boneCombinationTable,
                                       DWORD* faceRemap, ID3DXBuffer** vertexRemap, ID3DXMesh** out) {
  (void)adjacencyIn;
  if (!out || !numBoneCombinations || !boneCombinationTable) return D3DERR_INVALIDCALL;
  *out = nullptr;
  *boneCombinationTable = nullptr;
  auto inf = Influences();
  DWORD nf = mesh_->GetNumFaces();
  BYTE* ib = nullptr;
  BYTE* vb = nullptr;
  DWORD* attr = nullptr;
  mesh_->LockIndexBuffer(D3DLOCK_READONLY, &ib);
  mesh_->LockVertexBuffer(D3DLOCK_READONLY, &vb);
  mesh_->LockAttributeBuffer(D3DLOCK_READONLY, &attr);

  DWORD slots = 1;
  auto faceBones = BonesOfFaces(mesh_, ib, inf, &slots);
  std::vector<Combo> combos = GroupFaces(attr, faceBones, slots);

  DWORD srcFvf = mesh_->GetFVF();
  DWORD weights = slots - 1;
  DWORD dstFvf = (srcFvf & ~D3DFVF_POSITION_MASK) | (weights == 0 ? D3DFVF_XYZ : (D3DFVF_XYZRHW + 2 * weights));
  UINT srcStride = FVFVertexSize(srcFvf), dstStride = FVFVertexSize(dstFvf);

  BlendLayout layout = LayOut(mesh_, ib, inf, combos, slots);
  mesh_->UnlockAttributeBuffer();

  DWORD newNv = static_cast<DWORD>(layout.vremap.size());
  DWORD meshOptions = options | (mesh_->GetOptions() & D3DXMESH_32BIT);
  if (newNv > 0xFFFF) meshOptions |= D3DXMESH_32BIT;
  IDirect3DDevice8* device = nullptr;
  mesh_->GetDevice(&device);
  ID3DXMesh* m = nullptr;
  HRESULT hr = D3DXCreateMeshFVF(nf, std::max<DWORD>(newNv, 1), meshOptions, dstFvf, device, &m);
  if (device) device->Release();
  if (hr < 0) {
    mesh_->UnlockVertexBuffer();
    mesh_->UnlockIndexBuffer();
    return hr;
  }
  FillBlended(m, vb, srcStride, dstStride, weights, meshOptions, layout);
  mesh_->UnlockVertexBuffer();
  mesh_->UnlockIndexBuffer();
  WriteAttributes(m, layout.table);
  if ((hr = WriteCombinationTable(layout, slots, boneCombinationTable)) < 0) {
    m->Release();
    return hr;
  }
  *numBoneCombinations = static_cast<DWORD>(combos.size());

  if (adjacencyOut) m->GenerateAdjacency(0.0f, adjacencyOut);
  if (faceRemap) std::copy(layout.fremap.begin(), layout.fremap.end(), faceRemap);
  if (vertexRemap) {
    if (D3DXCreateBuffer(newNv * 4, vertexRemap) >= 0 && newNv)
      std::memcpy((*vertexRemap)->GetBufferPointer(), layout.vremap.data(), newNv * 4);
  }
  *out = m;
  return D3D_OK;
}

}  // namespace d3dx::detail

namespace d3dx {

D3DXVECTOR3 BlendPosition(const float* vertex, DWORD fvf, const D3DXMATRIX* const* matrices, DWORD slots) {
  DWORD nw = FVFBlendWeights(fvf);
  D3DXVECTOR3 p(vertex[0], vertex[1], vertex[2]);
  D3DXVECTOR3 out(0, 0, 0);
  float rest = 1.0f;
  DWORD n = std::min(slots, nw + 1);
  for (DWORD k = 0; k < n; ++k) {
    float w = (k + 1 < n) ? vertex[3 + k] : rest;
    rest -= (k + 1 < n) ? w : 0.0f;
    if (!matrices[k] || w == 0.0f) continue;
    D3DXVECTOR3 t;
    D3DXVec3TransformCoord(&t, &p, matrices[k]);
    out.x += w * t.x;
    out.y += w * t.y;
    out.z += w * t.z;
  }
  return out;
}

}  // namespace d3dx
