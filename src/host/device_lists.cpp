// The configuration dialog's two device lists (video modes, antialiasing), filled from the
// device table and read back into it and into the settings.
#include "host/device_lists.h"

#include <cstdio>
#include <string>

#include "config/config_dialog.h"
#include "media/text_table.h"

using namespace win32;

namespace {

// Lets the table copy its current choice again without changing it (no mode is 0 x 0).
void RecomputeSelection(DeviceTable& devices) {
  if (AdapterRecord* a = devices.current()) devices.SelectMode(0, 0, 0, a->multisample);
}

}  // namespace

void FillDeviceLists(DeviceTable& devices, const TextTable& texts, HWND dialog) {
  SendDlgItemMessageA(dialog, kAntialiasingList, CB_RESETCONTENT, 0, 0);
  SendDlgItemMessageA(dialog, kModeList, CB_RESETCONTENT, 0, 0);
  AdapterRecord* a = devices.current();
  if (!a) return;
  LPARAM added = 0;
  for (std::size_t i = 0; i < kMultisampleList.size(); ++i) {
    if (!a->multisampleOk[i]) continue;
    std::string text;
    if (i == 0) {
      text = texts.Lookup("none");
    } else {
      char buffer[160];
      std::snprintf(buffer, sizeof buffer, "%i %s", static_cast<int>(kMultisampleList[i]),
                    texts.Lookup("samples").c_str());
      text = buffer;
    }
    LRESULT index = SendDlgItemMessageA(dialog, kAntialiasingList, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text.c_str()));
    SendDlgItemMessageA(dialog, kAntialiasingList, CB_SETITEMDATA, static_cast<WPARAM>(index), added);
    if (kMultisampleList[i] == a->multisample)
      SendDlgItemMessageA(dialog, kAntialiasingList, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
    ++added;
  }
  for (std::size_t i = 0; i < a->modes.size(); ++i) {
    const AdapterMode& m = a->modes[i];
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%ld x %ld ", static_cast<long>(m.width), static_cast<long>(m.height));
    std::string text = std::string(buffer) + (BitCountOf(m.format) == 32 ? "32 bits" : "16 bits");
    LRESULT index = SendDlgItemMessageA(dialog, kModeList, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text.c_str()));
    SendDlgItemMessageA(dialog, kModeList, CB_SETITEMDATA, static_cast<WPARAM>(index), static_cast<LPARAM>(i));
    if (i == a->currentMode) SendDlgItemMessageA(dialog, kModeList, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
  }
  RecomputeSelection(devices);
}

void SelectAndFillDeviceLists(DeviceTable& devices, SaverSettings& s, const TextTable& texts, HWND dialog) {
  devices.SelectMode(static_cast<UINT>(s.Width), static_cast<UINT>(s.Height), s.BitCount,
                     static_cast<d3d8::D3DMULTISAMPLE_TYPE>(s.FSAA));
  const DeviceSelection& sel = devices.selection();
  if (devices.current()) {
    s.Width = static_cast<std::int32_t>(sel.width);
    s.Height = static_cast<std::int32_t>(sel.height);
    s.BitCount = BitCountOf(sel.backBufferFormat);
    s.FSAA = static_cast<std::int32_t>(sel.multisample);
  }
  FillDeviceLists(devices, texts, dialog);
}

bool ChooseFromDeviceList(DeviceTable& devices, SaverSettings& s, HWND dialog, int id) {
  LRESULT index = SendDlgItemMessageA(dialog, id, CB_GETCURSEL, 0, 0);
  if (index == CB_ERR) return false;
  LRESULT data = SendDlgItemMessageA(dialog, id, CB_GETITEMDATA, static_cast<WPARAM>(index), 0);
  AdapterRecord* a = devices.current();
  if (!a) return true;
  if (id == kModeList) {
    if (data < 0 || static_cast<std::size_t>(data) >= a->modes.size()) return true;
    a->currentMode = static_cast<std::size_t>(data);
    RecomputeSelection(devices);
    const AdapterMode& m = a->modes[a->currentMode];
    s.Width = static_cast<std::int32_t>(m.width);
    s.Height = static_cast<std::int32_t>(m.height);
    s.BitCount = BitCountOf(m.format);
  } else {
    LRESULT counted = 0;
    for (std::size_t i = 0; i < kMultisampleList.size(); ++i) {
      if (!a->multisampleOk[i]) continue;
      if (counted == data) {
        a->multisample = kMultisampleList[i];
        break;
      }
      ++counted;
    }
    RecomputeSelection(devices);
    s.FSAA = static_cast<std::int32_t>(devices.selection().multisample);
  }
  return true;
}
