// Shared state of the dialog runtime and its backends. Not for use outside src/platform/win32.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/win32/dialog.h"

namespace win32::detail {

// State of one control, kept by its window procedure (GWLP_USERDATA).
struct ControlState {
  ControlKind kind = ControlKind::Static;
  DWORD style = 0;
  // Button.
  int check = 0;
  // Combo box.
  struct Item {
    std::string text;
    LPARAM data = 0;
  };
  std::vector<Item> items;
  int selection = -1;
  // Track bar.
  int rangeMin = 0, rangeMax = 100, pos = 0, page = 20, line = 1;
  // Static picture.
  HBITMAP bitmap = nullptr;
  bool ownsBitmap = false;
};

class DialogBackend;

struct DialogRecord {
  HWND hwnd = nullptr;
  HWND owner = nullptr;
  DialogTemplate tmpl;
  DLGPROC proc = nullptr;
  bool ended = false;
  INT_PTR result = 0;
  DialogBaseUnits units;
  std::vector<HWND> controls;  // template order
  DialogBackend* backend = nullptr;
  void* native = nullptr;      // the backend's own data
  unsigned long x11Window = 0; // for the session entry
  unsigned long sessionToken = 0;
  std::string publishedTitle;
  int depth = 0;                // nesting of procedure calls
};

class DialogBackend {
 public:
  virtual ~DialogBackend() = default;
  // Base units of the template's font.
  virtual DialogBaseUnits Units(const DialogTemplate& t) = 0;
  // Builds the native dialog (hidden) after the records exist; false when it cannot.
  virtual bool Open(DialogRecord& d) = 0;
  // Shows the dialog and runs until d.ended.
  virtual void Run(DialogRecord& d) = 0;
  // Brings the native side in line with the records after the procedure ran.
  virtual void Sync(DialogRecord& d) = 0;
  virtual void Close(DialogRecord& d) = 0;
};

DialogBackend* GtkDialogBackend();     // nullptr when no display can be used
std::unique_ptr<DialogBackend> MemoryDialogBackend(const DialogScript& script);

DialogRecord* FindDialog(HWND dialog);
ControlState* StateOf(HWND control);
// Calls the dialog procedure with the default handling of a dialog window; then
// publishes a changed caption and lets the backend catch up.
INT_PTR CallDialog(DialogRecord& d, UINT message, WPARAM w, LPARAM l);

}  // namespace win32::detail
