// Writing .X files: every form of one written model reads back as the same data, and
// third-party files survive text -> binary -> compressed conversion unchanged.
#include <gtest/gtest.h>

#include "platform/xfile/xfile_writer.h"
#include "xfile_util.h"

using namespace xfile;
using namespace xfile_test;

namespace {

const float kIdentity[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};

void BuildModel(Writer& w) {
  WriteObject& root = w.AddFrame("Scene_Root", kIdentity);
  float m[16] = {1, 0, 0, 0, 0, 0.5f, 0.25f, 0, 0, -0.25f, 0.5f, 0, 10.125f, -3, 0.1f, 1};
  WriteObject& floor = Writer::AddFrame(root, "floor", m);
  MeshDesc mesh;
  mesh.name = "floorMesh";
  mesh.positions = {0, 0, 0, 1, 0, 0, 1, 1, 0, 0, 1, 0, 0.333333f, 0.1f, 7.5e-8f};
  mesh.faces = {{0, 1, 2, 3}, {0, 2, 4}};
  mesh.normals = {0, 0, 1, 0, 0, 1, 0, 0, 1, 0, 0, 1, 0, 1, 0};
  mesh.texcoords = {0, 0, 1, 0, 1, 1, 0, 1, 0.5f, 0.5f};
  mesh.colors = {1, 0, 0, 1, 0, 1, 0, 1, 0, 0, 1, 1, 1, 1, 1, 0.5f, 0.2f, 0.2f, 0.2f, 1};
  MaterialDesc a, b;
  a.diffuse[0] = 0.8f;
  a.power = 12;
  a.textureFile = "floor.jpg";
  b.emissive[2] = 0.25f;
  mesh.materials = {a, b};
  mesh.faceMaterials = {1, 0};
  SkinWeightsDesc s0, s1;
  s0.boneName = "Bone00";
  s0.vertices = {0, 1, 2};
  s0.weights = {1, 0.5f, 0.25f};
  s1.boneName = "Bone01";
  s1.vertices = {1, 2, 3, 4};
  s1.weights = {0.5f, 0.75f, 1, 1};
  s1.offset[12] = -2;
  mesh.skin = {s0, s1};
  WriteMesh(floor, mesh);
  Writer::AddFrame(root, "Bone00", kIdentity);
  Writer::AddFrame(root, "Bone01", kIdentity);
  WriteObject& set = w.Add("AnimationSet", "Anim-00");
  WriteMatrixAnimation(set, "floor", {{0, {}}, {16160, {}}});
  WriteObject& anim = set.Add("Animation", "spin");
  anim.AddReference("Bone00");
  WriteVectorKeys(anim, 0, {{0, {1, 0, 0, 0}}, {100, {0.7071f, 0, 0.7071f, 0}}});
  WriteVectorKeys(anim, 2, {{0, {1, 2, 3, 0}}, {100, {4, 5, 6, 0}}});
}

}  // namespace

TEST(XFileWriter, EveryFormReadsBackAsTheSameData) {
  Writer w;
  BuildModel(w);
  std::vector<std::uint8_t> text, bin, zip, tzip, bin64;
  ASSERT_EQ(w.Save(SaveFormat::Text, &text), DXFILE_OK);
  ASSERT_EQ(w.Save(SaveFormat::Binary, &bin), DXFILE_OK);
  ASSERT_EQ(w.Save(SaveFormat::CompressedBinary, &zip), DXFILE_OK);
  ASSERT_EQ(w.Save(SaveFormat::CompressedText, &tzip), DXFILE_OK);
  ASSERT_EQ(w.Save(SaveFormat::Binary, &bin64, 64), DXFILE_OK);
  EXPECT_EQ(std::string(zip.begin(), zip.begin() + 16), "xof 0303bzip0032");
  EXPECT_EQ(std::string(tzip.begin(), tzip.begin() + 16), "xof 0303tzip0032");
  EXPECT_EQ(std::string(bin64.begin(), bin64.begin() + 16), "xof 0303bin 0064");
  Flat ft = FlattenMemory(text);
  ASSERT_EQ(ft.end, DXFILEERR_NOMOREOBJECTS);
  // 2 top-level objects; frames, matrices, mesh with 5 children, material children...
  EXPECT_GE(ft.lines.size(), 20u);
  EXPECT_EQ(FlattenMemory(bin).lines, ft.lines);
  EXPECT_EQ(FlattenMemory(zip).lines, ft.lines);
  EXPECT_EQ(FlattenMemory(tzip).lines, ft.lines);
  EXPECT_EQ(FlattenMemory(bin64).lines, ft.lines);
  // The skin templates are declared in the file for other readers.
  std::string s(text.begin(), text.end());
  EXPECT_NE(s.find("template SkinWeights"), std::string::npos);
  EXPECT_NE(s.find("template XSkinMeshHeader"), std::string::npos);
  EXPECT_EQ(s.find("template Mesh "), std::string::npos);
  EXPECT_NE(s.find("\"floor.jpg\";"), std::string::npos);
}

TEST(XFileWriter, ThirdPartyFilesConvertWithoutChange) {
  for (const char* name : {"tiny.x", "BCN_Epileptic.X", "test.x", "kwxport_test_cubewithvcolors.x", "tiger.x",
                           "skysphere.x", "fromtruespace_bin32.x", "GFX_items_firstaid.x", "anim_test.x"}) {
    SCOPED_TRACE(name);
    std::vector<std::uint8_t> original = ReadFile(TestData(name));
    Flat f0 = FlattenMemory(original);
    ASSERT_EQ(f0.end, DXFILEERR_NOMOREOBJECTS);
    std::vector<std::uint8_t> text, bin, zip;
    ASSERT_EQ(ConvertFile(original.data(), static_cast<DWORD>(original.size()), SaveFormat::Text, &text), DXFILE_OK);
    ASSERT_EQ(ConvertFile(text.data(), static_cast<DWORD>(text.size()), SaveFormat::Binary, &bin), DXFILE_OK);
    ASSERT_EQ(ConvertFile(bin.data(), static_cast<DWORD>(bin.size()), SaveFormat::CompressedBinary, &zip), DXFILE_OK);
    EXPECT_EQ(FlattenMemory(text).lines, f0.lines);
    EXPECT_EQ(FlattenMemory(bin).lines, f0.lines);
    EXPECT_EQ(FlattenMemory(zip).lines, f0.lines);
    EXPECT_LT(zip.size(), bin.size());
  }
}

TEST(XFileWriter, RefusesWhatTheTemplatesDoNotAllow) {
  std::vector<std::uint8_t> out;
  {
    Writer w;
    w.Add("NoSuchTemplate");
    EXPECT_EQ(w.Save(SaveFormat::Text, &out), DXFILEERR_NOTEMPLATE);
  }
  {
    Writer w;
    w.Add("Vector").Float(1).Float(2);  // one value short
    EXPECT_LT(w.Save(SaveFormat::Binary, &out), 0);
  }
  {
    Writer w;
    w.Add("Vector").Float(1).Float(2).Float(3).Float(4);  // one too many
    EXPECT_EQ(w.Save(SaveFormat::Binary, &out), DXFILEERR_BADVALUE);
  }
  {
    Writer w;
    w.Add("Frame", "two words");
    EXPECT_EQ(w.Save(SaveFormat::Text, &out), DXFILEERR_BADVALUE);
  }
  {
    Writer w;
    ASSERT_EQ(w.DeclareTemplates("template Tag { <01020304-0506-0708-090A-0B0C0D0E0F10> STRING text; }"), DXFILE_OK);
    w.Add("Tag", "t").String("hello");
    ASSERT_EQ(w.Save(SaveFormat::CompressedBinary, &out), DXFILE_OK);
    Flat f = FlattenMemory(out);
    ASSERT_EQ(f.lines.size(), 1u);
    EXPECT_NE(f.lines[0].find("\"hello\""), std::string::npos);
    EXPECT_NE(f.lines[0].find("01020304"), std::string::npos);
  }
}
