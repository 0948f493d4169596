#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <string>

#include "platform/win32/registry.h"
#include "platform/win32/registry_store.h"
#include "registry_test_util.h"

using namespace win32;

namespace {

constexpr const char* kKey = "Software\\Quillon\\Hoardel 3D Screensaver";

LSTATUS SetDword(HKEY key, const char* name, DWORD v) {
  return RegSetValueExA(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&v), 4);
}

// The DWORD stored under name, or -1 when the query fails.
long long GetDword(HKEY key, const char* name) {
  DWORD v = 0, type = 0, size = 4;
  if (RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(&v), &size) != ERROR_SUCCESS) return -1;
  return type == REG_DWORD && size == 4 ? static_cast<long long>(v) : -2;
}

HKEY Create(const char* path, REGSAM sam = KEY_ALL_ACCESS, DWORD* disposition = nullptr) {
  HKEY key = nullptr;
  EXPECT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, path, 0, nullptr, REG_OPTION_NON_VOLATILE, sam, nullptr, &key,
                            disposition),
            ERROR_SUCCESS);
  return key;
}

std::vector<std::string> DamagedCopies(const std::string& dir) {
  std::vector<std::string> out;
  for (auto& e : std::filesystem::directory_iterator(dir))
    if (e.path().filename().string().rfind("registry.damaged-", 0) == 0) out.push_back(e.path().string());
  return out;
}

}  // namespace

TEST(Registry, KeysAndTypedValuesPersistInThePrivateStore) {
  TempConfigHome home;
  EXPECT_EQ(RegistryStorePath(), home.store());
  HKEY key = nullptr;
  EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, kKey, 0, KEY_READ, &key), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(key, nullptr);

  DWORD how = 0;
  key = Create(kKey, KEY_ALL_ACCESS, &how);
  EXPECT_EQ(how, REG_CREATED_NEW_KEY);
  ASSERT_EQ(SetDword(key, "ShowFPS", 2), ERROR_SUCCESS);
  const char path[] = "/opt/\xE0\xE1\xE2 \"lib\"\\x";  // Windows-1251 bytes, quotes, backslash
  ASSERT_EQ(RegSetValueExA(key, "Path", 0, REG_SZ, reinterpret_cast<const BYTE*>(path), sizeof path), ERROR_SUCCESS);
  const BYTE blob[] = {0, 1, 0xFF, '\n'};
  ASSERT_EQ(RegSetValueExA(key, "Blob", 0, REG_BINARY, blob, sizeof blob), ERROR_SUCCESS);
  ASSERT_EQ(SetDword(key, "showfps", 1), ERROR_SUCCESS);  // same value, other case
  EXPECT_EQ(RegFlushKey(key), ERROR_SUCCESS);
  EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);

  // Parents exist implicitly; names compare without regard to case.
  HKEY software = nullptr, sub = nullptr;
  ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "SOFTWARE", 0, KEY_READ, &software), ERROR_SUCCESS);
  ASSERT_EQ(RegOpenKeyExA(software, "quillon\\HOARDEL 3D SCREENSAVER", 0, KEY_READ, &sub), ERROR_SUCCESS);
  EXPECT_EQ(GetDword(sub, "SHOWFPS"), 1);
  char text[64] = {};
  DWORD type = 0, size = sizeof text;
  ASSERT_EQ(RegQueryValueExA(sub, "Path", nullptr, &type, reinterpret_cast<BYTE*>(text), &size), ERROR_SUCCESS);
  EXPECT_EQ(type, REG_SZ);
  EXPECT_EQ(size, sizeof path);
  EXPECT_EQ(std::memcmp(text, path, sizeof path), 0);
  BYTE got[8] = {};
  size = sizeof got;
  ASSERT_EQ(RegQueryValueExA(sub, "Blob", nullptr, &type, got, &size), ERROR_SUCCESS);
  EXPECT_EQ(type, REG_BINARY);
  ASSERT_EQ(size, sizeof blob);
  EXPECT_EQ(std::memcmp(got, blob, sizeof blob), 0);
  RegCloseKey(sub);
  RegCloseKey(software);

  key = Create(kKey, KEY_READ, &how);
  EXPECT_EQ(how, REG_OPENED_EXISTING_KEY);
  RegCloseKey(key);

  struct stat st{};
  ASSERT_EQ(stat(home.store().c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  ASSERT_EQ(stat(home.dir().c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0700u);
  EXPECT_FALSE(std::filesystem::exists(home.store() + ".tmp"));
}

TEST(Registry, QueryFollowsTheWin32BufferRules) {
  TempConfigHome home;
  HKEY key = Create(kKey);
  const char s[] = "hello";
  ASSERT_EQ(RegSetValueExA(key, "S", 0, REG_SZ, reinterpret_cast<const BYTE*>(s), sizeof s), ERROR_SUCCESS);

  DWORD type = 0, size = 0;
  EXPECT_EQ(RegQueryValueExA(key, "S", nullptr, &type, nullptr, &size), ERROR_SUCCESS);
  EXPECT_EQ(size, 6u);
  char small[3] = {'x', 'x', 'x'};
  size = sizeof small;
  EXPECT_EQ(RegQueryValueExA(key, "S", nullptr, &type, reinterpret_cast<BYTE*>(small), &size), ERROR_MORE_DATA);
  EXPECT_EQ(size, 6u);
  EXPECT_EQ(small[0], 'x');
  EXPECT_EQ(RegQueryValueExA(key, "S", nullptr, nullptr, reinterpret_cast<BYTE*>(small), nullptr),
            ERROR_INVALID_PARAMETER);
  EXPECT_EQ(RegQueryValueExA(key, "Missing", nullptr, &type, nullptr, &size), ERROR_FILE_NOT_FOUND);

  EXPECT_EQ(RegDeleteValueA(key, "s"), ERROR_SUCCESS);
  EXPECT_EQ(RegQueryValueExA(key, "S", nullptr, nullptr, nullptr, nullptr), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(RegDeleteValueA(key, "S"), ERROR_FILE_NOT_FOUND);
  RegCloseKey(key);
}

TEST(Registry, RefusesBadHandlesAccessAndArguments) {
  TempConfigHome home;
  HKEY readOnly = Create(kKey, KEY_READ);
  EXPECT_EQ(SetDword(readOnly, "X", 1), ERROR_ACCESS_DENIED);
  HKEY writeOnly = Create(kKey, KEY_WRITE);
  EXPECT_EQ(GetDword(writeOnly, "X"), -1);
  EXPECT_EQ(RegSetValueExA(writeOnly, "X", 0, REG_DWORD, reinterpret_cast<const BYTE*>("abc"), 3),
            ERROR_INVALID_PARAMETER);
  EXPECT_EQ(RegSetValueExA(writeOnly, "X", 0, REG_BINARY, nullptr, 4), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(RegCloseKey(readOnly), ERROR_SUCCESS);
  EXPECT_EQ(RegCloseKey(readOnly), ERROR_INVALID_HANDLE);
  EXPECT_EQ(SetDword(readOnly, "X", 1), ERROR_INVALID_HANDLE);
  EXPECT_EQ(RegFlushKey(readOnly), ERROR_INVALID_HANDLE);
  RegCloseKey(writeOnly);

  HKEY key = nullptr;
  EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Microsoft\\DirectX", 0, KEY_READ, &key),
            ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, "Software", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
            ERROR_ACCESS_DENIED);
  EXPECT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, std::string(300, 'k').c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                            nullptr, &key, nullptr),
            ERROR_INVALID_PARAMETER);
}

TEST(Registry, StoreFolderFollowsXdgConfigHomeThenHome) {
  TempConfigHome home;
  const char* oldHome = std::getenv("HOME");
  std::string savedHome = oldHome ? oldHome : "";
  setenv("HOME", home.root().c_str(), 1);
  setenv("XDG_CONFIG_HOME", "relative/dir", 1);  // not absolute: ignored
  EXPECT_EQ(RegistryStorePath(), home.root() + "/.config/hoardel3d/registry");
  unsetenv("XDG_CONFIG_HOME");
  EXPECT_EQ(RegistryStorePath(), home.root() + "/.config/hoardel3d/registry");
  HKEY key = Create("Control Panel\\Desktop");
  EXPECT_EQ(SetDword(key, "ScreenSaveUsePassword", 0), ERROR_SUCCESS);
  RegCloseKey(key);
  EXPECT_TRUE(std::filesystem::exists(home.root() + "/.config/hoardel3d/registry"));
  if (oldHome) setenv("HOME", savedHome.c_str(), 1);
}

TEST(Registry, StoreWithNothingReadableReadsEmptyAndIsMovedAside) {
  TempConfigHome home;
  HKEY key = Create(kKey);
  ASSERT_EQ(SetDword(key, "Width", 1024), ERROR_SUCCESS);
  const std::string good = TempConfigHome::ReadFile(home.store());
  const std::size_t keyLineEnd = good.find(']') + 1;

  std::vector<std::string> bad = {"", "\x7f" "ELF\x01\x01", std::string(100, '\0'),
                                  "HOARDEL3D REGISTRY 1\njunk\n"};
  for (std::size_t cut = 0; cut < keyLineEnd; cut += 5) bad.push_back(good.substr(0, cut));
  for (const std::string& text : bad) {
    if (text == "HOARDEL3D REGISTRY 1\n" || text == "HOARDEL3D REGISTRY 1") continue;  // empty, not damaged
    for (const auto& old : DamagedCopies(home.dir())) std::filesystem::remove(old);
    TempConfigHome::WriteFile(home.store(), text);
    testing::internal::CaptureStderr();
    EXPECT_EQ(GetDword(key, "Width"), -1) << "store of " << text.size() << " bytes";
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("damaged"), std::string::npos);
    auto aside = DamagedCopies(home.dir());
    ASSERT_EQ(aside.size(), 1u);
    EXPECT_EQ(TempConfigHome::ReadFile(aside[0]), text);  // kept as it was
    EXPECT_FALSE(std::filesystem::exists(home.store()));
  }

  // Writing after damage starts a fresh, valid store through the still-open handle.
  TempConfigHome::WriteFile(home.store(), "garbage");
  testing::internal::CaptureStderr();
  EXPECT_EQ(SetDword(key, "Height", 640), ERROR_SUCCESS);
  testing::internal::GetCapturedStderr();
  EXPECT_EQ(GetDword(key, "Height"), 640);
  EXPECT_EQ(GetDword(key, "Width"), -1);
  EXPECT_TRUE(regstore::Parse(TempConfigHome::ReadFile(home.store())).has_value());
  RegCloseKey(key);
}

// An edited or cut file keeps every line that parses; the others are named, nothing is moved.
TEST(Registry, PartlyReadableStoreKeepsEveryLineThatParses) {
  TempConfigHome home;
  HKEY key = Create(kKey);
  ASSERT_EQ(SetDword(key, "Width", 1024), ERROR_SUCCESS);
  ASSERT_EQ(SetDword(key, "Height", 768), ERROR_SUCCESS);
  const std::string good = TempConfigHome::ReadFile(home.store());
  auto readBoth = [&](const std::string& text, long long width, long long height, const char* says) {
    TempConfigHome::WriteFile(home.store(), text);
    testing::internal::CaptureStderr();
    EXPECT_EQ(GetDword(key, "Width"), width) << text;
    EXPECT_EQ(GetDword(key, "Height"), height) << text;
    const std::string err = testing::internal::GetCapturedStderr();
    if (says)
      EXPECT_NE(err.find(says), std::string::npos) << err;
    else
      EXPECT_EQ(err, "");
    EXPECT_TRUE(DamagedCopies(home.dir()).empty()) << text;
    EXPECT_EQ(TempConfigHome::ReadFile(home.store()), text);  // reading leaves it alone
  };
  std::string crlf;
  for (char c : good) crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
  readBoth(crlf, 1024, 768, nullptr);
  readBoth(good.substr(0, good.size() - 1), 1024, 768, nullptr);  // no final newline
  readBoth(good + "junk\n", 1024, 768, "line 6: junk");
  std::string stray = good;
  stray.replace(stray.find("00000400"), 8, "0000040x");
  readBoth(stray, -1, 768, "line 3: \"Width\"=dword:0000040x");

  // Cut anywhere after the key: every whole line before the cut counts.
  const std::size_t widthEnd = good.find("00000400") + 8, heightEnd = good.find("00000300") + 8;
  for (std::size_t cut = good.find(']') + 1; cut < good.size() - 4; ++cut)
    readBoth(good.substr(0, cut), cut >= widthEnd ? 1024 : -1, cut >= heightEnd ? 768 : -1, "ends early");

  // The next write keeps what was read and drops only what could not be.
  testing::internal::CaptureStderr();
  TempConfigHome::WriteFile(home.store(), stray);
  EXPECT_EQ(SetDword(key, "Depth", 32), ERROR_SUCCESS);
  testing::internal::GetCapturedStderr();
  auto back = regstore::Parse(TempConfigHome::ReadFile(home.store()));
  ASSERT_TRUE(back.has_value());
  EXPECT_EQ(GetDword(key, "Height"), 768);
  EXPECT_EQ(GetDword(key, "Depth"), 32);
  EXPECT_EQ(GetDword(key, "Width"), -1);
  RegCloseKey(key);
}

TEST(Registry, ConcurrentWritersLoseNothing) {
  TempConfigHome home;
  HKEY key = Create(kKey);
  ASSERT_EQ(SetDword(key, "Anchor", 7), ERROR_SUCCESS);
  constexpr int kWriters = 4, kValues = 20;
  std::vector<pid_t> children;
  for (int w = 0; w < kWriters; ++w) {
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      int failures = 0;
      for (int i = 0; i < kValues; ++i) {
        std::string name = "W" + std::to_string(w) + "_" + std::to_string(i);
        failures += SetDword(key, name.c_str(), static_cast<DWORD>(w * 1000 + i)) != ERROR_SUCCESS;
        failures += SetDword(key, "Shared", static_cast<DWORD>(w)) != ERROR_SUCCESS;
      }
      _exit(failures ? 1 : 0);
    }
    children.push_back(pid);
  }
  // A reader alongside never sees a partial store.
  pid_t reader = fork();
  ASSERT_GE(reader, 0);
  if (reader == 0) {
    for (int i = 0; i < 300; ++i)
      if (GetDword(key, "Anchor") != 7) _exit(1);
    _exit(0);
  }
  children.push_back(reader);
  for (pid_t pid : children) {
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "child " << pid;
  }
  for (int w = 0; w < kWriters; ++w)
    for (int i = 0; i < kValues; ++i) {
      std::string name = "W" + std::to_string(w) + "_" + std::to_string(i);
      EXPECT_EQ(GetDword(key, name.c_str()), w * 1000 + i) << name;
    }
  EXPECT_GE(GetDword(key, "Shared"), 0);
  EXPECT_LT(GetDword(key, "Shared"), kWriters);
  EXPECT_TRUE(DamagedCopies(home.dir()).empty());
  RegCloseKey(key);
}

TEST(Registry, HeldLockFailsWritesAfterTheTimeoutButNotReads) {
  TempConfigHome home;
  HKEY key = Create(kKey);
  ASSERT_EQ(SetDword(key, "A", 1), ERROR_SUCCESS);
  int fd = open((home.dir() + "/registry.lock").c_str(), O_RDWR);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(flock(fd, LOCK_EX), 0);  // another holder (a separate open file)
  SetRegistryLockTimeout(150);
  auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(SetDword(key, "A", 2), ERROR_LOCK_FAILED);
  auto waited = std::chrono::steady_clock::now() - start;
  EXPECT_GE(waited, std::chrono::milliseconds(140));
  EXPECT_LT(waited, std::chrono::seconds(2));
  EXPECT_EQ(GetDword(key, "A"), 1);
  close(fd);
  EXPECT_EQ(SetDword(key, "A", 2), ERROR_SUCCESS);
  EXPECT_EQ(GetDword(key, "A"), 2);
  SetRegistryLockTimeout(3000);
  RegCloseKey(key);
}
