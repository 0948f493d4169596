// Camera tracks: cubic Bezier chains through the room, in the binary and text layouts.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "scene.h"

namespace mediagen {

struct TrackPoint {
  Vec3 position;
  bool hasTarget = false;
  Vec3 target;
  float speed = 0;
  float pause = 0;
};

struct Track {
  std::vector<TrackPoint> points;  // 3k+1: nodes at 0, 3, 6, ...
};

std::vector<Track> BuildTracks(const RoomInfo& info);
std::vector<uint8_t> EncodeTracksBinary(const std::vector<Track>& tracks);
std::string EncodeTracksText(const std::vector<Track>& tracks);
Vec3 EvalBezier(float t, Vec3 p0, Vec3 p1, Vec3 p2, Vec3 p3);

// Length along the curves (150 chords a segment, as playback measures) and the seconds a
// track plays, the speed running linearly between nodes over each segment's length.
struct TrackTiming {
  float length = 0, seconds = 0, slowest = 0;
};
TrackTiming TimeTrack(const Track& t);

}  // namespace mediagen
