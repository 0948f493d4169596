#include "camera/camera_track_set.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <vector>

namespace camera {

namespace {

constexpr float kDegPerRad = 57.29578f;
constexpr std::int32_t kEFail = static_cast<std::int32_t>(0x80004005u);

Vec3 Sub(const Vec3& a, const Vec3& b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
float Length(const Vec3& v) { return std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z); }
Vec3 Normalize(const Vec3& v) {
  float l = Length(v);
  if (!(l > 0)) return {1, 0, 0};
  return {v.x / l, v.y / l, v.z / l};
}

// Bounded little-endian reader over the track image.
struct Reader {
  const unsigned char* p;
  std::size_t size;
  std::size_t pos = 0;
  bool ok = true;

  bool Need(std::size_t n) {
    if (!ok || size - pos < n) ok = false;
    return ok;
  }
  std::uint32_t U32() {
    if (!Need(4)) return 0;
    std::uint32_t v = static_cast<std::uint32_t>(p[pos]) | static_cast<std::uint32_t>(p[pos + 1]) << 8 |
                      static_cast<std::uint32_t>(p[pos + 2]) << 16 | static_cast<std::uint32_t>(p[pos + 3]) << 24;
    pos += 4;
    return v;
  }
  std::uint8_t U8() {
    if (!Need(1)) return 0;
    return p[pos++];
  }
  float F32() {
    std::uint32_t bits = U32();
    float f;
    std::memcpy(&f, &bits, sizeof f);
    return f;
  }
};

}  // namespace

Vec3 EvalBezier(float t, const Vec3& p0, const Vec3& p1, const Vec3& p2, const Vec3& p3) {
  float u = 1 - t;
  float a = u * u * u, b = 3 * t * u * u, c = 3 * t * t * u, d = t * t * t;
  return {a * p0.x + b * p1.x + c * p2.x + d * p3.x, a * p0.y + b * p1.y + c * p2.y + d * p3.y,
          a * p0.z + b * p1.z + c * p2.z + d * p3.z};
}

float ElevationOf(const Vec3& d) {
  float y = d.y > 1 ? 1 : (d.y < -1 ? -1 : d.y);
  return std::asin(y) * kDegPerRad;
}

float HeadingOf(const Vec3& d) {
  if (d.x == 0) return d.z > 0 ? 90.0f : (d.z < 0 ? 270.0f : 0.0f);  // atan of +-inf
  float h = std::atan(d.z / d.x) * kDegPerRad;
  if (d.x < 0) h += 180;
  else if (d.z < 0) h += 360;
  return h;
}

CameraTrackSet::CameraTrackSet() {
  tracks[0].pointCount = 0;
  tracks[0].closedLoop = false;
}

std::int32_t CameraTrackSet::LoadTracks(const char* name, const unsigned char* bytes, std::size_t size) {
  std::vector<unsigned char> file;
  if (bytes == nullptr) {
    std::FILE* f = name ? std::fopen(name, "rb") : nullptr;
    if (!f) return kEFail;
    unsigned char buf[4096];
    std::size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) file.insert(file.end(), buf, buf + n);
    std::fclose(f);
    bytes = file.data();
    size = file.size();
  }
  Reader r{bytes, size};
  std::int32_t count = static_cast<std::int32_t>(r.U32());
  if (count < 0) count = 0;
  if (count > kMaxTracks) count = kMaxTracks;
  std::int32_t loaded = 0;
  for (std::int32_t i = 0; i < count && r.ok; ++i) {
    CameraTrack& t = tracks[i];
    std::uint16_t points = static_cast<std::uint16_t>(r.U32() & 0xFFFFu);
    bool closed = r.U8() == 1;
    bool spare = r.U8() == 1;
    TrackPoint scratch;
    for (int k = 0; k < points && r.ok; ++k) {
      TrackPoint& p = k < kMaxPoints ? t.points[k] : scratch;
      p.position.x = r.F32();
      p.position.y = r.F32();
      p.position.z = r.F32();
      if (r.U8() == 1) {
        p.hasTarget = 1;
        p.target.x = r.F32();
        p.target.y = r.F32();
        p.target.z = r.F32();
      } else {
        p.hasTarget = 0;
      }
      p.speed = r.F32();
      float pause = r.F32();
      p.pause = pause > 0 ? pause : 0;  // negative (or NaN) pauses would stall the camera
    }
    if (!r.ok) break;  // a track cut short by the end of the image is dropped
    t.pointCount = points > kMaxPoints ? kMaxPoints : points;
    t.closedLoop = closed;
    t.spareFlag = spare;
    track = i;
    PrepareTrack();
    loaded = i + 1;
  }
  trackCount = loaded;
  track = 0;
  bytesConsumed = r.pos;
  return 0;
}

void CameraTrackSet::PrepareTrack() {
  if (track < 0 || track >= kMaxTracks) return;
  CameraTrack& t = tracks[track];
  if (t.pointCount < 2) return;
  t.segmentCount = (t.pointCount - 1) / 3;
  for (int s = 0; s < t.segmentCount; ++s) {
    const TrackPoint* p = &t.points[3 * s];
    Vec3 prev = EvalBezier(0, p[0].position, p[1].position, p[2].position, p[3].position);
    float length = 0;
    for (int k = 1; k <= kChordSteps; ++k) {
      Vec3 q = EvalBezier(static_cast<float>(k) / kChordSteps, p[0].position, p[1].position, p[2].position,
                          p[3].position);
      length += Length(Sub(q, prev));
      prev = q;
    }
    t.segmentLengths[s] = length;
  }
}

bool CameraTrackSet::IsPlayable(int t) const {
  if (t < 0 || t >= trackCount) return false;
  const CameraTrack& tr = tracks[t];
  if (tr.pointCount < 4) return false;
  for (int s = 0; s < tr.segmentCount; ++s)
    if (tr.segmentLengths[s] > 0 && std::isfinite(tr.segmentLengths[s])) return true;
  return false;
}

void CameraTrackSet::StartTrack(int t, int s) {
  track = t;
  const CameraTrack& tr = tracks[t];
  pauseLeft = tr.points[0].pause;
  finished = 0;
  segmentDistance = 0;
  segment = s;
  const TrackPoint* p = tr.points;
  Vec3 look = (useTargets && p[0].hasTarget)
                  ? p[0].target
                  : EvalBezier(0.035f, p[0].position, p[1].position, p[2].position, p[3].position);
  position = EvalBezier(0, p[0].position, p[1].position, p[2].position, p[3].position);
  Vec3 d = Normalize(Sub(look, position));
  pitch = ElevationOf(d);
  yaw = HeadingOf(d);
}

std::int32_t CameraTrackSet::UpdateCamera(float dt) {
  finished = 0;
  if (dt == 0) return 0;
  const CameraTrack& tr = tracks[track];
  if (tr.segmentCount <= 0) return 0;

  // Pause at a node; the part of the frame after the pause runs out still moves.
  if (pauseLeft > 0) {
    pauseLeft -= dt;
    if (pauseLeft < 0) {
      dt = -pauseLeft;
      pauseLeft = 0;
    }
  }

  if (pauseLeft == 0) {
    int s = segment;
    float len = tr.segmentLengths[s];
    float frac = len > 0 ? segmentDistance / len : 0;
    speed = tr.points[3 * s].speed + (tr.points[3 * s + 3].speed - tr.points[3 * s].speed) * frac;
    if (!(speed >= 0.01f)) speed = 0.01f;
    segmentDistance += dt * speed;
    // Bounded by the number of segments per lap so zero-length data cannot spin forever.
    int guard = 0;
    while (segmentDistance > tr.segmentLengths[segment] && guard++ < 4 * kMaxPoints) {
      segmentDistance -= tr.segmentLengths[segment];
      segment += 1;
      if (segment >= tr.segmentCount) {
        segment = 0;
        finished = 1;
      }
      pauseLeft = tr.points[3 * segment].pause;
    }
  }

  // Arc-length lookup by the same chord walk that measured the segment.
  const TrackPoint* p = &tr.points[3 * segment];
  auto eval = [&](float t) { return EvalBezier(t, p[0].position, p[1].position, p[2].position, p[3].position); };
  float u = 0;
  if (segmentDistance > 0) {
    Vec3 prev = eval(0);
    float acc = 0, step = 0;
    int k = -1;
    while (acc < segmentDistance && k < kChordSteps) {
      k += 1;
      Vec3 q = eval(static_cast<float>(k) / kChordSteps);
      step = Length(Sub(q, prev));
      acc += step;
      prev = q;
    }
    float within = step > 0 ? (segmentDistance - (acc - step)) / step : 0;
    u = (static_cast<float>(k) - 1 + within) / kChordSteps;
  }
  position = eval(u);
  Vec3 ahead = eval(u + 0.035f / kChordSteps);

  Vec3 d = Sub(ahead, position);
  if (useTargets && p[0].hasTarget) d = Sub(p[0].target, position);
  d = Normalize(d);

  float g = dt * 2.125f;
  float dp = ElevationOf(d) - pitch;
  if (std::fabs(g * dp) >= std::fabs(dp)) pitch = ElevationOf(d);
  else pitch += g * dp;

  float h = yaw;
  if (h > 360) h -= 360;
  else if (h < 0) h += 360;
  float dy = HeadingOf(d) - h;
  while (dy > 180) dy -= 360;
  while (dy < -180) dy += 360;
  if (std::fabs(dy) * g > std::fabs(dy)) yaw += dy;
  else yaw += (dy > 0 ? 1.0f : (dy < 0 ? -1.0f : 0.0f)) * std::fabs(dy) * g;
  if (yaw >= 360) yaw -= 360;
  if (yaw < 0) yaw += 360;
  return 0;
}

}  // namespace camera
