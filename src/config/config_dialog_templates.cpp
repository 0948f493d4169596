#include "config/config_dialog_templates.h"

using namespace win32;

namespace {

constexpr DWORD kVisible = WS_VISIBLE;
constexpr DWORD kGroupBox = BS_GROUPBOX | kVisible;
constexpr DWORD kCheckBox = BS_AUTOCHECKBOX | WS_TABSTOP | kVisible;
constexpr DWORD kPushButton = BS_PUSHBUTTON | WS_TABSTOP | kVisible;
constexpr DWORD kDropDown = CBS_DROPDOWNLIST | WS_VSCROLL | WS_TABSTOP | kVisible;
constexpr DWORD kTrackBar = TBS_HORZ | TBS_BOTH | TBS_NOTICKS | WS_TABSTOP | kVisible;
constexpr DWORD kLabel = SS_LEFT | kVisible;

DialogControl Control(int id, ControlKind kind, int x, int y, int cx, int cy, DWORD style, unsigned bitmap = 0) {
  DialogControl c;
  c.id = id;
  c.kind = kind;
  c.x = x;
  c.y = y;
  c.cx = cx;
  c.cy = cy;
  c.style = style;
  c.bitmap = bitmap;
  return c;
}

DialogTemplate MakeConfigTemplate() {
  using K = ControlKind;
  DialogTemplate t;
  t.id = kConfigDialogTemplateId;
  t.style = DS_MODALFRAME | DS_CENTER | DS_SETFONT | WS_POPUP | WS_CAPTION | WS_SYSMENU;
  t.cx = 348;
  t.cy = 240;
  t.fontFace = "Microsoft Sans Serif";
  t.fontPoints = 8;
  t.controls = {
      Control(1117, K::Button, 7, 4, 191, 46, kGroupBox),
      Control(1011, K::ComboBox, 14, 17, 178, 74, kDropDown | WS_GROUP),
      Control(1012, K::Button, 14, 34, 178, 10, kCheckBox),
      Control(1118, K::Button, 7, 52, 191, 46, kGroupBox),
      Control(1023, K::Static, 13, 68, 48, 8, kLabel),
      Control(1020, K::TrackBar, 68, 66, 125, 13, kTrackBar),
      Control(1021, K::Button, 14, 82, 75, 11, kCheckBox),
      Control(1022, K::Button, 94, 83, 99, 9, kCheckBox),
      Control(1119, K::Button, 7, 100, 191, 52, kGroupBox),
      Control(1106, K::Static, 13, 117, 73, 8, kLabel),
      Control(1046, K::TrackBar, 88, 114, 104, 13, kTrackBar),
      Control(1123, K::Static, 13, 134, 72, 8, kLabel),
      Control(1047, K::ComboBox, 91, 131, 98, 51, kDropDown),
      Control(-1, K::Static, 202, 4, 139, 94, SS_BITMAP | kVisible, kConfigPictureBitmap),
      Control(1122, K::Button, 202, 100, 139, 52, kGroupBox),
      Control(1044, K::Button, 208, 114, 64, 10, kCheckBox),
      Control(1045, K::Button, 208, 126, 77, 12, kCheckBox),
      Control(1043, K::Button, 279, 114, 58, 10, kCheckBox),
      Control(1110, K::Button, 291, 127, 44, 10, BS_AUTORADIOBUTTON | WS_GROUP | WS_TABSTOP | kVisible),
      Control(1111, K::Button, 291, 138, 44, 10, BS_AUTORADIOBUTTON | kVisible),
      Control(1120, K::Button, 7, 154, 334, 29, kGroupBox | WS_GROUP),
      Control(1124, K::Static, 14, 167, 195, 8, kLabel),
      Control(1061, K::Button, 214, 164, 59, 13, kPushButton),
      Control(1062, K::Button, 278, 164, 59, 13, kPushButton),
      Control(1063, K::Button, 12, 220, 78, 13, kPushButton),
      Control(1, K::Button, 214, 220, 59, 13, BS_DEFPUSHBUTTON | WS_TABSTOP | kVisible),
      Control(2, K::Button, 278, 220, 59, 13, kPushButton),
  };
  return t;
}

DialogTemplate MakeAboutTemplate() {
  using K = ControlKind;
  DialogTemplate t;
  t.id = kAboutDialogTemplateId;
  t.style = DS_MODALFRAME | DS_SYSMODAL | DS_CENTER | DS_SETFONT | WS_POPUP | WS_CAPTION;
  t.cx = 233;
  t.cy = 100;
  t.fontFace = "Microsoft Sans Serif";
  t.fontPoints = 8;
  t.controls.push_back(Control(-1, K::Button, 6, 1, 221, 94, kGroupBox));
  for (int i = 0; i < 7; ++i)
    t.controls.push_back(Control(1138 + i, K::Static, 7, 13 + 11 * i, 156, 8, SS_CENTER | kVisible));
  t.controls.push_back(Control(-1, K::Static, 169, 12, 21, 20, SS_BITMAP | kVisible, kAboutPictureBitmap));
  t.controls.push_back(Control(1, K::Button, 169, 71, 50, 14, BS_DEFPUSHBUTTON | WS_TABSTOP | kVisible));
  return t;
}

}  // namespace

const DialogTemplate* FindDialogTemplate(unsigned id) {
  static const DialogTemplate config = MakeConfigTemplate();
  static const DialogTemplate about = MakeAboutTemplate();
  if (id == kConfigDialogTemplateId) return &config;
  if (id == kAboutDialogTemplateId) return &about;
  return nullptr;
}
