// The configuration dialog, shown modally in the configuration mode on the application
// object (no device, no scene): it edits the current settings and stores them on OK.
#pragma once

#include "platform/win32/dialog.h"

class ScreenSaverApp;
class DeviceTable;
class TextTable;

// Shows the dialog (template 2003) owned by the application's main window (none in the
// configuration mode). Returns 1 after OK, 2 after Cancel, -1 when it cannot be shown.
win32::INT_PTR RunConfigurationDialog(ScreenSaverApp& app);

// The dialog procedure; reaches the application object through TheApp().
win32::INT_PTR ConfigDialogProc(win32::HWND dialog, win32::UINT message, win32::WPARAM w, win32::LPARAM l);

// Fills the antialiasing list (1047) and the video-mode list (1011) of the dialog from the
// current adapter of the table, selecting its current choice.
void FillDialogLists(DeviceTable& devices, const TextTable& texts, win32::HWND dialog);
