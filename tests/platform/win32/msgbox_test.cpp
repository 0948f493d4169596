#include <gtest/gtest.h>
#include <iconv.h>
#include <stdlib.h>

#include <string>

#include "platform/win32/codepage.h"
#include "platform/win32/msgbox.h"

using namespace win32;

namespace {

// Restores the environment variables the message box looks at.
class EnvGuard {
 public:
  EnvGuard() {
    for (auto& [name, value, had] : saved_) {
      const char* v = std::getenv(name);
      had = v != nullptr;
      value = v ? v : "";
    }
  }
  ~EnvGuard() {
    for (auto& [name, value, had] : saved_) had ? setenv(name, value.c_str(), 1) : unsetenv(name);
  }

 private:
  struct Saved {
    const char* name;
    std::string value;
    bool had;
  };
  Saved saved_[3] = {{"HOARDEL_MESSAGEBOX", "", false}, {"DISPLAY", "", false}, {"WAYLAND_DISPLAY", "", false}};
};

std::string IconvFrom1251(const std::string& in) {
  iconv_t cd = iconv_open("UTF-8", "CP1251");
  if (cd == reinterpret_cast<iconv_t>(-1)) return "<no iconv>";
  std::string out(in.size() * 4 + 4, '\0');
  char* src = const_cast<char*>(in.data());
  char* dst = out.data();
  size_t inLeft = in.size(), outLeft = out.size();
  size_t r = iconv(cd, &src, &inLeft, &dst, &outLeft);
  iconv_close(cd);
  if (r == static_cast<size_t>(-1)) return "<invalid>";
  out.resize(out.size() - outLeft);
  return out;
}

}  // namespace

TEST(Codepage, Cp1251MatchesTheSystemConverterForEveryByte) {
  for (int b = 0; b < 256; ++b) {
    std::string one(1, static_cast<char>(b));
    if (b == 0x98) {
      EXPECT_EQ(Cp1251ToUtf8(one), "\xEF\xBF\xBD");  // unassigned in the code page
      continue;
    }
    EXPECT_EQ(Cp1251ToUtf8(one), IconvFrom1251(one)) << "byte " << b;
  }
  // The two messages of the defaults parser.
  EXPECT_EQ(Cp1251ToUtf8("\xCD\xE5 \xED\xE0\xE9\xE4\xE5\xED"), "Не найден");
}

TEST(Codepage, AnsiTextIsReadAsUtf8OnlyWhenItIsValidUtf8) {
  EXPECT_EQ(AnsiToUtf8("plain"), "plain");
  EXPECT_EQ(AnsiToUtf8("Сreate"), "Сreate");                // already UTF-8
  EXPECT_EQ(AnsiToUtf8("\xD1reate D3D complete"), "Сreate D3D complete");
  EXPECT_TRUE(IsValidUtf8("\xF0\x9F\x90\x89"));
  EXPECT_FALSE(IsValidUtf8("\xC0\x80"));          // overlong NUL
  EXPECT_FALSE(IsValidUtf8("\xED\xA0\x80"));      // surrogate
  EXPECT_FALSE(IsValidUtf8("\xE2\x82"));          // cut short
  EXPECT_FALSE(IsValidUtf8("\xF4\x90\x80\x80"));  // past U+10FFFF
}

TEST(MessageBox, HookSeesTheCallAsMadeAndAnswersIt) {
  MessageBoxCall seen;
  SetMessageBoxHook([&](const MessageBoxCall& call) {
    seen = call;
    return IDNO;
  });
  HWND owner = reinterpret_cast<HWND>(0x1234);
  EXPECT_EQ(MessageBoxA(owner, "Cant get Desktop DisplayMode.", "Error!", MB_YESNO | MB_ICONERROR), IDNO);
  SetMessageBoxHook(nullptr);
  EXPECT_EQ(seen.owner, owner);
  EXPECT_EQ(seen.text, "Cant get Desktop DisplayMode.");
  EXPECT_EQ(seen.caption, "Error!");
  EXPECT_EQ(seen.type, MB_YESNO | MB_ICONERROR);

  {
    ScopedMessageBoxCapture capture;
    EXPECT_EQ(MessageBoxA(nullptr, "a", "Warning!", MB_OK | MB_ICONWARNING), IDOK);
    EXPECT_EQ(MessageBoxA(nullptr, "b", nullptr, MB_YESNOCANCEL | MB_DEFBUTTON3), IDCANCEL);
    ASSERT_EQ(capture.calls().size(), 2u);
    EXPECT_EQ(capture.calls()[1].caption, "");
  }
  EnvGuard env;
  setenv("HOARDEL_MESSAGEBOX", "stderr", 1);
  testing::internal::CaptureStderr();
  MessageBoxA(nullptr, "after", "Capture", MB_OK);  // the capture is gone: back to stderr
  EXPECT_NE(testing::internal::GetCapturedStderr().find("after"), std::string::npos);
}

TEST(MessageBox, WithoutDisplayTextGoesToStderrAsUtf8AtOnce) {
  EnvGuard env;
  unsetenv("HOARDEL_MESSAGEBOX");
  unsetenv("DISPLAY");
  unsetenv("WAYLAND_DISPLAY");
  testing::internal::CaptureStderr();
  int answer = MessageBoxA(nullptr, "\xED\xE5\xEF\xF0\xE0\xE2\xE8\xEB\xFC\xED\xFB\xE9 \xF4\xEE\xF0\xEC\xE0\xF2",
                           "", MB_OK);
  std::string err = testing::internal::GetCapturedStderr();
  EXPECT_EQ(answer, IDOK);
  EXPECT_NE(err.find("неправильный формат"), std::string::npos) << err;

  // Forced to stderr even with a display named.
  setenv("DISPLAY", ":12345", 1);
  setenv("HOARDEL_MESSAGEBOX", "stderr", 1);
  testing::internal::CaptureStderr();
  answer = MessageBoxA(nullptr, "Could not find any compatible Direct3D\ndevices.", "Error!",
                       MB_RETRYCANCEL | MB_DEFBUTTON2 | MB_ICONERROR);
  err = testing::internal::GetCapturedStderr();
  EXPECT_EQ(answer, IDCANCEL);
  EXPECT_NE(err.find("Error!"), std::string::npos);
  EXPECT_NE(err.find("Direct3D\ndevices."), std::string::npos);
}
