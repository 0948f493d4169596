#include "scene/scene_app.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstring>
#include <string>

#include "effects/stage_states.h"
#include "host/timer_service.h"
#include "media/archive_reader.h"
#include "media/archive_walk.h"
#include "platform/d3dx/prepared_images.h"
#include "platform/win32/crt_rand.h"
#include "platform/xfile/xfile.h"

using namespace d3d8;
using namespace d3dx;

namespace scene {

D3DXMATRIX ViewMatrix(const D3DXVECTOR3& eye, const D3DXVECTOR3& at, const D3DXVECTOR3& up) {
  D3DXMATRIX m;
  D3DXMatrixIdentity(&m);
  D3DXVECTOR3 d = at - eye;
  float len = D3DXVec3Length(&d);
  if (len < 1e-6f) return m;
  d /= len;
  auto orthogonal = [&d](const D3DXVECTOR3& v) { return v - d * D3DXVec3Dot(&v, &d); };
  D3DXVECTOR3 u = orthogonal(up);
  if (D3DXVec3Length(&u) < 1e-6f) u = orthogonal(D3DXVECTOR3(0, 1, 0));
  if (D3DXVec3Length(&u) < 1e-6f) u = orthogonal(D3DXVECTOR3(0, 0, 1));
  len = D3DXVec3Length(&u);
  if (len < 1e-6f) return m;
  u /= len;
  const D3DXVECTOR3 r(u.y * d.z - u.z * d.y, u.z * d.x - u.x * d.z, u.x * d.y - u.y * d.x);
  m._11 = r.x, m._12 = u.x, m._13 = d.x, m._14 = 0;
  m._21 = r.y, m._22 = u.y, m._23 = d.y, m._24 = 0;
  m._31 = r.z, m._32 = u.z, m._33 = d.z, m._34 = 0;
  m._41 = -D3DXVec3Dot(&eye, &r), m._42 = -D3DXVec3Dot(&eye, &u), m._43 = -D3DXVec3Dot(&eye, &d), m._44 = 1;
  return m;
}

int ChooseTrack(std::vector<std::uint8_t>& played, const std::function<bool(int)>& playable,
                const std::function<int()>& random) {
  const int n = static_cast<int>(played.size());
  bool any = false;
  for (int i = 0; i < n && !any; ++i) any = playable(i);
  if (!any) return -1;
  const int start = random() % n;
  int candidate = start;
  while (played[static_cast<std::size_t>(candidate)] || !playable(candidate)) {
    candidate = (candidate + 1) % n;
    if (candidate == start) {
      std::fill(played.begin(), played.end(), 0);
      while (!playable(candidate)) candidate = (candidate + 1) % n;
      break;
    }
  }
  played[static_cast<std::size_t>(candidate)] = 1;
  return candidate;
}

}  // namespace scene

namespace {

constexpr unsigned kCrossfadeSize = 512;
constexpr float kDegrees = 0.017453292f;

template <typename T>
void SafeRelease(T*& p) {
  if (p) p->Release();
  p = nullptr;
}

}  // namespace

SceneApp::SceneApp() : tracks_(std::make_unique<camera::CameraTrackSet>()) {
  const float uv[4][2] = {{0, 1}, {0, 0}, {1, 1}, {1, 0}};
  for (int i = 0; i < 4; ++i) {
    fadeQuad_[i].u = uv[i][0];
    fadeQuad_[i].v = uv[i][1];
    fadeQuad_[i].z = 1.0f;
    fadeQuad_[i].rhw = 1.0f;
    fadeQuad_[i].color = 0x00FFFFFF;
  }
  // While nothing is drawn the scene stands still, but the music keeps its loop.
  whileUnseen = [this] {
    if (musicOn_) music_.CheckMusicLoop();
  };
}

SceneApp::~SceneApp() {
  // The worker may still be preparing; what it made is freed with this object's knowledge.
  FinishLoadingAhead();
  ReleaseCrossfade();
  SafeRelease(fadeKeep_);
}

namespace {

// Whether an archive member is a picture a texture is made from.
bool IsPicture(const char* name) {
  const std::size_t n = std::strlen(name);
  if (n < 4) return false;
  char ext[5] = {};
  for (int i = 0; i < 4; ++i) ext[i] = static_cast<char>(std::tolower(static_cast<unsigned char>(name[n - 4 + i])));
  return std::strcmp(ext, ".jpg") == 0 || std::strcmp(ext, ".png") == 0 || std::strcmp(ext, ".bmp") == 0 ||
         std::strcmp(ext, ".tga") == 0;
}

}  // namespace

void SceneApp::PrepareAhead() {
  ScreenSaverApp::PrepareAhead();
  MediaArchive archive = OpenMediaResource(scene::kSceneMediaResource);
  if (!archive.data || loadingAheadCancelled()) return;
  // The room model first: its parse is the longest single step of the loading.
  unsigned char* bytes = nullptr;
  std::uint32_t length = 0;
  if (ExtractArchiveMember(&bytes, &length, scene::kRoomModelName, &archive, scene::kSceneMediaPassword)) {
    DWORD templatesSize = 0;
    const BYTE* templates = xfile::StandardTemplates(&templatesSize);
    xfile::PrepareDocumentAhead(templates, templatesSize, bytes, length);
    FreeMediaBuffer(bytes);
  }
  // Then every picture, in archive order (the order the room asks for most of them).
  std::vector<std::string> pictures;
  media::WalkArchive(archive.data, archive.size, false, [&pictures](const media::WalkedMember& m) {
    if (IsPicture(m.block.name)) pictures.emplace_back(m.block.name);
  });
  for (const std::string& name : pictures) {
    if (loadingAheadCancelled()) return;
    if (ExtractArchiveMember(&bytes, &length, name.c_str(), &archive, scene::kSceneMediaPassword)) {
      d3dx::PrepareImageAhead(bytes, length);
      FreeMediaBuffer(bytes);
    }
  }
}

void SceneApp::DropPreparedAhead() {
  ScreenSaverApp::DropPreparedAhead();
  xfile::DropPreparedDocuments();
}

void SceneApp::InitApp() {
  OverlayLayout& l = overlays.layout;
  l.glyphWidth = 0.047f;
  l.glyphHeight = 0.06375f;
  l.spacing = 0.79f;
  l.clockX = 0.69f;
  l.clockY = 0.92f;
  l.fpsX = 0.01f;
  l.fpsY = 0.01f;
  log.SetEnabled(false);
  hasSoundEffects = false;
  room_ = std::make_unique<scene::RoomScene>(RandomSeed());
  currentTrack_ = 0;
}

void SceneApp::QueryDeviceCaps() {
  // Nothing in the scene depends on the hardware's capabilities.
}

HRESULT SceneApp::RestoreDeviceObjects(IDirect3DDevice8* device) {
  // The application's states (blending, alpha test, stage 0, material, world), then the
  // scene's own view and projection.
  if (FAILED(ScreenSaverApp::RestoreDeviceObjects(device))) return E_FAIL;
  D3DXMATRIX m;
  const D3DXVECTOR3 eye(0, 0, 0), at(0, 0, 1), up(0, 1, 0);
  D3DXMatrixLookAtLH(&m, &eye, &at, &up);
  device->SetTransform(D3DTS_VIEW, &m);
  D3DVIEWPORT8 vp{};
  device->GetViewport(&vp);
  const float aspect = vp.Height ? static_cast<float>(vp.Width) / static_cast<float>(vp.Height) : 4.0f / 3.0f;
  D3DXMatrixPerspectiveFovLH(&m, D3DX_PI / 4, aspect, 10.0f, 1500.0f);
  device->SetTransform(D3DTS_PROJECTION, &m);

  // The glow buffer's render target lives in the default pool too; after a reset it is made
  // again here (the first time, the room's Load makes it).
  if (room_ && room_->device() == device && !room_->glow().texture()) room_->glow().CreateDeviceObjects(device);
  const HRESULT hr = CreateCrossfade(device);
  return FAILED(hr) ? hr : 0;
}

HRESULT SceneApp::CreateCrossfade(IDirect3DDevice8* device) {
  ReleaseCrossfade();
  D3DCAPS8 caps{};
  device->GetDeviceCaps(&caps);
  UINT size = kCrossfadeSize;
  size = std::min<UINT>(size, std::min<UINT>(caps.MaxTextureWidth ? caps.MaxTextureWidth : size,
                                             caps.MaxTextureHeight ? caps.MaxTextureHeight : size));
  HRESULT hr =
      device->CreateTexture(size, size, 1, D3DUSAGE_RENDERTARGET, D3DFMT_A8R8G8B8, D3DPOOL_DEFAULT, &fadeTexture_);
  if (FAILED(hr)) return hr;
  hr = device->CreateDepthStencilSurface(size, size, D3DFMT_D24X8, D3DMULTISAMPLE_NONE, &fadeDepth_);
  if (FAILED(hr)) {
    ReleaseCrossfade();
    return hr;
  }
  // A fade that was running across a reset goes on with its picture.
  if (fadeKeep_) {
    IDirect3DSurface8* top = nullptr;
    if (SUCCEEDED(fadeTexture_->GetSurfaceLevel(0, &top))) {
      device->CopyRects(fadeKeep_, nullptr, 0, top, nullptr);
      top->Release();
    }
    SafeRelease(fadeKeep_);
  }
  return D3D_OK;
}

void SceneApp::ReleaseCrossfade() {
  SafeRelease(fadeTexture_);
  SafeRelease(fadeDepth_);
}

void SceneApp::ReleaseDefaultPoolObjects() {
  SafeRelease(fadeKeep_);
  if (fadeOpacity_ > 0 && fadeTexture_ && device_) {
    D3DSURFACE_DESC desc{};
    IDirect3DSurface8* top = nullptr;
    if (SUCCEEDED(fadeTexture_->GetSurfaceLevel(0, &top))) {
      top->GetDesc(&desc);
      if (SUCCEEDED(device_->CreateImageSurface(desc.Width, desc.Height, desc.Format, &fadeKeep_)) &&
          FAILED(device_->CopyRects(top, nullptr, 0, fadeKeep_, nullptr)))
        SafeRelease(fadeKeep_);
      top->Release();
    }
  }
  ReleaseCrossfade();
  if (room_) room_->glow().ReleaseDeviceObjects();
}

HRESULT SceneApp::LoadScene(IDirect3DDevice8* device) {
  Quads().Bind(device, mainWindow());
  camera::CameraTrackSet& t = *tracks_;
  MediaArchive archive = OpenMediaResource(scene::kSceneMediaResource);
  unsigned char* bytes = nullptr;
  std::uint32_t length = 0;
  if (archive.data && ExtractArchiveMember(&bytes, &length, "Cam_Tracks.bin", &archive, scene::kSceneMediaPassword)) {
    t.LoadTracks(nullptr, bytes, length);
    FreeMediaBuffer(bytes);
  }
  t.track = 0;
  t.PrepareTrack();
  played_.assign(static_cast<std::size_t>(std::max(0, t.trackCount)), 0);
  StartChosenTrack();
  if (room_) room_->Load(device);
  Timer().Start();
  return 0;
}

void SceneApp::StartChosenTrack() {
  camera::CameraTrackSet& t = *tracks_;
  if (t.trackCount <= 0) return;
  const int chosen = scene::ChooseTrack(
      played_, [&t](int i) { return t.IsPlayable(i); }, [] { return win32::crt_rand(); });
  if (chosen < 0) {
    // No track can move the camera: keep the fixed view and make no cuts.
    t.trackCount = 0;
    return;
  }
  currentTrack_ = chosen;
  t.StartTrack(chosen, 0);
  ++tracksStarted_;
}

HRESULT SceneApp::FrameMove(IDirect3DDevice8* device, float) {
  return Advance(device, Timer().GetElapsedTime());
}

HRESULT SceneApp::Advance(IDirect3DDevice8* device, double seconds) {
  float dt = static_cast<float>(seconds);
  if (dt > kMaxFrameSeconds) dt = kMaxFrameSeconds;
  if (dt == 0.0f || !device) return 0;
  camera::CameraTrackSet& t = *tracks_;
  if (t.trackCount > 0) {
    t.finished = 0;
    t.UpdateCamera(dt);
    if (t.finished) {
      TakeCrossfadeSnapshot(device);
      StartChosenTrack();
    }
    const D3DXVECTOR3 eye(t.position.x, t.position.y, t.position.z);
    const float yaw = t.yaw * kDegrees, pitch = t.pitch * kDegrees;
    const D3DXVECTOR3 at = eye + D3DXVECTOR3(std::cos(pitch) * std::cos(yaw), std::sin(pitch),
                                             std::cos(pitch) * std::sin(yaw));
    const D3DXMATRIX view = scene::ViewMatrix(eye, at, D3DXVECTOR3(0, 1, 0));
    device->SetTransform(D3DTS_VIEW, &view);
  }
  if (room_) room_->Update(dt);
  if (fadeOpacity_ > 0) {
    fadeOpacity_ = std::max(0.0f, fadeOpacity_ - dt * fadeSpeed_);
    const auto alpha = static_cast<DWORD>(fadeOpacity_ * 255.0f);
    for (ScreenQuadVertex& v : fadeQuad_) v.color = alpha << 24 | 0x00FFFFFF;
  }
  if (musicOn_) music_.CheckMusicLoop();
  return 0;
}

HRESULT SceneApp::TakeCrossfadeSnapshot(IDirect3DDevice8* device) {
  if (!fadeTexture_ || !fadeDepth_) return E_FAIL;
  IDirect3DSurface8 *oldTarget = nullptr, *oldDepth = nullptr, *top = nullptr;
  HRESULT hr = device->GetRenderTarget(&oldTarget);
  if (FAILED(hr)) return hr;
  hr = device->GetDepthStencilSurface(&oldDepth);
  if (SUCCEEDED(hr)) hr = fadeTexture_->GetSurfaceLevel(0, &top);
  if (SUCCEEDED(hr)) hr = device->SetRenderTarget(top, fadeDepth_);
  if (SUCCEEDED(hr)) hr = device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0, 1.0f, 0);
  if (SUCCEEDED(hr)) {
    device->BeginScene();
    if (room_) room_->Render();
    device->EndScene();
    device->SetRenderTarget(oldTarget, oldDepth);
    fadeOpacity_ = kCutOpacity;
    fadeSpeed_ = kCutFadeSpeed;
  }
  SafeRelease(top);
  SafeRelease(oldDepth);
  SafeRelease(oldTarget);
  return hr;
}

void SceneApp::DrawCrossfade(IDirect3DDevice8* device) {
  D3DVIEWPORT8 vp{};
  device->GetViewport(&vp);
  const float w = static_cast<float>(vp.Width), h = static_cast<float>(vp.Height);
  const float pos[4][2] = {{0, h}, {0, 0}, {w, h}, {w, 0}};
  for (int i = 0; i < 4; ++i) {
    fadeQuad_[i].x = pos[i][0];
    fadeQuad_[i].y = pos[i][1];
    fadeQuad_[i].z = 1.0f;
    fadeQuad_[i].rhw = 1.0f;
  }
  DWORD lighting = 0, zEnable = 0, alphaTest = 0;
  device->GetRenderState(D3DRS_LIGHTING, &lighting);
  device->GetRenderState(D3DRS_ZENABLE, &zEnable);
  device->GetRenderState(D3DRS_ALPHATESTENABLE, &alphaTest);
  device->SetRenderState(D3DRS_ZENABLE, FALSE);
  device->SetRenderState(D3DRS_LIGHTING, FALSE);
  device->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
  device->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
  device->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA);
  device->SetRenderState(D3DRS_ALPHATESTENABLE, FALSE);
  // The last view's picture, filtered as it is stretched over the screen; its opacity is the
  // quad's vertex alpha alone (what the snapshot left in its alpha channel plays no part).
  device->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
  device->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TEXTURE);
  device->SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_SELECTARG1);
  device->SetTextureStageState(0, D3DTSS_ALPHAARG1, D3DTA_DIFFUSE);
  device->SetTextureStageState(0, D3DTSS_TEXCOORDINDEX, 0);
  device->SetTextureStageState(0, D3DTSS_TEXTURETRANSFORMFLAGS, D3DTTFF_DISABLE);
  device->SetTextureStageState(1, D3DTSS_COLOROP, D3DTOP_DISABLE);
  effects::SetStageSampling(device, 0, effects::kScreenSampling);
  device->SetTexture(0, fadeTexture_);
  device->SetVertexShader(kScreenQuadFvf);
  device->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, fadeQuad_, sizeof(ScreenQuadVertex));
  device->SetTexture(0, nullptr);
  device->SetRenderState(D3DRS_LIGHTING, lighting);
  device->SetRenderState(D3DRS_ZENABLE, zEnable);
  device->SetRenderState(D3DRS_ALPHATESTENABLE, alphaTest);
}

HRESULT SceneApp::Render(IDirect3DDevice8* device) {
  if (!device) return E_FAIL;
  device->BeginScene();
  device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0x00000000, 1.0f, 0);
  if (room_) room_->Render();
  if (fadeOpacity_ > 0 && fadeTexture_) DrawCrossfade(device);
  DrawOverlays(device);
  device->EndScene();
  return device->Present(nullptr, nullptr, nullptr, nullptr);
}

HRESULT SceneApp::DeleteSceneObjects() {
  if (room_) room_->ReleaseDeviceObjects();
  room_.reset();
  ReleaseCrossfade();
  SafeRelease(fadeKeep_);
  return 0;
}

void SceneApp::StartSound() {
  musicOn_ = settings.current.Music != 0;
  music_.StartMusic(mainWindow(), musicOn_, static_cast<win32::DWORD>(settings.current.MusicVolume));
}

void SceneApp::StopSound() {
  music_.StopMusic();
  musicOn_ = false;
}
