#include "platform/win32/msgbox.h"

#include <gtk/gtk.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>

#include "platform/win32/codepage.h"

namespace win32 {

namespace {

std::mutex g_hookMutex;
MessageBoxHook g_hook;

const char* ButtonLabel(int id) {
  switch (id) {
    case IDOK: return "_OK";
    case IDCANCEL: return "_Cancel";
    case IDABORT: return "_Abort";
    case IDRETRY: return "_Retry";
    case IDIGNORE: return "_Ignore";
    case IDYES: return "_Yes";
    case IDNO: return "_No";
    case IDTRYAGAIN: return "_Try Again";
    case IDCONTINUE: return "_Continue";
    default: return "?";
  }
}

bool Contains(const std::vector<int>& ids, int id) {
  for (int v : ids)
    if (v == id) return true;
  return false;
}

// The answer when the box is closed from its frame or with Escape: Cancel where there is
// one, else OK, else No, as the Windows boxes behave.
int DismissAnswer(UINT type) {
  std::vector<int> ids = MessageBoxButtons(type);
  for (int id : {IDCANCEL, IDOK, IDNO})
    if (Contains(ids, id)) return id;
  return MessageBoxDefaultAnswer(type);
}

bool UseStderr() {
  if (const char* mode = std::getenv("HOARDEL_MESSAGEBOX"); mode && std::strcmp(mode, "stderr") == 0)
    return true;
  const char* x11 = std::getenv("DISPLAY");
  const char* wayland = std::getenv("WAYLAND_DISPLAY");
  return !((x11 && *x11) || (wayland && *wayland));
}

bool GtkReady() {
  static const bool ready = gtk_init_check(nullptr, nullptr) != FALSE;
  return ready;
}

int ToStderr(const std::string& text, const std::string& caption, UINT type) {
  std::fprintf(stderr, "Message box \"%s\": %s\n", caption.c_str(), text.c_str());
  std::fflush(stderr);
  return MessageBoxDefaultAnswer(type);
}

GtkMessageType GtkIcon(UINT type) {
  switch (type & MB_ICONMASK) {
    case MB_ICONERROR: return GTK_MESSAGE_ERROR;
    case MB_ICONQUESTION: return GTK_MESSAGE_QUESTION;
    case MB_ICONWARNING: return GTK_MESSAGE_WARNING;
    case MB_ICONINFORMATION: return GTK_MESSAGE_INFO;
    default: return GTK_MESSAGE_OTHER;
  }
}

int ShowGtk(const std::string& text, const std::string& caption, UINT type) {
  GtkWidget* dialog = gtk_message_dialog_new(nullptr, GTK_DIALOG_MODAL, GtkIcon(type), GTK_BUTTONS_NONE,
                                             "%s", text.c_str());
  gtk_window_set_title(GTK_WINDOW(dialog), caption.c_str());
  gtk_window_set_position(GTK_WINDOW(dialog), GTK_WIN_POS_CENTER);
  if (type & (MB_SYSTEMMODAL | MB_TOPMOST | MB_SETFOREGROUND))
    gtk_window_set_keep_above(GTK_WINDOW(dialog), TRUE);
  for (int id : MessageBoxButtons(type)) gtk_dialog_add_button(GTK_DIALOG(dialog), ButtonLabel(id), id);
  gtk_dialog_set_default_response(GTK_DIALOG(dialog), MessageBoxDefaultAnswer(type));
  gint response = gtk_dialog_run(GTK_DIALOG(dialog));
  gtk_widget_destroy(dialog);
  while (gtk_events_pending()) gtk_main_iteration();
  return response > 0 ? static_cast<int>(response) : DismissAnswer(type);
}

}  // namespace

std::vector<int> MessageBoxButtons(UINT type) {
  switch (type & MB_TYPEMASK) {
    case MB_OKCANCEL: return {IDOK, IDCANCEL};
    case MB_ABORTRETRYIGNORE: return {IDABORT, IDRETRY, IDIGNORE};
    case MB_YESNOCANCEL: return {IDYES, IDNO, IDCANCEL};
    case MB_YESNO: return {IDYES, IDNO};
    case MB_RETRYCANCEL: return {IDRETRY, IDCANCEL};
    case MB_CANCELTRYCONTINUE: return {IDCANCEL, IDTRYAGAIN, IDCONTINUE};
    default: return {IDOK};
  }
}

int MessageBoxDefaultAnswer(UINT type) {
  std::vector<int> ids = MessageBoxButtons(type);
  std::size_t index = (type & MB_DEFMASK) >> 8;
  return index < ids.size() ? ids[index] : ids.front();
}

void SetMessageBoxHook(MessageBoxHook hook) {
  std::lock_guard<std::mutex> lock(g_hookMutex);
  g_hook = std::move(hook);
}

int MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type) {
  MessageBoxHook hook;
  {
    std::lock_guard<std::mutex> lock(g_hookMutex);
    hook = g_hook;
  }
  if (hook) return hook(MessageBoxCall{owner, text ? text : "", caption ? caption : "", type});

  // A null caption is "Error" on Windows.
  std::string shownCaption = AnsiToUtf8(caption ? caption : "Error");
  std::string shownText = AnsiToUtf8(text ? text : "");
  if (UseStderr() || !GtkReady()) return ToStderr(shownText, shownCaption, type);
  return ShowGtk(shownText, shownCaption, type);
}

}  // namespace win32
