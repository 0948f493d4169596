// The configuration dialog's procedure: opening, setting the controls from the settings,
// commands, list selections and track bars.
#include "config/config_dialog.h"

#include <cstdio>
#include <string>

#include "config/about_dialog.h"
#include "config/config_dialog_templates.h"
#include "host/screensaver_app.h"
#include "platform/win32/msgbox.h"
#include "platform/win32/resources.h"

using namespace win32;

namespace {

constexpr int kModeList = 1011;
constexpr int kUseDesktop = 1012;
constexpr int kVolumeLabel = 1023;
constexpr int kVolume = 1020;
constexpr int kMusic = 1021;
constexpr int kSfx = 1022;
constexpr int kGammaLabel = 1106;
constexpr int kGamma = 1046;
constexpr int kAntialiasingList = 1047;
constexpr int kShowFps = 1044;
constexpr int kExitOnMouseMove = 1045;
constexpr int kShowTime = 1043;
constexpr int k24h = 1110;
constexpr int k12h = 1111;
constexpr int kVisit = 1061;
constexpr int kAbout = 1062;
constexpr int kRestoreDefaults = 1063;
constexpr int kBottomRow[] = {kRestoreDefaults, IDOK, IDCANCEL};
constexpr int kBottomRowShift = 44;

// Controls whose text is one text-table entry.
struct TextEntry {
  int id;
  const char* key;
};
constexpr TextEntry kTexts[] = {
    {1117, "video_mode_selection"}, {kUseDesktop, "use_desktop_settings"}, {1118, "sound_control"},
    {kVolumeLabel, "master_volume:"}, {kMusic, "enable_music"}, {kSfx, "enable_sfx"},
    {1119, "graphics"}, {1123, "fullscreen_antialiasing"}, {1120, "products"},
    {1124, "visit_our_official_web-site_for_more_great_3d_screensavers"}, {1122, "misc_options"},
    {kShowFps, "show_fps"}, {kShowTime, "show_time"}, {k24h, "24h_style"}, {k12h, "12h_style"},
    {kExitOnMouseMove, "exit_on_mouse_move"}, {kVisit, "visit..."}, {kRestoreDefaults, "restore_defaults"},
    {IDOK, "ok"}, {IDCANCEL, "cancel"},
};

// The bottom row follows the Products group from the first time the texts are set in a
// dialog (Restore Defaults sets them again and must not move it twice).
bool g_bottomRowMoved = false;

void SetGammaLabel(ScreenSaverApp& app, HWND dialog, int percent) {
  std::string text = app.texts.Lookup("gamma_control:") + " " + std::to_string(percent) + "%";
  SetDlgItemTextA(dialog, kGammaLabel, text.c_str());
}

void MoveBottomRow(HWND dialog) {
  RECT frame{};
  GetWindowRect(dialog, &frame);
  for (int id : kBottomRow) {
    HWND button = GetDlgItem(dialog, id);
    if (!button) continue;
    RECT r = ControlRect(button);
    MoveWindow(button, r.left, r.top - kBottomRowShift, r.right - r.left, r.bottom - r.top, TRUE);
  }
  MoveWindow(dialog, frame.left, frame.top, frame.right - frame.left, frame.bottom - frame.top - kBottomRowShift, TRUE);
}

void EnableVolume(HWND dialog, const SaverSettings& s) {
  BOOL on = (s.Music || s.SFX) ? TRUE : FALSE;
  EnableWindow(GetDlgItem(dialog, kVolumeLabel), on);
  EnableWindow(GetDlgItem(dialog, kVolume), on);
}

void EnableClockStyles(HWND dialog, const SaverSettings& s) {
  EnableWindow(GetDlgItem(dialog, k24h), s.ShowTime ? TRUE : FALSE);
  EnableWindow(GetDlgItem(dialog, k12h), s.ShowTime ? TRUE : FALSE);
}

void SetControlsFromSettings(ScreenSaverApp& app, HWND dialog) {
  SaverSettings& s = app.settings.current;
  for (const TextEntry& e : kTexts) SetDlgItemTextA(dialog, e.id, app.texts.Lookup(e.key).c_str());
  SetDlgItemTextA(dialog, kAbout, (app.texts.Lookup("about") + "...").c_str());
  SetGammaLabel(app, dialog, 100);
  if (!g_bottomRowMoved) {
    g_bottomRowMoved = true;
    MoveBottomRow(dialog);
  }

  CheckDlgButton(dialog, kShowFps, s.ShowFPS ? BST_CHECKED : BST_UNCHECKED);
  CheckDlgButton(dialog, kShowTime, s.ShowTime ? BST_CHECKED : BST_UNCHECKED);
  CheckDlgButton(dialog, kExitOnMouseMove, s.ExitOnMouseMove ? BST_CHECKED : BST_UNCHECKED);
  CheckDlgButton(dialog, kMusic, s.Music ? BST_CHECKED : BST_UNCHECKED);
  CheckDlgButton(dialog, kUseDesktop, s.UseDesktopSettings ? BST_CHECKED : BST_UNCHECKED);
  CheckDlgButton(dialog, k24h, s.DigClock_24H == 1 ? BST_CHECKED : BST_UNCHECKED);
  CheckDlgButton(dialog, k12h, s.DigClock_24H == 0 ? BST_CHECKED : BST_UNCHECKED);
  EnableClockStyles(dialog, s);

  EnableWindow(GetDlgItem(dialog, kModeList), s.UseDesktopSettings ? FALSE : TRUE);

  SendDlgItemMessageA(dialog, kGamma, TBM_SETRANGE, TRUE, MAKELPARAM(10, 200));
  SendDlgItemMessageA(dialog, kGamma, TBM_SETPOS, TRUE, s.GmCntrl);
  SendDlgItemMessageA(dialog, kGamma, TBM_SETPAGESIZE, 0, 1);
  SetGammaLabel(app, dialog, s.GmCntrl);

  if (!app.hasSoundEffects) {
    s.SFX = 0;
    ShowWindow(GetDlgItem(dialog, kSfx), SW_HIDE);
  }
  CheckDlgButton(dialog, kSfx, s.SFX ? BST_CHECKED : BST_UNCHECKED);

  SendDlgItemMessageA(dialog, kVolume, TBM_SETRANGE, TRUE, MAKELPARAM(1, 100));
  SendDlgItemMessageA(dialog, kVolume, TBM_SETPOS, TRUE, s.MusicVolume);
  SendDlgItemMessageA(dialog, kVolume, TBM_SETPAGESIZE, 0, 10);
  EnableVolume(dialog, s);
}

// Lets the table copy its current choice again without changing it (no mode is 0 x 0).
void RecomputeSelection(DeviceTable& devices) {
  if (AdapterRecord* a = devices.current()) devices.SelectMode(0, 0, 0, a->multisample);
}

// Selects the mode closest to the settings, takes the selection back into them and fills
// the two lists.
void SelectAndFillLists(ScreenSaverApp& app, HWND dialog) {
  SaverSettings& s = app.settings.current;
  app.devices.SelectMode(static_cast<UINT>(s.Width), static_cast<UINT>(s.Height), s.BitCount,
                         static_cast<d3d8::D3DMULTISAMPLE_TYPE>(s.FSAA));
  const DeviceSelection& sel = app.devices.selection();
  if (app.devices.current()) {
    s.Width = static_cast<std::int32_t>(sel.width);
    s.Height = static_cast<std::int32_t>(sel.height);
    s.BitCount = BitCountOf(sel.backBufferFormat);
    s.FSAA = static_cast<std::int32_t>(sel.multisample);
  }
  FillDialogLists(app.devices, app.texts, dialog);
}

void OnInitDialog(ScreenSaverApp& app, HWND dialog) {
  app.setMainWindow(dialog);
  g_bottomRowMoved = false;
  SetWindowTextA(dialog, app.texts.Lookup("screensaver_configuration").c_str());
  // The defaults come from the resource once per process; the stored values go over them.
  if (app.settings.defaultTable().count() == 0) app.settings.LoadDefaults();
  ReadSettings(app.settings.current);
  app.SetExtraDefaults();
  app.ReadExtraSettings();
  app.log.Write("Read settings from reg complete.");
  SelectAndFillLists(app, dialog);
  app.log.Write("Video mode controls init complete.");
  app.InitDialogExtras(dialog);
  app.log.Write("Dialog controls init complete.");
  SetControlsFromSettings(app, dialog);
  app.log.Write("Def Dialog controls init complete.");
  app.log.Write("Create Config Window complete.");
}

// A final selection in one of the lists; false when nothing is selected.
bool OnListSelection(ScreenSaverApp& app, HWND dialog, int id) {
  LRESULT index = SendDlgItemMessageA(dialog, id, CB_GETCURSEL, 0, 0);
  if (index == CB_ERR) return false;
  LRESULT data = SendDlgItemMessageA(dialog, id, CB_GETITEMDATA, static_cast<WPARAM>(index), 0);
  AdapterRecord* a = app.devices.current();
  if (!a) return true;
  SaverSettings& s = app.settings.current;
  if (id == kModeList) {
    if (data < 0 || static_cast<std::size_t>(data) >= a->modes.size()) return true;
    a->currentMode = static_cast<std::size_t>(data);
    RecomputeSelection(app.devices);
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
    RecomputeSelection(app.devices);
    s.FSAA = static_cast<std::int32_t>(app.devices.selection().multisample);
  }
  return true;
}

void OnButton(ScreenSaverApp& app, HWND dialog, int id) {
  SaverSettings& s = app.settings.current;
  auto toggle = [&](std::int32_t& field, int control) {
    field = field ? 0 : 1;
    CheckDlgButton(dialog, control, field ? BST_CHECKED : BST_UNCHECKED);
  };
  switch (id) {
    case kShowFps: toggle(s.ShowFPS, kShowFps); break;
    case kShowTime:
      toggle(s.ShowTime, kShowTime);
      EnableClockStyles(dialog, s);
      break;
    case k24h:
      s.DigClock_24H = 1;
      CheckDlgButton(dialog, k24h, BST_CHECKED);
      CheckDlgButton(dialog, k12h, BST_UNCHECKED);
      break;
    case k12h:
      s.DigClock_24H = 0;
      CheckDlgButton(dialog, k24h, BST_UNCHECKED);
      CheckDlgButton(dialog, k12h, BST_CHECKED);
      break;
    case kExitOnMouseMove: s.ExitOnMouseMove = s.ExitOnMouseMove ? 0 : 1; break;
    case kMusic:
      s.Music = s.Music ? 0 : 1;
      EnableVolume(dialog, s);
      break;
    case kSfx:
      s.SFX = s.SFX ? 0 : 1;
      EnableVolume(dialog, s);
      break;
    case kUseDesktop:
      s.UseDesktopSettings = s.UseDesktopSettings ? 0 : 1;
      EnableWindow(GetDlgItem(dialog, kModeList), s.UseDesktopSettings ? FALSE : TRUE);
      break;
    case kAbout: ShowAboutDialog(app.texts, dialog); break;
    case kRestoreDefaults:
      app.SetExtraDefaults();
      app.settings.RestoreDefaults();
      SelectAndFillLists(app, dialog);
      app.InitDialogExtras(dialog);
      SetControlsFromSettings(app, dialog);
      break;
    case kVisit: {
      // An address the desktop cannot open is passed over.
      std::string url = app.settings.defaultTable().Lookup("main_web_site_url");
      ShellExecuteA(dialog, "open", url.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
      break;
    }
    default: break;
  }
}

// Every way a track bar moves (arrow keys as line moves, Page Up/Down, Home/End as top and
// bottom, the wheel, a drag, its end) is read, so the value stored is the one shown.
void OnTrackBar(ScreenSaverApp& app, HWND dialog) {
  SaverSettings& s = app.settings.current;
  s.MusicVolume = static_cast<std::int32_t>(SendDlgItemMessageA(dialog, kVolume, TBM_GETPOS, 0, 0));
  s.GmCntrl = static_cast<std::uint8_t>(SendDlgItemMessageA(dialog, kGamma, TBM_GETPOS, 0, 0));
  SetGammaLabel(app, dialog, s.GmCntrl);
}

void ReportSaveFailure(HWND dialog, const SettingsSaveResult& saved) {
  std::string text = "The settings could not be saved to\n" + saved.file + ":\n" + saved.reason +
                     ".\n\nPress OK to try again, or Cancel to close without saving.";
  MessageBoxA(dialog, text.c_str(), "Error!", MB_OK | MB_ICONERROR);
}

}  // namespace

void FillDialogLists(DeviceTable& devices, const TextTable& texts, HWND dialog) {
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

INT_PTR ConfigDialogProc(HWND dialog, UINT message, WPARAM w, LPARAM l) {
  ScreenSaverApp* app = TheApp();
  if (!app) return 0;
  switch (message) {
    case WM_INITDIALOG: OnInitDialog(*app, dialog); break;
    case WM_COMMAND: {
      const int id = LOWORD(w);
      const WORD code = HIWORD(w);
      if ((id == kModeList || id == kAntialiasingList) && code == CBN_SELENDOK) {
        if (!OnListSelection(*app, dialog, id)) return 1;
        break;
      }
      if (code != BN_CLICKED) break;
      if (id == IDOK) {
        const SettingsSaveResult saved = WriteSettings(app->settings.current);
        if (!saved.ok) {
          // The dialog stays open with the user's choices: OK tries again, Cancel gives up.
          ReportSaveFailure(dialog, saved);
          return 1;
        }
        app->WriteExtraSettings();
        app->log.Write("Write settings to reg complete.");
        app->log.Close();
        EndDialog(dialog, IDOK);
        return 1;
      }
      if (id == IDCANCEL) {
        app->log.Close();
        EndDialog(dialog, IDCANCEL);
        return 1;
      }
      OnButton(*app, dialog, id);
      break;
    }
    case WM_HSCROLL: OnTrackBar(*app, dialog); break;
    default: break;
  }
  return app->OnDialogCommand(dialog, message, w, l);
}

INT_PTR RunConfigurationDialog(ScreenSaverApp& app) {
  return DialogBoxIndirectParamA(GetModuleHandleA(nullptr), FindDialogTemplate(kConfigDialogTemplateId),
                                 app.mainWindow(), ConfigDialogProc, 0);
}
