// libFuzzer target: the camera track file, loaded and then flown along for a few frames.
// Whatever the bytes, the loader stays within the image and the capacities, and playback
// stays on the segments the track has.
#include <cstddef>
#include <cstdint>
#include <memory>

#include "camera/camera_track_set.h"

using camera::CameraTrackSet;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // Each input starts from a new set; copying one (300 KB) is far cheaper than allocating one.
  static const auto pristine = std::make_unique<const CameraTrackSet>();
  static const auto set = std::make_unique<CameraTrackSet>();
  *set = *pristine;
  if (set->LoadTracks(nullptr, data, size) != 0) __builtin_trap();
  if (set->bytesConsumed > size || set->trackCount < 0 || set->trackCount > camera::kMaxTracks) __builtin_trap();
  for (int t = 0; t < set->trackCount; ++t) {
    const camera::CameraTrack& track = set->tracks[t];
    if (track.pointCount > camera::kMaxPoints) __builtin_trap();
    if (track.pointCount >= 2 && track.segmentCount != (track.pointCount - 1) / 3) __builtin_trap();
  }

  // A few frames on the first playable tracks: short steps, a long one, a pause-sized one.
  const float steps[] = {0.016f, 0.2f, 0.016f, 3.0f, 0.05f, 0.2f};
  int flown = 0;
  for (int t = 0; t < set->trackCount && flown < 3; ++t) {
    if (!set->IsPlayable(t)) continue;
    ++flown;
    set->StartTrack(t, 0);
    const camera::CameraTrack& track = set->tracks[t];
    for (float dt : steps) {
      set->UpdateCamera(dt);
      if (set->segment < 0 || set->segment >= track.segmentCount || 3 * set->segment + 3 >= track.pointCount)
        __builtin_trap();
    }
  }
  return 0;
}
