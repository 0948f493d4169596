// The configuration dialog, shown modally in the configuration mode on the application
// object (no device, no scene): it edits the current settings and stores them on OK.
#pragma once

#include <cstdint>

#include "platform/win32/dialog.h"

class SettingsStore;
class TextTable;

// The dialog's two device lists, which the application fills from its device table.
constexpr int kModeList = 1011;
constexpr int kAntialiasingList = 1047;

// What the dialog needs of the application that shows it. The application object implements
// it, so the dialog knows nothing of the application's other parts.
class ConfigDialogHost {
 public:
  // The settings being edited, with their defaults; the texts of the controls.
  virtual SettingsStore& DialogSettings() = 0;
  virtual const TextTable& DialogTexts() const = 0;
  // Whether the sound-effects box is offered.
  virtual bool DialogOffersSoundEffects() const = 0;
  // The window that owns the dialog (none in the configuration mode); the dialog, once open,
  // becomes the application's main window.
  virtual win32::HWND DialogOwner() const = 0;
  virtual void SetDialogWindow(win32::HWND dialog) = 0;
  // One line of the progress log; the log ends when the dialog closes.
  virtual void DialogLog(const char* line) = 0;
  virtual void CloseDialogLog() = 0;

  // The device list: selects the mode closest to the settings, takes the selection back into
  // them and fills both lists.
  virtual void FillDeviceLists(win32::HWND dialog) = 0;
  // A final choice in one of the two lists; false when nothing is selected.
  virtual bool OnDeviceListChoice(win32::HWND dialog, int list) = 0;

  // The scene's own settings and controls.
  virtual void SetExtraDefaults() = 0;
  virtual void ReadExtraSettings() = 0;
  virtual void WriteExtraSettings() = 0;
  virtual void InitDialogExtras(win32::HWND dialog) = 0;
  virtual std::intptr_t OnDialogCommand(win32::HWND dialog, win32::UINT message, win32::WPARAM w,
                                        win32::LPARAM l) = 0;

 protected:
  ~ConfigDialogHost() = default;
};

// Shows the dialog (template 2003) owned by the host's window. Returns 1 after OK, 2 after
// Cancel, -1 when it cannot be shown.
win32::INT_PTR RunConfigurationDialog(ConfigDialogHost& host);

// The dialog procedure, on the host of the dialog RunConfigurationDialog shows.
win32::INT_PTR ConfigDialogProc(win32::HWND dialog, win32::UINT message, win32::WPARAM w, win32::LPARAM l);
