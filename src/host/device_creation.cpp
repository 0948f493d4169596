// The saver windows, one per monitor, and the creation of the Direct3D device.
#include "host/screensaver_app.h"

#include <cstdio>

#include "host/quad_pool.h"
#include "platform/win32/native_window.h"
#include "platform/win32/window.h"

using namespace d3d8;
using namespace win32;

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
