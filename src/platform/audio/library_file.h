// Writing the audio library out of the program's resources into a file and loading it, so
// that no other user can swap the file between writing and loading, and so that no copy
// outlives the process.
//
// - A temporary copy is "bas<HEX>.tmp" (the Win32 temporary-name form with the prefix "bass"),
//   created with O_EXCL|O_NOFOLLOW, mode 0600, in $XDG_RUNTIME_DIR when that is a private
//   directory of ours, else in the temporary folder.
// - A copy in a chosen folder is written under a hidden temporary name and renamed into place.
// - The file stays open, locked (flock) and is loaded through /proc/self/fd/N: the loader maps
//   exactly the inode we wrote, whatever happens to the name. Without /proc the file is loaded
//   by name only if its folder lets nobody else rename or replace entries (private or sticky)
//   and the name still refers to our inode.
// - A copy whose owner died (SIGKILL) is unlocked: the next start removes it.
// - The path is remembered for an atexit handler, and EmergencyRemoveLibraryFile is
//   async-signal-safe, so exit paths that skip the normal teardown still remove the file.
#pragma once

#include <cstddef>
#include <string>

#include "platform/win32/win32_types.h"

namespace audiolib {

// $XDG_RUNTIME_DIR when set and a directory owned by us with no access for others, else the
// temporary folder of GetTempPathA. With a trailing '/'.
std::string PrivateTempFolder();

class LibraryFile {
 public:
  LibraryFile() = default;
  ~LibraryFile();  // closes the file (releasing the lock); the name stays until Remove
  LibraryFile(const LibraryFile&) = delete;
  LibraryFile& operator=(const LibraryFile&) = delete;

  // A new unique "bas<HEX>.tmp" in `folder`. False on failure (nothing left behind).
  bool CreateTemporary(const std::string& folder);
  // `path` itself, replaced atomically once Write succeeds. False on failure.
  bool CreateAt(const std::string& path);
  // Writes all bytes, syncs and (for CreateAt) renames the file into place. On failure the
  // file is removed.
  bool Write(const void* data, std::size_t size);
  // Loads the written file. nullptr on failure.
  win32::HMODULE Load();
  // Removes the file (if this object created it and it is still ours) and closes it.
  void Remove();

  const std::string& path() const { return path_; }
  bool isOpen() const { return fd_ >= 0; }
  int descriptor() const;

 private:
  void Discard();

  int fd_ = -1;
  std::string path_;     // the final name
  std::string staging_;  // the hidden name written before the rename (CreateAt only)
  std::size_t size_ = 0;
  bool written_ = false;
};

// Removes copies left in `folder` by processes that died: "bas<HEX>.tmp" and hidden
// ".bass.dll.*" staging files that are ours, hold a library and are not locked by a live
// process. Returns how many were removed.
int RemoveStaleLibraryFiles(const std::string& folder);

// The file that exit paths must remove (one at a time; empty clears), with the descriptor
// it is open on so that a name another process has since replaced is left alone. The first
// call installs an atexit handler.
void SetExitCleanupPath(const std::string& path, int fd);
// Unlinks the registered file; safe in a signal handler and at any point during exit.
void EmergencyRemoveLibraryFile();

}  // namespace audiolib
