// Registry stand-in: HKEY_CURRENT_USER lives in one file, $XDG_CONFIG_HOME/hoardel3d/registry
// (~/.config when the variable is unset or not absolute). Values are typed (REG_DWORD,
// REG_SZ, any other type as raw bytes); key and value names compare without regard to case.
//
// Every change is committed at once: under an exclusive lock on "registry.lock" the store is
// read again, the change merged in, and the whole file written to a temporary file, synced
// and renamed over the old one. So two processes writing at once both keep their values, and
// readers (which take no lock) always see a complete store. RegSetKeyValuesA and
// RegQueryKeyValuesA set or read a whole group of values in one such step.
// A store with lines that do not parse is used as far as it goes, the other lines named on
// stderr; one from which nothing can be read is moved aside ("registry.damaged-<time>-<pid>")
// with a warning and reads as empty. Anything but a plain file in the store's place (a folder,
// a named pipe) is refused with a warning, without blocking. A lock that cannot be had within
// the lock timeout fails the write; nothing blocks longer.
// Other roots than HKEY_CURRENT_USER hold no keys.
#pragma once

#include <string>
#include <vector>

#include "platform/win32/win32_types.h"

namespace win32 {

struct RegistryKeyObject;
using HKEY = RegistryKeyObject*;
using PHKEY = HKEY*;
using REGSAM = DWORD;
using LSTATUS = LONG;
using LPDWORD = DWORD*;
using LPBYTE = BYTE*;
struct SECURITY_ATTRIBUTES;

inline HKEY PredefinedKey(std::uint32_t v) {
  return reinterpret_cast<HKEY>(static_cast<std::uintptr_t>(v));
}
inline const HKEY HKEY_CLASSES_ROOT = PredefinedKey(0x80000000u);
inline const HKEY HKEY_CURRENT_USER = PredefinedKey(0x80000001u);
inline const HKEY HKEY_LOCAL_MACHINE = PredefinedKey(0x80000002u);
inline const HKEY HKEY_USERS = PredefinedKey(0x80000003u);

// System error codes the registry returns.
constexpr LSTATUS ERROR_SUCCESS = 0;
constexpr LSTATUS ERROR_FILE_NOT_FOUND = 2;
constexpr LSTATUS ERROR_ACCESS_DENIED = 5;
constexpr LSTATUS ERROR_INVALID_HANDLE = 6;
constexpr LSTATUS ERROR_OUTOFMEMORY = 14;
constexpr LSTATUS ERROR_INVALID_PARAMETER = 87;
constexpr LSTATUS ERROR_LOCK_FAILED = 167;
constexpr LSTATUS ERROR_MORE_DATA = 234;
constexpr LSTATUS ERROR_BADDB = 1009;
constexpr LSTATUS ERROR_CANTWRITE = 1013;

// Access rights.
constexpr REGSAM KEY_QUERY_VALUE = 0x0001;
constexpr REGSAM KEY_SET_VALUE = 0x0002;
constexpr REGSAM KEY_CREATE_SUB_KEY = 0x0004;
constexpr REGSAM KEY_ENUMERATE_SUB_KEYS = 0x0008;
constexpr REGSAM KEY_NOTIFY = 0x0010;
constexpr REGSAM KEY_READ = 0x20019;
constexpr REGSAM KEY_WRITE = 0x20006;
constexpr REGSAM KEY_EXECUTE = 0x20019;
constexpr REGSAM KEY_ALL_ACCESS = 0xF003F;

// Value types.
constexpr DWORD REG_NONE = 0;
constexpr DWORD REG_SZ = 1;
constexpr DWORD REG_EXPAND_SZ = 2;
constexpr DWORD REG_BINARY = 3;
constexpr DWORD REG_DWORD = 4;
constexpr DWORD REG_MULTI_SZ = 7;
constexpr DWORD REG_QWORD = 11;

// Key creation.
constexpr DWORD REG_OPTION_NON_VOLATILE = 0;
constexpr DWORD REG_CREATED_NEW_KEY = 1;
constexpr DWORD REG_OPENED_EXISTING_KEY = 2;

// subKey: components separated by '\'; null or "" gives a new handle to the key itself.
LSTATUS RegCreateKeyExA(HKEY key, LPCSTR subKey, DWORD reserved, LPSTR keyClass, DWORD options,
                        REGSAM desired, const SECURITY_ATTRIBUTES* security, PHKEY result,
                        LPDWORD disposition);
LSTATUS RegOpenKeyExA(HKEY key, LPCSTR subKey, DWORD options, REGSAM desired, PHKEY result);
// data null: only the type and size are returned. A buffer too small: ERROR_MORE_DATA, the
// needed size in *dataSize and the buffer left untouched.
LSTATUS RegQueryValueExA(HKEY key, LPCSTR valueName, LPDWORD reserved, LPDWORD type, LPBYTE data,
                         LPDWORD dataSize);
// REG_DWORD takes exactly 4 bytes; REG_SZ data should include its terminating NUL.
LSTATUS RegSetValueExA(HKEY key, LPCSTR valueName, DWORD reserved, DWORD type, const BYTE* data,
                       DWORD dataSize);
LSTATUS RegDeleteValueA(HKEY key, LPCSTR valueName);
// Values are durable once set; this checks the handle.
LSTATUS RegFlushKey(HKEY key);
LSTATUS RegCloseKey(HKEY key);

// Extensions of this stand-in (no Win32 counterpart): a group of values in one step.
struct RegValue {
  std::string name;
  DWORD type = 0;
  std::string data;  // raw bytes; a REG_DWORD is 4 bytes, little-endian
};
// Sets every value under subKey of key (null or "": the key itself), creating the key if need
// be, in one commit: one lock, one temporary file, one rename. A reader, or a crash part way,
// sees all of them or none. On a failure *why (when given) says in words what went wrong
// (the folder that cannot be made, the lock another program holds, the file that cannot be
// written).
LSTATUS RegSetKeyValuesA(HKEY key, LPCSTR subKey, const std::vector<RegValue>& values, std::string* why = nullptr);
// Every value of the key as one reading of the store holds them, in stored order.
LSTATUS RegQueryKeyValuesA(HKEY key, std::vector<RegValue>& values);

// The store file this process uses now (follows XDG_CONFIG_HOME and HOME at each call).
std::string RegistryStorePath();
// How long a write waits for the store's lock; 3000 ms unless changed (tests shorten it).
void SetRegistryLockTimeout(DWORD milliseconds);

}  // namespace win32
