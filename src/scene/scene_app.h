// The scene application: the one application object of the program. It owns the room, the
// camera tracks, the crossfade that hides every cut between two tracks, and the music, and
// fills the virtual operations of ScreenSaverApp with the scene's work.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "camera/camera_track_set.h"
#include "host/quad_pool.h"
#include "host/screensaver_app.h"
#include "platform/d3dx/d3dx_math.h"
#include "scene/room_scene.h"
#include "sound/music_player.h"

namespace scene {

// The left-handed look-at view from eye E towards A with up U. Equals D3DXMatrixLookAtLH
// unless the view direction is parallel to U; then (0, 1, 0) and after it (0, 0, 1) stand
// in for U. A degenerate direction gives the identity.
d3dx::D3DXMATRIX ViewMatrix(const d3dx::D3DXVECTOR3& eye, const d3dx::D3DXVECTOR3& at, const d3dx::D3DXVECTOR3& up);

// Random choice without repeats: from a random start, the first track not yet played (and
// playable); when every track has played, all flags clear and the search starts over. Sets
// the chosen track's flag. -1 when no track is playable.
int ChooseTrack(std::vector<std::uint8_t>& played, const std::function<bool(int)>& playable,
                const std::function<int()>& random);

}  // namespace scene

class SceneApp : public ScreenSaverApp {
 public:
  static constexpr float kMaxFrameSeconds = 0.2f;
  static constexpr float kCutOpacity = 0.85f;
  static constexpr float kCutFadeSpeed = 0.25f;

  SceneApp();
  ~SceneApp() override;

  void InitApp() override;
  void StartSound() override;
  void StopSound() override;
  void QueryDeviceCaps() override;
  HRESULT RestoreDeviceObjects(d3d8::IDirect3DDevice8* device) override;
  HRESULT LoadScene(d3d8::IDirect3DDevice8* device) override;
  HRESULT FrameMove(d3d8::IDirect3DDevice8* device, float elapsedMs) override;
  HRESULT Render(d3d8::IDirect3DDevice8* device) override;
  HRESULT DeleteSceneObjects() override;
  void ReleaseDefaultPoolObjects() override;
  // Ahead of the loading: the room model is parsed and the scene archive's pictures decoded.
  void PrepareAhead() override;
  void DropPreparedAhead() override;

  // The frame's work after the timer reading: dt seconds, capped at 0.2.
  HRESULT Advance(d3d8::IDirect3DDevice8* device, double dt);
  // Renders the room into the crossfade texture with the current view and starts the fade.
  HRESULT TakeCrossfadeSnapshot(d3d8::IDirect3DDevice8* device);

  scene::RoomScene* room() { return room_.get(); }
  camera::CameraTrackSet& tracks() { return *tracks_; }
  int currentTrack() const { return currentTrack_; }
  const std::vector<std::uint8_t>& played() const { return played_; }
  float crossfadeOpacity() const { return fadeOpacity_; }
  float crossfadeSpeed() const { return fadeSpeed_; }
  d3d8::IDirect3DTexture8* crossfadeTexture() const { return fadeTexture_; }
  const ScreenQuadVertex* crossfadeQuad() const { return fadeQuad_; }
  // Tracks started so far (cuts + 1), for tests and statistics.
  int tracksStarted() const { return tracksStarted_; }

 private:
  void StartChosenTrack();
  HRESULT CreateCrossfade(d3d8::IDirect3DDevice8* device);
  void ReleaseCrossfade();
  void DrawCrossfade(d3d8::IDirect3DDevice8* device);

  std::unique_ptr<scene::RoomScene> room_;
  std::unique_ptr<camera::CameraTrackSet> tracks_;
  int currentTrack_ = 0;
  int tracksStarted_ = 0;
  std::vector<std::uint8_t> played_;

  d3d8::IDirect3DTexture8* fadeTexture_ = nullptr;
  d3d8::IDirect3DSurface8* fadeDepth_ = nullptr;
  // The snapshot kept in system memory while the device is reset during a fade.
  d3d8::IDirect3DSurface8* fadeKeep_ = nullptr;
  ScreenQuadVertex fadeQuad_[4]{};
  float fadeOpacity_ = 0.0f;
  float fadeSpeed_ = 0.5f;

  sound::MusicPlayer music_;
  bool musicOn_ = false;
};
