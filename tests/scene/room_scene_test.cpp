// The room on the generated media (archive 469 embedded): named lists, culling of wall
// cells, the light-mapped pass, the lights, the glow pass and the smoke emitters.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <memory>
#include <set>
#include <string>

#include "platform/d3dx/d3dx_math.h"
#include "scene/room_scene.h"
#include "support/offscreen_device.h"

using namespace d3d8;
using namespace d3dx;
using scene::RoomScene;
using scene::MeshContainer;
using scene::SceneMesh;

namespace {

constexpr UINT kW = 256, kH = 144;

std::vector<std::string> Names(const std::vector<SceneMesh*>& list) {
  std::vector<std::string> out;
  for (const SceneMesh* m : list) out.push_back(m->frame ? m->frame->name : std::string());
  return out;
}

double MeanLuminance(const std::vector<std::uint8_t>& rgba) {
  double sum = 0;
  for (std::size_t i = 0; i + 3 < rgba.size(); i += 4) sum += 0.3 * rgba[i] + 0.59 * rgba[i + 1] + 0.11 * rgba[i + 2];
  return rgba.empty() ? 0 : sum / static_cast<double>(rgba.size() / 4);
}

class RoomSceneTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    device_ = new testsupport::OffscreenDevice(kW, kH);
    if (!device_->dev) return;
    IDirect3DDevice8* dev = device_->dev;
    D3DXMATRIX proj, id;
    D3DXMatrixPerspectiveFovLH(&proj, 3.1415927f / 4, static_cast<float>(kW) / kH, 10.0f, 1500.0f);
    dev->SetTransform(D3DTS_PROJECTION, &proj);
    D3DXMatrixIdentity(&id);
    dev->SetTransform(D3DTS_WORLD, &id);
    dev->SetTransform(D3DTS_VIEW, &id);
    dev->SetRenderState(D3DRS_ZENABLE, TRUE);
    dev->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TEXTURE);
    dev->SetTextureStageState(0, D3DTSS_COLORARG2, D3DTA_DIFFUSE);
    dev->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_MODULATE);
    dev->SetTextureStageState(0, D3DTSS_MINFILTER, D3DTEXF_LINEAR);
    dev->SetTextureStageState(0, D3DTSS_MAGFILTER, D3DTEXF_LINEAR);
    room_ = new RoomScene(1234);
    loadResult_ = room_->Load(dev);
  }
  static void TearDownTestSuite() {
    delete room_;
    delete device_;
    room_ = nullptr;
    device_ = nullptr;
  }
  void SetUp() override {
    if (!device_ || !device_->dev) GTEST_SKIP() << "no offscreen device";
    ASSERT_EQ(loadResult_, D3D_OK);
  }

  static void LookAt(D3DXVECTOR3 eye, D3DXVECTOR3 at, D3DXVECTOR3 up = D3DXVECTOR3(0, 1, 0)) {
    D3DXMATRIX view;
    D3DXMatrixLookAtLH(&view, &eye, &at, &up);
    device_->dev->SetTransform(D3DTS_VIEW, &view);
  }
  static std::vector<std::uint8_t> RenderFrame() {
    IDirect3DDevice8* dev = device_->dev;
    dev->BeginScene();
    dev->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0, 1.0f, 0);
    room_->Render();
    dev->EndScene();
    return device_->Frame();
  }
  static SceneMesh* Find(const char* name) {
    for (SceneMesh& m : room_->allMeshes)
      if (m.frame && m.frame->name == name) return &m;
    return nullptr;
  }

  static testsupport::OffscreenDevice* device_;
  static RoomScene* room_;
  static HRESULT loadResult_;
};

testsupport::OffscreenDevice* RoomSceneTest::device_ = nullptr;
RoomScene* RoomSceneTest::room_ = nullptr;
HRESULT RoomSceneTest::loadResult_ = E_FAIL;

}  // namespace

TEST_F(RoomSceneTest, NamedListsFollowTheFrameNames) {
  const RoomScene& r = *room_;
  ASSERT_FALSE(r.allMeshes.empty());
  EXPECT_EQ(Names(r.wallList), (std::vector<std::string>{"wall04", "wall03", "wall02", "wall01"}));
  EXPECT_EQ(Names(r.archList), (std::vector<std::string>{"arches04", "arches03", "arches02", "arches01"}));
  EXPECT_EQ(Names(r.gemList), (std::vector<std::string>{"giantgem01", "giantgem"}));
  EXPECT_EQ(Names(r.floorList), (std::vector<std::string>{"floor", "gold"}));
  EXPECT_EQ(Names(r.domeList), (std::vector<std::string>{"dome"}));
  EXPECT_EQ(Names(r.wallObjects[0]), (std::vector<std::string>{"s_shield01", "s_shield", "Swords02", "Swords01"}));
  EXPECT_TRUE(r.wallObjects[2].empty());
  const auto gold = Names(r.goldList);
  ASSERT_GE(gold.size(), 3u);
  EXPECT_EQ(gold[0], "gold");
  EXPECT_EQ(gold[1], "golden_plate");
  for (std::size_t i = 2; i < gold.size(); ++i)
    EXPECT_TRUE(gold[i].find("crown") != std::string::npos || gold[i].find("Cup") != std::string::npos) << gold[i];
  ASSERT_FALSE(r.dragonList.empty());
  for (const auto& n : Names(r.dragonList)) EXPECT_NE(n.find("Draco"), std::string::npos);
  const auto occluders = Names(r.occluderList);
  EXPECT_NE(std::find(occluders.begin(), occluders.end(), "floor"), occluders.end());
  EXPECT_NE(std::find(occluders.begin(), occluders.end(), "fireplace"), occluders.end());
  // Each exact text adds at most one entry: a missing name adds none.
  for (const auto& n : Names(r.wallObjects[1])) EXPECT_EQ(n.rfind("BigShield", 0) == 0 || n.rfind("RoundShield", 0) == 0, true);
  std::size_t lm = r.wallList.size() + r.archList.size() + r.domeList.size() + r.floorList.size();
  for (const auto& w : r.wallObjects) lm += w.size();
  EXPECT_EQ(r.lightMappedList.size(), lm);
}

TEST_F(RoomSceneTest, RestListHoldsEveryOtherMeshExactlyOnce) {
  const RoomScene& r = *room_;
  ASSERT_FALSE(r.bannerMeshes.empty());
  std::set<const SceneMesh*> special;
  for (const auto* list : {&r.gemList, &r.dragonList, &r.lightMappedList, &r.bannerMeshes})
    for (const SceneMesh* m : *list) special.insert(m);
  std::set<const SceneMesh*> rest(r.restList.begin(), r.restList.end());
  EXPECT_EQ(rest.size(), r.restList.size()) << "duplicates in the rest list";
  for (const SceneMesh* m : r.restList) EXPECT_EQ(special.count(m), 0u) << m->frame->name;
  for (const SceneMesh& m : r.allMeshes)
    EXPECT_TRUE(special.count(&m) || rest.count(&m)) << m.frame->name << " is drawn by no pass";
  for (const SceneMesh* m : r.bannerMeshes) EXPECT_NE(m->frame->name.find("banner"), std::string::npos);
}

// Materials that name the same file share one texture (the room's model names some textures
// on many meshes); each holds its own reference, so the room's teardown releases it once per
// holder.
TEST_F(RoomSceneTest, MaterialsNamingTheSameFileShareOneTexture) {
  std::size_t uses = 0;
  std::map<IDirect3DTexture8*, ULONG> holders;
  for (const SceneMesh& m : room_->allMeshes)
    if (const MeshContainer* c = m.container())
      for (IDirect3DTexture8* t : c->textures)
        if (t) {
          ++uses;
          ++holders[t];
        }
  ASSERT_GT(uses, 0u);
  EXPECT_LT(holders.size(), uses) << "every material made a texture of its own";
  for (auto [texture, count] : holders) {
    const ULONG refs = texture->AddRef() - 1;  // AddRef reports the count with the probe's own
    texture->Release();
    EXPECT_GE(refs, count) << "fewer references than materials holding the texture";
  }
}

TEST_F(RoomSceneTest, AllFortyLightMapsLoad) {
  for (int s = 0; s < 4; ++s)
    for (int f = 0; f < scene::kLightMapFrames; ++f) EXPECT_NE(room_->lightMap(s, f), nullptr) << s << "/" << f;
}

TEST_F(RoomSceneTest, WallCellsBehindTheCameraAreCulled) {
  // Standing close to the +z wall and looking along it towards +x: the wall's cells at
  // negative x lie behind the camera, those ahead are in view.
  LookAt({0, 100, 230}, {100, 100, 230});
  room_->Update(0.01f);
  RenderFrame();
  SceneMesh* wall = room_->wallList.empty() ? nullptr : room_->wallList[0];
  ASSERT_NE(wall, nullptr);
  ASSERT_GT(wall->cells.size(), 2u);
  int behindCulled = 0, behindDrawn = 0, aheadDrawn = 0;
  for (std::size_t i = 0; i < wall->cells.size(); ++i) {
    D3DXVECTOR3 c(0, 0, 0);
    for (const auto& p : wall->cells[i].corners) c += p / 8.0f;
    const int flag = wall->container()->visibleFlags[i];
    if (c.x < -60) (flag ? behindDrawn : behindCulled)++;
    if (c.x > 120 && flag) ++aheadDrawn;
  }
  EXPECT_GT(behindCulled, 0);
  EXPECT_EQ(behindDrawn, 0);
  EXPECT_GT(aheadDrawn, 0);
}

TEST_F(RoomSceneTest, LightMapsFlickerTheWallsBetweenDimAndBright) {
  LookAt({0, 100, 0}, {-250, 100, 0});
  // The light rays hang between the camera and the wall here; leave them out of the measure.
  SceneMesh* cage = room_->rays().cage;
  room_->rays().cage = nullptr;
  room_->lightWalk().currentFrame = 0;
  const double dim = MeanLuminance(RenderFrame());
  room_->lightWalk().currentFrame = 9;
  const double bright = MeanLuminance(RenderFrame());
  room_->rays().cage = cage;
  EXPECT_GT(dim, 4.0) << "walls drawn black";
  EXPECT_GT(bright, dim * 1.15);
  // The pass leaves stage 1 off and lighting on.
  DWORD op = 0, lighting = 0;
  device_->dev->GetTextureStageState(1, D3DTSS_COLOROP, &op);
  device_->dev->GetRenderState(D3DRS_LIGHTING, &lighting);
  EXPECT_EQ(op, static_cast<DWORD>(D3DTOP_DISABLE));
  EXPECT_EQ(lighting, static_cast<DWORD>(TRUE));
}

TEST_F(RoomSceneTest, LightsAreSetEveryFrame) {
  LookAt({0, 100, 0}, {0, 100, 250});
  for (int i = 0; i < 20; ++i) {
    room_->Update(0.37f);
    RenderFrame();
    D3DLIGHT8 point{}, sun{};
    device_->dev->GetLight(1, &point);
    device_->dev->GetLight(0, &sun);
    EXPECT_EQ(point.Type, D3DLIGHT_POINT);
    EXPECT_GE(point.Diffuse.r, 0.46f);
    EXPECT_LE(point.Diffuse.r, 0.56f);
    EXPECT_EQ(point.Ambient.g, 0.0f);
    EXPECT_EQ(sun.Type, D3DLIGHT_DIRECTIONAL);
    EXPECT_NEAR(std::sqrt(sun.Direction.x * sun.Direction.x + sun.Direction.y * sun.Direction.y +
                          sun.Direction.z * sun.Direction.z),
                1.0f, 1e-5f);
  }
  BOOL on = TRUE;
  device_->dev->GetLightEnable(2, &on);
  EXPECT_FALSE(on);
}

TEST_F(RoomSceneTest, GlowComesFromGoldInViewOnly) {
  SceneMesh* gold = Find("gold");
  ASSERT_NE(gold, nullptr);
  room_->Update(0.01f);
  const D3DXVECTOR3 c = gold->box.Centre();
  D3DXVECTOR3 target;
  D3DXVec3TransformCoord(&target, &c, &gold->frame->world);
  LookAt({0, 150, 0}, target);
  RenderFrame();
  int lit = 0;
  for (int i = 0; i < scene::kGlowSize * scene::kGlowSize; ++i)
    if (room_->glow().plane(2)[i] > 8) ++lit;
  EXPECT_GT(lit, 20) << "no glow from the gold heap";

  // Straight up into the dome: no gold, no gems, no glow.
  LookAt({0, 100, 0}, {0, 400, 0}, {0, 0, 1});
  RenderFrame();
  int litUp = 0;
  for (int i = 0; i < scene::kGlowSize * scene::kGlowSize; ++i)
    if (room_->glow().plane(2)[i] > 8) ++litUp;
  EXPECT_EQ(litUp, 0);
}

TEST_F(RoomSceneTest, SmokeEmittersRiseAwayFromEachOther) {
  const float r = room_->model().ModelRadius();
  EXPECT_FLOAT_EQ(room_->emitter(0).spawnRing, r / 1000);
  EXPECT_EQ(room_->emitter(0).Pool().size(), static_cast<std::size_t>(RoomScene::kSmokePool));
  EXPECT_NE(room_->emitter(0).texture, nullptr);
  for (int i = 0; i < 30; ++i) room_->Update(0.1f);
  ASSERT_GT(room_->emitter(0).LiveCount(), 0);
  ASSERT_GT(room_->emitter(1).LiveCount(), 0);
  double zA = 0, zB = 0, yA = 0;
  for (const auto& p : room_->emitter(0).Pool())
    if (p.alive) zA += p.position.z, yA += p.position.y;
  for (const auto& p : room_->emitter(1).Pool())
    if (p.alive) zB += p.position.z;
  EXPECT_GT(yA, 0);
  EXPECT_GT(zA, 0);
  EXPECT_LT(zB, 0);
}

// The stage states the host leaves after a device reset; what one frame leaves behind must not
// change the next.
void HostStageStates(IDirect3DDevice8* dev) {
  dev->SetTextureStageState(0, D3DTSS_MINFILTER, D3DTEXF_LINEAR);
  dev->SetTextureStageState(0, D3DTSS_MAGFILTER, D3DTEXF_LINEAR);
  dev->SetTextureStageState(0, D3DTSS_ADDRESSU, D3DTADDRESS_WRAP);
  dev->SetTextureStageState(0, D3DTSS_ADDRESSV, D3DTADDRESS_WRAP);
}

TEST_F(RoomSceneTest, TheSameViewDrawnTwiceGivesTheSameFrame) {
  // The hoard with the rays and the glow over it, brick walls behind.
  LookAt({-150, 140, -170}, {0, 40, 0});
  room_->Update(0.05f);
  HostStageStates(device_->dev);
  const auto first = RenderFrame();
  const auto second = RenderFrame();
  ASSERT_EQ(first.size(), second.size());
  std::size_t differing = 0;
  for (std::size_t i = 0; i + 3 < first.size(); i += 4) {
    int d = 0;
    for (int c = 0; c < 3; ++c) d = std::max(d, std::abs(first[i + c] - second[i + c]));
    if (d > 6) ++differing;
  }
  EXPECT_LT(differing, first.size() / 4 / 200) << differing << " pixels changed between two draws of one view";
}

TEST_F(RoomSceneTest, EveryPassDrawsWithItsOwnStagesWhateverWasLeftBefore) {
  IDirect3DDevice8* dev = device_->dev;
  LookAt({-150, 140, -170}, {0, 40, 0});
  room_->Update(0.05f);
  // Leftovers of some other drawing: point sampling without mip levels, mirrored and
  // bordered addressing, an alpha test that drops everything, no depth or colour writes.
  for (DWORD stage = 0; stage < 2; ++stage) {
    dev->SetTextureStageState(stage, D3DTSS_MINFILTER, D3DTEXF_POINT);
    dev->SetTextureStageState(stage, D3DTSS_MAGFILTER, D3DTEXF_NONE);
    dev->SetTextureStageState(stage, D3DTSS_MIPFILTER, D3DTEXF_NONE);
    dev->SetTextureStageState(stage, D3DTSS_ADDRESSU, D3DTADDRESS_MIRROR);
    dev->SetTextureStageState(stage, D3DTSS_ADDRESSV, D3DTADDRESS_BORDER);
  }
  dev->SetRenderState(D3DRS_ALPHATESTENABLE, TRUE);
  dev->SetRenderState(D3DRS_ALPHAFUNC, D3DCMP_NEVER);
  dev->SetRenderState(D3DRS_ZWRITEENABLE, FALSE);
  dev->SetRenderState(D3DRS_COLORWRITEENABLE, 0);

  std::set<const IDirect3DBaseTexture8*> meshTextures, sprites, lightMaps;
  for (SceneMesh& m : room_->allMeshes)
    if (m.container())
      for (IDirect3DTexture8* t : m.container()->textures)
        if (t) meshTextures.insert(t);
  for (IDirect3DTexture8* t : {room_->rays().texture, room_->emitter(0).texture, room_->emitter(1).texture,
                               room_->fires().glowTexture, room_->fires().flame.tongues.texture,
                               room_->fires().flame.base.texture})
    if (t) sprites.insert(t);
  for (int s = 0; s < 4; ++s)
    for (int f = 0; f < scene::kLightMapFrames; ++f) lightMaps.insert(room_->lightMap(s, f));
  const IDirect3DBaseTexture8* glow = room_->glow().texture();
  // A file named by a material and an effect alike ("ray.jpg") is one shared texture: its
  // draws may be either kind.
  std::set<const IDirect3DBaseTexture8*> both;
  for (const IDirect3DBaseTexture8* t : sprites)
    if (meshTextures.count(t)) both.insert(t);
  for (const IDirect3DBaseTexture8* t : both) {
    meshTextures.erase(t);
    sprites.erase(t);
  }

  struct Sampling {
    DWORD min, mag, mip, u, v;
    bool operator==(const Sampling&) const = default;
  };
  auto sampling = [dev](DWORD stage) {
    Sampling s{};
    dev->GetTextureStageState(stage, D3DTSS_MINFILTER, &s.min);
    dev->GetTextureStageState(stage, D3DTSS_MAGFILTER, &s.mag);
    dev->GetTextureStageState(stage, D3DTSS_MIPFILTER, &s.mip);
    dev->GetTextureStageState(stage, D3DTSS_ADDRESSU, &s.u);
    dev->GetTextureStageState(stage, D3DTSS_ADDRESSV, &s.v);
    return s;
  };
  auto bound = [dev](DWORD stage) {
    IDirect3DBaseTexture8* t = nullptr;
    dev->GetTexture(stage, &t);
    if (t) t->Release();
    return static_cast<const IDirect3DBaseTexture8*>(t);
  };
  auto state = [dev](D3DRENDERSTATETYPE s) {
    DWORD v = 0;
    dev->GetRenderState(s, &v);
    return v;
  };
  const Sampling mesh{D3DTEXF_LINEAR, D3DTEXF_LINEAR, D3DTEXF_LINEAR, D3DTADDRESS_WRAP, D3DTADDRESS_WRAP};
  const Sampling sprite{D3DTEXF_LINEAR, D3DTEXF_LINEAR, D3DTEXF_LINEAR, D3DTADDRESS_CLAMP, D3DTADDRESS_CLAMP};
  const Sampling screen{D3DTEXF_LINEAR, D3DTEXF_LINEAR, D3DTEXF_NONE, D3DTADDRESS_CLAMP, D3DTADDRESS_CLAMP};
  const Sampling lightMap{D3DTEXF_LINEAR, D3DTEXF_LINEAR, D3DTEXF_LINEAR, D3DTADDRESS_CLAMP, D3DTADDRESS_CLAMP};
  int meshDraws = 0, spriteDraws = 0, lightMapped = 0, composites = 0;
  SetDrawObserver(dev, [&] {
    // Depth-only drawing (the glow pass's occluders) shows no texture.
    if (state(D3DRS_COLORWRITEENABLE) == 0) return;
    EXPECT_EQ(state(D3DRS_ALPHATESTENABLE), static_cast<DWORD>(FALSE));
    const IDirect3DBaseTexture8* t0 = bound(0);
    if (both.count(t0)) {
      EXPECT_TRUE(sampling(0) == mesh || sampling(0) == sprite) << "shared texture";
    } else if (meshTextures.count(t0)) {
      ++meshDraws;
      EXPECT_TRUE(sampling(0) == mesh) << "room texture";
      EXPECT_EQ(state(D3DRS_ZWRITEENABLE), static_cast<DWORD>(TRUE));
      DWORD op1 = 0;
      dev->GetTextureStageState(1, D3DTSS_COLOROP, &op1);
      if (op1 != D3DTOP_DISABLE && lightMaps.count(bound(1))) {
        ++lightMapped;
        EXPECT_TRUE(sampling(1) == lightMap) << "light map";
      }
    } else if (sprites.count(t0)) {
      ++spriteDraws;
      EXPECT_TRUE(sampling(0) == sprite) << "sprite";
      EXPECT_EQ(state(D3DRS_ALPHABLENDENABLE), static_cast<DWORD>(TRUE));
      EXPECT_EQ(state(D3DRS_ZWRITEENABLE), static_cast<DWORD>(FALSE));
    } else if (t0 && t0 == glow) {
      ++composites;
      EXPECT_TRUE(sampling(0) == screen) << "glow composite";
      EXPECT_EQ(state(D3DRS_SRCBLEND), static_cast<DWORD>(D3DBLEND_INVDESTCOLOR));
      EXPECT_EQ(state(D3DRS_DESTBLEND), static_cast<DWORD>(D3DBLEND_ONE));
    }
  });
  RenderFrame();
  SetDrawObserver(dev, {});
  EXPECT_GT(meshDraws, 20);
  EXPECT_GT(lightMapped, 4);
  EXPECT_GT(spriteDraws, 10);
  EXPECT_EQ(composites, 1);
}

TEST_F(RoomSceneTest, ArchiveTextureCallback) {
  IDirect3DTexture8* t = reinterpret_cast<IDirect3DTexture8*>(0x1);
  EXPECT_LT(scene::CreateTextureFromArchive(device_->dev, "no_such_member.jpg", &t), 0);
  EXPECT_EQ(t, reinterpret_cast<IDirect3DTexture8*>(0x1));
  t = nullptr;
  ASSERT_EQ(scene::CreateTextureFromArchive(device_->dev, "ray.jpg", &t), D3D_OK);
  ASSERT_NE(t, nullptr);
  t->Release();
}

TEST(RoomSceneClock, TimeWrapsAfterTwoThousandPi) {
  RoomScene room(1);
  room.Update(6000.0f);
  room.Update(300.0f);
  EXPECT_NEAR(room.time(), 6300.0f - 6283.1855f, 1e-2f);
}
