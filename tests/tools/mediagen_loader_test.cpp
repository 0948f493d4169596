// The generated room through the program's own model loader and scene-mesh collection:
// every named list of the room fills as the room's passes expect.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "room_parts.h"
#include "scene.h"
#include "model/model_file.h"
#include "model/scene_mesh.h"
#include "xexport.h"

namespace {

std::vector<std::string> g_requested;
scene::HRESULT Record(d3d8::IDirect3DDevice8*, const char* name, d3d8::IDirect3DTexture8** texture) {
  g_requested.push_back(name);
  *texture = nullptr;
  return static_cast<scene::HRESULT>(0x80004005u);
}

struct Loaded {
  mediagen::Scene room = mediagen::BuildRoom();
  mediagen::RoomInfo info = mediagen::DescribeRoom(room);
  scene::ModelFile model;
  std::vector<scene::SceneMesh> meshes;
  scene::HRESULT result = -1;
  Loaded() {
    std::vector<uint8_t> bytes;
    if (!mediagen::ExportRoom(room, &bytes)) return;
    model.SetTextureCallback(Record);
    model.AttachDevice(nullptr);
    result = model.LoadFromMemory(bytes.data(), static_cast<scene::DWORD>(bytes.size()));
    scene::CollectSceneMeshes(model, nullptr, meshes);
  }
};
Loaded& L() {
  static Loaded l;
  return l;
}

std::vector<std::string> Match(const std::vector<const char*>& texts, bool exact) {
  std::vector<std::string> out;
  for (const char* t : texts)
    for (auto& m : L().meshes) {
      const std::string& n = m.frame->name;
      if (exact ? n == t : n.find(t) != std::string::npos) {
        out.push_back(n);
        if (exact) break;
      }
    }
  return out;
}

TEST(MediagenLoader, RoomLoadsWithEveryNamedListFilled) {
  ASSERT_EQ(L().result, 0);
  EXPECT_EQ(Match({"gold", "golden_plate"}, true), (std::vector<std::string>{"gold", "golden_plate"}));
  EXPECT_EQ(Match({"crown"}, false).size(), 1u);
  EXPECT_GE(Match({"Cup", "cup"}, false).size(), 1u);
  EXPECT_GE(Match({"chest", "Chest", "fireplace", "floor", "golden_plate_base", "dead_knight", "sword", "BigShield25",
                   "RoundShield25"}, false).size(), 10u);
  EXPECT_EQ(Match({"giantgem"}, false), (std::vector<std::string>{"giantgem01", "giantgem"}));
  EXPECT_EQ(Match({"Draco"}, false), (std::vector<std::string>{"Draco"}));
  EXPECT_EQ(Match({"wall"}, false), (std::vector<std::string>{"wall04", "wall03", "wall02", "wall01"}));
  EXPECT_EQ(Match({"arches"}, false), (std::vector<std::string>{"arches04", "arches03", "arches02", "arches01"}));
  EXPECT_EQ(Match({"dome"}, true).size(), 1u);
  EXPECT_EQ(Match({"floor", "gold"}, true), (std::vector<std::string>{"floor", "gold"}));
  EXPECT_EQ(Match({"s_shield01", "s_shield", "Swords02", "Swords01"}, true).size(), 4u);
  EXPECT_EQ(Match({"RoundShield14", "BigShield13", "RoundShield17", "BigShield17", "RoundShield21", "BigShield21",
                   "RoundShield22", "BigShield22"}, true).size(), 8u);
  EXPECT_EQ(Match({"BigShield26", "RoundShield26", "BigShield27", "RoundShield27", "BigShield28", "RoundShield28",
                   "BigShield29", "RoundShield29"}, true).size(), 8u);
  EXPECT_GE(Match({"torch"}, false).size(), 6u);
  EXPECT_EQ(Match({"fireplace"}, false).size(), 1u);
  EXPECT_GE(Match({"banner"}, false).size(), 2u);
  EXPECT_NE(L().model.FindFrame("ceil_cage", scene::MatchMode::Substring), nullptr);
  EXPECT_EQ(L().meshes.front().frame->name, "floor");
  EXPECT_EQ(L().meshes.back().frame->name, "dome");
}

TEST(MediagenLoader, DragonBindsTenBoneFrames) {
  scene::Frame* draco = L().model.FindFrame("Draco", scene::MatchMode::Exact);
  ASSERT_TRUE(draco && draco->meshes && draco->meshes->skinInfo);
  ASSERT_EQ(draco->meshes->BoneCount(), 10u);
  for (scene::DWORD i = 0; i < 10; ++i) {
    scene::Frame* bone = L().model.FindFrame(draco->meshes->BoneName(i), scene::MatchMode::Exact);
    ASSERT_NE(bone, nullptr);
    EXPECT_EQ(draco->meshes->boneMatrixPointers[i], &bone->world);
  }
  // Animation: one matrix track of two identical keys per frame.
  int animated = 0;
  for (scene::Frame* a = L().model.currentModel()->animatedFrames; a; a = a->nextAnimated) {
    ASSERT_NE(a->animatedFrame, nullptr);
    ASSERT_EQ(a->matrixKeys.size(), 2u);
    EXPECT_EQ(a->matrixKeys[1].time, 16160u);
    ++animated;
  }
  EXPECT_EQ(static_cast<size_t>(animated), L().room.animations.size());
}

TEST(MediagenLoader, CentreAndTexturesAgreeWithTheGenerator) {
  // The fireplace was placed from the generator's own reckoning of the centre; the loader's
  // bounding sphere must agree, or the smoke would rise elsewhere.
  auto c = L().model.ModelCentre();
  EXPECT_NEAR(c.x, L().info.centre.x, 0.5f);
  EXPECT_NEAR(c.y, L().info.centre.y, 0.5f);
  EXPECT_NEAR(c.z, L().info.centre.z, 0.5f);
  EXPECT_NEAR(L().model.ModelRadius(), L().info.radius, 1.0f);
  std::set<std::string> names(g_requested.begin(), g_requested.end());
  EXPECT_GE(names.size(), 25u);
  EXPECT_TRUE(names.count("giantgem.dds"));
  EXPECT_TRUE(names.count("giantgem_green.dds"));
  EXPECT_TRUE(names.count("banner.dds"));
  // The big surfaces divide into several cells at the room's cell size (radius / 2).
  for (auto& m : L().meshes)
    if (m.frame->name == "floor" || m.frame->name == "dome" || m.frame->name == "wall04") {
      scene::SceneMesh copy(m.frame);
      EXPECT_GT(scene::DivideIntoCells(copy, L().model.ModelRadius() / 2), 1) << m.frame->name;
    }
}

}  // namespace
