// The saver's exit rules: the messages that end it, the end request with its password
// check, and the Windows 9x password set-up.
#include "host/screensaver_app.h"

#include "platform/win32/clock.h"
#include "platform/win32/files.h"
#include "platform/win32/gdi.h"
#include "platform/win32/messages.h"
#include "platform/win32/registry.h"

using namespace d3d8;
using namespace win32;

namespace {

// This platform reports itself as a system of the NT family, so the Windows 9x password
// path stays inert unless a test switches it on.
bool PlatformIsWindows9x() { return false; }

}  // namespace

LRESULT ScreenSaverApp::WindowProc(HWND window, UINT message, WPARAM w, LPARAM l) {
  switch (message) {
    case WM_CREATE:
      if (mode_ == RunMode::Preview && !previewBitmap_)
        previewBitmap_ = LoadBitmapA(instance_, MAKEINTRESOURCEA(kPreviewBitmapResource));
      break;
    case WM_DESTROY:
    case WM_CLOSE:
      quit_ = true;
      return 1;
    case WM_PAINT:
      if (mode_ == RunMode::Preview) {
        PAINTSTRUCT ps{};
        HDC dc = BeginPaint(window, &ps);
        if (previewBitmap_ && dc) {
          BITMAP info{};
          GetObjectA(previewBitmap_, sizeof info, &info);
          HDC mem = CreateCompatibleDC(dc);
          HGDIOBJ old = SelectObject(mem, previewBitmap_);
          BitBlt(dc, 0, 0, info.bmWidth, info.bmHeight, mem, 0, 0, SRCCOPY);
          SelectObject(mem, old);
          DeleteDC(mem);
        }
        EndPaint(window, &ps);
        return 0;
      }
      break;
    case WM_ACTIVATEAPP:
      if (w == 0 && mode_ != RunMode::Test) return EndRequest();
      break;
    case WM_SETCURSOR:
      if (mode_ == RunMode::Saver) return 1;
      break;
    case WM_KEYDOWN:
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN:
    case WM_MBUTTONDOWN:
      if (mode_ != RunMode::Test) return EndRequest();
      break;
    case WM_MOUSEMOVE:
      if (mode_ != RunMode::Preview && settings.current.ExitOnMouseMove != 0) {
        --mouseMoves_;
        if (mouseMoves_ < 0) return EndRequest();
      }
      break;
    case WM_SYSCOMMAND:
      if (mode_ == RunMode::Saver &&
          (w == SC_CLOSE || w == SC_NEXTWINDOW || w == SC_PREVWINDOW || w == SC_SCREENSAVE))
        return EndRequest();
      break;
    case WM_POWERBROADCAST:
      if (w == PBT_APMSUSPEND && !verifyPassword_) return EndRequest();
      break;
    case WM_TIMER:
      if (w == kPreviewPumpTimer) {
        previewPump_ = false;
        KillTimer(window, kPreviewPumpTimer);
      } else if (w == kFrameRateTimer) {
        overlays.Tick();
      }
      break;
    case WM_USER:
      SetTimer(window, kPreviewPumpTimer, 500, nullptr);
      break;
    default:
      break;
  }
  return DefaultWindowProc(window, message, w, l);
}

int ScreenSaverApp::EndRequest() {
  if (mode_ != RunMode::Saver && mode_ != RunMode::Test) return 0;
  if (win9x_ && mode_ == RunMode::Saver && verifyPassword_) {
    if (frameParity_ == 0 && device_) device_->Present(nullptr, nullptr, nullptr, nullptr);
    if (!verifyPassword_(mainWindow_)) {
      SetCursor(nullptr);
      mouseMoves_ = 0;
      frameParity_ = 1;
      prevTime_ = static_cast<float>(timeGetTime());
      return 0;
    }
  }
  Teardown();
  return 1;
}

void ScreenSaverApp::SetUpPassword() {
  win9x_ = win9x_ || PlatformIsWindows9x();
  if (!win9x_ || mode_ != RunMode::Saver || verifyPassword_) return;
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_CURRENT_USER, "Control Panel\\Desktop", 0, KEY_READ, &key) != ERROR_SUCCESS) return;
  DWORD value = 0, size = sizeof value, type = 0;
  if (RegQueryValueExA(key, "ScreenSaveUsePassword", nullptr, &type, reinterpret_cast<BYTE*>(&value), &size) ==
          ERROR_SUCCESS &&
      size == 4 && value != 0) {
    passwordLibrary_ = LoadLibraryA("PASSWORD.CPL");
    if (passwordLibrary_)
      verifyPassword_ =
          reinterpret_cast<VerifyPasswordFunction>(GetProcAddress(passwordLibrary_, "VerifyScreenSavePwd"));
  }
  RegCloseKey(key);
}
