#include "tracks.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace mediagen {

Vec3 EvalBezier(float t, Vec3 p0, Vec3 p1, Vec3 p2, Vec3 p3) {
  float s = 1 - t;
  return p0 * (s * s * s) + p1 * (3 * t * s * s) + p2 * (3 * t * t * s) + p3 * (t * t * t);
}

TrackTiming TimeTrack(const Track& t) {
  TrackTiming out;
  out.slowest = 1e9f;
  for (size_t s = 0; s + 3 < t.points.size(); s += 3) {
    const TrackPoint* p = &t.points[s];
    float len = 0;
    Vec3 prev = p[0].position;
    for (int k = 1; k <= 150; ++k) {
      Vec3 q = EvalBezier(k / 150.0f, p[0].position, p[1].position, p[2].position, p[3].position);
      len += Length(q - prev);
      prev = q;
    }
    float v0 = std::max(p[0].speed, 0.01f), v1 = std::max(p[3].speed, 0.01f);
    out.length += len;
    out.seconds += std::abs(v1 - v0) < 1e-4f ? len / v0 : len / (v1 - v0) * std::log(v1 / v0);
    out.slowest = std::min({out.slowest, v0, v1});
  }
  return out;
}

namespace {

struct Node {
  Vec3 p;
  float speed;
  bool target;
  Vec3 look;
};

// Bezier handles from neighbouring nodes (Catmull-Rom tangents); `loop` closes the chain.
Track Chain(const std::vector<Node>& nodes, bool loop) {
  Track t;
  size_t n = nodes.size();
  auto tangent = [&](size_t i) {
    Vec3 prev = i > 0 ? nodes[i - 1].p : (loop ? nodes[n - 2].p : nodes[i].p);
    Vec3 next = i + 1 < n ? nodes[i + 1].p : (loop ? nodes[1].p : nodes[i].p);
    return (next - prev) * (1.0f / 6.0f);
  };
  for (size_t i = 0; i < n; ++i) {
    TrackPoint node;
    node.position = nodes[i].p;
    node.speed = nodes[i].speed;
    node.hasTarget = nodes[i].target;
    node.target = nodes[i].look;
    t.points.push_back(node);
    if (i + 1 < n) {
      TrackPoint h1, h2;
      h1.position = nodes[i].p + tangent(i);
      h2.position = nodes[i + 1].p - tangent(i + 1);
      t.points.push_back(h1);
      t.points.push_back(h2);
    }
  }
  return t;
}

Node NT(Vec3 p, float speed, Vec3 look) { return {p, speed, true, look}; }

// A slow drift that holds one composition: a single straight segment of `length` units past
// `look`, long enough for the parallax to show.
Track Drift(Vec3 from, Vec3 dir, float length, float speed, Vec3 look) {
  Vec3 to = from + Normalize(dir) * length;
  return Chain({NT(from, speed, look), NT(to, speed, look)}, false);
}

// A point on the ellipse round the heap at angle `a`, height `y`; it keeps clear of the hearth
// on the +z side.
Vec3 Round(float r, float a, float y) { return {r * std::cos(a), y, r * 0.82f * std::sin(a)}; }

}  // namespace

std::vector<Track> BuildTracks(const RoomInfo& info) {
  std::vector<Track> tracks;
  const Vec3 heap{0, 26, 0};
  // 1. The orbit of the hoard: three quarters of a circle at middle height, the fireplace, the
  // chest and the dragon passing behind the heap; never over the dragon.
  {
    std::vector<Node> nodes;
    const float heights[6] = {96, 88, 104, 92, 100, 112};
    for (int k = 0; k < 6; ++k) {
      float a = -2.05f + static_cast<float>(k) * 0.95f;
      nodes.push_back(NT(Round(k % 2 ? 160.0f : 168.0f, a, heights[k]), 22.0f, heap));
    }
    tracks.push_back(Chain(nodes, false));
  }
  // 2. Along the shield wall (wall03 at +x): torches and shields seen at a slant for a few
  // seconds, then the turn onto the hoard while the glide goes on. A node's target holds on
  // the segment it starts, so the second segment makes the turn.
  tracks.push_back(Chain({NT({146, 106, -170}, 14.0f, {250, 112, -60}), NT({132, 102, -80}, 12.0f, heap),
                          NT({112, 106, 20}, 12.0f, heap), NT({60, 116, 112}, 12.0f, heap)},
                         false));
  // 3. Up the light shaft: low over the gold, up through the rays towards the grate, then down
  // on the heap in the daylight pool.
  tracks.push_back(Chain({NT({118, 74, -70}, 14.0f, heap), NT({70, 150, -40}, 18.0f, {0, 60, 0}),
                          NT({28, 250, 12}, 16.0f, {0, 360, 0}), NT({-36, 268, 40}, 12.0f, heap),
                          NT({-80, 214, 30}, 12.0f, heap)},
                         false));
  // 4. The gems: a low pass between the two crystals, the heap glowing behind them.
  tracks.push_back(Chain({NT({14, 74, -196}, 12.0f, info.gemBlue), NT({12, 70, -92}, 9.0f, info.gemGreen),
                          NT({14, 76, -30}, 9.0f, info.gemBlue), NT({-30, 98, 40}, 12.0f, info.gemGreen)},
                         false));
  // 5. The dragon: from the side, the statue at three quarters guarding the heap beside it; a
  // glide along the -x wall that closes in on the head, the gold leaving the picture last.
  {
    Vec3 head = info.dragonHead, gold{0, 30, 0};
    tracks.push_back(Chain({NT({-172, 96, 104}, 9.0f, Lerp(head, gold, 0.45f)),
                            NT({-206, 104, 40}, 9.0f, Lerp(head, gold, 0.32f)),
                            NT({-204, 112, -20}, 8.0f, Lerp(head, gold, 0.18f)),
                            NT({-186, 118, -52}, 7.0f, head)},
                           false));
  }
  // 6. The hearth: the fire, the crossed swords and the shields above the mantel, the coins in
  // front.
  {
    // Over the middle of the heap, close enough for the fire bed to show, the coins below.
    Vec3 f = info.fireplace + Vec3{0, 30, 0};
    tracks.push_back(Chain({NT({-88, 124, -22}, 9.0f, f), NT({0, 116, -30}, 8.0f, f), NT({88, 124, -24}, 9.0f, f)},
                           false));
  }
  // 7. - 9. Drifts: the crown on the heap; the open chest spilling its coins; the golden plate.
  tracks.push_back(Drift(info.crown + Vec3{-34, 34, 30}, {1, 0.1f, 0.45f}, 26, 1.6f, info.crown + Vec3{0, 5, 0}));
  // The open chest from its front, the coins spilling towards the heap.
  tracks.push_back(Drift(info.chest + Vec3{31, 56, -74}, {0.82f, -0.1f, 0.58f}, 30, 1.8f, info.chest + Vec3{6, 16, -4}));
  {
    // The plate faces the middle of the heap: float in front of it and slide across.
    Vec3 facing = Normalize(Vec3{-0.61f, 0.22f, -0.76f});
    Vec3 across = Normalize(Cross(Vec3{0, 1, 0}, facing));
    Vec3 from = info.plate + facing * 95 + Vec3{0, 14, 0} - across * 13;
    tracks.push_back(Drift(from, across, 26, 1.6f, info.plate));
  }
  // 10. The long flight: round the whole chamber past the chest, the fireplace, the knight and
  // the dragon, ending high over the heap.
  tracks.push_back(Chain({NT({-200, 82, -30}, 20.0f, heap),
                          NT({-110, 84, 104}, 22.0f, heap),
                          NT({80, 92, 112}, 24.0f, heap),
                          NT({190, 104, 20}, 24.0f, info.gemGreen),
                          NT({140, 116, -168}, 24.0f, info.dragonHead),
                          NT({0, 150, -150}, 22.0f, info.dragonHead),
                          NT({-40, 190, -20}, 18.0f, heap),
                          NT({40, 200, 60}, 16.0f, heap)},
                         false));
  // 11. The fallen knight: a slow slide behind him, the heap beyond.
  tracks.push_back(Chain({NT({150, 46, -190}, 3.5f, {70, 20, -70}), NT({196, 52, -132}, 3.5f, {40, 30, -30})}, false));
  return tracks;
}

std::vector<uint8_t> EncodeTracksBinary(const std::vector<Track>& tracks) {
  std::vector<uint8_t> out;
  auto put32 = [&](uint32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
  };
  auto putf = [&](float f) {
    uint32_t v;
    std::memcpy(&v, &f, 4);
    put32(v);
  };
  put32(static_cast<uint32_t>(tracks.size()));
  for (const Track& t : tracks) {
    put32(static_cast<uint32_t>(t.points.size()));
    out.push_back(0);  // closed loop
    out.push_back(0);  // spare flag
    for (const TrackPoint& p : t.points) {
      putf(p.position.x);
      putf(p.position.y);
      putf(p.position.z);
      out.push_back(p.hasTarget ? 1 : 0);
      if (p.hasTarget) {
        putf(p.target.x);
        putf(p.target.y);
        putf(p.target.z);
      }
      putf(p.speed);
      putf(p.pause);
    }
  }
  return out;
}

std::string EncodeTracksText(const std::vector<Track>& tracks) {
  std::string s;
  char line[128];
  auto add = [&](const char* fmt, auto... v) {
    std::snprintf(line, sizeof line, fmt, v...);
    s += line;
    s += "\r\n";
  };
  add("%d", static_cast<int>(tracks.size()));
  for (const Track& t : tracks) {
    add("%d", static_cast<int>(t.points.size()));
    add("%d", 0);
    add("%d", 0);
    for (const TrackPoint& p : t.points) {
      add("%.4f %.4f %.4f", static_cast<double>(p.position.x), static_cast<double>(p.position.y),
          static_cast<double>(p.position.z));
      add("%d", p.hasTarget ? 1 : 0);
      if (p.hasTarget)
        add("%.4f %.4f %.4f", static_cast<double>(p.target.x), static_cast<double>(p.target.y),
            static_cast<double>(p.target.z));
      add("%.4f", static_cast<double>(p.speed));
      add("%.4f", static_cast<double>(p.pause));
    }
  }
  return s;
}

}  // namespace mediagen
