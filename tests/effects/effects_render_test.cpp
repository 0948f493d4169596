// The effects on a real (offscreen) device: flames only at visible fires, halos at every
// fire, and the states the light rays leave behind.
#include <gtest/gtest.h>

#include "../platform/d3d8/render_fixture.h"
#include "../model/model_test_util.h"
#include "effects/fire_set.h"
#include "effects/light_rays.h"
#include "effects/particle_emitter.h"
#include "platform/win32/crt_rand.h"

using namespace d3d8test;
using namespace scene_test;
using d3dx::D3DXMATRIX;
using d3dx::D3DXVECTOR3;

namespace {

// Every texture the effects ask for is plain white.
HRESULT WhiteTexture(IDirect3DDevice8* device, const char*, IDirect3DTexture8** texture) {
  HRESULT hr = device->CreateTexture(4, 4, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, texture);
  if (FAILED(hr)) return hr;
  D3DLOCKED_RECT lr{};
  if (SUCCEEDED((*texture)->LockRect(0, &lr, nullptr, 0))) {
    for (int y = 0; y < 4; ++y)
      for (int x = 0; x < 4; ++x) reinterpret_cast<DWORD*>(static_cast<std::uint8_t*>(lr.pBits) + y * lr.Pitch)[x] = 0xFFFFFFFF;
    (*texture)->UnlockRect(0);
  }
  return hr;
}

struct OneMeshModel {
  scene::ModelFile model;
  std::vector<scene::SceneMesh> meshes;
  OneMeshModel(const char* name, const std::vector<float>& tri) {
    xfile::Writer w;
    xfile::WriteMesh(w.AddFrame(name, kIdentity), Triangles({tri}, {0}, 1));
    EXPECT_EQ(Load(model, Save(w)), 0);
    D3DXMATRIX id;
    d3dx::D3DXMatrixIdentity(&id);
    model.UpdateWorldMatrices(id);
    scene::CollectSceneMeshes(model, nullptr, meshes);
  }
};

class EffectsRender : public RenderTest {
 protected:
  void Camera(D3DXVECTOR3 eye, D3DXVECTOR3 at) {
    D3DXMATRIX view, proj, id;
    D3DXVECTOR3 up{0, 1, 0};
    d3dx::D3DXMatrixLookAtLH(&view, &eye, &at, &up);
    d3dx::D3DXMatrixPerspectiveFovLH(&proj, 0.8f, 1.0f, 0.5f, 2000.0f);
    d3dx::D3DXMatrixIdentity(&id);
    dev->SetTransform(D3DTS_VIEW, &view);
    dev->SetTransform(D3DTS_PROJECTION, &proj);
    dev->SetTransform(D3DTS_WORLD, &id);
  }
  int LitPixels() const {
    int n = 0;
    for (UINT y = 0; y < height; ++y)
      for (UINT x = 0; x < width; ++x) {
        Rgba p = Pixel(x, y);
        n += (p.r + p.g + p.b) > 30;
      }
    return n;
  }
  void Clear() { dev->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0, 1.0f, 0); }
};

}  // namespace

TEST_F(EffectsRender, FlamesOnlyAtVisibleFiresHalosAlways) {
  win32::crt_srand(3);
  // A torch 5.76 high (the triangle spans the box) at the origin.
  OneMeshModel room("torch01", {-1, 0, -0.5f, 1, 0, 0.5f, 0, 5.76f, 0});
  effects::FireSet fires;
  fires.SetTextureCallback(&WhiteTexture);
  ASSERT_EQ(fires.Setup(room.meshes), 1);
  ASSERT_EQ(fires.LoadDeviceObjects(dev), D3D_OK);
  for (int i = 0; i < 40; ++i) fires.Update(1 / 30.0f);
  ASSERT_GT(fires.flame.tongues.LiveCount(), 20);
  Camera({0, 7, -12}, {0, 7, 0});

  fires.SetVisible(0, false);
  Clear();
  dev->BeginScene();
  fires.DrawFlames();
  dev->EndScene();
  Capture();
  EXPECT_EQ(LitPixels(), 0);

  fires.SetVisible(0, true);
  Clear();
  dev->BeginScene();
  fires.DrawFlames();
  dev->EndScene();
  Capture();
  const int flamePixels = LitPixels();
  EXPECT_GT(flamePixels, 4);
  EXPECT_LT(flamePixels, static_cast<int>(kSize * kSize));

  // The halo is drawn whatever the flags say, and far larger than the flame.
  fires.SetVisible(0, false);
  Clear();
  dev->BeginScene();
  fires.DrawGlow();
  dev->EndScene();
  Capture();
  EXPECT_GT(LitPixels(), flamePixels);
  DWORD v = 0;
  dev->GetRenderState(D3DRS_ALPHABLENDENABLE, &v);
  EXPECT_EQ(v, 0u);
  dev->GetRenderState(D3DRS_ZWRITEENABLE, &v);
  EXPECT_EQ(v, 1u);
  fires.ReleaseDeviceObjects();
}

TEST_F(EffectsRender, RaysHangBelowTheCageAndResetStates) {
  // A cage 120 x 60 with its top at y = 400.
  OneMeshModel room("ceil_cage", {-60, 390, -30, 60, 390, -30, 60, 400, 30});
  effects::LightRays rays("ray.jpg");
  rays.SetTextureCallback(&WhiteTexture);
  ASSERT_EQ(rays.FindCage(room.meshes), 1);
  ASSERT_EQ(rays.LoadTexture(dev), 0);
  dev->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
  dev->SetRenderState(D3DRS_CULLMODE, D3DCULL_CW);

  // Looking at the space below the cage: lit. Looking above it: nothing hangs there.
  Camera({0, 250, -400}, {0, 250, 0});
  Clear();
  dev->BeginScene();
  rays.Draw();
  dev->EndScene();
  Capture();
  EXPECT_GT(LitPixels(), 50);
  DWORD v = 0;
  dev->GetRenderState(D3DRS_ALPHABLENDENABLE, &v);
  EXPECT_EQ(v, 0u);
  dev->GetRenderState(D3DRS_CULLMODE, &v);
  EXPECT_EQ(v, static_cast<DWORD>(D3DCULL_CCW));

  Camera({0, 520, -200}, {0, 520, 0});
  Clear();
  dev->BeginScene();
  rays.Draw();
  dev->EndScene();
  Capture();
  EXPECT_EQ(LitPixels(), 0);
}

TEST_F(EffectsRender, ParticleQuadsFaceTheCameraAtTheirPlace) {
  // One resting particle 2 units wide, 10 units in front of a camera turned 90 degrees; the
  // emitter sits at the world transform's place.
  effects::ParticleEmitter e("flame.tga");
  e.SetTextureCallback(&WhiteTexture);
  ASSERT_EQ(e.LoadTexture(dev), D3D_OK);
  e.SetPoolSize(1);
  e.particles[0].alive = true;
  e.particles[0].position = D3DXVECTOR3(0, 0, 0);
  e.particles[0].size = 2;
  e.particles[0].alpha = 1;
  e.particles[0].color[0] = e.particles[0].color[1] = e.particles[0].color[2] = 1;
  Camera({0, 0, 0}, {10, 0, 0});
  D3DXMATRIX place;
  d3dx::D3DXMatrixTranslation(&place, 10, 0, 0);
  dev->SetTransform(D3DTS_WORLD, &place);
  Clear();
  dev->BeginScene();
  e.Draw(dev, true);
  dev->EndScene();
  Capture();
  // Half width on screen: 1 / (10 tan 0.4) of half the image, about 3.8 pixels.
  EXPECT_GT(Pixel(16, 16).r, 200);
  EXPECT_GT(Pixel(13, 18).r, 200);
  EXPECT_EQ(Pixel(16, 22).r, 0);
  EXPECT_EQ(Pixel(10, 16).r, 0);
  EXPECT_GT(LitPixels(), 36);
  EXPECT_LT(LitPixels(), 81);
  D3DXMATRIX after;
  dev->GetTransform(D3DTS_WORLD, &after);
  EXPECT_EQ(after.m[3][0], 10.0f);
}
