// The dialog runtime: dialog and control windows, the control messages, the modal run and
// the user's actions. The backends (dialog_gtk.cpp, dialog_memory.cpp) only show and feed.
#include "platform/win32/dialog.h"

#include <strings.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>
#include <mutex>

#include "platform/win32/dialog_internal.h"

namespace win32 {
namespace {

constexpr const char* kDialogClass = "#32770";
constexpr const char* kButtonClass = "Button";
constexpr const char* kStaticClass = "Static";
constexpr const char* kComboClass = "ComboBox";
constexpr const char* kTrackBarClass = "msctls_trackbar32";

std::map<HWND, detail::DialogRecord*>& Dialogs() {
  static std::map<HWND, detail::DialogRecord*> dialogs;
  return dialogs;
}

std::mutex g_scriptMutex;
DialogScript g_script;

LRESULT CopyText(const std::string& text, LPSTR buffer, std::size_t size) {
  if (!buffer || size == 0) return 0;
  std::size_t n = std::min(text.size(), size - 1);
  std::memcpy(buffer, text.data(), n);
  buffer[n] = 0;
  return static_cast<LRESULT>(n);
}

std::string TextOf(HWND window) {
  char buffer[1024];
  int n = GetWindowTextA(window, buffer, sizeof buffer);
  return std::string(buffer, static_cast<std::size_t>(std::max(n, 0)));
}

LRESULT ButtonMessage(detail::ControlState& s, UINT message, WPARAM w) {
  switch (message) {
    case BM_GETCHECK: return s.check;
    case BM_SETCHECK: s.check = static_cast<int>(w); return 0;
    default: return 0;
  }
}

LRESULT ComboMessage(detail::ControlState& s, UINT message, WPARAM w, LPARAM l) {
  const auto count = static_cast<LRESULT>(s.items.size());
  auto valid = [&](WPARAM i) { return static_cast<LRESULT>(i) >= 0 && static_cast<LRESULT>(i) < count; };
  switch (message) {
    case CB_ADDSTRING: {
      std::string text = l ? reinterpret_cast<LPCSTR>(l) : "";
      auto at = s.items.end();
      if (s.style & CBS_SORT) {
        at = std::find_if(s.items.begin(), s.items.end(),
                          [&](const detail::ControlState::Item& i) { return strcasecmp(i.text.c_str(), text.c_str()) > 0; });
      }
      auto index = at - s.items.begin();
      s.items.insert(at, {text, 0});
      if (s.selection >= index) ++s.selection;
      return index;
    }
    case CB_INSERTSTRING: {
      auto index = static_cast<LRESULT>(static_cast<std::intptr_t>(w));
      if (index == -1) index = count;
      if (index < 0 || index > count) return CB_ERR;
      s.items.insert(s.items.begin() + index, {l ? reinterpret_cast<LPCSTR>(l) : "", 0});
      if (s.selection >= index) ++s.selection;
      return index;
    }
    case CB_DELETESTRING: {
      if (!valid(w)) return CB_ERR;
      auto index = static_cast<int>(w);
      s.items.erase(s.items.begin() + index);
      if (s.selection == index) s.selection = -1;
      else if (s.selection > index) --s.selection;
      return count - 1;
    }
    case CB_RESETCONTENT:
      s.items.clear();
      s.selection = -1;
      return 0;
    case CB_GETCOUNT: return count;
    case CB_GETCURSEL: return s.selection;
    case CB_SETCURSEL:
      if (!valid(w)) {
        s.selection = -1;
        return CB_ERR;
      }
      s.selection = static_cast<int>(w);
      return s.selection;
    case CB_GETITEMDATA: return valid(w) ? s.items[w].data : CB_ERR;
    case CB_SETITEMDATA:
      if (!valid(w)) return CB_ERR;
      s.items[w].data = l;
      return 0;
    case CB_GETLBTEXTLEN: return valid(w) ? static_cast<LRESULT>(s.items[w].text.size()) : CB_ERR;
    case CB_GETLBTEXT: {
      if (!valid(w)) return CB_ERR;
      // The caller's buffer holds at least CB_GETLBTEXTLEN + 1 bytes, as on Windows.
      const std::string& text = s.items[w].text;
      if (l) {
        std::memcpy(reinterpret_cast<char*>(l), text.data(), text.size());
        reinterpret_cast<char*>(l)[text.size()] = 0;
      }
      return static_cast<LRESULT>(text.size());
    }
    default: return 0;
  }
}

void ClampPos(detail::ControlState& s) { s.pos = std::clamp(s.pos, s.rangeMin, std::max(s.rangeMin, s.rangeMax)); }

LRESULT TrackBarMessage(detail::ControlState& s, UINT message, LPARAM l) {
  switch (message) {
    case TBM_GETPOS: return s.pos;
    case TBM_GETRANGEMIN: return s.rangeMin;
    case TBM_GETRANGEMAX: return s.rangeMax;
    case TBM_SETPOS:
      s.pos = static_cast<int>(l);
      ClampPos(s);
      return 0;
    case TBM_SETRANGE:
      s.rangeMin = static_cast<short>(LOWORD(static_cast<std::uintptr_t>(l)));
      s.rangeMax = static_cast<short>(HIWORD(static_cast<std::uintptr_t>(l)));
      ClampPos(s);
      return 0;
    case TBM_SETRANGEMIN:
      s.rangeMin = static_cast<int>(l);
      ClampPos(s);
      return 0;
    case TBM_SETRANGEMAX:
      s.rangeMax = static_cast<int>(l);
      ClampPos(s);
      return 0;
    case TBM_SETPAGESIZE: {
      int old = s.page;
      s.page = static_cast<int>(l);
      return old;
    }
    case TBM_GETPAGESIZE: return s.page;
    case TBM_SETLINESIZE: {
      int old = s.line;
      s.line = static_cast<int>(l);
      return old;
    }
    case TBM_GETLINESIZE: return s.line;
    default: return 0;
  }
}

LRESULT StaticMessage(detail::ControlState& s, UINT message, WPARAM w, LPARAM l) {
  switch (message) {
    case STM_SETIMAGE: {
      if (w != IMAGE_BITMAP) return 0;
      HBITMAP old = s.bitmap;
      s.bitmap = reinterpret_cast<HBITMAP>(l);
      if (s.ownsBitmap && old) {
        // The runtime's own copy goes; a caller's handle is the caller's to delete.
        DeleteObject(old);
        old = nullptr;
      }
      s.ownsBitmap = false;
      return reinterpret_cast<LRESULT>(old);
    }
    case STM_GETIMAGE: return w == IMAGE_BITMAP ? reinterpret_cast<LRESULT>(s.bitmap) : 0;
    default: return 0;
  }
}

LRESULT ControlProc(ControlKind kind, HWND window, UINT message, WPARAM w, LPARAM l) {
  switch (message) {
    case WM_NCCREATE: {
      auto* s = new detail::ControlState;
      s->kind = kind;
      s->style = static_cast<DWORD>(reinterpret_cast<const CREATESTRUCTA*>(l)->style);
      if (kind == ControlKind::TrackBar) s->page = 20;
      SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(s));
      return TRUE;
    }
    case WM_NCDESTROY: {
      // The window is being destroyed, so IsWindow (and StateOf) no longer answer for it.
      auto* s = reinterpret_cast<detail::ControlState*>(GetWindowLongPtrA(window, GWLP_USERDATA));
      if (s && s->ownsBitmap && s->bitmap) DeleteObject(s->bitmap);
      delete s;
      SetWindowLongPtrA(window, GWLP_USERDATA, 0);
      return 0;
    }
    case WM_SETTEXT: return SetWindowTextA(window, reinterpret_cast<LPCSTR>(l));
    case WM_GETTEXT: return CopyText(TextOf(window), reinterpret_cast<LPSTR>(l), w);
    case WM_GETTEXTLENGTH: return static_cast<LRESULT>(TextOf(window).size());
    default: break;
  }
  auto* s = detail::StateOf(window);
  if (!s) return 0;
  switch (kind) {
    case ControlKind::Button: return ButtonMessage(*s, message, w);
    case ControlKind::ComboBox: return ComboMessage(*s, message, w, l);
    case ControlKind::TrackBar: return TrackBarMessage(*s, message, l);
    case ControlKind::Static: return StaticMessage(*s, message, w, l);
  }
  return 0;
}

LRESULT ButtonProc(HWND h, UINT m, WPARAM w, LPARAM l) { return ControlProc(ControlKind::Button, h, m, w, l); }
LRESULT StaticProc(HWND h, UINT m, WPARAM w, LPARAM l) { return ControlProc(ControlKind::Static, h, m, w, l); }
LRESULT ComboProc(HWND h, UINT m, WPARAM w, LPARAM l) { return ControlProc(ControlKind::ComboBox, h, m, w, l); }
LRESULT TrackBarProc(HWND h, UINT m, WPARAM w, LPARAM l) { return ControlProc(ControlKind::TrackBar, h, m, w, l); }

LRESULT DialogWindowProc(HWND window, UINT message, WPARAM w, LPARAM l) {
  if (message == WM_NCCREATE) return TRUE;
  detail::DialogRecord* d = detail::FindDialog(window);
  if (!d || message == WM_NCDESTROY || message == WM_DESTROY) return 0;
  return detail::CallDialog(*d, message, w, l);
}

void RegisterClasses() {
  static std::once_flag once;
  std::call_once(once, [] {
    const std::pair<const char*, WNDPROC> classes[] = {{kDialogClass, DialogWindowProc},
                                                       {kButtonClass, ButtonProc},
                                                       {kStaticClass, StaticProc},
                                                       {kComboClass, ComboProc},
                                                       {kTrackBarClass, TrackBarProc}};
    for (const auto& [name, proc] : classes) {
      WNDCLASSA wc{};
      wc.lpfnWndProc = proc;
      wc.lpszClassName = name;
      RegisterClassA(&wc);
    }
  });
}

const char* ClassOf(ControlKind kind) {
  switch (kind) {
    case ControlKind::Button: return kButtonClass;
    case ControlKind::Static: return kStaticClass;
    case ControlKind::ComboBox: return kComboClass;
    case ControlKind::TrackBar: return kTrackBarClass;
  }
  return kStaticClass;
}

void Publish(detail::DialogRecord& d) {
  std::string title = TextOf(d.hwnd);
  if (title == d.publishedTitle && (d.sessionToken || title.empty())) return;
  WithdrawSessionWindow(d.sessionToken);
  d.sessionToken = title.empty() ? 0 : PublishSessionWindow(kDialogClass, title.c_str(), d.x11Window);
  d.publishedTitle = title;
}

bool Usable(HWND control) { return control && IsWindowEnabled(control) && IsWindowVisible(control); }

LRESULT Command(HWND dialog, int id, WORD code, HWND control) {
  return SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(static_cast<WORD>(id), code), reinterpret_cast<LPARAM>(control));
}

}  // namespace

namespace detail {

DialogRecord* FindDialog(HWND dialog) {
  auto it = Dialogs().find(dialog);
  return it == Dialogs().end() ? nullptr : it->second;
}

ControlState* StateOf(HWND control) {
  if (!IsWindow(control)) return nullptr;
  return reinterpret_cast<ControlState*>(GetWindowLongPtrA(control, GWLP_USERDATA));
}

INT_PTR CallDialog(DialogRecord& d, UINT message, WPARAM w, LPARAM l) {
  HWND dialog = d.hwnd;
  ++d.depth;
  INT_PTR r = d.proc ? d.proc(dialog, message, w, l) : 0;
  if (!r && message == WM_CLOSE) {
    // A dialog's close box means Cancel.
    Command(dialog, IDCANCEL, BN_CLICKED, GetDlgItem(dialog, IDCANCEL));
  }
  --d.depth;
  if (FindDialog(dialog) == &d && d.depth == 0) {
    Publish(d);
    if (d.backend) d.backend->Sync(d);
  }
  return r;
}

}  // namespace detail

RECT DialogUnitsToPixels(const RECT& u, DialogBaseUnits base) {
  auto mul = [](LONG v, int num, int den) {
    long long p = static_cast<long long>(v) * num;
    return static_cast<LONG>(p >= 0 ? (p + den / 2) / den : -((-p + den / 2) / den));
  };
  return RECT{mul(u.left, base.x, 4), mul(u.top, base.y, 8), mul(u.right, base.x, 4), mul(u.bottom, base.y, 8)};
}

INT_PTR DialogBoxIndirectParamA(HINSTANCE instance, const DialogTemplate* t, HWND owner, DLGPROC proc, LPARAM param) {
  if (!t || !proc) return -1;
  DialogScript script;
  {
    std::lock_guard<std::mutex> lock(g_scriptMutex);
    script = g_script;
  }
  std::unique_ptr<detail::DialogBackend> memory;
  if (script) memory = detail::MemoryDialogBackend(script);
  detail::DialogBackend* backend = memory ? memory.get() : detail::GtkDialogBackend();
  if (!backend) {
    std::fprintf(stderr, "Dialog \"%s\": no display to show it on\n", t->caption.c_str());
    return -1;
  }
  RegisterClasses();

  auto d = std::make_unique<detail::DialogRecord>();
  d->owner = owner;
  d->tmpl = *t;
  d->proc = proc;
  d->backend = backend;
  d->units = backend->Units(*t);
  RECT size = DialogUnitsToPixels(RECT{0, 0, t->cx, t->cy}, d->units);
  DWORD style = t->style & ~WS_VISIBLE;
  HWND dialog = CreateWindowExA(0, kDialogClass, t->caption.c_str(), style, 0, 0, size.right, size.bottom,
                                HWND_MESSAGE, nullptr, instance, nullptr);
  if (!dialog) return -1;
  d->hwnd = dialog;
  Dialogs()[dialog] = d.get();

  for (const DialogControl& c : t->controls) {
    RECT r = DialogUnitsToPixels(RECT{c.x, c.y, c.x + c.cx, c.y + c.cy}, d->units);
    HWND h = CreateWindowExA(0, ClassOf(c.kind), c.text.c_str(), c.style | WS_CHILD, r.left, r.top, r.right - r.left,
                             r.bottom - r.top, dialog, reinterpret_cast<HMENU>(static_cast<std::intptr_t>(c.id)),
                             instance, nullptr);
    if (!h) continue;
    if (c.kind == ControlKind::Static && (c.style & SS_TYPEMASK) == SS_BITMAP && c.bitmap) {
      // A picture control takes the size of its bitmap.
      if (HBITMAP b = LoadBitmapA(instance, MAKEINTRESOURCEA(c.bitmap))) {
        detail::ControlState* s = detail::StateOf(h);
        s->bitmap = b;
        s->ownsBitmap = true;
        BITMAP info{};
        GetObjectA(b, sizeof info, &info);
        SetWindowPos(h, nullptr, 0, 0, info.bmWidth, info.bmHeight, SWP_NOMOVE | SWP_NOZORDER);
      }
    }
    d->controls.push_back(h);
  }

  INT_PTR result = -1;
  if (backend->Open(*d)) {
    if (owner) EnableWindow(owner, FALSE);
    Publish(*d);
    HWND focus = nullptr;
    for (HWND c : d->controls)
      if (GetWindowLongPtrA(c, GWL_STYLE) & WS_TABSTOP) {
        focus = c;
        break;
      }
    detail::CallDialog(*d, WM_INITDIALOG, reinterpret_cast<WPARAM>(focus), param);
    if (!d->ended) backend->Run(*d);
    result = d->ended ? d->result : -1;
    backend->Close(*d);
    if (owner) EnableWindow(owner, TRUE);
  }
  WithdrawSessionWindow(d->sessionToken);
  d->sessionToken = 0;
  Dialogs().erase(dialog);
  DestroyWindow(dialog);
  return result;
}

BOOL EndDialog(HWND dialog, INT_PTR result) {
  detail::DialogRecord* d = detail::FindDialog(dialog);
  if (!d) return FALSE;
  d->ended = true;
  d->result = result;
  return TRUE;
}

HWND GetDlgItem(HWND dialog, int id) {
  detail::DialogRecord* d = detail::FindDialog(dialog);
  if (!d) return nullptr;
  for (HWND c : d->controls)
    if (IsWindow(c) && GetWindowLongPtrA(c, GWLP_ID) == id) return c;
  return nullptr;
}

int GetDlgCtrlID(HWND control) { return static_cast<int>(GetWindowLongPtrA(control, GWLP_ID)); }

LRESULT SendDlgItemMessageA(HWND dialog, int id, UINT message, WPARAM w, LPARAM l) {
  HWND c = GetDlgItem(dialog, id);
  return c ? SendMessageA(c, message, w, l) : 0;
}

BOOL SetDlgItemTextA(HWND dialog, int id, LPCSTR text) {
  HWND c = GetDlgItem(dialog, id);
  return c ? SetWindowTextA(c, text) : FALSE;
}

UINT GetDlgItemTextA(HWND dialog, int id, LPSTR buffer, int size) {
  HWND c = GetDlgItem(dialog, id);
  if (!c) {
    if (buffer && size > 0) buffer[0] = 0;
    return 0;
  }
  return static_cast<UINT>(GetWindowTextA(c, buffer, size));
}

BOOL CheckDlgButton(HWND dialog, int id, UINT check) {
  HWND c = GetDlgItem(dialog, id);
  if (!c) return FALSE;
  SendMessageA(c, BM_SETCHECK, check, 0);
  return TRUE;
}

UINT IsDlgButtonChecked(HWND dialog, int id) {
  HWND c = GetDlgItem(dialog, id);
  return c ? static_cast<UINT>(SendMessageA(c, BM_GETCHECK, 0, 0)) : 0;
}

BOOL CheckRadioButton(HWND dialog, int first, int last, int check) {
  if (!detail::FindDialog(dialog)) return FALSE;
  for (int id = first; id <= last; ++id) CheckDlgButton(dialog, id, id == check ? BST_CHECKED : BST_UNCHECKED);
  return TRUE;
}

BOOL EnableWindow(HWND window, BOOL enable) {
  if (!IsWindow(window)) return FALSE;
  auto style = static_cast<DWORD>(GetWindowLongPtrA(window, GWL_STYLE));
  BOOL wasDisabled = (style & WS_DISABLED) ? TRUE : FALSE;
  if (static_cast<bool>(enable) == !wasDisabled) return wasDisabled;
  SetWindowLongPtrA(window, GWL_STYLE, enable ? (style & ~WS_DISABLED) : (style | WS_DISABLED));
  SendMessageA(window, WM_ENABLE, enable ? TRUE : FALSE, 0);
  return wasDisabled;
}

BOOL IsWindowEnabled(HWND window) {
  if (!IsWindow(window)) return FALSE;
  return (GetWindowLongPtrA(window, GWL_STYLE) & WS_DISABLED) ? FALSE : TRUE;
}

// --- the user's actions ------------------------------------------------------------------

bool DialogUserClick(HWND dialog, int id) {
  detail::DialogRecord* d = detail::FindDialog(dialog);
  HWND c = GetDlgItem(dialog, id);
  detail::ControlState* s = detail::StateOf(c);
  if (!d || !s || s->kind != ControlKind::Button || !Usable(c)) return false;
  switch (s->style & BS_TYPEMASK) {
    case BS_AUTOCHECKBOX: s->check = s->check ? 0 : 1; break;
    case BS_AUTORADIOBUTTON: {
      // The group runs from the nearest WS_GROUP control at or before this one to the
      // next WS_GROUP control.
      auto at = std::find(d->controls.begin(), d->controls.end(), c) - d->controls.begin();
      auto first = at;
      while (first > 0 && !(GetWindowLongPtrA(d->controls[first], GWL_STYLE) & WS_GROUP)) --first;
      for (auto i = first; i < static_cast<std::ptrdiff_t>(d->controls.size()); ++i) {
        HWND o = d->controls[i];
        if (i > first && (GetWindowLongPtrA(o, GWL_STYLE) & WS_GROUP)) break;
        detail::ControlState* os = detail::StateOf(o);
        if (os && os->kind == ControlKind::Button && (os->style & BS_TYPEMASK) == BS_AUTORADIOBUTTON)
          os->check = o == c ? 1 : 0;
      }
      break;
    }
    case BS_GROUPBOX: return false;
    default: break;
  }
  Command(dialog, id, BN_CLICKED, c);
  return true;
}

bool DialogUserSelect(HWND dialog, int id, int index) {
  HWND c = GetDlgItem(dialog, id);
  detail::ControlState* s = detail::StateOf(c);
  if (!s || s->kind != ControlKind::ComboBox || !Usable(c)) return false;
  if (index < 0 || index >= static_cast<int>(s->items.size())) return false;
  s->selection = index;
  Command(dialog, id, CBN_SELCHANGE, c);
  if (IsWindow(c)) Command(dialog, id, CBN_SELENDOK, c);
  return true;
}

bool DialogUserScroll(HWND dialog, int id, WORD code, int pos) {
  HWND c = GetDlgItem(dialog, id);
  detail::ControlState* s = detail::StateOf(c);
  if (!s || s->kind != ControlKind::TrackBar || !Usable(c)) return false;
  switch (code) {
    case TB_LINEUP: s->pos -= s->line; break;
    case TB_LINEDOWN: s->pos += s->line; break;
    case TB_PAGEUP: s->pos -= s->page; break;
    case TB_PAGEDOWN: s->pos += s->page; break;
    case TB_THUMBPOSITION:
    case TB_THUMBTRACK: s->pos = pos; break;
    case TB_TOP: s->pos = s->rangeMin; break;
    case TB_BOTTOM: s->pos = s->rangeMax; break;
    default: break;
  }
  ClampPos(*s);
  WORD high = (code == TB_THUMBTRACK || code == TB_THUMBPOSITION) ? static_cast<WORD>(s->pos) : 0;
  SendMessageA(dialog, WM_HSCROLL, MAKEWPARAM(code, high), reinterpret_cast<LPARAM>(c));
  return true;
}

bool DialogUserDragThumb(HWND dialog, int id, int pos) {
  if (!DialogUserScroll(dialog, id, TB_THUMBTRACK, pos)) return false;
  DialogUserScroll(dialog, id, TB_THUMBPOSITION, pos);
  DialogUserScroll(dialog, id, TB_ENDTRACK);
  return true;
}

void DialogUserCancel(HWND dialog) {
  if (detail::FindDialog(dialog)) SendMessageA(dialog, WM_CLOSE, 0, 0);
}

void DialogUserReturn(HWND dialog) {
  detail::DialogRecord* d = detail::FindDialog(dialog);
  if (!d) return;
  for (HWND c : d->controls) {
    detail::ControlState* s = detail::StateOf(c);
    if (s && s->kind == ControlKind::Button && (s->style & BS_TYPEMASK) == BS_DEFPUSHBUTTON) {
      if (Usable(c)) DialogUserClick(dialog, GetDlgCtrlID(c));
      return;
    }
  }
  Command(dialog, IDOK, BN_CLICKED, GetDlgItem(dialog, IDOK));
}

// --- testing and inspection -----------------------------------------------------------------

void SetDialogScriptForTesting(DialogScript script) {
  std::lock_guard<std::mutex> lock(g_scriptMutex);
  g_script = std::move(script);
}

const DialogTemplate* DialogTemplateOf(HWND dialog) {
  detail::DialogRecord* d = detail::FindDialog(dialog);
  return d ? &d->tmpl : nullptr;
}

bool DialogEnded(HWND dialog, INT_PTR* result) {
  detail::DialogRecord* d = detail::FindDialog(dialog);
  if (!d) return false;
  if (result) *result = d->result;
  return d->ended;
}

HWND DialogOwnerOf(HWND dialog) {
  detail::DialogRecord* d = detail::FindDialog(dialog);
  return d ? d->owner : nullptr;
}

std::vector<std::string> ComboBoxItems(HWND control) {
  std::vector<std::string> out;
  if (detail::ControlState* s = detail::StateOf(control))
    for (const auto& i : s->items) out.push_back(i.text);
  return out;
}

HBITMAP StaticBitmap(HWND control) {
  detail::ControlState* s = detail::StateOf(control);
  return s ? s->bitmap : nullptr;
}

RECT ControlRect(HWND control) {
  RECT r{}, p{};
  GetWindowRect(control, &r);
  HWND parent = GetParent(control);
  if (parent) GetWindowRect(parent, &p);
  return RECT{r.left - p.left, r.top - p.top, r.right - p.left, r.bottom - p.top};
}

}  // namespace win32
