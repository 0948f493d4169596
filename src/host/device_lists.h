// The configuration dialog's two device lists (video modes, antialiasing), filled from the
// device table and read back into it and into the settings.
#pragma once

#include "config/settings.h"
#include "host/device_table.h"
#include "platform/win32/dialog.h"

class TextTable;

// Fills the antialiasing list and the video-mode list of the dialog from the current adapter
// of the table, selecting its current choice.
void FillDeviceLists(DeviceTable& devices, const TextTable& texts, win32::HWND dialog);
// Selects the mode closest to the settings, takes the selection back into them and fills
// the two lists.
void SelectAndFillDeviceLists(DeviceTable& devices, SaverSettings& s, const TextTable& texts, win32::HWND dialog);
// A final selection in one of the lists; false when nothing is selected.
bool ChooseFromDeviceList(DeviceTable& devices, SaverSettings& s, win32::HWND dialog, int id);
