// Assembles the chamber: frame names, places and the order the program's loader sees them in.
#include <algorithm>
#include <cmath>
#include <string>

#include "room_parts.h"

namespace mediagen {

namespace {

const char* const kWallNames[4] = {"wall01", "wall02", "wall03", "wall04"};
const char* const kArchNames[4] = {"arches01", "arches02", "arches03", "arches04"};

Frame* AddMeshFrame(Frame& parent, const std::string& name, const Mat4& m, Mesh mesh) {
  Frame* f = parent.Add(name, m);
  f->mesh = std::move(mesh);
  return f;
}

// A frame name: the stem and a number of at least two digits ("torch01", "BigShield13").
std::string Numbered(const char* stem, int n) {
  const std::string digits = std::to_string(n);
  std::string name(stem);
  if (digits.size() < 2) name += '0';
  name += digits;
  return name;
}

// Where the wall's local point lands in the world.
Vec3 OnWall(int wall, Vec3 local) { return WallFrame(wall).TransformPoint(local); }

Scene BuildRoomWith(float fireX, float fireZ) {
  Scene scene;
  Frame& root = scene.root;
  root.name = "Scene_Root";

  // Visiting order: floor, arches04..01, wall04..01, everything else, dome last.
  AddMeshFrame(root, "floor", Mat4::Identity(), BuildFloor());
  for (int w = 3; w >= 0; --w) AddMeshFrame(root, kArchNames[w], WallFrame(w), BuildArches(w, fireX));
  for (int w = 3; w >= 0; --w) AddMeshFrame(root, kWallNames[w], WallFrame(w), BuildWall(w));

  AddMeshFrame(root, "ceil_cage", Mat4::Identity(), BuildCage());
  AddMeshFrame(root, "skylight", Mat4::Identity(), BuildSkylight());

  // Fireplace on the +z wall, its origin on the hearth where the fire burns.
  const float hearth = 6.0f;
  Mat4 fire = Mat4::Translation({fireX, hearth, fireZ});
  // The program sizes the hearth's flame from the torches' and scales it with this frame's
  // world: a scaled frame, with the surround's vertices shrunk by the same factor, gives the
  // hearth a fire that fills its opening while the stone stays where it is. The normals grow
  // by the factor, so that the frame's scale leaves them unit length in the light.
  {
    const float k = 1.7f;
    Mesh surround = BuildFireplace(kHalf - fireZ);
    for (auto& p : surround.positions) p = p * (1 / k);
    for (auto& n : surround.normals) n = n * k;
    AddMeshFrame(root, "fireplace", Mat4::Scaling({k, k, k}) * fire, std::move(surround));
  }
  AddMeshFrame(root, "mantel", fire, BuildMantelTrim());
  AddMeshFrame(root, "firewood", fire, BuildFirewood());
  AddMeshFrame(root, "firebox", fire, BuildFirebox(kHalf - fireZ));
  AddMeshFrame(root, "embers", fire, BuildEmbers());
  AddMeshFrame(root, "chimney", fire, BuildChimney(kHalf - fireZ));
  // Crossed swords and two small shields on the chimney breast.
  const float breast = fireZ + 16.0f - 1.4f;
  AddMeshFrame(root, "Swords01", Mat4::RotationZ(0.55f) * Mat4::Translation({fireX + 17, 122, breast}), BuildSword(58));
  AddMeshFrame(root, "Swords02", Mat4::RotationZ(-0.55f) * Mat4::Translation({fireX - 17, 122, breast - 1.6f}), BuildSword(58));
  AddMeshFrame(root, "s_shield", Mat4::Translation({fireX - 36, 146, fireZ + 15.8f}), BuildSmallShield());
  AddMeshFrame(root, "s_shield01", Mat4::Translation({fireX + 36, 146, fireZ + 15.8f}), BuildSmallShield());

  // Torches: two beside the fireplace, two on the piers of every other wall.
  int torch = 1;
  auto addTorch = [&](int wall, Vec3 head, float reach) {
    AddMeshFrame(root, Numbered("sconce", torch), Mat4::Translation(head), BuildSconce(wall, reach));
    AddMeshFrame(root, Numbered("torch", torch++), Mat4::Translation(head), BuildTorch(wall));
  };
  addTorch(3, {fireX - 88, 125, kHalf - 8}, 8);
  addTorch(3, {fireX + 88, 125, kHalf - 8}, 8);
  for (int w = 0; w < 3; ++w)
    for (float x : {-125.0f, 125.0f}) addTorch(w, OnWall(w, {x, 125, -16}), 16);

  // Shields in two rows on wall03 and wall01, one bay each pair.
  const float bays[4] = {-187.5f, -62.5f, 62.5f, 187.5f};
  auto shieldRow = [&](int wall, const int big[4], const int round[4], int variantBase) {
    for (int b = 0; b < 4; ++b) {
      AddMeshFrame(root, Numbered("BigShield", big[b]), Mat4::Translation({bays[b], 88, -0.3f}) * WallFrame(wall),
                   BuildBigShield((b + variantBase) % 3));
      AddMeshFrame(root, Numbered("RoundShield", round[b]), Mat4::Translation({bays[b], 146, -0.3f}) * WallFrame(wall),
                   BuildRoundShield((b + variantBase + 1) % 3));
    }
  };
  const int big3[4] = {13, 17, 21, 22}, round3[4] = {14, 17, 21, 22};
  const int big1[4] = {26, 27, 28, 29}, round1[4] = {26, 27, 28, 29};
  shieldRow(2, big3, round3, 0);
  shieldRow(0, big1, round1, 1);

  // Banners high on the passage wall, each on an iron rod. Frames are pure translations.
  int banner = 1;
  for (float x : {-187.5f, -62.5f, 187.5f}) {
    Vec3 top = OnWall(1, {x, 190, -4});
    AddMeshFrame(root, Numbered("banner", banner), Mat4::Translation(top), BuildBanner());
    AddMeshFrame(root, Numbered("rod", banner++), Mat4::Translation({x, 191, 0}) * WallFrame(1), BuildRod());
  }

  // The hoard in the middle of the floor, under the opening.
  Mat4 chest = Mat4::RotationY(-0.96f) * Mat4::Translation({-150, 0, 105});
  Mat4 chestTop = Mat4::Translation({0, 26.0f, 0}) * chest;
  Vec3 spill = chest.TransformPoint({0, 10, -24});
  AddMeshFrame(root, "gold", Mat4::Identity(), BuildGoldHeap(chestTop, spill));
  AddMeshFrame(root, "golden_plate_base", Mat4::Translation({42, 0, 52}), BuildPlateBase());
  AddMeshFrame(root, "golden_plate",
               Mat4::RotationX(0.22f) * Mat4::RotationY(0.68f) * Mat4::Translation({42, 34 + 24.2f, 52}), BuildPlate());
  AddMeshFrame(root, "crown",
               Mat4::RotationZ(0.12f) * Mat4::RotationX(-0.08f) * Mat4::Translation({-12, HeapHeight(-12, 10) - 1.2f, 10}),
               BuildCrown());
  AddMeshFrame(root, "Cup", Mat4::RotationZ(0.1f) * Mat4::Translation({26, HeapHeight(26, -34) - 1.0f, -34}), BuildCup());
  AddMeshFrame(root, "Cup01",
               Mat4::RotationZ(1.45f) * Mat4::RotationY(0.6f) * Mat4::Translation({-58, HeapHeight(-58, 40) + 5.5f, 40}),
               BuildCup());
  AddMeshFrame(root, "chest", chest, BuildChestBody());
  AddMeshFrame(root, "Chest", Mat4::Translation({0, 27, 15}) * chest, BuildChestLid());
  AddMeshFrame(root, "BigShield25",
               Mat4::RotationX(0.3f) * Mat4::RotationY(-kPi / 2) * Mat4::Translation({34, 20.5f, -1}) * chest,
               BuildBigShield(2));
  // Leaning on the chest's back, so that nothing stands between the open chest and the room.
  AddMeshFrame(root, "RoundShield25",
               Mat4::RotationX(0.28f) * Mat4::RotationY(kPi + 0.15f) * Mat4::Translation({-6, 16.8f, 22}) * chest,
               BuildRoundShield(0));
  // Gems: the green one first, as the program lists them.
  Mesh green = BuildGem(11, 30), blue = BuildGem(7, 40);
  green.texture = "giantgem_green.dds";
  blue.texture = "giantgem.dds";
  // Emission in each gem's own colour keeps the orange ambient from dulling the crystal.
  green.material.emissive = {-0.4f, 0.45f, 0.45f};
  blue.material.emissive = {-0.5f, 0.12f, 0.9f};
  AddMeshFrame(root, "giantgem01",
               Mat4::RotationZ(-0.35f) * Mat4::RotationX(0.18f) * Mat4::Translation({62, HeapHeight(62, -22) - 5, -22}),
               std::move(green));
  AddMeshFrame(root, "giantgem",
               Mat4::RotationZ(0.28f) * Mat4::RotationX(-0.22f) * Mat4::Translation({-40, HeapHeight(-40, -30) - 6, -30}),
               std::move(blue));
  // The fallen knight and his sword.
  AddMeshFrame(root, "dead_knight", Mat4::RotationY(0.62f) * Mat4::Translation({132, 0.0f, -118}), BuildKnightArmour());
  AddMeshFrame(root, "dead_knight_helm",
               Mat4::RotationZ(1.35f) * Mat4::RotationY(2.2f) * Mat4::Translation({168, 6.8f, -84}), BuildKnightHelm());
  AddMeshFrame(root, "sword", Mat4::RotationX(kPi / 2) * Mat4::RotationY(1.1f) * Mat4::Translation({92, 1.2f, -150}),
               BuildSword(62));
  // Gold bars and urns around the room.
  const Vec3 ingots[6] = {{-95, 0, -20}, {92, 0, 46}, {-30, 0, 118}, {48, 0, -110}, {-175, 0, 10}, {120, 0, 120}};
  for (int k = 0; k < 6; ++k) {
    AddMeshFrame(root, Numbered("ingot", k + 1), Mat4::RotationY(0.7f * k) * Mat4::Translation(ingots[k]), BuildIngots(100 + k));
  }
  const Vec3 urns[4] = {{-222, 0, -222}, {222, 0, -222}, {-222, 0, 222}, {222, 0, 222}};
  for (int k = 0; k < 4; ++k) {
    AddMeshFrame(root, Numbered("urn", k + 1), Mat4::RotationY(1.3f * k) * Mat4::Translation(urns[k]), BuildUrn());
  }

  // The dragon on its plinth in the -x, -z quarter, facing the hoard.
  const Vec3 plinthAt{-140, 0, -140};
  AddMeshFrame(root, "plinth01", Mat4::Translation(plinthAt), BuildPlinth(46, 26));
  DragonRig rig = BuildDragon();
  Frame* draco = AddMeshFrame(root, "Draco", Mat4::RotationY(-kPi / 4) * Mat4::Translation(plinthAt + Vec3{0, 26, 0}),
                              std::move(rig.mesh));
  Frame* bones[10] = {};
  for (int b = 0; b < 10; ++b) {
    Frame* parent = rig.parent[b] < 0 ? draco : bones[rig.parent[b]];
    bones[b] = parent->Add(Numbered("Bone", b), rig.boneLocal[b]);
  }

  AddMeshFrame(root, "dome", Mat4::Identity(), BuildDome());

  // One matrix-key animation per frame below the root, holding each frame where it is. Matrix
  // keys play back as rotation and translation only, so a frame that carries a scale (the
  // fireplace) gets none and keeps its file matrix.
  std::function<void(const Frame&)> animate = [&](const Frame& f) {
    for (const auto& c : f.children) {
      if (std::abs(Length(Vec3{c->local.at(0, 0), c->local.at(0, 1), c->local.at(0, 2)}) - 1) < 1e-4f)
        scene.animations.push_back({c->name, c->local});
      animate(*c);
    }
  };
  animate(root);

  // No vertex may sit exactly on a frame origin: the loader's sphere skips such points.
  ForEachFrame(root, Mat4::Identity(), [](const Frame& f, const Mat4&) {
    if (!f.mesh) return;
    auto& mesh = const_cast<Mesh&>(*f.mesh);
    for (auto& p : mesh.positions)
      if (p.x == 0.0f && p.y == 0.0f && p.z == 0.0f) p.y = 0.001f;
  });
  return scene;
}

}  // namespace

void ModelSphere(const Scene& scene, Vec3& centre, float& radius) {
  double sx = 0, sy = 0, sz = 0;
  size_t n = 0;
  std::vector<Vec3> all;
  ForEachFrame(scene.root, Mat4::Identity(), [&](const Frame& f, const Mat4& world) {
    if (!f.mesh) return;
    for (auto p : f.mesh->positions) {
      if (p.x == 0.0f && p.y == 0.0f && p.z == 0.0f) continue;
      Vec3 w = world.TransformPoint(p);
      all.push_back(w);
      sx += w.x; sy += w.y; sz += w.z;
      ++n;
    }
  });
  centre = n ? Vec3{static_cast<float>(sx / n), static_cast<float>(sy / n), static_cast<float>(sz / n)} : Vec3{0, 0, 0};
  float best = 0;
  for (auto p : all) best = std::max(best, Dot(p - centre, p - centre));
  radius = std::sqrt(best);
}

Scene BuildRoom() {
  // The smoke of the fireplace rises at model centre + (28, 7, 206); the centre depends on
  // where the fireplace stands, so settle the two together.
  float fx = 28, fz = 206;
  Scene scene;
  for (int pass = 0; pass < 4; ++pass) {
    scene = BuildRoomWith(fx, fz);
    Vec3 c;
    float r;
    ModelSphere(scene, c, r);
    float nx = c.x + 28, nz = c.z + 206;
    if (std::abs(nx - fx) < 0.01f && std::abs(nz - fz) < 0.01f) break;
    fx = nx;
    fz = nz;
  }
  return scene;
}

namespace {
const Frame* Find(const Frame& f, const std::string& name) {
  if (f.name == name) return &f;
  for (const auto& c : f.children)
    if (const Frame* r = Find(*c, name)) return r;
  return nullptr;
}
Vec3 WorldOrigin(const Scene& s, const std::string& name) {
  Vec3 out{0, 0, 0};
  ForEachFrame(s.root, Mat4::Identity(), [&](const Frame& f, const Mat4& w) {
    if (f.name == name) out = w.Origin();
  });
  return out;
}
}  // namespace

RoomInfo DescribeRoom(const Scene& scene) {
  RoomInfo info;
  ModelSphere(scene, info.centre, info.radius);
  info.domeTop = kWallHeight + kDomeRise;
  info.openingRadius = kOpening;
  info.fireplace = WorldOrigin(scene, "fireplace");
  ForEachFrame(scene.root, Mat4::Identity(), [&](const Frame& f, const Mat4& w) {
    if (f.name.find("torch") != std::string::npos) info.torches.push_back(w.Origin());
  });
  info.heap = {0, HeapHeight(0, 0), 0};
  info.plate = WorldOrigin(scene, "golden_plate");
  info.chest = WorldOrigin(scene, "chest");
  info.gemBlue = WorldOrigin(scene, "giantgem") + Vec3{0, 18, 0};
  info.gemGreen = WorldOrigin(scene, "giantgem01") + Vec3{0, 14, 0};
  info.knight = WorldOrigin(scene, "dead_knight");
  info.crown = WorldOrigin(scene, "crown");
  const Frame* draco = Find(scene.root, "Draco");
  Mat4 dw = draco ? draco->local : Mat4::Identity();
  info.dragonHead = dw.TransformPoint({44, 88, 0});
  return info;
}

}  // namespace mediagen
