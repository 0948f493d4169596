// The application object: its default operations, the frame step and teardown. The run
// modes, the exit rules and device creation have files of their own.
#include "host/screensaver_app.h"

#include <ctime>

#include "host/device_lists.h"
#include "host/quad_pool.h"
#include "platform/d3dx/d3dx_math.h"
#include "platform/win32/clock.h"
#include "platform/win32/files.h"

using namespace d3d8;
using namespace win32;

namespace {

ScreenSaverApp* g_app = nullptr;
const auto g_processStart = std::chrono::steady_clock::now();

}  // namespace

ScreenSaverApp* TheApp() { return g_app; }

void ScreenSaverApp::FillDeviceLists(HWND dialog) {
  SelectAndFillDeviceLists(devices, settings.current, texts, dialog);
}

bool ScreenSaverApp::OnDeviceListChoice(HWND dialog, int list) {
  return ChooseFromDeviceList(devices, settings.current, dialog, list);
}
std::chrono::steady_clock::time_point ProcessStartTime() { return g_processStart; }

LRESULT SaverWindowProc(HWND window, UINT message, WPARAM w, LPARAM l) {
  if (!g_app) return DefWindowProcA(window, message, w, l);
  return g_app->WindowProc(window, message, w, l);
}

ScreenSaverApp::ScreenSaverApp() {
  g_app = this;
  SetExtraDefaults();
}

ScreenSaverApp::~ScreenSaverApp() {
  FinishLoadingAhead();
  if (device_) device_->Release();
  device_ = nullptr;
  if (g_app == this) g_app = nullptr;
}

unsigned ScreenSaverApp::RandomSeed() const {
  return haveSeed_ ? seed_ : static_cast<unsigned>(std::time(nullptr));
}

void ScreenSaverApp::AttachDevice(IDirect3DDevice8* device, const D3DPRESENT_PARAMETERS& params) {
  if (device_) device_->Release();
  device_ = device;
  presentParams_ = params;
}

// ---------------------------------------------------------------------------------------
// Virtual defaults

LRESULT ScreenSaverApp::DefaultWindowProc(HWND window, UINT message, WPARAM w, LPARAM l) {
  return DefWindowProcA(window, message, w, l);
}

HRESULT ScreenSaverApp::RestoreDeviceObjects(IDirect3DDevice8* device) {
  if (!device) return E_FAIL;
  device->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
  device->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_ONE);
  device->SetRenderState(D3DRS_ALPHAREF, 32);
  device->SetRenderState(D3DRS_ALPHAFUNC, D3DCMP_GREATEREQUAL);
  device->SetRenderState(D3DRS_DITHERENABLE, TRUE);
  device->SetRenderState(D3DRS_ZENABLE, TRUE);
  device->SetRenderState(D3DRS_LIGHTING, FALSE);
  device->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TEXTURE);
  device->SetTextureStageState(0, D3DTSS_COLORARG2, D3DTA_DIFFUSE);
  device->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_MODULATE);
  device->SetTextureStageState(0, D3DTSS_MINFILTER, D3DTEXF_LINEAR);
  device->SetTextureStageState(0, D3DTSS_MAGFILTER, D3DTEXF_LINEAR);
  device->SetTextureStageState(0, D3DTSS_ADDRESSU, D3DTADDRESS_WRAP);
  device->SetTextureStageState(0, D3DTSS_ADDRESSV, D3DTADDRESS_WRAP);
  D3DMATERIAL8 material{};
  material.Diffuse = material.Ambient = material.Specular = {1, 1, 1, 1};
  material.Emissive = {0, 0, 0, 0};
  material.Power = 50.0f;
  device->SetMaterial(&material);
  d3dx::D3DXMATRIX m;
  d3dx::D3DXMatrixIdentity(&m);
  device->SetTransform(D3DTS_WORLD, &m);
  D3DVIEWPORT8 vp{};
  device->GetViewport(&vp);
  const float aspect = vp.Height ? static_cast<float>(vp.Width) / static_cast<float>(vp.Height) : 4.0f / 3.0f;
  d3dx::D3DXMatrixPerspectiveFovLH(&m, d3dx::D3DX_PI / 4, aspect, 0.1f, 1000.0f);
  device->SetTransform(D3DTS_PROJECTION, &m);
  return S_OK;
}

HRESULT ScreenSaverApp::ShowLoadingScreen(IDirect3DDevice8* device) {
  return overlays.ShowLoadingScreen(device, &log, &frameParity_);
}

HRESULT ScreenSaverApp::FrameMove(IDirect3DDevice8* device, float) {
  if (!device) return E_FAIL;
  d3dx::D3DXVECTOR3 eye(0, 0, -1), at(0, 0, 0), up(0, 1, 0);
  d3dx::D3DXMATRIX view;
  d3dx::D3DXMatrixLookAtLH(&view, &eye, &at, &up);
  return device->SetTransform(D3DTS_VIEW, &view);
}

HRESULT ScreenSaverApp::Render(IDirect3DDevice8* device) {
  if (!device) return E_FAIL;
  device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF0000FFu, 1.0f, 0);
  device->BeginScene();
  DrawOverlays(device);
  device->EndScene();
  return device->Present(nullptr, nullptr, nullptr, nullptr);
}

void ScreenSaverApp::DrawOverlays(IDirect3DDevice8* device) {
  const SaverSettings& s = settings.current;
  overlays.Draw(device, s.ShowTime != 0, s.DigClock_24H != 0, s.ShowFPS != 0);
}

// ---------------------------------------------------------------------------------------
// Frame step

HRESULT ScreenSaverApp::FrameStep() {
  if (!device_) return E_FAIL;
  const auto t0 = std::chrono::steady_clock::now();
  float elapsed = static_cast<float>(timeGetTime()) - prevTime_;
  prevTime_ = static_cast<float>(timeGetTime());
  if (elapsed < 0.0f) elapsed = 0.0f;
  const HRESULT level = device_->TestCooperativeLevel();
  if (level == D3DERR_DEVICENOTRESET) {
    log.Write("Device was lost.");
    log.Write("Try to restore.");
    ReleaseDefaultPoolObjects();
    device_->Reset(&presentParams_);
    RestoreDeviceObjects(device_);
    frameParity_ = 1;
    log.Write("Restore state to complete.");
    prevTime_ = static_cast<float>(timeGetTime());
    return level;
  }
  if (FAILED(level)) return level;
  const auto t1 = std::chrono::steady_clock::now();
  FrameMove(device_, elapsed);
  const auto t2 = std::chrono::steady_clock::now();
  Render(device_);
  const auto t3 = std::chrono::steady_clock::now();
  frameParity_ ^= 1;
  ++overlays.frameCounter;
  if (collectTimings) {
    using S = std::chrono::duration<double>;
    timings.frameMove.push_back(S(t2 - t1).count());
    timings.render.push_back(S(t3 - t2).count());
    timings.frameStep.push_back(S(t3 - t0).count());
  }
  return S_OK;
}

void ScreenSaverApp::Teardown() {
  if (tornDown_) {
    quit_ = true;
    return;
  }
  tornDown_ = true;
  FinishLoadingAhead();
  StopSound();
  if (device_) {
    D3DGAMMARAMP ramp{};
    device_->GetGammaRamp(&ramp);
    BuildIdentityRamp(&ramp);
    device_->SetGammaRamp(D3DSGR_CALIBRATE, &ramp);
  }
  Textures().ReleaseAll();
  DeleteSceneObjects();
  Quads().ReleaseAll();
  overlays.vertexBuffer = -1;
  if (device_) {
    device_->Release();
    device_ = nullptr;
  }
  devices.Release();
  if (mainWindow_) KillTimer(mainWindow_, kFrameRateTimer);
  if (passwordLibrary_) {
    FreeLibrary(passwordLibrary_);
    passwordLibrary_ = nullptr;
    verifyPassword_ = nullptr;
  }
  quit_ = true;
  log.Close();
}
