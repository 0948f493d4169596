#include "host/device_table.h"

#include <algorithm>

#include "host/log.h"
#include "platform/win32/msgbox.h"

using namespace d3d8;

int BitCountOf(D3DFORMAT format) { return (format == D3DFMT_A8R8G8B8 || format == D3DFMT_X8R8G8B8) ? 32 : 16; }

void ShowDeviceError(HRESULT code, Log* log) {
  const char* text = nullptr;
  if (code == kErrorNoDirect3D)
    text = "Could not initialize Direct3D. You may\nwant to check that the latest version of\n"
           "DirectX is correctly installed on your\nsystem.";
  else if (code == kErrorNoCompatibleDevice)
    text = "Could not find any compatible Direct3D\ndevices.";
  if (!text) return;
  if (log) log->Write(text);
  win32::MessageBoxA(nullptr, text, "Error!", win32::MB_ICONERROR);
}

DeviceTable::~DeviceTable() { Release(); }

void DeviceTable::Release() {
  if (d3d_) d3d_->Release();
  d3d_ = nullptr;
}

HRESULT DeviceTable::Enumerate(IDirect3D8* d3d, Log* log) {
  Release();
  adapters_.clear();
  d3d_ = d3d ? d3d : Direct3DCreate8(D3D_SDK_VERSION);
  if (!d3d_) {
    ShowDeviceError(kErrorNoDirect3D, log);
    return kErrorNoDirect3D;
  }
  if (log) log->Write("\xD1reate D3D complete");
  const UINT count = d3d_->GetAdapterCount();
  for (UINT a = 0; a < count; ++a) {
    AdapterRecord record;
    record.ordinal = a;
    d3d_->GetAdapterIdentifier(a, 0, &record.identifier);
    std::vector<AdapterMode> kept;
    std::vector<D3DFORMAT> formats;
    const UINT modeCount = d3d_->GetAdapterModeCount(a);
    for (UINT m = 0; m < modeCount; ++m) {
      D3DDISPLAYMODE dm{};
      if (FAILED(d3d_->EnumAdapterModes(a, m, &dm))) continue;
      if (dm.Width <= 639 || dm.Height <= 399) continue;
      const bool seen = std::any_of(kept.begin(), kept.end(), [&](const AdapterMode& k) {
        return k.width == dm.Width && k.height == dm.Height && k.format == dm.Format;
      });
      if (seen) continue;
      kept.push_back({dm.Width, dm.Height, dm.Format});
      if (std::find(formats.begin(), formats.end(), dm.Format) == formats.end()) formats.push_back(dm.Format);
    }
    std::stable_sort(kept.begin(), kept.end(), [](const AdapterMode& x, const AdapterMode& y) {
      return x.width != y.width ? x.width < y.width : x.height < y.height;
    });
    d3d_->GetDeviceCaps(a, D3DDEVTYPE_HAL, &record.caps);
    std::vector<D3DFORMAT> usable;
    for (D3DFORMAT f : formats) {
      if (FAILED(d3d_->CheckDeviceType(a, D3DDEVTYPE_HAL, f, f, FALSE))) continue;
      usable.push_back(f);
      auto depthOk = [&](D3DFORMAT depth) {
        return SUCCEEDED(d3d_->CheckDeviceFormat(a, D3DDEVTYPE_HAL, f, D3DUSAGE_DEPTHSTENCIL, D3DRTYPE_SURFACE, depth)) &&
               SUCCEEDED(d3d_->CheckDepthStencilMatch(a, D3DDEVTYPE_HAL, f, f, depth));
      };
      if (depthOk(D3DFMT_D16)) record.depthD16 = true;
      if (depthOk(D3DFMT_D24X8)) record.depthD24X8 = true;
      if (depthOk(D3DFMT_D24S8)) record.depthD24S8 = true;
      for (std::size_t i = 0; i < kMultisampleList.size(); ++i)
        if (SUCCEEDED(d3d_->CheckDeviceMultiSampleType(a, D3DDEVTYPE_HAL, f, FALSE, kMultisampleList[i])))
          record.multisampleOk[i] = true;
    }
    for (const AdapterMode& m : kept)
      if (std::find(usable.begin(), usable.end(), m.format) != usable.end()) record.modes.push_back(m);
    if (!record.modes.empty()) adapters_.push_back(record);
  }
  if (adapters_.empty()) {
    if (log) log->Write("Cant Enumerate Device List");
    Release();
    ShowDeviceError(kErrorNoCompatibleDevice, log);
    return kErrorNoCompatibleDevice;
  }
  currentAdapter_ = 0;
  AdapterRecord& cur = adapters_[0];
  cur.currentMode = 0;
  cur.multisample = D3DMULTISAMPLE_NONE;
  cur.depthFormat = cur.depthD24S8 ? D3DFMT_D24S8 : cur.depthD24X8 ? D3DFMT_D24X8 : D3DFMT_D16;
  CopySelection();
  if (log) log->Write("Enumerate Device List complete");
  return S_OK;
}

void DeviceTable::SelectMode(UINT width, UINT height, int bitCount, D3DMULTISAMPLE_TYPE multisample) {
  AdapterRecord* a = current();
  if (!a) return;
  for (std::size_t i = 0; i < kMultisampleList.size(); ++i) {
    if (kMultisampleList[i] == multisample && a->multisampleOk[i]) {
      a->multisample = multisample;
      break;
    }
  }
  for (std::size_t i = 0; i < a->modes.size(); ++i) {
    const AdapterMode& m = a->modes[i];
    if (m.width == width && m.height == height && BitCountOf(m.format) == bitCount) {
      a->currentMode = i;
      break;
    }
  }
  CopySelection();
}

void DeviceTable::CopySelection() {
  const AdapterRecord* a = current();
  if (!a || a->modes.empty()) return;
  DeviceSelection s;
  const AdapterMode& m = a->modes[a->currentMode];
  s.width = m.width;
  s.height = m.height;
  s.backBufferFormat = m.format;
  s.depthFormat = a->depthFormat;
  s.multisample = a->multisample;
  s.fullScreen = true;
  s.changed = s.width != selection_.width || s.height != selection_.height ||
              s.backBufferFormat != selection_.backBufferFormat || s.depthFormat != selection_.depthFormat ||
              s.multisample != selection_.multisample;
  selection_ = s;
}

void BuildGammaRamp(int g, D3DGAMMARAMP* ramp) {
  WORD values[256];
  if (g <= 100) {
    for (int i = 0; i < 256; ++i) values[i] = static_cast<WORD>((2 * g + 56) * i);
  } else {
    const int m = static_cast<int>(256.0 - (g - 100) * 1.5);
    for (int v = 255; v >= 0; --v) values[255 - v] = static_cast<WORD>(65355 - m * v);
  }
  std::copy(values, values + 256, ramp->red);
  std::copy(values, values + 256, ramp->green);
  std::copy(values, values + 256, ramp->blue);
}

void BuildIdentityRamp(D3DGAMMARAMP* ramp) {
  for (int i = 0; i < 256; ++i) ramp->red[i] = ramp->green[i] = ramp->blue[i] = static_cast<WORD>(256 * i);
}

DWORD ChooseVertexProcessing(const D3DCAPS8& caps) {
  if ((caps.DevCaps & D3DDEVCAPS_TLVERTEXSYSTEMMEMORY) && caps.VertexShaderVersion >= D3DVS_VERSION(1, 0))
    return D3DCREATE_HARDWARE_VERTEXPROCESSING;
  return D3DCREATE_SOFTWARE_VERTEXPROCESSING;
}
