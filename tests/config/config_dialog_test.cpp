// The configuration and About dialogs driven through the in-memory dialog backend, on an
// application object with a scripted Direct3D object and a private registry.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "../platform/win32/registry_test_util.h"
#include "config/config_dialog.h"
#include "config/config_dialog_templates.h"
#include "host/screensaver_app.h"
#include "platform/win32/msgbox.h"
#include "platform/win32/registry.h"
#include "support/fake_direct3d.h"

using namespace win32;
using namespace d3d8;

namespace {

// Records the calls of the derived-class operations the dialog makes.
class RecordingApp : public ScreenSaverApp {
 public:
  std::vector<std::string> calls;
  std::vector<UINT> dialogMessages;
  void ReadExtraSettings() override { calls.push_back("ReadExtraSettings"); }
  void WriteExtraSettings() override { calls.push_back("WriteExtraSettings"); }
  void SetExtraDefaults() override { calls.push_back("SetExtraDefaults"); }
  void InitDialogExtras(HWND) override { calls.push_back("InitDialogExtras"); }
  std::intptr_t OnDialogCommand(HWND, UINT message, WPARAM, LPARAM) override {
    dialogMessages.push_back(message);
    return 0;
  }
};

std::map<std::string, DWORD> StoredValues() {
  std::map<std::string, DWORD> out;
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_CURRENT_USER, kSettingsKeyPath, 0, KEY_READ, &key) != 0) return out;
  for (const char* name : {"ShowFPS", "DigClock_24H", "ShowTime", "ExitOnMouseMove", "SFX", "Music",
                           "UseDesktopSettings", "GmCntrl", "Height", "Width", "BitCount", "FSAA", "MusicVolume"}) {
    DWORD value = 0, type = 0, size = sizeof value;
    if (RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(&value), &size) == 0) out[name] = value;
  }
  RegCloseKey(key);
  return out;
}

void Store(const char* name, DWORD value) {
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, kSettingsKeyPath, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr), 0);
  RegSetValueExA(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value);
  RegCloseKey(key);
}

std::string Text(HWND dialog, int id) {
  char buffer[256];
  GetDlgItemTextA(dialog, id, buffer, sizeof buffer);
  return buffer;
}

LRESULT Msg(HWND dialog, int id, UINT message, WPARAM w = 0, LPARAM l = 0) {
  return SendDlgItemMessageA(dialog, id, message, w, l);
}

bool Enabled(HWND dialog, int id) { return IsWindowEnabled(GetDlgItem(dialog, id)) != FALSE; }

class ConfigDialogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    d3d.adapters = {{{1024, 768, 60, D3DFMT_R5G6B5},
                     {640, 480, 60, D3DFMT_X8R8G8B8},
                     {800, 600, 60, D3DFMT_X8R8G8B8},
                     {1024, 768, 60, D3DFMT_X8R8G8B8}}};
    app.texts.Load();
    app.hasSoundEffects = false;  // as the scene application has it
    ASSERT_EQ(app.devices.Enumerate(&d3d, nullptr), S_OK);
  }
  void TearDown() override { SetDialogScriptForTesting(nullptr); }

  // Runs the dialog with the script as the user.
  INT_PTR Run(std::function<void(HWND)> script) {
    SetDialogScriptForTesting([script](HWND dialog) {
      if (DialogTemplateOf(dialog)->id == kConfigDialogTemplateId) script(dialog);
    });
    return RunConfigurationDialog(app);
  }

  TempConfigHome home;
  testsupport::FakeDirect3D d3d;
  RecordingApp app;
};

TEST_F(ConfigDialogTest, OpeningWithNoStoredSettingsShowsTheDefaults) {
  INT_PTR result = Run([&](HWND d) {
    EXPECT_EQ(app.mainWindow(), d);
    char caption[128];
    GetWindowTextA(d, caption, sizeof caption);
    EXPECT_STREQ(caption, "Hoardel 3D Screensaver Configuration");
    EXPECT_EQ(DialogOwnerOf(d), nullptr);

    EXPECT_EQ(IsDlgButtonChecked(d, 1012), BST_CHECKED);  // desktop settings
    EXPECT_FALSE(Enabled(d, 1011));                       // so no mode list
    EXPECT_EQ(IsDlgButtonChecked(d, 1021), BST_CHECKED);  // music
    EXPECT_EQ(Msg(d, 1020, TBM_GETPOS), 70);
    EXPECT_EQ(Msg(d, 1020, TBM_GETRANGEMIN), 1);
    EXPECT_EQ(Msg(d, 1020, TBM_GETRANGEMAX), 100);
    EXPECT_EQ(Msg(d, 1020, TBM_GETPAGESIZE), 10);
    EXPECT_TRUE(Enabled(d, 1020));
    EXPECT_EQ(Msg(d, 1046, TBM_GETPOS), 100);
    EXPECT_EQ(Msg(d, 1046, TBM_GETRANGEMIN), 10);
    EXPECT_EQ(Msg(d, 1046, TBM_GETRANGEMAX), 200);
    EXPECT_EQ(Msg(d, 1046, TBM_GETPAGESIZE), 1);
    EXPECT_EQ(Text(d, 1106), "Gamma Control: 100%");
    EXPECT_EQ(ComboBoxItems(GetDlgItem(d, 1047)), (std::vector<std::string>{"None", "2 samples", "4 samples"}));
    EXPECT_EQ(Msg(d, 1047, CB_GETCURSEL), 0);
    EXPECT_EQ(ComboBoxItems(GetDlgItem(d, 1011)),
              (std::vector<std::string>{"640 x 480 32 bits", "800 x 600 32 bits", "1024 x 768 16 bits",
                                        "1024 x 768 32 bits"}));
    EXPECT_EQ(Msg(d, 1011, CB_GETCURSEL), 1);  // 800 x 600 x 32
    EXPECT_EQ(Msg(d, 1011, CB_GETITEMDATA, 3), 3);
    EXPECT_EQ(IsDlgButtonChecked(d, 1043), BST_CHECKED);  // clock on
    EXPECT_EQ(IsDlgButtonChecked(d, 1111), BST_CHECKED);  // 12-hour style
    EXPECT_EQ(IsDlgButtonChecked(d, 1110), BST_UNCHECKED);
    EXPECT_TRUE(Enabled(d, 1110));
    EXPECT_TRUE(Enabled(d, 1111));
    EXPECT_EQ(IsDlgButtonChecked(d, 1044), BST_UNCHECKED);  // no frame counter
    EXPECT_EQ(IsDlgButtonChecked(d, 1045), BST_UNCHECKED);  // mouse movement does not end it
    EXPECT_FALSE(IsWindowVisible(GetDlgItem(d, 1022)));     // no "Enable SFX"
    EXPECT_EQ(app.settings.current.SFX, 0);

    EXPECT_EQ(Text(d, 1062), "About...");
    EXPECT_EQ(Text(d, 1124), "Visit our official web-site for more great 3D screensavers");
    EXPECT_EQ(Text(d, 1), "OK");
    EXPECT_EQ(Text(d, 2), "Cancel");
    EXPECT_EQ(Text(d, 1063), "Restore Defaults");
    // The bottom row sits 44 pixels higher and the dialog is 44 pixels shorter (the
    // in-memory backend uses 6 x 13 base units: 240 units are 390 pixels, 220 are 358).
    RECT frame{};
    GetWindowRect(d, &frame);
    EXPECT_EQ(frame.bottom - frame.top, 390 - 44);
    EXPECT_EQ(ControlRect(GetDlgItem(d, 1)).top, 358 - 44);
    EXPECT_EQ(ControlRect(GetDlgItem(d, 1063)).top, 358 - 44);
    EXPECT_EQ(ControlRect(GetDlgItem(d, 1061)).top, 267);  // 164 units: not moved
    DialogUserCancel(d);
  });
  EXPECT_EQ(result, IDCANCEL);
  EXPECT_TRUE(StoredValues().empty());
  EXPECT_EQ(app.calls, (std::vector<std::string>{"SetExtraDefaults", "ReadExtraSettings", "InitDialogExtras"}));
  // Every message reaches the application after the dialog's own handling.
  EXPECT_NE(std::find(app.dialogMessages.begin(), app.dialogMessages.end(), WM_INITDIALOG), app.dialogMessages.end());
  EXPECT_NE(std::find(app.dialogMessages.begin(), app.dialogMessages.end(), WM_CLOSE), app.dialogMessages.end());
}

TEST_F(ConfigDialogTest, ClockStylesAndVolumeFollowTheirSwitches) {
  Run([&](HWND d) {
    EXPECT_TRUE(DialogUserClick(d, 1043));  // Show Time off
    EXPECT_EQ(app.settings.current.ShowTime, 0);
    EXPECT_EQ(IsDlgButtonChecked(d, 1043), BST_UNCHECKED);
    EXPECT_FALSE(Enabled(d, 1110));
    EXPECT_FALSE(Enabled(d, 1111));
    EXPECT_FALSE(DialogUserClick(d, 1110));  // a disabled button cannot be clicked
    EXPECT_EQ(app.settings.current.DigClock_24H, 0);
    DialogUserClick(d, 1043);
    EXPECT_TRUE(Enabled(d, 1110));
    EXPECT_TRUE(Enabled(d, 1111));
    DialogUserClick(d, 1110);
    EXPECT_EQ(app.settings.current.DigClock_24H, 1);
    EXPECT_EQ(IsDlgButtonChecked(d, 1110), BST_CHECKED);
    EXPECT_EQ(IsDlgButtonChecked(d, 1111), BST_UNCHECKED);

    DialogUserClick(d, 1021);  // music off
    EXPECT_EQ(app.settings.current.Music, 0);
    EXPECT_FALSE(Enabled(d, 1020));
    EXPECT_FALSE(Enabled(d, 1023));
    DialogUserClick(d, 1021);
    EXPECT_TRUE(Enabled(d, 1020));
    EXPECT_TRUE(Enabled(d, 1023));
    DialogUserCancel(d);
  });
  EXPECT_TRUE(StoredValues().empty());
}

// Arrow keys (line moves), Home/End (top, bottom), Page Up/Down, the wheel and a drag all
// reach the setting and the label, so OK stores what the slider shows.
TEST_F(ConfigDialogTest, EveryTrackBarMoveIsRead) {
  INT_PTR result = Run([&](HWND d) {
    auto gammaShown = [&] {
      EXPECT_EQ(app.settings.current.GmCntrl, Msg(d, 1046, TBM_GETPOS));
      EXPECT_EQ(Text(d, 1106), "Gamma Control: " + std::to_string(Msg(d, 1046, TBM_GETPOS)) + "%");
    };
    for (int i = 0; i < 20; ++i) DialogUserScroll(d, 1046, TB_LINEDOWN);
    EXPECT_EQ(Msg(d, 1046, TBM_GETPOS), 120);
    gammaShown();
    for (WORD code : {TB_TOP, TB_LINEUP, TB_BOTTOM, TB_PAGEUP, TB_LINEUP, TB_ENDTRACK}) {
      DialogUserScroll(d, 1046, code);
      gammaShown();
    }
    EXPECT_EQ(app.settings.current.GmCntrl, 198);

    auto volumeShown = [&] { EXPECT_EQ(app.settings.current.MusicVolume, Msg(d, 1020, TBM_GETPOS)); };
    for (WORD code : {TB_LINEDOWN, TB_LINEDOWN, TB_LINEUP, TB_TOP, TB_BOTTOM, TB_PAGEUP, TB_PAGEDOWN, TB_LINEUP}) {
      DialogUserScroll(d, 1020, code);
      volumeShown();
    }
    EXPECT_EQ(app.settings.current.MusicVolume, 99);
    DialogUserScroll(d, 1020, TB_THUMBPOSITION, 42);
    volumeShown();
    DialogUserDragThumb(d, 1046, 250);  // past the end: clamped to 200
    gammaShown();
    DialogUserClick(d, IDOK);
  });
  EXPECT_EQ(result, IDOK);
  auto stored = StoredValues();
  EXPECT_EQ(stored["GmCntrl"], 200u);
  EXPECT_EQ(stored["MusicVolume"], 42u);
}

// A store that cannot be written: the user is told where and why, and keeps the dialog with
// every choice, so OK can be pressed again once the cause is gone.
TEST_F(ConfigDialogTest, OkThatCannotSaveSaysWhyAndKeepsTheDialogOpen) {
  ScopedMessageBoxCapture boxes;
  INT_PTR result = Run([&](HWND d) {
    DialogUserClick(d, 1044);                         // frame counter on
    TempConfigHome::WriteFile(home.dir(), "a file");  // where the store's folder belongs
    DialogUserClick(d, IDOK);
    ASSERT_EQ(boxes.calls().size(), 1u);
    const MessageBoxCall& box = boxes.calls()[0];
    EXPECT_EQ(box.caption, "Error!");
    EXPECT_EQ(box.type & MB_ICONMASK, MB_ICONERROR);
    EXPECT_EQ(box.owner, d);
    EXPECT_NE(box.text.find(home.store()), std::string::npos) << box.text;
    EXPECT_NE(box.text.find(home.dir() + " is not a folder"), std::string::npos) << box.text;
    EXPECT_TRUE(IsWindow(d));
    EXPECT_EQ(IsDlgButtonChecked(d, 1044), BST_CHECKED);
    std::filesystem::remove(home.dir());
    DialogUserClick(d, IDOK);  // tries again
  });
  EXPECT_EQ(result, IDOK);
  EXPECT_EQ(boxes.calls().size(), 1u);
  EXPECT_EQ(StoredValues()["ShowFPS"], 2u);
  EXPECT_EQ(std::count(app.calls.begin(), app.calls.end(), "WriteExtraSettings"), 1);
}

TEST_F(ConfigDialogTest, OkStoresEveryValueWithBooleansAsOneOrTwo) {
  Run([&](HWND d) {
    DialogUserClick(d, 1044);  // frame counter on
    DialogUserClick(d, 1045);  // mouse-move exit on
    DialogUserClick(d, IDOK);
  });
  auto stored = StoredValues();
  EXPECT_EQ(stored.size(), 13u);
  for (const char* name : {"ShowFPS", "DigClock_24H", "ShowTime", "ExitOnMouseMove", "SFX", "Music", "UseDesktopSettings"}) {
    ASSERT_TRUE(stored.count(name)) << name;
    EXPECT_TRUE(stored[name] == 1 || stored[name] == 2) << name << " = " << stored[name];
  }
  EXPECT_EQ(stored["ShowFPS"], 2u);
  EXPECT_EQ(stored["ExitOnMouseMove"], 2u);
  EXPECT_EQ(stored["SFX"], 1u);
  EXPECT_EQ(stored["DigClock_24H"], 1u);
  EXPECT_EQ(stored["Width"], 800u);
  EXPECT_EQ(app.calls.back(), "WriteExtraSettings");
}

TEST_F(ConfigDialogTest, RestoreDefaultsThenCancelLeavesTheRegistryUntouched) {
  Store("ShowFPS", 2);
  Store("GmCntrl", 150);
  Store("Music", 1);
  INT_PTR result = Run([&](HWND d) {
    EXPECT_EQ(IsDlgButtonChecked(d, 1044), BST_CHECKED);  // read from the registry
    EXPECT_EQ(Msg(d, 1046, TBM_GETPOS), 150);
    EXPECT_FALSE(Enabled(d, 1020));  // music stored off
    int okTop = ControlRect(GetDlgItem(d, IDOK)).top;
    DialogUserClick(d, 1063);
    EXPECT_EQ(IsDlgButtonChecked(d, 1044), BST_UNCHECKED);
    EXPECT_EQ(Msg(d, 1046, TBM_GETPOS), 100);
    EXPECT_EQ(Text(d, 1106), "Gamma Control: 100%");
    EXPECT_TRUE(Enabled(d, 1020));
    SaverSettings expected = app.settings.defaults();
    expected.SFX = 0;  // no sound effects in this program
    EXPECT_EQ(app.settings.current, expected);
    EXPECT_EQ(ControlRect(GetDlgItem(d, IDOK)).top, okTop);  // the bottom row moves only once
    DialogUserClick(d, IDCANCEL);
  });
  EXPECT_EQ(result, IDCANCEL);
  auto stored = StoredValues();
  EXPECT_EQ(stored, (std::map<std::string, DWORD>{{"GmCntrl", 150}, {"Music", 1}, {"ShowFPS", 2}}));
}

TEST_F(ConfigDialogTest, ChosenModeAndAntialiasingAreStored) {
  Run([&](HWND d) {
    EXPECT_FALSE(DialogUserSelect(d, 1011, 2));  // disabled while desktop settings are on
    DialogUserClick(d, 1012);
    EXPECT_TRUE(Enabled(d, 1011));
    EXPECT_TRUE(DialogUserSelect(d, 1011, 2));  // 1024 x 768 16 bits
    EXPECT_EQ(app.settings.current.Width, 1024);
    EXPECT_EQ(app.settings.current.BitCount, 16);
    EXPECT_EQ(app.devices.selection().width, 1024u);
    EXPECT_EQ(app.devices.selection().backBufferFormat, D3DFMT_R5G6B5);
    EXPECT_TRUE(DialogUserSelect(d, 1047, 2));  // 4 samples
    EXPECT_EQ(app.settings.current.FSAA, 4);
    EXPECT_EQ(app.devices.selection().multisample, D3DMULTISAMPLE_TYPE(4));
    // A list with nothing selected answers 1 and changes nothing.
    Msg(d, 1047, CB_SETCURSEL, static_cast<WPARAM>(-1));
    EXPECT_EQ(SendMessageA(d, WM_COMMAND, MAKEWPARAM(1047, CBN_SELENDOK), 0), 1);
    EXPECT_EQ(app.settings.current.FSAA, 4);
    DialogUserClick(d, IDOK);
  });
  auto stored = StoredValues();
  EXPECT_EQ(stored["Width"], 1024u);
  EXPECT_EQ(stored["Height"], 768u);
  EXPECT_EQ(stored["BitCount"], 16u);
  EXPECT_EQ(stored["FSAA"], 4u);
  EXPECT_EQ(stored["UseDesktopSettings"], 1u);
}

TEST_F(ConfigDialogTest, StoredModeMissingFromTheAdapterFallsBackAndUnsupportedSamplesAreIgnored) {
  Store("Width", 1280);
  Store("Height", 1024);
  Store("FSAA", 8);
  Run([&](HWND d) {
    EXPECT_EQ(app.settings.current.Width, 640);  // the smallest mode
    EXPECT_EQ(app.settings.current.FSAA, 0);
    EXPECT_EQ(Msg(d, 1011, CB_GETCURSEL), 0);
    EXPECT_EQ(Msg(d, 1047, CB_GETCURSEL), 0);
    DialogUserCancel(d);
  });
}

TEST_F(ConfigDialogTest, AboutShowsTheTextTableAndReturnsToTheDialog) {
  std::vector<std::string> lines;
  std::string caption, ok;
  HWND owner = nullptr, config = nullptr;
  bool picture = false;
  SetDialogScriptForTesting([&](HWND d) {
    if (DialogTemplateOf(d)->id == kAboutDialogTemplateId) {
      char buffer[128];
      GetWindowTextA(d, buffer, sizeof buffer);
      caption = buffer;
      ok = Text(d, IDOK);
      for (int id = 1138; id <= 1144; ++id) lines.push_back(Text(d, id));
      owner = DialogOwnerOf(d);
      for (const DialogControl& c : DialogTemplateOf(d)->controls) picture |= c.bitmap == kAboutPictureBitmap;
      DialogUserReturn(d);
      return;
    }
    config = d;
    EXPECT_TRUE(DialogUserClick(d, 1062));
    INT_PTR r = 0;
    EXPECT_FALSE(DialogEnded(d, &r));
    DialogUserClick(d, IDCANCEL);
  });
  EXPECT_EQ(RunConfigurationDialog(app), IDCANCEL);
  EXPECT_EQ(caption, "About");
  EXPECT_EQ(ok, "OK");
  EXPECT_EQ(owner, config);
  EXPECT_TRUE(picture);
  ASSERT_EQ(lines.size(), 7u);
  for (std::size_t i = 0; i < 7; ++i) EXPECT_EQ(lines[i], app.texts.aboutLines()[i]);
  EXPECT_EQ(lines[0], "Hoardel 3D Screensaver");
  EXPECT_EQ(lines[4], "");
}

TEST_F(ConfigDialogTest, VisitOpensTheAddressOfTheDefaultsWithoutAShell) {
  std::string bin = home.root() + "/bin";
  std::filesystem::create_directories(bin);
  std::string out = home.root() + "/opened";
  {
    std::ofstream f(bin + "/xdg-open");
    f << "#!/bin/sh\nprintf '%s|%s\\n' \"$#\" \"$1\" > '" << out << "'\n";
  }
  std::filesystem::permissions(bin + "/xdg-open", std::filesystem::perms::owner_all);
  std::string oldPath = std::getenv("PATH") ? std::getenv("PATH") : "";
  setenv("PATH", (bin + ":" + oldPath).c_str(), 1);
  Run([&](HWND d) {
    DialogUserClick(d, 1061);
    DialogUserCancel(d);
  });
  setenv("PATH", oldPath.c_str(), 1);
  std::string opened;
  for (int i = 0; i < 100 && opened.empty(); ++i) {
    opened = TempConfigHome::ReadFile(out);
    if (opened.empty()) usleep(20000);
  }
  EXPECT_EQ(opened, "1|" + app.settings.defaultTable().Lookup("main_web_site_url") + "\n");
  EXPECT_NE(app.settings.defaultTable().Lookup("main_web_site_url"), "");
}

}  // namespace
