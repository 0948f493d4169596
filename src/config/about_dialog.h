// The About dialog (template 235): caption, seven lines of text and the OK button from the
// text table, and a picture.
#pragma once

#include "platform/win32/dialog.h"

class TextTable;

// Shows it modally, owned by owner; returns the id of the button that ended it.
win32::INT_PTR ShowAboutDialog(const TextTable& texts, win32::HWND owner);
