// Background music: the audio library is written out of the program's resources to a file,
// loaded, its functions looked up by name, and two streams of the same music alternate so that
// each one starts five seconds before the other ends.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "platform/audio/bass.h"
#include "platform/win32/win32_types.h"

namespace audiolib {
class LibraryFile;
}

namespace sound {

// Resource ids (type "SOUND").
constexpr unsigned kMusicResource = 470;
constexpr unsigned kAudioLibraryResource = 471;
inline constexpr char kLibraryFileName[] = "bass.dll";
constexpr float kLoopOverlapSeconds = 5.0f;

// The library's functions, in the order they are looked up.
struct AudioLibraryTable {
  decltype(&::BASS_Start) BASS_Start = nullptr;
  decltype(&::BASS_GetVolume) BASS_GetVolume = nullptr;
  decltype(&::BASS_Set3DFactors) BASS_Set3DFactors = nullptr;
  decltype(&::BASS_StreamGetLength) BASS_StreamGetLength = nullptr;
  decltype(&::BASS_ChannelBytes2Seconds) BASS_ChannelBytes2Seconds = nullptr;
  decltype(&::BASS_StreamFree) BASS_StreamFree = nullptr;
  decltype(&::BASS_Stop) BASS_Stop = nullptr;
  decltype(&::BASS_ErrorGetCode) BASS_ErrorGetCode = nullptr;
  decltype(&::BASS_Init) BASS_Init = nullptr;
  decltype(&::BASS_Free) BASS_Free = nullptr;
  decltype(&::BASS_GetCPU) BASS_GetCPU = nullptr;
  decltype(&::BASS_SetVolume) BASS_SetVolume = nullptr;
  decltype(&::BASS_MusicLoad) BASS_MusicLoad = nullptr;
  decltype(&::BASS_MusicPlay) BASS_MusicPlay = nullptr;
  decltype(&::BASS_StreamCreateFile) BASS_StreamCreateFile = nullptr;
  decltype(&::BASS_StreamPlay) BASS_StreamPlay = nullptr;
  decltype(&::BASS_ChannelIsActive) BASS_ChannelIsActive = nullptr;
  decltype(&::BASS_ChannelGetInfo) BASS_ChannelGetInfo = nullptr;
  decltype(&::BASS_ChannelSlideAttributes) BASS_ChannelSlideAttributes = nullptr;
  decltype(&::BASS_ChannelIsSliding) BASS_ChannelIsSliding = nullptr;
  decltype(&::BASS_ChannelGetPosition) BASS_ChannelGetPosition = nullptr;
  decltype(&::BASS_ChannelGetLevel) BASS_ChannelGetLevel = nullptr;
  decltype(&::BASS_ChannelSetSync) BASS_ChannelSetSync = nullptr;
};

class MusicPlayer {
 public:
  using LogFunction = std::function<void(const char* line)>;

  MusicPlayer();
  ~MusicPlayer();
  MusicPlayer(const MusicPlayer&) = delete;
  MusicPlayer& operator=(const MusicPlayer&) = delete;

  // Progress lines ("SoundSys Init Comlete.") go here; none when unset.
  void SetLog(LogFunction log) { log_ = std::move(log); }
  // Other resources in place of 470 and 471 (tests).
  void SetResourceIds(unsigned music, unsigned library) {
    musicId_ = music;
    libraryId_ = library;
  }

  // Called by StartSound with the settings "Music" and "MusicVolume". Every failure is
  // silent: the saver then runs without music.
  void StartMusic(win32::HWND mainWindow, bool musicOn, win32::DWORD musicVolume);
  // Called every frame: when stream A is past the loop threshold, the other stream starts
  // from its beginning and becomes A.
  void CheckMusicLoop();
  // Called by StopSound: when music was started, frees the streams, puts the volume back,
  // stops and frees the library, unloads it and deletes its file.
  void StopMusic();

  // Removes the library file from exit paths that skip StopMusic (atexit is installed
  // automatically; this one is async-signal-safe for signal handlers).
  static void RemoveLibraryFileNow();

  HSTREAM streamA() const { return streamA_; }
  HSTREAM streamB() const { return streamB_; }
  float loopThreshold() const { return threshold_; }
  win32::DWORD savedVolume() const { return savedVolume_; }
  win32::HMODULE module() const { return module_; }
  const std::string& libraryPath() const { return libraryPath_; }
  const AudioLibraryTable& library() const { return fn_; }

 private:
  bool LoadAudioLibrary();
  int InitialiseAudio(win32::HWND mainWindow);
  void UnloadAudioLibrary();
  void Log(const char* line) const;

  LogFunction log_;
  unsigned musicId_ = kMusicResource;
  unsigned libraryId_ = kAudioLibraryResource;
  bool musicOn_ = false;
  win32::DWORD musicVolume_ = 0;

  win32::HMODULE module_ = nullptr;
  std::string libraryPath_;
  std::unique_ptr<audiolib::LibraryFile> file_;
  AudioLibraryTable fn_;
  HSTREAM streamA_ = 0;
  HSTREAM streamB_ = 0;
  float threshold_ = 0.0f;
  win32::DWORD savedVolume_ = 0;
};

}  // namespace sound
