// Modal dialogs from templates: a template is data (caption, size in dialog units, font, and
// controls with ids, kinds, rectangles and styles). The runtime creates the dialog and its
// controls as windows of the windowing stand-in (message-only records that keep the state
// of every control), delivers WM_INITDIALOG, WM_COMMAND and WM_HSCROLL to the dialog
// procedure and answers the control messages (BM_*, CB_*, TBM_*, STM_*, text, enable, show,
// move). Two backends show it:
//  - GTK 3, when a display is reachable: native widgets placed from dialog units converted
//    with the font's metrics, keyboard navigation, the dialog centred;
//  - in memory, for tests: nothing is shown; a script installed with
//    SetDialogScriptForTesting acts as the user, message by message.
// While a dialog is open its caption is published so that FindWindowA in any process of
// this user finds it (class "#32770"). With HOARDEL_DIALOG_LAYOUT set to a file name, the GTK
// backend appends each shown dialog's control rectangles and the sizes their contents need.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "platform/win32/gdi.h"
#include "platform/win32/messages.h"
#include "platform/win32/msgbox.h"  // IDOK, IDCANCEL
#include "platform/win32/win32_types.h"
#include "platform/win32/window.h"

namespace win32 {

using INT_PTR = std::intptr_t;
using DLGPROC = INT_PTR (*)(HWND, UINT, WPARAM, LPARAM);

constexpr WPARAM MAKEWPARAM(WORD lo, WORD hi) { return static_cast<WPARAM>(MAKELONG(lo, hi)); }

// Dialog styles.
constexpr DWORD DS_SYSMODAL = 0x0002;
constexpr DWORD DS_SETFONT = 0x0040;
constexpr DWORD DS_MODALFRAME = 0x0080;
constexpr DWORD DS_CENTER = 0x0800;

// Button styles and states.
constexpr DWORD BS_PUSHBUTTON = 0x0;
constexpr DWORD BS_DEFPUSHBUTTON = 0x1;
constexpr DWORD BS_CHECKBOX = 0x2;
constexpr DWORD BS_AUTOCHECKBOX = 0x3;
constexpr DWORD BS_RADIOBUTTON = 0x4;
constexpr DWORD BS_GROUPBOX = 0x7;
constexpr DWORD BS_AUTORADIOBUTTON = 0x9;
constexpr DWORD BS_TYPEMASK = 0xF;
constexpr WPARAM BST_UNCHECKED = 0;
constexpr WPARAM BST_CHECKED = 1;
// Static styles.
constexpr DWORD SS_LEFT = 0x0;
constexpr DWORD SS_CENTER = 0x1;
constexpr DWORD SS_RIGHT = 0x2;
constexpr DWORD SS_BITMAP = 0xE;
constexpr DWORD SS_TYPEMASK = 0x1F;
// Combo box styles.
constexpr DWORD CBS_DROPDOWNLIST = 0x3;
constexpr DWORD CBS_SORT = 0x100;
// Track bar styles.
constexpr DWORD TBS_HORZ = 0x0;
constexpr DWORD TBS_BOTH = 0x8;
constexpr DWORD TBS_NOTICKS = 0x10;
// Common control style.
constexpr DWORD WS_GROUP = 0x00020000;
constexpr DWORD WS_TABSTOP = 0x00010000;

// Button messages and notifications.
constexpr UINT BM_GETCHECK = 0x00F0;
constexpr UINT BM_SETCHECK = 0x00F1;
constexpr UINT BM_CLICK = 0x00F5;
constexpr WORD BN_CLICKED = 0;
// Static messages.
constexpr UINT STM_SETIMAGE = 0x0172;
constexpr UINT STM_GETIMAGE = 0x0173;
constexpr WPARAM IMAGE_BITMAP = 0;
// Combo box messages, results and notifications.
constexpr UINT CB_GETCOUNT = 0x0146;
constexpr UINT CB_GETCURSEL = 0x0147;
constexpr UINT CB_GETLBTEXT = 0x0148;
constexpr UINT CB_GETLBTEXTLEN = 0x0149;
constexpr UINT CB_INSERTSTRING = 0x014A;
constexpr UINT CB_RESETCONTENT = 0x014B;
constexpr UINT CB_SETCURSEL = 0x014E;
constexpr UINT CB_GETITEMDATA = 0x0150;
constexpr UINT CB_SETITEMDATA = 0x0151;
constexpr UINT CB_ADDSTRING = 0x0143;
constexpr UINT CB_DELETESTRING = 0x0144;
constexpr LRESULT CB_ERR = -1;
constexpr WORD CBN_SELCHANGE = 1;
constexpr WORD CBN_DROPDOWN = 7;
constexpr WORD CBN_CLOSEUP = 8;
constexpr WORD CBN_SELENDOK = 9;
// Track bar messages and scroll codes (low word of WM_HSCROLL's first parameter).
constexpr UINT TBM_GETPOS = WM_USER;
constexpr UINT TBM_GETRANGEMIN = WM_USER + 1;
constexpr UINT TBM_GETRANGEMAX = WM_USER + 2;
constexpr UINT TBM_SETPOS = WM_USER + 5;
constexpr UINT TBM_SETRANGE = WM_USER + 6;
constexpr UINT TBM_SETRANGEMIN = WM_USER + 7;
constexpr UINT TBM_SETRANGEMAX = WM_USER + 8;
constexpr UINT TBM_SETPAGESIZE = WM_USER + 21;
constexpr UINT TBM_GETPAGESIZE = WM_USER + 22;
constexpr UINT TBM_SETLINESIZE = WM_USER + 23;
constexpr UINT TBM_GETLINESIZE = WM_USER + 24;
constexpr WORD TB_LINEUP = 0;
constexpr WORD TB_LINEDOWN = 1;
constexpr WORD TB_PAGEUP = 2;
constexpr WORD TB_PAGEDOWN = 3;
constexpr WORD TB_THUMBPOSITION = 4;
constexpr WORD TB_THUMBTRACK = 5;
constexpr WORD TB_TOP = 6;
constexpr WORD TB_BOTTOM = 7;
constexpr WORD TB_ENDTRACK = 8;

// What a template control is.
enum class ControlKind { Button, Static, ComboBox, TrackBar };

// One control of a template. Rectangles are in dialog units. For a picture (Static with
// SS_BITMAP) the text is empty and bitmap names the bitmap resource.
struct DialogControl {
  int id = -1;  // -1: no id
  ControlKind kind = ControlKind::Static;
  int x = 0, y = 0, cx = 0, cy = 0;
  DWORD style = 0;
  std::string text;
  unsigned bitmap = 0;
};

struct DialogTemplate {
  unsigned id = 0;  // the template's resource id
  DWORD style = 0;
  std::string caption;
  int cx = 0, cy = 0;  // dialog units
  std::string fontFace;
  int fontPoints = 8;
  std::vector<DialogControl> controls;
};

// Dialog base units: pixels per 4 horizontal and per 8 vertical dialog units.
struct DialogBaseUnits {
  int x = 6;
  int y = 13;
};
// Dialog units to pixels: x * base.x / 4, y * base.y / 8, rounded to nearest.
RECT DialogUnitsToPixels(const RECT& units, DialogBaseUnits base);

// Creates the dialog from the template, sends WM_INITDIALOG (second parameter: param) and
// runs it modally until EndDialog; returns EndDialog's result, or -1 when the dialog cannot
// be shown (no backend, no display). The owner is disabled while the dialog is open.
INT_PTR DialogBoxIndirectParamA(HINSTANCE instance, const DialogTemplate* dialogTemplate, HWND owner,
                                DLGPROC proc, LPARAM param);
// Ends a modal dialog with the result; the dialog closes once the procedure returns.
BOOL EndDialog(HWND dialog, INT_PTR result);

HWND GetDlgItem(HWND dialog, int id);
int GetDlgCtrlID(HWND control);
LRESULT SendDlgItemMessageA(HWND dialog, int id, UINT message, WPARAM wParam, LPARAM lParam);
BOOL SetDlgItemTextA(HWND dialog, int id, LPCSTR text);
UINT GetDlgItemTextA(HWND dialog, int id, LPSTR buffer, int size);
BOOL CheckDlgButton(HWND dialog, int id, UINT check);
UINT IsDlgButtonChecked(HWND dialog, int id);
// Checks `check` and unchecks the other buttons of first..last.
BOOL CheckRadioButton(HWND dialog, int first, int last, int check);
// Enables or disables a window (WS_DISABLED, WM_ENABLE); returns TRUE if it was disabled.
BOOL EnableWindow(HWND window, BOOL enable);
BOOL IsWindowEnabled(HWND window);

// The shell's "open" of a file or address: xdg-open started directly (no shell reads the
// text), not waited for. Returns a value above 32 when it was started, as on Windows.
HINSTANCE ShellExecuteA(HWND window, LPCSTR verb, LPCSTR file, LPCSTR parameters, LPCSTR directory, int show);

// --- acting as the user (the in-memory backend's scripts, and the GTK backend) ----------
// A button click: an automatic check box toggles, an automatic radio button checks itself
// and unchecks its group, then the dialog gets WM_COMMAND BN_CLICKED. Ignored for disabled
// or hidden controls.
bool DialogUserClick(HWND dialog, int id);
// Choosing an item of a drop-down list: CBN_SELCHANGE, then CBN_SELENDOK (9).
bool DialogUserSelect(HWND dialog, int id, int index);
// A track-bar action: the thumb moves as the scroll code says (pos is the target for
// TB_THUMBTRACK and TB_THUMBPOSITION), clamped to the range, and the dialog gets WM_HSCROLL.
bool DialogUserScroll(HWND dialog, int id, WORD code, int pos = 0);
// Dragging the thumb to pos: TB_THUMBTRACK, TB_THUMBPOSITION, TB_ENDTRACK.
bool DialogUserDragThumb(HWND dialog, int id, int pos);
// The frame's close box or Escape: WM_COMMAND IDCANCEL (2). Return: the default push button.
void DialogUserCancel(HWND dialog);
void DialogUserReturn(HWND dialog);

// --- in-memory backend --------------------------------------------------------------------
// While set, every dialog is kept in memory and the script runs in place of the user once
// the dialog has been initialised (for nested dialogs, it runs again, re-entered). When the
// script returns before EndDialog, the dialog is cancelled as by its close box. An empty
// function restores the normal choice (GTK with a display, none without).
using DialogScript = std::function<void(HWND dialog)>;
void SetDialogScriptForTesting(DialogScript script);

// Inspection of a live dialog (tests): the control's kind, its items (combo box), its
// range and page (track bar), the bitmap it shows (static), and the dialog's template and
// whether EndDialog was called.
const DialogTemplate* DialogTemplateOf(HWND dialog);
bool DialogEnded(HWND dialog, INT_PTR* result = nullptr);
HWND DialogOwnerOf(HWND dialog);
std::vector<std::string> ComboBoxItems(HWND control);
HBITMAP StaticBitmap(HWND control);
// Geometry of a control in dialog-client pixels (after moves), and of the dialog window.
RECT ControlRect(HWND control);

}  // namespace win32
