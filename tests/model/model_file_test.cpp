// The model file loader: child order, animation targets and tracks, textures through the
// callback, bounding sphere, bone binding, world matrices and failure handling.
#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <iterator>

#include "model_test_util.h"

using namespace scene;
using namespace scene_test;

namespace {

std::vector<std::uint8_t> ReadFile(const std::string& name) {
  std::ifstream f(std::string(HOARDEL_TESTDATA_DIR) + "/x/" + name, std::ios::binary);
  return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

void ExpectMatrixNear(const D3DXMATRIX& a, const D3DXMATRIX& b, float eps) {
  for (int i = 0; i < 16; ++i) EXPECT_NEAR((&a._11)[i], (&b._11)[i], eps) << "element " << i;
}

// A structural fingerprint of a loaded model: frames, matrices, meshes, materials, keys.
void Fingerprint(const Frame* f, std::string* out) {
  for (; f; f = f->sibling) {
    *out += "[" + f->name + (f->isAnimation ? " anim" : "") + "]";
    out->append(reinterpret_cast<const char*>(&f->local), sizeof(D3DXMATRIX));
    for (const MeshContainer* c = f->meshes; c; c = c->next) {
      d3dx::ID3DXMesh* m = c->mesh;
      d3d8::BYTE* p = nullptr;
      m->LockVertexBuffer(d3d8::D3DLOCK_READONLY, &p);
      out->append(reinterpret_cast<const char*>(p), m->GetNumVertices() * d3dx::FVFVertexSize(m->GetFVF()));
      m->UnlockVertexBuffer();
      m->LockIndexBuffer(d3d8::D3DLOCK_READONLY, &p);
      out->append(reinterpret_cast<const char*>(p), m->GetNumFaces() * 3 * ((m->GetOptions() & 1) ? 4 : 2));
      m->UnlockIndexBuffer();
      out->append(reinterpret_cast<const char*>(c->materials.data()), c->materials.size() * sizeof(d3d8::D3DMATERIAL8));
      *out += std::to_string(c->subsetCount) + "/" + std::to_string(c->BoneCount());
    }
    *out += std::to_string(f->matrixKeys.size()) + std::to_string(f->rotationKeys.size()) +
            std::to_string(f->positionKeys.size()) + std::to_string(f->scaleKeys.size());
    if (f->animatedFrame) *out += "->" + f->animatedFrame->name;
    Fingerprint(f->firstChild, out);
  }
}

std::vector<std::string> g_textureNames;
HRESULT RecordingCallback(d3d8::IDirect3DDevice8*, const char* name, d3d8::IDirect3DTexture8** texture) {
  g_textureNames.push_back(name);
  *texture = nullptr;
  return static_cast<HRESULT>(0x80004005u);
}

}  // namespace

TEST(ModelFile, ChildrenAreVisitedFirstLastThenBackwards) {
  xfile::Writer w;
  xfile::WriteObject& p = w.AddFrame("Parent", kIdentity);
  for (const char* n : {"c1", "c2", "c3", "c4", "c5"}) xfile::Writer::AddFrame(p, n, kIdentity);
  w.AddFrame("Second", kIdentity);
  ModelFile m;
  ASSERT_EQ(Load(m, Save(w)), 0);
  std::vector<std::string> order;
  for (Frame* c = m.FindFrame("Parent", MatchMode::Exact)->firstChild; c; c = c->sibling) order.push_back(c->name);
  EXPECT_EQ(order, (std::vector<std::string>{"c1", "c5", "c4", "c3", "c2"}));
  // The top-level objects hang under an unnamed root the same way.
  Frame* root = m.currentModel()->root;
  EXPECT_FALSE(root->hasName);
  EXPECT_EQ(root->firstChild->name, "Parent");
  EXPECT_EQ(root->firstChild->sibling->name, "Second");
  // Search: exact and substring, depth first.
  EXPECT_EQ(m.FindFrame("c", MatchMode::Exact), nullptr);
  EXPECT_EQ(m.FindFrame("c", MatchMode::Substring)->name, "c1");
  EXPECT_EQ(m.FindFrame("cond", MatchMode::Substring)->name, "Second");
}

TEST(ModelFile, MissingAnimationTargetFailsAndKeepsThePreviousModel) {
  xfile::Writer good;
  good.AddFrame("Kept", kIdentity);
  ModelFile m;
  ASSERT_EQ(Load(m, Save(good)), 0);
  LoadedModel* before = m.currentModel();

  xfile::Writer bad;
  bad.AddFrame("Body", kIdentity);
  xfile::WriteObject& set = bad.Add("AnimationSet", "Anim-00");
  xfile::WriteMatrixAnimation(set, "NoSuchFrame", {{0, {}}});
  EXPECT_EQ(Load(m, Save(bad)), static_cast<HRESULT>(0x80070057u));
  EXPECT_EQ(m.currentModel(), before);
  EXPECT_NE(m.FindFrame("Kept", MatchMode::Exact), nullptr);
  EXPECT_EQ(m.FindFrame("Body", MatchMode::Exact), nullptr);

  // A second reference in one animation and an unknown key type fail the same way.
  xfile::Writer twice;
  twice.AddFrame("A", kIdentity);
  twice.AddFrame("B", kIdentity);
  xfile::WriteObject& anim = twice.Add("AnimationSet").Add("Animation");
  anim.AddReference("A");
  anim.AddReference("B");
  EXPECT_EQ(Load(m, Save(twice)), static_cast<HRESULT>(0x80070057u));
  xfile::Writer keyType;
  keyType.AddFrame("A", kIdentity);
  xfile::WriteObject& a2 = keyType.Add("AnimationSet").Add("Animation");
  a2.AddReference("A");
  xfile::WriteVectorKeys(a2, 3, {{0, {1, 2, 3, 0}}});
  EXPECT_EQ(Load(m, Save(keyType)), static_cast<HRESULT>(0x80070057u));
  EXPECT_EQ(m.currentModel(), before);

  // Damaged bytes fail with a code and change nothing either.
  std::vector<std::uint8_t> damaged = Save(good, xfile::SaveFormat::Binary);
  damaged.resize(damaged.size() - 3);
  EXPECT_LT(Load(m, damaged), 0);
  EXPECT_EQ(m.currentModel(), before);
  EXPECT_EQ(m.models(), before);
  EXPECT_EQ(before->next, nullptr);
}

TEST(ModelFile, UnresolvedTextureLeavesANullTexture) {
  xfile::Writer w;
  xfile::WriteObject& f = w.AddFrame("Box", kIdentity);
  xfile::MeshDesc d = Triangles({{0, 0, 0, 1, 0, 0, 0, 1, 0}, {0, 0, 1, 1, 0, 1, 0, 1, 1}}, {0, 1}, 2);
  d.materials[0].textureFile = "Textures\\missing.jpg";
  d.materials[0].diffuse[0] = 0.75f;
  xfile::WriteMesh(f, d);
  ModelFile m;
  m.SetTextureCallback(RecordingCallback);
  g_textureNames.clear();
  ASSERT_EQ(Load(m, Save(w)), 0);
  EXPECT_EQ(g_textureNames, (std::vector<std::string>{"Textures\\missing.jpg"}));
  MeshContainer* c = m.FindFrame("Box", MatchMode::Exact)->meshes;
  ASSERT_NE(c, nullptr);
  EXPECT_EQ(c->materialCount, 2u);
  EXPECT_EQ(c->subsetCount, 2u);
  ASSERT_EQ(c->textures.size(), 2u);
  EXPECT_EQ(c->textures[0], nullptr);
  EXPECT_EQ(c->materials[0].Diffuse.r, 0.75f);
  EXPECT_EQ(c->visibleFlags, (std::vector<std::int32_t>{1, 1}));
  EXPECT_EQ(c->subsetMaterialIndex, (std::vector<std::int32_t>{0, 1}));

  // Without a material list: one grey material with a null texture.
  xfile::Writer plain;
  xfile::WriteMesh(plain.AddFrame("Plain", kIdentity), Triangles({{0, 0, 0, 1, 0, 0, 0, 1, 0}}, {}, 0));
  ASSERT_EQ(Load(m, Save(plain)), 0);
  c = m.FindFrame("Plain", MatchMode::Exact)->meshes;
  ASSERT_EQ(c->materials.size(), 1u);
  EXPECT_EQ(c->materials[0].Diffuse.r, 0.5f);
  EXPECT_EQ(c->materials[0].Diffuse.a, 0.0f);
  EXPECT_EQ(c->materials[0].Specular.g, 0.5f);
  EXPECT_EQ(c->materials[0].Ambient.r, 0.0f);
  EXPECT_EQ(c->subsetCount, 1u);
}

TEST(ModelFile, TwoIdenticalMatrixKeysHoldTheFrame) {
  D3DXMATRIX r, t, key;
  d3dx::D3DXMatrixRotationYawPitchRoll(&r, 0.3f, -0.7f, 1.1f);
  d3dx::D3DXMatrixTranslation(&t, 5, -2, 40);
  d3dx::D3DXMatrixMultiply(&key, &r, &t);
  xfile::Writer w;
  w.AddFrame("Dragon", kIdentity);
  xfile::MatrixKeyDesc k0{0, {}}, k1{16160, {}};
  std::memcpy(k0.matrix, &key, 64);
  std::memcpy(k1.matrix, &key, 64);
  xfile::WriteMatrixAnimation(w.Add("AnimationSet", "Anim-00"), "Dragon", {k0, k1});
  ModelFile m;
  ASSERT_EQ(Load(m, Save(w)), 0);
  Frame* dragon = m.FindFrame("Dragon", MatchMode::Exact);
  ASSERT_NE(m.currentModel()->animatedFrames, nullptr);
  EXPECT_EQ(m.currentModel()->animatedFrames->animatedFrame, dragon);
  for (float dt : {0.0f, 0.01f, 1.7f, 3.3f, 0.5f}) {
    m.Advance(dt);
    ExpectMatrixNear(dragon->local, key, 1e-4f);
  }
  // The set and the animation are animation frames; the set is named.
  Frame* set = m.FindFrame("Anim-00", MatchMode::Exact);
  ASSERT_NE(set, nullptr);
  EXPECT_TRUE(set->isAnimation);
  EXPECT_TRUE(set->firstChild->isAnimation);
}

TEST(ModelFile, VectorTracksInterpolateAndWrapOnTheirOwn) {
  xfile::Writer w;
  w.AddFrame("Mover", kIdentity);
  xfile::WriteObject& anim = w.Add("AnimationSet").Add("Animation");
  anim.AddReference("Mover");
  xfile::WriteVectorKeys(anim, 2, {{0, {0, 0, 0, 0}}, {4800, {10, -20, 4, 0}}});
  // File rotation keys are w, x, y, z: 90 degrees about y.
  float h = std::sqrt(0.5f);
  xfile::WriteVectorKeys(anim, 0, {{0, {h, 0, h, 0}}, {9600, {h, 0, h, 0}}});
  xfile::WriteVectorKeys(anim, 1, {{0, {2, 2, 2, 0}}, {9600, {2, 2, 2, 0}}});
  ModelFile m;
  ASSERT_EQ(Load(m, Save(w, xfile::SaveFormat::Text)), 0);
  Frame* f = m.FindFrame("Mover", MatchMode::Exact);
  m.Advance(0.25f);  // 1200 ticks: a quarter of the position track
  D3DXMATRIX s, rot, tr, expect;
  d3dx::D3DXMatrixScaling(&s, 2, 2, 2);
  // The file's quaternion is applied conjugated: -90 degrees about y.
  d3dx::D3DXMatrixRotationY(&rot, -1.5707963f);
  d3dx::D3DXMatrixTranslation(&tr, 2.5f, -5, 1);
  d3dx::D3DXMatrixMultiply(&expect, &s, &rot);
  d3dx::D3DXMatrixMultiply(&expect, &expect, &tr);
  ExpectMatrixNear(f->local, expect, 1e-4f);
  // 1.25 s = 6000 ticks: the position track (4800 long) wraps to 1200 again.
  m.Advance(1.0f);
  EXPECT_NEAR(f->local._41, 2.5f, 1e-3f);
  EXPECT_NEAR(f->local._42, -5.0f, 1e-3f);
  // A clock past 1e15 ticks restarts at 0.
  m.currentModel()->time = 9.99e14f;
  m.Advance(1e9f);
  EXPECT_EQ(m.currentModel()->time, 0.0f);
}

TEST(ModelFile, BoundingSphereSkipsOriginVerticesAndUsesFrameMatrices) {
  xfile::Writer w;
  float shift[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 10, 0, 0, 1};
  xfile::WriteObject& outer = w.AddFrame("Outer", shift);
  xfile::WriteObject& inner = xfile::Writer::AddFrame(outer, "Inner", shift);
  xfile::MeshDesc d;
  d.positions = {0, 0, 0, 2, 0, 0, 4, 0, 0, 3, 0, 0};
  d.faces = {{0, 1, 2}, {1, 2, 3}};
  xfile::WriteMesh(inner, d);
  ModelFile m;
  EXPECT_EQ(m.ModelRadius(), 0.0f);
  ASSERT_EQ(Load(m, Save(w)), 0);
  // (2, 4, 3) shifted by 20: centre 23, radius 1; the origin vertex is ignored.
  EXPECT_NEAR(m.ModelCentre().x, 23.0f, 1e-4f);
  EXPECT_NEAR(m.ModelCentre().y, 0.0f, 1e-6f);
  EXPECT_NEAR(m.ModelRadius(), 1.0f, 1e-4f);
  // World matrices: child = local x parent.
  D3DXMATRIX p;
  d3dx::D3DXMatrixRotationZ(&p, 0.5f);
  m.UpdateWorldMatrices(p);
  D3DXMATRIX expect;
  Frame* in = m.FindFrame("Inner", MatchMode::Exact);
  Frame* out = m.FindFrame("Outer", MatchMode::Exact);
  d3dx::D3DXMatrixMultiply(&expect, &out->local, &p);
  d3dx::D3DXMatrixMultiply(&expect, &in->local, &expect);
  ExpectMatrixNear(in->world, expect, 1e-5f);
}

TEST(ModelFile, SkinnedModelBindsBonesAndBlends) {
  ModelFile m(( std::string(HOARDEL_TESTDATA_DIR) + "/x/tiny.x").c_str());
  ASSERT_EQ(m.AttachDevice(nullptr), 0);
  MeshContainer* skinned = nullptr;
  std::vector<Frame*> stack{m.currentModel()->root};
  while (!stack.empty()) {
    Frame* f = stack.back();
    stack.pop_back();
    if (f->meshes && f->meshes->skinInfo) skinned = f->meshes;
    if (f->sibling) stack.push_back(f->sibling);
    if (f->firstChild) stack.push_back(f->firstChild);
  }
  ASSERT_NE(skinned, nullptr);
  ASSERT_EQ(skinned->BoneCount(), 35u);
  for (DWORD i = 0; i < skinned->BoneCount(); ++i) {
    Frame* bone = m.FindFrame(skinned->BoneName(i), MatchMode::Exact);
    ASSERT_NE(bone, nullptr) << skinned->BoneName(i);
    EXPECT_EQ(skinned->boneMatrixPointers[i], &bone->world);
  }
  EXPECT_GE(skinned->maxFaceInfluences, 2u);
  EXPECT_EQ(skinned->subsetCount, skinned->visibleFlags.size());
  EXPECT_GT(skinned->subsetCount, 1u);
  EXPECT_EQ(skinned->splitSubsetIndex, skinned->subsetCount);  // no device: no split
  const auto* bc = skinned->BoneCombinations();
  for (DWORD i = 0; i < skinned->subsetCount; ++i) EXPECT_LT(bc[i].AttribId, skinned->materialCount);
  // 47 animations drive named frames.
  int animated = 0;
  for (Frame* a = m.currentModel()->animatedFrames; a; a = a->nextAnimated) {
    EXPECT_NE(a->animatedFrame, nullptr);
    ++animated;
  }
  EXPECT_EQ(animated, 47);
  EXPECT_LT(ModelFile("x").AttachDevice(nullptr), 0);
  EXPECT_EQ(ModelFile("x").AttachDevice(nullptr), static_cast<HRESULT>(0x80004005u));
  EXPECT_EQ(ModelFile().AttachDevice(nullptr), 0);
}

TEST(ModelFile, EveryFormOfAModelLoadsIdentically) {
  auto fingerprint = [](const std::vector<std::uint8_t>& bytes) {
    ModelFile m;
    EXPECT_EQ(Load(m, bytes), 0);
    std::string s;
    if (m.currentModel()) Fingerprint(m.currentModel()->root, &s);
    s += std::to_string(m.ModelRadius());
    return s;
  };
  std::string bin = fingerprint(ReadFile("test_cube_binary.x"));
  EXPECT_GT(bin.size(), 100u);
  EXPECT_EQ(fingerprint(ReadFile("test_cube_compressed.x")), bin);
  // Through our writer: text -> binary -> compressed gives the same model.
  for (const char* name : {"tiny.x", "BCN_Epileptic.X", "lobby_skybox.x"}) {
    SCOPED_TRACE(name);
    std::vector<std::uint8_t> original = ReadFile(name), bin2, zip;
    std::string f0 = fingerprint(original);
    ASSERT_EQ(xfile::ConvertFile(original.data(), static_cast<DWORD>(original.size()), xfile::SaveFormat::Binary, &bin2), 0);
    ASSERT_EQ(xfile::ConvertFile(bin2.data(), static_cast<DWORD>(bin2.size()), xfile::SaveFormat::CompressedBinary, &zip), 0);
    EXPECT_EQ(fingerprint(bin2), f0);
    EXPECT_EQ(fingerprint(zip), f0);
  }
}
