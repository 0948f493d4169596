// D3DX meshes and the skinned-mesh loader, on the CPU (no device): triangulation, vertex
// splitting by normals, materials, attribute sorting, adjacency, cloning and the blended
// mesh against a direct CPU skinning of the original vertices.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>

#include "platform/d3dx/skin.h"
#include "platform/xfile/xfile_writer.h"
#include "xfile_util.h"

using namespace d3dx;
using namespace xfile_test;

namespace {

// The first Mesh object of a .X image, or null.
xfile::IDirectXFileData* FindMesh(xfile::IDirectXFileData* d) {
  const xfile::GUID* t = nullptr;
  d->GetType(&t);
  if (*t == xfile::TID_D3DRMMesh) {
    d->AddRef();
    return d;
  }
  xfile::IDirectXFileObject* c = nullptr;
  xfile::IDirectXFileData* found = nullptr;
  while (!found && d->GetNextObject(&c) >= 0) {
    if (auto* cd = c->AsData()) found = FindMesh(cd);
    c->Release();
  }
  return found;
}

struct Loaded {
  ID3DXBuffer *adjacency = nullptr, *materials = nullptr, *boneNames = nullptr, *offsets = nullptr;
  DWORD numMaterials = 0;
  ID3DXSkinMesh* skin = nullptr;
  HRESULT hr = -1;
  ~Loaded() {
    for (ID3DXBuffer* b : {adjacency, materials, boneNames, offsets})
      if (b) b->Release();
    if (skin) skin->Release();
  }
};

void LoadFirstMesh(const std::vector<std::uint8_t>& bytes, Loaded* out) {
  xfile::IDirectXFile* file = nullptr;
  xfile::DirectXFileCreate(&file);
  xfile::DXFILELOADMEMORY mem{bytes.data(), static_cast<DWORD>(bytes.size())};
  xfile::IDirectXFileEnumObject* en = nullptr;
  ASSERT_EQ(file->CreateEnumObject(&mem, xfile::DXFILELOAD_FROMMEMORY, &en), 0);
  xfile::IDirectXFileData* d = nullptr;
  xfile::IDirectXFileData* mesh = nullptr;
  while (!mesh && en->GetNextDataObject(&d) >= 0) {
    mesh = FindMesh(d);
    d->Release();
  }
  ASSERT_NE(mesh, nullptr);
  out->hr = D3DXLoadSkinMeshFromXof(mesh, 0, nullptr, &out->adjacency, &out->materials, &out->numMaterials,
                                    &out->boneNames, &out->offsets, &out->skin);
  mesh->Release();
  en->Release();
  file->Release();
}

const float* Vertex(ID3DXMesh* m, const BYTE* vb, DWORD v) {
  return reinterpret_cast<const float*>(vb + static_cast<std::size_t>(v) * FVFVertexSize(m->GetFVF()));
}

DWORD Index(ID3DXMesh* m, const BYTE* ib, DWORD i) {
  if (m->GetOptions() & D3DXMESH_32BIT) {
    DWORD v;
    std::memcpy(&v, ib + i * 4, 4);
    return v;
  }
  std::uint16_t s;
  std::memcpy(&s, ib + i * 2, 2);
  return s;
}

}  // namespace

TEST(D3DXSkinMeshLoader, TriangulatesSplitsByNormalAndReadsMaterials) {
  xfile::Writer w;
  xfile::MeshDesc d;
  d.positions = {0, 0, 0, 1, 0, 0, 1, 1, 0, 0, 1, 0, 0, 0, 1};
  d.faces = {{0, 1, 2, 3}, {0, 3, 4}};
  d.texcoords = {0, 0, 1, 0, 1, 1, 0, 1, 0.5f, 0.5f};
  xfile::MaterialDesc a, b;
  a.textureFile = "wall.jpg";
  a.diffuse[1] = 0.25f;
  d.materials = {a, b};
  d.faceMaterials = {1, 0};
  xfile::WriteObject& m = xfile::WriteMesh(w, d);
  // Normals: the quad faces +z, the triangle -x, so vertices 0 and 3 carry two normals.
  float normals[6] = {0, 0, 1, -1, 0, 0};
  std::uint32_t quad[4] = {0, 0, 0, 0}, tri[3] = {1, 1, 1};
  m.Add("MeshNormals").Int(2).Floats(normals, 6).Int(2).Int(4).Ints(quad, 4).Int(3).Ints(tri, 3);
  std::vector<std::uint8_t> bytes;
  ASSERT_EQ(w.Save(xfile::SaveFormat::Binary, &bytes), 0);
  Loaded l;
  LoadFirstMesh(bytes, &l);
  ASSERT_EQ(l.hr, 0);
  ID3DXMesh* mesh = nullptr;
  ASSERT_EQ(l.skin->GetOriginalMesh(&mesh), 0);
  EXPECT_EQ(l.skin->GetNumBones(), 0u);
  EXPECT_EQ(mesh->GetNumFaces(), 3u);
  EXPECT_EQ(mesh->GetNumVertices(), 7u);  // 5 positions + copies of 0 and 3 with the second normal
  EXPECT_EQ(mesh->GetFVF(), d3d8::D3DFVF_XYZ | d3d8::D3DFVF_NORMAL | d3d8::D3DFVF_TEX1);
  BYTE *vb = nullptr, *ib = nullptr;
  DWORD* attr = nullptr;
  mesh->LockVertexBuffer(d3d8::D3DLOCK_READONLY, &vb);
  mesh->LockIndexBuffer(d3d8::D3DLOCK_READONLY, &ib);
  mesh->LockAttributeBuffer(d3d8::D3DLOCK_READONLY, &attr);
  // Fan of the quad, then the triangle; each corner has its face's normal.
  DWORD expectPos[9] = {0, 1, 2, 0, 2, 3, 0, 3, 4};
  float expectNz[9] = {1, 1, 1, 1, 1, 1, 0, 0, 0};
  for (DWORD i = 0; i < 9; ++i) {
    const float* v = Vertex(mesh, vb, Index(mesh, ib, i));
    EXPECT_EQ(v[0], d.positions[expectPos[i] * 3]) << i;
    EXPECT_EQ(v[2], d.positions[expectPos[i] * 3 + 2]) << i;
    EXPECT_EQ(v[5], expectNz[i]) << i;
    EXPECT_EQ(v[6], d.texcoords[expectPos[i] * 2]) << i;
  }
  EXPECT_EQ(attr[0], 1u);
  EXPECT_EQ(attr[1], 1u);
  EXPECT_EQ(attr[2], 0u);
  ASSERT_EQ(l.numMaterials, 2u);
  const auto* mats = static_cast<const D3DXMATERIAL*>(l.materials->GetBufferPointer());
  EXPECT_STREQ(mats[0].pTextureFilename, "wall.jpg");
  EXPECT_EQ(mats[0].MatD3D.Diffuse.g, 0.25f);
  EXPECT_EQ(mats[1].pTextureFilename, nullptr);
  // Adjacency: quad halves share edge 0-2, the triangle shares 0-3 with the second half.
  const auto* adj = static_cast<const DWORD*>(l.adjacency->GetBufferPointer());
  EXPECT_EQ(adj[2], 1u);  // face 0 edge (2,0)
  EXPECT_EQ(adj[3], 0u);  // face 1 edge (0,2)
  EXPECT_EQ(adj[5], 2u);  // face 1 edge (3,0) meets the triangle's (0,3) by position
  mesh->UnlockAttributeBuffer();
  mesh->UnlockIndexBuffer();
  mesh->UnlockVertexBuffer();

  // Attribute sort: stable, table ranges, face remap.
  DWORD remap[3];
  ASSERT_EQ(mesh->OptimizeInplace(D3DXMESHOPT_ATTRSORT, nullptr, nullptr, remap, nullptr), 0);
  EXPECT_EQ(remap[0], 2u);
  EXPECT_EQ(remap[1], 0u);
  EXPECT_EQ(remap[2], 1u);
  DWORD n = 0;
  mesh->GetAttributeTable(nullptr, &n);
  ASSERT_EQ(n, 2u);
  D3DXATTRIBUTERANGE t[2];
  mesh->GetAttributeTable(t, &n);
  EXPECT_EQ(t[0].AttribId, 0u);
  EXPECT_EQ(t[0].FaceStart, 0u);
  EXPECT_EQ(t[0].FaceCount, 1u);
  EXPECT_EQ(t[1].AttribId, 1u);
  EXPECT_EQ(t[1].FaceCount, 2u);
  // Vertices follow first use, so each range's vertices are contiguous.
  EXPECT_EQ(t[0].VertexStart, 0u);
  EXPECT_EQ(t[0].VertexCount, 3u);

  // Cloning to 32-bit indices and a position-only format keeps the geometry.
  ID3DXMesh* clone = nullptr;
  ASSERT_EQ(mesh->CloneMeshFVF(D3DXMESH_32BIT, d3d8::D3DFVF_XYZ, nullptr, &clone), 0);
  BYTE *cvb = nullptr, *cib = nullptr;
  clone->LockVertexBuffer(d3d8::D3DLOCK_READONLY, &cvb);
  clone->LockIndexBuffer(d3d8::D3DLOCK_READONLY, &cib);
  mesh->LockVertexBuffer(d3d8::D3DLOCK_READONLY, &vb);
  mesh->LockIndexBuffer(d3d8::D3DLOCK_READONLY, &ib);
  for (DWORD i = 0; i < 9; ++i) {
    EXPECT_EQ(Index(clone, cib, i), Index(mesh, ib, i));
    const float* a0 = Vertex(mesh, vb, Index(mesh, ib, i));
    const float* b0 = Vertex(clone, cvb, Index(clone, cib, i));
    EXPECT_EQ(std::memcmp(a0, b0, 12), 0);
  }
  clone->Release();
  mesh->Release();
}

TEST(D3DXMesh, AdjacencyWithEpsilonJoinsNearPoints) {
  ID3DXMesh* m = nullptr;
  ASSERT_EQ(D3DXCreateMeshFVF(2, 6, 0, d3d8::D3DFVF_XYZ, nullptr, &m), 0);
  BYTE* vb = nullptr;
  m->LockVertexBuffer(0, &vb);
  // Two triangles with duplicated, slightly displaced shared corners.
  float p[18] = {0, 0, 0, 1, 0, 0, 0, 1, 0, 1, 0.00001f, 0, 1, 1, 0, 0, 1.00001f, 0};
  std::memcpy(vb, p, sizeof p);
  m->UnlockVertexBuffer();
  BYTE* ib = nullptr;
  m->LockIndexBuffer(0, &ib);
  std::uint16_t idx[6] = {0, 1, 2, 3, 4, 5};
  std::memcpy(ib, idx, sizeof idx);
  m->UnlockIndexBuffer();
  DWORD adj[6];
  ASSERT_EQ(m->GenerateAdjacency(0.0f, adj), 0);
  for (DWORD a : adj) EXPECT_EQ(a, UNUSED32);
  ASSERT_EQ(m->GenerateAdjacency(0.001f, adj), 0);
  EXPECT_EQ(adj[1], 1u);  // edge (1,2) of face 0 meets (5,3) of face 1
  EXPECT_EQ(adj[5], 0u);
  m->Release();
  EXPECT_LT(D3DXCreateMeshFVF(0, 3, 0, d3d8::D3DFVF_XYZ, nullptr, &m), 0);
  EXPECT_LT(D3DXCreateMeshFVF(1, 70000, 0, d3d8::D3DFVF_XYZ, nullptr, &m), 0);
}

TEST(D3DXSkinMeshLoader, BlendedMeshMatchesDirectSkinning) {
  Loaded l;
  LoadFirstMesh(ReadFile(TestData("tiny.x")), &l);
  ASSERT_EQ(l.hr, 0);
  ASSERT_EQ(l.skin->GetNumBones(), 35u);
  DWORD maxFace = 0;
  l.skin->GetMaxFaceInfluences(&maxFace);
  EXPECT_GE(maxFace, 2u);
  EXPECT_LE(maxFace, 4u);
  DWORD combos = 0;
  ID3DXBuffer* table = nullptr;
  ID3DXMesh* blended = nullptr;
  std::vector<DWORD> faceRemap(20000);
  ID3DXBuffer* vremap = nullptr;
  ASSERT_EQ(l.skin->ConvertToBlendedMesh(0, nullptr, nullptr, &combos, &table, faceRemap.data(), &vremap, &blended), 0);
  DWORD slots = FVFBlendWeights(blended->GetFVF()) + 1;
  EXPECT_EQ(slots, maxFace);
  EXPECT_GT(combos, 1u);

  // Random bone matrices; direct skinning of the original vertex vs the blended vertex.
  std::mt19937 rng(3);
  std::uniform_real_distribution<float> u(-1, 1);
  std::vector<D3DXMATRIX> bones(35);
  for (auto& b : bones) {
    D3DXMATRIX r, t;
    D3DXMatrixRotationYawPitchRoll(&r, u(rng), u(rng), u(rng));
    D3DXMatrixTranslation(&t, 10 * u(rng), 10 * u(rng), 10 * u(rng));
    D3DXMatrixMultiply(&b, &r, &t);
  }
  ID3DXMesh* orig = nullptr;
  l.skin->GetOriginalMesh(&orig);
  std::vector<std::vector<std::pair<DWORD, float>>> inf(orig->GetNumVertices());
  for (DWORD b = 0; b < 35; ++b) {
    DWORD n = l.skin->GetNumBoneInfluences(b);
    std::vector<DWORD> v(n);
    std::vector<float> w(n);
    l.skin->GetBoneInfluence(b, v.data(), w.data());
    for (DWORD i = 0; i < n; ++i) inf[v[i]].push_back({b, w[i]});
  }
  BYTE *ovb = nullptr, *bvb = nullptr;
  orig->LockVertexBuffer(d3d8::D3DLOCK_READONLY, &ovb);
  blended->LockVertexBuffer(d3d8::D3DLOCK_READONLY, &bvb);
  const auto* bc = static_cast<const D3DXBONECOMBINATION*>(table->GetBufferPointer());
  const auto* vr = static_cast<const DWORD*>(vremap->GetBufferPointer());
  DWORD checked = 0;
  double worst = 0;
  for (DWORD c = 0; c < combos; ++c) {
    const D3DXMATRIX* ms[4] = {};
    for (DWORD k = 0; k < slots; ++k)
      if (bc[c].BoneId[k] != UNUSED32) ms[k] = &bones[bc[c].BoneId[k]];
    for (DWORD v = bc[c].VertexStart; v < bc[c].VertexStart + bc[c].VertexCount; ++v) {
      D3DXVECTOR3 got = BlendPosition(Vertex(blended, bvb, v), blended->GetFVF(), ms, slots);
      const float* o = Vertex(orig, ovb, vr[v]);
      D3DXVECTOR3 p(o[0], o[1], o[2]), want(0, 0, 0);
      float sum = 0;
      for (auto [b, w] : inf[vr[v]]) sum += w;
      for (auto [b, w] : inf[vr[v]]) {
        D3DXVECTOR3 t;
        D3DXVec3TransformCoord(&t, &p, &bones[b]);
        want += t * (w / sum);
      }
      if (inf[vr[v]].empty()) continue;
      D3DXVECTOR3 diff = got - want;
      worst = std::max<double>(worst, D3DXVec3Length(&diff));
      ++checked;
    }
  }
  EXPECT_GT(checked, 4000u);
  EXPECT_LT(worst, 1e-2);  // model units are ~100s
  orig->UnlockVertexBuffer();
  blended->UnlockVertexBuffer();
  // Faces of one combination use only its bones' vertices and form one subset.
  DWORD n = 0;
  blended->GetAttributeTable(nullptr, &n);
  EXPECT_EQ(n, combos);
  orig->Release();
  blended->Release();
  table->Release();
  vremap->Release();
}

TEST(D3DXSkinMeshLoader, OutOfRangeWeightsAreDroppedAndBadIndicesFail) {
  Loaded l;
  LoadFirstMesh(ReadFile(TestData("malformed_skinweights_oob.x")), &l);
  ASSERT_EQ(l.hr, 0);
  ID3DXMesh* m = nullptr;
  l.skin->GetOriginalMesh(&m);
  for (DWORD b = 0; b < l.skin->GetNumBones(); ++b) {
    DWORD n = l.skin->GetNumBoneInfluences(b);
    std::vector<DWORD> v(n);
    std::vector<float> w(n);
    l.skin->GetBoneInfluence(b, v.data(), w.data());
    for (DWORD x : v) EXPECT_LT(x, m->GetNumVertices());
  }
  m->Release();

  xfile::Writer w;
  xfile::MeshDesc d;
  d.positions = {0, 0, 0, 1, 0, 0, 0, 1, 0};
  d.faces = {{0, 1, 7}};
  xfile::WriteMesh(w, d);
  std::vector<std::uint8_t> bytes;
  ASSERT_EQ(w.Save(xfile::SaveFormat::Text, &bytes), 0);
  Loaded bad;
  LoadFirstMesh(bytes, &bad);
  EXPECT_EQ(bad.hr, D3DXERR_INVALIDDATA);
  EXPECT_EQ(bad.skin, nullptr);
}

// A file may declare its own layout under the identifier or name of a standard template; a
// string is then read only where that layout puts one, never as a pointer made of other
// bytes. The first file is the campaign's reduced finding (it crashed in ReadSkinWeights).
TEST(D3DXSkinMeshLoader, StringMembersAreReadOnlyWhereTheFileLaysOutAString) {
  static const char kReduced[] =
      "xof 0303txt 0032template SkinW{<6f0d123b-bad2-4167-a0d0-80224f25fabb>WORD;DWORD;WORD;}"
      "Mesh{0;0SkinW{0 1\0" "0}}";
  Loaded reduced;
  LoadFirstMesh(std::vector<std::uint8_t>(kReduced, kReduced + sizeof kReduced - 1), &reduced);
  EXPECT_EQ(reduced.hr, D3DXERR_INVALIDDATA);

  const std::string skin =
      "xof 0303txt 0032\n"
      "template SkinWeights { <6f0d123b-bad2-4167-a0d0-80224f25fabb> DWORD a; DWORD b; DWORD c; }\n"
      "Mesh { 3; 0;0;0;, 1;0;0;, 0;1;0;; 1; 3;0,1,2;;\n"
      "  SkinWeights { 1; 2; 3; } }\n";
  Loaded skinned;
  LoadFirstMesh(std::vector<std::uint8_t>(skin.begin(), skin.end()), &skinned);
  EXPECT_EQ(skinned.hr, D3DXERR_INVALIDDATA);

  // TextureFilename is also recognised by name: a numeric one names no texture.
  const std::string texture =
      "xof 0303txt 0032\n"
      "template TextureFilename { <aaaaaaaa-0000-0000-0000-000000000001> DWORD a; DWORD b; DWORD c; }\n"
      "Mesh { 3; 0;0;0;, 1;0;0;, 0;1;0;; 1; 3;0,1,2;;\n"
      "  MeshMaterialList { 1; 1; 0;;\n"
      "    Material { 1;1;1;1;; 0; 0;0;0;; 0;0;0;; TextureFilename { 1; 2; 3; } } } }\n";
  Loaded textured;
  LoadFirstMesh(std::vector<std::uint8_t>(texture.begin(), texture.end()), &textured);
  ASSERT_EQ(textured.hr, 0);
  ASSERT_EQ(textured.numMaterials, 1u);
  const auto* mats = static_cast<const D3DXMATERIAL*>(textured.materials->GetBufferPointer());
  EXPECT_EQ(mats[0].pTextureFilename, nullptr);
}
