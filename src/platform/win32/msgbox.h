// Message boxes: MessageBoxA with the Win32 flags and answers. A GTK dialog when a display
// is present; with no display, or HOARDEL_MESSAGEBOX=stderr, the caption and text go to
// stderr and the call returns at once with the default button, so nothing ever blocks in CI.
// Texts are 8-bit Windows-1251 (or already UTF-8) and are shown as UTF-8.
#pragma once

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "platform/win32/win32_types.h"

namespace win32 {

// Buttons (low nibble).
constexpr UINT MB_OK = 0x0;
constexpr UINT MB_OKCANCEL = 0x1;
constexpr UINT MB_ABORTRETRYIGNORE = 0x2;
constexpr UINT MB_YESNOCANCEL = 0x3;
constexpr UINT MB_YESNO = 0x4;
constexpr UINT MB_RETRYCANCEL = 0x5;
constexpr UINT MB_CANCELTRYCONTINUE = 0x6;
constexpr UINT MB_TYPEMASK = 0xF;
// Icons.
constexpr UINT MB_ICONHAND = 0x10;
constexpr UINT MB_ICONERROR = 0x10;
constexpr UINT MB_ICONSTOP = 0x10;
constexpr UINT MB_ICONQUESTION = 0x20;
constexpr UINT MB_ICONEXCLAMATION = 0x30;
constexpr UINT MB_ICONWARNING = 0x30;
constexpr UINT MB_ICONASTERISK = 0x40;
constexpr UINT MB_ICONINFORMATION = 0x40;
constexpr UINT MB_ICONMASK = 0xF0;
// Default button.
constexpr UINT MB_DEFBUTTON1 = 0x000;
constexpr UINT MB_DEFBUTTON2 = 0x100;
constexpr UINT MB_DEFBUTTON3 = 0x200;
constexpr UINT MB_DEFMASK = 0xF00;
// Modality and placement.
constexpr UINT MB_APPLMODAL = 0x0000;
constexpr UINT MB_SYSTEMMODAL = 0x1000;
constexpr UINT MB_TASKMODAL = 0x2000;
constexpr UINT MB_SETFOREGROUND = 0x10000;
constexpr UINT MB_TOPMOST = 0x40000;

// Answers.
constexpr int IDOK = 1;
constexpr int IDCANCEL = 2;
constexpr int IDABORT = 3;
constexpr int IDRETRY = 4;
constexpr int IDIGNORE = 5;
constexpr int IDYES = 6;
constexpr int IDNO = 7;
constexpr int IDTRYAGAIN = 10;
constexpr int IDCONTINUE = 11;

int MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type);

// The button ids a box of this type shows, in order, and the one that answers when the
// box is dismissed without a choice (the default button).
std::vector<int> MessageBoxButtons(UINT type);
int MessageBoxDefaultAnswer(UINT type);

// One message box as the program asked for it: texts exactly as passed (not converted).
struct MessageBoxCall {
  HWND owner = nullptr;
  std::string text;
  std::string caption;
  UINT type = 0;
};

// Test hook: while set, every MessageBoxA goes to the hook instead of the screen or
// stderr, and its result is the call's answer. An empty function removes the hook.
using MessageBoxHook = std::function<int(const MessageBoxCall&)>;
void SetMessageBoxHook(MessageBoxHook hook);

// Collects every message box shown during its lifetime and answers each with the
// default button. Restores "no hook" when destroyed.
class ScopedMessageBoxCapture {
 public:
  ScopedMessageBoxCapture() {
    SetMessageBoxHook([this](const MessageBoxCall& call) {
      calls_.push_back(call);
      return MessageBoxDefaultAnswer(call.type);
    });
  }
  ~ScopedMessageBoxCapture() { SetMessageBoxHook(nullptr); }
  ScopedMessageBoxCapture(const ScopedMessageBoxCapture&) = delete;
  ScopedMessageBoxCapture& operator=(const ScopedMessageBoxCapture&) = delete;

  const std::vector<MessageBoxCall>& calls() const { return calls_; }
  void clear() { calls_.clear(); }

 private:
  std::vector<MessageBoxCall> calls_;
};

}  // namespace win32
