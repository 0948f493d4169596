#include "scene/room_scene.h"

#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "effects/stage_states.h"
#include "media/archive_reader.h"
#include "platform/d3dx/d3dx_texture.h"
#include "platform/win32/crt_rand.h"
#include "platform/win32/signals.h"

namespace scene {

using namespace d3d8;
using namespace d3dx;

namespace {

constexpr float kClockWrap = 6283.1855f;

bool NameEquals(const Frame* f, const char* text) { return f && f->hasName && f->name == text; }
bool NameContains(const Frame* f, const char* text) {
  return f && f->hasName && f->name.find(text) != std::string::npos;
}

void AddExact(std::vector<SceneMesh>& all, std::vector<SceneMesh*>& list, std::initializer_list<const char*> texts) {
  for (const char* t : texts)
    for (SceneMesh& m : all)
      if (NameEquals(m.frame, t)) {
        list.push_back(&m);
        break;
      }
}

void AddContains(std::vector<SceneMesh>& all, std::vector<SceneMesh*>& list,
                 std::initializer_list<const char*> texts) {
  for (const char* t : texts)
    for (SceneMesh& m : all)
      if (NameContains(m.frame, t)) list.push_back(&m);
}

bool InList(const std::vector<SceneMesh*>& list, const SceneMesh* m) {
  for (const SceneMesh* e : list)
    if (e == m) return true;
  return false;
}

}  // namespace

namespace {

// While the room loads, materials and effects that name the same file share one texture:
// the first request creates it, later ones get another reference to it (releases count
// down). Outside loading every request makes its own.
struct SharedTextures {
  bool on = false;
  IDirect3DDevice8* device = nullptr;
  std::vector<std::pair<std::string, IDirect3DTexture8*>> made;  // each holds one reference

  void Begin(IDirect3DDevice8* d) {
    on = true;
    device = d;
  }
  void End() {
    for (auto& [name, t] : made) t->Release();
    made.clear();
    on = false;
    device = nullptr;
  }
  IDirect3DTexture8* Find(IDirect3DDevice8* d, const char* name) const {
    if (!on || d != device) return nullptr;
    for (const auto& [n, t] : made)
      if (MediaNamesMatch(n.c_str(), name)) return t;
    return nullptr;
  }
};

SharedTextures& Shared() {
  static SharedTextures shared;
  return shared;
}

struct SharedTexturesWhileLoading {
  explicit SharedTexturesWhileLoading(IDirect3DDevice8* d) { Shared().Begin(d); }
  ~SharedTexturesWhileLoading() { Shared().End(); }
  SharedTexturesWhileLoading(const SharedTexturesWhileLoading&) = delete;
  SharedTexturesWhileLoading& operator=(const SharedTexturesWhileLoading&) = delete;
};

}  // namespace

HRESULT CreateTextureFromArchive(IDirect3DDevice8* device, const char* name, IDirect3DTexture8** texture) {
  if (!name || !texture) return E_FAIL;
  if (IDirect3DTexture8* t = Shared().Find(device, name)) {
    t->AddRef();
    *texture = t;
    return D3D_OK;
  }
  // The run is ending (a screen-saver daemon's SIGTERM): skip the remaining decoding so the
  // process can tear down at once instead of after the whole load.
  if (win32::TerminationSignal() != 0) return E_FAIL;
  MediaArchive archive = OpenMediaResource(kSceneMediaResource);
  if (!archive.data) return E_FAIL;
  unsigned char* bytes = nullptr;
  std::uint32_t length = 0;
  if (!ExtractArchiveMember(&bytes, &length, name, &archive, kSceneMediaPassword)) return E_FAIL;
  HRESULT hr = D3DXCreateTextureFromFileInMemory(device, bytes, length, texture);
  FreeMediaBuffer(bytes);
  if (SUCCEEDED(hr) && *texture && Shared().on && device == Shared().device) {
    (*texture)->AddRef();
    Shared().made.emplace_back(name, *texture);
  }
  return hr;
}

RoomScene::RoomScene(unsigned randomSeed) {
  win32::crt_srand(randomSeed);
  model_.SetTextureCallback(CreateTextureFromArchive);
  emitterA_.SetTextureCallback(CreateTextureFromArchive);
  emitterB_.SetTextureCallback(CreateTextureFromArchive);
  fires_.SetTextureCallback(CreateTextureFromArchive);
  rays_.SetTextureCallback(CreateTextureFromArchive);
}

RoomScene::~RoomScene() { ReleaseDeviceObjects(); }

HRESULT RoomScene::Load(IDirect3DDevice8* device) {
  device_ = device;
  if (!device_) return E_FAIL;
  const SharedTexturesWhileLoading shared(device_);
  D3DCAPS8 caps{};
  device_->GetDeviceCaps(&caps);
  maxActiveLights_ = caps.MaxActiveLights;

  HRESULT hr = model_.AttachDevice(device_);
  if (FAILED(hr)) return hr;
  {
    MediaArchive archive = OpenMediaResource(kSceneMediaResource);
    unsigned char* bytes = nullptr;
    std::uint32_t length = 0;
    if (archive.data && ExtractArchiveMember(&bytes, &length, kRoomModelName, &archive, kSceneMediaPassword)) {
      model_.LoadFromMemory(bytes, length);
      FreeMediaBuffer(bytes);
    }
  }

  allMeshes.clear();
  CollectSceneMeshes(model_, nullptr, allMeshes);
  const float radius = model_.ModelRadius();
  for (SceneMesh& m : allMeshes) {
    DivideIntoCells(m, radius / 2);
    if (MeshContainer* c = m.container())
      for (D3DMATERIAL8& mat : c->materials) mat.Ambient = {1.0f, 1.0f, 1.0f, mat.Ambient.a};
  }

  // Fire set, banner cloth and light rays pick their meshes here.
  for (SceneMesh& m : allMeshes)
    if (NameContains(m.frame, "banner")) bannerMeshes.push_back(&m);
  fires_.Setup(allMeshes);
  fires_.LoadDeviceObjects(device_);
  banner_.Build(allMeshes);
  rays_.LoadTexture(device_);
  rays_.FindCage(allMeshes);

  frustum_.device = device_;
  UpdateFrustum(frustum_);

  hr = glow_.CreateDeviceObjects(device_);
  if (FAILED(hr)) return hr;

  FillNamedLists();
  ConfigureEmitters();
  FillRestList();
  WarmUpEffects();
  return D3D_OK;
}

void RoomScene::FillNamedLists() {
  AddExact(allMeshes, goldList, {"gold", "golden_plate"});
  AddContains(allMeshes, goldList, {"crown", "Cup", "cup"});
  AddContains(allMeshes, occluderList,
              {"chest", "Chest", "fireplace", "floor", "golden_plate_base", "dead_knight", "sword", "BigShield25",
               "RoundShield25"});
  AddContains(allMeshes, gemList, {"giantgem"});
  AddContains(allMeshes, dragonList, {"Draco"});
  LoadLightMaps();
  AddContains(allMeshes, wallList, {"wall"});
  AddContains(allMeshes, archList, {"arches"});
  AddExact(allMeshes, domeList, {"dome"});
  AddExact(allMeshes, floorList, {"floor", "gold"});
  AddExact(allMeshes, wallObjects[0], {"s_shield01", "s_shield", "Swords02", "Swords01"});
  AddExact(allMeshes, wallObjects[1],
           {"RoundShield14", "BigShield13", "RoundShield17", "BigShield17", "RoundShield21", "BigShield21",
            "RoundShield22", "BigShield22"});
  AddExact(allMeshes, wallObjects[3],
           {"BigShield26", "RoundShield26", "BigShield27", "RoundShield27", "BigShield28", "RoundShield28",
            "BigShield29", "RoundShield29"});
  for (const auto* list : {&wallList, &archList, &domeList, &floorList, &wallObjects[0], &wallObjects[1],
                           &wallObjects[2], &wallObjects[3]})
    lightMappedList.insert(lightMappedList.end(), list->begin(), list->end());
}

void RoomScene::FillRestList() {
  for (SceneMesh& m : allMeshes)
    if (!InList(gemList, &m) && !InList(dragonList, &m) && !InList(lightMappedList, &m) &&
        !InList(bannerMeshes, &m))
      restList.push_back(&m);
}

void RoomScene::ConfigureEmitters() {
  const float r = model_.ModelRadius();
  const float sign[2] = {1.0f, -1.0f};
  effects::ParticleEmitter* emitters[2] = {&emitterA_, &emitterB_};
  for (int i = 0; i < 2; ++i) {
    effects::ParticleEmitter& e = *emitters[i];
    e.LoadTexture(device_);
    e.SetSpawnRing(r / 1000);
    e.SetPosition(D3DXVECTOR3(0, 0, 5 * sign[i]));
    e.SetDirection(D3DXVECTOR3(0, 1, 1 * sign[i]), 0.5235988f);
    e.SetColors(0x646464, 0x829696, 0);
    // A column that rises from the hearth's hood up the chimney breast to the vault and
    // widens as it goes: at a puff's size and pace it stayed a few units tall, hidden by the
    // mantel; twenty particles could not fill it.
    e.SetAlpha(0.5f, 0, 0.02f);
    e.SetSize(r / 30, r / 7, r / 300);
    e.SetLife(4.0f, 0.1f);
    e.SetGravity(D3DXVECTOR3(0, 9.8f, -7.8f * sign[i]), 0.5f, -0.5f, 0);
    e.SetSpeed(r / 18, r / 36);
    e.SetSwirlRadius(r / 1200, r / 1800, r / 3750);
    e.SetSwirlRate(6.2831855f, 3.1415927f, 0.7853982f);
    e.SetPoolSize(kSmokePool);
    e.SetEmissionRate(22);
  }
}

void RoomScene::WarmUpEffects() {
  // Particles live for seconds: run the flames and the smoke for longer than one life, so
  // that the first frame shows them burning and rising instead of starting from nothing.
  constexpr float kStep = 1.0f / 30.0f;
  for (int i = 0; i < kWarmUpSteps; ++i) {
    fires_.flame.Update(kStep);
    emitterA_.Update(kStep);
    emitterB_.Update(kStep);
  }
}

void RoomScene::Update(float dt) {
  time_ += dt;
  if (time_ > kClockWrap) time_ -= kClockWrap;
  model_.Advance(dt);
  fires_.Update(dt);
  banner_.Update(dt);
  for (SceneMesh& m : allMeshes) UpdateCorners(m);
  StepLightMaps(dt);
  emitterA_.Update(dt);
  emitterB_.Update(dt);
}

void RoomScene::DrawList(const std::vector<SceneMesh*>& list) {
  for (SceneMesh* m : list) Draw(model_, *m);
}

void RoomScene::Render() {
  if (!device_) return;
  IDirect3DDevice8* dev = device_;
  D3DXMATRIX world, view;
  dev->GetTransform(D3DTS_WORLD, &world);
  dev->GetTransform(D3DTS_VIEW, &view);

  dev->SetRenderState(D3DRS_ALPHABLENDENABLE, FALSE);
  dev->SetRenderState(D3DRS_LIGHTING, TRUE);
  dev->SetRenderState(D3DRS_ZENABLE, TRUE);
  dev->SetRenderState(D3DRS_CULLMODE, D3DCULL_CCW);
  dev->SetRenderState(D3DRS_FILLMODE, D3DFILL_SOLID);
  dev->SetRenderState(D3DRS_SPECULARENABLE, FALSE);
  // The room's meshes write depth and colour with no alpha test; their textures are filtered
  // and mip-mapped, whatever the last frame's effects and overlays left on the stages.
  dev->SetRenderState(D3DRS_ZWRITEENABLE, TRUE);
  dev->SetRenderState(D3DRS_ALPHATESTENABLE, FALSE);
  dev->SetRenderState(D3DRS_COLORWRITEENABLE, 15);
  effects::SetModulateStage0(dev);
  effects::SetStageSampling(dev, 0, effects::kMeshSampling);

  model_.UpdateWorldMatrices(world);
  UpdateFrustum(frustum_);
  for (SceneMesh& m : allMeshes) Cull(m, frustum_);

  ApplyRoomLights();
  DrawLightMappedPass();
  DrawList(restList);
  DrawList(dragonList);

  dev->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
  dev->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
  dev->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA);
  DrawList(gemList);
  dev->SetRenderState(D3DRS_ALPHABLENDENABLE, FALSE);

  banner_.SetCellVisibility(frustum_);
  banner_.Draw(dev);
  fires_.Cull(frustum_);
  fires_.DrawFlames();

  D3DXMATRIX at;
  const D3DXVECTOR3 c = model_.ModelCentre();
  D3DXMatrixTranslation(&at, c.x + kEmitterOffset[0], c.y + kEmitterOffset[1], c.z + kEmitterOffset[2]);
  dev->SetTransform(D3DTS_WORLD, &at);
  // Smoke veils what lies behind it (a grey-brown haze over the breast); added on, it only
  // brightened the stone.
  emitterA_.Draw(dev, D3DBLEND_SRCALPHA, D3DBLEND_INVSRCALPHA);
  emitterB_.Draw(dev, D3DBLEND_SRCALPHA, D3DBLEND_INVSRCALPHA);

  rays_.Draw();

  DrawGlowPass();

  dev->SetTransform(D3DTS_WORLD, &world);
  dev->SetTransform(D3DTS_VIEW, &view);
}

void RoomScene::DrawGlowPass() {
  IDirect3DDevice8* dev = device_;
  if (SUCCEEDED(glow_.Begin())) {
    // Opaque, depth-writing drawing of what glows; the effects before left blending on.
    dev->SetRenderState(D3DRS_ALPHABLENDENABLE, FALSE);
    dev->SetRenderState(D3DRS_ZENABLE, TRUE);
    dev->SetRenderState(D3DRS_ZWRITEENABLE, TRUE);
    dev->SetRenderState(D3DRS_ALPHATESTENABLE, FALSE);
    effects::SetModulateStage0(dev);
    // What the gold adds over itself: a faint warm base and golden highlights. A near-white
    // highlight, added over gold already lit near full red and green, blew the heap out to
    // white wherever the camera looked down on it.
    D3DMATERIAL8 g{};
    g.Diffuse = {0.08f, 0.05f, 0, 1};
    g.Ambient = {0.08f, 0.05f, 0, 1};
    g.Specular = {0.5f, 0.35f, 0.1f, 0};
    g.Power = 30;
    dev->SetMaterial(&g);
    dev->SetTexture(0, nullptr);
    dev->SetRenderState(D3DRS_LIGHTING, FALSE);
    dev->SetRenderState(D3DRS_COLORWRITEENABLE, 0);
    for (SceneMesh* m : occluderList) {
      if (!m->frame) continue;
      dev->SetTransform(D3DTS_WORLD, &m->frame->world);
      DrawWithOptions(*m, dev, false, false, &g);
    }
    DrawList(dragonList);
    dev->SetRenderState(D3DRS_COLORWRITEENABLE, 15);
    dev->SetRenderState(D3DRS_LIGHTING, TRUE);
    dev->SetRenderState(D3DRS_SPECULARENABLE, TRUE);
    dev->SetTexture(0, nullptr);
    for (SceneMesh* m : goldList) {
      if (!m->frame) continue;
      dev->SetTransform(D3DTS_WORLD, &m->frame->world);
      DrawWithOptions(*m, dev, false, false, &g);
    }
    for (std::size_t i = 0; i < gemList.size(); ++i) {
      SceneMesh* m = gemList[i];
      if (!m->frame) continue;
      g.Specular = i == 0 ? D3DCOLORVALUE{0.5f, 0.99f, 0.5f, 0} : D3DCOLORVALUE{0.99f, 0.5f, 0.5f, 0};
      dev->SetTransform(D3DTS_WORLD, &m->frame->world);
      DrawWithOptions(*m, dev, false, false, &g);
    }
    fires_.DrawGlow();
    glow_.End();
  }
  glow_.Composite();
}

void RoomScene::ReleaseDeviceObjects() {
  model_.ReleaseDeviceObjects();
  for (auto& surface : lightMaps_)
    for (auto*& t : surface)
      if (t) {
        t->Release();
        t = nullptr;
      }
  glow_.ReleaseDeviceObjects();
  emitterA_.ReleaseTexture();
  emitterB_.ReleaseTexture();
  fires_.ReleaseDeviceObjects();
  rays_.ReleaseTexture();
}

}  // namespace scene
