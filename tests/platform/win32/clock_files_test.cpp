#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <set>
#include <string>

#include "platform/win32/clock.h"
#include "platform/win32/files.h"

using namespace win32;

TEST(Clock, ManualClockDrivesBothTimers) {
  EnableManualClock(100.0);
  LARGE_INTEGER f{}, a{}, b{};
  ASSERT_TRUE(QueryPerformanceFrequency(&f));
  QueryPerformanceCounter(&a);
  DWORD t0 = timeGetTime();
  AdvanceManualClock(0.025);
  QueryPerformanceCounter(&b);
  EXPECT_EQ(timeGetTime() - t0, 25u);
  EXPECT_NEAR(static_cast<double>(b.QuadPart - a.QuadPart) / f.QuadPart, 0.025, 1e-9);
  Sleep(5000);  // returns at once on the manual clock
  EXPECT_EQ(timeGetTime() - t0, 25u);
  DisableManualClock();
  LARGE_INTEGER c{}, d{};
  QueryPerformanceCounter(&c);
  Sleep(2);
  QueryPerformanceCounter(&d);
  EXPECT_GT(d.QuadPart, c.QuadPart);
}

TEST(Clock, FixedLocalTime) {
  SetFixedLocalTime(13, 0, 9);
  SYSTEMTIME t{};
  GetLocalTime(&t);
  EXPECT_EQ(t.wHour, 13);
  EXPECT_EQ(t.wMinute, 0);
  EXPECT_EQ(t.wSecond, 9);
  ClearFixedLocalTime();
  GetLocalTime(&t);
  EXPECT_GE(t.wYear, 2020);
}

TEST(Files, TempFilesAreUniquePrivateAndExclusive) {
  char dir[MAX_PATH];
  DWORD n = GetTempPathA(MAX_PATH, dir);
  ASSERT_GT(n, 0u);
  EXPECT_EQ(dir[n - 1], '/');
  std::set<std::string> names;
  for (int i = 0; i < 20; ++i) {
    char name[MAX_PATH];
    UINT u = GetTempFileNameA(dir, "bass", 0, name);
    ASSERT_NE(u, 0u);
    std::string s = name;
    EXPECT_EQ(s.substr(n, 3), "bas");
    EXPECT_TRUE(names.insert(s).second);
    struct stat st{};
    ASSERT_EQ(stat(name, &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    EXPECT_EQ(st.st_size, 0);
  }
  for (const auto& s : names) EXPECT_TRUE(DeleteFileA(s.c_str()));
  EXPECT_FALSE(DeleteFileA(names.begin()->c_str()));
  // A too-small buffer reports the size it needs.
  char tiny[2];
  EXPECT_GT(GetTempPathA(sizeof tiny, tiny), sizeof tiny);
}

TEST(Files, LibraryLookupByName) {
  HMODULE libm = LoadLibraryA("libm.so.6");
  ASSERT_NE(libm, nullptr);
  auto cosine = reinterpret_cast<double (*)(double)>(GetProcAddress(libm, "cos"));
  ASSERT_NE(cosine, nullptr);
  EXPECT_DOUBLE_EQ(cosine(0.0), 1.0);
  EXPECT_EQ(GetProcAddress(libm, "no_such_function_here"), nullptr);
  EXPECT_TRUE(FreeLibrary(libm));
  EXPECT_EQ(LoadLibraryA("/nonexistent/libnothing.so"), nullptr);
}
