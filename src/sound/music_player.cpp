#include "sound/music_player.h"

#include <cstring>

#include "config/settings.h"
#include "platform/audio/library_file.h"
#include "platform/win32/files.h"
#include "platform/win32/resources.h"

namespace sound {

namespace {

template <typename F>
void Lookup(win32::HMODULE module, const char* name, F& slot) {
  win32::FARPROC p = win32::GetProcAddress(module, name);
  static_assert(sizeof p == sizeof slot);
  std::memcpy(&slot, &p, sizeof slot);
}

}  // namespace

MusicPlayer::MusicPlayer() = default;

MusicPlayer::~MusicPlayer() = default;

void MusicPlayer::Log(const char* line) const {
  if (log_) log_(line);
}

void MusicPlayer::RemoveLibraryFileNow() { audiolib::EmergencyRemoveLibraryFile(); }

bool MusicPlayer::LoadAudioLibrary() {
  const std::string folder = ReadPathSetting();
  // The resource first: a missing library must not leave an empty file behind.
  win32::HRSRC res = win32::FindResourceA(nullptr, win32::MAKEINTRESOURCEA(libraryId_), "SOUND");
  if (!res) return false;
  win32::DWORD size = win32::SizeofResource(nullptr, res);
  win32::HGLOBAL loaded = win32::LoadResource(nullptr, res);
  const void* bytes = loaded ? win32::LockResource(loaded) : nullptr;
  if (size == 0 || !bytes) return false;

  auto file = std::make_unique<audiolib::LibraryFile>();
  bool created = false;
  if (!folder.empty()) {
    std::string path = folder;
    if (path.back() != '/') path += '/';
    path += kLibraryFileName;
    audiolib::RemoveStaleLibraryFiles(folder);  // a copy half-written by a run that was killed
    created = file->CreateAt(path);
  } else {
    const std::string temp = audiolib::PrivateTempFolder();
    audiolib::RemoveStaleLibraryFiles(temp);
    created = file->CreateTemporary(temp);
  }
  if (!created) return false;
  libraryPath_ = file->path();
  audiolib::SetExitCleanupPath(libraryPath_, file->descriptor());
  if (!file->Write(bytes, size)) {
    audiolib::SetExitCleanupPath({}, -1);
    libraryPath_.clear();
    return false;
  }
  file_ = std::move(file);
  module_ = file_->Load();
  if (!module_) {
    UnloadAudioLibrary();
    return false;
  }

  AudioLibraryTable& t = fn_;
  Lookup(module_, "BASS_Start", t.BASS_Start);
  Lookup(module_, "BASS_GetVolume", t.BASS_GetVolume);
  Lookup(module_, "BASS_Set3DFactors", t.BASS_Set3DFactors);
  Lookup(module_, "BASS_StreamGetLength", t.BASS_StreamGetLength);
  Lookup(module_, "BASS_ChannelBytes2Seconds", t.BASS_ChannelBytes2Seconds);
  Lookup(module_, "BASS_StreamFree", t.BASS_StreamFree);
  Lookup(module_, "BASS_Stop", t.BASS_Stop);
  Lookup(module_, "BASS_ErrorGetCode", t.BASS_ErrorGetCode);
  Lookup(module_, "BASS_Init", t.BASS_Init);
  Lookup(module_, "BASS_Free", t.BASS_Free);
  Lookup(module_, "BASS_GetCPU", t.BASS_GetCPU);
  Lookup(module_, "BASS_SetVolume", t.BASS_SetVolume);
  Lookup(module_, "BASS_MusicLoad", t.BASS_MusicLoad);
  Lookup(module_, "BASS_MusicPlay", t.BASS_MusicPlay);
  Lookup(module_, "BASS_StreamCreateFile", t.BASS_StreamCreateFile);
  Lookup(module_, "BASS_StreamPlay", t.BASS_StreamPlay);
  Lookup(module_, "BASS_ChannelIsActive", t.BASS_ChannelIsActive);
  Lookup(module_, "BASS_ChannelGetInfo", t.BASS_ChannelGetInfo);
  Lookup(module_, "BASS_ChannelSlideAttributes", t.BASS_ChannelSlideAttributes);
  Lookup(module_, "BASS_ChannelIsSliding", t.BASS_ChannelIsSliding);
  Lookup(module_, "BASS_ChannelGetPosition", t.BASS_ChannelGetPosition);
  Lookup(module_, "BASS_ChannelGetLevel", t.BASS_ChannelGetLevel);
  Lookup(module_, "BASS_ChannelSetSync", t.BASS_ChannelSetSync);
  // The last lookup decides; every function that is actually called must be there too, or a
  // library without one would be called through a null pointer.
  const bool complete = t.BASS_ChannelSetSync && t.BASS_Start && t.BASS_GetVolume && t.BASS_Set3DFactors &&
                        t.BASS_StreamGetLength && t.BASS_ChannelBytes2Seconds && t.BASS_StreamFree &&
                        t.BASS_Stop && t.BASS_Init && t.BASS_Free && t.BASS_SetVolume &&
                        t.BASS_StreamCreateFile && t.BASS_StreamPlay && t.BASS_ChannelGetPosition;
  if (!complete) {
    UnloadAudioLibrary();
    return false;
  }
  return true;
}

void MusicPlayer::UnloadAudioLibrary() {
  if (module_) win32::FreeLibrary(module_);
  module_ = nullptr;
  fn_ = AudioLibraryTable{};
  if (file_) file_->Remove();
  file_.reset();
  audiolib::SetExitCleanupPath({}, -1);
  libraryPath_.clear();
}

int MusicPlayer::InitialiseAudio(win32::HWND mainWindow) {
  if (!fn_.BASS_Init(1, 44100, BASS_DEVICE_3D, mainWindow, nullptr)) return -1;
  fn_.BASS_Start();
  savedVolume_ = fn_.BASS_GetVolume();
  fn_.BASS_SetVolume(musicVolume_);
  fn_.BASS_Set3DFactors(1.0f, 1.0f, 1.0f);
  return 0;
}

void MusicPlayer::StartMusic(win32::HWND mainWindow, bool musicOn, win32::DWORD musicVolume) {
  musicOn_ = musicOn;
  musicVolume_ = musicVolume;
  if (!musicOn_ || module_) return;
  if (!LoadAudioLibrary()) return;
  if (InitialiseAudio(mainWindow) != 0) return;

  win32::HRSRC res = win32::FindResourceA(nullptr, win32::MAKEINTRESOURCEA(musicId_), "SOUND");
  win32::DWORD size = res ? win32::SizeofResource(nullptr, res) : 0;
  win32::HGLOBAL loaded = size > 0 ? win32::LoadResource(nullptr, res) : nullptr;
  const void* bytes = loaded ? win32::LockResource(loaded) : nullptr;
  if (bytes) {
    // Both streams read the same bytes in place; the program's image owns them.
    HSTREAM a = fn_.BASS_StreamCreateFile(1, bytes, 0, size, 0);
    HSTREAM b = fn_.BASS_StreamCreateFile(1, bytes, 0, size, 0);
    if (a && b) {
      streamA_ = a;
      streamB_ = b;
      threshold_ = fn_.BASS_ChannelBytes2Seconds(a, fn_.BASS_StreamGetLength(a)) - kLoopOverlapSeconds;
      fn_.BASS_StreamPlay(a, 1, 0);
    } else {
      // One stream alone cannot loop: no music rather than a half-working state.
      if (a) fn_.BASS_StreamFree(a);
      if (b) fn_.BASS_StreamFree(b);
    }
  }
  Log("SoundSys Init Comlete.");
}

void MusicPlayer::CheckMusicLoop() {
  if (!musicOn_ || streamA_ == 0) return;
  BASS_QWORD position = fn_.BASS_ChannelGetPosition(streamA_);
  float seconds = fn_.BASS_ChannelBytes2Seconds(streamA_, position);
  if (seconds > threshold_) {
    fn_.BASS_StreamPlay(streamB_, 1, 0);
    std::swap(streamA_, streamB_);
  }
}

void MusicPlayer::StopMusic() {
  // Music that never started leaves the library loaded; its file goes at process exit.
  if (streamA_ == 0 || !musicOn_) return;
  fn_.BASS_StreamFree(streamA_);
  fn_.BASS_StreamFree(streamB_);
  fn_.BASS_SetVolume(savedVolume_);
  fn_.BASS_Stop();
  fn_.BASS_Free();
  streamA_ = 0;
  streamB_ = 0;
  if (module_) UnloadAudioLibrary();
}

}  // namespace sound
