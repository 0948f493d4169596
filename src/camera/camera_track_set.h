// Camera tracks: chains of cubic Bezier segments loaded from "Cam_Tracks.bin", and the
// camera's movement along them (speed interpolation, pauses, look-at targets, smoothed
// turning).
#pragma once

#include <cstddef>
#include <cstdint>

namespace camera {

struct Vec3 {
  float x = 0, y = 0, z = 0;
};

struct TrackPoint {
  Vec3 position;
  float pause = 0;
  std::int32_t hasTarget = 0;  // bool held in a 32-bit slot
  Vec3 target;
  float speed = 0;
};

constexpr int kMaxTracks = 50;
constexpr int kMaxPoints = 150;
constexpr int kChordSteps = 150;

struct CameraTrack {
  bool closedLoop = false;
  std::uint16_t pointCount = 0;
  TrackPoint points[kMaxPoints];
  float segmentLengths[kMaxPoints] = {};
  std::int32_t segmentCount = 0;
  bool spareFlag = false;
};

Vec3 EvalBezier(float t, const Vec3& p0, const Vec3& p1, const Vec3& p2, const Vec3& p3);

// Heading (degrees, from +x towards +z, in [0, 360)) and elevation (degrees) of a unit direction.
float HeadingOf(const Vec3& d);
float ElevationOf(const Vec3& d);

class CameraTrackSet {
 public:
  CameraTrackSet();

  // Parses a track file image. bytes == nullptr reads the file `name` from disk.
  // Returns 0, or E_FAIL (0x80004005) when the disk file cannot be opened. Reads never go
  // past the image: a truncated image keeps the tracks read completely before the cut;
  // counts above the capacities are clamped (surplus points are parsed and dropped).
  // Negative pauses are read as 0 (a negative pause would hold the camera for good).
  std::int32_t LoadTracks(const char* name, const unsigned char* bytes, std::size_t size);

  // Measures the segments of tracks[track].
  void PrepareTrack();

  // A track can be started only when it has a segment of non-zero length.
  bool IsPlayable(int t) const;

  void StartTrack(int t, int s);
  std::int32_t UpdateCamera(float dt);

  // Bytes the last LoadTracks consumed from its image.
  std::size_t bytesConsumed = 0;

  bool useTargets = true;
  float speed = 0.75f;
  float segmentDistance = 0;
  std::int32_t segment = 0;
  std::int32_t trackCount = 0;
  std::int32_t track = 0;
  CameraTrack tracks[kMaxTracks];
  float yaw = 0;
  float pitch = 0;
  Vec3 position;
  float pauseLeft = 0;
  std::int32_t finished = 0;
};

}  // namespace camera
