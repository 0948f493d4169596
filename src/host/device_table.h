// What the display adapters can do: their full-screen modes over 639 x 399 (one per size and
// format, sorted), usable back-buffer formats, depth formats and multisample types; the
// selection of the mode that matches the stored settings; and the pieces of device creation
// that do not need a device (present parameters, vertex processing, the gamma ramp).
#pragma once

#include <array>
#include <vector>

#include "host/host_types.h"
#include "platform/d3d8/d3d8.h"

class Log;

// The multisample list: none, then 2 to 16 samples (type 1 is not in it).
constexpr std::array<d3d8::D3DMULTISAMPLE_TYPE, 16> kMultisampleList = {
    d3d8::D3DMULTISAMPLE_TYPE(0),  d3d8::D3DMULTISAMPLE_TYPE(2),  d3d8::D3DMULTISAMPLE_TYPE(3),
    d3d8::D3DMULTISAMPLE_TYPE(4),  d3d8::D3DMULTISAMPLE_TYPE(5),  d3d8::D3DMULTISAMPLE_TYPE(6),
    d3d8::D3DMULTISAMPLE_TYPE(7),  d3d8::D3DMULTISAMPLE_TYPE(8),  d3d8::D3DMULTISAMPLE_TYPE(9),
    d3d8::D3DMULTISAMPLE_TYPE(10), d3d8::D3DMULTISAMPLE_TYPE(11), d3d8::D3DMULTISAMPLE_TYPE(12),
    d3d8::D3DMULTISAMPLE_TYPE(13), d3d8::D3DMULTISAMPLE_TYPE(14), d3d8::D3DMULTISAMPLE_TYPE(15),
    d3d8::D3DMULTISAMPLE_TYPE(16)};

// 32 for A8R8G8B8 and X8R8G8B8, 16 for every other format.
int BitCountOf(d3d8::D3DFORMAT format);

struct AdapterMode {
  UINT width = 0, height = 0;
  d3d8::D3DFORMAT format = d3d8::D3DFMT_UNKNOWN;
};

struct AdapterRecord {
  UINT ordinal = 0;
  d3d8::D3DADAPTER_IDENTIFIER8 identifier{};
  d3d8::D3DCAPS8 caps{};
  std::vector<AdapterMode> modes;
  std::size_t currentMode = 0;
  d3d8::D3DMULTISAMPLE_TYPE multisample = d3d8::D3DMULTISAMPLE_NONE;
  d3d8::D3DFORMAT depthFormat = d3d8::D3DFMT_D16;
  bool depthD16 = false, depthD24X8 = false, depthD24S8 = false;
  std::array<bool, 16> multisampleOk{};
};

struct DeviceSelection {
  UINT width = 0, height = 0;
  d3d8::D3DFORMAT backBufferFormat = d3d8::D3DFMT_UNKNOWN;
  d3d8::D3DFORMAT depthFormat = d3d8::D3DFMT_UNKNOWN;
  d3d8::D3DMULTISAMPLE_TYPE multisample = d3d8::D3DMULTISAMPLE_NONE;
  bool fullScreen = true;
  bool changed = false;
};

// Result codes of the enumeration's two error boxes.
constexpr HRESULT kErrorNoDirect3D = static_cast<HRESULT>(0x82000001u);
constexpr HRESULT kErrorNoCompatibleDevice = static_cast<HRESULT>(0x82000003u);

// Shows the error box of one of the codes above (no owner, "Error!", error icon), writing its
// text to the log first.
void ShowDeviceError(HRESULT code, Log* log);

class DeviceTable {
 public:
  ~DeviceTable();
  // Builds the table from the given Direct3D object (the table takes its reference), or from
  // a new one when d3d is null. Returns 0, or one of the codes above after showing its box.
  HRESULT Enumerate(d3d8::IDirect3D8* d3d, Log* log);
  void SelectMode(UINT width, UINT height, int bitCount, d3d8::D3DMULTISAMPLE_TYPE multisample);
  // Releases the Direct3D object (teardown).
  void Release();

  d3d8::IDirect3D8* d3d() const { return d3d_; }
  const std::vector<AdapterRecord>& adapters() const { return adapters_; }
  AdapterRecord* current() { return adapters_.empty() ? nullptr : &adapters_[currentAdapter_]; }
  const DeviceSelection& selection() const { return selection_; }

 private:
  void CopySelection();
  d3d8::IDirect3D8* d3d_ = nullptr;
  std::vector<AdapterRecord> adapters_;
  std::size_t currentAdapter_ = 0;
  DeviceSelection selection_;
};

// The ramp of a gamma setting g (0 to 200, 100 neutral), all three channels alike:
// g <= 100: entry i = (2g + 56) * i; g > 100: m = trunc(256 - (g - 100) * 1.5), entry 255 - v
// = 65355 - m * v (as a 16-bit value).
void BuildGammaRamp(int g, d3d8::D3DGAMMARAMP* ramp);
// Entry i = 256 * i.
void BuildIdentityRamp(d3d8::D3DGAMMARAMP* ramp);

// Hardware vertex processing when the caps have D3DDEVCAPS_TLVERTEXSYSTEMMEMORY and vertex
// shaders of at least 1.0; software otherwise.
DWORD ChooseVertexProcessing(const d3d8::D3DCAPS8& caps);
