// The GTK 3 dialog backend: one GtkWindow per dialog with a GtkFixed in which every control
// is a native widget placed at its rectangle. The runtime's records are the truth: the
// widgets' signals become the user's actions of dialog.h, and after every call of the dialog
// procedure the widgets are brought in line with the records (texts, checks, items,
// positions, enabled and visible states, geometry).
// The runtime's headers come first: GLib's TRUE and FALSE macros would break them.
#include "platform/win32/codepage.h"
#include "platform/win32/dialog_internal.h"
#include "platform/win32/signals.h"

#include <gdk/gdkkeysyms.h>
#include <gdk/gdkx.h>
#include <gtk/gtk.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <vector>

namespace win32::detail {
namespace {

// Windows draws dialogs tighter than the stock GTK theme; these rules bring the widgets
// down to the sizes the templates were laid out for.
constexpr const char* kCss = R"(
.hoardel-dialog button { min-height: 0; min-width: 0; padding: 0 4px; }
.hoardel-dialog checkbutton, .hoardel-dialog radiobutton { min-height: 0; padding: 0; }
.hoardel-dialog check, .hoardel-dialog radio { min-width: 12px; min-height: 12px; margin: 0 4px 0 0; padding: 0; }
.hoardel-dialog combobox button { min-height: 0; padding: 0 2px 0 4px; }
.hoardel-dialog combobox arrow { min-width: 12px; min-height: 12px; }
.hoardel-dialog scale { min-height: 0; padding: 0 6px; margin: 0; }
.hoardel-dialog scale trough { min-height: 4px; }
.hoardel-dialog scale slider { min-width: 10px; min-height: 16px; margin: -7px 0; }
.hoardel-dialog frame > border { border-radius: 0; }
)";

constexpr const char* kAlphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";

struct Widget {
  HWND control = nullptr;
  int id = -1;
  GtkWidget* widget = nullptr;
  GtkWidget* radioDummy = nullptr;  // lets a radio group show no choice
  bool dragging = false;
  // What the widget shows now, to touch it only on change.
  std::string text;
  std::vector<std::string> items;
  bool shownOnce = false;
};

struct Native {
  HWND dialog = nullptr;
  GtkWidget* window = nullptr;
  GtkWidget* fixed = nullptr;
  std::vector<Widget*> widgets;
  bool syncing = false;
  guint terminationSource = 0;
  int width = -1, height = -1;
  std::string title;
  ~Native() {
    for (Widget* w : widgets) delete w;
  }
};

Native* NativeOf(DialogRecord& d) { return static_cast<Native*>(d.native); }

std::string Shown(const std::string& ansi) { return AnsiToUtf8(ansi); }

// "&" marks a mnemonic in a Windows text; GTK uses "_".
std::string Mnemonic(const std::string& ansi) {
  std::string out;
  std::string text = Shown(ansi);
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '_') {
      out += "__";
    } else if (text[i] == '&') {
      if (i + 1 < text.size() && text[i + 1] == '&') {
        out += '&';
        ++i;
      } else {
        out += '_';
      }
    } else {
      out += text[i];
    }
  }
  return out;
}

std::string TextOf(HWND window) {
  char buffer[1024];
  int n = GetWindowTextA(window, buffer, sizeof buffer);
  return std::string(buffer, static_cast<std::size_t>(n > 0 ? n : 0));
}

GdkPixbuf* PixbufOf(HBITMAP bitmap) {
  BITMAP info{};
  if (!bitmap || !GetObjectA(bitmap, sizeof info, &info) || !info.bmBits || info.bmWidth <= 0 || info.bmHeight <= 0)
    return nullptr;
  GdkPixbuf* p = gdk_pixbuf_new(GDK_COLORSPACE_RGB, FALSE, 8, info.bmWidth, info.bmHeight);
  if (!p) return nullptr;
  const auto* src = static_cast<const DWORD*>(info.bmBits);
  guchar* rows = gdk_pixbuf_get_pixels(p);
  int stride = gdk_pixbuf_get_rowstride(p);
  for (int y = 0; y < info.bmHeight; ++y) {
    guchar* row = rows + static_cast<std::ptrdiff_t>(y) * stride;
    for (int x = 0; x < info.bmWidth; ++x) {
      DWORD c = src[static_cast<std::size_t>(y) * static_cast<std::size_t>(info.bmWidth) + static_cast<std::size_t>(x)];
      row[x * 3 + 0] = static_cast<guchar>((c >> 16) & 0xFF);
      row[x * 3 + 1] = static_cast<guchar>((c >> 8) & 0xFF);
      row[x * 3 + 2] = static_cast<guchar>(c & 0xFF);
    }
  }
  return p;
}

// --- signals: the user's actions ------------------------------------------------------------

void OnClicked(GtkButton*, gpointer data) {
  auto* w = static_cast<Widget*>(data);
  HWND dialog = GetParent(w->control);
  if (DialogRecord* d = FindDialog(dialog); d && !NativeOf(*d)->syncing) DialogUserClick(dialog, w->id);
}

void OnToggled(GtkToggleButton* button, gpointer data) {
  auto* w = static_cast<Widget*>(data);
  HWND dialog = GetParent(w->control);
  DialogRecord* d = FindDialog(dialog);
  if (!d || NativeOf(*d)->syncing) return;
  // A radio button acts when it becomes the choice; the one that lets go says nothing.
  if (GTK_IS_RADIO_BUTTON(button) && !gtk_toggle_button_get_active(button)) return;
  // A disabled control or a refused click leaves the records as they were: show them again.
  if (!DialogUserClick(dialog, w->id) && FindDialog(dialog) == d) d->backend->Sync(*d);
}

void OnComboChanged(GtkComboBox* combo, gpointer data) {
  auto* w = static_cast<Widget*>(data);
  HWND dialog = GetParent(w->control);
  DialogRecord* d = FindDialog(dialog);
  if (!d || NativeOf(*d)->syncing) return;
  int index = gtk_combo_box_get_active(combo);
  if (index >= 0) DialogUserSelect(dialog, w->id, index);
}

gboolean OnChangeValue(GtkRange*, GtkScrollType scroll, gdouble value, gpointer data) {
  auto* w = static_cast<Widget*>(data);
  HWND dialog = GetParent(w->control);
  DialogRecord* d = FindDialog(dialog);
  if (!d || NativeOf(*d)->syncing) return TRUE;
  const int pos = static_cast<int>(value + (value >= 0 ? 0.5 : -0.5));
  WORD code;
  switch (scroll) {
    case GTK_SCROLL_JUMP:
      w->dragging = true;
      DialogUserScroll(dialog, w->id, TB_THUMBTRACK, pos);
      return TRUE;
    case GTK_SCROLL_STEP_BACKWARD:
    case GTK_SCROLL_STEP_LEFT:
    case GTK_SCROLL_STEP_UP: code = TB_LINEUP; break;
    case GTK_SCROLL_STEP_FORWARD:
    case GTK_SCROLL_STEP_RIGHT:
    case GTK_SCROLL_STEP_DOWN: code = TB_LINEDOWN; break;
    case GTK_SCROLL_PAGE_BACKWARD:
    case GTK_SCROLL_PAGE_LEFT:
    case GTK_SCROLL_PAGE_UP: code = TB_PAGEUP; break;
    case GTK_SCROLL_PAGE_FORWARD:
    case GTK_SCROLL_PAGE_RIGHT:
    case GTK_SCROLL_PAGE_DOWN: code = TB_PAGEDOWN; break;
    case GTK_SCROLL_START: code = TB_TOP; break;
    case GTK_SCROLL_END: code = TB_BOTTOM; break;
    default: return TRUE;
  }
  DialogUserScroll(dialog, w->id, code, pos);
  if (IsWindow(w->control)) DialogUserScroll(dialog, w->id, TB_ENDTRACK);
  return TRUE;
}

gboolean OnScaleReleased(GtkWidget*, GdkEventButton*, gpointer data) {
  auto* w = static_cast<Widget*>(data);
  if (!w->dragging) return FALSE;
  w->dragging = false;
  HWND dialog = GetParent(w->control);
  if (DialogRecord* d = FindDialog(dialog); d && !NativeOf(*d)->syncing) {
    int pos = static_cast<int>(SendMessageA(w->control, TBM_GETPOS, 0, 0));
    DialogUserScroll(dialog, w->id, TB_THUMBPOSITION, pos);
    if (IsWindow(w->control)) DialogUserScroll(dialog, w->id, TB_ENDTRACK);
  }
  return FALSE;
}

gboolean OnDelete(GtkWidget*, GdkEvent*, gpointer data) {
  HWND dialog = static_cast<Native*>(data)->dialog;
  if (FindDialog(dialog)) DialogUserCancel(dialog);
  return TRUE;  // the runtime closes the window when the dialog ends
}

gboolean OnKey(GtkWidget* window, GdkEventKey* event, gpointer data) {
  HWND dialog = static_cast<Native*>(data)->dialog;
  if (!FindDialog(dialog)) return FALSE;
  if (event->keyval == GDK_KEY_Escape) {
    DialogUserCancel(dialog);
    return TRUE;
  }
  if (event->keyval == GDK_KEY_Return || event->keyval == GDK_KEY_KP_Enter) {
    // A focused push button takes Return itself; anywhere else it means the default button.
    GtkWidget* focus = gtk_window_get_focus(GTK_WINDOW(window));
    if (focus && GTK_IS_BUTTON(focus) && !GTK_IS_TOGGLE_BUTTON(focus)) return FALSE;
    DialogUserReturn(dialog);
    return TRUE;
  }
  return FALSE;
}

gboolean CheckTermination(gpointer data) {
  HWND dialog = static_cast<Native*>(data)->dialog;
  if (TerminationSignal() != 0) EndDialog(dialog, IDCANCEL);
  return G_SOURCE_CONTINUE;
}

// --- building --------------------------------------------------------------------------------

GtkWidget* MakeWidget(DialogRecord& d, Native& n, Widget& w, const DialogControl& c,
                      std::map<int, GtkWidget*>& radioGroups, int& radioGroup) {
  ControlState* s = StateOf(w.control);
  switch (c.kind) {
    case ControlKind::Button:
      switch (c.style & BS_TYPEMASK) {
        case BS_GROUPBOX: return gtk_frame_new(nullptr);
        case BS_AUTOCHECKBOX:
        case BS_CHECKBOX: {
          GtkWidget* b = gtk_check_button_new_with_mnemonic("");
          g_signal_connect(b, "toggled", G_CALLBACK(OnToggled), &w);
          return b;
        }
        case BS_AUTORADIOBUTTON:
        case BS_RADIOBUTTON: {
          if ((c.style & WS_GROUP) || !radioGroups.count(radioGroup)) {
            ++radioGroup;
            GtkWidget* dummy = gtk_radio_button_new(nullptr);
            g_object_ref_sink(dummy);
            radioGroups[radioGroup] = dummy;
          }
          GtkWidget* dummy = radioGroups[radioGroup];
          w.radioDummy = dummy;
          GtkWidget* b = gtk_radio_button_new_with_mnemonic_from_widget(GTK_RADIO_BUTTON(dummy), "");
          g_signal_connect(b, "toggled", G_CALLBACK(OnToggled), &w);
          return b;
        }
        default: {
          GtkWidget* b = gtk_button_new_with_mnemonic("");
          g_signal_connect(b, "clicked", G_CALLBACK(OnClicked), &w);
          if ((c.style & BS_TYPEMASK) == BS_DEFPUSHBUTTON) {
            gtk_widget_set_can_default(b, TRUE);
            gtk_window_set_default(GTK_WINDOW(n.window), b);
          }
          return b;
        }
      }
    case ControlKind::Static: {
      if ((c.style & SS_TYPEMASK) == SS_BITMAP) {
        GtkWidget* image = gtk_image_new();
        if (GdkPixbuf* p = PixbufOf(s ? s->bitmap : nullptr)) {
          gtk_image_set_from_pixbuf(GTK_IMAGE(image), p);
          g_object_unref(p);
        }
        return image;
      }
      GtkWidget* label = gtk_label_new(nullptr);
      gtk_label_set_xalign(GTK_LABEL(label), (c.style & SS_TYPEMASK) == SS_CENTER ? 0.5f
                                             : (c.style & SS_TYPEMASK) == SS_RIGHT ? 1.0f
                                                                                   : 0.0f);
      gtk_label_set_yalign(GTK_LABEL(label), 0.0f);
      return label;
    }
    case ControlKind::ComboBox: {
      GtkWidget* combo = gtk_combo_box_text_new();
      g_signal_connect(combo, "changed", G_CALLBACK(OnComboChanged), &w);
      return combo;
    }
    case ControlKind::TrackBar: {
      GtkWidget* scale = gtk_scale_new_with_range(GTK_ORIENTATION_HORIZONTAL, 0, 100, 1);
      gtk_scale_set_draw_value(GTK_SCALE(scale), FALSE);
      g_signal_connect(scale, "change-value", G_CALLBACK(OnChangeValue), &w);
      g_signal_connect(scale, "button-release-event", G_CALLBACK(OnScaleReleased), &w);
      return scale;
    }
  }
  (void)d;
  return gtk_label_new(nullptr);
}

void SyncWidget(DialogRecord& d, Widget& w) {
  ControlState* s = StateOf(w.control);
  if (!s || !w.widget) return;
  GtkWidget* g = w.widget;
  RECT r = ControlRect(w.control);
  int width = r.right - r.left, height = r.bottom - r.top;
  if (s->kind == ControlKind::ComboBox) height = std::min<int>(height, d.units.y + 8);  // the closed list
  gtk_fixed_move(GTK_FIXED(NativeOf(d)->fixed), g, r.left, r.top);
  gtk_widget_set_size_request(g, width, height);

  std::string text = TextOf(w.control);
  if (text != w.text || !w.shownOnce) {
    w.text = text;
    if (s->kind == ControlKind::Button) {
      if ((s->style & BS_TYPEMASK) == BS_GROUPBOX)
        gtk_frame_set_label(GTK_FRAME(g), text.empty() ? nullptr : Shown(text).c_str());
      else
        gtk_button_set_label(GTK_BUTTON(g), Mnemonic(text).c_str());
    } else if (s->kind == ControlKind::Static && GTK_IS_LABEL(g)) {
      gtk_label_set_text_with_mnemonic(GTK_LABEL(g), Mnemonic(text).c_str());
    }
  }
  if (s->kind == ControlKind::Button && GTK_IS_TOGGLE_BUTTON(g)) {
    bool on = s->check == BST_CHECKED;
    if (w.radioDummy && !on) {
      // Only the group's hidden member can take the choice away from this one.
      if (gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(g)))
        gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(w.radioDummy), TRUE);
    } else if (gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(g)) != on) {
      gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(g), on);
    }
  }
  if (s->kind == ControlKind::ComboBox) {
    std::vector<std::string> items;
    for (const auto& i : s->items) items.push_back(i.text);
    if (items != w.items) {
      w.items = items;
      gtk_combo_box_text_remove_all(GTK_COMBO_BOX_TEXT(g));
      for (const auto& i : items) gtk_combo_box_text_append_text(GTK_COMBO_BOX_TEXT(g), Shown(i).c_str());
    }
    if (gtk_combo_box_get_active(GTK_COMBO_BOX(g)) != s->selection)
      gtk_combo_box_set_active(GTK_COMBO_BOX(g), s->selection);
  }
  if (s->kind == ControlKind::TrackBar) {
    GtkAdjustment* a = gtk_range_get_adjustment(GTK_RANGE(g));
    gtk_adjustment_configure(a, s->pos, s->rangeMin, std::max(s->rangeMin, s->rangeMax), s->line, s->page, 0);
  }
  if (s->kind == ControlKind::Static && GTK_IS_IMAGE(g) && !w.shownOnce) {
    // The picture was set when the widget was made; a later STM_SETIMAGE replaces it.
  } else if (s->kind == ControlKind::Static && GTK_IS_IMAGE(g)) {
    if (GdkPixbuf* p = PixbufOf(s->bitmap)) {
      gtk_image_set_from_pixbuf(GTK_IMAGE(g), p);
      g_object_unref(p);
    }
  }
  gtk_widget_set_sensitive(g, IsWindowEnabled(w.control));
  gtk_widget_set_visible(g, IsWindowVisible(w.control));
  w.shownOnce = true;
}

// Writes each control's rectangle and the smallest size its content needs, for layout
// checks (HOARDEL_DIALOG_LAYOUT names the file).
void WriteLayout(DialogRecord& d, Native& n) {
  const char* path = std::getenv("HOARDEL_DIALOG_LAYOUT");
  if (!path || !*path) return;
  FILE* f = std::fopen(path, "a");
  if (!f) return;
  std::fprintf(f, "dialog \"%s\" %d %d\n", Shown(TextOf(d.hwnd)).c_str(), n.width, n.height);
  for (Widget* w : n.widgets) {
    if (!gtk_widget_get_visible(w->widget)) continue;
    // The size the widget needs for its content, without the rectangle it was given.
    int requestW = -1, requestH = -1;
    gtk_widget_get_size_request(w->widget, &requestW, &requestH);
    gtk_widget_set_size_request(w->widget, -1, -1);
    GtkRequisition minimum{};
    gtk_widget_get_preferred_size(w->widget, &minimum, nullptr);
    gtk_widget_set_size_request(w->widget, requestW, requestH);
    GtkAllocation a{};
    gtk_widget_get_allocation(w->widget, &a);
    std::fprintf(f, "control %d %d %d %d %d min %d %d \"%s\"\n", w->id, a.x, a.y, a.width, a.height, minimum.width,
                 minimum.height, Shown(TextOf(w->control)).c_str());
  }
  std::fclose(f);
}

class GtkBackend : public DialogBackend {
 public:
  DialogBaseUnits Units(const DialogTemplate& t) override {
    DialogBaseUnits units;
    PangoContext* context = gdk_pango_context_get();
    std::string face = t.fontFace.empty() ? std::string("Sans") : t.fontFace;
    PangoFontDescription* font = pango_font_description_from_string((face + " " + std::to_string(t.fontPoints)).c_str());
    PangoLayout* layout = pango_layout_new(context);
    pango_layout_set_font_description(layout, font);
    pango_layout_set_text(layout, kAlphabet, -1);
    int width = 0, height = 0;
    pango_layout_get_pixel_size(layout, &width, &height);
    PangoFontMetrics* metrics = pango_context_get_metrics(context, font, nullptr);
    int cy = PANGO_PIXELS(pango_font_metrics_get_ascent(metrics) + pango_font_metrics_get_descent(metrics));
    pango_font_metrics_unref(metrics);
    g_object_unref(layout);
    pango_font_description_free(font);
    g_object_unref(context);
    if (width > 0) units.x = (width / 26 + 1) / 2;
    if (cy > 0) units.y = cy;
    return units;
  }

  bool Open(DialogRecord& d) override {
    auto* n = new Native;
    n->dialog = d.hwnd;
    d.native = n;
    n->window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    gtk_style_context_add_class(gtk_widget_get_style_context(n->window), "hoardel-dialog");
    gtk_window_set_resizable(GTK_WINDOW(n->window), FALSE);
    gtk_window_set_type_hint(GTK_WINDOW(n->window), GDK_WINDOW_TYPE_HINT_DIALOG);
    gtk_window_set_modal(GTK_WINDOW(n->window), TRUE);
    gtk_window_set_deletable(GTK_WINDOW(n->window), (d.tmpl.style & WS_SYSMENU) ? TRUE : FALSE);
    if (d.tmpl.style & DS_SYSMODAL) gtk_window_set_keep_above(GTK_WINDOW(n->window), TRUE);
    GtkWindow* parent = nullptr;
    if (DialogRecord* owner = FindDialog(d.owner); owner && owner->native)
      parent = GTK_WINDOW(NativeOf(*owner)->window);
    if (parent) gtk_window_set_transient_for(GTK_WINDOW(n->window), parent);
    gtk_window_set_position(GTK_WINDOW(n->window), parent ? GTK_WIN_POS_CENTER_ON_PARENT : GTK_WIN_POS_CENTER);
    PangoFontDescription* font = pango_font_description_from_string(
        ((d.tmpl.fontFace.empty() ? std::string("Sans") : d.tmpl.fontFace) + " " + std::to_string(d.tmpl.fontPoints)).c_str());
    G_GNUC_BEGIN_IGNORE_DEPRECATIONS
    gtk_widget_override_font(n->window, font);
    G_GNUC_END_IGNORE_DEPRECATIONS
    pango_font_description_free(font);

    n->fixed = gtk_fixed_new();
    gtk_container_add(GTK_CONTAINER(n->window), n->fixed);
    std::map<int, GtkWidget*> radioGroups;
    int radioGroup = 0;
    for (std::size_t i = 0; i < d.controls.size() && i < d.tmpl.controls.size(); ++i) {
      auto* w = new Widget;
      w->control = d.controls[i];
      w->id = GetDlgCtrlID(w->control);
      n->widgets.push_back(w);
      w->widget = MakeWidget(d, *n, *w, d.tmpl.controls[i], radioGroups, radioGroup);
      gtk_widget_set_name(w->widget, ("control-" + std::to_string(w->id)).c_str());
      G_GNUC_BEGIN_IGNORE_DEPRECATIONS
      PangoFontDescription* f = pango_font_description_from_string(
          ((d.tmpl.fontFace.empty() ? std::string("Sans") : d.tmpl.fontFace) + " " + std::to_string(d.tmpl.fontPoints)).c_str());
      gtk_widget_override_font(w->widget, f);
      if (GTK_IS_BIN(w->widget) && gtk_bin_get_child(GTK_BIN(w->widget)))
        gtk_widget_override_font(gtk_bin_get_child(GTK_BIN(w->widget)), f);
      pango_font_description_free(f);
      G_GNUC_END_IGNORE_DEPRECATIONS
      gtk_fixed_put(GTK_FIXED(n->fixed), w->widget, 0, 0);
      gtk_widget_show_all(w->widget);
    }
    for (auto& [group, dummy] : radioGroups) g_object_unref(dummy);
    g_signal_connect(n->window, "delete-event", G_CALLBACK(OnDelete), n);
    g_signal_connect(n->window, "key-press-event", G_CALLBACK(OnKey), n);
    gtk_widget_show(n->fixed);
    Sync(d);
    gtk_widget_realize(n->window);
    GdkWindow* gw = gtk_widget_get_window(n->window);
    if (gw && GDK_IS_X11_WINDOW(gw)) d.x11Window = gdk_x11_window_get_xid(gw);
    n->terminationSource = g_timeout_add(100, CheckTermination, n);
    return true;
  }

  void Run(DialogRecord& d) override {
    Native* n = NativeOf(d);
    // SIGTERM, SIGINT and SIGHUP end a shown dialog as Cancel (polled by CheckTermination).
    InstallTerminationSignals();
    Sync(d);
    gtk_widget_show(n->window);
    gtk_window_present(GTK_WINDOW(n->window));
    bool laidOut = false;
    while (!d.ended) {
      gtk_main_iteration_do(TRUE);
      if (!laidOut && gtk_widget_get_mapped(n->window)) {
        while (gtk_events_pending() && !d.ended) gtk_main_iteration_do(FALSE);
        laidOut = true;
        WriteLayout(d, *n);
      }
    }
  }

  void Sync(DialogRecord& d) override {
    Native* n = NativeOf(d);
    if (!n || n->syncing) return;
    n->syncing = true;
    for (Widget* w : n->widgets) SyncWidget(d, *w);
    RECT frame{};
    GetWindowRect(d.hwnd, &frame);
    int width = frame.right - frame.left, height = frame.bottom - frame.top;
    if (width != n->width || height != n->height) {
      n->width = width;
      n->height = height;
      gtk_widget_set_size_request(n->fixed, width, height);
      gtk_window_resize(GTK_WINDOW(n->window), 1, 1);
    }
    std::string title = TextOf(d.hwnd);
    if (title != n->title) {
      n->title = title;
      gtk_window_set_title(GTK_WINDOW(n->window), Shown(title).c_str());
    }
    n->syncing = false;
  }

  void Close(DialogRecord& d) override {
    Native* n = NativeOf(d);
    if (!n) return;
    if (n->terminationSource) g_source_remove(n->terminationSource);
    gtk_widget_destroy(n->window);
    while (gtk_events_pending()) gtk_main_iteration_do(FALSE);
    delete n;
    d.native = nullptr;
  }
};

}  // namespace

DialogBackend* GtkDialogBackend() {
  const char* x11 = std::getenv("DISPLAY");
  const char* wayland = std::getenv("WAYLAND_DISPLAY");
  if (!((x11 && *x11) || (wayland && *wayland))) return nullptr;
  static const bool ready = [] {
    if (!gtk_init_check(nullptr, nullptr)) return false;
    GtkCssProvider* css = gtk_css_provider_new();
    gtk_css_provider_load_from_data(css, kCss, -1, nullptr);
    gtk_style_context_add_provider_for_screen(gdk_screen_get_default(), GTK_STYLE_PROVIDER(css),
                                              GTK_STYLE_PROVIDER_PRIORITY_APPLICATION);
    g_object_unref(css);
    return true;
  }();
  if (!ready) return nullptr;
  static GtkBackend backend;
  return &backend;
}

}  // namespace win32::detail
