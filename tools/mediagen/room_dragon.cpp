// The dragon statue: one skinned mesh over ten bones along its spine, tail and neck.
#include <algorithm>
#include <cmath>

#include "room_parts.h"

namespace mediagen {

namespace {

Vec3 CatmullRom(Vec3 p0, Vec3 p1, Vec3 p2, Vec3 p3, float t) {
  float t2 = t * t, t3 = t2 * t;
  return (p1 * 2.0f + (p2 - p0) * t + (p0 * 2.0f - p1 * 5.0f + p2 * 4.0f - p3) * t2 +
          (p1 * 3.0f - p0 - p2 * 3.0f + p3) * t3) * 0.5f;
}

// Smooth path through control points with `per` samples per span; radii interpolated.
void Smooth(const std::vector<Vec3>& pts, const std::vector<float>& rad, int per, std::vector<Vec3>& outP,
            std::vector<float>& outR) {
  size_t n = pts.size();
  for (size_t i = 0; i + 1 < n; ++i) {
    Vec3 p0 = pts[i == 0 ? 0 : i - 1], p1 = pts[i], p2 = pts[i + 1], p3 = pts[std::min(i + 2, n - 1)];
    for (int k = 0; k < per; ++k) {
      float t = static_cast<float>(k) / per;
      outP.push_back(CatmullRom(p0, p1, p2, p3, t));
      outR.push_back(rad[i] + (rad[i + 1] - rad[i]) * t);
    }
  }
  outP.push_back(pts.back());
  outR.push_back(rad.back());
}

const Vec3 kJoints[10] = {
    {-14, 14, 0},   {-34, 9, 10},  {-46, -6, 34}, {-20, -22, 56}, {12, 20, 0},
    {26, 36, 0},    {29, 56, 0},   {30, 74, 0},   {40, 88, 0},    {52, 85, 0},
};
const int kParents[10] = {-1, 0, 1, 2, 0, 4, 5, 6, 7, 8};

}  // namespace

DragonRig BuildDragon() {
  DragonRig rig;
  Mesh& m = rig.mesh;
  m.material = Textured(0.55f, 24);
  m.material.diffuse = {0.92f, 0.78f, 0.6f, 1};
  m.texture = "draco.jpg";

  // Spine from the tail tip to the snout.
  std::vector<Vec3> spine = {{2, -23, 57},  {-20, -22, 56}, {-38, -16, 47}, {-47, -5, 32}, {-44, 5, 16},
                             {-32, 10, 6},  {-14, 14, 0},   {0, 16, 0},     {14, 20, 0},   {24, 30, 0},
                             {29, 46, 0},   {29, 62, 0},    {31, 76, 0},    {38, 86, 0},   {46, 87, 0}};
  std::vector<float> radius = {0.8f, 2.2f, 3.2f, 4.2f, 5.2f, 7.0f, 11.0f, 13.0f, 12.5f, 8.5f,
                               6.5f, 5.8f, 5.6f, 6.8f, 5.0f};
  std::vector<Vec3> path;
  std::vector<float> rad;
  Smooth(spine, radius, 5, path, rad);
  // Flatten the body a little (wider than tall) by squashing in y around each point.
  AddTube(m, path, rad, 12, Mat4::Identity(), 30.0f);

  // Legs: shoulder or hip down to the plinth top (y = 0), with a forward foot.
  auto leg = [&](Vec3 hip, Vec3 knee, Vec3 ankle, float r) {
    std::vector<Vec3> p;
    std::vector<float> rr;
    Smooth({hip, knee, ankle, ankle + Vec3{7, -1.5f, 0}}, {r, r * 0.7f, r * 0.5f, r * 0.45f}, 4, p, rr);
    AddTube(m, p, rr, 8, Mat4::Identity(), 20.0f);
    for (int c = -1; c <= 1; ++c) {
      std::vector<Vec3> claw = {ankle + Vec3{6, -1.5f, c * 2.2f}, ankle + Vec3{11, -2.5f, c * 3.2f},
                                ankle + Vec3{13, -3.6f, c * 3.4f}};
      AddTube(m, claw, {1.2f, 0.8f, 0.15f}, 5, Mat4::Identity(), 10.0f);
    }
  };
  for (float s : {-1.0f, 1.0f}) {
    leg({14, 16, s * 8}, {22, 8, s * 13}, {20, 4.0f, s * 14}, 5.0f);
    leg({-12, 12, s * 9}, {-4, 10, s * 17}, {-14, 4.0f, s * 16}, 6.0f);
  }

  // Wings, half open: an arm (tube) and a membrane between shoulder, elbow, tip and fingers.
  for (float s : {-1.0f, 1.0f}) {
    Vec3 shoulder{16, 26, s * 8}, elbow{4, 48, s * 30}, wrist{-10, 62, s * 44};
    std::vector<Vec3> arm = {shoulder, elbow, wrist};
    AddTube(m, arm, {2.8f, 2.0f, 1.4f}, 6, Mat4::Identity(), 20.0f);
    std::vector<Vec3> fingers = {{-40, 66, s * 58}, {-46, 48, s * 50}, {-42, 30, s * 36}, {-30, 20, s * 20}};
    for (auto f : fingers) AddTube(m, {wrist, f}, {1.0f, 0.3f}, 4, Mat4::Identity(), 20.0f);
    // Membrane panels between the fingers, both faces; trailing edges sag a little.
    std::vector<Vec3> edge = {elbow, fingers[0], fingers[1], fingers[2], fingers[3], {-10, 18, s * 9}};
    for (size_t k = 0; k + 1 < edge.size(); ++k) {
      Vec3 a = wrist, b = edge[k], c = edge[k + 1];
      if (k == 0) { a = shoulder; }
      Vec3 mid = (b + c) * 0.5f + Vec3{4, -4, 0} * (k > 0 ? 1.0f : 0.0f);
      for (int side = 0; side < 2; ++side) {
        for (auto tri : {std::array<Vec3, 3>{a, b, mid}, std::array<Vec3, 3>{a, mid, c}}) {
          Vec3 p0 = tri[0], p1 = tri[1], p2 = tri[2];
          if (side == 1) std::swap(p1, p2);
          Vec3 n = Normalize(Cross(p1 - p0, p2 - p0));
          auto uv = [](Vec3 p) { return Vec2{0.55f + p.x / 160.0f, 0.8f - p.y / 160.0f}; };
          uint32_t i0 = m.AddVertex(p0, n, uv(p0)), i1 = m.AddVertex(p1, n, uv(p1)), i2 = m.AddVertex(p2, n, uv(p2));
          m.AddFace(i0, i1, i2);
        }
      }
      if (k == 0) a = wrist;
    }
  }
  // The head: a long skull tapering to the snout, the lower jaw hanging open below it, brow
  // ridges over the eyes, swept-back horns and cheek spikes; closed all round, so that it
  // reads as a head from the front as well as from the side.
  auto blob = [&](Vec3 size, float tilt, Vec3 at) {
    AddSphere(m, 1.0f, 14, 8, Mat4::Scaling(size) * Mat4::RotationZ(tilt) * Mat4::Translation(at));
  };
  blob({14, 5.4f, 6.4f}, -0.12f, {48, 88, 0});       // skull and upper jaw
  blob({6, 3.2f, 3.6f}, -0.3f, {60, 85.5f, 0});      // snout
  blob({12, 2.6f, 5.0f}, -0.36f, {47, 81.5f, 0});    // lower jaw, open
  for (float s : {-1.0f, 1.0f}) {
    blob({2.6f, 1.6f, 1.8f}, 0.0f, {45, 92, s * 4.6f});                 // brow over the eye
    blob({1.2f, 1.2f, 1.2f}, 0.0f, {47, 90.6f, s * 5.8f});              // eye
    blob({1.0f, 0.8f, 0.8f}, 0.0f, {64, 87.4f, s * 1.8f});              // nostril
    AddTube(m, {{38, 92, s * 4}, {30, 99, s * 7}, {20, 103, s * 9}, {13, 101, s * 10}}, {2.4f, 1.7f, 0.9f, 0.1f}, 6,
            Mat4::Identity(), 10.0f);
    AddTube(m, {{40, 84, s * 5.5f}, {33, 82, s * 10}}, {1.3f, 0.1f}, 5, Mat4::Identity(), 10.0f);
    for (int t = 0; t < 4; ++t)  // teeth along the upper jaw
      AddTube(m, {{52.0f + 3.0f * t, 84.5f, s * (3.8f - 0.5f * t)}, {52.5f + 3.0f * t, 82.2f, s * (3.6f - 0.5f * t)}},
              {0.6f, 0.05f}, 4, Mat4::Identity(), 10.0f);
  }
  for (int k = 0; k < 7; ++k) {
    Vec3 p = path[static_cast<size_t>(20 + k * 6)];
    float r = rad[static_cast<size_t>(20 + k * 6)];
    AddTube(m, {p + Vec3{0, r * 0.8f, 0}, p + Vec3{-3, r + 5, 0}}, {1.6f, 0.1f}, 4, Mat4::Identity(), 10.0f);
  }

  // Skin: each vertex follows its nearest joint, blended with the second nearest.
  for (int b = 0; b < 10; ++b) {
    SkinBone bone;
    char name[8];
    std::snprintf(name, sizeof name, "Bone%02d", b);
    bone.name = name;
    bone.offset = Mat4::Translation(-kJoints[b]);
    m.bones.push_back(bone);
    rig.parent[b] = kParents[b];
    Vec3 parentPos = kParents[b] < 0 ? Vec3{0, 0, 0} : kJoints[kParents[b]];
    rig.boneLocal[b] = Mat4::Translation(kJoints[b] - parentPos);
  }
  for (uint32_t v = 0; v < m.positions.size(); ++v) {
    Vec3 p = m.positions[v];
    int best = 0, second = 1;
    float d0 = 1e30f, d1 = 1e30f;
    for (int b = 0; b < 10; ++b) {
      float d = Length(p - kJoints[b]);
      if (d < d0) {
        second = best; d1 = d0; best = b; d0 = d;
      } else if (d < d1) {
        second = b; d1 = d;
      }
    }
    float w0 = d1 / (d0 + d1 + 1e-6f);
    w0 = std::clamp((w0 - 0.5f) * 2.0f + 0.5f, 0.5f, 1.0f);
    if (w0 >= 0.999f) w0 = 1.0f;
    m.bones[static_cast<size_t>(best)].vertices.push_back(v);
    m.bones[static_cast<size_t>(best)].weights.push_back(w0);
    if (w0 < 0.999f) {
      m.bones[static_cast<size_t>(second)].vertices.push_back(v);
      m.bones[static_cast<size_t>(second)].weights.push_back(1 - w0);
    }
  }
  return rig;
}

}  // namespace mediagen
