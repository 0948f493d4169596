#include "host/screensaver_app.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "config/config_dialog.h"
#include "config/print_settings.h"
#include "host/device_lists.h"
#include "host/frame_pacer.h"
#include "host/quad_pool.h"
#include "host/texture_service.h"
#include "host/timer_service.h"
#include "media/archive_reader.h"
#include "platform/d3dx/d3dx_math.h"
#include "platform/win32/clock.h"
#include "platform/win32/files.h"
#include "platform/win32/gdi.h"
#include "platform/win32/messages.h"
#include "platform/win32/msgbox.h"
#include "platform/win32/native_window.h"
#include "platform/win32/registry.h"
#include "platform/win32/resources.h"
#include "platform/win32/signals.h"
#include "platform/win32/window.h"

using namespace d3d8;
using namespace win32;

namespace {

ScreenSaverApp* g_app = nullptr;
const auto g_processStart = std::chrono::steady_clock::now();

// This platform reports itself as a system of the NT family, so the Windows 9x password
// path stays inert unless a test switches it on.
bool PlatformIsWindows9x() { return false; }

using PwdChangePasswordFunction = DWORD (*)(LPCSTR provider, HWND parent, DWORD reserved1, DWORD reserved2);

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
  d3dx::D3DXMatrixPerspectiveFovLH(&m, 3.14159265f / 4.0f, aspect, 0.1f, 1000.0f);
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

// ---------------------------------------------------------------------------------------
// Window procedure and end request

LRESULT ScreenSaverApp::WindowProc(HWND window, UINT message, WPARAM w, LPARAM l) {
  switch (message) {
    case WM_CREATE:
      if (mode_ == RunMode::Preview && !previewBitmap_)
        previewBitmap_ = LoadBitmapA(instance_, MAKEINTRESOURCEA(kPreviewBitmapResource));
      break;
    case WM_DESTROY:
    case WM_CLOSE:
      quit_ = true;
      return 1;
    case WM_PAINT:
      if (mode_ == RunMode::Preview) {
        PAINTSTRUCT ps{};
        HDC dc = BeginPaint(window, &ps);
        if (previewBitmap_ && dc) {
          BITMAP info{};
          GetObjectA(previewBitmap_, sizeof info, &info);
          HDC mem = CreateCompatibleDC(dc);
          HGDIOBJ old = SelectObject(mem, previewBitmap_);
          BitBlt(dc, 0, 0, info.bmWidth, info.bmHeight, mem, 0, 0, SRCCOPY);
          SelectObject(mem, old);
          DeleteDC(mem);
        }
        EndPaint(window, &ps);
        return 0;
      }
      break;
    case WM_ACTIVATEAPP:
      if (w == 0 && mode_ != RunMode::Test) return EndRequest();
      break;
    case WM_SETCURSOR:
      if (mode_ == RunMode::Saver) return 1;
      break;
    case WM_KEYDOWN:
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN:
    case WM_MBUTTONDOWN:
      if (mode_ != RunMode::Test) return EndRequest();
      break;
    case WM_MOUSEMOVE:
      if (mode_ != RunMode::Preview && settings.current.ExitOnMouseMove != 0) {
        --mouseMoves_;
        if (mouseMoves_ < 0) return EndRequest();
      }
      break;
    case WM_SYSCOMMAND:
      if (mode_ == RunMode::Saver &&
          (w == SC_CLOSE || w == SC_NEXTWINDOW || w == SC_PREVWINDOW || w == SC_SCREENSAVE))
        return EndRequest();
      break;
    case WM_POWERBROADCAST:
      if (w == PBT_APMSUSPEND && !verifyPassword_) return EndRequest();
      break;
    case WM_TIMER:
      if (w == kPreviewPumpTimer) {
        previewPump_ = false;
        KillTimer(window, kPreviewPumpTimer);
      } else if (w == kFrameRateTimer) {
        overlays.Tick();
      }
      break;
    case WM_USER:
      SetTimer(window, kPreviewPumpTimer, 500, nullptr);
      break;
    default:
      break;
  }
  return DefaultWindowProc(window, message, w, l);
}

int ScreenSaverApp::EndRequest() {
  if (mode_ != RunMode::Saver && mode_ != RunMode::Test) return 0;
  if (win9x_ && mode_ == RunMode::Saver && verifyPassword_) {
    if (frameParity_ == 0 && device_) device_->Present(nullptr, nullptr, nullptr, nullptr);
    if (!verifyPassword_(mainWindow_)) {
      SetCursor(nullptr);
      mouseMoves_ = 0;
      frameParity_ = 1;
      prevTime_ = static_cast<float>(timeGetTime());
      return 0;
    }
  }
  Teardown();
  return 1;
}

void ScreenSaverApp::Teardown() {
  if (tornDown_) {
    quit_ = true;
    return;
  }
  tornDown_ = true;
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

// ---------------------------------------------------------------------------------------
// Windows, monitors, password

void ScreenSaverApp::EnumerateMonitors() {
  monitors_.clear();
  DISPLAY_DEVICEA dd{};
  dd.cb = sizeof dd;
  for (DWORD i = 0; EnumDisplayDevicesA(nullptr, i, &dd, 0); ++i) {
    if (dd.StateFlags & DISPLAY_DEVICE_MIRRORING_DRIVER) continue;
    if (monitors_.size() >= static_cast<std::size_t>(kMaxMonitors)) break;
    DISPLAY_DEVICEA monitor{};
    monitor.cb = sizeof monitor;
    const bool haveMonitor = EnumDisplayDevicesA(dd.DeviceName, 0, &monitor, 0);
    MonitorEntry e;
    std::snprintf(e.adapterDescription, sizeof e.adapterDescription, "%s", dd.DeviceString);
    if (haveMonitor) std::snprintf(e.monitorDescription, sizeof e.monitorDescription, "%s", monitor.DeviceString);
    if (dd.StateFlags & DISPLAY_DEVICE_ATTACHED_TO_DESKTOP) {
      DEVMODEA dm{};
      dm.dmSize = sizeof dm;
      if (EnumDisplaySettingsA(dd.DeviceName, ENUM_CURRENT_SETTINGS, &dm)) {
        const bool primary = (dd.StateFlags & DISPLAY_DEVICE_PRIMARY_DEVICE) != 0;
        e.rect.left = primary ? 0 : dm.dmPosition.x;
        e.rect.top = primary ? 0 : dm.dmPosition.y;
        e.rect.right = e.rect.left + static_cast<LONG>(dm.dmPelsWidth);
        e.rect.bottom = e.rect.top + static_cast<LONG>(dm.dmPelsHeight);
        e.monitor = MonitorFromRect(&e.rect, MONITOR_DEFAULTTONULL);
      }
    }
    monitors_.push_back(e);
    dd = DISPLAY_DEVICEA{};
    dd.cb = sizeof dd;
  }
}

HRESULT ScreenSaverApp::CreateSaverWindows() {
  WNDCLASSA wc{};
  wc.style = CS_HREDRAW | CS_VREDRAW;
  wc.lpfnWndProc = SaverWindowProc;
  wc.hInstance = instance_;
  wc.hIcon = LoadIconA(instance_, MAKEINTRESOURCEA(kIconResource));
  wc.hCursor = LoadCursorA(nullptr, IDC_ARROW);
  wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
  wc.lpszClassName = kSaverWindowClass;
  RegisterClassA(&wc);
  mainWindow_ = nullptr;
  if (adoptWindow_) {
    mainWindow_ = AdoptNativeWindow(kSaverWindowClass, adoptWindow_, nullptr);
  } else if (mode_ == RunMode::Preview) {
    RECT rc{};
    GetClientRect(parent_, &rc);
    AdjustWindowRect(&rc, WS_CHILD | WS_VISIBLE, FALSE);
    mainWindow_ = CreateWindowExA(0, kSaverWindowClass, kSaverWindowTitle, WS_CHILD | WS_VISIBLE, rc.left, rc.top,
                                  rc.right - rc.left, rc.bottom - rc.top, parent_, nullptr, instance_, nullptr);
  } else if (mode_ == RunMode::Saver) {
    for (MonitorEntry& m : monitors_) {
      if (!m.monitor) continue;
      HWND w = CreateWindowExA(WS_EX_TOPMOST, kSaverWindowClass, kSaverWindowTitle, WS_POPUP | WS_VISIBLE,
                               m.rect.left, m.rect.top, m.rect.right - m.rect.left, m.rect.bottom - m.rect.top,
                               mainWindow_, nullptr, instance_, nullptr);
      if (!w) return E_FAIL;
      m.window = w;
      if (!mainWindow_) mainWindow_ = w;
    }
  } else if (mode_ == RunMode::Test) {
    const DWORD style = WS_VISIBLE | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
    RECT rc{50, 50, 650, 450};
    AdjustWindowRect(&rc, style, FALSE);
    mainWindow_ = CreateWindowExA(0, kSaverWindowClass, kSaverWindowTitle, style, rc.left, rc.top,
                                  rc.right - rc.left, rc.bottom - rc.top, nullptr, nullptr, instance_, nullptr);
  }
  if (!mainWindow_) return E_FAIL;
  SetCursor(nullptr);
  return S_OK;
}

void ScreenSaverApp::SetUpPassword() {
  win9x_ = win9x_ || PlatformIsWindows9x();
  if (!win9x_ || mode_ != RunMode::Saver || verifyPassword_) return;
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_CURRENT_USER, "Control Panel\\Desktop", 0, KEY_READ, &key) != ERROR_SUCCESS) return;
  DWORD value = 0, size = sizeof value, type = 0;
  if (RegQueryValueExA(key, "ScreenSaveUsePassword", nullptr, &type, reinterpret_cast<BYTE*>(&value), &size) ==
          ERROR_SUCCESS &&
      size == 4 && value != 0) {
    passwordLibrary_ = LoadLibraryA("PASSWORD.CPL");
    if (passwordLibrary_)
      verifyPassword_ =
          reinterpret_cast<VerifyPasswordFunction>(GetProcAddress(passwordLibrary_, "VerifyScreenSavePwd"));
  }
  RegCloseKey(key);
}

// ---------------------------------------------------------------------------------------
// Device creation

int ScreenSaverApp::CreateDevice() {
  IDirect3D8* d3d = devices.d3d();
  AdapterRecord* adapter = devices.current();
  if (!d3d || !adapter) return 2;
  // Without a window (and outside capture) there is nothing to draw into.
  if (!mainWindow_ && !offscreen_) {
    log.Write("Cant create any HAL D3D_Device!");
    return 2;
  }
  const UINT ordinal = adapter->ordinal;
  D3DDISPLAYMODE desktop{};
  const bool haveDesktop = SUCCEEDED(d3d->GetAdapterDisplayMode(ordinal, &desktop));
  const bool useDesktop = settings.current.UseDesktopSettings != 0;
  if (!haveDesktop && useDesktop) {
    log.Write("Cant get Desktop DisplayMode!");
    return 1;
  }
  const DeviceSelection& sel = devices.selection();
  D3DPRESENT_PARAMETERS pp{};
  if (useDesktop) {
    RECT rc{};
    if (mainWindow_) GetClientRect(mainWindow_, &rc);
    pp.BackBufferWidth = static_cast<UINT>(rc.right - rc.left);
    pp.BackBufferHeight = static_cast<UINT>(rc.bottom - rc.top);
    pp.BackBufferFormat = desktop.Format == D3DFMT_R8G8B8 ? D3DFMT_R5G6B5 : desktop.Format;
  } else {
    pp.BackBufferWidth = sel.width;
    pp.BackBufferHeight = sel.height;
    pp.BackBufferFormat = sel.backBufferFormat;
  }
  if (forcedWidth_ && forcedHeight_) {
    pp.BackBufferWidth = forcedWidth_;
    pp.BackBufferHeight = forcedHeight_;
  }
  if (pp.BackBufferWidth == 0 || pp.BackBufferHeight == 0) {
    // A window that reports no size (an unmapped foreign window): the selected mode's size.
    pp.BackBufferWidth = sel.width;
    pp.BackBufferHeight = sel.height;
  }
  pp.Windowed = FALSE;
  pp.BackBufferCount = 1;
  pp.SwapEffect = D3DSWAPEFFECT_DISCARD;
  pp.FullScreen_RefreshRateInHz = 0;
  pp.EnableAutoDepthStencil = TRUE;
  pp.AutoDepthStencilFormat = adapter->depthFormat;
  pp.MultiSampleType = adapter->multisample;
  pp.hDeviceWindow = nullptr;
  if (FAILED(d3d->CheckDepthStencilMatch(ordinal, D3DDEVTYPE_HAL, pp.BackBufferFormat, pp.BackBufferFormat,
                                         pp.AutoDepthStencilFormat)))
    pp.AutoDepthStencilFormat = D3DFMT_D16;
  if (FAILED(d3d->CheckDeviceMultiSampleType(ordinal, D3DDEVTYPE_HAL, pp.BackBufferFormat, FALSE,
                                             pp.MultiSampleType)))
    pp.MultiSampleType = D3DMULTISAMPLE_NONE;
  const DWORD vp = ChooseVertexProcessing(adapter->caps);
  IDirect3DDevice8* device = nullptr;
  if (FAILED(d3d->CreateDevice(ordinal, D3DDEVTYPE_HAL, mainWindow_, vp, &pp, &device))) {
    log.Write("Cant create HAL D3D_Device, try use safe mode.");
    pp.MultiSampleType = D3DMULTISAMPLE_NONE;
    pp.AutoDepthStencilFormat = D3DFMT_D16;
    pp.BackBufferFormat = D3DFMT_R5G6B5;
    pp.BackBufferWidth = 640;
    pp.BackBufferHeight = 480;
    device = nullptr;
    if (FAILED(d3d->CreateDevice(ordinal, D3DDEVTYPE_HAL, mainWindow_, D3DCREATE_SOFTWARE_VERTEXPROCESSING, &pp,
                                 &device))) {
      log.Write("Cant create any HAL D3D_Device!");
      return 2;
    }
  }
  device_ = device;
  presentParams_ = pp;
  Textures().SetLog(&log);
  Textures().Bind(d3d, device_, pp.BackBufferFormat, mainWindow_);
  Quads().Bind(device_, mainWindow_);
  D3DGAMMARAMP ramp{};
  device_->GetGammaRamp(&ramp);
  BuildGammaRamp(settings.current.GmCntrl, &ramp);
  device_->SetGammaRamp(D3DSGR_CALIBRATE, &ramp);
  log.Write("Create D3D_Device Complete");
  RestoreDeviceObjects(device_);
  log.Write("Init D3D_Device Complete");
  ShowLoadingScreen(device_);
  return 0;
}

// ---------------------------------------------------------------------------------------
// Start-up, run step and run loop

void ScreenSaverApp::StartUp(HINSTANCE instance, const char* commandLine) {
  texts.Load();
  InitApp();
  instance_ = instance;
  if (!offscreen_ && !adoptWindow_) {
    mode_ = ParseCommandLine(commandLine, &parent_);
  }
  switch (mode_) {
    case RunMode::Preview:
    case RunMode::Saver:
    case RunMode::Test: log.Open(kSaverLogFileName); break;
    case RunMode::Configure: log.Open(kConfigLogFileName); break;
    case RunMode::ChangePassword: break;
  }
  // The adapters reflect the displays only once the windowing side has looked at them.
  if (!offscreen_) DisplayAvailable();
  mayRun_ = SUCCEEDED(devices.Enumerate(nullptr, &log));
  if (mayRun_ && !adoptWindow_ && !offscreen_) {
    if (FindWindowA(kSaverWindowClass, nullptr)) mayRun_ = false;
    const std::string& title = texts.configTitle();
    if (!title.empty() && FindWindowA(nullptr, title.c_str())) mayRun_ = false;
  }
  if (!mayRun_) return;
  QueryDeviceCaps();
  EnumerateMonitors();
  if (mode_ == RunMode::Preview || mode_ == RunMode::Saver || mode_ == RunMode::Test) {
    if (offscreen_) return;
    if (FAILED(CreateSaverWindows()))
      log.Write("Cannot create Saver Window!");
    else
      log.Write("Create Saver Window complete");
  }
  if (mode_ == RunMode::Preview && mainWindow_) RunPreviewPump();
}

void ScreenSaverApp::RunPreviewPump() {
  previewPump_ = true;
  PostMessageA(mainWindow_, WM_USER, 0, 0);
  MSG msg{};
  while (previewPump_) {
    const BOOL r = GetMessageA(&msg, mainWindow_, 0, 0);
    if (r == 0) {
      PostQuitMessage(0);
      break;
    }
    if (r < 0) break;
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
}

void ScreenSaverApp::PrepareDrawingRun() {
  settings.LoadDefaults();
  ReadSettings(settings.current);
  ReadExtraSettings();
  ApplyRunOptions(runOptions, settings.current);
  devices.SelectMode(static_cast<UINT>(settings.current.Width), static_cast<UINT>(settings.current.Height),
                     settings.current.BitCount, static_cast<D3DMULTISAMPLE_TYPE>(settings.current.FSAA));
  const DeviceSelection& sel = devices.selection();
  if (sel.width) {
    settings.current.Width = static_cast<std::int32_t>(sel.width);
    settings.current.Height = static_cast<std::int32_t>(sel.height);
    settings.current.BitCount = BitCountOf(sel.backBufferFormat);
    settings.current.FSAA = static_cast<std::int32_t>(sel.multisample);
  }
}

void ScreenSaverApp::InstallSignalEnd() {
  InstallTerminationSignals();
  SetTerminationCallback([this](int) {
    Teardown();
    PostQuitMessage(0);
  });
}

int ScreenSaverApp::Run() {
  if (!mayRun_) return 0;
  switch (mode_) {
    case RunMode::Configure:
      RunConfigurationDialog(*this);
      log.Close();
      break;
    case RunMode::ChangePassword: {
      if (HMODULE mpr = LoadLibraryA("MPR.DLL")) {
        if (auto change = reinterpret_cast<PwdChangePasswordFunction>(GetProcAddress(mpr, "PwdChangePasswordA")))
          change("SCRSAVE", parent_, 0, 0);
        FreeLibrary(mpr);
      }
      break;
    }
    case RunMode::Preview:
    case RunMode::Saver:
    case RunMode::Test:
      PrepareDrawingRun();
      RunSaver();
      if (mainWindow_ && IsWindow(mainWindow_)) DestroyWindow(mainWindow_);
      mainWindow_ = nullptr;
      break;
  }
  return 0;
}

bool ScreenSaverApp::LoadAll() {
  // Each solid archive is unpacked once for all the requests of the loading.
  const KeptArchiveStreams kept;
  const int created = CreateDevice();
  if (created == 1) {
    MessageBoxA(mainWindow_, "Cant get Desktop DisplayMode.", "Error!", MB_ICONERROR);
    return false;
  }
  if (created == 2) {
    MessageBoxA(mainWindow_, "Could not find any compatible Direct3D\ndevices.", "Error!", MB_ICONERROR);
    return false;
  }
  // A termination signal during loading ends the run right after the current step.
  if (TerminationSignal() != 0) return false;
  overlays.LoadDigits(&log);
  if (TerminationSignal() != 0) return false;
  LoadScene(device_);
  if (TerminationSignal() != 0) return false;
  LoadSceneExtra(device_);
  if (TerminationSignal() != 0) return false;
  StartSound();
  log.Write("All Data Was Loaded.");
  return true;
}

DWORD ScreenSaverApp::RunPass(MSG& msg, FramePacer& pacer, SightGate& sight) {
  if (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
    return 2;
  }
  if (mode_ == RunMode::Preview) return 2;
  const double now = static_cast<double>(timeGetTime());
  const SightGate::Change change = sight.Update(now, [this] {
    return (sightQuery ? sightQuery() : QueryWindowSight(mainWindow_)) == WindowSight::Visible;
  });
  if (change == SightGate::Change::Resumed) {
    // The time nothing was shown is not scene time: both frame clocks start from now.
    prevTime_ = static_cast<float>(timeGetTime());
    Timer().Start();
    pacer.Restart();
  }
  if (!sight.drawing()) {
    if (whileUnseen) whileUnseen();
    return kUnseenWaitMs;
  }
  FrameStep();
  return std::max<DWORD>(2, pacer.WaitAfterFrame(static_cast<double>(timeGetTime())));
}

int ScreenSaverApp::RunSaver() {
  InstallSignalEnd();
  SetUpPassword();
  if (mode_ != RunMode::Preview && !LoadAll()) {
    Teardown();
    return 0;
  }
  if (mainWindow_) SetTimer(mainWindow_, kFrameRateTimer, 1000, nullptr);
  quit_ = false;
  // No window, or one destroyed before the loop starts (a preview whose control panel closed
  // during the half-second pump), ends the run instead of leaving a loop nothing can end.
  if (!mainWindow_ || !IsWindow(mainWindow_)) quit_ = true;
  // Frames no faster than the display refreshes: where the swap does not wait for the
  // vertical blank the loop would otherwise draw as fast as the processor allows.
  FramePacer pacer;
  {
    D3DDISPLAYMODE displayMode{};
    if (device_ && FAILED(device_->GetDisplayMode(&displayMode))) displayMode.RefreshRate = 0;
    const AdapterRecord* adapter = devices.current();
    const unsigned rate =
        ChooseFrameRate(runOptions.maxFps, displayMode.RefreshRate, adapter ? adapter->identifier.Description : "");
    pacer.SetRefreshRate(rate);
    log.Write(("Frame rate: at most " + std::to_string(rate) + " a second").c_str());
  }
  SightGate sight;
  prevTime_ = static_cast<float>(timeGetTime());
  MSG msg{};
  msg.message = WM_NULL;
  while (msg.message != WM_QUIT && !quit_) Sleep(RunPass(msg, pacer, sight));
  // A run that ended from outside (window closed) still puts the gamma and the music back.
  if (!tornDown_ && (device_ || mode_ == RunMode::Preview)) Teardown();
  return 0;
}

// ---------------------------------------------------------------------------------------
// The Linux forms

int ScreenSaverApp::RunDaemon(unsigned long x11Window) {
  adoptWindow_ = x11Window;
  mode_ = RunMode::Saver;
  StartUp(GetModuleHandleA(nullptr), "");
  return Run();
}

namespace {

// Every mode but the password change needs a display; without one the run ends at once with
// status 1 and says what to do instead.
int NoDisplay() {
  const char* display = std::getenv("DISPLAY");
  if (display && *display)
    std::fprintf(stderr, "hoardel3d: no display could be opened (DISPLAY is \"%s\")\n", display);
  else
    std::fprintf(stderr, "hoardel3d: no display could be opened (DISPLAY is not set)\n");
  std::fprintf(stderr, "hoardel3d: to render without a display, use --capture DIR (see --help)\n");
  return 1;
}

}  // namespace

int ScreenSaverApp::Main(int argc, const char* const* argv) {
  // The per-run options come out of the command line before anything else reads it.
  const RunOptionsParse options = ExtractRunOptions(argc, argv);
  if (!options.ok()) {
    std::fprintf(stderr, "hoardel3d: %s\n%s", options.error.c_str(), RunOptionsUsage());
    return 2;
  }
  runOptions = options.options;
  argc = static_cast<int>(options.rest.size());
  argv = options.rest.data();
  const LinuxForm form = ParseLinuxForm(argc, argv, std::getenv("XSCREENSAVER_WINDOW"));
  switch (form.kind) {
    case LinuxForm::Help:
      std::fputs(UsageText().c_str(), stdout);
      return 0;
    case LinuxForm::Version:
      std::fputs(VersionText().c_str(), stdout);
      return 0;
    case LinuxForm::PrintSettings:
      return PrintSettingsWithRunOptions(runOptions, stdout);
    case LinuxForm::Error:
      std::fprintf(stderr, "hoardel3d: %s\n", form.error.c_str());
      return 2;
    case LinuxForm::Root: {
      if (!DisplayAvailable()) return NoDisplay();
      // XScreenSaver runs "-root" programs with the window it made for them in
      // $XSCREENSAVER_WINDOW (its virtual root); the real root lies hidden beneath it.
      unsigned long root = 0;
      if (const char* given = std::getenv("XSCREENSAVER_WINDOW"); given && *given) {
        char* end = nullptr;
        const unsigned long id = std::strtoul(given, &end, 0);
        if (end != given && *end == '\0') root = id;
      }
      if (!root) root = X11WindowOf(GetDesktopWindow());
      if (!root) {
        std::fprintf(stderr, "hoardel3d: the root window cannot be reached\n");
        return 1;
      }
      return RunDaemon(root);
    }
    case LinuxForm::WindowId:
      if (!DisplayAvailable()) return NoDisplay();
      return RunDaemon(form.windowId);
    case LinuxForm::Capture:
      return RunCapture(form.capture);
    case LinuxForm::None:
      break;
  }
  const std::string line = JoinCommandLine(argc, argv);
  HWND parent = nullptr;
  if (ParseCommandLine(line.c_str(), &parent) != RunMode::ChangePassword && !DisplayAvailable()) return NoDisplay();
  StartUp(GetModuleHandleA(nullptr), line.c_str());
  return Run();
}
