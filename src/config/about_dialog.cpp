#include "config/about_dialog.h"

#include "config/config_dialog_templates.h"
#include "media/text_table.h"
#include "platform/win32/resources.h"

using namespace win32;

namespace {

constexpr int kFirstLine = 1138;

INT_PTR AboutDialogProc(HWND dialog, UINT message, WPARAM w, LPARAM l) {
  switch (message) {
    case WM_INITDIALOG: {
      const auto* texts = reinterpret_cast<const TextTable*>(l);
      if (!texts) return TRUE;
      SetWindowTextA(dialog, texts->Lookup("about").c_str());
      SetDlgItemTextA(dialog, IDOK, texts->Lookup("ok").c_str());
      for (std::size_t i = 0; i < TextTable::kAboutLineCount; ++i)
        SetDlgItemTextA(dialog, kFirstLine + static_cast<int>(i), texts->aboutLines()[i].c_str());
      return TRUE;
    }
    case WM_COMMAND:
      if (LOWORD(w) == IDOK || LOWORD(w) == IDCANCEL) {
        EndDialog(dialog, LOWORD(w));
        return TRUE;
      }
      return FALSE;
    default: return FALSE;
  }
}

}  // namespace

INT_PTR ShowAboutDialog(const TextTable& texts, HWND owner) {
  return DialogBoxIndirectParamA(GetModuleHandleA(nullptr), FindDialogTemplate(kAboutDialogTemplateId), owner,
                                 AboutDialogProc, reinterpret_cast<LPARAM>(&texts));
}
