// The generated room keeps the names, places and shapes the program's passes rely on.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <functional>
#include <map>
#include <set>

#include "lightmaps.h"
#include "platform/xfile/xfile.h"
#include "room_parts.h"
#include "scene.h"
#include "xexport.h"

namespace mediagen {
namespace {

struct Built {
  Scene scene = BuildRoom();
  RoomInfo info = DescribeRoom(scene);
};
const Built& Room() {
  static Built b;
  return b;
}

struct Entry {
  const Frame* frame;
  Mat4 world;
};
std::vector<Entry> MeshFrames() {
  std::vector<Entry> out;
  ForEachFrame(Room().scene.root, Mat4::Identity(), [&](const Frame& f, const Mat4& w) {
    if (f.mesh) out.push_back({&f, w});
  });
  return out;
}
std::vector<std::string> Containing(const std::string& text) {
  std::vector<std::string> out;
  for (auto& e : MeshFrames())
    if (e.frame->name.find(text) != std::string::npos) out.push_back(e.frame->name);
  return out;
}
const Entry* Exact(const std::string& name) {
  static std::vector<Entry> all = MeshFrames();
  for (auto& e : all)
    if (e.frame->name == name) return &e;
  return nullptr;
}

TEST(MediagenRoom, NamedListsComeOutAsTheRoomExpects) {
  // Meshes are collected in the loader's visiting order; the lists follow from the names.
  EXPECT_EQ(Containing("wall"), (std::vector<std::string>{"wall04", "wall03", "wall02", "wall01"}));
  EXPECT_EQ(Containing("arches"), (std::vector<std::string>{"arches04", "arches03", "arches02", "arches01"}));
  EXPECT_EQ(Containing("giantgem"), (std::vector<std::string>{"giantgem01", "giantgem"}));
  EXPECT_EQ(Containing("Draco"), (std::vector<std::string>{"Draco"}));
  EXPECT_EQ(MeshFrames().front().frame->name, "floor");
  EXPECT_EQ(MeshFrames().back().frame->name, "dome");
  for (const char* n : {"floor", "gold", "dome", "golden_plate", "golden_plate_base", "crown", "Cup", "chest", "Chest",
                        "fireplace", "dead_knight", "sword", "ceil_cage", "s_shield01", "s_shield", "Swords02",
                        "Swords01", "RoundShield14", "BigShield13", "RoundShield17", "BigShield17", "RoundShield21",
                        "BigShield21", "RoundShield22", "BigShield22", "BigShield26", "RoundShield26", "BigShield27",
                        "RoundShield27", "BigShield28", "RoundShield28", "BigShield29", "RoundShield29", "BigShield25",
                        "RoundShield25"})
    EXPECT_NE(Exact(n), nullptr) << n;
  EXPECT_GE(Containing("torch").size(), 6u);
  EXPECT_EQ(Containing("fireplace").size(), 1u);
  EXPECT_GE(Containing("banner").size(), 2u);
  EXPECT_EQ(Containing("ceil_cage").size(), 1u);
  // Every mesh frame has one texture that the archive carries.
  std::set<std::string> textures = {"banner.dds", "giantgem.dds", "giantgem_green.dds", "arch.jpg", "bars.jpg",
                                    "big_shield.jpg", "big_shield2.jpg", "big_shield3.jpg", "brick_wall01.jpg",
                                    "brick_wall01_grad.jpg", "brick_wall01_hway.jpg", "chest.jpg", "chest_t2.jpg",
                                    "crown.jpg", "cup.jpg", "decor1.jpg", "draco.jpg", "fireplace.jpg", "floor2.jpg",
                                    "Gold2.jpg", "golden_plate.jpg", "knight.jpg", "knight2.jpg", "ray.jpg", "rock.jpg",
                                    "round_shield.jpg", "round_shield2.jpg", "round_shield3.jpg", "sword.jpg",
                                    "s_shield.jpg", "torch.jpg"};
  std::set<std::string> used;
  for (auto& e : MeshFrames()) {
    EXPECT_TRUE(textures.count(e.frame->mesh->texture)) << e.frame->name << " uses " << e.frame->mesh->texture;
    used.insert(e.frame->mesh->texture);
  }
  for (const char* t : {"big_shield.jpg", "big_shield2.jpg", "big_shield3.jpg", "round_shield.jpg",
                        "round_shield2.jpg", "round_shield3.jpg", "giantgem.dds", "giantgem_green.dds"})
    EXPECT_TRUE(used.count(t)) << t;
  EXPECT_EQ(Exact("giantgem")->frame->mesh->texture.empty(), false);
}

TEST(MediagenRoom, AnimatedFramesAreRigidAndScaledOnesKeepUnitNormals) {
  // Matrix keys are decomposed into rotation and translation: a scaled frame must not be
  // animated, or its scale would be lost. The program lights without renormalising, so the
  // normals of a scaled frame's mesh must come out of its normal matrix at unit length.
  std::map<std::string, Mat4> keys;
  for (auto& a : Room().scene.animations) keys[a.frame] = a.key;
  size_t frames = 0, scaled = 0;
  ForEachFrame(Room().scene.root, Mat4::Identity(), [&](const Frame& f, const Mat4&) {
    if (&f == &Room().scene.root) return;
    ++frames;
    Vec3 x{f.local.at(0, 0), f.local.at(0, 1), f.local.at(0, 2)}, y{f.local.at(1, 0), f.local.at(1, 1), f.local.at(1, 2)},
        z{f.local.at(2, 0), f.local.at(2, 1), f.local.at(2, 2)};
    const float k = Length(x);
    EXPECT_NEAR(Length(y), k, 1e-4f) << f.name;
    EXPECT_NEAR(Length(z), k, 1e-4f) << f.name;
    EXPECT_GT(Dot(Cross(x, y), z) / (k * k * k), 0.99f) << f.name << " is mirrored";
    if (std::abs(k - 1) < 1e-4f) {
      ASSERT_TRUE(keys.count(f.name)) << f.name;
      EXPECT_EQ(keys[f.name].m, f.local.m) << f.name;
      return;
    }
    ++scaled;
    EXPECT_FALSE(keys.count(f.name)) << f.name << " is scaled and animated";
    ASSERT_TRUE(f.mesh) << f.name;
    for (const Vec3& n : f.mesh->normals) EXPECT_NEAR(Length(n) / k, 1.0f, 1e-3f) << f.name;
  });
  EXPECT_GE(frames, 80u);
  EXPECT_EQ(scaled, 1u);  // the fireplace, whose scale sizes the hearth's flame
}

TEST(MediagenRoom, SurfacesAreThinWhereTheLightMapsProjectAlongThem) {
  for (const char* n : {"wall01", "wall02", "wall03", "wall04"}) {
    Vec3 lo, hi;
    Exact(n)->frame->mesh->Bounds(lo, hi);
    Vec3 s = hi - lo;
    EXPECT_LT(s.z, 1.0f) << n;  // local z is each wall's thin axis
    EXPECT_NEAR(s.x, 500.0f, 1.0f) << n;
  }
  Vec3 lo, hi;
  Exact("floor")->frame->mesh->Bounds(lo, hi);
  EXPECT_LT(hi.y - lo.y, 1.0f);
  Exact("dome")->frame->mesh->Bounds(lo, hi);
  EXPECT_LT(hi.y - lo.y, std::min(hi.x - lo.x, hi.z - lo.z));
  // The three walls that share "wall1" are laid out alike: their meshes match in local space.
  auto& w1 = Exact("wall01")->frame->mesh->positions;
  auto& w3 = Exact("wall03")->frame->mesh->positions;
  ASSERT_EQ(w1.size(), w3.size());
  for (size_t i = 0; i < w1.size(); ++i) EXPECT_NEAR(Length(w1[i] - w3[i]), 0.0f, 1e-3f);
}

TEST(MediagenRoom, LightMapProjectionCoversEveryLitMesh) {
  // Each light-mapped mesh must fall inside its surface's unit square (border outside).
  std::map<std::string, std::string> surface = {
      {"wall04", "wall04"}, {"arches04", "wall04"}, {"s_shield01", "wall04"}, {"s_shield", "wall04"},
      {"Swords02", "wall04"}, {"Swords01", "wall04"}, {"wall03", "wall03"}, {"arches03", "wall03"},
      {"wall02", "wall02"}, {"arches02", "wall02"}, {"wall01", "wall01"}, {"arches01", "wall01"},
      {"floor", "floor"}, {"gold", "floor"}, {"dome", "dome"}};
  for (int n : {13, 17, 21, 22}) surface["BigShield" + std::to_string(n)] = "wall03";
  for (int n : {14, 17, 21, 22}) surface["RoundShield" + std::to_string(n)] = "wall03";
  for (int n : {26, 27, 28, 29}) surface["BigShield" + std::to_string(n)] = surface["RoundShield" + std::to_string(n)] = "wall01";
  for (auto& [mesh, surf] : surface) {
    const Entry* m = Exact(mesh);
    const Entry* s = Exact(surf);
    ASSERT_TRUE(m && s) << mesh;
    Mat4 proj = LightMapProjection(*s->frame->mesh, s->world);
    float umin = 1e9f, umax = -1e9f, vmin = 1e9f, vmax = -1e9f;
    for (Vec3 p : m->frame->mesh->positions) {
      Vec3 q = proj.TransformPoint(m->world.TransformPoint(p));
      umin = std::min(umin, q.x); umax = std::max(umax, q.x);
      vmin = std::min(vmin, q.y); vmax = std::max(vmax, q.y);
    }
    EXPECT_GE(umin, -0.02f) << mesh;
    EXPECT_LE(umax, 1.02f) << mesh;
    EXPECT_GE(vmin, -0.02f) << mesh;
    EXPECT_LE(vmax, 1.02f) << mesh;
  }
  // Orientation: the floor's top edge of the map is +z, the walls' top edge is their top.
  Mat4 fp = LightMapProjection(*Exact("floor")->frame->mesh, Exact("floor")->world);
  EXPECT_NEAR(fp.TransformPoint({0, 0, 250}).y, 0.0f, 1e-3f);
  EXPECT_NEAR(fp.TransformPoint({-250, 0, 0}).x, 0.0f, 1e-3f);
  Mat4 wp = LightMapProjection(*Exact("wall04")->frame->mesh, Exact("wall04")->world);
  EXPECT_NEAR(wp.TransformPoint({0, 200, 250}).y, 0.0f, 1e-3f);
}

TEST(MediagenRoom, EffectAnchorsSitWhereTheEffectsNeedThem) {
  const RoomInfo& info = Room().info;
  // The smoke rises at centre + (28, 7, 206): the hearth must be right below it.
  Vec3 smoke = info.centre + Vec3{28, 7, 206};
  EXPECT_NEAR(info.fireplace.x, smoke.x, 0.5f);
  EXPECT_NEAR(info.fireplace.z, smoke.z, 0.5f);
  EXPECT_LT(info.fireplace.y, smoke.y);
  // The smoke must start in the open, in view of the room: nothing of the fireplace lies
  // between it and the room in front of it, nor right above it.
  auto hits = [&](Vec3 from, Vec3 dir, float len) {
    for (const char* n : {"fireplace", "mantel"}) {
      const Entry* e = Exact(n);
      const Mesh& m = *e->frame->mesh;
      for (auto f : m.faces) {
        Vec3 a = e->world.TransformPoint(m.positions[f[0]]), b = e->world.TransformPoint(m.positions[f[1]]),
             c = e->world.TransformPoint(m.positions[f[2]]);
        Vec3 e1 = b - a, e2 = c - a, pv = Cross(dir, e2);
        float det = Dot(e1, pv);
        if (std::abs(det) < 1e-8f) continue;
        Vec3 tv = from - a;
        float u = Dot(tv, pv) / det;
        Vec3 qv = Cross(tv, e1);
        float v = Dot(dir, qv) / det, t = Dot(e2, qv) / det;
        if (u >= 0 && v >= 0 && u + v <= 1 && t > 0 && t < len) return true;
      }
    }
    return false;
  };
  EXPECT_FALSE(hits(smoke, {0, 0, -1}, 80.0f)) << "smoke hidden behind the fireplace";
  EXPECT_FALSE(hits(smoke, {0, 1, 0}, 5.0f)) << "smoke starts under stone";
  EXPECT_TRUE(hits(info.fireplace + Vec3{0, 10, 0}, {0, 1, 0}, 200.0f)) << "the fire burns under a hood";
  EXPECT_GT(info.radius, 300.0f);
  EXPECT_LT(info.radius, 450.0f);
  // The rays hang 300 units from the top of the cage's box and must end above the floor.
  Vec3 lo, hi;
  Exact("ceil_cage")->frame->mesh->Bounds(lo, hi);
  EXPECT_GT(hi.y - 300.0f, 20.0f);
  EXPECT_LT(hi.y - 300.0f, 120.0f);
  // Torches: flames come from the top of a box wider along the wall than deep, pushed into
  // the room; flame size (largest extent / 2.4) suits a torch.
  Vec3 mean{0, 0, 0};
  auto torches = Containing("torch");
  for (auto& n : torches) mean += Exact(n)->world.Origin() * (1.0f / static_cast<float>(torches.size()));
  for (auto& n : torches) {
    const Entry* t = Exact(n);
    EXPECT_EQ(t->frame->local.at(0, 0), 1.0f) << n << ": torch frames are translations";
    t->frame->mesh->Bounds(lo, hi);
    Vec3 e = (hi - lo) * 0.5f, c = (lo + hi) * 0.5f;
    float largest = std::max({hi.x - lo.x, hi.y - lo.y, hi.z - lo.z});
    EXPECT_GT(largest / 2.4f, 5.0f);
    EXPECT_LT(largest / 2.4f, 10.0f);
    Vec3 d = t->world.Origin() - mean;
    Vec3 fire = c + Vec3{0, e.y * 0.9f, 0};
    if (e.x >= e.z) fire.z += (d.z > 0 ? -0.5f : 0.5f) * e.z; else fire.x += (d.x > 0 ? -0.5f : 0.5f) * e.x;
    Vec3 world = t->world.TransformPoint(fire);
    EXPECT_LT(std::max(std::abs(world.x), std::abs(world.z)), 250.0f - 2.0f) << n;
    EXPECT_LT(Length(world - t->world.Origin()), 6.0f) << n << ": the fire burns at the head";
  }
  // Banners: flat grids in local x-y, frames pure translations, facing the room.
  for (auto& n : Containing("banner")) {
    const Entry* b = Exact(n);
    b->frame->mesh->Bounds(lo, hi);
    EXPECT_NEAR(hi.z - lo.z, 0.0f, 1e-4f);
    EXPECT_GE(hi.x, hi.z);
    for (int r = 0; r < 3; ++r)
      for (int k = 0; k < 3; ++k) EXPECT_EQ(b->frame->local.at(r, k), r == k ? 1.0f : 0.0f);
    EXPECT_LT(b->frame->mesh->positions.size(), 65536u);
    EXPECT_GE(b->frame->mesh->positions.size(), 60u);
    // The cloth is clamped at local z <= 2: the wall must lie beyond that, on the far side.
    float z = b->world.Origin().z;
    EXPECT_GT(std::abs(z), 250.0f - 8.0f);
    EXPECT_LT(std::abs(z), 250.0f - 2.0f);
  }
}

TEST(MediagenRoom, NoOtherFrameTakesAReservedWord) {
  const std::map<std::string, std::set<std::string>> allowed = {
      {"wall", {"wall01", "wall02", "wall03", "wall04"}},
      {"arches", {"arches01", "arches02", "arches03", "arches04"}},
      {"giantgem", {"giantgem", "giantgem01"}},
  };
  ForEachFrame(Room().scene.root, Mat4::Identity(), [&](const Frame& f, const Mat4&) {
    for (auto& [word, names] : allowed) {
      if (f.name.find(word) != std::string::npos) {
        EXPECT_TRUE(names.count(f.name)) << f.name;
      }
    }
  });
}

TEST(MediagenRoom, DragonIsSkinnedOnTenBoneFrames) {
  const Entry* d = Exact("Draco");
  ASSERT_NE(d, nullptr);
  const Mesh& m = *d->frame->mesh;
  ASSERT_EQ(m.bones.size(), 10u);
  std::vector<float> total(m.positions.size(), 0.0f);
  for (int b = 0; b < 10; ++b) {
    char name[8];
    std::snprintf(name, sizeof name, "Bone%02d", b);
    EXPECT_EQ(m.bones[static_cast<size_t>(b)].name, name);
    EXPECT_FALSE(m.bones[static_cast<size_t>(b)].vertices.empty()) << name;
    for (size_t i = 0; i < m.bones[static_cast<size_t>(b)].vertices.size(); ++i)
      total[m.bones[static_cast<size_t>(b)].vertices[i]] += m.bones[static_cast<size_t>(b)].weights[i];
  }
  for (float t : total) EXPECT_NEAR(t, 1.0f, 1e-4f);
  // At rest the skin lands where the frame would put the mesh: offset x bone world = Draco world.
  std::map<std::string, Mat4> worlds;
  ForEachFrame(Room().scene.root, Mat4::Identity(), [&](const Frame& f, const Mat4& w) { worlds[f.name] = w; });
  for (const SkinBone& b : m.bones) {
    ASSERT_TRUE(worlds.count(b.name)) << b.name;
    Mat4 skin = b.offset * worlds[b.name];
    for (int i = 0; i < 16; ++i) EXPECT_NEAR(skin.m[static_cast<size_t>(i)], d->world.m[static_cast<size_t>(i)], 1e-3f);
  }
}

// The exported file read back through the program's .X service: frames come back in the
// file order that makes the loader visit them as wanted, with every mesh.
TEST(MediagenRoom, ExportedFileReadsBackThroughTheXService) {
  std::vector<uint8_t> bytes;
  ASSERT_TRUE(ExportRoom(Room().scene, &bytes));
  ASSERT_GT(bytes.size(), 16u);
  EXPECT_EQ(std::string(bytes.begin(), bytes.begin() + 16), "xof 0303bzip0032");
  xfile::IDirectXFile* file = nullptr;
  ASSERT_GE(xfile::DirectXFileCreate(&file), 0);
  xfile::DXFILELOADMEMORY mem{bytes.data(), static_cast<win32::DWORD>(bytes.size())};
  xfile::IDirectXFileEnumObject* en = nullptr;
  ASSERT_GE(file->CreateEnumObject(&mem, xfile::DXFILELOAD_FROMMEMORY, &en), 0);
  std::vector<std::string> top, rootChildren;
  int meshes = 0, animations = 0;
  std::function<void(xfile::IDirectXFileData*, int)> walk = [&](xfile::IDirectXFileData* d, int depth) {
    const xfile::GUID* type = nullptr;
    d->GetType(&type);
    if (*type == xfile::TID_D3DRMMesh) ++meshes;
    if (*type == xfile::TID_D3DRMAnimation) ++animations;
    xfile::IDirectXFileObject* child = nullptr;
    while (d->GetNextObject(&child) >= 0 && child) {
      if (xfile::IDirectXFileData* cd = child->AsData()) {
        const xfile::GUID* ct = nullptr;
        cd->GetType(&ct);
        if (depth == 0 && *ct == xfile::TID_D3DRMFrame) rootChildren.push_back(cd->Name());
        walk(cd, depth + 1);
      }
      child->Release();
    }
  };
  xfile::IDirectXFileData* obj = nullptr;
  while (en->GetNextDataObject(&obj) >= 0 && obj) {
    top.push_back(obj->Name());
    walk(obj, 0);
    obj->Release();
  }
  en->Release();
  file->Release();
  EXPECT_EQ(top, (std::vector<std::string>{"Scene_Root", "Anim-00"}));
  ASSERT_GE(rootChildren.size(), 10u);
  // File order: floor, dome, then the rest reversed, ending with the walls and arches.
  EXPECT_EQ(rootChildren[0], "floor");
  EXPECT_EQ(rootChildren[1], "dome");
  std::vector<std::string> tail(rootChildren.end() - 8, rootChildren.end());
  EXPECT_EQ(tail, (std::vector<std::string>{"wall01", "wall02", "wall03", "wall04", "arches01", "arches02", "arches03",
                                            "arches04"}));
  EXPECT_EQ(static_cast<size_t>(meshes), MeshFrames().size());
  EXPECT_EQ(static_cast<size_t>(animations), Room().scene.animations.size());
}

}  // namespace
}  // namespace mediagen
