// The Win32 scalar types the host speaks, in the global namespace of the host's code.
#pragma once

#include "platform/win32/win32_types.h"

using win32::BOOL;
using win32::BYTE;
using win32::DWORD;
using win32::HRESULT;
using win32::UINT;
