#include "tracks.h"

#include <cmath>
#include <cstdio>
#include <cstring>

namespace mediagen {

Vec3 EvalBezier(float t, Vec3 p0, Vec3 p1, Vec3 p2, Vec3 p3) {
  float s = 1 - t;
  return p0 * (s * s * s) + p1 * (3 * t * s * s) + p2 * (3 * t * t * s) + p3 * (t * t * t);
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

Node N(Vec3 p, float speed) { return {p, speed, false, {}}; }
Node NT(Vec3 p, float speed, Vec3 look) { return {p, speed, true, look}; }

// A short, very slow drift: one straight segment of about two units.
Track Drift(Vec3 from, Vec3 dir, Vec3 look) {
  Vec3 to = from + Normalize(dir) * 2.0f;
  return Chain({NT(from, 0.12f, look), NT(to, 0.12f, look)}, false);
}

}  // namespace

std::vector<Track> BuildTracks(const RoomInfo& info) {
  std::vector<Track> tracks;
  const Vec3 heap{0, 30, 0};
  // 1. A slow orbit of the hoard.
  {
    std::vector<Node> nodes;
    // Higher over the dragon's quarter, so the wings stay below.
    const float heights[5] = {92, 104, 142, 142, 92};
    for (int k = 0; k <= 4; ++k) {
      float a = 0.4f + static_cast<float>(k) * kPi / 2;
      nodes.push_back(NT({165 * std::cos(a), heights[k], 145 * std::sin(a)}, 24.0f, heap));
    }
    tracks.push_back(Chain(nodes, true));
  }
  // 2. A glide along the shield wall (wall03 at +x), looking at the shields.
  tracks.push_back(Chain({NT({196, 112, -172}, 16.0f, {250, 100, -140}), NT({188, 104, -60}, 18.0f, {250, 110, -30}),
                          NT({190, 112, 60}, 18.0f, {250, 110, 90}), NT({170, 120, 168}, 14.0f, {40, 60, 40})},
                         false));
  // 3. Drift: close on the blue gem.
  tracks.push_back(Drift(info.gemBlue + Vec3{30, 14, -38}, {1, 0.2f, 0.3f}, info.gemBlue));
  // 4. The long flight: low across the floor, up the light shaft to the grate and down again.
  tracks.push_back(Chain({NT({-205, 62, 20}, 20.0f, {0, 30, 0}),
                          N({-160, 82, 150}, 22.0f),
                          NT({-70, 60, 128}, 24.0f, info.fireplace + Vec3{0, 20, 0}),
                          N({50, 70, 124}, 26.0f),
                          NT({150, 90, 110}, 28.0f, {0, 40, 0}),
                          N({150, 150, -20}, 30.0f),
                          NT({60, 240, -40}, 33.39f, {0, 360, 0}),
                          NT({0, 300, 10}, 14.0f, {0, 370, 0}),
                          N({-70, 230, -50}, 22.0f),
                          NT({-190, 110, 40}, 20.0f, {0, 40, 0})},
                         false));
  // 5. An approach to the dragon's head.
  {
    Vec3 head = info.dragonHead;
    Vec3 away = Normalize(Vec3{-head.x, 0, -head.z});
    tracks.push_back(Chain({NT(head + away * 190 + Vec3{0, -20, 0}, 20.0f, head),
                            NT(head + away * 130 + Vec3{0, -10, 0}, 14.0f, head),
                            NT(head + away * 80 + Vec3{20, 0, -20}, 8.0f, head),
                            NT(head + away * 52 + Vec3{6, 6, -6}, 3.0f, head)},
                           false));
  }
  // 6. Drift: the crown on the heap.
  tracks.push_back(Drift(info.crown + Vec3{-8, 28, 36}, {1, 0.1f, 0.3f}, info.crown + Vec3{0, 4, 0}));
  // 7. A drift past the fireplace.
  {
    Vec3 f = info.fireplace + Vec3{0, 16, 0};
    tracks.push_back(Chain({NT({-170, 70, 120}, 12.0f, f), NT({-60, 58, 112}, 10.0f, f), NT({70, 62, 116}, 10.0f, f),
                            NT({175, 78, 120}, 12.0f, f + Vec3{0, 60, 0})},
                           false));
  }
  // 8. Drift: the open chest.
  tracks.push_back(Drift(info.chest + Vec3{42, 48, -40}, {0.8f, 0.2f, -0.5f}, info.chest + Vec3{0, 24, 0}));
  // 9. A close pass over the gems and the plate.
  tracks.push_back(Chain({NT({-40, 105, -190}, 18.0f, info.gemBlue), NT({-70, 100, -60}, 12.0f, info.gemBlue),
                          NT({20, 100, -60}, 12.0f, info.gemGreen), NT({120, 92, 20}, 16.0f, info.plate)},
                         false));
  // 10. A round of the room at middle height, looking along the way.
  {
    std::vector<Node> nodes;
    for (int k = 0; k <= 5; ++k) {
      float a = -2.2f + static_cast<float>(k) * 1.15f;
      nodes.push_back(N({190 * std::cos(a), 130 + 25 * std::sin(1.5f * a), 135 * std::sin(a)}, 26.0f));
    }
    tracks.push_back(Chain(nodes, false));
  }
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
