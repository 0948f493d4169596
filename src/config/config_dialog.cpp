// The configuration dialog's procedure: opening, setting the controls from the settings,
// commands, list selections and track bars.
#include "config/config_dialog.h"

#include <cstdio>
#include <string>

#include "config/about_dialog.h"
#include "config/config_dialog_templates.h"
#include "config/settings.h"
#include "media/text_table.h"
#include "platform/win32/msgbox.h"
#include "platform/win32/resources.h"

using namespace win32;

namespace {

constexpr int kUseDesktop = 1012;
constexpr int kVolumeLabel = 1023;
constexpr int kVolume = 1020;
constexpr int kMusic = 1021;
constexpr int kSfx = 1022;
constexpr int kGammaLabel = 1106;
constexpr int kGamma = 1046;
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

// The host of the dialog on screen.
ConfigDialogHost* g_host = nullptr;

void SetGammaLabel(ConfigDialogHost& app, HWND dialog, int percent) {
  std::string text = app.DialogTexts().Lookup("gamma_control:") + " " + std::to_string(percent) + "%";
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

void SetControlsFromSettings(ConfigDialogHost& app, HWND dialog) {
  SaverSettings& s = app.DialogSettings().current;
  for (const TextEntry& e : kTexts) SetDlgItemTextA(dialog, e.id, app.DialogTexts().Lookup(e.key).c_str());
  SetDlgItemTextA(dialog, kAbout, (app.DialogTexts().Lookup("about") + "...").c_str());
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

  if (!app.DialogOffersSoundEffects()) {
    s.SFX = 0;
    ShowWindow(GetDlgItem(dialog, kSfx), SW_HIDE);
  }
  CheckDlgButton(dialog, kSfx, s.SFX ? BST_CHECKED : BST_UNCHECKED);

  SendDlgItemMessageA(dialog, kVolume, TBM_SETRANGE, TRUE, MAKELPARAM(1, 100));
  SendDlgItemMessageA(dialog, kVolume, TBM_SETPOS, TRUE, s.MusicVolume);
  SendDlgItemMessageA(dialog, kVolume, TBM_SETPAGESIZE, 0, 10);
  EnableVolume(dialog, s);
}

void OnInitDialog(ConfigDialogHost& app, HWND dialog) {
  app.SetDialogWindow(dialog);
  g_bottomRowMoved = false;
  SetWindowTextA(dialog, app.DialogTexts().Lookup("screensaver_configuration").c_str());
  // The defaults come from the resource once per process; the stored values go over them.
  if (app.DialogSettings().defaultTable().count() == 0) app.DialogSettings().LoadDefaults();
  ReadSettings(app.DialogSettings().current);
  app.SetExtraDefaults();
  app.ReadExtraSettings();
  app.DialogLog("Read settings from reg complete.");
  app.FillDeviceLists(dialog);
  app.DialogLog("Video mode controls init complete.");
  app.InitDialogExtras(dialog);
  app.DialogLog("Dialog controls init complete.");
  SetControlsFromSettings(app, dialog);
  app.DialogLog("Def Dialog controls init complete.");
  app.DialogLog("Create Config Window complete.");
}

void OnButton(ConfigDialogHost& app, HWND dialog, int id) {
  SaverSettings& s = app.DialogSettings().current;
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
    case kAbout: ShowAboutDialog(app.DialogTexts(), dialog); break;
    case kRestoreDefaults:
      app.SetExtraDefaults();
      app.DialogSettings().RestoreDefaults();
      app.FillDeviceLists(dialog);
      app.InitDialogExtras(dialog);
      SetControlsFromSettings(app, dialog);
      break;
    case kVisit: {
      // An address the desktop cannot open is passed over.
      std::string url = app.DialogSettings().defaultTable().Lookup("main_web_site_url");
      ShellExecuteA(dialog, "open", url.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
      break;
    }
    default: break;
  }
}

// Every way a track bar moves (arrow keys as line moves, Page Up/Down, Home/End as top and
// bottom, the wheel, a drag, its end) is read, so the value stored is the one shown.
void OnTrackBar(ConfigDialogHost& app, HWND dialog) {
  SaverSettings& s = app.DialogSettings().current;
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

INT_PTR ConfigDialogProc(HWND dialog, UINT message, WPARAM w, LPARAM l) {
  ConfigDialogHost* app = g_host;
  if (!app) return 0;
  switch (message) {
    case WM_INITDIALOG: OnInitDialog(*app, dialog); break;
    case WM_COMMAND: {
      const int id = LOWORD(w);
      const WORD code = HIWORD(w);
      if ((id == kModeList || id == kAntialiasingList) && code == CBN_SELENDOK) {
        if (!app->OnDeviceListChoice(dialog, id)) return 1;
        break;
      }
      if (code != BN_CLICKED) break;
      if (id == IDOK) {
        const SettingsSaveResult saved = WriteSettings(app->DialogSettings().current);
        if (!saved.ok) {
          // The dialog stays open with the user's choices: OK tries again, Cancel gives up.
          ReportSaveFailure(dialog, saved);
          return 1;
        }
        app->WriteExtraSettings();
        app->DialogLog("Write settings to reg complete.");
        app->CloseDialogLog();
        EndDialog(dialog, IDOK);
        return 1;
      }
      if (id == IDCANCEL) {
        app->CloseDialogLog();
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

INT_PTR RunConfigurationDialog(ConfigDialogHost& host) {
  ConfigDialogHost* const outer = g_host;
  g_host = &host;
  const INT_PTR result = DialogBoxIndirectParamA(GetModuleHandleA(nullptr), FindDialogTemplate(kConfigDialogTemplateId),
                                                 host.DialogOwner(), ConfigDialogProc, 0);
  g_host = outer;
  return result;
}
