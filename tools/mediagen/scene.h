// The room as a tree of named frames with local matrices and meshes, plus its animation set.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "mesh.h"

namespace mediagen {

struct Frame {
  std::string name;
  Mat4 local;
  std::optional<Mesh> mesh;
  // Children in the order the program's loader presents them (see FileOrder).
  std::vector<std::unique_ptr<Frame>> children;

  Frame* Add(std::string childName, const Mat4& m) {
    children.push_back(std::make_unique<Frame>());
    children.back()->name = std::move(childName);
    children.back()->local = m;
    return children.back().get();
  }
};

struct MatrixKeyAnimation {
  std::string frame;  // the frame the keys drive
  Mat4 key;           // the same matrix at both key times
};

struct Scene {
  Frame root;  // "Scene_Root"
  std::string animationSetName = "Anim-00";
  uint32_t keyTimes[2] = {0, 16160};
  std::vector<MatrixKeyAnimation> animations;
};

// The loader adds children so that c1, c2, ..., cn are visited as c1, cn, ..., c2. The file
// must therefore list the wanted visiting order v1..vn as v1, vn, vn-1, ..., v2.
template <typename T>
std::vector<T*> FileOrder(const std::vector<std::unique_ptr<T>>& visiting) {
  std::vector<T*> out;
  if (visiting.empty()) return out;
  out.push_back(visiting[0].get());
  for (size_t i = visiting.size(); i-- > 1;) out.push_back(visiting[i].get());
  return out;
}

// Visits every frame depth first in the loader's order, with its world matrix.
template <typename F>
void ForEachFrame(const Frame& f, const Mat4& parent, F&& fn) {
  Mat4 world = f.local * parent;
  fn(f, world);
  for (const auto& c : f.children) ForEachFrame(*c, world, fn);
}

// Bounding-sphere centre and radius the way the program's loader computes them: the mean of
// all vertices (those exactly at the origin skipped) through the frames' local matrices.
void ModelSphere(const Scene& scene, Vec3& centre, float& radius);

// Builds the treasure chamber.
Scene BuildRoom();

// Named places of the room other generators need (light sources for baking, gem and treasure
// positions for camera targets).
struct RoomInfo {
  float halfWidth = 250;      // walls at x, z = +-halfWidth
  float wallHeight = 200;
  float domeTop = 352;        // top of the opening
  float openingRadius = 55;
  Vec3 fireplace;             // world position of the hearth fire
  std::vector<Vec3> torches;  // world positions of torch heads
  Vec3 centre;                // model centre
  float radius = 0;
  Vec3 heap, plate, chest, dragonHead, gemBlue, gemGreen, knight, crown;
};
RoomInfo DescribeRoom(const Scene& scene);

}  // namespace mediagen
