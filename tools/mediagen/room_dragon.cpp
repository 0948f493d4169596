// The dragon statue: one skinned mesh over ten bones along its spine, tail and neck. It stands
// on all four feet on the plinth, chest raised, the neck rising in an S to the head, the wings
// half open on their finger bones and the tail curled round the plinth's rim, its tip over the edge.
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

std::vector<Vec3> SmoothPath(const std::vector<Vec3>& pts, int per) {
  std::vector<Vec3> p;
  std::vector<float> r;
  Smooth(pts, std::vector<float>(pts.size(), 0.0f), per, p, r);
  return p;
}

// The texture (draco.jpg) is cut into upright stripes: scales, wing membrane, polished bronze
// (horns, claws, teeth, spikes) and the amber of the eyes.
enum Stripe { kScales, kMembrane, kPolish, kEye };
constexpr float kStripeU[5] = {0.0f, 0.75f, 0.875f, 0.9375f, 1.0f};

// Moves the u of vertices [from, end) from 0..1 into the stripe, a texel clear of its edges.
void PutInStripe(Mesh& m, size_t from, Stripe s) {
  float u0 = kStripeU[s] + 2.0f / 512, u1 = kStripeU[s + 1] - 2.0f / 512;
  for (size_t i = from; i < m.uvs.size(); ++i) m.uvs[i].x = u0 + std::clamp(m.uvs[i].x, 0.0f, 1.0f) * (u1 - u0);
}

// A tube whose scales keep their size where it thins: v runs by length over radius.
void ScaledTube(Mesh& m, const std::vector<Vec3>& path, const std::vector<float>& rad, int sides) {
  size_t from = m.positions.size();
  AddTube(m, path, rad, sides, Mat4::Identity(), 1.0f);
  float v = 0;
  const size_t row = static_cast<size_t>(sides + 1);
  for (size_t k = 0; k < path.size(); ++k) {
    if (k > 0) v += Length(path[k] - path[k - 1]) / (4.2f * std::max(rad[k - 1] + rad[k], 2.0f));
    for (size_t s = 0; s < row; ++s) m.uvs[from + k * row + s].y = v;
  }
  PutInStripe(m, from, kScales);
}

// A tapering horn, claw or spike along a smooth path, in polished bronze.
void Spike(Mesh& m, const std::vector<Vec3>& pts, float r0, int sides = 4) {
  std::vector<Vec3> p;
  std::vector<float> r;
  std::vector<float> rad;
  for (size_t i = 0; i < pts.size(); ++i)
    rad.push_back(r0 * (1.0f - static_cast<float>(i) / static_cast<float>(pts.size() - 1)) + 0.05f);
  Smooth(pts, rad, 2, p, r);
  size_t from = m.positions.size();
  AddTube(m, p, r, sides, Mat4::Identity(), 10.0f);
  PutInStripe(m, from, kPolish);
}

// Wing membrane stretched between two bone curves of the same sample count (from the root to
// the tip): scalloped between the tips, bellied out along `belly`, drawn from both sides.
void Membrane(Mesh& m, const std::vector<Vec3>& a, const std::vector<Vec3>& b, Vec3 belly, float scallop) {
  const int across = 6;
  const size_t along = a.size();
  std::vector<Vec3> grid;
  Vec3 root = (a[0] + b[0]) * 0.5f;
  for (size_t j = 0; j < along; ++j) {
    float t = static_cast<float>(j) / static_cast<float>(along - 1);
    float width = Length(a[j] - b[j]);
    for (int i = 0; i <= across; ++i) {
      float s = static_cast<float>(i) / across, bulge = std::sin(kPi * s);
      Vec3 p = Lerp(a[j], b[j], s);
      // The free edge between two tips curves in toward the root.
      p = root + (p - root) * (1.0f - scallop * bulge * t * t * t);
      p += belly * (0.12f * width * bulge * std::sin(kPi * std::min(t * 1.15f, 1.0f)));
      grid.push_back(p);
    }
  }
  auto at = [&](size_t j, int i) { return grid[j * (across + 1) + static_cast<size_t>(i)]; };
  for (int side = 0; side < 2; ++side) {
    size_t from = m.positions.size();
    for (size_t j = 0; j < along; ++j)
      for (int i = 0; i <= across; ++i) {
        Vec3 du = at(j, std::min(i + 1, across)) - at(j, std::max(i - 1, 0));
        Vec3 dv = at(std::min(j + 1, along - 1), i) - at(j > 0 ? j - 1 : 0, i);
        Vec3 n = Normalize(Cross(du, dv));
        if (Dot(n, belly) < 0) n = -n;
        if (side == 1) n = -n;
        m.AddVertex(at(j, i), n,
                    {static_cast<float>(i) / across, static_cast<float>(j) / static_cast<float>(along - 1)});
      }
    for (size_t j = 0; j + 1 < along; ++j)
      for (int i = 0; i < across; ++i) {
        uint32_t q0 = static_cast<uint32_t>(from + j * (across + 1) + static_cast<size_t>(i));
        uint32_t q1 = q0 + 1, q2 = q0 + static_cast<uint32_t>(across + 1), q3 = q2 + 1;
        // Wound clockwise as seen from the side its normal points to.
        m.AddGridCell(q0, q1, q2, q3, m.normals[q0]);
      }
    PutInStripe(m, from, kMembrane);
  }
}

// A point on the plinth's side: angle in degrees round the dragon's up axis, distance, height.
Vec3 Round(float degrees, float r, float y) {
  float a = degrees * kPi / 180.0f;
  return {r * std::cos(a), y, r * std::sin(a)};
}

// Bone joints along the spine: body, three down the tail, six up the neck to the jaw.
const Vec3 kJoints[10] = {
    {-4, 27, 0},   {-30, 22, 0},  {Round(210, 42, 4)}, {Round(300, 41, 3)}, {14, 31, 0},
    {24, 42, 0},   {29, 58, 0},   {31, 73, 0},          {40, 87, 0},           {54, 86, 0},
};
const int kParents[10] = {-1, 0, 1, 2, 0, 4, 5, 6, 7, 8};

int NearestJoint(Vec3 p) {
  int best = 0;
  for (int b = 1; b < 10; ++b)
    if (Length(p - kJoints[b]) < Length(p - kJoints[best])) best = b;
  return best;
}

}  // namespace

DragonRig BuildDragon() {
  DragonRig rig;
  Mesh& m = rig.mesh;
  // Patinated bronze: the emission takes the red out of the room's orange ambient, so that the
  // green of the patina and the pale bronze of the worn ridges both survive the firelight.
  m.material = Textured(0.5f, 24);
  m.material.diffuse = {0.82f, 0.84f, 0.8f, 1};
  m.material.emissive = {-0.42f, -0.02f, 0.16f};
  m.texture = "draco.jpg";
  // Parts hung on the spine (legs, wings, spikes, the pieces of the head) follow the one joint
  // nearest their root, so that each stays whole in one bone combination of the blended mesh.
  struct Rigid {
    size_t from, to;
    int bone;
  };
  std::vector<Rigid> rigid;
  auto follow = [&](size_t from, Vec3 root) { rigid.push_back({from, m.positions.size(), NearestJoint(root)}); };

  // Spine from the tail tip hanging over the plinth's edge, round its rim behind the feet, up
  // to the rump, along the body and up the neck into the skull.
  std::vector<Vec3> spine = {Round(342, 51.5f, -8), Round(338, 50, -3.5f), Round(330, 46.5f, 1.0f),
                             Round(312, 41, 2.8f),  Round(288, 40, 3.0f),   Round(262, 40, 3.2f),
                             Round(236, 40.5f, 3.5f), Round(212, 41.5f, 4.0f), Round(194, 42, 6.0f),
                             {-39, 14, -2},         {-28, 23, 0},          {-16, 26, 0},
                             {-2, 27.5f, 0},        {12, 30, 0},           {22, 38, 0},
                             {28, 51, 0},           {30, 65, 0},           {32, 77, 0},
                             {38, 85.5f, 0},        {46, 87, 0}};
  std::vector<float> radius = {0.4f, 1.2f, 2.0f, 2.8f, 3.4f, 3.9f, 4.3f, 4.8f, 5.8f, 7.4f,
                               9.2f, 11.0f, 12.5f, 12.0f, 8.6f, 6.8f, 6.0f, 5.8f, 6.4f, 5.0f};
  std::vector<Vec3> path;
  std::vector<float> rad;
  Smooth(spine, radius, 5, path, rad);
  {
    // The body a little deeper than wide.
    size_t from = m.positions.size();
    ScaledTube(m, path, rad, 12);
    for (size_t i = from; i < m.positions.size(); ++i) {
      Vec3& p = m.positions[i];
      float body = std::clamp(1.0f - std::abs(p.x + 2) / 30.0f, 0.0f, 1.0f) * (p.y > 10 && p.y < 45 ? 1.0f : 0.0f);
      float squash = 1.0f - 0.18f * body;
      p.z *= squash;
      Vec3& n = m.normals[i];
      n = Normalize({n.x, n.y, n.z / squash});
    }
  }
  // A ridge of spikes along the neck, the back and the tail, leaning back from the spine.
  for (size_t k = 8; k + 6 < path.size(); k += 3) {
    Vec3 p = path[k], t = Normalize(path[k + 1] - path[k - 1]);
    Vec3 up = Vec3{-0.5f, 1, 0};
    if (p.y < 8) up = Normalize(Vec3{p.x, 0, p.z}) + Vec3{0, 1.2f, 0};  // round the rim: up and out
    up = Normalize(up - t * Dot(up, t));
    float r = rad[k], h = std::clamp(r * 0.55f + 1.0f, 1.5f, 5.5f);
    size_t from = m.positions.size();
    Spike(m, {p + up * (r * 0.8f), p + up * (r + h * 0.6f) - t * (h * 0.3f), p + up * (r + h) - t * (h * 0.9f)},
          std::min(1.8f, 0.25f * r + 0.5f), 4);
    follow(from, p);
  }

  // Legs standing on the plinth top (y = 0): thigh, shin and foot; three toes with claws in
  // front and a dew claw behind.
  auto leg = [&](std::vector<Vec3> joints, std::vector<float> r, float side) {
    size_t from = m.positions.size();
    std::vector<Vec3> p;
    std::vector<float> rr;
    Smooth(joints, r, 3, p, rr);
    ScaledTube(m, p, rr, 8);
    Vec3 foot = joints.back();
    for (int c = -1; c <= 1; ++c) {
      float spread = static_cast<float>(c) * side;
      Vec3 knuckle = foot + Vec3{6.0f - std::abs(spread), -0.8f, spread * 3.0f};
      std::vector<Vec3> toe = {foot + Vec3{1, 0, spread * 1.2f}, foot + Vec3{3.5f, -0.6f, spread * 2.2f}, knuckle};
      std::vector<Vec3> tp;
      std::vector<float> tr;
      Smooth(toe, {r.back() * 0.55f, r.back() * 0.45f, r.back() * 0.35f}, 2, tp, tr);
      ScaledTube(m, tp, tr, 5);
      Vec3 tip{knuckle.x + 3.6f, 0.2f, knuckle.z + spread * 0.8f};  // the claw bites the stone
      Spike(m, {knuckle, knuckle + Vec3{2.2f, -0.1f, spread * 0.6f}, tip}, r.back() * 0.32f);
    }
    Spike(m, {foot + Vec3{-2, 0.4f, 0}, foot + Vec3{-4.5f, -0.2f, 0}, Vec3{foot.x - 5.8f, 0.15f, foot.z}}, r.back() * 0.3f);
    follow(from, joints[0]);
  };
  for (float s : {-1.0f, 1.0f}) {
    // Hind legs: a heavy thigh forward to the knee, the shin back to the hock, the foot flat.
    leg({{-16, 25, s * 8}, {-7, 14, s * 15}, {-16, 6.5f, s * 16}, {-13, 3.2f, s * 16.5f}, {-9, 2.0f, s * 16.5f}},
        {9.0f, 6.4f, 4.0f, 3.2f, 2.9f}, s);
    // Forelegs: from the shoulder back to the elbow, forward to the wrist and the foot.
    leg({{12, 28, s * 9}, {5, 15, s * 15.5f}, {13, 6, s * 16.5f}, {17, 3.0f, s * 17}, {21, 2.0f, s * 17}},
        {7.2f, 5.2f, 3.7f, 3.0f, 2.7f}, s);
  }

  // Wings half open: the arm up to the wrist, four finger bones fanning back from it, and the
  // membrane between the fingers and from the last finger to the flank.
  for (float s : {-1.0f, 1.0f}) {
    size_t from = m.positions.size();
    Vec3 shoulder{14, 40, s * 8}, elbow{8, 61, s * 27}, wrist{-2, 80, s * 48};
    {
      std::vector<Vec3> p;
      std::vector<float> r;
      Smooth({shoulder, elbow, wrist}, {3.4f, 2.4f, 2.0f}, 4, p, r);
      ScaledTube(m, p, r, 7);
    }
    Spike(m, {wrist, wrist + Vec3{3, 4.5f, s * 1.5f}, wrist + Vec3{6.5f, 4.0f, s * 2}}, 1.3f);  // the thumb claw
    const Vec3 knuckles[4] = {{-10, 96, s * 64}, {-22, 84, s * 66}, {-24, 68, s * 60}, {-20, 55, s * 50}};
    const Vec3 tips[4] = {{-20, 106, s * 80}, {-40, 85, s * 84}, {-48, 58, s * 74}, {-40, 38, s * 54}};
    std::vector<Vec3> finger[5];
    for (int f = 0; f < 4; ++f) {
      finger[f] = SmoothPath({wrist, knuckles[f], tips[f]}, 4);
      std::vector<float> r;
      for (size_t k = 0; k < finger[f].size(); ++k)
        r.push_back(1.5f - 1.1f * static_cast<float>(k) / static_cast<float>(finger[f].size() - 1));
      ScaledTube(m, finger[f], r, 5);
      Spike(m, {tips[f], tips[f] + Normalize(tips[f] - knuckles[f]) * 2.5f}, 0.5f, 4);
    }
    // The inner edge of the last panel runs from the shoulder along the flank to the hip.
    finger[4] = SmoothPath({shoulder + Vec3{0, -3, -s * 1}, {-6, 34, s * 10}, {-26, 27, s * 8}}, 4);
    // The membrane bellies backwards and outwards, as if it had just caught the air.
    Vec3 belly = Normalize(Vec3{-1, 0.1f, s * 0.3f});
    for (int f = 0; f < 4; ++f) Membrane(m, finger[f], finger[f + 1], belly, f == 3 ? 0.12f : 0.22f);
    follow(from, shoulder);
  }

  // The head: a long skull tapering to the snout, the lower jaw hanging open below it, brow
  // ridges over the eyes, swept-back horns and cheek spikes; closed all round, so that it
  // reads as a head from the front as well as from the side.
  auto blob = [&](Vec3 size, float tilt, Vec3 at, Stripe stripe) {
    size_t from = m.positions.size();
    AddSphere(m, 1.0f, size.x > 5 ? 14 : 8, size.x > 5 ? 8 : 5, Mat4::Scaling(size) * Mat4::RotationZ(tilt) * Mat4::Translation(at));
    PutInStripe(m, from, stripe);
    follow(from, at);
  };
  blob({14, 5.4f, 6.4f}, -0.12f, {48, 88, 0}, kScales);     // skull and upper jaw
  blob({6, 3.2f, 3.6f}, -0.3f, {60, 85.5f, 0}, kScales);    // snout
  blob({12, 2.6f, 5.0f}, -0.36f, {47, 81.5f, 0}, kScales);  // lower jaw, open
  for (float s : {-1.0f, 1.0f}) {
    blob({2.6f, 1.6f, 1.8f}, 0.0f, {45, 92, s * 4.6f}, kScales);   // brow over the eye
    blob({1.2f, 1.2f, 1.2f}, 0.0f, {47, 90.6f, s * 5.8f}, kEye);   // eye
    blob({1.0f, 0.8f, 0.8f}, 0.0f, {64, 87.4f, s * 1.8f}, kMembrane);  // nostril
    size_t from = m.positions.size();
    Spike(m, {{38, 92, s * 4}, {30, 99, s * 7}, {20, 103, s * 9}, {13, 101, s * 10}}, 2.4f, 6);
    Spike(m, {{40, 84, s * 5.5f}, {33, 82, s * 10}}, 1.3f);
    follow(from, {40, 88, 0});
    for (int t = 0; t < 4; ++t) {  // teeth along the upper jaw
      from = m.positions.size();
      Vec3 root{52.0f + 3.0f * t, 84.5f, s * (3.8f - 0.5f * t)};
      Spike(m, {root, {52.5f + 3.0f * t, 82.2f, s * (3.6f - 0.5f * t)}}, 0.6f, 4);
      follow(from, root);
    }
  }

  // Skin: the parts above follow their joint; each vertex of the spine's tube follows its
  // nearest joint, blended with the second nearest.
  std::vector<int> rigidBone(m.positions.size(), -1);
  for (const Rigid& r : rigid)
    for (size_t i = r.from; i < r.to; ++i) rigidBone[i] = r.bone;
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
    if (rigidBone[v] >= 0) {
      m.bones[static_cast<size_t>(rigidBone[v])].vertices.push_back(v);
      m.bones[static_cast<size_t>(rigidBone[v])].weights.push_back(1.0f);
      continue;
    }
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
    w0 = std::clamp((w0 - 0.5f) * 4.0f + 0.5f, 0.5f, 1.0f);
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
