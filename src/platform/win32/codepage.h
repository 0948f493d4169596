// Text encodings. The program's own texts (dialog texts, message boxes, log lines) are
// 8-bit Windows-1251 as the program was designed; the Linux desktop wants UTF-8.
#pragma once

#include <string>
#include <string_view>

namespace win32 {

// Every byte converted from Windows-1251 to UTF-8. The one byte the code page leaves
// undefined (0x98) becomes U+FFFD.
std::string Cp1251ToUtf8(std::string_view text);

// True when the bytes are well-formed UTF-8 (no overlong forms, no surrogates).
bool IsValidUtf8(std::string_view text);

// Text handed to an "A" function: kept as it is when it is already valid UTF-8 (plain
// ASCII, or a file name from the Linux side), otherwise read as Windows-1251.
std::string AnsiToUtf8(std::string_view text);

}  // namespace win32
