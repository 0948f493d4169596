// The dialog templates of the configuration and About dialogs, as data. Their texts are
// filled from the text table when the dialogs open.
#pragma once

#include "platform/win32/dialog.h"

constexpr unsigned kConfigDialogTemplateId = 2003;
constexpr unsigned kAboutDialogTemplateId = 235;
constexpr unsigned kConfigPictureBitmap = 434;
constexpr unsigned kAboutPictureBitmap = 437;

// The template of that id (2003 or 235), nullptr for any other.
const win32::DialogTemplate* FindDialogTemplate(unsigned id);
