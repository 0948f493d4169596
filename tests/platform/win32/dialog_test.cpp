// The dialog runtime through its in-memory backend: control messages, the user's actions,
// the modal run, and the publication of the caption for FindWindowA.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform/win32/dialog.h"

using namespace win32;

namespace {

DialogControl Make(int id, ControlKind kind, DWORD style, int x = 0, int y = 0, int cx = 40, int cy = 10) {
  DialogControl c;
  c.id = id;
  c.kind = kind;
  c.style = style | WS_VISIBLE;
  c.x = x;
  c.y = y;
  c.cx = cx;
  c.cy = cy;
  return c;
}

DialogTemplate TestTemplate() {
  DialogTemplate t;
  t.id = 77;
  t.style = DS_MODALFRAME | WS_POPUP | WS_CAPTION | WS_SYSMENU;
  t.caption = "Runtime test dialog";
  t.cx = 200;
  t.cy = 100;
  t.controls = {Make(10, ControlKind::ComboBox, CBS_DROPDOWNLIST),
                Make(11, ControlKind::ComboBox, CBS_DROPDOWNLIST | CBS_SORT),
                Make(20, ControlKind::TrackBar, TBS_NOTICKS),
                Make(30, ControlKind::Button, BS_AUTORADIOBUTTON | WS_GROUP),
                Make(31, ControlKind::Button, BS_AUTORADIOBUTTON),
                Make(32, ControlKind::Button, BS_AUTORADIOBUTTON | WS_GROUP),
                Make(40, ControlKind::Button, BS_AUTOCHECKBOX),
                Make(50, ControlKind::Static, SS_LEFT, 10, 20, 30, 8),
                Make(IDOK, ControlKind::Button, BS_DEFPUSHBUTTON),
                Make(IDCANCEL, ControlKind::Button, BS_PUSHBUTTON)};
  return t;
}

struct Seen {
  UINT message;
  int id;
  int code;
};
std::vector<Seen> g_seen;
bool g_endOnCommand = true;

INT_PTR RecordingProc(HWND dialog, UINT message, WPARAM w, LPARAM) {
  if (message == WM_COMMAND || message == WM_HSCROLL || message == WM_INITDIALOG) {
    g_seen.push_back({message, message == WM_COMMAND ? LOWORD(w) : 0, message == WM_INITDIALOG ? 0 : HIWORD(w)});
    if (message == WM_HSCROLL) g_seen.back().code = LOWORD(w);
  }
  if (message == WM_COMMAND && g_endOnCommand && (LOWORD(w) == IDOK || LOWORD(w) == IDCANCEL)) {
    EndDialog(dialog, LOWORD(w) == IDOK ? 100 : 200);
    return TRUE;
  }
  return FALSE;
}

class DialogRuntimeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    g_seen.clear();
    g_endOnCommand = true;
  }
  void TearDown() override { SetDialogScriptForTesting(nullptr); }
  INT_PTR Run(DialogScript script) {
    SetDialogScriptForTesting(std::move(script));
    DialogTemplate t = TestTemplate();
    return DialogBoxIndirectParamA(nullptr, &t, nullptr, RecordingProc, 0);
  }
};

TEST_F(DialogRuntimeTest, ComboBoxItemsSelectionAndData) {
  Run([](HWND d) {
    auto send = [&](int id, UINT m, WPARAM w = 0, LPARAM l = 0) { return SendDlgItemMessageA(d, id, m, w, l); };
    auto add = [&](int id, const char* text) { return send(id, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text)); };
    EXPECT_EQ(send(10, CB_GETCURSEL), CB_ERR);
    EXPECT_EQ(add(10, "b"), 0);
    EXPECT_EQ(add(10, "a"), 1);
    EXPECT_EQ(add(10, "c"), 2);
    EXPECT_EQ(send(10, CB_SETITEMDATA, 2, 42), 0);
    EXPECT_EQ(send(10, CB_GETITEMDATA, 2), 42);
    EXPECT_EQ(send(10, CB_GETITEMDATA, 3), CB_ERR);
    EXPECT_EQ(send(10, CB_SETCURSEL, 2), 2);
    // Deleting an item before the selection keeps the same item selected.
    EXPECT_EQ(send(10, CB_DELETESTRING, 0), 2);
    EXPECT_EQ(send(10, CB_GETCURSEL), 1);
    EXPECT_EQ(send(10, CB_GETITEMDATA, 1), 42);
    char text[16];
    EXPECT_EQ(send(10, CB_GETLBTEXTLEN, 1), 1);
    EXPECT_EQ(send(10, CB_GETLBTEXT, 1, reinterpret_cast<LPARAM>(text)), 1);
    EXPECT_STREQ(text, "c");
    // An index out of range clears the selection and reports CB_ERR.
    EXPECT_EQ(send(10, CB_SETCURSEL, 5), CB_ERR);
    EXPECT_EQ(send(10, CB_GETCURSEL), CB_ERR);
    EXPECT_EQ(send(10, CB_RESETCONTENT), 0);
    EXPECT_EQ(send(10, CB_GETCOUNT), 0);
    // A sorted list places each item in order, case-insensitively.
    add(11, "beta");
    add(11, "Gamma");
    EXPECT_EQ(add(11, "alpha"), 0);
    EXPECT_EQ(ComboBoxItems(GetDlgItem(d, 11)), (std::vector<std::string>{"alpha", "beta", "Gamma"}));
    // Choosing an item notifies the change, then the final selection (9).
    EXPECT_FALSE(DialogUserSelect(d, 11, 3));
    g_seen.clear();
    EXPECT_TRUE(DialogUserSelect(d, 11, 2));
    ASSERT_EQ(g_seen.size(), 2u);
    EXPECT_EQ(g_seen[0].code, CBN_SELCHANGE);
    EXPECT_EQ(g_seen[1].code, CBN_SELENDOK);
    EXPECT_EQ(g_seen[1].id, 11);
    EXPECT_EQ(send(11, CB_GETCURSEL), 2);
    DialogUserCancel(d);
  });
}

TEST_F(DialogRuntimeTest, TrackBarRangePositionAndScrollCodes) {
  Run([](HWND d) {
    auto send = [&](UINT m, WPARAM w = 0, LPARAM l = 0) { return SendDlgItemMessageA(d, 20, m, w, l); };
    EXPECT_EQ(send(TBM_GETRANGEMAX), 100);
    EXPECT_EQ(send(TBM_GETPAGESIZE), 20);
    send(TBM_SETRANGE, TRUE, MAKELPARAM(10, 200));
    send(TBM_SETPOS, TRUE, 5);
    EXPECT_EQ(send(TBM_GETPOS), 10);  // clamped to the range
    send(TBM_SETPOS, TRUE, 195);
    EXPECT_EQ(send(TBM_SETPAGESIZE, 0, 10), 20);
    g_seen.clear();
    DialogUserScroll(d, 20, TB_PAGEDOWN);
    EXPECT_EQ(send(TBM_GETPOS), 200);
    DialogUserScroll(d, 20, TB_LINEUP);
    EXPECT_EQ(send(TBM_GETPOS), 199);
    DialogUserScroll(d, 20, TB_TOP);
    EXPECT_EQ(send(TBM_GETPOS), 10);
    DialogUserDragThumb(d, 20, 120);
    EXPECT_EQ(send(TBM_GETPOS), 120);
    std::vector<int> codes;
    for (const Seen& s : g_seen) codes.push_back(s.code);
    EXPECT_EQ(codes, (std::vector<int>{TB_PAGEDOWN, TB_LINEUP, TB_TOP, TB_THUMBTRACK, TB_THUMBPOSITION, TB_ENDTRACK}));
    // Narrowing the range pulls the thumb inside.
    send(TBM_SETRANGEMAX, TRUE, 50);
    EXPECT_EQ(send(TBM_GETPOS), 50);
    DialogUserCancel(d);
  });
}

TEST_F(DialogRuntimeTest, ButtonsRadioGroupsAndEnabling) {
  Run([](HWND d) {
    EXPECT_TRUE(DialogUserClick(d, 31));
    EXPECT_TRUE(DialogUserClick(d, 32));  // a group of its own
    EXPECT_EQ(IsDlgButtonChecked(d, 31), BST_CHECKED);
    EXPECT_EQ(IsDlgButtonChecked(d, 32), BST_CHECKED);
    DialogUserClick(d, 30);
    EXPECT_EQ(IsDlgButtonChecked(d, 30), BST_CHECKED);
    EXPECT_EQ(IsDlgButtonChecked(d, 31), BST_UNCHECKED);
    EXPECT_EQ(IsDlgButtonChecked(d, 32), BST_CHECKED);
    DialogUserClick(d, 40);
    EXPECT_EQ(IsDlgButtonChecked(d, 40), BST_CHECKED);
    DialogUserClick(d, 40);
    EXPECT_EQ(IsDlgButtonChecked(d, 40), BST_UNCHECKED);
    CheckRadioButton(d, 30, 31, 31);
    EXPECT_EQ(IsDlgButtonChecked(d, 30), BST_UNCHECKED);
    EXPECT_EQ(IsDlgButtonChecked(d, 31), BST_CHECKED);

    HWND box = GetDlgItem(d, 40);
    EXPECT_FALSE(EnableWindow(box, FALSE));  // was enabled
    EXPECT_TRUE(EnableWindow(box, FALSE));   // was disabled
    EXPECT_FALSE(DialogUserClick(d, 40));
    EXPECT_EQ(IsDlgButtonChecked(d, 40), BST_UNCHECKED);
    EnableWindow(box, TRUE);
    ShowWindow(box, SW_HIDE);
    EXPECT_FALSE(DialogUserClick(d, 40));
    EXPECT_FALSE(DialogUserClick(d, 999));
    EXPECT_EQ(GetDlgItem(d, 999), nullptr);

    EXPECT_TRUE(SetDlgItemTextA(d, 50, "label text"));
    char buffer[6];
    EXPECT_EQ(GetDlgItemTextA(d, 50, buffer, sizeof buffer), 5u);  // cut to the buffer
    EXPECT_STREQ(buffer, "label");
    EXPECT_EQ(GetDlgCtrlID(GetDlgItem(d, 50)), 50);
    // Dialog units: 6 x 13 base units in memory; (10, 20) is (15, 33) pixels.
    RECT r = ControlRect(GetDlgItem(d, 50));
    EXPECT_EQ(r.left, 15);
    EXPECT_EQ(r.top, 33);
    EXPECT_EQ(r.right - r.left, 45);
    DialogUserReturn(d);  // the default push button
  });
  ASSERT_FALSE(g_seen.empty());
  EXPECT_EQ(g_seen.back().id, IDOK);
}

TEST_F(DialogRuntimeTest, ModalRunResults) {
  // EndDialog's value comes back; Return clicks the default button.
  EXPECT_EQ(Run([](HWND d) { DialogUserReturn(d); }), 100);
  // The close box is Cancel.
  EXPECT_EQ(Run([](HWND d) { DialogUserCancel(d); }), 200);
  // A script that leaves the dialog open cancels it.
  EXPECT_EQ(Run([](HWND) {}), 200);
  // A procedure that will not end keeps nobody waiting.
  g_endOnCommand = false;
  EXPECT_EQ(Run([](HWND) {}), -1);
  // WM_INITDIALOG comes first, once.
  g_endOnCommand = true;
  g_seen.clear();
  Run([](HWND d) { EndDialog(d, 7); });
  ASSERT_FALSE(g_seen.empty());
  EXPECT_EQ(g_seen.front().message, WM_INITDIALOG);
  EXPECT_EQ(EndDialog(nullptr, 1), FALSE);
}

TEST_F(DialogRuntimeTest, WithoutADisplayTheDialogCannotBeShown) {
  const char* display = std::getenv("DISPLAY");
  std::string saved = display ? display : "";
  unsetenv("DISPLAY");
  unsetenv("WAYLAND_DISPLAY");
  SetDialogScriptForTesting(nullptr);
  DialogTemplate t = TestTemplate();
  EXPECT_EQ(DialogBoxIndirectParamA(nullptr, &t, nullptr, RecordingProc, 0), -1);
  EXPECT_TRUE(g_seen.empty());
  if (display) setenv("DISPLAY", saved.c_str(), 1);
}

TEST_F(DialogRuntimeTest, OpenDialogIsFoundByItsCaptionUntilItCloses) {
  char dir[] = "/tmp/hoardel-dialog-XXXXXX";
  ASSERT_NE(mkdtemp(dir), nullptr);
  setenv("XDG_RUNTIME_DIR", dir, 1);
  bool foundWhileOpen = false, foundRenamed = false;
  Run([&](HWND d) {
    foundWhileOpen = FindWindowA(nullptr, "Runtime test dialog") != nullptr;
    SetWindowTextA(d, "Renamed dialog");
    SendMessageA(d, WM_NULL, 0, 0);  // the caption is published after each call of the procedure
    foundRenamed = FindWindowA("#32770", "Renamed dialog") != nullptr;
    DialogUserCancel(d);
  });
  EXPECT_TRUE(foundWhileOpen);
  EXPECT_TRUE(foundRenamed);
  EXPECT_EQ(FindWindowA(nullptr, "Renamed dialog"), nullptr);
  EXPECT_EQ(FindWindowA(nullptr, "Runtime test dialog"), nullptr);
  std::filesystem::remove_all(dir);
}

TEST(ShellExecute, StartsTheOpenerWithTheTextAsOneArgument) {
  char dir[] = "/tmp/hoardel-shell-XXXXXX";
  ASSERT_NE(mkdtemp(dir), nullptr);
  std::string root = dir;
  std::string out = root + "/args";
  {
    std::ofstream f(root + "/xdg-open");
    f << "#!/bin/sh\nprintf '%s|%s' \"$#\" \"$1\" > '" << out << "'\n";
  }
  std::filesystem::permissions(root + "/xdg-open", std::filesystem::perms::owner_all);
  std::string path = std::getenv("PATH") ? std::getenv("PATH") : "";
  setenv("PATH", root.c_str(), 1);
  const char* tricky = "https://example.org/a b;touch x|y$(z)";
  auto started = reinterpret_cast<std::uintptr_t>(ShellExecuteA(nullptr, "open", tricky, nullptr, nullptr, SW_SHOWNORMAL));
  std::string args;
  for (int i = 0; i < 100 && args.empty(); ++i) {
    std::ifstream f(out);
    std::getline(f, args);
    if (args.empty()) usleep(20000);
  }
  EXPECT_GT(started, 32u);
  EXPECT_EQ(args, std::string("1|") + tricky);
  EXPECT_FALSE(std::filesystem::exists(root + "/x"));
  // Without an opener nothing starts, and the caller hears of it.
  std::filesystem::remove(root + "/xdg-open");
  started = reinterpret_cast<std::uintptr_t>(ShellExecuteA(nullptr, "open", "https://example.org/", nullptr, nullptr, 1));
  EXPECT_LE(started, 32u);
  setenv("PATH", path.c_str(), 1);
  std::filesystem::remove_all(root);
}

}  // namespace
